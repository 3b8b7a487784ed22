// Folder listings, read with getdents64 through the descriptor of the held folder. A folder
// whose entries fit the listing budget is read whole by FindFirstFileA; a wider one is read
// in batches of that size, through a descriptor of its own.
#include "file_time.h"
#include "growing_block.h"
#include "handle_values.h"
#include "held_folders.h"
#include "listing_entries.h"
#include "read_ahead.h"
#include "thread_choice.h"
#include "workers.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

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
    size_t position; // how many entries were handed out before the present one
};

// The listing closed last, while its bytes are still untouched above the stack: the walk
// lists every folder a second time right after closing its first listing, and gets this
// one back instead of a second read of the folder and a second stat of every file, as
// long as one stat shows the folder unchanged since it was read.
Listing retired;
bool hasRetired;
// Each open listing's place in the walk, for the read-ahead: see ChildKey.
std::vector<std::string> listingKeys;
std::string retiredKey;

// Listings live on one stack of bytes: the walk closes them in reverse order of opening,
// and a listing closed out of turn is given back once those above it are closed too.
char* arena;
size_t arenaSize;
size_t arenaTop;
Listing* listings;
size_t listingCapacity;
size_t listingTop;

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
        ssize_t packed = PackRecords(folder, chunk, got, arena + listing->end, &listing->resume);
        if (packed < 0)
            return Batch::Failed;
        listing->end += static_cast<size_t>(packed);
    }
}

// The retired listing again, when it is of the same held folder, whole, and unchanged.
bool Reopen(int folder, uint64_t serial)
{
    if (!hasRetired)
        return false;
    hasRetired = false;
    // Adding, removing or renaming an entry moves a folder's change time, and so does
    // moving or replacing the folder itself.
    if (retired.folder != serial || !UnchangedSince(folder, retired.read))
        return false;
    retired.open = true;
    retired.next = retired.begin;
    arenaTop = retired.end;
    return true;
}

// Reads the folder onto the stack of bytes: whole when it fits the budget, else its first
// batch, keeping a descriptor for the rest. False when it cannot be read or is empty (a
// folder removed while open lists not even "." and "..").
bool ReadFolder(int folder, uint64_t serial, bool atStart, Listing* listing)
{
    if (!atStart && lseek(folder, 0, SEEK_SET) != 0)
        return false;
    *listing =
        Listing{arenaTop, arenaTop, arenaTop, LISTING_BUDGET, serial, -1, 0, true, ReadMark(), 0};
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

size_t EntrySize(size_t at) { return PackedEntrySize(arena + at); }

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

// The listing read ahead, placed on the stack of bytes, when its folder can be held as the
// folder the pattern names and is unchanged since it was read; else its folder is read
// again here.
bool TakeRead(LPCSTR pattern, size_t length, AheadListing& ahead, int* folder, uint64_t* serial,
              Listing* listing)
{
    *folder = AdoptFolder(pattern, length, ahead.folder, ahead.mark, serial);
    bool usable = *folder >= 0 && UnchangedSince(*folder, ahead.mark) &&
                  Grow(&arena, &arenaSize, arenaTop + ahead.size);
    if (usable) {
        *listing =
            Listing{arenaTop,   arenaTop, arenaTop + ahead.size, ahead.size, *serial, -1, -1, true,
                    ahead.mark, 0};
        memcpy(arena + arenaTop, ahead.bytes, ahead.size);
        arenaTop += ahead.size;
    }
    free(ahead.bytes);
    return usable;
}

// The place in the walk of a folder that was not queued: the entry the open listing of its
// parent stands at, when there is one; else it starts a walk of its own.
std::string KeyOfUnqueued()
{
    if (listingTop == 0 || !listings[listingTop - 1].open ||
        listings[listingTop - 1].folder != HeldParentSerial())
        return std::string();
    return ChildKey(listingKeys[listingTop - 1], listings[listingTop - 1].position);
}

// Reads the folder here, from the descriptor it holds (or has just held); a folder read
// whole has its subfolders queued to be read ahead, unless this is its second listing.
bool ReadHere(LPCSTR pattern, size_t length, int folder, uint64_t serial, bool atStart,
              const AheadListing& ahead, std::string* key, Listing* listing)
{
    bool again = hasRetired && retired.folder == serial;
    if (Reopen(folder, serial)) {
        *listing = retired;
        *key = retiredKey;
        return true;
    }
    if (!ReadFolder(folder, serial, atStart, listing))
        return false;
    NoteOwnListing();
    if (WorkerThreads() > 1 && !again && listing->own < 0) {
        if (!ahead.queued)
            *key = KeyOfUnqueued();
        QueueSubfolders(pattern, length, folder, *key, arena + listing->begin,
                        listing->end - listing->begin);
    }
    return true;
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
    if (listingKeys.size() < listingCapacity)
        listingKeys.resize(listingCapacity);
    size_t folderLength = length;
    while (folderLength > 1 && pattern[folderLength - 1] == '/')
        folderLength--;
    AheadListing ahead = {};
    std::string key;
    if (WorkerThreads() > 1)
        TakeAhead(pattern, folderLength, &ahead, &key);
    uint64_t serial = 0;
    int folder = -1;
    Listing listing;
    bool read = ahead.read && TakeRead(pattern, length, ahead, &folder, &serial, &listing);
    if (!read) {
        bool atStart = false;
        if (folder < 0)
            folder = HoldFolder(pattern, length, &serial, &atStart);
        if (folder < 0) {
            hasRetired = false;
            return INVALID_HANDLE_VALUE;
        }
        if (!ReadHere(pattern, folderLength, folder, serial, atStart, ahead, &key, &listing))
            return INVALID_HANDLE_VALUE;
    }
    hasRetired = false;
    listings[listingTop] = listing;
    listingKeys[listingTop] = key;
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
    listing->position++;
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
    if (hasRetired) {
        retired = *listing;
        retiredKey = listingKeys[listing - listings];
    }
    PopClosedListings();
    NoteUseEnds();
    return TRUE;
}
