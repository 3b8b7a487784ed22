// Records the message boxes and window-mode calls the program makes, instead of showing them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace fakeshell {

struct Box {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

void Reset(bool windowSucceeds = true);
std::vector<Box>& boxes();
// The field's text when window mode was entered, or "-" when it was not.
std::string& windowModeArgument();

} // namespace fakeshell
