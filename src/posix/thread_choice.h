// Threads held back until the walk is seen to wait: on a solid-state disk a tree in the
// cache lists faster on one thread than handed about between several.
#pragma once

// Stands `count` threads by, with one in use until NoteOwnListing starts them.
void StandByThreads(unsigned count);

// Called for each folder the walk's thread reads itself. Every 64 such reads, when threads
// stand by and the thread was switched out (blocked on a read) 16 times or more since the
// last look, they are started, for the rest of the walk.
void NoteOwnListing();
