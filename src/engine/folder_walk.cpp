// The depth-first walk: pass 1 handles a folder's subfolders, pass 2 reads its files.
#include "folder_walk.h"

#include "folder_identity.h"
#include "platform_config.h"
#include "program_state.h"

#include <cstring>

void (*walkProgress)(const char* folder);

namespace {

// One enumeration record serves every level: a level reads the entry before descending
// and only refills it afterwards, so deep trees need little stack per level.
WIN32_FIND_DATAA walkEntry;

bool IsZero(FILETIME time) { return time.dwLowDateTime == 0 && time.dwHighDateTime == 0; }

// Copies the folder name to `at` and ends it with one separator; returns the position
// behind that separator, or null when the name, separator and "*" would not fit.
char* AppendFolderName(char* buffer, char* at, const char* name)
{
    size_t length = strlen(name);
    char* end = buffer + PATH_BUFFER_SIZE;
    if (length + 3 > static_cast<size_t>(end - at))
        return nullptr;
    memcpy(at, name, length);
    char* tail = at + length;
    if (tail == buffer || tail[-1] != PATH_SEPARATOR)
        *tail++ = PATH_SEPARATOR;
    return tail;
}

HANDLE StartListing(char* buffer, char* tail)
{
    tail[0] = '*';
    tail[1] = '\0';
    HANDLE find = FindFirstFileA(buffer, &walkEntry);
    tail[0] = '\0';
    return find;
}

bool IsSubfolder(const WIN32_FIND_DATAA& entry)
{
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    return strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0;
}

void WriteLastWriteTime(const char* path, FILETIME time)
{
    HANDLE folder = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return;
    if (SetFileTime(folder, nullptr, nullptr, &time))
        programState.changedCount++;
    CloseHandle(folder);
}

// Walks the subfolder in walkEntry and writes its time when its subtree holds a file.
FILETIME StampSubfolder(char* buffer, WalkLevel* level)
{
    FILETIME none = {0, 0};
    size_t nameLength = strlen(walkEntry.cFileName);
    if ((walkEntry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        LeadsBackUpThePath(buffer, level, walkEntry.cFileName))
        return none;
    FILETIME sub = StampNewestTimes(buffer, level->tail, walkEntry.cFileName, level);
    if (IsZero(sub))
        return sub;
    // The descent left "name" and a separator at the tail; cut it to the subfolder's path.
    level->tail[nameLength] = '\0';
    WriteLastWriteTime(buffer, sub);
    return sub;
}

FILETIME StampSubfolders(char* buffer, WalkLevel* level)
{
    FILETIME newest = {0, 0};
    HANDLE find = StartListing(buffer, level->tail);
    if (find == INVALID_HANDLE_VALUE)
        return newest;
    if (walkProgress)
        walkProgress(buffer);
    do {
        if (!IsSubfolder(walkEntry))
            continue;
        // Counted before the descent, so every folder entered counts whatever befalls it.
        programState.visitedCount++;
        newest = LaterFileTime(newest, StampSubfolder(buffer, level));
    } while (FindNextFileA(find, &walkEntry) == 1);
    FindClose(find);
    return newest;
}

FILETIME NewestFileTime(char* buffer, char* tail)
{
    FILETIME newest = {0, 0};
    HANDLE find = StartListing(buffer, tail);
    if (find == INVALID_HANDLE_VALUE)
        return newest;
    do {
        if (!(walkEntry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            newest = LaterFileTime(newest, walkEntry.ftLastWriteTime);
    } while (FindNextFileA(find, &walkEntry) == 1);
    FindClose(find);
    return newest;
}

} // namespace

FILETIME LaterFileTime(FILETIME a, FILETIME b)
{
    if (b.dwHighDateTime != a.dwHighDateTime)
        return b.dwHighDateTime > a.dwHighDateTime ? b : a;
    return b.dwLowDateTime > a.dwLowDateTime ? b : a;
}

FILETIME StampNewestTimes(char* buffer, char* at, const char* name, WalkLevel* parent)
{
    char* tail = AppendFolderName(buffer, at, name);
    if (!tail)
        return FILETIME{0, 0}; // a path that cannot fit is a listing that cannot start
    WalkLevel level = {parent, tail, {0, 0, 0}, false};
    FILETIME newest = StampSubfolders(buffer, &level);
    return LaterFileTime(newest, NewestFileTime(buffer, tail));
}

void RunFolderWalk(const char* path)
{
    if (!path || !path[0] || strlen(path) > MAX_FOLDER_ARGUMENT)
        return;
    char buffer[PATH_BUFFER_SIZE];
    memset(buffer, 0, sizeof buffer);
    programState.changedCount = 0;
    programState.visitedCount = 0;
    StampNewestTimes(buffer, buffer, path, nullptr);
}
