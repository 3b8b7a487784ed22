// File handles name a path; the look-up happens when a handle is used, relative to the held
// folders, so a write costs one system call: futimens on the folder the walk has just
// listed (the very folder that was read, whatever has been renamed since), or utimensat
// relative to a held parent.
#include "file_time.h"
#include "handle_values.h"
#include "held_folders.h"
#include "workers.h"
#include "write_behind.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr int FILE_HANDLE_COUNT = 16;
constexpr size_t HANDLE_PATH_SIZE = 32768;

struct FileHandle {
    bool open;
    char path[HANDLE_PATH_SIZE];
};

FileHandle handles[FILE_HANDLE_COUNT];

FileHandle* OpenHandle(HANDLE file)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(file);
    if (value < FILE_HANDLE_BASE || value >= FILE_HANDLE_BASE + FILE_HANDLE_COUNT)
        return nullptr;
    FileHandle* handle = &handles[value - FILE_HANDLE_BASE];
    return handle->open ? handle : nullptr;
}

// The handle's entry: a held folder (name null), or a name relative to a held folder.
int Entry(FileHandle* handle, const char** name)
{
    if (!handle) {
        errno = EBADF;
        return -1;
    }
    return HoldEntry(handle->path, name);
}

bool StatEntry(int folder, const char* name, struct stat* found)
{
    return (name ? fstatat(folder, name, found, 0) : fstat(folder, found)) == 0;
}

// The handle's file looked up (after links). A read sees what was set: when a write to the
// same file is pending, under any spelling, or was done while it read, it is looked up again
// once the writes are done.
bool StatOf(HANDLE file, struct stat* found)
{
    const char* name;
    FileHandle* handle = OpenHandle(file);
    if (handle)
        SettleWritesTo(handle->path);
    int folder = Entry(handle, &name);
    uint64_t mark = WritesDoneMark();
    if (folder == -1 || !StatEntry(folder, name, found))
        return false;
    return !SettleWritesToFile(found->st_dev, found->st_ino, mark) ||
           StatEntry(folder, name, found);
}

// Sets the handle's file's times (after links); UTIME_OMIT leaves one as it is. With
// threads the write is queued behind the walk, unless it cannot be.
bool SetTimesOf(HANDLE file, const timespec times[2])
{
    const char* name;
    FileHandle* handle = OpenHandle(file);
    int folder = Entry(handle, &name);
    if (folder == -1)
        return false;
    if (WorkerThreads() > 1 && folder != AT_FDCWD && WriteBehind(folder, name, times, handle->path))
        return true;
    SettleWritesTo(handle->path); // never before a write queued earlier
    return (name ? utimensat(folder, name, times, 0) : futimens(folder, times)) == 0;
}

} // namespace

HANDLE CreateFileA(LPCSTR path, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE)
{
    size_t length = strlen(path);
    while (length > 1 && path[length - 1] == '/')
        length--; // "dir/" names dir
    if (length == 0 || length >= HANDLE_PATH_SIZE) {
        errno = length == 0 ? ENOENT : ENAMETOOLONG;
        return INVALID_HANDLE_VALUE;
    }
    for (int i = 0; i < FILE_HANDLE_COUNT; i++) {
        if (!handles[i].open) {
            handles[i].open = true;
            memcpy(handles[i].path, path, length);
            handles[i].path[length] = '\0';
            NoteUseBegins();
            return reinterpret_cast<HANDLE>(FILE_HANDLE_BASE + i);
        }
    }
    errno = EMFILE;
    return INVALID_HANDLE_VALUE;
}

BOOL SetFileTime(HANDLE file, const FILETIME*, const FILETIME* lastAccess,
                 const FILETIME* lastWrite)
{
    timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_nsec = UTIME_OMIT;
    if (lastAccess)
        times[0] = TimespecFromFileTime(*lastAccess);
    if (lastWrite)
        times[1] = TimespecFromFileTime(*lastWrite);
    return SetTimesOf(file, times);
}

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info)
{
    struct stat found;
    if (!StatOf(file, &found))
        return FALSE;
    memset(info, 0, sizeof *info);
    info->dwFileAttributes =
        S_ISDIR(found.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    info->ftLastWriteTime = FileTimeFromTimespec(found.st_mtim);
    info->ftLastAccessTime = FileTimeFromTimespec(found.st_atim);
    uint64_t device = static_cast<uint64_t>(found.st_dev);
    info->dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
    info->nFileIndexHigh = static_cast<DWORD>(static_cast<uint64_t>(found.st_ino) >> 32);
    info->nFileIndexLow = static_cast<DWORD>(found.st_ino);
    info->nNumberOfLinks = static_cast<DWORD>(found.st_nlink);
    info->nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(found.st_size) >> 32);
    info->nFileSizeLow = static_cast<DWORD>(found.st_size);
    return TRUE;
}

BOOL GetFileExactTime(HANDLE file, ExactTime* lastWrite)
{
    struct stat found;
    if (!StatOf(file, &found))
        return FALSE;
    *lastWrite = ExactFromTimespec(found.st_mtim);
    return TRUE;
}

BOOL SetFileExactTime(HANDLE file, const ExactTime* lastWrite)
{
    timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    if (!TimespecFromExact(*lastWrite, &times[1])) {
        errno = EOVERFLOW;
        return FALSE;
    }
    return SetTimesOf(file, times);
}

BOOL CloseHandle(HANDLE object)
{
    FileHandle* handle = OpenHandle(object);
    if (!handle)
        return FALSE;
    handle->open = false;
    NoteUseEnds();
    return TRUE;
}
