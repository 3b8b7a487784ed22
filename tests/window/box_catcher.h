// Catches the message boxes and the window creations of this thread through a CBT hook, so
// that in-process tests can read and dismiss boxes and make window creation fail.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct CaughtBox {
    HWND owner;
    std::string caption;
    std::string text;
};

// Installs the hook; boxes are recorded and dismissed with OK as soon as they activate.
void StartCatchingBoxes();
void StopCatchingBoxes();
std::vector<CaughtBox>& CaughtBoxes();

// While set, every window of this class fails to be created.
void RefuseWindowsOfClass(const char* className);
