// How many threads read ahead and write behind for a folder: several on a share, where
// every call waits on the network; on a solid-state disk, once the walk is seen to wait;
// one on a spinning disk, where parallel reads only move the heads about.
#define CHRONOTREE_SYSTEM_NAMES
#include "thread_choice.h"

#include "file_threads.h"
#include "kept_folders.h"
#include "long_paths.h"
#include <windows.h>
#include <winioctl.h>

#include <cstring>

namespace {

constexpr DWORD NETWORK_THREADS = 64;
// A solid-state disk answers at once: no more threads than processors, and at most 4. A
// warm tree does not wait at all, and there handing each read to another thread costs more
// than the read, so they stand by until the walk is seen to wait.
constexpr DWORD MOST_SOLID_STATE_THREADS = 4;
constexpr DWORD WATCH_MILLISECONDS = 250;

// Threads standing by to start once the walk waits (0: none), and the last look at how
// long the walk's thread has been on the processor (when, by GetTickCount; 0: none yet).
DWORD standing, watchedSince, ranAtLook;

// What the system says of the folder's volume: a share on the network, a disk without a
// seek penalty (solid state), or neither.
DWORD SuggestedThreads(const char* folder)
{
    static wchar_t wide[WIDE_PATH_SIZE];
    static wchar_t volume[WIDE_PATH_SIZE];
    if (ResolveWidePath(folder, strlen(folder), false, wide) == 0 ||
        !GetVolumePathNameW(wide, volume, WIDE_PATH_SIZE))
        return 1;
    size_t length = wcslen(volume);
    bool drive = length >= 7 && wcsncmp(volume, L"\\\\?\\", 4) == 0 && volume[5] == L':';
    // A drive is asked of as "S:\" too: Wine types a mapped drive by its letter alone, and
    // "\\?\S:\" by the file system below it (a FUSE mount is then a fixed disk).
    if (GetDriveTypeW(volume) == DRIVE_REMOTE ||
        (drive && GetDriveTypeW(volume + 4) == DRIVE_REMOTE))
        return NETWORK_THREADS;
    if (!drive)
        return 1;
    // "\\?\C:\" becomes "\\.\C:", the volume's device.
    volume[2] = L'.';
    volume[6] = L'\0';
    HANDLE device = CreateFileW(volume, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return 1;
    STORAGE_PROPERTY_QUERY query = {StorageDeviceSeekPenaltyProperty, PropertyStandardQuery, {0}};
    DEVICE_SEEK_PENALTY_DESCRIPTOR penalty = {};
    DWORD got = 0;
    BOOL known = DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                                 &penalty, sizeof penalty, &got, nullptr);
    CloseHandle(device);
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    DWORD threads = system.dwNumberOfProcessors < MOST_SOLID_STATE_THREADS
                        ? system.dwNumberOfProcessors
                        : MOST_SOLID_STATE_THREADS;
    if (known && got >= sizeof penalty && !penalty.IncursSeekPenalty)
        StandByThreads(threads);
    return 1;
}

} // namespace

void StandByThreads(DWORD count)
{
    standing = count > 1 ? count : 0;
    watchedSince = 0;
}

DWORD WatchForWaits()
{
    DWORD now = GetTickCount();
    if (!standing || now - watchedSince < WATCH_MILLISECONDS)
        return FileThreadsInUse();
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    // In 100 ns units, counted modulo 2^32: a difference is right up to 429 seconds.
    DWORD ran = kernel.dwLowDateTime + user.dwLowDateTime;
    // On the processor for less than a quarter of the milliseconds since the last look: the
    // rest it waited on its calls. The times move by the clock's tick, a sixteenth of that.
    bool waited = watchedSince && (ran - ranAtLook) / 2500 < now - watchedSince;
    watchedSince = now;
    ranAtLook = ran;
    if (waited) {
        DWORD count = standing;
        standing = 0;
        return StartFileThreads(count);
    }
    return FileThreadsInUse();
}

DWORD UseFileThreads(const char* folder, DWORD count)
{
    ReleaseKeptFolders();
    StandByThreads(0);
    return StartFileThreads(count ? count : SuggestedThreads(folder));
}
