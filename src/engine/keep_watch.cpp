// The rounds of --watch: each takes the changes the platform gathered, lists again the
// folders they happened in, works out the folders above from what is kept, and writes
// only what differs. Its own writes change no entry, so they start no round.
#include "keep_watch.h"

#include "folder_walk.h"
#include "platform_config.h"
#include "program_state.h"
#include "rounds.h"
#include "text_builder.h"
#include "walk_report.h"
#include "walk_steps.h"
#include "watched_tree.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

HANDLE watch;
HANDLE stopEvent;
// The folders being walked, the deepest last: a folder entered becomes a child of the last.
std::vector<uint32_t> recording;
// Why a folder could not be watched: the first reason, which ends the watch.
DWORD watchError;
std::vector<uint32_t> dirty;
// With --ignore-future, a folder holding a file in the future is listed again once that
// file's time is less than a day ahead.
struct DueFolder {
    uint32_t folder;
    uint64_t due; // in 100 ns since 1601
};
std::vector<DueFolder> dueFolders;
constexpr uint64_t DAY = 864000000000ull;
// The folders reached through a link: a folder that moves or goes may have been what one
// led to, which nothing tells the link's folder.
std::vector<uint32_t> links;
bool linksMoved;


void Entered(const char* path, const char* name, bool root)
{
    uint32_t parent = recording.empty() ? NO_FOLDER : recording.back();
    bool orphan = !recording.empty() && parent == NO_FOLDER; // its parent found no memory
    uint32_t index = orphan ? NO_FOLDER : AddFolder(parent, name);
    recording.push_back(index);
    if (index == NO_FOLDER) {
        watchError = watchError ? watchError : ERROR_NOT_ENOUGH_MEMORY;
        return;
    }
    if (root)
        Folder(index).flags |= FOLDER_ROOT;
    if (root && parent != NO_FOLDER)
        links.push_back(index);
    if (watchError)
        return; // the watch is given up: only the records are still wanted
    DWORD id = WatchFolder(watch, path, index, root);
    DWORD error = id ? 0 : GetLastError();
    // A folder gone before it could be watched is reported by its listing, and by its parent.
    if (id == 0 && error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND)
        watchError = error;
    Folder(index).watchId = id;
}

// The folder last left, which the walk sets next (or the folder a round sets).
uint32_t lastLeft = NO_FOLDER;

void Left(FILETIME files, FILETIME newest, bool listed)
{
    uint32_t index = recording.back();
    recording.pop_back();
    lastLeft = index;
    if (index == NO_FOLDER)
        return;
    Folder(index).files = files;
    Folder(index).newest = newest;
    if (!listed)
        Folder(index).flags |= FOLDER_UNLISTED;
}

// The first time read of a folder is the one a -v line of the watch names as its old time.
void Present(ExactTime time)
{
    if (lastLeft == NO_FOLDER || (Folder(lastLeft).flags & FOLDER_BEFORE_KNOWN))
        return;
    Folder(lastLeft).before = time;
    Folder(lastLeft).flags |= FOLDER_BEFORE_KNOWN;
}

uint64_t Ticks(FILETIME time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

void FutureFile(FILETIME time)
{
    if (programState.ignoreFuture && !recording.empty() && recording.back() != NO_FOLDER)
        dueFolders.push_back(DueFolder{recording.back(), Ticks(time) - DAY});
}

const WalkRecorder RECORDER = {Entered, Left, Present, FutureFile};

void Unwatch(uint32_t index)
{
    WatchedFolder& folder = Folder(index);
    if (folder.watchId)
        UnwatchFolder(watch, folder.watchId, index);
    folder.watchId = 0;
}

void MarkDirty(uint32_t index)
{
    if (Folder(index).flags & (FOLDER_DIRTY | FOLDER_GONE))
        return;
    Folder(index).flags |= FOLDER_DIRTY;
    dirty.push_back(index);
}

// A change reported in the watched folder `key`: `name` is the entry's path below it (one
// name, or where a whole subtree is watched, names joined by the separator). The folder
// that holds the entry is listed again. A folder's own time changing is no change of
// entries (it is what the program writes); a folder removed, added or renamed is walked
// again whole if it is found again, since another folder may now have its name.
void NoteChange(uint32_t key, DWORD action, const char* name)
{
    if (!IsKeptFolder(key))
        return;
    uint32_t folder = key;
    for (;;) {
        const char* end = strchr(name, PATH_SEPARATOR);
        size_t length = end ? static_cast<size_t>(end - name) : strlen(name);
        uint32_t child = length ? FindChildFolder(folder, name, length) : NO_FOLDER;
        if (end && child != NO_FOLDER) {
            folder = child;
            name = end + 1;
            continue;
        }
        if (child != NO_FOLDER && action == FILE_ACTION_MODIFIED)
            return;
        if (child != NO_FOLDER) {
            Folder(child).flags |= FOLDER_STALE;
            linksMoved = true;
        }
        MarkDirty(folder);
        return;
    }
}

// A link's target may be the folder that moved: every link is walked again whole.
void MarkLinksStale()
{
    for (uint32_t index : links) {
        if (!IsKeptFolder(index))
            continue;
        Folder(index).flags |= FOLDER_STALE;
        MarkDirty(Folder(index).parent);
    }
}

// Takes every change gathered.
void TakeChanges()
{
    DWORD key = 0, action = 0;
    static char name[PATH_BUFFER_SIZE];
    linksMoved = false;
    while (TakeFolderChange(watch, &key, &action, name, sizeof name))
        NoteChange(key, action, name);
    if (linksMoved)
        MarkLinksStale();
}

// The wait until the next file in the future stops being one, in milliseconds.
DWORD NextDue()
{
    if (dueFolders.empty())
        return INFINITE;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    uint64_t first = dueFolders.front().due;
    for (const DueFolder& folder : dueFolders)
        first = std::min(first, folder.due);
    if (first <= Ticks(now))
        return 0;
    uint64_t wait = (first - Ticks(now)) / 10000 + 1;
    return wait >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(wait);
}

void MarkDue()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    std::vector<DueFolder> later;
    for (const DueFolder& folder : dueFolders) {
        if (folder.due > Ticks(now))
            later.push_back(folder);
        else if (!(Folder(folder.folder).flags & FOLDER_GONE))
            MarkDirty(folder.folder);
    }
    dueFolders.swap(later);
}

// Lists the folder again: subfolders it keeps are taken as they are, new or replaced ones
// are walked whole (and watched), those gone are forgotten; then its own files.
void Relist(uint32_t index, char* buffer, std::vector<WalkLevel>& levels)
{
    levels.resize(FolderDepth(index) + 1);
    char* tail = SpellFolderPath(index, buffer, levels.data());
    WatchedFolder* folder = &Folder(index);
    if (!tail) {
        ReportFolderProblem("cannot list", folder->name, strlen(folder->name), nullptr,
                            ERROR_FILENAME_EXCED_RANGE);
        CountFailure();
        return;
    }
    for (uint32_t child = folder->firstChild; child != NO_FOLDER; child = Folder(child).nextSibling)
        Folder(child).flags &= static_cast<uint8_t>(~FOLDER_SEEN);
    bool listed = true;
    DWORD error = 0;
    recording.assign(1, index);
    HANDLE find = StartListing(buffer, tail);
    if (find == INVALID_HANDLE_VALUE) {
        listed = false;
        error = GetLastError();
    } else {
        do {
            if (!IsSubfolder(walkEntry))
                continue;
            uint32_t child =
                FindChildFolder(index, walkEntry.cFileName, strlen(walkEntry.cFileName));
            if (child != NO_FOLDER && !(Folder(child).flags & FOLDER_STALE)) {
                Folder(child).flags |= FOLDER_SEEN;
                continue;
            }
            if (child != NO_FOLDER)
                DropFolderTree(child, Unwatch);
            programState.visitedCount++;
            StampSubfolder(buffer, &levels.back());
        } while (FindNextFileA(find, &walkEntry) == 1);
        FindClose(find);
    }
    recording.clear();
    folder = &Folder(index);
    if (listed) {
        for (uint32_t child = folder->firstChild; child != NO_FOLDER;) {
            uint32_t next = Folder(child).nextSibling;
            if (!(Folder(child).flags & FOLDER_SEEN))
                DropFolderTree(child, Unwatch);
            child = next;
        }
        recording.assign(1, index); // a file in the future is noted for this folder
        folder->files = NewestFileTime(buffer, tail, &listed, &error);
        recording.clear();
    }
    bool gone = error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND;
    if (!listed && gone && folder->parent != NO_FOLDER) {
        MarkDirty(folder->parent); // removed since the change: its parent lets it go
        return;
    }
    if (!listed) {
        // What it held is kept as it was: its parent gets the time it had.
        ReportFolderProblem("cannot list", buffer, strlen(buffer), nullptr, error);
        CountFailure();
        folder->flags |= FOLDER_UNLISTED;
        return;
    }
    folder->flags &= static_cast<uint8_t>(~FOLDER_UNLISTED);
}

bool IsZero(FILETIME time) { return time.dwLowDateTime == 0 && time.dwHighDateTime == 0; }

// Sets the folder to what is kept of its subtree, as the walk would: a folder with no file
// below it is left alone, and the top only with --top.
void Restamp(uint32_t index, char* buffer, std::vector<WalkLevel>& levels)
{
    WatchedFolder& folder = Folder(index);
    folder.newest = NewestKept(index);
    bool top = folder.parent == NO_FOLDER;
    if (IsZero(folder.newest) || (top && !programState.setTop))
        return;
    levels.resize(FolderDepth(index) + 1);
    char* tail = SpellFolderPath(index, buffer, levels.data());
    if (!tail)
        return; // reported when it was listed
    lastLeft = index;
    const ExactTime* before = folder.flags & FOLDER_BEFORE_KNOWN ? &folder.before : nullptr;
    if (top) {
        programState.topUnlisted = (folder.flags & FOLDER_UNLISTED) != 0;
        StampTop(buffer, folder.newest, before);
        return;
    }
    tail[-1] = '\0'; // the walk writes a folder by its path without the separator
    programState.visitedCount++;
    StampFolder(buffer, folder.newest, before);
}

bool Deeper(uint32_t a, uint32_t b) { return FolderDepth(a) > FolderDepth(b); }

// One round: the folders changed, listed again from the top down (a folder dropped with
// its parent is not listed); then they and every folder above them set, from the bottom
// up, so that a folder is set after the folders below it.
void RunWatchRound()
{
    static char buffer[PATH_BUFFER_SIZE];
    std::vector<WalkLevel> levels;
    programState.changedCount = 0;
    programState.visitedCount = 0;
    programState.latestFailures = 0;
    StartStamping();
    std::sort(dirty.begin(), dirty.end(), [](uint32_t a, uint32_t b) { return Deeper(b, a); });
    std::vector<uint32_t> touched;
    // A folder found gone adds its parent behind the others.
    for (size_t i = 0; i < dirty.size(); i++) {
        uint32_t index = dirty[i];
        if (programState.stopRequested || programState.listLost)
            break;
        if (Folder(index).flags & FOLDER_GONE)
            continue;
        Folder(index).flags &= static_cast<uint8_t>(~FOLDER_DIRTY);
        Relist(index, buffer, levels);
        for (uint32_t up = index; up != NO_FOLDER; up = Folder(up).parent)
            touched.push_back(up);
    }
    dirty.clear();
    std::sort(touched.begin(), touched.end());
    touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
    std::stable_sort(touched.begin(), touched.end(), Deeper);
    for (uint32_t index : touched)
        if (!(Folder(index).flags & FOLDER_GONE))
            Restamp(index, buffer, levels);
    EndStamping();
    lastLeft = NO_FOLDER;
    links.erase(std::remove_if(links.begin(), links.end(),
                               [](uint32_t index) { return !IsKeptFolder(index); }),
                links.end());
    ReleaseDroppedFolders();
    ReportRound(programState.changedCount, programState.visitedCount);
}

void CloseWatch()
{
    if (watch)
        CloseFolderWatch(watch);
    watch = nullptr;
    walkRecorder = nullptr;
}

// A fresh watch and a whole walk of every folder, writing only what differs.
void WalkAgain(const char* const* folders, int count)
{
    CloseWatch();
    ForgetAllFolders();
    dirty.clear();
    dueFolders.clear();
    links.clear();
    StartWatch();
    int32_t changed = 0, visited = 0;
    for (int i = 0; i < count && !programState.stopRequested; i++) {
        RunFolderWalk(folders[i]);
        changed += programState.changedCount;
        visited += programState.visitedCount;
    }
    ReportRound(changed, visited);
}

// The watch cannot have every folder: the tree is walked on a schedule instead.
void FallBackToRounds(const char* const* folders, int count)
{
    char reason[256], text[640];
    DescribeError(watchError, reason, sizeof reason);
    TextBuilder line = StartText(text, sizeof text);
    AddText(&line, "cannot watch every folder (");
    AddText(&line, reason);
    AddText(&line, "); the tree needs ");
    AddNumber(&line, static_cast<int64_t>(WatchedFolderCount()));
    AddText(&line, ": walking it whole every ");
    if (programState.everySeconds == 0)
        programState.everySeconds = 600;
    AddNumber(&line, programState.everySeconds);
    AddText(&line, " seconds instead");
    CloseWatch();
    ForgetAllFolders();
    WriteErrorLine(text);
    RunRounds(folders, count);
}

bool StopAsked()
{
    if (programState.stopRequested)
        return true;
    if (stopEvent && WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0)
        programState.stopRequested = 1; // a round stops writing as the walk does
    return programState.stopRequested != 0;
}

} // namespace

void StartWatch()
{
    if (!programState.watch || walkRecorder)
        return; // a watch already made records the folders walked after the first
    programState.changesOnly = 1;
    watchError = 0;
    watch = CreateFolderWatch();
    if (!watch)
        watchError = GetLastError() ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
    walkRecorder = &RECORDER;
}

void RunWatch(const char* const* folders, int count)
{
    if (!programState.watch || count == 0)
        return;
    walkProgress = nullptr; // the progress line is the first walk's alone
    bool window = programState.mainWindow != nullptr;
    if (watchError)
        return window ? CloseWatch() : FallBackToRounds(folders, count);
    if (!window && !(stopEvent = ListenForStop("cannot watch: --watch needs a console's stop "
                                               "events")))
        return CloseWatch();
    DWORD settle = programState.settleGiven ? programState.settleSeconds * 1000 : 2000;
    while (!StopAsked()) {
        DWORD result = WaitForFolderChanges(watch, stopEvent, settle, NextDue(), window);
        if (result == WATCH_STOPPED || result == WAIT_FAILED)
            break;
        if (result == WATCH_MESSAGE) {
            if (walkPulse)
                walkPulse();
            continue;
        }
        if (result == WATCH_LOST) {
            WriteErrorLine("changes were lost (too many at once for the system to keep): "
                           "walking the whole tree again");
            WalkAgain(folders, count);
            if (watchError && !window)
                StopListening();
            if (watchError)
                return window ? CloseWatch() : FallBackToRounds(folders, count);
            continue;
        }
        result == WATCH_TIMEOUT ? MarkDue() : TakeChanges();
        if (!dirty.empty())
            RunWatchRound();
    }
    if (!window)
        StopListening();
    CloseWatch();
    ForgetAllFolders();
}
