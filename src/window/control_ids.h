// The names the window's class and controls are known by.
#pragma once

constexpr int IDC_BROWSE = 500;
constexpr int IDC_SET_DATES = 501;

constexpr char MAIN_WINDOW_CLASS[] = "TolvuChronotreeWin32Gui";
