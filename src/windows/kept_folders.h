// Folders listed through a handle that is kept for their write, so that a share answers one
// open a folder, not two (find_files.cpp lists, file_handles.cpp writes). Walk's thread only.
#pragma once

#include <windows.h>

#include <cstddef>

// Whether the next listing is to open its folder for writing its times too: once a folder
// has been opened for writing in this walk, and until such an open is refused.
bool KeepingForWrites();

// The folder `folder` ("\\?\...\", `length` units with its separator) is held by `handle`,
// opened for listing and for its attributes; false when it cannot be held (the caller then
// closes the handle). At most 64 are held: the walk's path, top first.
bool KeepFolder(HANDLE handle, const wchar_t* folder, size_t length);

// Closes every held folder that is neither `folder` nor above it: the walk has left them.
void ReleaseFoldersOutside(const wchar_t* folder, size_t length);

// The handle held for the folder `path` (resolved, without a separator behind it), taken
// out of the hold, with every folder held below it closed; INVALID_HANDLE_VALUE when none.
HANDLE TakeKeptFolder(const wchar_t* path, size_t length);

// An open of a folder for writing was made (keeping starts) or refused (keeping stops).
void NoteFolderWriteOpen(bool refused);

// Closes every held folder and stops keeping: a walk has ended or begins.
void ReleaseKeptFolders();
