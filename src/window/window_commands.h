// The two buttons: "..." picks a folder into the field, "Set date to newest file" walks it.
#pragma once

#include <windows.h>

#include <shellapi.h>

// Acts on button clicks (notification code 0) of IDC_BROWSE and IDC_SET_DATES, and on
// IDCANCEL (Escape): it stops a walk that runs, leaving the window, or closes the window.
void HandleCommand(WPARAM wParam);

// Room for the longest path the picker gives, in UTF-8.
constexpr size_t PICKER_BUFFER_SIZE = 3 * 32768;

// True when the picker put a folder's whole path into `buffer` (PICKER_BUFFER_SIZE bytes),
// in UTF-8, long paths too where the system gives them; false when cancelled or when the
// chosen item has no file-system path.
bool BrowseForFolderPath(HWND owner, char* buffer);

// The field's first line, whole, in UTF-8, in a new zero-filled buffer for free(), or null
// when the field is empty or cannot be read; `length` gets the bytes read.
char* ReadEditLine(HWND edit, int* length);

// Puts the UTF-8 `text` into the folder field.
void SetFieldText(const char* text);

// A folder dropped on the window (from Explorer or anywhere) goes into the field whole; a
// file puts its own folder there. Nothing is taken while a walk runs.
void DropIntoField(HDROP drop);
