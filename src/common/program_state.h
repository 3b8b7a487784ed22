// The one program-wide record: window handles, the option flags, the folder argument and
// the counters of the latest walk. Cleared by RunProgram before anything else.
#pragma once

#include <windows.h>

#include <cstdint>

struct ProgramState {
    HWND mainWindow;
    HWND folderLabel;
    HWND folderEdit;
    HWND browseButton;
    HWND setButton;
    uint8_t silent;
    uint8_t automatic;
    char* folderArgument;
    int32_t changedCount;
    int32_t visitedCount;
    // Options beyond the first two, each set when met, like `silent`:
    uint8_t ignoreManagerFiles; // -i: the files file managers write count as no files
    uint8_t dryRun; // -n: nothing is written; changedCount counts what would change
    uint8_t verbose; // -v: a line for every folder changed, and for every one that failed
    uint8_t latestWalk; // what the counters tell of: one of the WALK_ kinds below
    // The window's walk: set while it runs; a close request asks it to stop before its
    // next write, and the window goes once it has.
    uint8_t walkRunning;
    uint8_t stopRequested;
    uint8_t closeRequested; // the stop came from closing the window, not from Escape
    // What could not be done: folders that could not be listed, set or read, over the whole
    // run (the exit status) and in the latest walk below its top (the summary); whether
    // the latest walk's top could not be listed, and why.
    int32_t failureCount;
    int32_t latestFailures;
    uint8_t topUnlisted;
    DWORD topError;
    const char* latestTop;
    // A -v line could not be written: nothing more is written to any folder.
    uint8_t listLost;
    // The command line asked for the usage or the version, or held an option unknown here.
    uint8_t usageAsked;
    uint8_t versionAsked;
    const char* unknownOption;
    // -r came last on the command line, with no list after it.
    uint8_t restoreWithoutList;
    // The choices other folder-date tools give, each for the whole run:
    uint8_t setCreated; // -c: a folder set gets the same time as its creation time too
    uint8_t onlyEarlier; // a folder is set only when its new time is earlier than its present
    uint8_t onlyLater; // ... or only when it is later
    uint8_t ignoreFuture; // files dated more than a day after the run began count as no file
    uint8_t setTop; // the named folder is set too, once its walk is done
    uint8_t noLinks; // links and junctions to folders are not entered, and count as nothing
    uint8_t changesOnly; // a folder already at its new time is neither written nor counted
    DWORD everySeconds; // --every: the folders are walked again so often, until stopped
    uint8_t watch; // --watch: once walked, the folders are kept right as they change
    uint8_t settleGiven; // --settle: how long the tree must be quiet before a round
    DWORD settleSeconds;
    DWORD jobs; // -j: threads that read ahead and write behind; 0: as the system suggests
    const char* const* excludePatterns; // -x: names that count as no file and no folder
    int32_t excludeCount;
    // A word the command line cannot take: an option given a value it cannot have, or two
    // that cannot go together (a full sentence), or -x without its pattern.
    const char* refusal;
    // Files dated in the future (named on standard error) in the latest walk.
    int32_t futureCount;
    // Walks and restores the command line started, whether or not they found anything.
    int32_t walksStarted;
};

constexpr DWORD MOST_JOBS = 64;
constexpr uint8_t WALK_NONE = 0;
constexpr uint8_t WALK_REAL = 1;
constexpr uint8_t WALK_DRY = 2;
constexpr uint8_t WALK_RESTORE = 3; // -r: folders restored out of the list's lines
constexpr uint8_t WALK_RESTORE_DRY = 4;

extern ProgramState programState;

void ResetProgramState();
