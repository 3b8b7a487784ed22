// The walk against the in-memory file system: results, counts, order of calls, failures
// of each call, loops through links and the bounds of the path buffer.
#include "fake_shell.h"
#include "file_manager_names.h"
#include "folder_walk.h"
#include "memory_fs.h"
#include "platform_config.h"
#include "program_state.h"
#include "text_builder.h"
#include "walk_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <pthread.h>
#include <string>

using memfs::Path;

namespace {

const std::string SEP(1, PATH_SEPARATOR);

class Walk : public ::testing::Test {
protected:
    void SetUp() override
    {
        memfs::Reset();
        fakeshell::Reset();
        ResetProgramState();
        top = memfs::AddFolder(0, "top", 5);
    }
    void TearDown() override
    {
        EXPECT_EQ(memfs::OpenListings(), 0) << "every listing is closed";
        EXPECT_EQ(memfs::OpenHandles(), 0) << "every handle is closed";
    }
    void Run(const std::string& path = "top") { RunFolderWalk(path.c_str()); }
    void ExpectCounts(int changed, int visited)
    {
        EXPECT_EQ(programState.changedCount, changed);
        EXPECT_EQ(programState.visitedCount, visited);
    }
    std::vector<std::string> Writes()
    {
        std::vector<std::string> sets;
        for (const std::string& call : memfs::log())
            if (call.rfind("set ", 0) == 0)
                sets.push_back(call);
        return sets;
    }
    bool Listed(const std::string& pattern)
    {
        auto& log = memfs::log();
        return std::find(log.begin(), log.end(), "list " + pattern) != log.end();
    }
    int top = 0;
};

TEST_F(Walk, FilesOnlyInTheTopFolderChangeNothing)
{
    memfs::AddFile(top, "a.txt", 100);
    Run();
    ExpectCounts(0, 0);
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(memfs::TimeOf(top), 5u);
}

TEST_F(Walk, NewestTimeReachesUpwardAndTheTopIsNeverWritten)
{
    // top/B holds g (T2), top/B/C holds f (T1); both orders of T1 and T2.
    for (uint64_t t1 : {300u, 900u}) {
        SetUp();
        int b = memfs::AddFolder(top, "B", 1);
        int c = memfs::AddFolder(b, "C", 1);
        memfs::AddFile(c, "f.txt", t1);
        memfs::AddFile(b, "g.txt", 600);
        Run();
        EXPECT_EQ(memfs::TimeOf(c), t1);
        EXPECT_EQ(memfs::TimeOf(b), std::max<uint64_t>(t1, 600));
        EXPECT_EQ(memfs::TimeOf(top), 5u);
        ExpectCounts(2, 2);
    }
}

TEST_F(Walk, FoldersWithoutFilesAreVisitedButNeverOpened)
{
    memfs::AddFolder(top, "empty", 3);
    int outer = memfs::AddFolder(top, "outer", 4);
    memfs::AddFolder(outer, "inner", 6);
    int zero = memfs::AddFolder(top, "zero", 8);
    memfs::AddFile(zero, "z.txt", 0); // a file time of 0 counts as no file
    Run();
    ExpectCounts(0, 4);
    for (const std::string& call : memfs::log())
        EXPECT_NE(call.rfind("open ", 0), 0u) << call;
    EXPECT_EQ(memfs::TimeOf(outer), 4u);
    EXPECT_EQ(memfs::TimeOf(zero), 8u);
}

TEST_F(Walk, FolderTimesNeverTakePartAndEqualTimesAreWrittenAgain)
{
    int a = memfs::AddFolder(top, "a", 700);
    memfs::AddFolder(a, "later", 9999); // a folder's own time is not a file time
    memfs::AddFile(a, "f", 700);
    Run();
    Run();
    EXPECT_EQ(memfs::TimeOf(a), 700u);
    ExpectCounts(1, 2);
    EXPECT_EQ(Writes().size(), 2u) << "written on both runs, though already right";
}

TEST_F(Walk, OrderIsSubfoldersFirstThenFilesEachSubtreeFinishedBeforeTheNext)
{
    int x = memfs::AddFolder(top, "x");
    memfs::AddFile(x, "f", 10);
    int y = memfs::AddFolder(top, "y");
    memfs::AddFile(y, "g", 20);
    std::vector<std::string> expected = {
        "list " + Path({"top", "*"}),        "list " + Path({"top", "x", "*"}),
        "list " + Path({"top", "x", "*"}),   "open " + Path({"top", "x"}),
        "set " + Path({"top", "x"}) + " 10", "list " + Path({"top", "y", "*"}),
        "list " + Path({"top", "y", "*"}),   "open " + Path({"top", "y"}),
        "set " + Path({"top", "y"}) + " 20", "list " + Path({"top", "*"}),
    };
    Run();
    EXPECT_EQ(memfs::log(), expected);
}

TEST_F(Walk, OnlyDotAndDotDotAreSkipped)
{
    for (const char* name : {"..x", ".cfg", "..."}) {
        int folder = memfs::AddFolder(top, name);
        memfs::AddFile(folder, "f", 50);
    }
    Run();
    ExpectCounts(3, 3);
}

TEST_F(Walk, UnwritableFoldersAreNotCountedButStillFeedTheirParent)
{
    int a = memfs::AddFolder(top, "a");
    int locked = memfs::AddFolder(a, "locked", 2);
    memfs::AddFile(locked, "f", 800);
    int failing = memfs::AddFolder(a, "failing", 3);
    memfs::AddFile(failing, "g", 400);
    memfs::faults().openFails.insert(Path({"top", "a", "locked"}));
    memfs::faults().setTimeFails.insert(Path({"top", "a", "failing"}));
    Run();
    EXPECT_EQ(memfs::TimeOf(locked), 2u);
    EXPECT_EQ(memfs::TimeOf(failing), 3u);
    EXPECT_EQ(memfs::TimeOf(a), 800u);
    ExpectCounts(1, 3);
}

TEST_F(Walk, ListingsThatCannotStartOrStopEarlyYieldOnlyWhatTheyGave)
{
    int a = memfs::AddFolder(top, "a");
    memfs::AddFile(a, "f", 100);
    int sub = memfs::AddFolder(a, "sub");
    memfs::AddFile(sub, "g", 300);
    int b = memfs::AddFolder(top, "b");
    memfs::AddFile(b, "h", 200);
    // a's first listing (its subfolders) fails; b's listings stop after "." and "..".
    memfs::faults().listingOnce[Path({"top", "a"})] = 1;
    memfs::faults().listingStops[Path({"top", "b"})] = 2;
    Run();
    EXPECT_EQ(memfs::TimeOf(a), 100u) << "sub was never seen, f was";
    EXPECT_EQ(memfs::TimeOf(sub), 1u);
    EXPECT_EQ(memfs::TimeOf(b), 1u);
    ExpectCounts(1, 2);
}

TEST_F(Walk, AMissingTopResetsTheCounters)
{
    programState.changedCount = 4;
    programState.visitedCount = 9;
    Run("nowhere");
    ExpectCounts(0, 0);
}

TEST_F(Walk, AbsentEmptyAndOverlongTopsDoNothingAtAll)
{
    programState.changedCount = 4;
    programState.visitedCount = 9;
    RunFolderWalk(nullptr);
    Run("");
    Run(std::string(MAX_FOLDER_ARGUMENT + 1, 'a'));
    EXPECT_TRUE(memfs::log().empty());
    ExpectCounts(4, 9);
    EXPECT_EQ(programState.failureCount, 3) << "each is reported as a folder not listed";
    EXPECT_TRUE(programState.topUnlisted);
    EXPECT_EQ(programState.topError, ERROR_FILENAME_EXCED_RANGE);

    std::string longest(MAX_FOLDER_ARGUMENT, 'a');
    Run(longest);
    EXPECT_TRUE(Listed(longest + SEP + "*")) << "the longest top is still tried";
    ExpectCounts(0, 0);
}

TEST_F(Walk, ASeparatorIsAddedOnlyWhenTheTopLacksOne)
{
    int drive = memfs::AddFolder(0, "T:");
    int data = memfs::AddFolder(drive, "data");
    memfs::AddFile(data, "f", 10);
    Run("T:");
    Run("T:" + SEP);
    EXPECT_EQ(memfs::log()[0], "list T:" + SEP + "*");
    EXPECT_EQ(std::count(memfs::log().begin(), memfs::log().end(), "list T:" + SEP + "*"), 4);
    Run("T:" + SEP + "data" + SEP);
    EXPECT_TRUE(Listed("T:" + SEP + "data" + SEP + "*"));
    EXPECT_EQ(memfs::TimeOf(data), 10u);
}

TEST_F(Walk, LinksBackUpThePathAreCountedButNotEntered)
{
    int a = memfs::AddFolder(top, "a");
    memfs::AddFile(a, "f", 100);
    memfs::AddLink(a, "toTop", top);
    memfs::AddLink(a, "toSelf", a);
    int b = memfs::AddFolder(top, "b");
    memfs::AddFile(b, "g", 200);
    memfs::AddLink(b, "toSibling", a); // not an ancestor of b: walked like any folder
    Run();
    EXPECT_EQ(memfs::TimeOf(top), 5u) << "the top is never written, not through a link either";
    EXPECT_EQ(memfs::TimeOf(a), 100u);
    EXPECT_EQ(memfs::TimeOf(b), 200u);
    // a, toTop, toSelf, b, toSibling and toSibling's own toTop and toSelf.
    ExpectCounts(3, 7);
    EXPECT_FALSE(Listed(Path({"top", "a", "toTop", "*"})));
    EXPECT_FALSE(Listed(Path({"top", "b", "toSibling", "toSelf", "*"})));
}

// A link to a folder that holds the top (its parent, the root) would walk the top again
// and write it as a subfolder of its own.
TEST_F(Walk, LinksToFoldersAboveTheTopAreCountedButNotEntered)
{
    int a = memfs::AddFolder(top, "a", 5);
    memfs::AddFile(a, "f", 1000);
    memfs::AddLink(top, "up", 0);
    int w = memfs::AddFolder(0, "w");
    int inner = memfs::AddFolder(w, "inner", 5);
    memfs::AddFile(memfs::AddFolder(inner, "b"), "g", 2000);
    memfs::AddLink(inner, "toW", w);
    memfs::AddLink(inner, "toSibling", a); // holds no top: entered like any folder
    Run();
    EXPECT_FALSE(Listed(Path({"top", "up", "*"})));
    EXPECT_EQ(memfs::TimeOf(top), 5u) << "the top is never written";
    ExpectCounts(1, 2);
    Run(Path({"w", "inner"}));
    EXPECT_FALSE(Listed(Path({"w", "inner", "toW", "*"})));
    EXPECT_TRUE(Listed(Path({"w", "inner", "toSibling", "*"})));
    EXPECT_EQ(memfs::TimeOf(inner), 5u);
    ExpectCounts(2, 3);
}

// x/L1 leads to a/b, and b/L2 to a: below the links, b is met again as a plain folder
// while it is on the path as L1, and is not entered again.
TEST_F(Walk, AFolderIsNeverEnteredTwiceOnOnePathEvenWhereNoLinkLeadsToIt)
{
    int a = memfs::AddFolder(top, "a");
    int b = memfs::AddFolder(a, "b");
    memfs::AddFile(b, "f", 300);
    memfs::AddLink(b, "L2", a);
    int x = memfs::AddFolder(top, "x");
    memfs::AddLink(x, "L1", b);
    Run();
    EXPECT_TRUE(Listed(Path({"top", "x", "L1", "L2", "*"})));
    EXPECT_FALSE(Listed(Path({"top", "x", "L1", "L2", "b", "*"})));
    EXPECT_EQ(memfs::TimeOf(x), 300u);
    // a, a/b, a/b/L2 (a: on the path), x, x/L1, x/L1/L2, x/L1/L2/b (b: on the path as L1).
    ExpectCounts(4, 7);
}

TEST_F(Walk, ARingOfLinksEnds)
{
    int left = memfs::AddFolder(top, "left");
    int right = memfs::AddFolder(top, "right");
    memfs::AddLink(left, "r", right);
    memfs::AddLink(right, "l", left);
    memfs::AddFile(right, "f", 40);
    Run();
    EXPECT_EQ(memfs::TimeOf(left), 40u);
    EXPECT_EQ(memfs::TimeOf(right), 40u);
    // Visited: left, left/r, left/r/l (stopped), right, right/l, right/l/r (stopped).
    // Written: left/r, left and right; right/l leads only back to right, so holds no file.
    ExpectCounts(3, 6);
}

TEST_F(Walk, TheLoopCheckTellsVolumesApart)
{
    // A folder on another volume that happens to carry the top's file index.
    int other = memfs::AddFolder(0, "other");
    memfs::AddFile(other, "f", 90);
    memfs::SetIdentity(other, 2, static_cast<DWORD>(top));
    int a = memfs::AddFolder(top, "a");
    memfs::AddLink(a, "elsewhere", other);
    Run();
    EXPECT_TRUE(Listed(Path({"top", "a", "elsewhere", "*"})));
    EXPECT_EQ(memfs::TimeOf(a), 90u);
    ExpectCounts(2, 2);
}

TEST_F(Walk, PlainTreesAskForNoFolderIdentityBeyondTheTopAndAbove)
{
    Run();
    size_t forTheTop = memfs::Lookups();
    int a = memfs::AddFolder(top, "a");
    for (int i = 0; i < 50; i++)
        memfs::AddFile(memfs::AddFolder(a, "b" + std::to_string(i)), "f", 1);
    Run();
    EXPECT_EQ(memfs::Lookups(), 2 * forTheTop) << "the same few look-ups, whatever the tree";
}

// The stack every build gives the walk: Linux's default for the main thread, and what the
// Windows programs reserve. AddressSanitizer's frames are about three times larger.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t WALK_STACK = 4 * 8 * 1024 * 1024;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr size_t WALK_STACK = 4 * 8 * 1024 * 1024;
#else
constexpr size_t WALK_STACK = 8 * 1024 * 1024;
#endif
#else
constexpr size_t WALK_STACK = 8 * 1024 * 1024;
#endif

void* WalkTop(void*)
{
    RunFolderWalk("top");
    return nullptr;
}

// Runs the walk of "top" on a thread whose stack is exactly WALK_STACK.
void RunOnWalkStack()
{
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, WALK_STACK);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attributes, WalkTop, nullptr), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

// A chain of one-letter folders deeper than the path buffer can spell: the levels that
// fit are walked and written, the first that does not fit yields nothing, nothing
// writes past the buffer and the stack holds.
TEST_F(Walk, TheDeepestTreeTheBufferAllowsEndsCleanly)
{
    int depth = static_cast<int>(PATH_BUFFER_SIZE / 2) + 10;
    int at = top;
    std::vector<int> chain;
    for (int i = 0; i < depth; i++)
        chain.push_back(at = memfs::AddFolder(at, "d", 1));
    memfs::AddFile(at, "f", 77);
    memfs::AddFile(chain[100], "g", 55);
    memfs::faults().quiet = true;
    RunOnWalkStack();
    // "top/" takes 4 bytes; each level 2 more, and its pattern needs "*" and a NUL.
    int fitting = static_cast<int>((PATH_BUFFER_SIZE - 4 - 1) / 2);
    EXPECT_EQ(programState.visitedCount, fitting + 1);
    EXPECT_EQ(programState.changedCount, 101);
    EXPECT_EQ(memfs::TimeOf(chain[0]), 55u);
    EXPECT_EQ(memfs::TimeOf(chain[101]), 1u);
}

// The last level that fits leaves room for exactly its name, the separator, "*" and the
// NUL; a name one byte longer does not fit and yields nothing.
TEST_F(Walk, TheLastLevelMayFillTheBufferToItsLastByte)
{
    for (size_t extra : {0u, 1u}) {
        SetUp();
        std::string topName(32000, 't');
        int at = memfs::AddFolder(0, topName);
        std::vector<int> chain;
        for (int i = 0; i < 3; i++) // 32001 + 3 * 201 = 32604 bytes before the last name
            chain.push_back(at = memfs::AddFolder(at, std::string(200, 'a' + i)));
        size_t room = PATH_BUFFER_SIZE - 32604;
        int last = memfs::AddFolder(at, std::string(room - 3 + extra, 'z'));
        memfs::AddFile(last, "f", 321);
        memfs::faults().quiet = true;
        programState.verbose = 1;
        Run(topName);
        EXPECT_EQ(programState.visitedCount, 4);
        const std::string told = "chronotree: cannot list '" + topName;
        size_t listed = fakeshell::errors().find(told);
        EXPECT_EQ(listed, extra ? 0 : std::string::npos) << "a path that cannot fit is told";
        const std::string why = "': error " + std::to_string(ERROR_FILENAME_EXCED_RANGE) + LINE_END;
        EXPECT_EQ(fakeshell::errors().size(),
                  extra ? told.size() - topName.size() + PATH_BUFFER_SIZE - 2 + why.size() : 0);
        EXPECT_EQ(memfs::TimeOf(last), extra ? 1u : 321u) << extra;
        EXPECT_EQ(memfs::TimeOf(chain[0]), extra ? 1u : 321u) << extra;
    }
}

TEST(FileManagerNames, AreWholeNamesWithoutRegardToAsciiCase)
{
    for (const char* name :
         {"Thumbs.db", "THUMBS.DB", "ehthumbs.db", "EhThumbs_Vista.db", "desktop.ini",
          "Desktop.INI", ".DS_Store", ".ds_store", "Icon\r", "ICON\r", "._", "._photo.jpg",
          "._.DS_Store", "EHTHUMBS_VISTA.DB", "DESKTOP.INI", "thumbs.DB", "iCON\r"})
        EXPECT_TRUE(IsFileManagerFile(name)) << name;
    for (const char* name :
         {"real.ehthumbs.db", "Thumbs.db.bak", "Thumbs.d", "Icon", "Icon\r\r", "Icon\n", "_.x",
          "x._", ".DS_Store ", "", "desktop.in\xC3\xAF", "Design.psd", "invoice.pdf", "Desktop",
          "Thumbs", "Icon.png", "Iconic\r", "thumbs.dbx", "_._"})
        EXPECT_FALSE(IsFileManagerFile(name)) << name;
}

TEST(FileManagerNames, SystemWrittenFoldersAreWholeNamesInAnyAsciiCase)
{
    for (const char* name : {"@eaDir",
                             "@EADIR",
                             ".@__thumb",
                             ".AppleDouble",
                             ".appledouble",
                             ".Spotlight-V100",
                             ".fseventsd",
                             ".Trashes",
                             ".TemporaryItems",
                             "$RECYCLE.BIN",
                             "$Recycle.Bin",
                             "System Volume Information",
                             ".Trash-1000",
                             ".trash-0",
                             ".APPLEDOUBLE",
                             ".TEMPORARYITEMS",
                             "SYSTEM VOLUME INFORMATION",
                             ".@__THUMB",
                             ".SPOTLIGHT-V100",
                             ".FSEVENTSD",
                             ".TRASHES",
                             ".TRASH-2"})
        EXPECT_TRUE(IsSystemWrittenFolder(name)) << name;
    for (const char* name :
         {"eaDir", "@eaDir2", "Design.psd", "invoice.pdf", ".Trash-", ".Trash-10a", ".Trash",
          "System Volume", "AppleDouble", "$RECYCLE.BIN.old", ""})
        EXPECT_FALSE(IsSystemWrittenFolder(name)) << name;
}

// 2001-01-01, a time before 1970 and one after 2038, all exact to the second.
constexpr uint64_t T2001 = 126227808000000000ull;
constexpr uint64_t T1965 = 114947424000000000ull;
constexpr uint64_t T2100 = 157469184000000000ull;

TEST(IsoTime, IsUtcWithEveryDigitThePlatformKeepsAndTheYearInAtLeastFourDigits)
{
    auto format = [](uint64_t ticks) {
        char text[ISO_TIME_SIZE];
        FormatIsoTime(ExactFromFileTime(memfs::MakeTime(ticks)), text);
        return std::string(text);
    };
    // The fraction has as many digits as the platform keeps: 9 on POSIX, 7 on Windows.
    const std::string zero(TIME_FRACTION_DIGITS, '0');
    EXPECT_EQ(format(0), "1601-01-01T00:00:00." + zero + "Z");
    EXPECT_EQ(format(116444736000000000ull), "1970-01-01T00:00:00." + zero + "Z");
    EXPECT_EQ(format(116444736000000000ull - 1),
              "1969-12-31T23:59:59.9999999" + std::string(TIME_FRACTION_DIGITS - 7, '0') + "Z");
    EXPECT_EQ(format(132075720001234567ull),
              "2019-07-14T10:00:00.1234567" + std::string(TIME_FRACTION_DIGITS - 7, '0') + "Z");
    EXPECT_EQ(format(T1965), "1965-04-04T00:00:00." + zero + "Z");
    EXPECT_EQ(format(T2100), "2100-01-01T00:00:00." + zero + "Z");
    EXPECT_EQ(format(125962560000000000ull), "2000-02-29T00:00:00." + zero + "Z");
    EXPECT_EQ(format(94405824000000000ull), "1900-03-01T00:00:00." + zero + "Z");
    EXPECT_EQ(format(0x7FFFFFFFFFFFFFFFull),
              "30828-09-14T02:48:05.4775807" + std::string(TIME_FRACTION_DIGITS - 7, '0') + "Z");
    // Before 1601, which only an old time read from the system can be: the true date.
    char text[ISO_TIME_SIZE];
    FormatIsoTime(ExactTime{-1, 999999999}, text);
    EXPECT_EQ(std::string(text).substr(0, 20), "1600-12-31T23:59:59.");
    FormatIsoTime(ExactTime{-11644473600 - 86400, 0}, text); // 1601 less 1601-1970, less a day
    EXPECT_EQ(std::string(text).substr(0, 19), "1232-01-01T00:00:00");
}

TEST_F(Walk, IgnoredFileManagerFilesCountAsNoFiles)
{
    int a = memfs::AddFolder(top, "a");
    memfs::AddFile(a, "photo.jpg", 300);
    memfs::AddFile(a, "Thumbs.db", 900);
    memfs::AddFile(a, "._photo.jpg", 950);
    int only = memfs::AddFolder(top, "only");
    memfs::AddFile(only, "DESKTOP.INI", 700);
    memfs::AddFile(only, "Icon\r", 700);
    int folder = memfs::AddFolder(top, "._folder"); // folders are walked as ever
    memfs::AddFile(folder, "real.ehthumbs.db", 400);
    Run();
    EXPECT_EQ(memfs::TimeOf(a), 950u) << "without -i they count";
    programState.ignoreManagerFiles = 1;
    memfs::log().clear();
    Run();
    EXPECT_EQ(memfs::TimeOf(a), 300u);
    EXPECT_EQ(memfs::TimeOf(folder), 400u);
    ExpectCounts(2, 3);
    EXPECT_EQ(Writes().size(), 2u) << "a folder holding only such files holds no file";
}

TEST_F(Walk, IgnoredSystemFoldersAreNeitherWalkedNorCountedNorSet)
{
    int photos = memfs::AddFolder(top, "Photos");
    memfs::AddFile(photos, "beach.jpg", 300);
    int thumbs = memfs::AddFolder(photos, "@eaDir");
    memfs::AddFile(memfs::AddFolder(thumbs, "beach.jpg"), "SYNOPHOTO_THUMB_XL.jpg", 900);
    memfs::AddFile(memfs::AddFolder(photos, ".Trash-1000"), "gone.jpg", 950);
    int design = memfs::AddFolder(top, "Design.psd"); // looks like nothing of the kind
    memfs::AddFile(design, "layer", 200);
    programState.ignoreManagerFiles = 1;
    Run();
    EXPECT_EQ(memfs::TimeOf(photos), 300u) << "the thumbnails' time counts no more";
    EXPECT_EQ(memfs::TimeOf(thumbs), 1u) << "not set";
    EXPECT_EQ(memfs::TimeOf(design), 200u);
    ExpectCounts(2, 2);
    programState.ignoreManagerFiles = 0;
    Run();
    EXPECT_EQ(memfs::TimeOf(photos), 950u) << "without -i they count";
    EXPECT_EQ(memfs::TimeOf(thumbs), 900u);
    ExpectCounts(5, 5);
}

// A dry run reads each folder's present time and counts those that differ; nothing is
// opened for writing and nothing is set.
TEST_F(Walk, ADryRunWritesNothingAndCountsOnlyFoldersThatWouldChange)
{
    int same = memfs::AddFolder(top, "same", 600);
    memfs::AddFile(same, "f", 600);
    int older = memfs::AddFolder(top, "older", 100);
    memfs::AddFile(older, "g", 600);
    int newer = memfs::AddFolder(older, "newer", 700);
    memfs::AddFile(newer, "h", 500);
    memfs::AddFolder(top, "empty", 1);
    programState.dryRun = 1;
    Run();
    ExpectCounts(2, 4);
    for (const std::string& call : memfs::log())
        EXPECT_TRUE(call.rfind("list ", 0) == 0) << call;
    EXPECT_EQ(memfs::TimeOf(older), 100u);
    EXPECT_EQ(memfs::TimeOf(newer), 700u);
    EXPECT_EQ(programState.latestWalk, WALK_DRY);
    programState.dryRun = 0;
    Run();
    EXPECT_EQ(programState.latestWalk, WALK_REAL);
    programState.dryRun = 1;
    Run();
    ExpectCounts(0, 4);
}

std::string Iso(uint64_t ticks)
{
    char text[ISO_TIME_SIZE];
    FormatIsoTime(ExactFromFileTime(memfs::MakeTime(ticks)), text);
    return text;
}

TEST_F(Walk, VerboseListsEachChangeWithItsOldAndNewTimeAndEachFailureIsReportedAnyway)
{
    int a = memfs::AddFolder(top, "a", T2001);
    memfs::AddFile(a, "old", T1965);
    int b = memfs::AddFolder(top, "b", T2001);
    memfs::AddFile(b, "future", T2100);
    int kept = memfs::AddFolder(top, "kept", T1965);
    memfs::AddFile(kept, "f", T1965);
    memfs::AddFile(memfs::AddFolder(top, "locked"), "f", T2100);
    memfs::faults().setTimeFails.insert(Path({"top", "locked"}));
    memfs::AddFolder(top, "closed");
    memfs::faults().listingFails.insert(Path({"top", "closed"}));
    programState.verbose = 1;
    Run();
    const std::string tab = "\t";
    EXPECT_EQ(fakeshell::output(), Iso(T2001) + tab + Iso(T1965) + tab + Path({"top", "a"}) +
                                       LINE_END + Iso(T2001) + tab + Iso(T2100) + tab +
                                       Path({"top", "b"}) + LINE_END + Iso(1) + tab + Iso(T2100) +
                                       tab + Path({"top", "locked"}) + LINE_END)
        << "kept already had its time: set, counted, not listed; locked listed before its write";
    const std::string denied = "': Permission denied" + std::string(LINE_END);
    EXPECT_EQ(fakeshell::errors(), "chronotree: cannot set '" + Path({"top", "locked"}) + denied +
                                       "chronotree: cannot list '" + Path({"top", "closed"}) +
                                       denied);
    ExpectCounts(3, 5);
    EXPECT_EQ(programState.failureCount, 2);
    EXPECT_EQ(programState.latestFailures, 2);
    EXPECT_FALSE(programState.topUnlisted);

    // Without -v the failures are reported all the same; the top's own too.
    fakeshell::Reset();
    programState.verbose = 0;
    Run("nowhere");
    EXPECT_EQ(fakeshell::errors(),
              "chronotree: cannot list 'nowhere': error " + std::to_string(ENOENT) + LINE_END);
    EXPECT_TRUE(programState.topUnlisted);
    EXPECT_EQ(programState.topError, static_cast<DWORD>(ENOENT));
    EXPECT_EQ(programState.latestFailures, 0) << "the top is not below itself";
    EXPECT_EQ(programState.failureCount, 3) << "the run's count goes on";
}

TEST_F(Walk, AListLineThatCannotBeWrittenStopsEveryWriteAfterIt)
{
    for (const char* name : {"a", "b", "c"})
        memfs::AddFile(memfs::AddFolder(top, name, 1), "f", 50);
    programState.verbose = 1;
    fakeshell::FailWritesAfter(1); // the second line cannot be written
    Run();
    EXPECT_TRUE(programState.listLost);
    EXPECT_EQ(Writes().size(), 1u) << "only the folder whose line went out was set";
    EXPECT_EQ(fakeshell::output(), Iso(1) + "\t" + Iso(50) + "\t" + Path({"top", "a"}) + LINE_END);
}

TEST_F(Walk, ADryRunComparesThePresentTimeAtFullPrecision)
{
    // The present time differs from the new one only below 100 ns: the real run writes
    // it, so the dry run must count it, and -v list it.
    int a = memfs::AddFolder(top, "a", 600);
    memfs::AddFile(a, "f", 600);
    memfs::SetExtraNanoseconds(a, 42);
    programState.dryRun = 1;
    programState.verbose = 1;
    Run();
    ExpectCounts(1, 1);
    EXPECT_NE(fakeshell::output().find(Path({"top", "a"})), std::string::npos);
    memfs::SetExtraNanoseconds(a, 0);
    fakeshell::Reset();
    Run();
    ExpectCounts(0, 1);
    EXPECT_TRUE(fakeshell::output().empty());
}

TEST_F(Walk, WithoutTheNewOptionsNothingIsWrittenOutButFailuresAndNoTimeIsRead)
{
    memfs::AddFile(memfs::AddFolder(top, "a"), "f", 10);
    memfs::AddFolder(top, "closed");
    memfs::faults().listingFails.insert(Path({"top", "closed"}));
    Run();
    // The top, the root above it, and the root once more (a root is its own parent).
    EXPECT_EQ(memfs::Lookups(), 3u) << "no folder's present time is read";
    EXPECT_TRUE(fakeshell::output().empty());
    EXPECT_EQ(fakeshell::errors(), "chronotree: cannot list '" + Path({"top", "closed"}) +
                                       "': Permission denied" + LINE_END);
}

TEST(LaterFileTime, ComparesAsOneUnsigned64BitNumberAndKeepsTheFirstOnTies)
{
    FILETIME highWins = LaterFileTime(FILETIME{0xFFFFFFFF, 1}, FILETIME{0, 2});
    EXPECT_EQ(highWins.dwHighDateTime, 2u);
    FILETIME lowDecides = LaterFileTime(FILETIME{5, 0x80000000}, FILETIME{0x80000000, 0x80000000});
    EXPECT_EQ(lowDecides.dwLowDateTime, 0x80000000u);
    FILETIME earlierKept = LaterFileTime(FILETIME{9, 3}, FILETIME{10, 2});
    EXPECT_EQ(earlierKept.dwLowDateTime, 9u);
    FILETIME zero = LaterFileTime(FILETIME{1, 0}, FILETIME{0, 0});
    EXPECT_EQ(zero.dwLowDateTime, 1u);
}

} // namespace

namespace {

TEST(TextBuilder, NumbersAndTextAreCutAtTheBufferEndAndStayTerminated)
{
    char buffer[12];
    TextBuilder text = StartText(buffer, sizeof buffer);
    AddNumber(&text, -5, 3);
    AddText(&text, " of ");
    AddNumber(&text, 1234567);
    EXPECT_STREQ(buffer, "-005 of 123") << "cut, with room for the NUL";
    text = StartText(buffer, sizeof buffer);
    AddNumber(&text, INT64_MIN);
    EXPECT_STREQ(buffer, "-9223372036");
    text = StartText(buffer, sizeof buffer);
    AddNumber(&text, 0);
    AddNumber(&text, 7, 2);
    EXPECT_STREQ(buffer, "007");
}

} // namespace
