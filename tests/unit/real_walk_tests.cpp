// The walk over the POSIX layer on real trees, with folders moved under it at a chosen
// moment: a folder the walk is inside, renamed or replaced, is the one written, and the
// folder that takes its path is never touched, with descriptors to spare and without.
#include "file_time.h"
#include "folder_walk.h"
#include "program_state.h"
#include "scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr FILETIME NEWEST = {0x12345677, 30000000};
constexpr FILETIME OLD = {0, 29000000};

uint64_t Ticks(FILETIME time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

uint64_t TicksOf(const std::string& path)
{
    struct stat found = {};
    stat(path.c_str(), &found);
    return Ticks(FileTimeFromTimespec(found.st_mtim));
}

std::string Chain(const std::string& from, int levels)
{
    std::string path = from;
    for (int i = 0; i < levels; i++)
        path += "/d";
    return path;
}

// A chain of `levels` folders below top, every folder OLD, one file NEWEST at the bottom.
std::string MakeTree(int levels)
{
    std::string top = MakeScratchFolder() + "/top";
    MakeFolder(top);
    for (int i = 1; i <= levels; i++)
        MakeFolder(Chain(top, i));
    MakeFile(Chain(top, levels) + "/f", NEWEST);
    for (int i = 1; i <= levels; i++)
        SetTimes(Chain(top, i), OLD, OLD);
    return top;
}

// What to do once the walk has reached `when`: move `what` to `to`, and in the replacing
// case make a chain as deep as the moved one at its old path.
std::string when, what, to;
int replacementLevels;

void MoveWhenReached(const char* folder)
{
    if (when.empty() || when + "/" != folder)
        return;
    when.clear();
    ASSERT_EQ(rename(what.c_str(), to.c_str()), 0);
    if (replacementLevels > 0) {
        MakeFolder(what);
        for (int i = 0; i < replacementLevels; i++)
            MakeFolder(Chain(what, i + 1));
        for (int i = 0; i <= replacementLevels; i++)
            SetTimes(Chain(what, i), OLD, OLD);
    }
}

void Walk(const std::string& top)
{
    ResetProgramState();
    walkProgress = MoveWhenReached;
    RunFolderWalk(top.c_str());
    walkProgress = nullptr;
}

// Runs the walk in a child process that may open only `limit` descriptors.
void WalkWithDescriptorLimit(const std::string& top, rlim_t limit)
{
    pid_t child = fork();
    if (child == 0) {
        rlimit tight = {limit, limit};
        if (setrlimit(RLIMIT_NOFILE, &tight) != 0)
            _exit(2);
        Walk(top);
        _exit(programState.visitedCount > 0 ? 0 : 3);
    }
    int status = -1;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(RealWalk, AFolderRenamedOrReplacedWhileTheWalkIsInsideItIsTheOneSet)
{
    for (int replaced : {0, 1}) {
        std::string top = MakeTree(3);
        when = Chain(top, 3), what = Chain(top, 1), to = top + "/moved";
        replacementLevels = replaced ? 2 : 0;
        Walk(top);
        EXPECT_EQ(programState.changedCount, 3) << replaced;
        EXPECT_EQ(programState.visitedCount, 3) << replaced;
        for (const std::string& folder : {to, to + "/d", to + "/d/d"})
            EXPECT_EQ(TicksOf(folder), Ticks(NEWEST)) << folder;
        for (int i = 1; replaced && i <= 3; i++)
            EXPECT_EQ(TicksOf(Chain(top, i)), Ticks(OLD)) << "the replacement is not touched";
    }
}

// With few descriptors the walk lets go of folders far up the chain and looks them up by
// their paths again on the way back: every folder is still set. When a folder it let go
// of has been replaced meanwhile, nothing of the replacement is written, and what it can
// no longer reach keeps its time rather than getting a wrong one.
TEST(RealWalk, FewDescriptorsStillSetEveryFolderAndNeverOneThatWasNotRead)
{
    std::string top = MakeTree(60);
    WalkWithDescriptorLimit(top, 24);
    for (int i = 1; i <= 60; i++)
        ASSERT_EQ(TicksOf(Chain(top, i)), Ticks(NEWEST)) << i;

    top = MakeTree(60);
    when = Chain(top, 60), what = Chain(top, 10), to = top + "/moved";
    replacementLevels = 50;
    WalkWithDescriptorLimit(top, 24);
    for (int i = 1; i < 10; i++)
        EXPECT_EQ(TicksOf(Chain(top, i)), Ticks(NEWEST)) << "above the move: " << i;
    for (int i = 10; i <= 60; i++)
        EXPECT_EQ(TicksOf(Chain(top, i)), Ticks(OLD)) << "the replacement: " << i;
    int set = 0;
    for (int i = 0; i <= 50; i++) {
        uint64_t found = TicksOf(Chain(to, i));
        EXPECT_TRUE(found == Ticks(NEWEST) || found == Ticks(OLD)) << i;
        set += found == Ticks(NEWEST);
    }
    EXPECT_GT(set, 0) << "the folders still held are set";
}

// The same folder named twice in one run: replaced while the first walk is inside it, the
// second walk sees the new folder, not the one held from the first.
TEST(RealWalk, AFolderReplacedBetweenTwoWalksIsSeenAfreshByTheSecond)
{
    std::string top = MakeTree(3);
    when = Chain(top, 2), what = top, to = top + ".old";
    replacementLevels = 5;
    Walk(top);
    EXPECT_EQ(programState.visitedCount, 3) << "the first walk ends in the folder it began";
    EXPECT_EQ(TicksOf(to + "/d"), Ticks(NEWEST));
    constexpr FILETIME NEWER = {0x777, 30000001};
    MakeFile(Chain(top, 5) + "/g", NEWER);
    Walk(top);
    EXPECT_EQ(programState.visitedCount, 5) << "the second walk is of the new folder";
    EXPECT_EQ(programState.changedCount, 5);
    for (int i = 1; i <= 5; i++)
        EXPECT_EQ(TicksOf(Chain(top, i)), Ticks(NEWER)) << i;
    EXPECT_EQ(TicksOf(to + "/d"), Ticks(NEWEST)) << "the old one is left as the first walk set it";
}

size_t OpenDescriptors()
{
    size_t count = 0;
    for (int fd = 0; fd < 65536; fd++)
        count += fcntl(fd, F_GETFD) != -1;
    return count;
}

size_t mostOpen;
size_t deepest;

void CountAtTheBottom(const char* folder)
{
    if (folder && strlen(folder) >= deepest)
        mostOpen = OpenDescriptors();
}

// However high the process's limit, the layer holds at most 4096 folders open.
TEST(RealWalk, NeverMoreThan4096FolderDescriptorsWhateverTheLimit)
{
    std::string top = MakeScratchFolder() + "/chain";
    MakeFolder(top);
    int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < 5000; level++) {
        ASSERT_EQ(mkdirat(fd, "d", 0755), 0);
        int below = openat(fd, "d", O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = below;
    }
    close(openat(fd, "f", O_CREAT | O_WRONLY, 0644));
    close(fd);
    pid_t child = fork();
    if (child == 0) {
        rlimit wide = {20000, 20000};
        if (setrlimit(RLIMIT_NOFILE, &wide) != 0)
            _exit(77); // no room to raise it here
        deepest = top.size() + 2 * 5000;
        walkProgress = CountAtTheBottom;
        size_t before = OpenDescriptors();
        RunFolderWalk(top.c_str());
        _exit(mostOpen > 0 && mostOpen - before <= 4096 + 2 ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "the descriptor limit cannot be raised here";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

} // namespace
