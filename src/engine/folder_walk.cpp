// The depth-first walk: pass 1 handles a folder's subfolders, pass 2 reads its files.
#include "folder_walk.h"

#include "file_manager_names.h"
#include "folder_identity.h"
#include "platform_config.h"
#include "program_state.h"
#include "walk_report.h"

#include <cstring>

void (*walkProgress)(const char* folder);
void (*walkPulse)();

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

// Under -i the folders that servers and systems write are no part of the tree: neither
// walked, nor counted, nor set.
bool IsSubfolder(const WIN32_FIND_DATAA& entry)
{
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0)
        return false;
    return !programState.ignoreManagerFiles || !IsSystemWrittenFolder(entry.cFileName);
}

bool SameTime(FILETIME a, FILETIME b)
{
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

bool WriteLastWriteTime(const char* path, FILETIME time)
{
    HANDLE folder = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    bool set = SetFileTime(folder, nullptr, nullptr, &time) != 0;
    CloseHandle(folder);
    return set;
}

// Sets the folder, or with -n only counts it when its time differs. Its present time is
// read only for -n and -v, so a plain walk makes no call for it.
void StampFolder(const char* path, FILETIME time)
{
    if (programState.stopRequested)
        return;
    BY_HANDLE_FILE_INFORMATION present;
    bool known =
        (programState.dryRun || programState.verbose) && ReadFolderInformation(path, &present);
    bool differs = !known || !SameTime(present.ftLastWriteTime, time);
    const FILETIME* old = known ? &present.ftLastWriteTime : nullptr;
    if (programState.dryRun) {
        if (differs) {
            programState.changedCount++;
            ReportFolderChange(old, time, path);
        }
        return;
    }
    if (!WriteLastWriteTime(path, time)) {
        ReportFolderProblem("cannot set", path, strlen(path), nullptr);
        return;
    }
    programState.changedCount++; // every folder set counts, its time equal or not
    if (differs)
        ReportFolderChange(old, time, path);
}

bool CountsAsFile(const WIN32_FIND_DATAA& entry)
{
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return false;
    return !programState.ignoreManagerFiles || !IsFileManagerFile(entry.cFileName);
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
    StampFolder(buffer, sub);
    return sub;
}

FILETIME StampSubfolders(char* buffer, WalkLevel* level, bool* listed)
{
    FILETIME newest = {0, 0};
    HANDLE find = StartListing(buffer, level->tail);
    if (find == INVALID_HANDLE_VALUE) {
        *listed = false;
        return newest;
    }
    if (walkProgress)
        walkProgress(buffer);
    do {
        if (walkPulse)
            walkPulse();
        if (programState.stopRequested)
            break;
        if (!IsSubfolder(walkEntry))
            continue;
        // Counted before the descent, so every folder entered counts whatever befalls it.
        programState.visitedCount++;
        newest = LaterFileTime(newest, StampSubfolder(buffer, level));
    } while (FindNextFileA(find, &walkEntry) == 1);
    FindClose(find);
    return newest;
}

FILETIME NewestFileTime(char* buffer, char* tail, bool* listed)
{
    FILETIME newest = {0, 0};
    HANDLE find = StartListing(buffer, tail);
    if (find == INVALID_HANDLE_VALUE) {
        *listed = false;
        return newest;
    }
    do {
        if (walkPulse)
            walkPulse();
        if (CountsAsFile(walkEntry))
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
    bool listed = tail != nullptr; // a path that cannot fit is a listing that cannot start
    FILETIME newest = {0, 0};
    if (tail) {
        WalkLevel level = {parent, tail, {0, 0, 0}, false};
        newest = StampSubfolders(buffer, &level, &listed);
        newest = LaterFileTime(newest, NewestFileTime(buffer, tail, &listed));
    }
    // Its files were not seen, so its parent may get an older time than it should.
    if (!listed)
        ReportFolderProblem("cannot list", buffer, static_cast<size_t>(at - buffer), name);
    return newest;
}

void RunFolderWalk(const char* path)
{
    if (!path || !path[0] || strlen(path) > MAX_FOLDER_ARGUMENT)
        return;
    char buffer[PATH_BUFFER_SIZE];
    memset(buffer, 0, sizeof buffer);
    programState.changedCount = 0;
    programState.visitedCount = 0;
    programState.latestWalk = programState.dryRun ? WALK_DRY : WALK_REAL;
    StampNewestTimes(buffer, buffer, path, nullptr);
    if (walkProgress)
        walkProgress(nullptr); // the walk is over: a progress line goes
}
