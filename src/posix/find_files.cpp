// Folder listings, read with getdents64 through the descriptor of the held folder. A folder
// whose entries fit the listing budget is read whole by FindFirstFileA; a wider one is read
// in batches of that size, through a descriptor of its own.
#include "file_time.h"
#include "growing_block.h"
#include "handle_values.h"
#include "held_folders.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// An entry as kept: its last-write time, its kind, then its name and a NUL. Entries follow
// each other unaligned; they are read with memcpy.
constexpr size_t ENTRY_HEADER = 9;
// What one listing keeps at most: a wider folder is read in batches of this size, and read
// again for a second listing instead of being repeated.
constexpr size_t LISTING_BUDGET = 4 * 1024 * 1024;
enum : uint8_t { KIND_FILE, KIND_FOLDER, KIND_LINK, KIND_FOLDER_LINK };

struct Listing {
    size_t begin; // its entries start here on the stack of bytes
    size_t next;
    size_t end;
    size_t capacity; // a batched listing refills [begin, begin + capacity)
    uint64_t folder; // the held folder's serial
    int own; // a batched listing's descriptor, else -1
    off_t resume; // where its next batch starts; -1 once the folder is read to its end
    bool open;
    timespec read; // when the folder was read, less two ticks of the coarse clock
};

// The listing closed last, while its bytes are still untouched above the stack: the walk
// lists every folder a second time right after closing its first listing, and gets this
// one back instead of a second read of the folder and a second stat of every file, as
// long as one stat shows the folder unchanged since it was read.
Listing retired;
bool hasRetired;

// Listings live on one stack of bytes: the walk closes them in reverse order of opening,
// and a listing closed out of turn is given back once those above it are closed too.
char* arena;
size_t arenaSize;
size_t arenaTop;
Listing* listings;
size_t listingCapacity;
size_t listingTop;

constexpr uint8_t KIND_GONE = 0xFF;
constexpr uint8_t KIND_UNSEEN = 0xFE;

uint8_t Describe(int folder, const dirent64* found, uint64_t* lastWrite)
{
    *lastWrite = 0;
    if (found->d_type == DT_DIR)
        return KIND_FOLDER; // the walk never reads a folder's time from its listing
    struct stat own;
    if (fstatat(folder, found->d_name, &own, AT_SYMLINK_NOFOLLOW) != 0)
        // Gone since the listing was read; or, in a folder that may be read but not
        // searched, a name whose time cannot be had: such a folder cannot be listed.
        return errno == ENOENT ? KIND_GONE : KIND_UNSEEN;
    FILETIME time = FileTimeFromTimespec(own.st_mtim);
    *lastWrite = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    if (S_ISDIR(own.st_mode))
        return KIND_FOLDER;
    if (!S_ISLNK(own.st_mode))
        return KIND_FILE;
    struct stat target;
    bool toFolder = fstatat(folder, found->d_name, &target, 0) == 0 && S_ISDIR(target.st_mode);
    return toFolder ? KIND_FOLDER_LINK : KIND_LINK;
}

// Packs one entry at `at`, which has room; returns the bytes used, or -1 (errno set) when
// the entry cannot be looked up.
ssize_t Pack(int folder, const dirent64* found, size_t nameLength, char* at)
{
    uint64_t lastWrite;
    uint8_t kind = Describe(folder, found, &lastWrite);
    if (kind == KIND_GONE)
        return 0;
    if (kind == KIND_UNSEEN)
        return -1;
    memcpy(at, &lastWrite, sizeof lastWrite);
    at[8] = static_cast<char>(kind);
    memcpy(at + ENTRY_HEADER, found->d_name, nameLength + 1);
    return ENTRY_HEADER + nameLength + 1;
}

enum class Batch { Ended, Full, Failed };

// Reads entries of `folder` onto the stack of bytes behind listing->end, up to `limit`
// bytes from its begin; listing->resume follows what was read. Every getdents64 read is
// packed whole: a kept entry is never larger than the record it came from.
Batch ReadBatch(int folder, Listing* listing, size_t limit)
{
    alignas(dirent64) static char chunk[65536];
    for (;;) {
        size_t room = listing->begin + limit - listing->end;
        size_t ask = room < sizeof chunk ? room : sizeof chunk;
        if (ask < 1024)
            return Batch::Full;
        if (!Grow(&arena, &arenaSize, listing->end + ask))
            return Batch::Failed;
        ssize_t got = getdents64(folder, chunk, ask);
        if (got <= 0)
            return got == 0 ? Batch::Ended : Batch::Failed;
        for (ssize_t at = 0; at < got;) {
            const dirent64* found = reinterpret_cast<const dirent64*>(chunk + at);
            size_t nameLength = strlen(found->d_name);
            // Names Windows could not report either are left out.
            if (nameLength < MAX_PATH) {
                ssize_t packed = Pack(folder, found, nameLength, arena + listing->end);
                if (packed < 0)
                    return Batch::Failed;
                listing->end += static_cast<size_t>(packed);
            }
            listing->resume = found->d_off;
            at += found->d_reclen;
        }
    }
}

bool Before(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// The retired listing again, when it is of the same held folder, whole, and unchanged.
bool Reopen(int folder, uint64_t serial)
{
    if (!hasRetired)
        return false;
    hasRetired = false;
    // Adding, removing or renaming an entry moves a folder's change time, and so does
    // moving or replacing the folder itself.
    // The change time alone: a full stat would go to a network server each time, since
    // reading the folder made its access time stale.
    struct statx now;
    if (retired.folder != serial || statx(folder, "", AT_EMPTY_PATH, STATX_CTIME, &now) != 0 ||
        !(now.stx_mask & STATX_CTIME) ||
        !Before(timespec{static_cast<time_t>(now.stx_ctime.tv_sec),
                         static_cast<long>(now.stx_ctime.tv_nsec)},
                retired.read))
        return false;
    retired.open = true;
    retired.next = retired.begin;
    arenaTop = retired.end;
    return true;
}

// Notes when the folder is read. The coarse clock that stamps change times may put a
// change made just after the read into the same tick as the read itself, so the mark is
// set two ticks earlier: only a folder unchanged since then is repeated.
timespec ReadMark()
{
    timespec now = {0, 0}, tick = {0, 0};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    clock_getres(CLOCK_REALTIME_COARSE, &tick);
    int64_t mark =
        now.tv_sec * 1000000000LL + now.tv_nsec - 2 * (tick.tv_sec * 1000000000LL + tick.tv_nsec);
    return timespec{static_cast<time_t>(mark / 1000000000), static_cast<long>(mark % 1000000000)};
}

// Reads the folder onto the stack of bytes: whole when it fits the budget, else its first
// batch, keeping a descriptor for the rest. False when it cannot be read or is empty (a
// folder removed while open lists not even "." and "..").
bool ReadFolder(int folder, uint64_t serial, bool atStart, Listing* listing)
{
    if (!atStart && lseek(folder, 0, SEEK_SET) != 0)
        return false;
    *listing =
        Listing{arenaTop, arenaTop, arenaTop, LISTING_BUDGET, serial, -1, 0, true, ReadMark()};
    Batch batch = ReadBatch(folder, listing, LISTING_BUDGET);
    if (batch == Batch::Full)
        listing->own = DuplicateForListing(folder);
    if (batch == Batch::Full && listing->own < 0) // no descriptor to come back with
        batch = ReadBatch(folder, listing, static_cast<size_t>(-1) / 2);
    if (batch != Batch::Full)
        listing->resume = -1;
    arenaTop = listing->own >= 0 ? listing->begin + listing->capacity : listing->end;
    if (batch == Batch::Failed || listing->begin == listing->end) {
        int reason = batch == Batch::Failed ? errno : ENOENT; // a removed folder lists nothing
        if (listing->own >= 0)
            CloseListingDescriptor(listing->own);
        arenaTop = listing->begin;
        errno = reason;
        return false;
    }
    return true;
}

// The next batch of a batched listing, in place of the last one.
bool Refill(Listing* listing)
{
    if (listing->own < 0 || listing->resume == -1)
        return false;
    listing->end = listing->next = listing->begin;
    Batch batch = lseek(listing->own, listing->resume, SEEK_SET) == listing->resume
                      ? ReadBatch(listing->own, listing, listing->capacity)
                      : Batch::Failed;
    if (batch != Batch::Full)
        listing->resume = -1;
    return listing->end > listing->begin;
}

size_t EntrySize(size_t at) { return ENTRY_HEADER + strlen(arena + at + ENTRY_HEADER) + 1; }

void Fill(const Listing& listing, WIN32_FIND_DATAA* data)
{
    uint64_t lastWrite;
    memcpy(&lastWrite, arena + listing.next, sizeof lastWrite);
    uint8_t kind = static_cast<uint8_t>(arena[listing.next + 8]);
    memset(data, 0, sizeof *data);
    data->dwFileAttributes = kind == KIND_FILE     ? FILE_ATTRIBUTE_NORMAL
                             : kind == KIND_FOLDER ? FILE_ATTRIBUTE_DIRECTORY
                             : kind == KIND_LINK
                                 ? FILE_ATTRIBUTE_REPARSE_POINT
                                 : FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    data->ftLastWriteTime =
        FILETIME{static_cast<DWORD>(lastWrite), static_cast<DWORD>(lastWrite >> 32)};
    if (kind == KIND_LINK || kind == KIND_FOLDER_LINK)
        data->dwReserved0 = IO_REPARSE_TAG_SYMLINK;
    strcpy(data->cFileName, arena + listing.next + ENTRY_HEADER);
}

void PopClosedListings()
{
    while (listingTop > 0 && !listings[listingTop - 1].open) {
        listingTop--;
        arenaTop = listings[listingTop].begin;
    }
}

// The folder's path is the pattern less its final '*'.
bool FolderOfPattern(LPCSTR pattern, size_t* length)
{
    size_t whole = strlen(pattern);
    if (whole < 2 || pattern[whole - 1] != '*' || pattern[whole - 2] != '/')
        return false;
    *length = whole - 1;
    return true;
}

Listing* OpenListing(HANDLE find)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(find);
    if (value < FIND_HANDLE_BASE || value - FIND_HANDLE_BASE >= listingTop)
        return nullptr;
    Listing* listing = &listings[value - FIND_HANDLE_BASE];
    return listing->open ? listing : nullptr;
}

} // namespace

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data)
{
    size_t length;
    if (!FolderOfPattern(pattern, &length)) {
        errno = EINVAL;
        return INVALID_HANDLE_VALUE;
    }
    if (!Grow(&listings, &listingCapacity, listingTop + 1))
        return INVALID_HANDLE_VALUE;
    uint64_t serial;
    bool atStart;
    int folder = HoldFolder(pattern, length, &serial, &atStart);
    if (folder < 0) {
        hasRetired = false;
        return INVALID_HANDLE_VALUE;
    }
    Listing listing;
    if (Reopen(folder, serial))
        listing = retired;
    else if (!ReadFolder(folder, serial, atStart, &listing))
        return INVALID_HANDLE_VALUE;
    listings[listingTop] = listing;
    Fill(listing, data);
    HANDLE find = reinterpret_cast<HANDLE>(FIND_HANDLE_BASE + listingTop);
    listingTop++;
    NoteUseBegins();
    return find;
}

BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data)
{
    Listing* listing = OpenListing(find);
    if (!listing)
        return FALSE;
    if (listing->next >= listing->end)
        return FALSE;
    size_t after = listing->next + EntrySize(listing->next);
    if (after < listing->end)
        listing->next = after;
    else if (!Refill(listing))
        return FALSE;
    Fill(*listing, data);
    return TRUE;
}

BOOL FindClose(HANDLE find)
{
    Listing* listing = OpenListing(find);
    if (!listing)
        return FALSE;
    listing->open = false;
    // Only a listing read whole may be repeated: a batched one holds its last batch alone.
    hasRetired = listing == &listings[listingTop - 1] && listing->own < 0;
    if (listing->own >= 0)
        CloseListingDescriptor(listing->own);
    if (hasRetired)
        retired = *listing;
    PopClosedListings();
    NoteUseEnds();
    return TRUE;
}
