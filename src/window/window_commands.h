// The two buttons: "..." picks a folder into the field, "Set date to newest file" walks it.
#pragma once

#include <windows.h>

// Acts on button clicks (notification code 0) of IDC_BROWSE and IDC_SET_DATES only.
void HandleCommand(WPARAM wParam);

// True when the picker put a folder's whole path into `buffer` (at least MAX_PATH bytes);
// false, and the buffer not to be used, when cancelled or when the path does not fit.
bool BrowseForFolderPath(HWND owner, char* buffer);

// The field's first line, whole in the code page's bytes, in a new zero-filled buffer for
// free(), or null when the field is empty or cannot be read; `length` gets the bytes read.
char* ReadEditLine(HWND edit, int* length);

void EnableControls(bool enable);
