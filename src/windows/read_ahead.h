// Folders listed ahead of the walk on worker threads, for shares where every listing waits
// on the network.
#pragma once

#include "listings.h"

// The rule: only the walk's thread queues, takes and drops; a worker opens, reads and
// closes one folder outside the lock and hands it back under it. At most 64 folders are
// queued, being read or read, each of at most 128 KiB of entries (a wider one is left to
// the walk): 8 MiB, and 64 handles.

// Starts as many readers as `count` asks, or with 1 none, and drops whatever was queued or
// read. Walk's thread, as are the calls below.
void StartReadAhead(DWORD count);

// Drops whatever was queued or read: a walk has ended.
void DropReadAhead();

// Queues each plain subfolder (not a link or junction) of the whole listing `listing` of
// the folder `folder` ("\\?\...\", `length` units with its separator), while there is
// room: the subfolders of the folder listed last, in their order, are read first. With
// `forWrites` each is opened for writing its times too, and the handle kept for that.
void QueueSubfolders(const Listing* listing, const wchar_t* folder, size_t length, bool forWrites);

// The listing read ahead of the folder `folder` (digest of its path with the separator),
// waited for while it is being read, with the handle it was read through in `held` when
// it was opened for writing (else INVALID_HANDLE_VALUE); null when none was read whole (a
// folder still queued is taken off the queue). Whatever comes before it in the walk's
// order (the subfolders listed before it and below them) is dropped. The caller owns both
// and checks that the folder has not changed since the listing's read began.
Listing* TakeReadAhead(const Digest& folder, HANDLE* held);
