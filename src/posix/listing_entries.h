// How a listing keeps its entries: packed one after another, each a last-write time, a kind
// and a NUL-terminated name. The walk's thread and the read-ahead threads both read folders
// into this form.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <dirent.h>
#include <sys/types.h>
#include <time.h>

// An entry as kept: its last-write time, its kind, then its name and a NUL. Entries follow
// each other unaligned; they are read with memcpy.
constexpr size_t ENTRY_HEADER = 9;
// What one listing keeps at most: a wider folder is read in batches of this size, and read
// again for a second listing instead of being repeated.
constexpr size_t LISTING_BUDGET = 4 * 1024 * 1024;
enum : uint8_t { KIND_FILE, KIND_FOLDER, KIND_LINK, KIND_FOLDER_LINK };

// Packs the `got` bytes of records that getdents64 read from `folder` into `into`, which
// has room for `got` bytes (a kept entry is never larger than its record). Names longer
// than MAX_PATH - 1 bytes are left out (Windows cannot report them either), and so are
// entries gone since the read. Returns the bytes packed, or -1 (errno set) when an entry
// cannot be looked up; `resume`, when given, follows the offset of each record packed.
ssize_t PackRecords(int folder, const char* chunk, ssize_t got, char* into, off_t* resume);

// The size of the packed entry at `at`.
size_t PackedEntrySize(const char* at);

// Whether the packed entry at `at` is a plain subfolder other than "." and "..".
bool IsPackedSubfolder(const char* at);

// The moment a folder's read begins, less two ticks of the coarse clock that stamps change
// times, which may put a change made just after the read into the same tick as the read:
// only a folder whose change time is before this mark is unchanged since it was read.
timespec ReadMark();

// Whether the folder (a descriptor) has not changed since `mark`: no entry added, removed
// or renamed, and the folder itself not moved or replaced. Asks for the change time alone:
// a full stat would go to a network server, reading the folder having made its access
// time stale.
bool UnchangedSince(int folder, const timespec& mark);

// Reads the whole folder from its start into a new block (for free()) of packed entries.
// False, with errno, when it cannot be read, lists nothing (a folder removed while open),
// or needs more than `budget` bytes (errno E2BIG). `chunk` is the caller's scratch of
// `chunkSize` bytes, aligned for dirent64.
bool ReadWholeListing(int folder, size_t budget, char* chunk, size_t chunkSize, char** bytes,
                      size_t* size);
