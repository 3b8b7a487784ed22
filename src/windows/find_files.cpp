// Folder listings over FindFirstFileExW: a folder whose entries fit the listing budget is
// read whole when its listing starts, and its second listing is served from memory.
#define CHRONOTREE_SYSTEM_NAMES
#include "kept_folders.h"
#include "listings.h"
#include "long_paths.h"
#include "read_ahead.h"
#include "thread_choice.h"
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The listing closed last, kept for a second listing of the same folder.
Listing* retired;
// Handles are places in this table, so that any handle can be checked before it is used.
Listing** table;
size_t tableSize;
// Listings given back, with their memory, for the next ones: most folders are small, and
// a walk starts and ends listings by the thousand.
constexpr size_t MOST_SPARE = 8;
Listing* spare[MOST_SPARE];
size_t spareCount;
constexpr uintptr_t FIND_HANDLE_BASE = 0x10000;
// Windows before 7 knows neither the basic information nor large fetches.
bool basicRefused;

wchar_t widePattern[WIDE_PATH_SIZE];
alignas(8) char chunk[CHUNK_SIZE];

void FreeListing(Listing* listing)
{
    if (!listing)
        return;
    if (listing->system != INVALID_HANDLE_VALUE)
        FindClose(listing->system);
    listing->system = INVALID_HANDLE_VALUE;
    if (spareCount < MOST_SPARE) {
        spare[spareCount++] = listing;
        return;
    }
    free(listing->entries);
    free(listing);
}

Listing* NewListing()
{
    Listing* listing =
        spareCount ? spare[--spareCount] : static_cast<Listing*>(calloc(1, sizeof(Listing)));
    if (!listing)
        return nullptr;
    char* entries = listing->entries;
    size_t capacity = listing->capacity;
    *listing = Listing{};
    listing->entries = entries;
    listing->capacity = capacity;
    listing->budget = LISTING_BUDGET;
    listing->system = INVALID_HANDLE_VALUE;
    return listing;
}

HANDLE HandleFor(Listing* listing)
{
    size_t slot = 0;
    while (slot < tableSize && table[slot])
        slot++;
    if (slot == tableSize) {
        size_t size = tableSize ? 2 * tableSize : 64;
        Listing** grown = static_cast<Listing**>(realloc(table, size * sizeof(Listing*)));
        if (!grown)
            return INVALID_HANDLE_VALUE;
        memset(grown + tableSize, 0, (size - tableSize) * sizeof(Listing*));
        table = grown;
        tableSize = size;
    }
    table[slot] = listing;
    return reinterpret_cast<HANDLE>(FIND_HANDLE_BASE + slot);
}

// Keeps entries from the pending one on, until the budget is full (the entry that did not
// fit is pending then) or the folder ends.
void ReadBatch(Listing* listing)
{
    listing->used = listing->next = 0;
    do {
        if (!Keep(listing, listing->pending))
            return;
    } while (FindNextFileW(listing->system, &listing->pending));
    FindClose(listing->system);
    listing->system = INVALID_HANDLE_VALUE;
}

HANDLE StartSystemListing(const wchar_t* pattern, WIN32_FIND_DATAW* found)
{
    if (!basicRefused) {
        HANDLE find = FindFirstFileExW(pattern, FindExInfoBasic, found, FindExSearchNameMatch,
                                       nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (find != INVALID_HANDLE_VALUE || GetLastError() != ERROR_INVALID_PARAMETER)
            return find;
        basicRefused = true;
    }
    return FindFirstFileExW(pattern, FindExInfoStandard, found, FindExSearchNameMatch, nullptr, 0);
}

// The folder's last-write time now, from its resolved path with "*" cut off.
bool ReadFolderTime(size_t folderLength, FILETIME* time)
{
    wchar_t cut = widePattern[folderLength];
    widePattern[folderLength] = L'\0';
    WIN32_FILE_ATTRIBUTE_DATA data;
    bool known = GetFileAttributesExW(widePattern, GetFileExInfoStandard, &data) != 0;
    widePattern[folderLength] = cut;
    if (known)
        *time = data.ftLastWriteTime;
    return known;
}

// The folder (widePattern, its separator at `folderLength` - 1) opened to be listed and, later,
// to have its times written; INVALID_HANDLE_VALUE when it is not to be or cannot be.
HANDLE OpenToKeep(size_t folderLength)
{
    // A volume's root ("\\?\C:\") without its separator would name the volume itself.
    if (!CanReadThrough() || !KeepingForWrites() || widePattern[folderLength - 2] == L':')
        return INVALID_HANDLE_VALUE;
    widePattern[folderLength - 1] = L'\0';
    HANDLE folder = OpenToReadThrough(widePattern, true);
    widePattern[folderLength - 1] = L'\\';
    if (folder == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
        NoteFolderWriteOpen(true);
    return folder;
}

Listing* ReadListing(size_t folderLength, const Digest& folder)
{
    Listing* listing = NewListing();
    if (!listing)
        return nullptr;
    listing->folder = folder;
    widePattern[folderLength] = L'\0';
    listing->unchangedKnown = FolderTimeBefore(widePattern, &listing->folderTime);
    widePattern[folderLength] = L'*';
    HANDLE held = OpenToKeep(folderLength);
    if (held != INVALID_HANDLE_VALUE) {
        if (ReadThrough(listing, held, chunk)) {
            if (!KeepFolder(held, widePattern, folderLength))
                CloseHandle(held); // its write opens it again
            listing->whole = true;
            return listing;
        }
        CloseHandle(held); // read again as any other folder is
        listing->used = 0;
    }
    listing->system = StartSystemListing(widePattern, &listing->pending);
    if (listing->system == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        FreeListing(listing);
        SetLastError(error);
        return nullptr;
    }
    ReadBatch(listing);
    listing->whole = listing->system == INVALID_HANDLE_VALUE;
    return listing;
}

// Whether the folder of `listing` still has the last-write time read before its read.
bool Unchanged(const Listing* listing, size_t folderLength)
{
    FILETIME present;
    return listing->unchangedKnown && ReadFolderTime(folderLength, &present) &&
           Ticks(present) == Ticks(listing->folderTime);
}

// The folder as read ahead, when it has not changed since its read began; its handle is
// then kept for its write, as the walk's own listing would keep it.
Listing* Adopt(size_t folderLength, const Digest& folder)
{
    HANDLE held;
    Listing* listing = TakeReadAhead(folder, &held);
    if (!listing)
        return nullptr;
    bool unchanged = Unchanged(listing, folderLength);
    if (held != INVALID_HANDLE_VALUE && !(unchanged && KeepFolder(held, widePattern, folderLength)))
        CloseHandle(held);
    if (unchanged)
        return listing;
    FreeListing(listing); // its system handle is none: it was read whole
    return nullptr;
}

// The retired listing again, when it is this folder's and the folder has not changed.
Listing* Repeat(size_t folderLength, const Digest& folder)
{
    Listing* listing = retired;
    retired = nullptr;
    if (listing && listing->whole && SameDigest(listing->folder, folder) &&
        Unchanged(listing, folderLength)) {
        listing->next = 0;
        return listing;
    }
    FreeListing(listing);
    return nullptr;
}

bool NextEntry(Listing* listing, Utf8FindData* data)
{
    if (listing->next == listing->used && listing->system != INVALID_HANDLE_VALUE)
        ReadBatch(listing);
    if (listing->next == listing->used)
        return false;
    EntryHeader header;
    const char* at = listing->entries + listing->next;
    memcpy(&header, at, sizeof header);
    data->dwFileAttributes = header.attributes;
    data->dwReserved0 = header.reparseTag;
    data->ftLastWriteTime = header.lastWrite;
    memcpy(data->cFileName, at + sizeof header, header.nameLength + 1u);
    listing->next += (sizeof header + header.nameLength + 1 + 3) & ~static_cast<size_t>(3);
    return true;
}

Listing* OpenListing(HANDLE find)
{
    uintptr_t slot = reinterpret_cast<uintptr_t>(find) - FIND_HANDLE_BASE;
    return slot < tableSize ? table[slot] : nullptr;
}

} // namespace

HANDLE FindFirstFileUtf8(const char* pattern, Utf8FindData* data)
{
    size_t length = strlen(pattern);
    if (length < 2 || pattern[length - 1] != '*' ||
        (pattern[length - 2] != '\\' && pattern[length - 2] != '/')) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    size_t folderLength = ResolveWidePath(pattern, length - 1, true, widePattern);
    if (folderLength == 0 || widePattern[folderLength - 1] != L'\\') {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    widePattern[folderLength] = L'*';
    widePattern[folderLength + 1] = L'\0';
    ReleaseFoldersOutside(widePattern, folderLength);
    WatchForWaits();
    Digest folder = DigestOf(widePattern, folderLength);
    Listing* listing = Repeat(folderLength, folder);
    bool ahead = !listing && CanReadThrough();
    if (ahead)
        listing = Adopt(folderLength, folder);
    if (!listing)
        listing = ReadListing(folderLength, folder);
    if (!listing)
        return INVALID_HANDLE_VALUE;
    if (ahead && listing->whole)
        QueueSubfolders(listing, widePattern, folderLength, KeepingForWrites());
    HANDLE find = HandleFor(listing);
    if (find == INVALID_HANDLE_VALUE) {
        FreeListing(listing);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return find;
    }
    NoteListingOpened();
    if (!NextEntry(listing, data)) { // an empty listing: the system reports no entry either
        FindCloseUtf8(find);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return find;
}

BOOL FindNextFileUtf8(HANDLE find, Utf8FindData* data)
{
    Listing* listing = OpenListing(find);
    return listing && NextEntry(listing, data) ? 1 : 0;
}

BOOL FindCloseUtf8(HANDLE find)
{
    Listing* listing = OpenListing(find);
    if (!listing)
        return 0;
    table[reinterpret_cast<uintptr_t>(find) - FIND_HANDLE_BASE] = nullptr;
    NoteListingClosed();
    FreeListing(retired);
    retired = listing;
    return 1;
}
