// A folder's entries as the Windows layer keeps them, for the walk's listings
// (find_files.cpp) and those read ahead of it (read_ahead.cpp). Any thread may fill one.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// What one listing of the walk keeps at most: a wider folder is read in batches of this
// size, and read again for a second listing instead of being repeated.
constexpr size_t LISTING_BUDGET = 4 * 1024 * 1024;
// A folder whose last-write time is this close to the moment its read began may change
// again without its time moving (the clock's tick, FAT's two seconds are not trusted).
constexpr uint64_t RECENT_TICKS = 10000000; // one second
// What a read through a folder's handle takes at a time.
constexpr size_t CHUNK_SIZE = 65536;

// An entry as kept: attributes, last-write time, the name's length, the name and its NUL,
// padded to four bytes.
struct EntryHeader {
    DWORD attributes;
    DWORD reparseTag;
    FILETIME lastWrite;
    uint16_t nameLength;
};

// A resolved path, told from others by its length and 128 bits.
struct Digest {
    uint64_t first, second;
    size_t length;
};

struct Listing {
    char* entries;
    size_t capacity, used, next;
    size_t budget; // what `entries` may grow to
    HANDLE system; // still open while a batched listing has more to read
    WIN32_FIND_DATAW pending; // read from the system, not yet kept
    bool whole; // read to its end within the budget
    bool unchangedKnown; // the folder's time before the read, and it was not recent
    FILETIME folderTime;
    Digest folder;
};

uint64_t Ticks(FILETIME time);
Digest DigestOf(const wchar_t* text, size_t length);
bool SameDigest(const Digest& a, const Digest& b);

// Appends `found`; false when it would pass the listing's budget (it is then not taken).
// A name no entry can hold is left out, and true returned.
bool Keep(Listing* listing, const WIN32_FIND_DATAW& found);

// Whether folders can be read through a handle (GetFileInformationByHandleEx: Windows
// Vista and later). The first call is the walk's thread's.
bool CanReadThrough();

// Reads the whole folder through `folder` into `listing`, `chunk` (CHUNK_SIZE bytes,
// 8-aligned) at a time; false when a read fails before the end or the entries pass the
// budget.
bool ReadThrough(Listing* listing, HANDLE folder, char* chunk);

// The folder `path` (without a separator behind it) opened for reading through, with its
// attributes, and with `forWrites` for writing them too; shared every way, so that the walk
// holding it stops no one. INVALID_HANDLE_VALUE, with the system's error, when it cannot be.
HANDLE OpenToReadThrough(const wchar_t* path, bool forWrites);

// The last-write time of the folder `path`, and whether it was known and not within a
// second of now: the time before a listing, for telling later whether it changed.
bool FolderTimeBefore(const wchar_t* path, FILETIME* time);
