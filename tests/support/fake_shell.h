// Records the message boxes, window-mode calls and standard output the program makes,
// instead of showing them.
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
// Writes to standard output fail once this many have gone through (a full disk).
void FailWritesAfter(int writes);
std::vector<Box>& boxes();
// What was written to standard output and to standard error.
std::string& output();
std::string& errors();
// The field's text when window mode was entered, or "-" when it was not.
std::string& windowModeArgument();

} // namespace fakeshell
