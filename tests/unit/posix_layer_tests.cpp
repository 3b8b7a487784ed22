// What only the POSIX layer has to get right: links reported as Windows reports them,
// exact time conversion, odd names, and listings that survive deep and out-of-order use.
#include "file_time.h"
#include "scratch.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
    for (uint64_t ticks :
         {0ull, 1ull, 116444735999999999ull, 157469184000000003ull, 0xFFFFFFFFFFFFFFFFull / 2}) {
        FILETIME time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        EXPECT_EQ(Ticks(FileTimeFromTimespec(TimespecFromFileTime(time))), ticks);
    }
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

TEST_F(Layer, PathsLongerThanTheSystemTakesFailCleanly)
{
    std::string deep = root;
    while (deep.size() < PATH_MAX + 100)
        deep += "/" + std::string(200, 'd');
    WIN32_FIND_DATAA data;
    EXPECT_EQ(FindFirstFileA((deep + "/*").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileA(deep.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
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

} // namespace
