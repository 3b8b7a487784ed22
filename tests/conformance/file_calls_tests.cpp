// What the walk relies on from the file calls, checked on real folders. The same tests run
// against the POSIX layer and, built for Windows, against Windows itself (under Wine); with
// CHRONOTREE_TEST_THREADS set, with that many threads reading ahead and writing behind.
#include "scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

// 2021-03-04 05:06:07 UTC plus 1234567 ticks: odd 100 ns units must survive.
constexpr uint64_t SOME_TIME = 132592359670000000ull + 1234567;
constexpr uint64_t BEFORE_1970 = 110133216000000000ull + 99; // 1950
constexpr uint64_t AFTER_2038 = 159000000000000000ull + 3; // 2104

FILETIME Time(uint64_t ticks)
{
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}
uint64_t Ticks(FILETIME time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

DWORD ThreadsToTest()
{
    const char* count = getenv("CHRONOTREE_TEST_THREADS");
    return count ? static_cast<DWORD>(atoi(count)) : 1;
}

class FileCalls : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = MakeScratchFolder();
        ASSERT_FALSE(root.empty());
        threads = UseFileThreads(root.c_str(), ThreadsToTest());
        ASSERT_GE(threads, 1u);
    }
    void TearDown() override { EXPECT_TRUE(Settle().empty()) << "writes failed unasked"; }
    // Waits for every write, and gives the paths of those that failed behind their calls.
    std::vector<std::string> Settle()
    {
        std::vector<std::string> failed;
        char path[32768];
        DWORD error = 0;
        while (TakeFailedWrite(TAKE_AT_END, path, sizeof path, &error)) {
            EXPECT_NE(error, 0u) << path;
            failed.push_back(path);
        }
        return failed;
    }
    bool WriteTime(const std::string& path, uint64_t ticks)
    {
        HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return false;
        FILETIME time = Time(ticks);
        bool set = SetFileTime(handle, nullptr, nullptr, &time) != 0;
        CloseHandle(handle);
        return set;
    }
    std::string In(const std::string& name) { return root + SCRATCH_SEPARATOR + name; }
    std::string Pattern(const std::string& folder) { return folder + SCRATCH_SEPARATOR + "*"; }
    // Every entry of a listing, by name.
    std::map<std::string, WIN32_FIND_DATAA> List(const std::string& folder)
    {
        std::map<std::string, WIN32_FIND_DATAA> entries;
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA(Pattern(folder).c_str(), &data);
        if (find == INVALID_HANDLE_VALUE)
            return entries;
        do {
            EXPECT_EQ(entries.count(data.cFileName), 0u) << "listed twice: " << data.cFileName;
            entries[data.cFileName] = data;
        } while (FindNextFileA(find, &data) == 1);
        EXPECT_EQ(FindNextFileA(find, &data), 0) << "the end stays the end";
        EXPECT_NE(FindClose(find), 0);
        return entries;
    }
    std::string root;
    DWORD threads = 1;
};

TEST_F(FileCalls, AListingYieldsEveryEntryOnceWithDotsAndTheDirectoryAttribute)
{
    MakeFolder(In("sub"));
    MakeFolder(In("..x"));
    MakeFile(In("a.txt"), Time(SOME_TIME));
    MakeFile(In(".hidden"), Time(SOME_TIME));
    auto entries = List(root);
    ASSERT_EQ(entries.size(), 6u);
    for (const char* folder : {".", "..", "sub", "..x"})
        EXPECT_TRUE(entries[folder].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) << folder;
    for (const char* file : {"a.txt", ".hidden"})
        EXPECT_FALSE(entries[file].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) << file;
}

TEST_F(FileCalls, FileTimesAreExactTo100NanosecondsBeforeAndAfterTheUnixRange)
{
    for (uint64_t ticks : {SOME_TIME, BEFORE_1970, AFTER_2038})
        MakeFile(In("f" + std::to_string(ticks)), Time(ticks));
    auto entries = List(root);
    for (uint64_t ticks : {SOME_TIME, BEFORE_1970, AFTER_2038})
        EXPECT_EQ(Ticks(entries["f" + std::to_string(ticks)].ftLastWriteTime), ticks);
}

TEST_F(FileCalls, AFolderThatIsNotThereCannotBeListed)
{
    WIN32_FIND_DATAA data;
    EXPECT_EQ(FindFirstFileA(Pattern(In("missing")).c_str(), &data), INVALID_HANDLE_VALUE);
    MakeFile(In("plain"), Time(SOME_TIME));
    EXPECT_EQ(FindFirstFileA(Pattern(In("plain")).c_str(), &data), INVALID_HANDLE_VALUE);
}

TEST_F(FileCalls, ListingsNestAsTheWalkNestsThem)
{
    MakeFolder(In("a"));
    MakeFile(In("a") + SCRATCH_SEPARATOR + "inner", Time(SOME_TIME));
    WIN32_FIND_DATAA outer, inner;
    HANDLE first = FindFirstFileA(Pattern(root).c_str(), &outer);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    HANDLE second = FindFirstFileA(Pattern(In("a")).c_str(), &inner);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    int outerCount = 1, innerCount = 1;
    while (FindNextFileA(second, &inner) == 1)
        innerCount++;
    EXPECT_NE(FindClose(second), 0);
    while (FindNextFileA(first, &outer) == 1)
        outerCount++;
    EXPECT_NE(FindClose(first), 0);
    EXPECT_EQ(innerCount, 3);
    EXPECT_EQ(outerCount, 3);
}

TEST_F(FileCalls, SettingTheLastWriteTimeOfAFolderLeavesItsAccessTimeAlone)
{
    std::string folder = In("target");
    MakeFolder(folder);
    SetTimes(folder, Time(SOME_TIME), Time(BEFORE_1970 + 1000));
    for (uint64_t wanted : {AFTER_2038, BEFORE_1970, SOME_TIME - 1}) {
        HANDLE handle = CreateFileA(folder.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        FILETIME time = Time(wanted);
        EXPECT_NE(SetFileTime(handle, nullptr, nullptr, &time), 0);
        EXPECT_NE(CloseHandle(handle), 0);
        EXPECT_TRUE(Settle().empty());
        FILETIME lastWrite, lastAccess;
        ASSERT_TRUE(ReadTimes(folder, &lastWrite, &lastAccess));
        EXPECT_EQ(Ticks(lastWrite), wanted);
        EXPECT_EQ(Ticks(lastAccess), BEFORE_1970 + 1000);
    }
}

TEST_F(FileCalls, AFolderThatIsNotThereCannotBeWritten)
{
    HANDLE handle = CreateFileA(In("missing").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        FILETIME time = Time(SOME_TIME);
        bool refused = SetFileTime(handle, nullptr, nullptr, &time) == 0;
        CloseHandle(handle);
        // Refused at once, or, written behind, handed out once as failed: never both, never
        // neither.
        std::vector<std::string> late = Settle();
        EXPECT_EQ(late.size(), refused ? 0u : 1u);
        if (!late.empty()) {
            EXPECT_EQ(late[0], In("missing"));
        }
    }
}

TEST_F(FileCalls, IdentityNamesTheFolderWhateverItsSpelling)
{
    MakeFolder(In("one"));
    MakeFolder(In("two"));
    auto identity = [](const std::string& path) {
        HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        BY_HANDLE_FILE_INFORMATION info = {};
        EXPECT_NE(handle, INVALID_HANDLE_VALUE) << path;
        EXPECT_NE(GetFileInformationByHandle(handle, &info), 0) << path;
        CloseHandle(handle);
        return std::to_string(info.dwVolumeSerialNumber) + ":" +
               std::to_string(info.nFileIndexHigh) + ":" + std::to_string(info.nFileIndexLow);
    };
    std::string one = identity(In("one"));
    EXPECT_EQ(identity(In("one") + SCRATCH_SEPARATOR), one);
    EXPECT_EQ(identity(In("two") + SCRATCH_SEPARATOR + ".." + SCRATCH_SEPARATOR + "one"), one);
    EXPECT_NE(identity(In("two")), one);
}

// Paths far past 260 characters: the chain is listed and set all the way down.
TEST_F(FileCalls, PathsPastTheOldLimitAreListedAndSet)
{
    std::string folder = root;
    for (int level = 0; level < 60; level++) { // about 3,100 bytes
        folder += SCRATCH_SEPARATOR + std::string(50, static_cast<char>('a' + level % 26));
        MakeFolder(folder);
    }
    MakeFile(folder + SCRATCH_SEPARATOR + "deep.txt", Time(SOME_TIME));
    auto entries = List(folder);
    ASSERT_EQ(entries.count("deep.txt"), 1u) << folder.size();
    EXPECT_EQ(Ticks(entries["deep.txt"].ftLastWriteTime), SOME_TIME);
    HANDLE handle = CreateFileA(folder.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    FILETIME time = Time(AFTER_2038);
    EXPECT_NE(SetFileTime(handle, nullptr, nullptr, &time), 0);
    CloseHandle(handle);
    EXPECT_TRUE(Settle().empty());
    FILETIME lastWrite, lastAccess;
    ASSERT_TRUE(ReadTimes(folder, &lastWrite, &lastAccess));
    EXPECT_EQ(Ticks(lastWrite), AFTER_2038);
}

// Names that Windows' own normalisation would change, and the longest names a volume here
// holds (255 bytes: 85 characters of three bytes each), come back whole and can be used.
TEST_F(FileCalls, NamesEndingInADotOrABlankAndLongNamesAreListedAndFound)
{
    std::string longName;
    for (int i = 0; i < 85; i++)
        longName += "\xe6\x97\xa5";
    const std::string names[] = {"dot.", "blank ", longName};
    for (const std::string& name : names) {
        MakeFolder(In(name));
        MakeFile(In(name) + SCRATCH_SEPARATOR + "f", Time(SOME_TIME));
    }
    // As the walk does it: the folder's listing open while the names below it are used.
    WIN32_FIND_DATAA data;
    HANDLE outer = FindFirstFileA(Pattern(root).c_str(), &data);
    ASSERT_NE(outer, INVALID_HANDLE_VALUE);
    std::map<std::string, bool> seen;
    do {
        seen[data.cFileName] = true;
    } while (FindNextFileA(outer, &data) == 1);
    for (const std::string& name : names) {
        EXPECT_TRUE(seen[name]) << name;
        auto inside = List(In(name));
        EXPECT_EQ(inside.count("f"), 1u) << name;
        HANDLE handle = CreateFileA(In(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        EXPECT_NE(handle, INVALID_HANDLE_VALUE) << name;
        CloseHandle(handle);
    }
    EXPECT_NE(FindClose(outer), 0);
}

// The walk lists each folder twice in a row. The second listing may repeat the first, but
// only while nothing was added, removed or renamed in the folder since.
TEST_F(FileCalls, ASecondListingRightAfterTheFirstSeesEveryChangeOfTheFolder)
{
    std::string folder = In("twice");
    MakeFolder(folder);
    MakeFile(folder + SCRATCH_SEPARATOR + "kept", Time(SOME_TIME));
    SetTimes(folder, Time(SOME_TIME), Time(SOME_TIME)); // long unchanged, as far as it shows
    ASSERT_EQ(List(folder).size(), 3u);
    MakeFile(folder + SCRATCH_SEPARATOR + "added", Time(AFTER_2038));
    auto again = List(folder);
    EXPECT_EQ(again.count("added"), 1u) << "a file added between the two listings";
    SetTimes(folder, Time(SOME_TIME), Time(SOME_TIME));
    ASSERT_EQ(List(folder).size(), 4u);
    std::string renamed = folder + SCRATCH_SEPARATOR + "renamed";
    ASSERT_TRUE(RenameEntry(folder + SCRATCH_SEPARATOR + "kept", renamed));
    auto afterRename = List(folder);
    EXPECT_EQ(afterRename.count("kept"), 0u);
    EXPECT_EQ(afterRename.count("renamed"), 1u);
}

// Subfolders are read ahead while the walk is still in their parent: whatever changes in
// them, or in the parent, before the walk arrives is seen when it does.
class ReadAhead : public FileCalls {
protected:
    void SetUp() override
    {
        FileCalls::SetUp();
        parent = In("parent");
        MakeFolder(parent);
        for (const char* name : {"added", "removed", "renamed", "replaced", "same"}) {
            std::string folder = parent + SCRATCH_SEPARATOR + name;
            MakeFolder(folder);
            MakeFile(folder + SCRATCH_SEPARATOR + "old", Time(SOME_TIME));
            MakeFolder(folder + SCRATCH_SEPARATOR + "inner");
            // An old time, so that a layer that trusts no folder changed within the last
            // second may serve what it read ahead.
            SetTimes(folder, Time(SOME_TIME), Time(SOME_TIME));
        }
        // Read ahead well after every change above, so that only what follows is news.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::string Inside(const std::string& folder, const std::string& name)
    {
        return parent + SCRATCH_SEPARATOR + folder + SCRATCH_SEPARATOR + name;
    }
    // As the walk does: the parent's listing open while each subfolder is listed, after
    // `change` has run. Every subfolder's names, with the times of "new" and "other".
    std::map<std::string, std::vector<std::string>> Walk(const std::function<void()>& change)
    {
        std::map<std::string, std::vector<std::string>> seen;
        WIN32_FIND_DATAA data;
        HANDLE outer = FindFirstFileA(Pattern(parent).c_str(), &data);
        EXPECT_NE(outer, INVALID_HANDLE_VALUE);
        if (outer == INVALID_HANDLE_VALUE)
            return seen;
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // read ahead by now
        change();
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            for (const auto& [entry, found] : List(parent + SCRATCH_SEPARATOR + name)) {
                bool timed = entry == "new" || entry == "other";
                std::string time = timed ? "@" + std::to_string(Ticks(found.ftLastWriteTime)) : "";
                if (entry != "." && entry != "..")
                    seen[name].push_back(entry + time);
            }
        } while (FindNextFileA(outer, &data) == 1);
        EXPECT_NE(FindClose(outer), 0);
        return seen;
    }
    std::string parent;
};

using Names = std::vector<std::string>;

TEST_F(ReadAhead, EntriesAddedRemovedOrRenamedInsideAFolderAreSeen)
{
    auto seen = Walk([this] {
        MakeFile(Inside("added", "new"), Time(AFTER_2038));
        EXPECT_TRUE(RemoveFile(Inside("removed", "old")));
        EXPECT_TRUE(RenameEntry(Inside("renamed", "inner"), Inside("renamed", "moved")));
    });
    EXPECT_EQ(seen["added"], (Names{"inner", "new@" + std::to_string(AFTER_2038), "old"}));
    EXPECT_EQ(seen["removed"], (Names{"inner"}));
    EXPECT_EQ(seen["renamed"], (Names{"moved", "old"}));
    EXPECT_EQ(seen["same"], (Names{"inner", "old"}));
}

TEST_F(ReadAhead, AFolderSwappedForAnotherOfTheSameNameIsTheNewOne)
{
    auto seen = Walk([this] {
        EXPECT_TRUE(RenameEntry(parent + SCRATCH_SEPARATOR + "replaced", In("elsewhere")));
        MakeFolder(parent + SCRATCH_SEPARATOR + "replaced");
        MakeFile(Inside("replaced", "other"), Time(BEFORE_1970));
    });
    EXPECT_EQ(seen["replaced"], (Names{"other@" + std::to_string(BEFORE_1970)}));
    EXPECT_EQ(seen["same"], (Names{"inner", "old"}));
}

// Many folders written one after another, one of them twice and read between: each ends
// with the time written last, and a read sees the write before it.
TEST_F(FileCalls, TimesWrittenBehindArriveInOrderAndAreSeenByLaterReads)
{
    std::vector<std::string> folders;
    for (int i = 0; i < 150; i++) {
        folders.push_back(In("f" + std::to_string(i)));
        MakeFolder(folders.back());
    }
    for (size_t i = 0; i < folders.size(); i++)
        EXPECT_TRUE(WriteTime(folders[i], SOME_TIME + i));
    EXPECT_TRUE(WriteTime(folders[7], AFTER_2038));
    HANDLE handle = CreateFileA(folders[7].c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    BY_HANDLE_FILE_INFORMATION info = {};
    EXPECT_NE(GetFileInformationByHandle(handle, &info), 0);
    CloseHandle(handle);
    EXPECT_EQ(Ticks(info.ftLastWriteTime), AFTER_2038) << "a read sees the write before it";
    EXPECT_TRUE(WriteTime(folders[7], BEFORE_1970));
    EXPECT_TRUE(Settle().empty());
    for (size_t i = 0; i < folders.size(); i++) {
        FILETIME lastWrite, lastAccess;
        ASSERT_TRUE(ReadTimes(folders[i], &lastWrite, &lastAccess));
        EXPECT_EQ(Ticks(lastWrite), i == 7 ? BEFORE_1970 : SOME_TIME + i) << folders[i];
    }
}

// As the walk reads a folder's time and then sets it: the time a write behind leaves is
// what a read sees next, also under another spelling of the same folder (as through a
// link), both ways round; and the write made last is the one that stays.
TEST_F(FileCalls, AReadUnderAnotherSpellingSeesTheWriteBehindItsFolder)
{
    std::string one = In("one");
    std::string alias = In("two") + SCRATCH_SEPARATOR + ".." + SCRATCH_SEPARATOR + "one";
    MakeFolder(one);
    MakeFolder(In("two"));
    auto readTime = [](const std::string& path) {
        HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        ExactTime time = {0, 0};
        EXPECT_NE(handle, INVALID_HANDLE_VALUE) << path;
        EXPECT_NE(GetFileExactTime(handle, &time), 0) << path;
        CloseHandle(handle);
        return static_cast<uint64_t>(time.seconds) * 10000000 + time.nanoseconds / 100;
    };
    // Writes queued ahead of it keep the folder's own write pending when it is read.
    auto writeAfterOthers = [&](const std::string& path, uint64_t ticks, const std::string& tag) {
        for (int i = 0; i < 100; i++) {
            std::string other = In(tag + std::to_string(i));
            MakeFolder(other);
            EXPECT_TRUE(WriteTime(other, SOME_TIME));
        }
        readTime(path);
        EXPECT_TRUE(WriteTime(path, ticks));
    };
    writeAfterOthers(one, AFTER_2038, "a");
    EXPECT_EQ(readTime(alias), AFTER_2038) << "read through the other spelling";
    writeAfterOthers(alias, BEFORE_1970, "b");
    EXPECT_EQ(readTime(one), BEFORE_1970) << "written through the other spelling";
    EXPECT_TRUE(Settle().empty());
    FILETIME lastWrite, lastAccess;
    ASSERT_TRUE(ReadTimes(one, &lastWrite, &lastAccess));
    EXPECT_EQ(Ticks(lastWrite), BEFORE_1970);
}

// In the walk's order, once a folder has been written: a folder listed with its subfolders
// listed inside its listing, one of them written, the folder listed again and written, then
// a folder beside it. Each time lands on its own folder, also when the folder changed after
// its listing, and a folder listed but never written keeps its time.
TEST_F(FileCalls, FoldersListedThenWrittenInTheWalksOrderGetTheirOwnTimes)
{
    std::string x = In("x"), y = x + SCRATCH_SEPARATOR + "y", quiet = x + SCRATCH_SEPARATOR + "q";
    for (const std::string& folder : {In("first"), x, y, quiet, In("z")})
        MakeFolder(folder);
    SetTimes(quiet, Time(BEFORE_1970), Time(BEFORE_1970));
    EXPECT_TRUE(WriteTime(In("first"), SOME_TIME));
    WIN32_FIND_DATAA data;
    HANDLE outer = FindFirstFileA(Pattern(x).c_str(), &data);
    ASSERT_NE(outer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(List(y).size(), 2u);
    EXPECT_EQ(List(quiet).size(), 2u);
    MakeFile(y + SCRATCH_SEPARATOR + "late", Time(AFTER_2038)); // changed after its listing
    EXPECT_TRUE(WriteTime(y, SOME_TIME + 1));
    EXPECT_NE(FindClose(outer), 0);
    EXPECT_EQ(List(x).size(), 4u);
    EXPECT_TRUE(WriteTime(x, SOME_TIME + 2));
    EXPECT_EQ(List(In("z")).size(), 2u);
    EXPECT_TRUE(WriteTime(In("z"), SOME_TIME + 3));
    EXPECT_TRUE(Settle().empty());
    std::pair<std::string, uint64_t> expected[] = {{In("first"), SOME_TIME},
                                                   {y, SOME_TIME + 1},
                                                   {x, SOME_TIME + 2},
                                                   {In("z"), SOME_TIME + 3},
                                                   {quiet, BEFORE_1970}};
    for (const auto& [folder, ticks] : expected) {
        FILETIME lastWrite, lastAccess;
        ASSERT_TRUE(ReadTimes(folder, &lastWrite, &lastAccess));
        EXPECT_EQ(Ticks(lastWrite), ticks) << folder;
    }
}

// Writes that fail on a worker are handed out once each, whatever succeeded around them.
// Once, and in the order they were asked for, whichever a worker finished first: the walk
// reports them in its own order.
TEST_F(FileCalls, WritesThatFailBehindTheirCallsAreHandedOutOnceInTheirOrder)
{
    std::vector<std::string> expected;
    for (int i = 0; i < 40; i++) {
        std::string folder = In("w" + std::to_string(i));
        if (i % 3 == 0) {
            expected.push_back(folder); // never made
        } else {
            MakeFolder(folder);
        }
        bool set = WriteTime(folder, SOME_TIME);
        if (!set && i % 3 == 0)
            expected.pop_back(); // refused at its call: nothing comes later
        EXPECT_TRUE(set || i % 3 == 0) << folder;
    }
    EXPECT_EQ(Settle(), expected);
    EXPECT_TRUE(Settle().empty()) << "each failure is handed out once";
}

// A watch as the program uses it: the folders of a tree watched, each change handed out
// with the folder it happened in and what happened, once the tree has been quiet; a
// folder's own time written (the program's own write) is no change of entries.
class Watching : public FileCalls {
protected:
    void SetUp() override
    {
        FileCalls::SetUp();
        MakeFolder(In("a"));
        MakeFolder(In("a") + SCRATCH_SEPARATOR + "b");
        watch = CreateFolderWatch();
        ASSERT_NE(watch, nullptr);
        const char* const below[] = {"", "a", "a/b"};
        for (DWORD key = 0; key < 3; key++) {
            std::string relative = below[key];
            std::replace(relative.begin(), relative.end(), '/', SCRATCH_SEPARATOR);
            prefix[key] = relative;
            std::string path = relative.empty() ? root : In(relative);
            ids[key] = WatchFolder(watch, (path + SCRATCH_SEPARATOR).c_str(), key, key == 0);
            ASSERT_NE(ids[key], 0u) << path;
            // Listed once watched, as the walk lists it: Wine's watch of a subtree hears of
            // a folder below its top only once the folder has been opened.
            List(path);
        }
    }
    void TearDown() override
    {
        CloseFolderWatch(watch);
        FileCalls::TearDown();
    }
    // The changes handed out, each as "ACTION path below the root" ('/' between names).
    std::vector<std::string> Take()
    {
        std::vector<std::string> changes;
        DWORD key = 0, action = 0;
        char name[1024];
        while (TakeFolderChange(watch, &key, &action, name, sizeof name)) {
            EXPECT_LT(key, 3u);
            std::string path = prefix[key < 3 ? key : 0];
            path += (path.empty() ? "" : std::string(1, SCRATCH_SEPARATOR)) + name;
            std::replace(path.begin(), path.end(), SCRATCH_SEPARATOR, '/');
            changes.push_back(std::to_string(action) + " " + path);
        }
        return changes;
    }
    HANDLE watch = nullptr;
    DWORD ids[3] = {};
    std::string prefix[3];
};

bool Has(const std::vector<std::string>& changes, DWORD action, const std::string& path)
{
    return std::count(changes.begin(), changes.end(), std::to_string(action) + " " + path) > 0;
}

TEST_F(Watching, ChangesComeOnceTheTreeIsQuietWithTheirFolderAndWhatHappened)
{
    EXPECT_EQ(WaitForFolderChanges(watch, nullptr, 50, 100, FALSE), WATCH_TIMEOUT);
    // The program's own write of a folder's time: nothing, or that folder itself modified.
    ASSERT_TRUE(WriteTime(In("a") + SCRATCH_SEPARATOR + "b", SOME_TIME));
    ASSERT_TRUE(Settle().empty());
    if (WaitForFolderChanges(watch, nullptr, 50, 300, FALSE) == WATCH_CHANGES) {
        for (const std::string& change : Take())
            EXPECT_EQ(change, std::to_string(FILE_ACTION_MODIFIED) + " a/b");
    }
    std::string b = In("a") + SCRATCH_SEPARATOR + "b" + SCRATCH_SEPARATOR;
    MakeFile(b + "f", Time(SOME_TIME));
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(WaitForFolderChanges(watch, nullptr, 200, 5000, FALSE), WATCH_CHANGES);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(200))
        << "the tree must have been quiet for the time asked";
    std::vector<std::string> changes = Take();
    EXPECT_TRUE(Has(changes, FILE_ACTION_ADDED, "a/b/f")) << ::testing::PrintToString(changes);
    EXPECT_TRUE(Take().empty()) << "each change is handed out once";
    ASSERT_TRUE(RenameEntry(b + "f", b + "g"));
    ASSERT_EQ(WaitForFolderChanges(watch, nullptr, 50, 5000, FALSE), WATCH_CHANGES);
    changes = Take();
    EXPECT_TRUE(Has(changes, FILE_ACTION_RENAMED_OLD_NAME, "a/b/f") &&
                Has(changes, FILE_ACTION_RENAMED_NEW_NAME, "a/b/g"))
        << ::testing::PrintToString(changes);
}

TEST_F(Watching, AStopEndsTheWaitAndFoldersUnwatchedAreNotReported)
{
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(stop, nullptr);
    ASSERT_NE(SetEvent(stop), 0);
    EXPECT_EQ(WaitForFolderChanges(watch, stop, 50, INFINITE, FALSE), WATCH_STOPPED);
    for (DWORD key = 0; key < 3; key++)
        EXPECT_NE(UnwatchFolder(watch, ids[key], key), 0) << key;
    EXPECT_EQ(UnwatchFolder(watch, ids[0] + 1000, 0), 0) << "no such watch";
    MakeFile(In("a") + SCRATCH_SEPARATOR + "b" + SCRATCH_SEPARATOR + "h", Time(SOME_TIME));
    EXPECT_EQ(WaitForFolderChanges(watch, nullptr, 50, 300, FALSE), WATCH_TIMEOUT);
}

} // namespace
