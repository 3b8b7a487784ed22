// The choices a run can make, against the in-memory file system: which folders are set and
// counted under --only-earlier and --only-later, --exclude, --ignore-future, --top and
// --no-links; and the pattern matcher behind --exclude.
#include "fake_shell.h"
#include "folder_walk.h"
#include "memory_fs.h"
#include "name_patterns.h"
#include "platform_config.h"
#include "program_state.h"
#include "restore_list.h"
#include "run_program.h"
#include "time_grain.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Patterns, StarsAndQuestionMarksInEveryPlace)
{
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    };
    const Case cases[] = {
        {"*.xmp", "a.xmp", true},
        {"*.xmp", ".xmp", true},
        {"*.xmp", "a.xmp.jpg", false},
        {"*.xmp", "axmp", false},
        {"a*", "a", true},
        {"a*", "ba", false},
        {"*a*", "bab", true},
        {"*a*", "bbb", false},
        {"a*b*c", "aXbYc", true},
        {"a*b*c", "aXbYcZ", false},
        {"a*b*c", "abbbc", true},
        {"?", "a", true},
        {"?", "", false},
        {"?", "ab", false},
        {"??.*", "ab.c", true},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"*", "", true},
        {"*", "anything.at.all", true},
        {"", "", true},
        {"", "a", false},
        {"**", "x", true},
        {"*?", "", false},
        {"*?", "x", true},
        {"a.b", "a.b", true},
        {"a.b", "axb", false},
        {"*.*", "noext", false},
        {".*", ".hidden", true},
        {".*", "visible", false},
        {"?.jpg", "\xC3\xA9.jpg", true},
        {"???", "\xF0\x9F\x98\x80", false},
        {"*\xC3\xA9", "caf\xC3\xA9", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchesPattern(c.pattern, c.name, false), c.matches)
            << "'" << c.pattern << "' against '" << c.name << "'";
    // Case: any ASCII case where the platform finds names in any case, else exact bytes.
    EXPECT_TRUE(MatchesPattern("*.XMP", "photo.xmp", true));
    EXPECT_TRUE(MatchesPattern("Thumbs.*", "THUMBS.DB", true));
    EXPECT_FALSE(MatchesPattern("*.XMP", "photo.xmp", false));
    // A long name against many stars ends (one step back to the latest star, never more).
    std::string name(5000, 'a');
    EXPECT_FALSE(MatchesPattern("*a*a*a*a*a*a*a*a*b", name.c_str(), false));
}

class Choices : public ::testing::Test {
protected:
    void SetUp() override
    {
        memfs::Reset();
        fakeshell::Reset();
        ResetProgramState();
        top = memfs::AddFolder(0, "top", 5);
        early = memfs::AddFolder(top, "early", 900); // a file older than the folder
        memfs::AddFile(early, "f", 300);
        late = memfs::AddFolder(top, "late", 100); // a file newer than the folder
        memfs::AddFile(late, "g", 700);
    }
    // Two levels below `early`, a photo and one from a camera whose clock was never set.
    int AddCameraFiles()
    {
        int deep = memfs::AddFolder(memfs::AddFolder(early, "a", 1), "b", 1);
        memfs::AddFile(deep, "broken.jpg", 250000000000000000ull); // the year 2393
        memfs::AddFile(deep, "fine.jpg", 200);
        return deep;
    }
    int top = 0, early = 0, late = 0;
};

TEST_F(Choices, OnlyEarlierOrOnlyLaterMoveEachFolderOneWayAndCountWhatTheyMove)
{
    programState.onlyEarlier = 1;
    RunFolderWalk("top");
    EXPECT_EQ(memfs::TimeOf(early), 300u);
    EXPECT_EQ(memfs::TimeOf(late), 100u) << "its new time is later: left alone";
    EXPECT_EQ(programState.changedCount, 1);
    EXPECT_EQ(programState.visitedCount, 2);
    SetUp();
    programState.onlyLater = 1;
    programState.verbose = 1;
    RunFolderWalk("top");
    EXPECT_EQ(memfs::TimeOf(early), 900u);
    EXPECT_EQ(memfs::TimeOf(late), 700u);
    EXPECT_EQ(programState.changedCount, 1);
    EXPECT_EQ(fakeshell::output().find("early"), std::string::npos) << "only what moved is listed";
    // The dry run counts what the real run would set, no more.
    SetUp();
    programState.onlyLater = 1;
    programState.dryRun = 1;
    RunFolderWalk("top");
    EXPECT_EQ(programState.changedCount, 1);
    EXPECT_EQ(memfs::TimeOf(late), 100u);
}

// A write that fails behind the walk is reported and counted before the summary, and no
// longer counts as set: the summary is the one a failure at its call gives.
TEST_F(Choices, WritesThatFailBehindTheWalkAreReportedAndCountedBeforeTheSummary)
{
    std::string path = memfs::Path({"top", "late"});
    for (bool late : {false, true}) {
        SetUp();
        memfs::faults().setTimeFails.insert(path);
        memfs::faults().lateWriteFailures = late;
        programState.verbose = 1;
        RunFolderWalk("top");
        EXPECT_EQ(programState.changedCount, 1) << late;
        EXPECT_EQ(programState.visitedCount, 2) << late;
        EXPECT_EQ(programState.latestFailures, 1) << late;
        EXPECT_NE(fakeshell::errors().find("cannot set"), std::string::npos) << late;
        EXPECT_NE(fakeshell::errors().find(path), std::string::npos) << late;
        EXPECT_NE(fakeshell::output().find(path), std::string::npos) << "listed before its write";
    }
}

TEST_F(Choices, ExcludedNamesAreNoFilesAndExcludedFoldersAreNoPartOfTheTree)
{
    memfs::AddFile(early, "f.xmp", 990); // a sidecar rewritten long after the photo
    int cache = memfs::AddFolder(late, "cache", 1);
    memfs::AddFile(cache, "c", 995);
    const char* patterns[] = {"*.xmp", "cach?"};
    programState.excludePatterns = patterns;
    programState.excludeCount = 2;
    RunFolderWalk("top");
    EXPECT_EQ(memfs::TimeOf(early), 300u) << "the sidecar counts as no file";
    EXPECT_EQ(memfs::TimeOf(late), 700u) << "the excluded folder's file does not count";
    EXPECT_EQ(memfs::TimeOf(cache), 1u) << "nor is it set";
    EXPECT_EQ(programState.visitedCount, 2) << "nor counted";
}

TEST_F(Choices, AFileInTheFutureIsNamedAndWithIgnoreFutureCountsAsNoFile)
{
    AddCameraFiles();
    RunFolderWalk("top");
    EXPECT_EQ(memfs::TimeOf(early), 250000000000000000ull) << "without the option it counts";
    EXPECT_EQ(programState.futureCount, 1);
    EXPECT_NE(fakeshell::errors().find("broken.jpg' is dated 2393-"), std::string::npos)
        << fakeshell::errors();
    EXPECT_NE(fakeshell::errors().find(", in the future"), std::string::npos);
    EXPECT_EQ(programState.failureCount, 0) << "it is no failure";
    SetUp();
    int deep = AddCameraFiles();
    // A camera still on another time zone's clock is a day's grace away from the future.
    constexpr uint64_t NOW = 197232192000000000ull, HOUR = 36000000000ull;
    int abroad = memfs::AddFolder(early, "abroad", 1);
    memfs::AddFile(abroad, "an-hour-ahead.jpg", NOW + HOUR);
    programState.ignoreFuture = 1;
    RunFolderWalk("top");
    EXPECT_EQ(memfs::TimeOf(deep), 200u);
    EXPECT_EQ(memfs::TimeOf(abroad), NOW + HOUR) << "an hour ahead is not the future";
    EXPECT_EQ(programState.futureCount, 1) << "the year 2393 still named, the hour not";
    EXPECT_EQ(fakeshell::errors().find("an-hour-ahead"), std::string::npos);
}

TEST_F(Choices, TopSetsTheNamedFolderLastAndCountsIt)
{
    // --top holds for the whole run, wherever it stands: after the folder too.
    std::string line = "-a top --top";
    RunProgram(nullptr, &line[0], 10);
    EXPECT_EQ(memfs::TimeOf(top), 700u) << "set, though --top came after it";
    SetUp();
    programState.setTop = 1;
    programState.verbose = 1;
    RunFolderWalk("top");
    EXPECT_EQ(memfs::TimeOf(top), 700u);
    EXPECT_EQ(programState.changedCount, 3);
    EXPECT_EQ(programState.visitedCount, 3);
    const std::string& list = fakeshell::output();
    EXPECT_EQ(list.rfind("\ttop" + std::string(LINE_END)), list.size() - 4 - strlen(LINE_END))
        << "the top's line comes last:\n"
        << list;
    // A top holding no file keeps its time.
    SetUp();
    programState.setTop = 1;
    int empty = memfs::AddFolder(0, "empty", 5);
    memfs::AddFolder(empty, "sub", 5);
    RunFolderWalk("empty");
    EXPECT_EQ(memfs::TimeOf(empty), 5u);
}

TEST_F(Choices, NoLinksEntersNoLinkToAFolderButCountsLinksToFiles)
{
    int outside = memfs::AddFolder(0, "outside", 5);
    int inner = memfs::AddFolder(outside, "inner", 5);
    memfs::AddFile(inner, "new", 999);
    memfs::AddLink(late, "out", outside);
    int file = memfs::AddFile(outside, "x", 800);
    int onlyLink = memfs::AddFolder(top, "only-a-link", 5);
    memfs::AddLink(onlyLink, "file-link", file);
    programState.noLinks = 1;
    RunFolderWalk("top");
    EXPECT_EQ(memfs::TimeOf(late), 700u) << "the link out is not followed";
    EXPECT_EQ(memfs::TimeOf(inner), 5u) << "nothing outside is written";
    EXPECT_EQ(memfs::TimeOf(onlyLink), 7u) << "a link to a file is a file, of its own time";
    EXPECT_EQ(programState.visitedCount, 3) << "the link to a folder counts as nothing";
    for (const std::string& call : memfs::log())
        EXPECT_EQ(call.find("out" + std::string(1, PATH_SEPARATOR)), std::string::npos) << call;
}

// With --changes-only a folder already at its new time is neither written nor counted: a
// second run over an unchanged tree writes nothing; the others are as without it.
TEST_F(Choices, ChangesOnlyWritesAndCountsOnlyTheFoldersThatDiffer)
{
    programState.changesOnly = 1;
    RunFolderWalk("top");
    EXPECT_EQ(programState.changedCount, 2);
    EXPECT_EQ(memfs::TimeOf(early), 300u);
    memfs::log().clear();
    RunFolderWalk("top");
    EXPECT_EQ(programState.changedCount, 0) << "0 out of 2";
    EXPECT_EQ(programState.visitedCount, 2);
    for (const std::string& call : memfs::log())
        EXPECT_NE(call.rfind("set ", 0), 0u) << call;
    programState.changesOnly = 0;
    RunFolderWalk("top");
    EXPECT_EQ(programState.changedCount, 2) << "without it, every folder with a file is written";
}

// On a file system that keeps folder times to the second, a folder already at its new time
// as kept there is not written again, run after run; the first folder that truly changes
// teaches the grain, and one that only looked kept is then written if it is not.
TEST_F(Choices, ChangesOnlyLearnsHowCoarselyFolderTimesAreKept)
{
    constexpr uint64_t SECOND = 10000000;
    programState.changesOnly = 1;
    memfs::faults().folderTimeGrain = SECOND;
    int deep = memfs::AddFolder(early, "deep", 1);
    memfs::AddFile(deep, "f", 50 * SECOND + 1234567);
    RunFolderWalk("top");
    EXPECT_EQ(memfs::TimeOf(deep), 50 * SECOND) << "kept to the second";
    memfs::log().clear();
    RunFolderWalk("top");
    EXPECT_EQ(programState.changedCount, 0) << "nothing to write again";
    for (const std::string& call : memfs::log())
        EXPECT_NE(call.rfind("set ", 0), 0u) << call;
    // A fine file system where one folder sits at its time cut to the second and another
    // truly differs: the write of the second shows the grain is 100 ns, and the first is
    // written too.
    memfs::faults().folderTimeGrain = 1;
    memfs::AddFile(late, "newer", 60 * SECOND + 7);
    RunFolderWalk("top");
    EXPECT_EQ(memfs::TimeOf(deep), 50 * SECOND + 1234567);
    EXPECT_EQ(memfs::TimeOf(late), 60 * SECOND + 7);
}

// What a file system makes of a time written tells how finely it keeps folder times; a
// folder already at its new time as kept there is equal.
TEST(TimeGrain, LearntFromAWriteReadBack)
{
    const ExactTime written = {13000000000, 123456700};
    struct Case {
        ExactTime kept;
        ExactTime present; // a folder's time later, its new time being `written`
        bool equal;
    };
    const Case cases[] = {
        {{13000000000, 123456700}, {13000000000, 123456700}, true}, // kept as written
        {{13000000000, 123456700}, {13000000000, 0}, false},
        {{13000000000, 123456000}, {13000000000, 123456000}, true}, // microseconds
        {{13000000000, 0}, {13000000000, 0}, true}, // seconds, down
        {{13000000000, 0}, {13000000001, 0}, false},
        {{13000000001, 0}, {13000000001, 0}, true}, // seconds, up (or two, up)
        {{13000000000, 123000000}, {13000000000, 123000000}, true}, // milliseconds
        {{12999999000, 0}, {13000000000, 0}, false}, // nothing explains it: exact
    };
    for (const Case& c : cases) {
        ForgetTimeGrain();
        EXPECT_TRUE(TimeGrainUnknown());
        LearnTimeGrain(written, c.kept);
        EXPECT_FALSE(TimeGrainUnknown());
        EXPECT_EQ(KeptAs(c.present, written), c.equal)
            << c.kept.seconds << "." << c.kept.nanoseconds << " / " << c.present.seconds << "."
            << c.present.nanoseconds;
    }
    ForgetTimeGrain();
    EXPECT_FALSE(KeptAs({13000000000, 0}, written)) << "forgotten: exact again";
    EXPECT_FALSE(KeptAs({13000000000, 123456701}, written)) << "nanoseconds count";
}

} // namespace
