// --watch over the in-memory file system, its changes scripted: what a round lists again,
// what it writes and lists with -v, and how a lost change or a watch that cannot be had
// is met.
#include "fake_shell.h"
#include "memory_fs.h"
#include "platform_config.h"
#include "program_state.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using memfs::Path;

// top/a/b/c, each with a file, beside 40 siblings of a that hold one each.
int a, b, c;

std::vector<std::string> CallsSince(const std::string& mark)
{
    std::vector<std::string> calls;
    bool after = false;
    for (const std::string& call : memfs::log()) {
        if (after)
            calls.push_back(call);
        after = after || call == mark;
    }
    return calls;
}

int Count(const std::vector<std::string>& calls, const std::string& start)
{
    int count = 0;
    for (const std::string& call : calls)
        count += call.rfind(start, 0) == 0;
    return count;
}

class Watch : public ::testing::Test {
protected:
    void SetUp() override
    {
        memfs::Reset();
        fakeshell::Reset();
        int top = memfs::AddFolder(0, "top");
        a = memfs::AddFolder(top, "a");
        b = memfs::AddFolder(a, "b");
        c = memfs::AddFolder(b, "c");
        memfs::AddFile(a, "fa", 10);
        memfs::AddFile(b, "fb", 20);
        memfs::AddFile(c, "fc", 30);
        for (int i = 0; i < 40; i++)
            memfs::AddFile(memfs::AddFolder(top, "s" + std::to_string(i)), "f", 100 + i);
    }
    void TearDown() override { memfs::SetWatchScript(nullptr); }
    int Run(std::string tail) { return RunProgram(nullptr, &(stored = tail)[0], 10); }
    std::string stored;
};

// One file written deep down: only its folder is listed again, and it and the folders above
// it are set, from the bottom up; no sibling is listed or set, and the top is not set.
TEST_F(Watch, AChangeListsItsFolderAloneAndSetsTheFoldersAboveIt)
{
    memfs::SetWatchScript([](int wait) {
        if (wait > 1)
            return false;
        memfs::log().push_back("changed");
        memfs::AddFile(c, "new", 500);
        memfs::ReportChange(Path({"top", "a", "b", "c"}), FILE_ACTION_ADDED, "new");
        return true;
    });
    EXPECT_EQ(Run("-a -s --watch --settle=0 top"), 0);
    std::vector<std::string> round = CallsSince("changed");
    EXPECT_EQ(Count(round, "list "), 2) << "c's two passes, nothing else";
    EXPECT_EQ(Count(round, "list " + Path({"top", "a", "b", "c", "*"})), 2);
    std::vector<std::string> sets;
    for (const std::string& call : round)
        if (call.rfind("set ", 0) == 0)
            sets.push_back(call);
    EXPECT_EQ(sets, (std::vector<std::string>{"set " + Path({"top", "a", "b", "c"}) + " 500",
                                              "set " + Path({"top", "a", "b"}) + " 500",
                                              "set " + Path({"top", "a"}) + " 500"}));
    EXPECT_EQ(memfs::TimeOf(a), 500u);
    EXPECT_EQ(memfs::Watched().size(), 0u) << "every watch is given back at the end";
}

// A folder removed and another made under its name is walked whole, and its old records
// and watches go; a folder's own time changing (the program's write) starts nothing.
TEST_F(Watch, AFolderReplacedIsWalkedWholeAndItsOwnTimeIsNoChange)
{
    memfs::SetWatchScript([](int wait) {
        if (wait == 1) {
            memfs::log().push_back("changed");
            memfs::ReportChange(Path({"top", "a"}), FILE_ACTION_MODIFIED, "b");
            return true;
        }
        if (wait == 2) {
            memfs::log().push_back("replaced");
            memfs::RemoveEntry(a, "b");
            int again = memfs::AddFolder(a, "b");
            memfs::AddFile(memfs::AddFolder(again, "d"), "fd", 700);
            memfs::ReportChange(Path({"top", "a"}), FILE_ACTION_REMOVED, "b");
            memfs::ReportChange(Path({"top", "a"}), FILE_ACTION_ADDED, "b");
            return true;
        }
        return false;
    });
    EXPECT_EQ(Run("-a -s --watch --settle=0 top"), 0);
    std::vector<std::string> own = CallsSince("changed");
    own.resize(static_cast<size_t>(std::find(own.begin(), own.end(), "replaced") - own.begin()));
    EXPECT_EQ(Count(own, "list "), 0) << "b's own time is what the program writes";
    std::vector<std::string> round = CallsSince("replaced");
    auto has = [&](const std::string& call) {
        return std::count(round.begin(), round.end(), call);
    };
    EXPECT_EQ(has("unwatch " + Path({"top", "a", "b"})), 1) << "the old b's watch goes";
    EXPECT_EQ(has("unwatch " + Path({"top", "a", "b", "c"})), 1) << "and all below it";
    EXPECT_EQ(has("watch " + Path({"top", "a", "b"})), 1) << "the new b is watched";
    EXPECT_EQ(has("watch " + Path({"top", "a", "b", "d"})), 1) << "and walked whole";
    EXPECT_EQ(memfs::TimeOf(a), 700u);
}

// Changes lost: said once, and every folder walked again, writing only what differs.
TEST_F(Watch, LostChangesAreSaidAndTheWholeTreeIsWalkedAgain)
{
    memfs::SetWatchScript([](int wait) {
        if (wait > 1)
            return false;
        memfs::log().push_back("lost");
        memfs::AddFile(c, "missed", 900);
        memfs::LoseChanges();
        return true;
    });
    EXPECT_EQ(Run("-a --watch top"), 0);
    EXPECT_NE(fakeshell::errors().find("changes were lost"), std::string::npos);
    EXPECT_EQ(Count(CallsSince("lost"), "list "), 2 * 44) << "the top and its 43 folders";
    EXPECT_EQ(memfs::TimeOf(a), 900u);
    EXPECT_NE(fakeshell::output().find("Folder dates changed: 3 out of 43"), std::string::npos)
        << fakeshell::output();
}

// A watch that cannot be had for every folder: said, with the folders the tree needs, and
// the tree walked on --every's schedule instead.
TEST_F(Watch, AWatchThatCannotBeHadFallsBackToRounds)
{
    memfs::SetWatchScript([](int) { return false; });
    memfs::FailWatchAfter(5);
    memfs::StopAfterRounds(1);
    EXPECT_EQ(Run("-a -s --watch --every=60 top"), 0);
    EXPECT_NE(fakeshell::errors().find("the tree needs 44: walking it whole every 60 seconds"),
              std::string::npos)
        << fakeshell::errors();
}

} // namespace
