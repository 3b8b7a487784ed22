// The listing's storage: entries packed in one block, read from either of the system's
// listing calls.
#define CHRONOTREE_SYSTEM_NAMES
#include "listings.h"
#include "wide_text.h"

#include <cstdlib>
#include <cstring>

namespace {

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

// Makes room for `size` more bytes of entries, doubling up to the budget.
bool MakeRoom(Listing* listing, size_t size)
{
    size_t needed = listing->used + size;
    if (needed <= listing->capacity)
        return true;
    if (needed > listing->budget)
        return false;
    size_t capacity = listing->capacity ? listing->capacity : 16384;
    while (capacity < needed)
        capacity *= 2;
    if (capacity > listing->budget)
        capacity = listing->budget;
    char* grown = static_cast<char*>(realloc(listing->entries, capacity));
    if (!grown)
        return false;
    listing->entries = grown;
    listing->capacity = capacity;
    return true;
}

} // namespace

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

bool CanReadThrough()
{
    if (!infoByHandleSought) {
        infoByHandleSought = true;
        // Through a plain function pointer, which converts to any other without a warning.
        infoByHandle = reinterpret_cast<InfoByHandle>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetFileInformationByHandleEx")));
    }
    return infoByHandle != nullptr;
}

// Reads the whole folder through its handle; false when a read fails before the end or the
// entries pass the listing budget.
bool ReadThrough(Listing* listing, HANDLE folder, char* chunk)
{
    WIN32_FIND_DATAW& found = listing->pending;
    while (infoByHandle(folder, FULL_DIRECTORY_INFO, chunk, CHUNK_SIZE)) {
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

HANDLE OpenToReadThrough(const wchar_t* path, bool forWrites)
{
    DWORD access = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE |
                   (forWrites ? FILE_WRITE_ATTRIBUTES : 0);
    return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool FolderTimeBefore(const wchar_t* path, FILETIME* time)
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data))
        return false;
    *time = data.ftLastWriteTime;
    return Ticks(*time) + RECENT_TICKS < Ticks(now);
}
