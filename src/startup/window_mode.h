// What the start-up needs of window mode.
#pragma once

#include <windows.h>

// Registers the class and builds the main window; false (after its error box, unless
// silent) when either failed.
bool CreateMainWindow(HINSTANCE instance);

// Shows the main window and pumps messages until it has closed; returns 0.
int RunMessageLoop(int showState);
