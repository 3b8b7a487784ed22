// FILETIME arithmetic is signed here, so times before 1970 convert both ways.
#include "file_time.h"

namespace {
constexpr int64_t TICKS_PER_SECOND = 10000000;
}

FILETIME FileTimeFromTimespec(timespec time)
{
    // tv_sec is 64-bit: adding the offset cannot overflow for any time a file system keeps.
    int64_t seconds = static_cast<int64_t>(time.tv_sec) + SECONDS_FROM_1601_TO_1970;
    if (seconds < 0)
        return FILETIME{0, 0};
    // Past the year 60056 (tmpfs and XFS keep such times) the latest FILETIME, never a wrap.
    // The last second is held up to its .9551615; only what lies after it saturates.
    constexpr uint64_t MOST_TICKS = UINT64_MAX;
    constexpr uint64_t LAST_SECOND = MOST_TICKS / TICKS_PER_SECOND;
    uint64_t fraction = static_cast<uint64_t>(time.tv_nsec / 100);
    if (static_cast<uint64_t>(seconds) > LAST_SECOND ||
        (static_cast<uint64_t>(seconds) == LAST_SECOND && fraction > MOST_TICKS % TICKS_PER_SECOND))
        return FILETIME{0xFFFFFFFF, 0xFFFFFFFF};
    uint64_t ticks = static_cast<uint64_t>(seconds) * TICKS_PER_SECOND + fraction;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

timespec TimespecFromFileTime(FILETIME time)
{
    uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    timespec result;
    result.tv_sec = static_cast<time_t>(static_cast<int64_t>(ticks / TICKS_PER_SECOND) -
                                        SECONDS_FROM_1601_TO_1970);
    result.tv_nsec = static_cast<long>(ticks % TICKS_PER_SECOND) * 100;
    return result;
}

ExactTime ExactFromTimespec(timespec time)
{
    int64_t seconds = static_cast<int64_t>(time.tv_sec);
    if (seconds > INT64_MAX - SECONDS_FROM_1601_TO_1970)
        return ExactTime{INT64_MAX, 999999999};
    return ExactTime{seconds + SECONDS_FROM_1601_TO_1970, static_cast<uint32_t>(time.tv_nsec)};
}

bool TimespecFromExact(ExactTime time, timespec* into)
{
    if (time.nanoseconds > 999999999 || time.seconds < INT64_MIN + SECONDS_FROM_1601_TO_1970)
        return false;
    into->tv_sec = static_cast<time_t>(time.seconds - SECONDS_FROM_1601_TO_1970);
    into->tv_nsec = static_cast<long>(time.nanoseconds);
    return true;
}

void GetSystemTimeAsFileTime(FILETIME* now)
{
    timespec time = {0, 0};
    clock_gettime(CLOCK_REALTIME, &time);
    *now = FileTimeFromTimespec(time);
}
