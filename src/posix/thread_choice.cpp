// How many threads read ahead and write behind for a folder: several on a network file
// system, where calls wait on a server; on a solid-state disk, once its reads are seen to
// wait; one on a spinning disk, where parallel reads only move the heads about.
#include "thread_choice.h"
#include "file_threads.h"
#include "held_folders.h"
#include "workers.h"

#include <windows.h>

#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

constexpr DWORD NETWORK_THREADS = 64;
// A solid-state disk answers at once: more threads than processors only take turns. A
// warm tree does not wait at all, and there handing each read to another thread costs more
// than the read (measured on two processors: 2.3 times as long at 2 threads as at 1), so
// the threads stand by until the walk's own reads are seen to block.
constexpr DWORD MOST_SOLID_STATE_THREADS = 4;
// A look every so many of the walk's own reads, and how many of them must have blocked.
constexpr unsigned WATCHED_LISTINGS = 64;
constexpr long WAITS_TO_START = 16;

unsigned standing; // threads to start once the walk waits; 0 when none stand by
unsigned listingsWatched;
long switchesAtLook;

// The times the walk's thread gave up the processor to wait: on a warm tree it never does.
long VoluntarySwitches()
{
    rusage usage;
    return getrusage(RUSAGE_THREAD, &usage) == 0 ? usage.ru_nvcsw : 0;
}

DWORD SolidStateThreads()
{
    long processors = sysconf(_SC_NPROCESSORS_ONLN);
    return processors < 1 ? 1
           : processors > static_cast<long>(MOST_SOLID_STATE_THREADS)
               ? MOST_SOLID_STATE_THREADS
               : static_cast<DWORD>(processors);
}

bool IsNetworkFileSystem(long type)
{
    // NFS, SMB, CIFS, SMB2, FUSE (sshfs and the like), Ceph, 9P, AFS, Coda, GlusterFS runs
    // on FUSE, Lustre, GPFS, OCFS2, GFS2.
    static const unsigned long kinds[] = {
        0x6969,     0x517B,     0xFF534D42, 0xFE534D42, 0x65735546, 0x00C36400, 0x01021997,
        0x5346414F, 0x73757245, 0x0BD00BD0, 0x47504653, 0x7461636F, 0x01161970};
    for (unsigned long kind : kinds) {
        if (static_cast<unsigned long>(type) == kind)
            return true;
    }
    return false;
}

// The block device's own flag, or its whole disk's for a partition; -1 when there is none
// (a folder in memory, or on a device the system does not describe).
int Rotational(dev_t device)
{
    const char* forms[] = {"/sys/dev/block/%u:%u/queue/rotational",
                           "/sys/dev/block/%u:%u/../queue/rotational"};
    for (const char* form : forms) {
        char path[80];
        snprintf(path, sizeof path, form, major(device), minor(device));
        FILE* flag = fopen(path, "re");
        if (!flag)
            continue;
        int value = fgetc(flag);
        fclose(flag);
        if (value == '0' || value == '1')
            return value - '0';
    }
    return -1;
}

DWORD SuggestedThreads(const char* folder)
{
    struct statfs system;
    if (statfs(folder, &system) == 0 && IsNetworkFileSystem(static_cast<long>(system.f_type)))
        return NETWORK_THREADS;
    struct stat found;
    if (stat(folder, &found) != 0)
        return 1;
    if (Rotational(found.st_dev) == 0)
        StandByThreads(SolidStateThreads());
    return 1;
}

void StartThreads(unsigned count)
{
    SetWorkerThreads(count);
    ReserveForWorkers();
}

} // namespace

void StandByThreads(unsigned count)
{
    standing = count > 1 ? count : 0;
    listingsWatched = 0;
    switchesAtLook = VoluntarySwitches();
}

void NoteOwnListing()
{
    if (standing == 0 || ++listingsWatched < WATCHED_LISTINGS)
        return;
    long switches = VoluntarySwitches();
    bool waited = switches - switchesAtLook >= WAITS_TO_START;
    listingsWatched = 0;
    switchesAtLook = switches;
    if (waited) {
        unsigned count = standing;
        standing = 0;
        StartThreads(count);
    }
}

DWORD UseFileThreads(const char* folder, DWORD count)
{
    standing = 0;
    StartThreads(count ? count : SuggestedThreads(folder));
    return WorkerThreads();
}
