// What only the POSIX layer has to get right: links reported as Windows reports them,
// exact time conversion, odd names, and listings that survive deep and out-of-order use.
#include "file_time.h"
#include "scratch.h"
#include "thread_choice.h"
#include "workers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

uint64_t Ticks(FILETIME time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

TEST(FileTime, ConvertsBothWaysWithSignedSecondsAndDropsNanosecondsBelow100)
{
    EXPECT_EQ(Ticks(FileTimeFromTimespec(timespec{0, 0})), 116444736000000000ull);
    EXPECT_EQ(Ticks(FileTimeFromTimespec(timespec{0, 199})), 116444736000000001ull);
    EXPECT_EQ(Ticks(FileTimeFromTimespec(timespec{-1, 999999999})), 116444735999999999ull);
    EXPECT_EQ(Ticks(FileTimeFromTimespec(timespec{-SECONDS_FROM_1601_TO_1970, 0})), 0u);
    EXPECT_EQ(Ticks(FileTimeFromTimespec(timespec{-SECONDS_FROM_1601_TO_1970 - 1, 0})), 0u);
    EXPECT_EQ(Ticks(FileTimeFromTimespec(timespec{4102444800, 300})), 157469184000000003ull);
    // Past the end of the range: the latest time, never a wrap to 1601 or 26580.
    constexpr time_t LAST_SECOND = 1844674407370 - SECONDS_FROM_1601_TO_1970;
    EXPECT_EQ(Ticks(FileTimeFromTimespec(timespec{LAST_SECOND - 1, 0})), 18446744073690000000ull);
    for (time_t seconds : {LAST_SECOND + 1, LAST_SECOND * 2, static_cast<time_t>(INT64_MAX / 2)})
        EXPECT_EQ(Ticks(FileTimeFromTimespec(timespec{seconds, 999999999})), UINT64_MAX);
    // The last second holds up to its .9551615: only what lies after that saturates.
    EXPECT_EQ(Ticks(FileTimeFromTimespec(timespec{LAST_SECOND, 0})), 18446744073700000000ull);
    EXPECT_EQ(Ticks(FileTimeFromTimespec(timespec{LAST_SECOND, 900000000})),
              18446744073709000000ull);
    EXPECT_EQ(Ticks(FileTimeFromTimespec(timespec{LAST_SECOND, 955161500})), UINT64_MAX);
    EXPECT_EQ(Ticks(FileTimeFromTimespec(timespec{LAST_SECOND, 955161599})), UINT64_MAX);
    EXPECT_EQ(Ticks(FileTimeFromTimespec(timespec{LAST_SECOND, 955161600})), UINT64_MAX);
    for (uint64_t ticks :
         {0ull, 1ull, 116444735999999999ull, 157469184000000003ull, 0xFFFFFFFFFFFFFFFFull / 2}) {
        FILETIME time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        EXPECT_EQ(Ticks(FileTimeFromTimespec(TimespecFromFileTime(time))), ticks);
    }
}

std::string NamesAndTimes(const std::string& folder)
{
    std::string seen;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "/*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return "(none)";
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            seen += std::string(data.cFileName) + "@" +
                    std::to_string(Ticks(data.ftLastWriteTime)) + " ";
    } while (FindNextFileA(find, &data) == 1);
    FindClose(find);
    return seen;
}

class Layer : public ::testing::Test {
protected:
    void SetUp() override { root = MakeScratchFolder(); }
    std::string In(const std::string& name) { return root + "/" + name; }
    WIN32_FIND_DATAA Find(const std::string& name)
    {
        WIN32_FIND_DATAA data, wanted = {};
        HANDLE find = FindFirstFileA((root + "/*").c_str(), &data);
        EXPECT_NE(find, INVALID_HANDLE_VALUE);
        do {
            if (name == data.cFileName)
                wanted = data;
        } while (FindNextFileA(find, &data) == 1);
        FindClose(find);
        EXPECT_EQ(wanted.cFileName, name);
        return wanted;
    }
    std::string root;
};

TEST_F(Layer, LinksAreReportedWithTheirOwnTimesAndOnlyFolderLinksAsFolders)
{
    MakeFolder(In("folder"));
    MakeFile(In("file"), FILETIME{5, 30000000});
    ASSERT_EQ(symlink("folder", In("toFolder").c_str()), 0);
    ASSERT_EQ(symlink("file", In("toFile").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", In("dangling").c_str()), 0);
    ASSERT_EQ(symlink("loop", In("loop").c_str()), 0);
    FILETIME own = {7, 25000000};
    for (const char* link : {"toFolder", "toFile", "dangling", "loop"})
        SetTimes(In(link), own, own);
    EXPECT_EQ(Find("toFolder").dwFileAttributes,
              FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    for (const char* link : {"toFile", "dangling", "loop"}) {
        EXPECT_EQ(Find(link).dwFileAttributes, FILE_ATTRIBUTE_REPARSE_POINT) << link;
        EXPECT_EQ(Ticks(Find(link).ftLastWriteTime), Ticks(own)) << link;
    }
    EXPECT_EQ(Ticks(Find("file").ftLastWriteTime), Ticks(FILETIME{5, 30000000}));
}

TEST_F(Layer, NamesAreReportedByteForByte)
{
    for (std::string name :
         std::initializer_list<std::string>{"new\nline", "\xff\xfe not utf-8", "-lead", "star*",
                                            "what?", "back\\slash", std::string(255, 'n')}) {
        MakeFile(In(name), FILETIME{1, 1});
        EXPECT_EQ(Find(name).cFileName, name);
    }
}

TEST_F(Layer, PatternsOtherThanFolderSlashStarAreRefused)
{
    WIN32_FIND_DATAA data;
    for (std::string pattern : {root, root + "/", root + "/a*", root + "*", std::string("*")})
        EXPECT_EQ(FindFirstFileA(pattern.c_str(), &data), INVALID_HANDLE_VALUE) << pattern;
    EXPECT_EQ(FindNextFileA(INVALID_HANDLE_VALUE, &data), 0);
    EXPECT_EQ(FindClose(INVALID_HANDLE_VALUE), 0);
    EXPECT_EQ(CloseHandle(INVALID_HANDLE_VALUE), 0);
}

TEST_F(Layer, ManyListingsStayOpenAndMayCloseInAnyOrder)
{
    constexpr int OPEN = 3000; // far more than the descriptor limit would allow
    for (int i = 0; i < 3; i++)
        MakeFile(In("f" + std::to_string(i)), FILETIME{1, 1});
    std::vector<HANDLE> finds;
    WIN32_FIND_DATAA data;
    for (int i = 0; i < OPEN; i++) {
        finds.push_back(FindFirstFileA((root + "/*").c_str(), &data));
        ASSERT_NE(finds.back(), INVALID_HANDLE_VALUE);
    }
    EXPECT_NE(FindClose(finds[10]), 0);
    EXPECT_EQ(FindClose(finds[10]), 0) << "a closed listing stays closed";
    EXPECT_EQ(FindNextFileA(finds[10], &data), 0);
    int entries = 1;
    while (FindNextFileA(finds[11], &data) == 1)
        entries++;
    EXPECT_EQ(entries, 5);
    for (int i = OPEN - 1; i >= 0; i--) {
        if (i != 10) {
            EXPECT_NE(FindClose(finds[i]), 0);
        }
    }
}

// Makes `levels` folders named `name` below `root` with openat, since no path can name the
// deep ones; returns the chain's path.
std::string MakeChain(const std::string& root, int levels, const std::string& name)
{
    int at = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    std::string path = root;
    for (int i = 0; i < levels && at >= 0; i++) {
        mkdirat(at, name.c_str(), 0755);
        int below = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY);
        close(at);
        at = below;
        path += "/" + name;
    }
    close(at);
    return path;
}

// The modification time of `path`, looked up a component at a time.
uint64_t TicksAt(const std::string& path)
{
    int at = AT_FDCWD;
    size_t from = 0;
    struct stat found = {};
    while (from < path.size()) {
        size_t end = path.find('/', from + 1);
        std::string part = path.substr(from, end == std::string::npos ? end : end - from);
        if (end == std::string::npos) {
            fstatat(at, part.c_str(), &found, 0);
            break;
        }
        int below = openat(at, part.c_str(), O_RDONLY | O_DIRECTORY);
        if (at != AT_FDCWD)
            close(at);
        at = below;
        from = end + 1;
    }
    if (at != AT_FDCWD)
        close(at);
    return Ticks(FileTimeFromTimespec(found.st_mtim));
}

bool SetLastWrite(const std::string& path, FILETIME time)
{
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    bool set = handle != INVALID_HANDLE_VALUE && SetFileTime(handle, nullptr, nullptr, &time);
    CloseHandle(handle);
    return set;
}

TEST_F(Layer, PathsFarLongerThanPathMaxAreListedWrittenAndLookedUp)
{
    std::string deep = MakeChain(root, 30, std::string(200, 'd')); // 6000 bytes below the root
    ASSERT_GT(deep.size(), static_cast<size_t>(PATH_MAX));
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((deep + "/*").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, ".");
    FindClose(find);
    FILETIME time = {11, 30000000};
    EXPECT_TRUE(SetLastWrite(deep, time));
    EXPECT_EQ(TicksAt(deep), Ticks(time));
    HANDLE handle = CreateFileA((deep + "/").c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info = {};
    EXPECT_NE(GetFileInformationByHandle(handle, &info), 0);
    CloseHandle(handle);
    EXPECT_EQ(Ticks(info.ftLastWriteTime), Ticks(time));
    EXPECT_EQ(FindFirstFileA((deep + "/missing/*").c_str(), &data), INVALID_HANDLE_VALUE);
}

// Entries are kept per listing: a listing closed out of turn, read again, and another
// folder listed after it, must leave a listing still open as it was.
TEST_F(Layer, AListingStillOpenKeepsItsEntriesWhateverIsClosedAndListedAroundIt)
{
    MakeFolder(In("outer"));
    MakeFolder(In("other"));
    for (const char* name : {"i1", "i2", "i3"})
        MakeFile(In("outer/inner_") + name, FILETIME{1, 1});
    MakeFolder(In("outer/inner"));
    for (const char* name : {"x", "y", "z"})
        MakeFile(In("outer/inner/") + name, FILETIME{2, 2});
    for (int i = 0; i < 40; i++)
        MakeFile(In("other/o" + std::to_string(i)), FILETIME{3, 30000000});
    WIN32_FIND_DATAA data;
    HANDLE outer = FindFirstFileA(In("outer/*").c_str(), &data);
    HANDLE inner = FindFirstFileA(In("outer/inner/*").c_str(), &data);
    std::vector<std::string> seen = {data.cFileName};
    ASSERT_EQ(FindNextFileA(inner, &data), 1);
    seen.push_back(data.cFileName);
    EXPECT_NE(FindClose(outer), 0);
    std::string again = NamesAndTimes(In("outer"));
    EXPECT_NE(again.find("inner_i2@"), std::string::npos);
    EXPECT_NE(NamesAndTimes(In("other")).find("o39@"), std::string::npos);
    while (FindNextFileA(inner, &data) == 1)
        seen.push_back(data.cFileName);
    EXPECT_NE(FindClose(inner), 0);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{".", "..", "x", "y", "z"}));
}

TEST_F(Layer, AWriteThroughALinkSetsItsTargetAndLeavesTheLinkAlone)
{
    MakeFolder(In("target"));
    ASSERT_EQ(symlink("target", In("link").c_str()), 0);
    FILETIME linkTime = {7, 25000000}, wanted = {9, 31000000};
    SetTimes(In("link"), linkTime, linkTime);
    EXPECT_TRUE(SetLastWrite(In("link"), wanted));
    FILETIME lastWrite, lastAccess;
    ASSERT_TRUE(ReadTimes(In("link"), &lastWrite, &lastAccess));
    EXPECT_EQ(Ticks(lastWrite), Ticks(linkTime)) << "the link's own time";
    EXPECT_EQ(TicksAt(In("target")), Ticks(wanted));
    // The same when the link's folder has just been listed, and so is held.
    WIN32_FIND_DATAA data;
    FindClose(FindFirstFileA(In("link/*").c_str(), &data));
    EXPECT_TRUE(SetLastWrite(In("link"), linkTime));
    ASSERT_TRUE(ReadTimes(In("link"), &lastWrite, &lastAccess));
    EXPECT_EQ(Ticks(lastWrite), Ticks(linkTime));
    EXPECT_EQ(TicksAt(In("target")), Ticks(linkTime));
}

// Long names fill the listing budget with a few thousand files: such a folder is read in
// batches, every entry once, and a second listing reads it again instead of repeating it.
TEST_F(Layer, AFolderWiderThanTheBudgetIsListedWholeInBatchesAndReadAfresh)
{
    constexpr int FILES = 24000; // 24000 entries of 200-byte names: over 4 MiB
    std::string wide = In("wide");
    MakeFolder(wide);
    int folder = open(wide.c_str(), O_RDONLY | O_DIRECTORY);
    std::string stem(190, 'w');
    for (int i = 0; i < FILES; i++)
        close(openat(folder, (stem + std::to_string(i)).c_str(), O_CREAT | O_WRONLY, 0644));
    usleep(100000);
    std::set<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((wide + "/*").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    int entries = 0;
    do {
        names.insert(data.cFileName);
        entries++;
    } while (FindNextFileA(find, &data) == 1);
    EXPECT_EQ(FindNextFileA(find, &data), 0) << "the end stays the end";
    FindClose(find);
    EXPECT_EQ(entries, FILES + 2);
    EXPECT_EQ(names.size(), static_cast<size_t>(FILES + 2));
    // A new time on a file leaves the folder unchanged; only a fresh read can see it.
    timespec times[2] = {{0, UTIME_OMIT}, {1234567890, 0}};
    utimensat(folder, (stem + "7").c_str(), times, 0);
    close(folder);
    EXPECT_NE(
        NamesAndTimes(wide).find(
            stem + "7@" + std::to_string(Ticks(FileTimeFromTimespec(timespec{1234567890, 0})))),
        std::string::npos);
}

// The folders a walk is inside are held open: one renamed, or renamed and replaced by
// another of the same name, is still the one listed and written, and the new one is not.
TEST_F(Layer, AHeldFolderIsTheOneThatWasReadWhateverBecomesOfItsPath)
{
    for (bool replaced : {false, true}) {
        std::string top = In(replaced ? "replaced" : "renamed");
        MakeFolder(top);
        MakeFolder(top + "/a");
        MakeFolder(top + "/a/b");
        MakeFile(top + "/a/g", FILETIME{1, 1});
        WIN32_FIND_DATAA data;
        HANDLE outer = FindFirstFileA((top + "/a/*").c_str(), &data);
        HANDLE inner = FindFirstFileA((top + "/a/b/*").c_str(), &data);
        ASSERT_EQ(rename((top + "/a").c_str(), (top + "/moved").c_str()), 0);
        if (replaced) {
            MakeFolder(top + "/a");
            MakeFolder(top + "/a/b");
            SetTimes(top + "/a/b", FILETIME{3, 30000000}, FILETIME{3, 30000000});
        }
        FindClose(inner);
        FILETIME wanted = {5, 31000000};
        EXPECT_TRUE(SetLastWrite(top + "/a/b", wanted)) << replaced;
        EXPECT_EQ(TicksAt(top + "/moved/b"), Ticks(wanted)) << replaced;
        if (replaced) {
            EXPECT_EQ(TicksAt(top + "/a/b"), Ticks(FILETIME{3, 30000000}));
        }
        EXPECT_NE(NamesAndTimes(top + "/a").find("g@"), std::string::npos) << "still the old a";
        FindClose(outer);
    }
}
TEST_F(Layer, WritingNeedsTheRightToChangeTheFolder)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to drop to another user";
    std::string folder = In("owned");
    MakeFolder(folder);
    pid_t child = fork();
    if (child == 0) {
        // An unprivileged user may not change a folder it does not own.
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        HANDLE handle = CreateFileA(folder.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        FILETIME time = {1, 30000000};
        bool set = handle != INVALID_HANDLE_VALUE && SetFileTime(handle, nullptr, nullptr, &time);
        _exit(set ? 1 : 0);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace

namespace {

TEST_F(Layer, ASecondListingRightAfterTheFirstIsRepeatedOnlyWhileTheFolderIsUnchanged)
{
    MakeFile(In("a"), FILETIME{1, 30000000});
    usleep(100000); // older than the coarse clock's tick, so the listing may be repeated
    std::string first = NamesAndTimes(root);
    SetTimes(In("a"), FILETIME{2, 30000000}, FILETIME{2, 30000000}); // the folder is unchanged
    EXPECT_EQ(NamesAndTimes(root), first) << "repeated as read, without a second read";
    // The same folder spelt another way is another listing, read afresh.
    EXPECT_NE(NamesAndTimes(In("..") + root.substr(4)), first);
    usleep(100000);
    NamesAndTimes(root);
    MakeFile(In("b"), FILETIME{3, 30000000});
    EXPECT_NE(NamesAndTimes(root).find("b@"), std::string::npos) << "an added entry is seen";
}

// On a solid-state disk the threads stand by: a walk whose own reads never block keeps to
// one thread, and one whose reads begin to block late (a slow subtree, a cold cache past
// the first folders) starts them at the next look, mid-walk, with every listing right:
// each look counts its own reads afresh.
TEST_F(Layer, ThreadsStandingByStartOnlyOnceTheWalksOwnReadsBlock)
{
    constexpr DWORD FOLDERS = 150;
    auto folder = [&](DWORD i) { return In("d" + std::to_string(i)); };
    auto entry = [](const char* name, DWORD low) {
        return std::string(name) + "@" + std::to_string((30000000ull << 32) + low) + " ";
    };
    for (DWORD i = 0; i < FOLDERS; i++) {
        MakeFolder(folder(i));
        MakeFile(folder(i) + "/f", FILETIME{i, 30000000});
        MakeFolder(folder(i) + "/sub");
        MakeFile(folder(i) + "/sub/g", FILETIME{i + 1000, 30000000});
    }
    ASSERT_EQ(UseFileThreads(root.c_str(), 1), 1u);
    StandByThreads(4);
    for (DWORD i = 0; i < FOLDERS; i++)
        NamesAndTimes(folder(i));
    EXPECT_EQ(WorkerThreads(), 1u) << "a tree in the cache is listed on one thread";

    DWORD startedAt = 0; // the same walk goes on, its reads now blocking
    for (DWORD i = 0; i < FOLDERS; i++) {
        usleep(200); // the thread is switched out, as a read from a cold disk blocks it
        EXPECT_EQ(NamesAndTimes(folder(i)), entry("f", i));
        EXPECT_EQ(NamesAndTimes(folder(i) + "/sub"), entry("g", i + 1000));
        if (!startedAt && WorkerThreads() > 1)
            startedAt = i + 1;
    }
    EXPECT_EQ(WorkerThreads(), 4u);
    EXPECT_GE(startedAt, 1u);
    EXPECT_LE(startedAt, 32u) << "started at the first look after the reads began to block";
    UseFileThreads(root.c_str(), 1);
}

} // namespace
