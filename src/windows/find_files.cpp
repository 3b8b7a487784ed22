// Folder listings over FindFirstFileExW: a folder whose entries fit the listing budget is
// read whole when its listing starts, and its second listing is served from memory.
#define CHRONOTREE_SYSTEM_NAMES
#include "kept_folders.h"
#include "long_paths.h"
#include "wide_text.h"
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// What one listing keeps at most: a wider folder is read in batches of this size, and read
// again for a second listing instead of being repeated.
constexpr size_t LISTING_BUDGET = 4 * 1024 * 1024;
// A folder whose last-write time is this close to the moment its read began may change
// again without its time moving (the clock's tick, FAT's two seconds are not trusted).
constexpr uint64_t RECENT_TICKS = 10000000; // one second

// An entry as kept: attributes, last-write time, the name's length, the name and its NUL,
// padded to four bytes.
struct EntryHeader {
    DWORD attributes;
    DWORD reparseTag;
    FILETIME lastWrite;
    uint16_t nameLength;
};

struct Digest {
    uint64_t first, second;
    size_t length;
};

struct Listing {
    char* entries;
    size_t capacity, used, next;
    HANDLE system; // still open while a batched listing has more to read
    WIN32_FIND_DATAW pending; // read from the system, not yet kept
    bool whole; // read to its end within the budget
    bool unchangedKnown; // the folder's time before the read, and it was not recent
    FILETIME folderTime;
    Digest folder;
};

// The listing closed last, kept for a second listing of the same folder.
Listing* retired;
int openListings;
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

// FILE_FULL_DIR_INFO as the system lays it out, for a listing read through a folder's handle.
struct FullDirInfo {
    DWORD next, index;
    LARGE_INTEGER creation, access, lastWrite, change, end, allocation;
    DWORD attributes, nameBytes;
    DWORD eaSize; // the reparse tag, when the entry is a reparse point
    wchar_t name[1];
};
constexpr int FULL_DIRECTORY_INFO = 14; // FileFullDirectoryInfo
using InfoByHandle = BOOL(WINAPI*)(HANDLE, int, void*, DWORD);
// Vista and later: Windows XP lists only through FindFirstFileExW.
InfoByHandle infoByHandle;
bool infoByHandleSought;
alignas(8) char chunk[65536];

uint64_t Ticks(FILETIME time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

Digest DigestOf(const wchar_t* text, size_t length)
{
    Digest digest = {14695981039346656037ull, 0x9E3779B97F4A7C15ull, length};
    for (size_t i = 0; i < length; i++) {
        uint64_t unit = static_cast<uint16_t>(text[i]);
        digest.first = (digest.first ^ unit) * 1099511628211ull;
        digest.second = (digest.second + unit + 1) * 0xBF58476D1CE4E5B9ull;
        digest.second ^= digest.second >> 31;
    }
    return digest;
}

bool SameDigest(const Digest& a, const Digest& b)
{
    return a.first == b.first && a.second == b.second && a.length == b.length;
}

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
    listing->system = INVALID_HANDLE_VALUE;
    return listing;
}

// Makes room for `size` more bytes of entries, doubling up to the budget.
bool MakeRoom(Listing* listing, size_t size)
{
    size_t needed = listing->used + size;
    if (needed <= listing->capacity)
        return true;
    if (needed > LISTING_BUDGET)
        return false;
    size_t capacity = listing->capacity ? listing->capacity : 16384;
    while (capacity < needed)
        capacity *= 2;
    if (capacity > LISTING_BUDGET)
        capacity = LISTING_BUDGET;
    char* grown = static_cast<char*>(realloc(listing->entries, capacity));
    if (!grown)
        return false;
    listing->entries = grown;
    listing->capacity = capacity;
    return true;
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

// Appends one entry; false when it would pass the budget (the entry is then not taken).
bool Keep(Listing* listing, const WIN32_FIND_DATAW& found)
{
    char name[FIND_NAME_SIZE];
    size_t nameLength = Utf8FromWide(found.cFileName, wcslen(found.cFileName), name, sizeof name);
    if (nameLength == TEXT_DOES_NOT_FIT)
        return true; // a name no record can hold is left out, as the contract says
    size_t size = (sizeof(EntryHeader) + nameLength + 1 + 3) & ~static_cast<size_t>(3);
    if (!MakeRoom(listing, size))
        return false;
    DWORD tag = found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT ? found.dwReserved0 : 0;
    EntryHeader header = {found.dwFileAttributes, tag, found.ftLastWriteTime,
                          static_cast<uint16_t>(nameLength)};
    memcpy(listing->entries + listing->used, &header, sizeof header);
    memcpy(listing->entries + listing->used + sizeof header, name, nameLength + 1);
    listing->used += size;
    return true;
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
    if (!infoByHandleSought) {
        infoByHandleSought = true;
        // Through a plain function pointer, which converts to any other without a warning.
        infoByHandle = reinterpret_cast<InfoByHandle>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetFileInformationByHandleEx")));
    }
    // A volume's root ("\\?\C:\") without its separator would name the volume itself.
    if (!infoByHandle || !KeepingForWrites() || widePattern[folderLength - 2] == L':')
        return INVALID_HANDLE_VALUE;
    widePattern[folderLength - 1] = L'\0';
    HANDLE folder = CreateFileW(widePattern,
                                FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES |
                                    SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    widePattern[folderLength - 1] = L'\\';
    if (folder == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
        NoteFolderWriteOpen(true);
    return folder;
}

// Reads the whole folder through its handle; false when a read fails before the end or the
// entries pass the listing budget.
bool ReadThrough(Listing* listing, HANDLE folder)
{
    WIN32_FIND_DATAW& found = listing->pending;
    while (infoByHandle(folder, FULL_DIRECTORY_INFO, chunk, sizeof chunk)) {
        for (size_t at = 0;;) {
            auto info = reinterpret_cast<const FullDirInfo*>(chunk + at);
            size_t units = info->nameBytes / sizeof(wchar_t);
            found.dwFileAttributes = info->attributes;
            found.dwReserved0 = info->eaSize;
            found.ftLastWriteTime =
                FILETIME{info->lastWrite.LowPart, static_cast<DWORD>(info->lastWrite.HighPart)};
            // No name of a folder entry is longer than 255 units.
            if (units < MAX_PATH) {
                memcpy(found.cFileName, info->name, units * sizeof(wchar_t));
                found.cFileName[units] = L'\0';
                if (!Keep(listing, found))
                    return false;
            }
            if (!info->next)
                break;
            at += info->next;
        }
    }
    DWORD error = GetLastError();
    return error == ERROR_NO_MORE_FILES || error == ERROR_FILE_NOT_FOUND;
}

Listing* ReadListing(size_t folderLength, const Digest& folder)
{
    Listing* listing = NewListing();
    if (!listing)
        return nullptr;
    listing->folder = folder;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    listing->unchangedKnown = ReadFolderTime(folderLength, &listing->folderTime) &&
                              Ticks(listing->folderTime) + RECENT_TICKS < Ticks(now);
    HANDLE held = OpenToKeep(folderLength);
    if (held != INVALID_HANDLE_VALUE) {
        if (ReadThrough(listing, held) && KeepFolder(held, widePattern, folderLength)) {
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

// The retired listing again, when it is this folder's and the folder has not changed.
Listing* Repeat(size_t folderLength, const Digest& folder)
{
    Listing* listing = retired;
    retired = nullptr;
    FILETIME present;
    if (listing && listing->whole && listing->unchangedKnown &&
        SameDigest(listing->folder, folder) && ReadFolderTime(folderLength, &present) &&
        Ticks(present) == Ticks(listing->folderTime)) {
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

int OpenListingCount() { return openListings; }

HANDLE FindFirstFileUtf8(const char* pattern, Utf8FindData* data)
{
    size_t length = strlen(pattern);
    if (length < 2 || pattern[length - 1] != '*' ||
        (pattern[length - 2] != '\\' && pattern[length - 2] != '/')) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    size_t folderLength = ResolveWidePath(pattern, length - 1, true, openListings, widePattern);
    if (folderLength == 0 || widePattern[folderLength - 1] != L'\\') {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    widePattern[folderLength] = L'*';
    widePattern[folderLength + 1] = L'\0';
    ReleaseFoldersOutside(widePattern, folderLength);
    Digest folder = DigestOf(widePattern, folderLength);
    Listing* listing = Repeat(folderLength, folder);
    if (!listing)
        listing = ReadListing(folderLength, folder);
    if (!listing)
        return INVALID_HANDLE_VALUE;
    HANDLE find = HandleFor(listing);
    if (find == INVALID_HANDLE_VALUE) {
        FreeListing(listing);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return find;
    }
    openListings++;
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
    openListings--;
    FreeListing(retired);
    retired = listing;
    return 1;
}
