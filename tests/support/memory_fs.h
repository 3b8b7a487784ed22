// An in-memory file system behind the same Win32 calls the walk makes, with a log of
// those calls and failures that can be injected into each of them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace memfs {

struct Node {
    std::string name;
    bool folder;
    uint64_t time;
    int linkTarget; // -1, or the folder a link leads to
    std::vector<int> children;
    DWORD volume = 1; // the identity GetFileInformationByHandle gives: volume and index
    DWORD index = 0; // 0: the node's number
    int parent = -1; // what ".." leads to (the root's is the root)
    uint32_t extraNanoseconds = 0; // below `time`'s 100 ns, as POSIX keeps them
    uint64_t created = 0; // the creation time, as Windows keeps one
};

struct Faults {
    std::set<std::string> listingFails; // folder paths whose listings cannot start
    std::map<std::string, int> listingOnce; // as above, for this many listings only
    std::map<std::string, int> listingStops; // listings that end after this many entries
    std::set<std::string> openFails; // paths CreateFileA refuses
    std::set<std::string> setTimeFails; // paths whose SetFileTime fails
    bool quiet = false; // keep no log (for very deep trees)
    // A write that fails succeeds at its call and fails later, as one written behind by a
    // thread does: TakeFailedWrite hands it out once asked to wait.
    bool lateWriteFailures = false;
    // A folder's time written is cut to a multiple of this, as a share keeping seconds does.
    uint64_t folderTimeGrain = 1;
};

// Clears everything; node 0 is the root, whose children are the top-level names.
void Reset();
int AddFolder(int parent, const std::string& name, uint64_t time = 1);
int AddFile(int parent, const std::string& name, uint64_t time);
int AddLink(int parent, const std::string& name, int target);
uint64_t TimeOf(int node);
uint64_t CreatedOf(int node);
void SetCreated(int node, uint64_t time);
// Nanoseconds below the node's 100 ns time, which only its exact time shows; a write of
// its time clears them.
void SetExtraNanoseconds(int node, uint32_t nanoseconds);
// Gives the node another identity, as a folder on another volume may have.
void SetIdentity(int node, DWORD volume, DWORD index);

// What ReadWholeFile gives for `path` (a list to restore from).
void SetFileText(const std::string& path, const std::string& text);

Faults& faults();
// One line per call: "list PATTERN", "open PATH", "set PATH TIME", "id PATH".
std::vector<std::string>& log();
int OpenListings();
int OpenHandles();
size_t Lookups(); // CreateFileA calls made for identity
DWORD ThreadsAsked(); // the count UseFileThreads was last given
void StopAfterRounds(int rounds); // --every: so many rounds, then a stop as from Ctrl-C
// Takes the entry out of its folder, as a removal or the first half of a move does.
void RemoveEntry(int parent, const std::string& name);
void SetTime(int node, uint64_t time);

// --watch: the folders watched (path as given, with its key), and a script that each wait
// for changes runs first: it changes the tree and reports what changed with ReportChange;
// returning false stops the watch, as Ctrl-C does. Changes of a folder never watched are
// dropped; LoseChanges makes the next wait end with WATCH_LOST; after FailWatchAfter(n)
// watches, WatchFolder fails (ERROR_NOT_ENOUGH_MEMORY).
struct WatchedPath {
    std::string path;
    DWORD key;
    bool root;
};
std::vector<WatchedPath>& Watched();
void SetWatchScript(bool (*step)(int wait));
void ReportChange(const std::string& folder, DWORD action, const std::string& name);
void LoseChanges();
void FailWatchAfter(int watches);

std::string Path(std::initializer_list<std::string> parts);
FILETIME MakeTime(uint64_t ticks);
uint64_t Ticks(FILETIME time);

} // namespace memfs
