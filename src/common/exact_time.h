// A folder's last-write time at the full precision its platform keeps: 100 ns on Windows,
// 1 ns on POSIX, and times before 1601 too, which FILETIME cannot hold.
#pragma once

#include <cstdint>

struct ExactTime {
    int64_t seconds; // since 1601-01-01 00:00:00 UTC; negative before it
    uint32_t nanoseconds; // 0 to 999,999,999
};

inline bool SameExactTime(ExactTime a, ExactTime b)
{
    return a.seconds == b.seconds && a.nanoseconds == b.nanoseconds;
}
