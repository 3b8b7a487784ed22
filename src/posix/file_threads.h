// The threads that read folders ahead of the walk (read_ahead.h) and write folder times
// behind it (write_behind.h): how many there are, and what each worker does next.
//
// The rule: the walk's thread alone decides. It owns every held folder and every listing,
// and everything the program reports goes out in its order. With one thread (the default
// where nothing else is asked) there are no workers and every call is done where it is
// made.
#pragma once

#include <cstddef>

// Sets how many threads read ahead and write behind (1: none), after every pending write
// is done and every folder read ahead is dropped. Workers the system does not give are
// done without. The walk's thread's alone.
void SetWorkerThreads(unsigned count);

// The descriptors that the workers may hold at once, at most, out of the layer's budget of
// `budget`: each listing read ahead holds one, the folders it is read from one each, and
// each pending write one. The held folders keep the rest.
size_t WorkerDescriptors(size_t budget);
