// Reading folders into packed entries, for the walk's thread and the read-ahead threads
// alike: nothing here keeps state of its own.
#include "listing_entries.h"

#include "file_time.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

bool Before(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

ssize_t PackEntry(int folder, const dirent64* found, size_t nameLength, char* at)
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
    return static_cast<ssize_t>(ENTRY_HEADER + nameLength + 1);
}

} // namespace

ssize_t PackRecords(int folder, const char* chunk, ssize_t got, char* into, off_t* resume)
{
    size_t used = 0;
    for (ssize_t at = 0; at < got;) {
        const dirent64* found = reinterpret_cast<const dirent64*>(chunk + at);
        size_t nameLength = strlen(found->d_name);
        if (nameLength < MAX_PATH) {
            ssize_t packed = PackEntry(folder, found, nameLength, into + used);
            if (packed < 0)
                return -1;
            used += static_cast<size_t>(packed);
        }
        if (resume)
            *resume = found->d_off;
        at += found->d_reclen;
    }
    return static_cast<ssize_t>(used);
}

size_t PackedEntrySize(const char* at) { return ENTRY_HEADER + strlen(at + ENTRY_HEADER) + 1; }

bool IsPackedSubfolder(const char* at)
{
    const char* name = at + ENTRY_HEADER;
    bool dots = name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
    return static_cast<uint8_t>(at[8]) == KIND_FOLDER && !dots;
}

timespec ReadMark()
{
    timespec now = {0, 0}, tick = {0, 0};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    clock_getres(CLOCK_REALTIME_COARSE, &tick);
    int64_t mark =
        now.tv_sec * 1000000000LL + now.tv_nsec - 2 * (tick.tv_sec * 1000000000LL + tick.tv_nsec);
    return timespec{static_cast<time_t>(mark / 1000000000), static_cast<long>(mark % 1000000000)};
}

bool UnchangedSince(int folder, const timespec& mark)
{
    struct statx now;
    return statx(folder, "", AT_EMPTY_PATH, STATX_CTIME, &now) == 0 &&
           (now.stx_mask & STATX_CTIME) &&
           Before(timespec{static_cast<time_t>(now.stx_ctime.tv_sec),
                           static_cast<long>(now.stx_ctime.tv_nsec)},
                  mark);
}

bool ReadWholeListing(int folder, size_t budget, char* chunk, size_t chunkSize, char** bytes,
                      size_t* size)
{
    char* block = nullptr;
    size_t used = 0, capacity = 0;
    for (;;) {
        ssize_t got = getdents64(folder, chunk, chunkSize);
        if (got < 0)
            break;
        if (got == 0) {
            if (used == 0)
                errno = ENOENT; // a removed folder lists not even "." and ".."
            else {
                *bytes = block;
                *size = used;
                return true;
            }
            break;
        }
        // A kept entry is never larger than the record it came from.
        size_t needed = used + static_cast<size_t>(got);
        if (needed > budget) {
            errno = E2BIG;
            break;
        }
        if (needed > capacity) {
            capacity = needed * 2 > budget ? budget : needed * 2;
            char* grown = static_cast<char*>(realloc(block, capacity));
            if (!grown)
                break;
            block = grown;
        }
        ssize_t packed = PackRecords(folder, chunk, got, block + used, nullptr);
        if (packed < 0)
            break;
        used += static_cast<size_t>(packed);
    }
    int reason = errno;
    free(block);
    errno = reason;
    return false;
}
