// The workers' lock and conditions, and the count of threads in use.
#include "workers.h"

pthread_mutex_t workerGuard = PTHREAD_MUTEX_INITIALIZER;

namespace {

pthread_cond_t workWaiting = PTHREAD_COND_INITIALIZER; // workers wait here
pthread_cond_t workDone = PTHREAD_COND_INITIALIZER; // the walk's thread waits here
unsigned walkThreads = 1;

} // namespace

void WakeWorker() { pthread_cond_signal(&workWaiting); }

void WakeAllWorkers() { pthread_cond_broadcast(&workWaiting); }

void WaitForWork() { pthread_cond_wait(&workWaiting, &workerGuard); }

void WaitForWorkDone() { pthread_cond_wait(&workDone, &workerGuard); }

void NoteWorkDone() { pthread_cond_broadcast(&workDone); }

unsigned WorkerThreads() { return walkThreads; }

void SetWorkerCount(unsigned count) { walkThreads = count; }
