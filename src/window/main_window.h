// The main window: its class, its four controls, their font and the message loop.
#pragma once

#include <windows.h>

constexpr int IDC_BROWSE = 500;
constexpr int IDC_SET_DATES = 501;

constexpr char MAIN_WINDOW_CLASS[] = "TolvuChronotreeWin32Gui";

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Hands one message of the thread on, with the dialog keyboard handling for the main
// window's controls.
void DispatchWindowMessage(MSG* message);
