// The rounds of --watch: each takes the changes the platform gathered, lists again the
// folders they happened in, works out the folders above from what is kept, and writes
// only what differs. Its own writes change no entry, so they start no round.
#include "keep_watch.h"

#include "folder_walk.h"
#include "growing_list.h"
#include "platform_config.h"
#include "program_state.h"
#include "rounds.h"
#include "text_builder.h"
#include "walk_report.h"
#include "walk_steps.h"
#include "watched_tree.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

void (*watchRoundEnded)(int32_t changed);

namespace {

HANDLE watch;
HANDLE stopEvent;
// The folders being walked, the deepest last: a folder entered becomes a child of the last.
// Each level of a path takes two bytes at least, so the path buffer bounds their number.
constexpr size_t MOST_LEVELS = PATH_BUFFER_SIZE / 2;
uint32_t recording[MOST_LEVELS];
size_t recorded;
// The levels of the folder a round lists again or sets, as the walk would have them.
WalkLevel levels[MOST_LEVELS];
// Why a folder could not be watched: the first reason, which ends the watch.
DWORD watchError;
GrowingList<uint32_t> dirty;
// A list could not grow: the round cannot know what it lost, and the tree is walked again.
bool memoryLost;
// With --ignore-future, a folder holding a file in the future is listed again once that
// file's time is less than a day ahead.
struct DueFolder {
    uint32_t folder;
    uint64_t due; // in 100 ns since 1601
};
GrowingList<DueFolder> dueFolders;
constexpr uint64_t DAY = 864000000000ull;
// The folders reached through a link: a folder that moves or goes may have been what one
// led to, which nothing tells the link's folder.
GrowingList<uint32_t> links;
bool linksMoved;

void Entered(const char* path, const char* name, bool root)
{
    uint32_t parent = recorded ? recording[recorded - 1] : NO_FOLDER;
    bool orphan = recorded && parent == NO_FOLDER; // its parent found no memory
    uint32_t index = orphan ? NO_FOLDER : AddFolder(parent, name);
    recording[recorded++] = index;
    if (index == NO_FOLDER) {
        watchError = watchError ? watchError : ERROR_NOT_ENOUGH_MEMORY;
        return;
    }
    if (root)
        Folder(index).flags |= FOLDER_ROOT;
    if (root && parent != NO_FOLDER)
        memoryLost |= !Append(&links, index);
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
    uint32_t index = recording[--recorded];
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
    if (programState.ignoreFuture && recorded && recording[recorded - 1] != NO_FOLDER)
        memoryLost |= !Append(&dueFolders, DueFolder{recording[recorded - 1], Ticks(time) - DAY});
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
    memoryLost |= !Append(&dirty, index);
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
    for (size_t i = 0; i < links.count; i++) {
        uint32_t index = links.items[i];
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
    if (dueFolders.count == 0)
        return INFINITE;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    uint64_t first = dueFolders.items[0].due;
    for (size_t i = 1; i < dueFolders.count; i++)
        first = dueFolders.items[i].due < first ? dueFolders.items[i].due : first;
    if (first <= Ticks(now))
        return 0;
    uint64_t wait = (first - Ticks(now)) / 10000 + 1;
    return wait >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(wait);
}

void MarkDue()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    size_t kept = 0;
    for (size_t i = 0; i < dueFolders.count; i++) {
        DueFolder folder = dueFolders.items[i];
        if (folder.due > Ticks(now))
            dueFolders.items[kept++] = folder;
        else if (IsKeptFolder(folder.folder))
            MarkDirty(folder.folder);
    }
    dueFolders.count = kept;
}

// Lists the folder again: subfolders it keeps are taken as they are, new or replaced ones
// are walked whole (and watched), those gone are forgotten; then its own files.
void Relist(uint32_t index, char* buffer)
{
    size_t depth = FolderDepth(index);
    char* tail = SpellFolderPath(index, buffer, levels);
    WatchedFolder* folder = &Folder(index); // records never move, whatever the walk adds
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
    recording[0] = index;
    recorded = 1;
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
            StampSubfolder(buffer, &levels[depth]);
        } while (FindNextFileA(find, &walkEntry) == 1);
        FindClose(find);
    }
    recorded = 0;
    if (listed) {
        for (uint32_t child = folder->firstChild; child != NO_FOLDER;) {
            uint32_t next = Folder(child).nextSibling;
            if (!(Folder(child).flags & FOLDER_SEEN))
                DropFolderTree(child, Unwatch);
            child = next;
        }
        recording[0] = index; // a file in the future is noted for this folder
        recorded = 1;
        folder->files = NewestFileTime(buffer, tail, &listed, &error);
        recorded = 0;
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
void Restamp(uint32_t index, char* buffer)
{
    WatchedFolder& folder = Folder(index);
    folder.newest = NewestKept(index);
    bool top = folder.parent == NO_FOLDER;
    if (IsZero(folder.newest) || (top && !programState.setTop))
        return;
    char* tail = SpellFolderPath(index, buffer, levels);
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

// A folder with its depth, to be sorted: shallower first, and one folder's entries together.
struct Placed {
    uint32_t depth;
    uint32_t index;
};

int Shallower(const void* a, const void* b)
{
    auto x = static_cast<const Placed*>(a), y = static_cast<const Placed*>(b);
    if (x->depth != y->depth)
        return x->depth < y->depth ? -1 : 1;
    return x->index < y->index ? -1 : x->index > y->index;
}

void SortByDepth(GrowingList<Placed>* list)
{
    qsort(list->items, list->count, sizeof(Placed), Shallower);
}

// One round: the folders changed, listed again from the top down (a folder dropped with
// its parent is not listed; one found gone adds its parent behind the others); then they
// and every folder above them set, from the bottom up, so that a folder is set after the
// folders below it.
void RunWatchRound()
{
    static char buffer[PATH_BUFFER_SIZE];
    programState.changedCount = 0;
    programState.visitedCount = 0;
    programState.latestFailures = 0;
    StartStamping();
    GrowingList<Placed> order = {nullptr, 0, 0};
    for (size_t i = 0; i < dirty.count; i++) {
        uint32_t index = dirty.items[i];
        memoryLost |= !Append(&order, Placed{static_cast<uint32_t>(FolderDepth(index)), index});
    }
    SortByDepth(&order);
    for (size_t i = 0; i < order.count; i++)
        dirty.items[i] = order.items[i].index;
    GrowingList<Placed> touched = {nullptr, 0, 0};
    for (size_t i = 0; i < dirty.count && !memoryLost; i++) {
        uint32_t index = dirty.items[i];
        if (programState.stopRequested || programState.listLost)
            break;
        if (!IsKeptFolder(index))
            continue;
        Folder(index).flags &= static_cast<uint8_t>(~FOLDER_DIRTY);
        Relist(index, buffer);
        uint32_t depth = static_cast<uint32_t>(FolderDepth(index));
        for (uint32_t up = index; up != NO_FOLDER; up = Folder(up).parent)
            memoryLost |= !Append(&touched, Placed{depth--, up});
    }
    dirty.count = 0;
    SortByDepth(&touched);
    for (size_t i = touched.count; i-- > 0;) {
        uint32_t index = touched.items[i].index;
        bool again = i + 1 < touched.count && touched.items[i + 1].index == index;
        if (!again && IsKeptFolder(index))
            Restamp(index, buffer);
    }
    FreeList(&order);
    FreeList(&touched);
    EndStamping();
    lastLeft = NO_FOLDER;
    size_t kept = 0;
    for (size_t i = 0; i < links.count; i++)
        if (IsKeptFolder(links.items[i]))
            links.items[kept++] = links.items[i];
    links.count = kept;
    ReleaseDroppedFolders();
    ReportRound(programState.changedCount, programState.visitedCount);
    if (watchRoundEnded)
        watchRoundEnded(programState.changedCount);
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
    dirty.count = 0;
    dueFolders.count = 0;
    links.count = 0;
    memoryLost = false;
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
    while (!programState.stopRequested) { // a window's Escape; a signal ends the wait
        DWORD result = memoryLost
                           ? WATCH_LOST
                           : WaitForFolderChanges(watch, stopEvent, settle, NextDue(), window);
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
        if (dirty.count > 0 && !memoryLost)
            RunWatchRound();
    }
    if (!window)
        StopListening();
    CloseWatch();
    ForgetAllFolders();
    FreeList(&dirty);
    FreeList(&dueFolders);
    FreeList(&links);
}
