// Folder times written behind the walk on worker threads, for file systems where every
// write waits on a network.
//
// The rule: the walk's thread decides and resolves every path; a worker only writes one
// folder's time, through a duplicate of a descriptor (never one the walk's thread may
// close), and hands a failure back under the lock. The walk's thread waits for the writes
// only when it needs them done: a write still pending to a folder whose time it reads or
// writes, room for one more write, or the end of every write. At most 64 writes are queued
// or being written, each holding a descriptor.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <sys/types.h>

constexpr size_t MOST_WRITES = 64;

// Queues a write of `times` to the entry `name` of `folder` (the folder itself when `name`
// is null), through a duplicate of `folder`; `path` names it in a failure. Waits for room,
// and first for every pending write when one is to the same path. False, with errno, when
// the write cannot be queued: the caller then writes itself.
bool WriteBehind(int folder, const char* name, const timespec times[2], const char* path);

// Waits for every pending write when one is to `path`, so that a read sees what was set.
void SettleWritesTo(const char* path);

// A mark of the writes done so far, taken before a read.
uint64_t WritesDoneMark();

// After a read, begun at `mark`, found the file `device`/`inode`: when a write to that file
// is pending, under any spelling (a link, or a folder mounted twice, leads to one folder by
// two paths), waits for every pending write and returns true; true too when one was done
// since `mark`, as it may have landed after the read. The caller then reads again. The file
// is taken to be the one the next write is to: the walk reads a folder's time right before
// it writes it. A write with no read before it is known by its path alone.
bool SettleWritesToFile(dev_t device, ino_t inode, uint64_t mark);

// With `wait`, waits until every write queued so far is done. Then hands out the oldest
// failed write not yet handed out: its path (cut to `size` bytes with a NUL) and errno.
// False when there is none.
bool TakeWriteFailure(bool wait, char* path, size_t size, DWORD* error);

// For the workers (file_threads.cpp), each called with workerGuard held:
// makes the oldest queued write, leaving the lock while it writes; false when none is
// queued.
bool WriteOneQueued();
// Waits until no write is pending.
void WaitForWrites();
// How many writes may be pending at once (0: every write is made where it is asked).
void SetWriteCap(size_t cap);
