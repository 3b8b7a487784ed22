// The lock the walk's thread shares with the workers that read ahead and write behind, the
// conditions they wait on, and the number of threads in use.
//
// The rule: every field of the read-ahead and the write-behind is guarded by this one
// lock, and a worker touches a listing or a write only while it is marked as the worker's.
#pragma once

#include <pthread.h>

extern pthread_mutex_t workerGuard;

// Wakes one worker for one piece of work, rather than all of them for each: a wake-up
// costs a switch of threads.
void WakeWorker();

// Wakes every worker: the number in use has changed.
void WakeAllWorkers();

// A worker with nothing to do waits here (the lock held), until WakeWorker.
void WaitForWork();

// The walk's thread waits here (the lock held) for a worker to hand something back.
void WaitForWorkDone();

// A worker has handed something back (the lock held).
void NoteWorkDone();

// The number of threads in use as the walk's thread last set it (1: no workers). Only that
// thread sets or asks it, so asking costs no lock.
unsigned WorkerThreads();
void SetWorkerCount(unsigned count);
