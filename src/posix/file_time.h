// Exact conversion between FILETIME (100 ns since 1601 UTC) and POSIX times.
#pragma once

#include <windows.h>

#include <ctime>

constexpr int64_t SECONDS_FROM_1601_TO_1970 = 11644473600;

// Nanoseconds below 100 are dropped; times before 1601 become 0, times past the latest
// FILETIME (the year 60056) become the latest.
FILETIME FileTimeFromTimespec(timespec time);

timespec TimespecFromFileTime(FILETIME time);

// The exact time, whatever its year (a time_t too late to be counted from 1601 becomes the
// latest ExactTime).
ExactTime ExactFromTimespec(timespec time);

// False when the time cannot be a time_t.
bool TimespecFromExact(ExactTime time, timespec* into);
