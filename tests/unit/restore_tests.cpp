// The restore against the in-memory file system: what it reads back of the lists the walk
// writes, which folders it sets, and what it leaves alone and says so.
#include "fake_shell.h"
#include "folder_walk.h"
#include "memory_fs.h"
#include "platform_config.h"
#include "program_state.h"
#include "restore_list.h"
#include "walk_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

using memfs::Path;

namespace {

std::string Iso(ExactTime time)
{
    char text[ISO_TIME_SIZE];
    FormatIsoTime(time, text);
    return text;
}

TEST(ListTimes, ReadBackExactlyWhatTheListsWrite)
{
    // Around 1601, before it, leap days, the fractions the platform keeps, far years.
    const ExactTime times[] = {{0, 0},
                               {-1, 999999900},
                               {-11644473600 - 86400 * 400, 100},
                               {12622780800, 0},
                               {12591158400 + 86399, 123456700},
                               {13207572000, 999999900},
                               {922337203685, 477580700},
                               {-62135596800 - 86400, 0}};
    for (ExactTime time : times) {
        std::string text = Iso(time);
        ExactTime read = {7, 7};
        ASSERT_TRUE(ParseIsoTime(text.data(), text.size(), &read)) << text;
        EXPECT_EQ(read.seconds, time.seconds) << text;
        EXPECT_EQ(read.nanoseconds, time.nanoseconds) << text;
    }
    ExactTime read;
    const std::string older = "2019-07-14T10:00:00Z"; // lists of earlier versions, to the second
    ASSERT_TRUE(ParseIsoTime(older.data(), older.size(), &read));
    EXPECT_EQ(Iso(read).substr(0, 19), "2019-07-14T10:00:00");
    for (const char* bad :
         {"2019-02-29T00:00:00Z", "2019-13-01T00:00:00Z", "2019-07-14T24:00:00Z",
          "2019-07-14T10:00:00", "2019-07-14 10:00:00Z", "19-07-14T10:00:00Z",
          "2019-07-14T10:00:00.Z", "2019-07-14T10:00:00.1234567890Z", "2019-07-14T10:00:60Z",
          "2019-7-14T10:00:00Z", "unknown", "", "2019-07-14T10:00:00Zx"})
        EXPECT_FALSE(ParseIsoTime(bad, strlen(bad), &read)) << bad;
    const char* leap = "2000-02-29T00:00:00Z";
    EXPECT_TRUE(ParseIsoTime(leap, strlen(leap), &read));
}

TEST(ListPaths, EveryByteComesBackFromItsEscape)
{
    std::string every;
    for (int c = 1; c < 256; c++)
        every += static_cast<char>(c);
    std::string escaped(4 * every.size(), '\0');
    escaped.resize(EscapePath(every.data(), every.size(), &escaped[0]));
    if (ESCAPES_PATHS) {
        EXPECT_EQ(escaped.find_first_of("\t\n\r"), std::string::npos) << "one line, three fields";
        EXPECT_NE(escaped.find("\\\\"), std::string::npos);
    }
    std::string back = escaped;
    ASSERT_TRUE(UnescapePath(&back[0]));
    back.resize(strlen(back.c_str()));
    EXPECT_EQ(back, every);
    if (ESCAPES_PATHS) {
        for (const char* bad : {"a\\", "a\\q", "a\\x4", "a\\xZZ", "\\x"}) {
            std::string text = bad;
            EXPECT_FALSE(UnescapePath(&text[0])) << bad;
        }
    }
}

class Restore : public ::testing::Test {
protected:
    void SetUp() override
    {
        memfs::Reset();
        fakeshell::Reset();
        ResetProgramState();
        int top = memfs::AddFolder(0, "top", 5);
        a = memfs::AddFolder(top, "a", 100);
        memfs::AddFile(a, "f", 700);
        b = memfs::AddFolder(a, "b", 200);
        memfs::AddFile(b, "g", 600);
    }
    // A real run with -v, its list kept as a file would keep it, summary line and all.
    std::string RunAndKeepTheList()
    {
        programState.verbose = 1;
        RunFolderWalk("top");
        std::string list = fakeshell::output() + "Folder dates changed: 2 out of 2" + LINE_END;
        fakeshell::Reset();
        ResetProgramState();
        return list;
    }
    void RestoreFrom(const std::string& list)
    {
        memfs::SetFileText("list", list);
        memfs::log().clear();
        RunRestore("list");
    }
    int a = 0, b = 0;
};

TEST_F(Restore, PutsBackEveryOldTimeAndCanItselfBeTakenBack)
{
    std::string list = RunAndKeepTheList();
    ASSERT_EQ(memfs::TimeOf(a), 700u);
    programState.verbose = 1;
    RestoreFrom(list);
    EXPECT_EQ(memfs::TimeOf(a), 100u);
    EXPECT_EQ(memfs::TimeOf(b), 200u);
    EXPECT_EQ(programState.changedCount, 2);
    EXPECT_EQ(programState.visitedCount, 2) << "the summary line is no folder";
    EXPECT_EQ(programState.failureCount, 0);
    EXPECT_EQ(programState.latestWalk, WALK_RESTORE);
    // Its own list restores the run again.
    std::string again = fakeshell::output();
    ResetProgramState();
    RestoreFrom(again);
    EXPECT_EQ(memfs::TimeOf(a), 700u);
    EXPECT_EQ(memfs::TimeOf(b), 600u);
}

// A run with --created keeps each folder's old creation time as a fourth field of its list,
// and its restore puts both times back.
TEST_F(Restore, AListKeptWithCreatedPutsBackTheCreationTimesToo)
{
    memfs::SetCreated(a, 50);
    memfs::SetCreated(b, 60);
    programState.setCreated = 1;
    std::string list = RunAndKeepTheList();
    ASSERT_EQ(memfs::CreatedOf(a), 700u) << "set to its new time, as the last-write time";
    ASSERT_EQ(memfs::CreatedOf(b), 600u);
    RestoreFrom(list);
    EXPECT_EQ(memfs::TimeOf(a), 100u);
    EXPECT_EQ(memfs::CreatedOf(a), 50u);
    EXPECT_EQ(memfs::CreatedOf(b), 60u);
    EXPECT_EQ(programState.changedCount, 2);
}

// A write that fails behind the restore is reported and not counted as restored, as one
// that fails at its call is; the other folder is restored all the same.
TEST_F(Restore, AWriteThatFailsBehindItsCallIsNotCountedAsRestored)
{
    std::string list = RunAndKeepTheList();
    for (bool late : {false, true}) {
        memfs::faults().setTimeFails = {Path({"top", "a", "b"})};
        memfs::faults().lateWriteFailures = late;
        ResetProgramState();
        fakeshell::Reset();
        RestoreFrom(list);
        EXPECT_EQ(memfs::TimeOf(a), 100u) << late;
        EXPECT_EQ(memfs::TimeOf(b), 600u) << late;
        EXPECT_EQ(programState.changedCount, 1) << late;
        EXPECT_EQ(programState.failureCount, 1) << late;
        EXPECT_NE(fakeshell::errors().find("cannot set '" + Path({"top", "a", "b"})),
                  std::string::npos)
            << fakeshell::errors();
        memfs::faults().setTimeFails.clear();
        ResetProgramState();
        RunFolderWalk("top"); // back to the walk's times for the next round
    }
}

TEST_F(Restore, AFolderMovedOnSinceOrGoneOrOfUnknownTimeIsLeftAloneAndReported)
{
    std::string list = RunAndKeepTheList();
    memfs::AddFile(b, "later", 900);
    RunFolderWalk("top"); // b and a move on to 900
    memfs::SetExtraNanoseconds(a, 1);
    ResetProgramState();
    const std::string t = "\t";
    list += "unknown" + t + Iso(ExactFromFileTime(memfs::MakeTime(900))) + t +
            Path({"top", "a", "b"}) + LINE_END + Iso({0, 0}) + t + Iso({0, 0}) + t + "gone" +
            LINE_END;
    RestoreFrom(list);
    EXPECT_EQ(memfs::TimeOf(a), 900u);
    EXPECT_EQ(memfs::TimeOf(b), 900u);
    EXPECT_EQ(programState.changedCount, 0);
    EXPECT_EQ(programState.visitedCount, 4);
    EXPECT_EQ(programState.failureCount, 4);
    const std::string& errors = fakeshell::errors();
    EXPECT_NE(errors.find("cannot restore 'gone'"), std::string::npos) << errors;
    EXPECT_NE(errors.find("the list does not know its old time"), std::string::npos) << errors;
    EXPECT_NE(errors.find("cannot restore '" + Path({"top", "a"}) + "': its time has changed"),
              std::string::npos)
        << "a differs from its new time only below 100 ns";
    for (const std::string& call : memfs::log())
        EXPECT_NE(call.rfind("set ", 0), 0u) << call;
}

TEST_F(Restore, ALineThatCannotBeReadStopsEverythingBeforeAnyWrite)
{
    std::string list = RunAndKeepTheList();
    // The list holds two lines and the summary: a fourth line, or a first one, is damaged.
    const std::string t = "\t", when = "2001-01-01T00:00:00Z";
    const std::pair<std::string, int> cases[] = {
        {list + when + t + "top" + LINE_END, 4},
        {list + "just words" + LINE_END, 4},
        {when + t + when + t + (ESCAPES_PATHS ? "bad\\q" : "") + LINE_END + list, 1},
    };
    for (const auto& damaged : cases) {
        ResetProgramState();
        fakeshell::Reset();
        RestoreFrom(damaged.first);
        EXPECT_EQ(memfs::TimeOf(a), 700u) << damaged.first;
        EXPECT_EQ(programState.failureCount, 1) << damaged.first;
        EXPECT_NE(fakeshell::errors().find("': line " + std::to_string(damaged.second) + " is not"),
                  std::string::npos)
            << fakeshell::errors();
    }
}

TEST_F(Restore, AFolderAlreadyAtItsOldTimeIsNothingToDo)
{
    // b could not be set: its line went out before the write, which then failed.
    memfs::faults().setTimeFails.insert(Path({"top", "a", "b"}));
    std::string list = RunAndKeepTheList();
    memfs::faults().setTimeFails.clear();
    ASSERT_EQ(memfs::TimeOf(b), 200u);
    RestoreFrom(list);
    EXPECT_EQ(memfs::TimeOf(a), 100u);
    EXPECT_EQ(programState.changedCount, 1) << "only a was restored";
    EXPECT_EQ(programState.failureCount, 0) << fakeshell::errors();
    // Restoring again finds every folder at its old time: nothing to do, nothing wrong.
    ResetProgramState();
    fakeshell::Reset();
    RestoreFrom(list);
    EXPECT_EQ(programState.changedCount, 0);
    EXPECT_EQ(programState.visitedCount, 2);
    EXPECT_EQ(programState.failureCount, 0);
    EXPECT_EQ(fakeshell::errors(), "");
    for (const std::string& call : memfs::log())
        EXPECT_NE(call.rfind("set ", 0), 0u) << call;
}

TEST_F(Restore, ListsOfTwoRunsOneAfterTheOtherGoBackToTheFirstRunsTimes)
{
    std::string first = RunAndKeepTheList(); // a: 100 -> 700, b: 200 -> 600
    memfs::AddFile(b, "later", 900);
    std::string second = RunAndKeepTheList(); // a: 700 -> 900, b: 600 -> 900
    ASSERT_EQ(memfs::TimeOf(a), 900u);
    RestoreFrom(first + second); // as `>>` keeps them
    EXPECT_EQ(memfs::TimeOf(a), 100u);
    EXPECT_EQ(memfs::TimeOf(b), 200u);
    EXPECT_EQ(programState.changedCount, 4);
    EXPECT_EQ(programState.failureCount, 0) << fakeshell::errors();
}

TEST_F(Restore, AnEmptyPathOrADayThatIsNoDayStopsEverythingNamedByItsLine)
{
    std::string list = RunAndKeepTheList();
    const std::string t = "\t", when = "2001-01-01T00:00:00Z";
    const std::string damaged[] = {
        when + t + when + t + LINE_END,
        "2001-01-00T00:00:00Z" + t + when + t + "top" + LINE_END,
        when + t + "2001-02-30T00:00:00Z" + t + "top" + LINE_END,
    };
    for (const std::string& line : damaged) {
        ResetProgramState();
        fakeshell::Reset();
        RestoreFrom(list + line);
        EXPECT_EQ(memfs::TimeOf(a), 700u) << line;
        EXPECT_EQ(programState.changedCount, 0) << line;
        EXPECT_NE(fakeshell::errors().find("': line 4 is not"), std::string::npos)
            << line << fakeshell::errors();
    }
}

TEST_F(Restore, ADryRunShowsWhatWouldBeRestoredAndWritesNothing)
{
    std::string list = RunAndKeepTheList();
    programState.dryRun = 1;
    programState.verbose = 1;
    RestoreFrom(list);
    EXPECT_EQ(programState.changedCount, 2);
    EXPECT_EQ(programState.latestWalk, WALK_RESTORE_DRY);
    EXPECT_EQ(memfs::TimeOf(a), 700u);
    EXPECT_EQ(std::count(fakeshell::output().begin(), fakeshell::output().end(), '\n'), 2);
    for (const std::string& call : memfs::log())
        EXPECT_NE(call.rfind("open ", 0), 0u) << call;
}

TEST_F(Restore, AListThatCannotBeReadIsAFailureNamedInTheSummary)
{
    RunRestore("nowhere");
    EXPECT_EQ(programState.failureCount, 1);
    EXPECT_TRUE(programState.topUnlisted);
    EXPECT_NE(fakeshell::errors().find("cannot read 'nowhere'"), std::string::npos);
}

} // namespace
