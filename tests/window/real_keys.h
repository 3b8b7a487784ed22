// A key pressed as a person presses it: input to the foreground window, which the system
// hands to whichever window has the focus. A message posted to a control would skip the
// focus rules, and a real key that reached nothing would go unnoticed.
#pragma once

#include <windows.h>

inline void PressRealKey(WORD key)
{
    INPUT keys[2] = {};
    for (INPUT& each : keys) {
        each.type = INPUT_KEYBOARD;
        each.ki.wVk = key;
    }
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
}
