// The threads that read folders ahead of the walk and write folder times behind it, for
// file systems where every call waits on a network.
//
// The rule they follow: the walk's thread alone decides. It owns every held folder and
// every listing, and everything the program reports goes out in its order. A worker gets
// duplicates of descriptors (never one the walk's thread may close), reads one folder into
// a block of its own or writes one folder's time, and hands the result back under one
// lock. The walk's thread waits for a worker only when it needs that worker's result: a
// listing the walk has reached while it is being read, a write still pending to a folder
// whose time it reads or writes, room for one more write, or the end of every write.
// With one thread (the default where nothing else is asked) there are no workers and
// every call is done where it is made.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <sys/types.h>

// Sets how many threads read ahead and write behind (1: none). Both calls are the walk's
// thread's alone; asking costs no lock.
void SetWorkerThreads(unsigned count);
unsigned WorkerThreads();

// The descriptors that the workers may hold at once, at most, out of the layer's budget of
// `budget`: each listing read ahead holds one, the folders it is read from one each, and
// each pending write one. The held folders keep the rest.
size_t WorkerDescriptors(size_t budget);

// A folder as read ahead, handed to the walk's thread, which then owns `folder` and
// `bytes` (for free()).
struct AheadListing {
    bool queued; // the folder was queued to be read ahead; `key` is its place in the walk
    bool read; // and was read: the rest is filled
    int folder;
    char* bytes; // packed entries
    size_t size;
    timespec mark; // the folder was opened and read after this mark
};

// Takes the folder `path` (`length` bytes, no separator at its end) out of the read-ahead:
// read, still queued (then no longer), or unknown. Waits while a worker reads it. Every
// folder queued before it in the walk's order is dropped: the walk has passed it.
void TakeAhead(const char* path, size_t length, AheadListing* ahead, std::string* key);

// Queues the plain subfolders of the folder `path`, just read into `bytes` by the walk's
// thread, to be read ahead; `key` is the folder's place in the walk. Folders queued
// before it are dropped. A folder that is no subfolder of the walk's (`key` empty) drops
// every folder queued.
void QueueSubfolders(const char* path, size_t length, int folder, const std::string& key,
                     const char* bytes, size_t size);

// The place in the walk of the `index`th entry of the listing at `key`.
std::string ChildKey(const std::string& key, size_t index);

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
