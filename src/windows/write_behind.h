// Folder times written behind the walk on worker threads, for shares where every write
// waits on a network.
//
// The rule: the walk's thread decides and resolves every path; a worker only opens, sets
// and closes one folder, and hands a failure back under the lock. The walk's thread waits
// for the writes only when it needs them done: a write still pending to a folder whose
// time it reads or writes, room for one more write, or the end of every write. At most 32
// writes are gathered, queued or being written.
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

// With more than one thread in use, a handle for `path` (resolved as `wide`) opened for
// GENERIC_WRITE alone and OPEN_EXISTING: SetFileTime on it gathers the times, and
// CloseHandle queues their write to a worker, which writes them through `kept` and closes
// it, or without one opens the folder with `share` and `flags`. Null otherwise (the caller
// opens the path itself, or uses `kept`) or when memory is short.
HANDLE CreateLateWrite(const char* path, const wchar_t* wide, HANDLE kept, DWORD access,
                       DWORD share, DWORD disposition, DWORD flags);

// Starts as many writers as `count` asks (at most 64; 1 means none), after every pending
// write is done. Returns the number in use: fewer when the system gives no more.
DWORD StartWriters(DWORD count);

// With `wait`, waits until every write queued so far is done. Then hands out the oldest
// failed write not yet handed out: its path (cut to `size` bytes with a NUL) and the
// system's error. False when there is none.
bool TakeWriteFailure(bool wait, char* path, DWORD size, DWORD* error);
