// How many threads read ahead and write behind for a folder: several on a share, where
// calls wait on a server; on a solid-state volume, once the walk is seen to wait; one on a
// spinning disk. Threads held back stand by until then: on a solid-state disk a tree in
// the cache lists faster on one thread than handed about between several.
#pragma once

#include <windows.h>

// Stands `count` threads by, with one in use until WatchForWaits starts them.
void StandByThreads(DWORD count);

// Called as the walk begins each listing. At most every quarter second, when threads stand
// by and the walk's thread was on the processor for less than a quarter of the time since
// the last look (it waited on its calls), starts them for the rest of the walk. Returns the
// number in use.
DWORD WatchForWaits();
