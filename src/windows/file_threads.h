// The threads that read folders ahead of the walk (read_ahead.h) and write folder times
// behind it (write_behind.h): how many are in use, and the end of a walk's.
//
// The rule: the walk's thread alone decides. It owns every listing and every kept folder,
// and everything the program reports goes out in its order. With one thread (the default
// where nothing else is asked) there are no workers and every call is done where it is
// made.
#pragma once

#include <windows.h>

// Starts `count` threads (at most 64; 1 means none) for the writes and the read-ahead,
// after every pending write is done. Returns the number in use: fewer when the system
// gives no more.
DWORD StartFileThreads(DWORD count);

// The number in use now.
DWORD FileThreadsInUse();
