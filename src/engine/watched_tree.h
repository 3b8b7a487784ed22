// What a watch keeps of every folder it watches: its name, its place in the tree and the
// newest times of its own files and of its subtree, so that after a change only the
// folder it happened in is listed again and the folders above it are worked out from here.
#pragma once

#include <windows.h>

#include "walk_level.h"

#include <cstddef>
#include <cstdint>

constexpr uint32_t NO_FOLDER = 0xFFFFFFFF;

// Kept for each folder: 64 bytes, its name apart.
struct WatchedFolder {
    char* name; // a top's whole path as it was named
    uint32_t parent; // NO_FOLDER for a top
    uint32_t firstChild;
    uint32_t nextSibling; // also the next free record, once the folder is gone
    DWORD watchId; // the layer's, 0 when the folder is not watched
    FILETIME files; // the newest of its own files
    FILETIME newest; // the newest file in its subtree
    ExactTime before; // its time before the watch wrote it, once known
    uint8_t flags;
};

constexpr uint8_t FOLDER_DIRTY = 1; // to be listed again this round
constexpr uint8_t FOLDER_STALE = 2; // replaced, renamed or removed: walked again whole if found
constexpr uint8_t FOLDER_GONE = 4; // dropped: the record is free once the round ends
constexpr uint8_t FOLDER_UNLISTED = 8; // its listing failed: its times are not known
constexpr uint8_t FOLDER_SEEN = 16; // found again by its parent's listing
constexpr uint8_t FOLDER_ROOT = 32; // a top, or a folder reached through a link
constexpr uint8_t FOLDER_BEFORE_KNOWN = 64;

WatchedFolder& Folder(uint32_t index);

// Whether `index` is a folder in the tree (not one dropped, nor a number never handed out).
bool IsKeptFolder(uint32_t index);

// A new folder under `parent` (NO_FOLDER: a top), its times zero and FOLDER_SEEN set;
// NO_FOLDER when memory cannot be had.
uint32_t AddFolder(uint32_t parent, const char* name);

// The subfolder of `parent` so named (in any case where names are found in any case), or
// NO_FOLDER; only the first `length` bytes of `name` count.
uint32_t FindChildFolder(uint32_t parent, const char* name, size_t length);

// Takes the folder and everything below it out of the tree, calling `forget` for each
// (so that its watch goes); their records are marked FOLDER_GONE and are reused only once
// ReleaseDroppedFolders is called.
void DropFolderTree(uint32_t index, void (*forget)(uint32_t index));
void ReleaseDroppedFolders();

// Forgets every folder, and gives back the records' memory.
void ForgetAllFolders();

// Folders in the tree, tops included.
size_t WatchedFolderCount();

// How many folders lie above it (0 for a top).
size_t FolderDepth(uint32_t index);

// The newest of its files and of its subfolders' subtrees, from what is kept.
FILETIME NewestKept(uint32_t index);

// Spells the folder's path into `buffer` (PATH_BUFFER_SIZE bytes), a separator behind it,
// and fills `levels` (FolderDepth + 1 of them, the top first) as the walk would have them
// there; returns the folder's tail, or null when the path does not fit.
char* SpellFolderPath(uint32_t index, char* buffer, WalkLevel* levels);
