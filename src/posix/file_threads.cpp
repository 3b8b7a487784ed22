// The pool of workers: each takes the oldest queued write first (writes are short, and each
// holds a descriptor), else the queued folder nearest to the walk.
#include "file_threads.h"

#include "read_ahead.h"
#include "workers.h"
#include "write_behind.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <pthread.h>

namespace {

constexpr unsigned MOST_THREADS = 64;

pthread_cond_t workersIdle = PTHREAD_COND_INITIALIZER; // workers beyond the number in use
unsigned wanted = 1; // guarded by workerGuard
unsigned started;

// A worker beyond the number in use waits apart, so that it never takes a wake-up meant
// for one in use.
void* Work(void* argument)
{
    unsigned index = static_cast<unsigned>(reinterpret_cast<uintptr_t>(argument));
    alignas(alignof(max_align_t)) char chunk[AHEAD_CHUNK_SIZE];
    pthread_mutex_lock(&workerGuard);
    for (;;) {
        if (index >= wanted || wanted <= 1)
            pthread_cond_wait(&workersIdle, &workerGuard);
        else if (!WriteOneQueued() && !ReadNearestAhead(chunk))
            WaitForWork();
    }
    return nullptr;
}

} // namespace

void SetWorkerThreads(unsigned count)
{
    pthread_mutex_lock(&workerGuard);
    WaitForWrites();
    DropAllAhead();
    wanted = count < 1 ? 1 : count > MOST_THREADS ? MOST_THREADS : count;
    while (wanted > 1 && started < wanted) {
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        pthread_t thread;
        void* index = reinterpret_cast<void*>(static_cast<uintptr_t>(started));
        int failed = pthread_create(&thread, &attributes, Work, index);
        pthread_attr_destroy(&attributes);
        if (failed) {
            wanted = started > 1 ? started : 1; // as many as the system gives
            break;
        }
        started++;
    }
    SetWorkerCount(wanted);
    pthread_cond_broadcast(&workersIdle);
    WakeAllWorkers();
    pthread_mutex_unlock(&workerGuard);
}

size_t WorkerDescriptors(size_t budget)
{
    pthread_mutex_lock(&workerGuard);
    size_t ahead = budget / 4 < MOST_HOLDING ? budget / 4 : MOST_HOLDING;
    size_t writes = budget / 16 < MOST_WRITES ? budget / 16 : MOST_WRITES;
    bool room = wanted > 1 && ahead > 0 && writes > 0;
    SetAheadCap(room ? ahead : 0);
    SetWriteCap(room ? writes : 0);
    size_t reserved = room ? 2 * ahead + writes : 0;
    pthread_mutex_unlock(&workerGuard);
    return reserved;
}

BOOL TakeFailedWrite(DWORD wait, char* path, DWORD size, DWORD* error)
{
    return size > 0 && TakeWriteFailure(wait != TAKE_DONE, path, size, error);
}
