// The records of the folders a watch keeps, in blocks that never move, so that a tree of a
// hundred thousand folders grows without copying what it holds.
#include "watched_tree.h"

#include "folder_walk.h"
#include "growing_list.h"
#include "platform_config.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t BLOCK = 4096;
GrowingList<WatchedFolder*> blocks;
uint32_t used; // records handed out, free or not
uint32_t freeList = NO_FOLDER;
uint32_t droppedList = NO_FOLDER; // free once the round ends
size_t liveCount;

char Folded(char c) { return NAMES_IGNORE_CASE && c >= 'A' && c <= 'Z' ? c | 0x20 : c; }

bool SameName(const char* kept, const char* name, size_t length)
{
    for (size_t i = 0; i < length; i++)
        if (!kept[i] || Folded(kept[i]) != Folded(name[i]))
            return false;
    return kept[length] == '\0';
}

uint32_t NewRecord()
{
    if (freeList != NO_FOLDER) {
        uint32_t index = freeList;
        freeList = Folder(index).nextSibling;
        return index;
    }
    if (used == blocks.count * BLOCK) {
        auto block = static_cast<WatchedFolder*>(malloc(BLOCK * sizeof(WatchedFolder)));
        if (!block || !Append(&blocks, block)) {
            free(block);
            return NO_FOLDER;
        }
    }
    return used++;
}

void Unlink(uint32_t index)
{
    uint32_t parent = Folder(index).parent;
    if (parent == NO_FOLDER)
        return;
    uint32_t* link = &Folder(parent).firstChild;
    while (*link != NO_FOLDER && *link != index)
        link = &Folder(*link).nextSibling;
    if (*link == index)
        *link = Folder(index).nextSibling;
}

void DropBelow(uint32_t index, void (*forget)(uint32_t))
{
    WatchedFolder& folder = Folder(index);
    for (uint32_t child = folder.firstChild; child != NO_FOLDER;) {
        uint32_t next = Folder(child).nextSibling;
        DropBelow(child, forget);
        child = next;
    }
    forget(index);
    free(folder.name);
    folder.name = nullptr;
    folder.flags = FOLDER_GONE;
    folder.firstChild = NO_FOLDER;
    folder.nextSibling = droppedList;
    droppedList = index;
    liveCount--;
}

} // namespace

WatchedFolder& Folder(uint32_t index) { return blocks.items[index / BLOCK][index % BLOCK]; }

bool IsKeptFolder(uint32_t index) { return index < used && !(Folder(index).flags & FOLDER_GONE); }

uint32_t AddFolder(uint32_t parent, const char* name)
{
    char* copy = strdup(name);
    uint32_t index = copy ? NewRecord() : NO_FOLDER;
    if (index == NO_FOLDER) {
        free(copy);
        return NO_FOLDER;
    }
    uint32_t sibling = parent == NO_FOLDER ? NO_FOLDER : Folder(parent).firstChild;
    Folder(index) =
        WatchedFolder{copy, parent, NO_FOLDER, sibling, 0, {0, 0}, {0, 0}, {0, 0}, FOLDER_SEEN};
    if (parent != NO_FOLDER)
        Folder(parent).firstChild = index;
    liveCount++;
    return index;
}

uint32_t FindChildFolder(uint32_t parent, const char* name, size_t length)
{
    for (uint32_t child = Folder(parent).firstChild; child != NO_FOLDER;
         child = Folder(child).nextSibling)
        if (SameName(Folder(child).name, name, length))
            return child;
    return NO_FOLDER;
}

void DropFolderTree(uint32_t index, void (*forget)(uint32_t))
{
    Unlink(index);
    DropBelow(index, forget);
}

void ReleaseDroppedFolders()
{
    while (droppedList != NO_FOLDER) {
        uint32_t index = droppedList;
        droppedList = Folder(index).nextSibling;
        Folder(index).nextSibling = freeList;
        freeList = index;
    }
}

void ForgetAllFolders()
{
    for (uint32_t i = 0; i < used; i++)
        free(Folder(i).name);
    for (size_t i = 0; i < blocks.count; i++)
        free(blocks.items[i]);
    FreeList(&blocks);
    used = 0;
    liveCount = 0;
    freeList = droppedList = NO_FOLDER;
}

size_t WatchedFolderCount() { return liveCount; }

size_t FolderDepth(uint32_t index)
{
    size_t depth = 0;
    for (uint32_t up = Folder(index).parent; up != NO_FOLDER; up = Folder(up).parent)
        depth++;
    return depth;
}

FILETIME NewestKept(uint32_t index)
{
    FILETIME newest = Folder(index).files;
    for (uint32_t child = Folder(index).firstChild; child != NO_FOLDER;
         child = Folder(child).nextSibling)
        newest = LaterFileTime(newest, Folder(child).newest);
    return newest;
}

char* SpellFolderPath(uint32_t index, char* buffer, WalkLevel* levels)
{
    size_t depth = FolderDepth(index);
    char* at = buffer;
    for (size_t level = 0; level <= depth; level++) {
        uint32_t above = index; // the folder at this level: depth - level folders up
        for (size_t up = level; up < depth; up++)
            above = Folder(above).parent;
        const WatchedFolder& folder = Folder(above);
        size_t length = strlen(folder.name);
        if (length + 3 > static_cast<size_t>(buffer + PATH_BUFFER_SIZE - at))
            return nullptr;
        memcpy(at, folder.name, length);
        at += length;
        if (at == buffer || at[-1] != PATH_SEPARATOR)
            *at++ = PATH_SEPARATOR;
        *at = '\0';
        bool link = level > 0 && (folder.flags & FOLDER_ROOT);
        WalkLevel* parent = level > 0 ? &levels[level - 1] : nullptr;
        levels[level] = WalkLevel{parent, at, {0, 0, 0}, false, link || (parent && parent->linked)};
    }
    return at;
}
