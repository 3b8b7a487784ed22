// The one program-wide record: window handles, the two flags, the folder argument and
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
};

extern ProgramState programState;

void ResetProgramState();
