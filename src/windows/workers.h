// Starting the workers that read ahead (read_ahead.cpp) and write behind
// (write_behind.cpp).
#pragma once

#include <windows.h>

// Starts a worker thread running `run`, or returns false. Its stack is a small reservation
// of its own: the program's 8 MiB would be reserved again for each of up to 128 workers,
// a gigabyte of a 32-bit process's two.
bool StartWorker(LPTHREAD_START_ROUTINE run);
