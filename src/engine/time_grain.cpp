// The grain in 100 ns ticks and the way it rounds, kept for the walk's length.
#include "time_grain.h"

#include <cstdint>

namespace {

enum class Rounding : uint8_t { Down, Nearest, Up };

constexpr int64_t TICKS_PER_SECOND = 10000000;
constexpr int64_t GRAINS[] = {1, 10, 10000, TICKS_PER_SECOND, 2 * TICKS_PER_SECOND};
constexpr Rounding ROUNDINGS[] = {Rounding::Down, Rounding::Nearest, Rounding::Up};

bool learnt;
int64_t grain = 1;
Rounding rounding = Rounding::Down;

// The time in 100 ns ticks, and whether it is whole ticks (below them POSIX keeps more).
int64_t Ticks(ExactTime time, bool* whole)
{
    *whole = time.nanoseconds % 100 == 0;
    return time.seconds * TICKS_PER_SECOND + time.nanoseconds / 100;
}

int64_t Rounded(int64_t ticks, int64_t unit, Rounding how)
{
    int64_t down = ticks - ((ticks % unit) + unit) % unit; // toward the past, before 1601 too
    if (how == Rounding::Down || down == ticks)
        return down;
    if (how == Rounding::Up)
        return down + unit;
    return ticks - down >= unit - (ticks - down) ? down + unit : down;
}

} // namespace

void ForgetTimeGrain()
{
    learnt = false;
    grain = 1;
    rounding = Rounding::Down;
}

bool TimeGrainUnknown() { return !learnt; }

void LearnTimeGrain(ExactTime written, ExactTime kept)
{
    learnt = true;
    bool wholeWritten, wholeKept;
    int64_t from = Ticks(written, &wholeWritten), to = Ticks(kept, &wholeKept);
    for (int64_t unit : GRAINS) {
        for (Rounding how : ROUNDINGS) {
            if (wholeKept && Rounded(from, unit, how) == to) {
                grain = unit;
                rounding = how;
                return;
            }
        }
    }
}

bool KeptAs(ExactTime present, ExactTime wanted)
{
    if (grain == 1)
        return SameExactTime(present, wanted);
    bool wholePresent, wholeWanted;
    int64_t now = Ticks(present, &wholePresent);
    return wholePresent && now == Rounded(Ticks(wanted, &wholeWanted), grain, rounding);
}

bool MayBeKeptAs(ExactTime present, ExactTime wanted)
{
    bool wholePresent, wholeWanted;
    int64_t now = Ticks(present, &wholePresent), then = Ticks(wanted, &wholeWanted);
    for (int64_t unit : GRAINS) {
        for (Rounding how : ROUNDINGS) {
            if (wholePresent && unit > 1 && now == Rounded(then, unit, how))
                return true;
        }
    }
    return false;
}
