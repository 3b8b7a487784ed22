// Catches links and junctions that lead back to a folder the walk is already inside,
// which would otherwise make the descent go on until the path no longer fits.
#pragma once

#include "folder_walk.h"

// True when the folder `name`, an entry of the folder at `level`, is that folder or one
// of its ancestors up to the top folder. False when it is not, or cannot be looked up.
bool LeadsBackUpThePath(char* buffer, WalkLevel* level, const char* name);
