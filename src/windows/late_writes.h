// Writes of folder times that a worker makes after the handle is closed, and the start of
// every worker, the read-ahead's too (file_threads.cpp), for the layer's own calls.
#pragma once

#include <windows.h>

#include <cstdint>

// Waits for every pending write when one is to `path` (as the program spells it), so that
// whatever opens it next sees its writes, in order.
void SettleWritesTo(const char* path);

// A mark of the writes done so far, taken before a read.
DWORD WritesDoneMark();

// After a read, begun at `mark`, found the file `index` on the volume `volume`: when a write
// to that file is pending, under any spelling (a link or a junction leads to one folder by
// two paths), waits for every pending write and returns true; true too when one was done
// since `mark`, as it may have landed after the read. The caller then reads again. The file
// is taken to be the one the next write is to: the walk reads a folder's time right before
// it writes it. A write with no read before it is known by its path alone.
bool SettleWritesToFile(DWORD volume, uint64_t index, DWORD mark);

// Starts a worker thread running `run`, or returns false. Its stack is a small reservation
// of its own: the program's 8 MiB would be reserved again for each of up to 128 workers,
// a gigabyte of a 32-bit process's two.
bool StartWorker(LPTHREAD_START_ROUTINE run);

// With more than one thread in use, a handle for `path` (resolved as `wide`) opened for
// GENERIC_WRITE alone and OPEN_EXISTING: SetFileTime on it gathers the times, and
// CloseHandle queues their write to a worker, which writes them through `kept` and closes
// it, or without one opens the folder with `share` and `flags`. Null otherwise (the caller
// opens the path itself, or uses `kept`) or when memory is short.
HANDLE CreateLateWrite(const char* path, const wchar_t* wide, HANDLE kept, DWORD access,
                       DWORD share, DWORD disposition, DWORD flags);

// Starts `count` threads (at most 64; 1 means none) for the writes and the read-ahead,
// after every pending write is done. Returns the number in use: fewer when the system
// gives no more.
DWORD StartFileThreads(DWORD count);
// The number in use now.
DWORD FileThreadsInUse();

// Stands `count` threads by, with one in use until WatchForWaits starts them
// (thread_choice.cpp).
void StandByThreads(DWORD count);

// Called as the walk begins each listing. At most every quarter second, when threads stand
// by and the walk's thread was on the processor for less than a quarter of the time since
// the last look (it waited on its calls), starts them for the rest of the walk. Returns the
// number in use.
DWORD WatchForWaits();
