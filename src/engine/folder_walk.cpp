// The depth-first walk: pass 1 handles a folder's subfolders, pass 2 reads its files.
#include "folder_walk.h"

#include "file_manager_names.h"
#include "folder_identity.h"
#include "name_patterns.h"
#include "platform_config.h"
#include "program_state.h"
#include "time_grain.h"
#include "walk_report.h"
#include "walk_steps.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

void (*walkPulse)();
const char* walkStackFloor;
const WalkRecorder* walkRecorder;
// One enumeration record serves every level: a level reads the entry before descending
// and only refills it afterwards, so deep trees need little stack per level.
WIN32_FIND_DATAA walkEntry;

namespace {

// A folder deeper than the stack can hold is reported with this reason.
constexpr char TOO_DEEP[] = "nested too deep for the stack";

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

// A symbolic link or a junction: a reparse point whose tag stands for another name (the
// tag's name-surrogate bit), not one of the cloud's or a deduplicated file's.
bool IsLink(const WIN32_FIND_DATAA& entry)
{
    constexpr DWORD NAME_SURROGATE = 0x20000000;
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (entry.dwReserved0 & NAME_SURROGATE);
}

// Whether the walk may give the folder its new time: with --only-earlier (--only-later)
// only when the new time is earlier (later) than its present one.
bool MayMove(const ExactTime& present, const ExactTime& next)
{
    bool earlier = next.seconds < present.seconds ||
                   (next.seconds == present.seconds && next.nanoseconds < present.nanoseconds);
    bool later = !earlier && !SameExactTime(present, next);
    return programState.onlyEarlier ? earlier : programState.onlyLater ? later : true;
}

// Folders that --changes-only holds back while the file system's grain is unknown: each
// is its new time as a coarser grain would keep it, so it may need no write at all. The
// walk's first real write teaches the grain and settles them; when nothing is written, the
// tree is taken to be kept that coarsely, and none is, so that a second run over an
// unchanged share writes nothing. Past the room here, a folder is written as it comes,
// which teaches the grain all the same.
struct HeldBack {
    char* path;
    FILETIME time;
};
constexpr size_t MOST_HELD_BACK = 4096;
HeldBack heldBack[MOST_HELD_BACK];
size_t heldBackCount;

bool HoldBack(const char* path, FILETIME time)
{
    char* copy = heldBackCount < MOST_HELD_BACK ? strdup(path) : nullptr;
    if (copy)
        heldBack[heldBackCount++] = HeldBack{copy, time};
    return copy != nullptr;
}

void ForgetHeldBack()
{
    while (heldBackCount > 0)
        free(heldBack[--heldBackCount].path);
}

bool NeedsPresentTime()
{
    return programState.dryRun || programState.verbose || programState.onlyEarlier ||
           programState.onlyLater || programState.changesOnly ||
           ChangesKept(); // an undo needs the old times
}

} // namespace

// Sets the folder, or with -n only counts it when its time differs. Its present time is
// read only for -n and -v, at the platform's full precision, so a folder that differs
// from its new time below 100 ns counts as changing, as it does when written. Its -v line
// goes out before the write, so that every folder changed is in the list: when the line
// cannot be written, nothing more is.
void StampFolder(const char* path, FILETIME time, const ExactTime* shownOld)
{
    if (programState.stopRequested || programState.listLost)
        return;
    ExactTime present, created;
    bool withCreated = programState.setCreated && programState.verbose;
    bool known =
        NeedsPresentTime() && ReadExactLastWrite(path, &present, withCreated ? &created : nullptr);
    if (known && walkRecorder)
        walkRecorder->present(present);
    bool mustKnow = programState.dryRun || programState.onlyEarlier || programState.onlyLater;
    if (mustKnow && !known) {
        ReportFolderProblem("cannot read", path, strlen(path), nullptr, GetLastError());
        CountFailure();
        if (!programState.dryRun)
            return; // whether it may move cannot be told
    }
    ExactTime exact = ExactFromFileTime(time);
    if (known && !MayMove(present, exact))
        return; // left alone, and not counted
    if (programState.changesOnly && known && KeptAs(present, exact))
        return; // already at its time, as this file system keeps it: not written, not counted
    // A dry run writes nothing, so it learns no grain: it counts exactly what differs.
    if (programState.changesOnly && !programState.dryRun && known && TimeGrainUnknown() &&
        MayBeKeptAs(present, exact) && HoldBack(path, time))
        return;
    bool differs = !known || !SameExactTime(present, exact);
    // With --created the list keeps the old creation time too, which -r puts back.
    const ExactTime* oldCreated = known && withCreated ? &created : nullptr;
    const ExactTime* old = !known ? nullptr : shownOld ? shownOld : &present;
    if (differs && !ReportFolderChange(old, exact, path, oldCreated)) {
        ReportListLost(GetLastError());
        return;
    }
    if (programState.dryRun) {
        programState.changedCount += differs;
        return;
    }
    DWORD error = WriteLastWriteTime(path, time);
    if (error) {
        ReportFolderProblem("cannot set", path, strlen(path), nullptr, error);
        CountFailure();
        return;
    }
    programState.changedCount++; // every folder set counts, its time equal or not
    ReportLateWriteFailures(TAKE_DONE);
    ExactTime kept;
    if (programState.changesOnly && TimeGrainUnknown() &&
        ReadExactLastWrite(path, &kept, nullptr)) {
        LearnTimeGrain(exact, kept); // once a walk: the first write, read back
        for (size_t i = 0; i < heldBackCount; i++)
            StampFolder(heldBack[i].path, heldBack[i].time);
        ForgetHeldBack();
    }
}

namespace {

// A day past the moment the walk began, in 100 ns; a file dated later is in the future.
uint64_t futureFrom;

uint64_t Ticks(FILETIME time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// A file dated in the future is named, whether or not anything is asked; with
// --ignore-future it then counts as no file.
bool IsInFuture(const char* buffer, const char* tail, const WIN32_FIND_DATAA& entry)
{
    if (Ticks(entry.ftLastWriteTime) <= futureFrom)
        return false;
    ReportFutureFile(buffer, static_cast<size_t>(tail - buffer), entry.cFileName,
                     ExactFromFileTime(entry.ftLastWriteTime));
    programState.futureCount++;
    if (walkRecorder)
        walkRecorder->futureFile(entry.ftLastWriteTime);
    return true;
}

bool CountsAsFile(const char* buffer, const char* tail, const WIN32_FIND_DATAA& entry)
{
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return false;
    if (programState.ignoreManagerFiles && IsFileManagerFile(entry.cFileName))
        return false;
    if (programState.excludeCount > 0 && IsExcludedName(entry.cFileName))
        return false;
    return !IsInFuture(buffer, tail, entry) || !programState.ignoreFuture;
}

} // namespace

// Walks the subfolder in walkEntry and writes its time when its subtree holds a file.
FILETIME StampSubfolder(char* buffer, WalkLevel* level)
{
    FILETIME none = {0, 0};
    size_t nameLength = strlen(walkEntry.cFileName);
    // A link or junction may lead to a folder already on the path, or to the top or above
    // it; and below one, so may a plain folder (a link to b/.. holds b again). Plain trees
    // need no look-up.
    bool link = (walkEntry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if ((link || level->linked) && IsAlreadyOnPath(buffer, level, walkEntry.cFileName))
        return none;
    FILETIME sub = StampNewestTimes(buffer, level->tail, walkEntry.cFileName, level);
    if (IsZero(sub))
        return sub;
    // The descent left "name" and a separator at the tail; cut it to the subfolder's path.
    level->tail[nameLength] = '\0';
    StampFolder(buffer, sub);
    return sub;
}

namespace {

// A listing of the folder could not start: the first reason is the one reported.
void NoteUnlisted(bool* listed, DWORD* error)
{
    if (*listed)
        *error = GetLastError();
    *listed = false;
}

FILETIME StampSubfolders(char* buffer, WalkLevel* level, bool* listed, DWORD* error)
{
    FILETIME newest = {0, 0};
    HANDLE find = StartListing(buffer, level->tail);
    if (find == INVALID_HANDLE_VALUE) {
        NoteUnlisted(listed, error);
        return newest;
    }
    // Learnt while the top's listing is open, so that the file layer resolves the look-ups
    // from the folder it holds: a top past the system's path limit is known too.
    if (!level->parent)
        LearnTopAndAbove(buffer, static_cast<size_t>(level->tail - buffer));
    if (walkProgress)
        walkProgress(buffer);
    do {
        if (walkPulse)
            walkPulse();
        if (programState.stopRequested || programState.listLost)
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

} // namespace

FILETIME NewestFileTime(char* buffer, char* tail, bool* listed, DWORD* error)
{
    FILETIME newest = {0, 0};
    HANDLE find = StartListing(buffer, tail);
    if (find == INVALID_HANDLE_VALUE) {
        NoteUnlisted(listed, error);
        return newest;
    }
    do {
        if (walkPulse)
            walkPulse();
        if (CountsAsFile(buffer, tail, walkEntry))
            newest = LaterFileTime(newest, walkEntry.ftLastWriteTime);
    } while (FindNextFileA(find, &walkEntry) == 1);
    FindClose(find);
    return newest;
}

// --top: the named folder is set too, once its walk is done, as its subfolders are, and
// counted. Its path is the buffer less the separator the walk added, where it added one.
void StampTop(char* buffer, FILETIME newest, const ExactTime* shownOld)
{
    if (IsZero(newest) || programState.topUnlisted)
        return;
    size_t length = strlen(buffer);
    if (length > 1 && buffer[length - 1] == PATH_SEPARATOR && buffer[length - 2] != ':')
        buffer[length - 1] = '\0';
    programState.visitedCount++;
    StampFolder(buffer, newest, shownOld);
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
// walked, nor counted, nor set; nor are the folders --exclude names, nor, with --no-links,
// links and junctions to folders.
bool IsSubfolder(const WIN32_FIND_DATAA& entry)
{
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0)
        return false;
    if (programState.noLinks && IsLink(entry))
        return false;
    if (programState.excludeCount > 0 && IsExcludedName(entry.cFileName))
        return false;
    return !programState.ignoreManagerFiles || !IsSystemWrittenFolder(entry.cFileName);
}

void StartStamping()
{
    constexpr uint64_t DAY = 864000000000ull; // in 100 ns
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    futureFrom = Ticks(now) + DAY;
    ForgetHeldBack();
}

void EndStamping()
{
    ForgetHeldBack(); // nothing written taught a grain: they are taken to be kept as they are
    // Every write is done, or has failed and is counted, before the summary; after a stop
    // too, so that a folder is either set or left as it was.
    ReportLateWriteFailures(TAKE_AT_END);
}

FILETIME LaterFileTime(FILETIME a, FILETIME b)
{
    if (b.dwHighDateTime != a.dwHighDateTime)
        return b.dwHighDateTime > a.dwHighDateTime ? b : a;
    return b.dwLowDateTime > a.dwLowDateTime ? b : a;
}

FILETIME StampNewestTimes(char* buffer, char* at, const char* name, WalkLevel* parent)
{
    FILETIME newest = {0, 0};
    // walkEntry still holds this folder's entry in its parent's listing.
    bool link = parent && (walkEntry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    bool linked = parent && (parent->linked || link);
    // The stack ends where it ends: deeper folders are reported, not entered. (The top's
    // own frame lies far above the floor.)
    if (walkStackFloor && reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) <
                              reinterpret_cast<uintptr_t>(walkStackFloor)) {
        ReportFolderProblem("cannot list", buffer, static_cast<size_t>(at - buffer), name, 0,
                            TOO_DEEP);
        CountFailure();
        return newest;
    }
    char* tail = AppendFolderName(buffer, at, name);
    bool listed = tail != nullptr; // a path that cannot fit is a listing that cannot start
    DWORD error = ERROR_FILENAME_EXCED_RANGE;
    if (tail) {
        *tail = '\0';
        if (walkRecorder) // before the listing, so that a watch misses nothing after it
            walkRecorder->entered(buffer, name, !parent || link);
        WalkLevel level = {parent, tail, {0, 0, 0}, false, linked};
        newest = StampSubfolders(buffer, &level, &listed, &error);
        FILETIME files = NewestFileTime(buffer, tail, &listed, &error);
        newest = LaterFileTime(newest, files);
        if (walkRecorder)
            walkRecorder->left(files, newest, listed);
    }
    if (listed)
        return newest;
    // Its files were not seen, so its parent may get an older time than it should.
    ReportFolderProblem("cannot list", buffer, static_cast<size_t>(at - buffer), name, error);
    parent ? CountFailure() : CountTopFailure(error);
    return newest;
}

void RunFolderWalk(const char* path)
{
    programState.latestFailures = 0;
    programState.topUnlisted = 0;
    programState.latestTop = path;
    if (!path || !path[0] || strlen(path) > MAX_FOLDER_ARGUMENT) {
        // Nothing is walked and the counters stay as they were; still, it is a failure.
        const char* top = path ? path : "";
        DWORD error = top[0] ? ERROR_FILENAME_EXCED_RANGE : ERROR_PATH_NOT_FOUND;
        ReportFolderProblem("cannot list", top, strlen(top), nullptr, error);
        CountTopFailure(error);
        return;
    }
    static char buffer[PATH_BUFFER_SIZE];
    memset(buffer, 0, sizeof buffer);
    programState.changedCount = 0;
    programState.visitedCount = 0;
    programState.futureCount = 0;
    programState.latestWalk = programState.dryRun ? WALK_DRY : WALK_REAL;
    ForgetTimeGrain();
    StartStamping();
    UseFileThreads(path, programState.jobs);
    FILETIME newest = StampNewestTimes(buffer, buffer, path, nullptr);
    if (programState.setTop)
        StampTop(buffer, newest);
    EndStamping();
    if (walkProgress)
        walkProgress(nullptr); // the walk is over: a progress line goes
}
