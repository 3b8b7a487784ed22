// The main window: its class, its four controls, their font and the message loop.
#pragma once

#include <windows.h>

#include "control_ids.h"

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
