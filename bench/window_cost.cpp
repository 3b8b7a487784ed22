// What following a walk in the window costs: the same walk, alternately with the window
// handling its messages and showing progress and without, by this process's processor time.
// usage: window_cost.exe FOLDER [RUNS] (under Wine: bench/run.sh runs it)
#include "main_window.h"
#include "program_state.h"
#include "walk_in_window.h"
#include "window_mode.h"

#include "folder_walk.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double ProcessorMs()
{
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    auto ticks = [](FILETIME time) {
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return (ticks(kernel) + ticks(user)) / 10000.0;
}

double Walk(const char* folder, bool follow)
{
    double start = ProcessorMs();
    programState.walkRunning = 1;
    if (follow)
        FollowWalkInWindow();
    RunFolderWalk(folder);
    if (follow)
        StopFollowingWalk();
    programState.walkRunning = 0;
    return ProcessorMs() - start;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: window_cost FOLDER [RUNS]\n");
        return 2;
    }
    int runs = argc > 2 ? atoi(argv[2]) : 7;
    ResetProgramState();
    programState.silent = 1;
    if (!CreateMainWindow(GetModuleHandleA(nullptr)))
        return 1;
    ShowWindow(programState.mainWindow, SW_SHOW);
    Walk(argv[1], false); // warm-up
    // The walk's own time varies by several percent from run to run under Wine, more than
    // the cost measured: the ratio is that of the medians over many alternating runs.
    std::vector<double> plain, followed;
    for (int i = 0; i < runs; i++) {
        plain.push_back(Walk(argv[1], false));
        followed.push_back(Walk(argv[1], true));
    }
    printf("window followed %8.0f ms  not followed %8.0f ms  ratio %.3f (processor time, "
           "medians of %d)\n",
           Median(followed), Median(plain), Median(followed) / Median(plain), runs);
    return 0;
}
