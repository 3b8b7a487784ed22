// How finely the file system being walked keeps a folder's time: a share or a mount may
// keep seconds where the files report 100 ns, and round what is written. Learnt from the
// first write read back, not from the file system's name.
#pragma once

#include <windows.h>

// A walk begins: nothing is known, and times are kept as given.
void ForgetTimeGrain();

// Whether the grain is still to be learnt (then the caller reads its first write back).
bool TimeGrainUnknown();

// `kept` is what the file system made of `written`: the coarsest of 100 ns, 1 us, 1 ms,
// 1 s and 2 s, rounded down, to the nearest or up, that turns the one into the other.
// When none does, times are compared as they are.
void LearnTimeGrain(ExactTime written, ExactTime kept);

// Whether a folder at `present` already holds `wanted`, as this file system keeps it.
bool KeptAs(ExactTime present, ExactTime wanted);

// Before anything is learnt: whether `present` is `wanted` as some coarser grain would keep
// it (a folder of a share that keeps seconds, already set).
bool MayBeKeptAs(ExactTime present, ExactTime wanted);
