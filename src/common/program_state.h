// The one program-wide record: window handles, the option flags, the folder argument and
// the counters of the latest walk. Cleared by RunProgram before anything else.
#pragma once

#include <windows.h>

#include <cstdint>

struct ProgramState {
    HWND mainWindow;
    HWND folderLabel;
    HWND folderEdit;
    HWND browseButton;
    HWND setButton;
    uint8_t silent;
    uint8_t automatic;
    char* folderArgument;
    int32_t changedCount;
    int32_t visitedCount;
    // Options beyond the first two, each set when met, like `silent`:
    uint8_t ignoreManagerFiles; // -i: the files file managers write count as no files
    uint8_t dryRun; // -n: nothing is written; changedCount counts what would change
    uint8_t verbose; // -v: a line for every folder changed, and for every one that failed
    uint8_t latestWalk; // what the counters tell of: WALK_NONE, WALK_REAL or WALK_DRY
    // The window's walk: set while it runs; a close request asks it to stop before its
    // next write, and the window goes once it has.
    uint8_t walkRunning;
    uint8_t stopRequested;
};

constexpr uint8_t WALK_NONE = 0;
constexpr uint8_t WALK_REAL = 1;
constexpr uint8_t WALK_DRY = 2;

extern ProgramState programState;

void ResetProgramState();
