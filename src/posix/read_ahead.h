// Folders listed ahead of the walk on worker threads, for file systems where every listing
// waits on a network.
//
// The rule: only the walk's thread queues, takes and drops; a worker opens, reads and
// closes one folder outside the lock and hands it back under it. A worker gets a duplicate
// of a descriptor (never one the walk's thread may close) and reads into a block of its
// own. At most 4,096 folders are queued, and the listings held read ahead stay within 256
// descriptors and 8 MiB, each of at most 128 KiB of entries (a wider one is left to the
// walk).
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

constexpr size_t MOST_HOLDING = 256; // listings being read or read ahead
constexpr size_t AHEAD_CHUNK_SIZE = 65536; // what a worker reads a folder through

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

// For the workers (file_threads.cpp), each called with workerGuard held:
// reads the queued folder nearest to the walk through `chunk` (AHEAD_CHUNK_SIZE bytes),
// leaving the lock while it reads; false when there is none to read now.
bool ReadNearestAhead(char* chunk);
// Drops every folder queued or read.
void DropAllAhead();
// How many listings may be held read ahead (0: nothing is queued).
void SetAheadCap(size_t cap);
