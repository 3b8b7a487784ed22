// The run's options in the window: checked items of the window's system menu (Alt+Space),
// shown on a right click too, set from the command line at start; and "Undo the last run".
#pragma once

#include <windows.h>

#include "option_table.h"

// Adds the items to the window's system menu, checked as the command line set them, and
// names the set button for a dry run when -n is on.
void AddOptionsToMenu();

// The menu on a right click at `at` (screen coordinates; -1, -1 from the keyboard).
void ShowOptionsMenu(LPARAM at);

// WM_SYSCOMMAND: true when the command was one of the items (it is then done).
bool HandleMenuCommand(WPARAM command);

// A walk in the window has ended: the changes it kept in memory can be undone, unless it
// was a dry run. A walk stopped by Escape can be undone as far as it went.
void NoteWindowRun();

// Identifiers of the items beyond the options' own (option_table.h): multiples of 16, as
// the system menu's commands must be.
constexpr UINT IDM_PATTERNS = 0x0180;
constexpr UINT IDM_UNDO = 0x0190;
