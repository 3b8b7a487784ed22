// What the start-up needs of window mode.
#pragma once

#include <windows.h>

// Registers the class and builds the main window; false (after its error box, unless
// silent) when either failed.
bool CreateMainWindow(HINSTANCE instance);

// The exit status when CreateMainWindow returned false: 1 when the window could not be
// made; 2 from a command line, which has no window, for a folder named without -a.
int WindowModeFailure();

// Shows the main window and pumps messages until it has closed; returns 0.
int RunMessageLoop(int showState);
