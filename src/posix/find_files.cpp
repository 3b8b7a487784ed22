// Folder listings: one getdents64 pass per FindFirstFileA, with the descriptor closed
// before it returns, so a deep walk never runs out of descriptors.
#include "file_time.h"
#include "handle_values.h"

#include <windows.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One entry as kept between FindFirstFileA and FindNextFileA; the name follows it.
struct PackedEntry {
    DWORD attributes;
    FILETIME lastWrite;
    FILETIME lastAccess;
    uint64_t size;
    uint32_t recordSize;
};

// Listings live on one stack of bytes: the walk closes them in reverse order of opening,
// and a listing closed out of turn is given back once those above it are closed too.
// A listing's bytes are its folder's path, then its entries.
struct Listing {
    size_t begin;
    size_t first;
    size_t next;
    size_t end;
    bool open;
    timespec read; // when the folder was read, less two ticks of the coarse clock
};

// The listing closed last, while its bytes are still untouched above the stack: the walk
// lists every folder a second time right after closing its first listing, and gets this
// one back instead of a second read of the folder and a second stat of every file, as
// long as one stat shows the folder unchanged since it was read.
Listing retired;
bool hasRetired;

char* arena;
size_t arenaSize;
size_t arenaTop;
Listing* listings;
size_t listingCapacity;
size_t listingTop;

bool Reserve(char** block, size_t* capacity, size_t needed, size_t unit)
{
    if (needed <= *capacity)
        return true;
    size_t grown = *capacity ? *capacity : 64;
    while (grown < needed)
        grown *= 2;
    void* moved = realloc(*block, grown * unit);
    if (!moved)
        return false;
    *block = static_cast<char*>(moved);
    *capacity = grown;
    return true;
}

bool Append(const void* bytes, size_t size)
{
    if (!Reserve(&arena, &arenaSize, arenaTop + size, 1))
        return false;
    memcpy(arena + arenaTop, bytes, size);
    arenaTop += size;
    return true;
}

// Pads the stack of bytes to the next multiple of 8, where every entry starts.
bool AlignArena()
{
    size_t aligned = (arenaTop + 7) & ~size_t{7};
    if (!Reserve(&arena, &arenaSize, aligned, 1))
        return false;
    arenaTop = aligned;
    return true;
}

bool Describe(int folder, const char* name, unsigned char type, PackedEntry* entry)
{
    *entry = PackedEntry{};
    if (type == DT_DIR) {
        entry->attributes = FILE_ATTRIBUTE_DIRECTORY; // the walk never reads a folder's times
        return true;
    }
    struct stat own;
    if (fstatat(folder, name, &own, AT_SYMLINK_NOFOLLOW) != 0)
        return false; // gone since the listing was read
    if (S_ISDIR(own.st_mode)) {
        entry->attributes = FILE_ATTRIBUTE_DIRECTORY;
    } else if (S_ISLNK(own.st_mode)) {
        struct stat target;
        bool toFolder = fstatat(folder, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
        entry->attributes =
            FILE_ATTRIBUTE_REPARSE_POINT | (toFolder ? FILE_ATTRIBUTE_DIRECTORY : 0);
    } else {
        entry->attributes = FILE_ATTRIBUTE_NORMAL;
    }
    entry->lastWrite = FileTimeFromTimespec(own.st_mtim);
    entry->lastAccess = FileTimeFromTimespec(own.st_atim);
    entry->size = static_cast<uint64_t>(own.st_size);
    return true;
}

bool Keep(int folder, const dirent64* found)
{
    size_t nameLength = strlen(found->d_name);
    if (nameLength >= MAX_PATH)
        return true;
    PackedEntry entry;
    if (!Describe(folder, found->d_name, found->d_type, &entry))
        return true;
    entry.recordSize = static_cast<uint32_t>((sizeof entry + nameLength + 1 + 7) & ~size_t{7});
    return Append(&entry, sizeof entry) && Append(found->d_name, nameLength + 1) && AlignArena();
}

// A read that fails part way keeps what it had, as an enumeration that stops early does.
void ReadListing(int folder)
{
    alignas(dirent64) static char chunk[65536];
    for (;;) {
        ssize_t got = getdents64(folder, chunk, sizeof chunk);
        if (got <= 0)
            return;
        for (ssize_t at = 0; at < got;) {
            const dirent64* found = reinterpret_cast<const dirent64*>(chunk + at);
            if (!Keep(folder, found))
                return;
            at += found->d_reclen;
        }
    }
}

bool Before(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// The retired listing again, when `path` names its folder and the folder is unchanged.
bool Reopen(const char* path)
{
    if (!hasRetired)
        return false;
    hasRetired = false;
    // Adding, removing or renaming an entry moves a folder's change time, and so does
    // moving or replacing the folder itself.
    struct stat now;
    if (strcmp(arena + retired.begin, path) != 0 || stat(path, &now) != 0 ||
        !Before(now.st_ctim, retired.read))
        return false;
    retired.open = true;
    retired.next = retired.first;
    arenaTop = retired.end;
    return true;
}

void Fill(const Listing& listing, WIN32_FIND_DATAA* data)
{
    PackedEntry entry;
    memcpy(&entry, arena + listing.next, sizeof entry);
    memset(data, 0, sizeof *data);
    data->dwFileAttributes = entry.attributes;
    data->ftLastWriteTime = entry.lastWrite;
    data->ftLastAccessTime = entry.lastAccess;
    data->nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(entry.size);
    strcpy(data->cFileName, arena + listing.next + sizeof entry);
}

void PopClosedListings()
{
    while (listingTop > 0 && !listings[listingTop - 1].open) {
        listingTop--;
        arenaTop = listings[listingTop].begin;
    }
}

// The folder's path is the pattern less its final '*'; the trailing '/' stays, so a
// link to a folder is followed.
bool FolderOfPattern(LPCSTR pattern, char* folder)
{
    size_t length = strlen(pattern);
    if (length < 2 || pattern[length - 1] != '*' || pattern[length - 2] != '/' || length > PATH_MAX)
        return false;
    memcpy(folder, pattern, length - 1);
    folder[length - 1] = '\0';
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

// Reads the folder onto the stack of bytes; false when it cannot be opened or is empty
// (a folder removed while open lists not even "." and "..").
bool ReadFolder(const char* path, Listing* listing)
{
    int folder = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return false;
    *listing = Listing{arenaTop, 0, 0, 0, true, ReadMark()};
    bool kept = Append(path, strlen(path) + 1) && AlignArena();
    listing->first = listing->next = arenaTop;
    if (kept)
        ReadListing(folder);
    close(folder);
    listing->end = arenaTop;
    if (listing->first == listing->end) {
        arenaTop = listing->begin;
        return false;
    }
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
    char path[PATH_MAX];
    if (!FolderOfPattern(pattern, path))
        return INVALID_HANDLE_VALUE;
    if (!Reserve(reinterpret_cast<char**>(&listings), &listingCapacity, listingTop + 1,
                 sizeof(Listing)))
        return INVALID_HANDLE_VALUE;
    Listing listing;
    if (Reopen(path))
        listing = retired;
    else if (!ReadFolder(path, &listing))
        return INVALID_HANDLE_VALUE;
    listings[listingTop] = listing;
    Fill(listing, data);
    HANDLE find = reinterpret_cast<HANDLE>(FIND_HANDLE_BASE + listingTop);
    listingTop++;
    return find;
}

BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data)
{
    Listing* listing = OpenListing(find);
    if (!listing)
        return FALSE;
    PackedEntry entry;
    memcpy(&entry, arena + listing->next, sizeof entry);
    if (listing->next + entry.recordSize >= listing->end)
        return FALSE;
    listing->next += entry.recordSize;
    Fill(*listing, data);
    return TRUE;
}

BOOL FindClose(HANDLE find)
{
    Listing* listing = OpenListing(find);
    if (!listing)
        return FALSE;
    listing->open = false;
    hasRetired = listing == &listings[listingTop - 1];
    if (hasRetired)
        retired = *listing;
    PopClosedListings();
    return TRUE;
}
