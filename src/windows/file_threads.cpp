// The number of threads in use, given to the writers and the readers alike, and the end of
// a walk's: kept folders let go of, listings read ahead dropped, then the failed writes.
#define CHRONOTREE_SYSTEM_NAMES
#include "file_threads.h"

#include "kept_folders.h"
#include "read_ahead.h"
#include "write_behind.h"

namespace {

constexpr DWORD MOST_THREADS = 64;

DWORD inUse = 1;

} // namespace

DWORD FileThreadsInUse() { return inUse; }

DWORD StartFileThreads(DWORD count)
{
    inUse = StartWriters(count > MOST_THREADS ? MOST_THREADS : count);
    StartReadAhead(inUse);
    return inUse;
}

BOOL TakeFailedWrite(DWORD wait, char* path, DWORD size, DWORD* error)
{
    if (wait == TAKE_AT_END) {
        ReleaseKeptFolders();
        DropReadAhead();
    }
    return TakeWriteFailure(wait != TAKE_DONE, path, size, error);
}
