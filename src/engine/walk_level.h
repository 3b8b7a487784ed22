// The walk's path buffer and the levels of the path being walked, which the walk and the
// look-ups of folders' identities share.
#pragma once

#include <windows.h>

#include <cstddef>

constexpr size_t PATH_BUFFER_SIZE = 32768;
constexpr size_t MAX_FOLDER_ARGUMENT = 32511;

// Which folder a path names, whatever the path: its volume and its file index.
struct FolderIdentity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};

// One folder on the path being walked, so that a folder already on it can be caught.
struct WalkLevel {
    WalkLevel* parent;
    char* tail; // just behind this folder's trailing separator in the path buffer
    FolderIdentity identity;
    bool identityKnown;
    bool linked; // reached through a link or junction, here or above
};
