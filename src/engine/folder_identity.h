// Catches links and junctions that lead back to a folder the walk is already inside,
// which would otherwise make the descent go on until the path no longer fits; and reads
// what a folder's handle tells of it.
#pragma once

#include "folder_walk.h"

// True when the folder `name`, an entry of the folder at `level`, is that folder or one
// of its ancestors up to the top folder. False when it is not, or cannot be looked up.
bool LeadsBackUpThePath(char* buffer, WalkLevel* level, const char* name);

// The information of the folder `path` names (its identity, its present times); false when
// it cannot be looked up.
bool ReadFolderInformation(const char* path, BY_HANDLE_FILE_INFORMATION* info);
