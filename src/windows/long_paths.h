// Turns the program's UTF-8 paths into the system's "\\?\" form (see windows.h for the
// rules), so that no path short of the system's limit stops the walk.
#pragma once

#include <cstddef>

// The system's longest path in UTF-16 units, and room for what a resolution can add.
constexpr size_t WIDE_PATH_SIZE = 32768 + 8;

// Resolves `path` into `into` (WIDE_PATH_SIZE units); returns its length in units, or 0
// when it cannot be resolved or does not fit. `listing` says that this resolves the folder
// of a listing about to start.
size_t ResolveWidePath(const char* path, size_t length, bool listing, wchar_t* into);

// A listing has been opened, or closed: while any is open, paths below the first one's
// folder are resolved from its resolution.
void NoteListingOpened();
void NoteListingClosed();
