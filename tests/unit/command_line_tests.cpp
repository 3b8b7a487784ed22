// The tokenizer, the program-name skip and the option pass, with the start-up around them.
#include "command_line.h"
#include "fake_shell.h"
#include "memory_fs.h"
#include "platform_config.h"
#include "program_state.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Split(std::string tail)
{
    char* slots[MAX_ARGUMENTS + 1] = {};
    int count = SplitCommandTail(tail.data(), slots);
    EXPECT_EQ(slots[0], nullptr) << "slot 0 stays empty";
    std::vector<std::string> tokens;
    for (int i = 1; i < count; i++)
        tokens.push_back(slots[i]);
    return tokens;
}

using Tokens = std::vector<std::string>;
using memfs::Path;

TEST(SplitCommandTail, BlanksTabsAndQuotesSeparateTokens)
{
    EXPECT_EQ(Split(""), Tokens{});
    EXPECT_EQ(Split(" \t "), Tokens{});
    EXPECT_EQ(Split("a b\tc"), (Tokens{"a", "b", "c"}));
    EXPECT_EQ(Split("  a   b  "), (Tokens{"a", "b"}));
    EXPECT_EQ(Split("-a \"C:\\My Files\""), (Tokens{"-a", "C:\\My Files"}));
}

TEST(SplitCommandTail, QuotesHaveNoEscapeAndEndTokensWhereTheyClose)
{
    EXPECT_EQ(Split("\"x y\"z"), (Tokens{"x y", "z"}));
    EXPECT_EQ(Split("a\"b c"), (Tokens{"a\"b", "c"}));
    EXPECT_EQ(Split("\"\" x"), (Tokens{"", "x"}));
    EXPECT_EQ(Split("\"\""), Tokens{""});
    EXPECT_EQ(Split("x \"open to the end"), (Tokens{"x", "open to the end"}));
    EXPECT_EQ(Split("\"a\\\" b"), (Tokens{"a\\", "b"}));
}

TEST(SplitCommandTail, TellsWhenWordsAreLeftBeyondTheLimit)
{
    std::string tail;
    for (int i = 0; i < 1100; i++)
        tail += "t" + std::to_string(i) + " ";
    Tokens tokens = Split(tail);
    ASSERT_EQ(tokens.size(), static_cast<size_t>(MAX_ARGUMENTS));
    EXPECT_EQ(tokens.back(), "t1022");
    auto leftOver = [](std::string line) {
        char* slots[MAX_ARGUMENTS + 1] = {};
        bool tooMany = true;
        SplitCommandTail(line.data(), slots, &tooMany);
        return tooMany;
    };
    EXPECT_TRUE(leftOver(tail));
    std::string exact;
    for (int i = 0; i < MAX_ARGUMENTS; i++)
        exact += "w ";
    EXPECT_FALSE(leftOver(exact + " \t ")) << "blanks behind the last word are no word";
    EXPECT_TRUE(leftOver(exact + "\"\""));
    EXPECT_FALSE(leftOver("a b"));
}

TEST(SkipProgramName, LeavesTheTailBehindTheProgramName)
{
    auto skip = [](std::string line) { return std::string(SkipProgramName(line.data())); };
    EXPECT_EQ(skip("prog.exe -a x"), "-a x");
    EXPECT_EQ(skip("  \"C:\\Program Files\\c.exe\"\t -a"), "-a");
    EXPECT_EQ(skip("\"c.exe\"-a"), "-a");
    EXPECT_EQ(skip("\"unclosed -a"), "");
    EXPECT_EQ(skip("prog.exe"), "");
}

class StartUp : public ::testing::Test {
protected:
    void SetUp() override
    {
        memfs::Reset();
        fakeshell::Reset();
        for (const char* name : {"x", "y", "-old"}) {
            int top = memfs::AddFolder(0, name);
            int sub = memfs::AddFolder(top, "sub");
            memfs::AddFile(sub, "f", 10);
            if (std::string(name) == "y")
                memfs::AddFile(memfs::AddFolder(top, "more"), "g", 20);
        }
    }
    int Run(std::string tail) { return status = RunProgram(nullptr, &(stored = tail)[0], 10); }
    int Walks()
    {
        int walks = 0;
        for (const std::string& call : memfs::log())
            walks += call.find(std::string(1, PATH_SEPARATOR)) == call.rfind(PATH_SEPARATOR) &&
                     call.rfind("list ", 0) == 0;
        return walks / 2; // each top folder is listed twice
    }
    void ExpectSummary(const char* text)
    {
        ASSERT_EQ(fakeshell::boxes().size(), 1u);
        EXPECT_EQ(fakeshell::boxes()[0].text, text);
        EXPECT_EQ(fakeshell::boxes()[0].caption, "Done!");
        EXPECT_EQ(fakeshell::boxes()[0].owner, nullptr);
        EXPECT_EQ(fakeshell::boxes()[0].type, MB_ICONINFORMATION);
    }
    std::string stored;
    int status = -1;
};

TEST_F(StartUp, WithoutTheAutomaticOptionWindowModeGetsTheLastFolder)
{
    EXPECT_EQ(Run(""), 0);
    EXPECT_EQ(fakeshell::windowModeArgument(), "(none)");
    EXPECT_EQ(Run("x \"C:\\My Files\""), 0);
    EXPECT_EQ(fakeshell::windowModeArgument(), "C:\\My Files");
    fakeshell::Reset();
    EXPECT_EQ(Run("-q y"), UNKNOWN_OPTIONS_ARE_ERRORS ? 2 : 0);
    EXPECT_EQ(fakeshell::windowModeArgument(), UNKNOWN_OPTIONS_ARE_ERRORS ? "-" : "y");
    EXPECT_EQ(Walks(), 0);
    EXPECT_TRUE(fakeshell::boxes().empty());
}

TEST_F(StartUp, WindowModeFailureIsExitStatusOne)
{
    fakeshell::Reset(false);
    EXPECT_EQ(Run("-S"), 1);
    EXPECT_EQ(programState.silent, 1);
}

TEST_F(StartUp, AutomaticModeWalksFoldersAfterTheOptionAndReportsTheLast)
{
    Run("-a x");
    ExpectSummary("Folder dates changed: 1 out of 1");
    fakeshell::Reset();
    Run("-a x y");
    EXPECT_EQ(Walks(), 3);
    ExpectSummary("Folder dates changed: 2 out of 2");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(fakeshell::windowModeArgument(), "-");
}

// Folders named before -a are not walked. An automatic run that walks nothing shows "0 out
// of 0" on Windows, as it always has; a Linux command refuses it rather than exit 0, since
// a script that named no folder (or whose -x took it as its pattern) has done nothing.
TEST_F(StartUp, AnAutomaticRunWithNoFolderToWalkIsRefusedOnLinux)
{
    for (const char* line : {"x -a", "-a", "-s -a", "-a -x top"}) {
        fakeshell::Reset();
        memfs::log().clear();
        int status = Run(line);
        EXPECT_EQ(Walks(), 0) << line;
        if (UNKNOWN_OPTIONS_ARE_ERRORS) {
            EXPECT_EQ(status, 2) << line;
            EXPECT_TRUE(fakeshell::boxes().empty()) << line;
            EXPECT_EQ(fakeshell::errors().rfind("chronotree: no folder to walk", 0), 0u)
                << line << ": " << fakeshell::errors();
        } else {
            EXPECT_EQ(status, 0) << line;
            if (!programState.silent)
                ExpectSummary("Folder dates changed: 0 out of 0");
        }
    }
    Run("x -a");
    EXPECT_STREQ(programState.folderArgument, "x");
    EXPECT_EQ(Run("-a -s x"), 0) << "a folder named, however little it holds";
    EXPECT_EQ(Walks(), 1);
}

TEST_F(StartUp, OptionsAreDecidedByTheirSecondCharacterAndEndAtDoubleDash)
{
    Run("-auto -Silent x");
    EXPECT_EQ(programState.automatic, 1);
    EXPECT_EQ(programState.silent, 1);
    EXPECT_EQ(Walks(), 1);
    Run("-a -- -old");
    EXPECT_STREQ(programState.folderArgument, "-old");
    ExpectSummary("Folder dates changed: 1 out of 1");
    fakeshell::Reset();
    Run("-a - -/ -s");
    EXPECT_EQ(programState.silent, 0) << "a lone - is ignored, -/ ends the options too";
    EXPECT_STREQ(programState.folderArgument, "-s");
}

TEST_F(StartUp, AnEmptyFolderArgumentWalksNothingAndKeepsTheCounts)
{
    Run("-a x \"\"");
    ExpectSummary("Folder dates changed: 1 out of 1");
    EXPECT_STREQ(programState.folderArgument, "");
}

TEST_F(StartUp, SlashStartsOptionsOnlyWhereItCannotStartAPath)
{
    Run("/a x");
    if (SLASH_STARTS_OPTION) {
        EXPECT_EQ(programState.automatic, 1);
    } else {
        EXPECT_EQ(programState.automatic, 0);
        EXPECT_EQ(fakeshell::windowModeArgument(), "x");
        EXPECT_EQ(Run("-a /a"), 1) << "a folder, which does not exist";
        EXPECT_STREQ(programState.folderArgument, "/a");
    }
}

TEST_F(StartUp, TheLaterOptionsHoldForTheWholeRunButNotAfterDoubleDash)
{
    Run("-a -I -Never -verbose x");
    EXPECT_EQ(programState.ignoreManagerFiles, 1);
    EXPECT_EQ(programState.dryRun, 1);
    EXPECT_EQ(programState.verbose, 1);
    ExpectSummary("Folder dates that would change: 1 out of 1");
    EXPECT_EQ(memfs::TimeOf(2), 1u) << "x/sub was not written";
    fakeshell::Reset();
    Run("-a -- -v -i");
    EXPECT_EQ(programState.verbose, 0);
    EXPECT_EQ(programState.ignoreManagerFiles, 0);
    EXPECT_STREQ(programState.folderArgument, "-i");
}

// The one safety option cannot give way: every spelling of it, anywhere before the options
// end, writes nothing at all.
TEST_F(StartUp, EverySpellingOfTheDryRunWritesNothing)
{
    const char* lines[] = {"-an x y",   "-anv x y", "-a -vn x y", "-a --dry-run x y", "-a x y -n",
                           "-a x -N y", "-ain x y", "-sna x y",   "-a x -- -n"};
    for (const char* line : lines) {
        memfs::Reset();
        SetUp();
        fakeshell::Reset();
        Run(line);
        bool dry = std::string(line) != "-a x -- -n"; // there -n is a folder's name
        EXPECT_EQ(memfs::TimeOf(2), dry ? 1u : 10u) << line;
        EXPECT_EQ(programState.dryRun, dry ? 1 : 0) << line;
        if (dry) {
            EXPECT_EQ(fakeshell::boxes().size(), std::string(line) == "-sna x y" ? 0u : 1u);
        }
    }
}

TEST_F(StartUp, ALetterGroupStandsForEachLetterOtherWordsForTheirSecond)
{
    Run("-ain x");
    EXPECT_EQ(programState.automatic + programState.ignoreManagerFiles + programState.dryRun, 3);
    Run("-as x");
    EXPECT_EQ(programState.automatic, 1);
    EXPECT_EQ(programState.silent, 0) << "-as is -a, as it always was";
    Run("-auto -Silent x");
    EXPECT_EQ(programState.automatic + programState.silent, 2);
    EXPECT_EQ(programState.dryRun, 0) << "no n, no i, no v: decided by the second letter";
    Run("-anq x");
    EXPECT_EQ(programState.dryRun, 0) << "q is no option letter: this is -a";
    EXPECT_EQ(Run("--dry-runs x"), 2) << "not the long word: refused, never a real run";
    EXPECT_EQ(programState.folderArgument, nullptr);
    if (SLASH_STARTS_OPTION) {
        Run("/an x");
        EXPECT_EQ(programState.automatic + programState.dryRun, 2);
    }
}

TEST_F(StartUp, TheExitStatusTellsWhetherEverythingCouldBeDone)
{
    EXPECT_EQ(Run("-a x y"), 0);
    EXPECT_TRUE(fakeshell::errors().empty());
    fakeshell::Reset();
    memfs::log().clear();
    EXPECT_EQ(Run("-a x nowhere y"), 1);
    EXPECT_EQ(Walks(), 3) << "the walk goes on to the end";
    EXPECT_NE(fakeshell::errors().find("cannot list 'nowhere'"), std::string::npos);
    ExpectSummary("Folder dates changed: 2 out of 2");
    fakeshell::Reset();
    memfs::faults().setTimeFails.insert(Path({"x", "sub"}));
    EXPECT_EQ(Run("-a -s x"), 1) << "a folder that cannot be set";
    memfs::faults().setTimeFails.clear();
    EXPECT_EQ(Run("-a -n x"), 0);
    EXPECT_EQ(Run("-a \"\""), 1) << "an empty folder is none to walk";
    fakeshell::Reset(false);
    EXPECT_EQ(Run("nowhere"), 1) << "window mode: as ever";
}

TEST_F(StartUp, TheUsageAndTheVersionAreShownAndNothingIsWalked)
{
    std::vector<std::string> asks = {"--help", "-h", "-a x -H", "-?", "-a --version x"};
    if (SLASH_STARTS_OPTION)
        asks.push_back("/? -a x");
    for (const std::string& line : asks) {
        fakeshell::Reset();
        memfs::log().clear();
        EXPECT_EQ(Run(line), 0) << line;
        EXPECT_EQ(fakeshell::output(),
                  line.find("version") != std::string::npos ? "(version)" : "(usage)")
            << line;
        EXPECT_EQ(Walks(), 0) << line;
        EXPECT_TRUE(fakeshell::boxes().empty()) << line;
        EXPECT_EQ(fakeshell::windowModeArgument(), "-") << line;
    }
    fakeshell::Reset();
    Run("-a -- --help");
    EXPECT_STREQ(programState.folderArgument, "--help") << "after --, a folder";
}

TEST_F(StartUp, AnUnknownOptionNamesItselfWhereItIsAnError)
{
    for (const char* line : {"-a -q x", "-a x -zap", "-qa x"}) {
        fakeshell::Reset();
        memfs::log().clear();
        int status = Run(line);
        if (UNKNOWN_OPTIONS_ARE_ERRORS) {
            EXPECT_EQ(status, 2) << line;
            EXPECT_EQ(Walks(), 0) << line;
            std::string word = std::string(line) == "-a x -zap" ? "-zap"
                               : line[4] == 'x'                 ? "-qa"
                                                                : "-q";
            EXPECT_EQ(fakeshell::errors(), "chronotree: unknown option '" + word + "'" + LINE_END +
                                               "chronotree: Try 'chronotree --help' for more "
                                               "information." +
                                               LINE_END)
                << line;
        } else {
            EXPECT_EQ(status, 0) << line;
            EXPECT_TRUE(fakeshell::errors().empty()) << "Windows ignores it, as it always has";
        }
    }
    EXPECT_EQ(Run("-a --unknown-long x"), 2) << "a long word no option has is refused";
    EXPECT_EQ(Walks(), 0);
}

// A long option mistyped would otherwise be taken for a folder or end the options, and a
// dry run asked for would write: every such word is refused, and the likely one named.
TEST_F(StartUp, ALongOptionNotSpelledExactlyIsRefusedWithTheOneItWasLikelyMeantToBe)
{
    const std::pair<const char*, const char*> slips[] = {
        {"-a --dryrun x", "--dry-run"},           {"-a --dry_run x", "--dry-run"},
        {"-a --Dry-Run x", "--dry-run"},          {"--verbos -a x", "--verbose"},
        {"-a --DRY-RUN x", "--dry-run"},          {"--Verbos -a x", "--verbose"},
        {"-a --onlyearlier x", "--only-earlier"}, {"-a --top=1 x", "--top"},
        {"-a --frobnicate x", nullptr},
    };
    for (const auto& slip : slips) {
        fakeshell::Reset();
        memfs::log().clear();
        EXPECT_EQ(Run(slip.first), 2) << slip.first;
        EXPECT_EQ(Walks(), 0) << slip.first;
        const std::string& errors = fakeshell::errors();
        EXPECT_EQ(errors.rfind("chronotree: unknown option '--", 0), 0u) << errors;
        if (slip.second)
            EXPECT_NE(errors.find(std::string("(did you mean '") + slip.second + "'?)"),
                      std::string::npos)
                << errors;
        else
            EXPECT_EQ(errors.find("did you mean"), std::string::npos) << errors;
    }
    // Every option has its long name, exactly as the usage spells it; -- alone ends them.
    EXPECT_EQ(Run("--automatic --silent --ignore-manager-files --dry-run --verbose x"), 0);
    EXPECT_EQ(programState.automatic + programState.silent + programState.ignoreManagerFiles +
                  programState.dryRun + programState.verbose,
              5);
    EXPECT_EQ(Walks(), 1);
    EXPECT_EQ(Run("-a --top --no-links --ignore-future --only-later -- --top"), 1)
        << "read, then walked: a folder named --top that is not there";
    EXPECT_EQ(programState.setTop + programState.noLinks + programState.ignoreFuture +
                  programState.onlyLater,
              4);
    EXPECT_STREQ(programState.folderArgument, "--top");
}

// A word of one dash is decided by its letter (-auto is -a), but on Linux one that spells
// another option's long name is refused: -version must not walk with -v, nor -no-links be
// a dry run.
TEST_F(StartUp, ASingleDashWordThatSpellsAnotherOptionIsRefusedOnLinux)
{
    const std::pair<const char*, const char*> words[] = {{"-a -version x", "--version"},
                                                         {"-a -Ignore-Future x", "--ignore-future"},
                                                         {"-a -no-links x", "--no-links"}};
    for (const auto& [line, meant] : words) {
        fakeshell::Reset();
        memfs::log().clear();
        int status = Run(line);
        if (UNKNOWN_OPTIONS_ARE_ERRORS) {
            EXPECT_EQ(status, 2) << line;
            EXPECT_EQ(Walks(), 0) << line;
            EXPECT_NE(fakeshell::errors().find(std::string("(did you mean '") + meant + "'?)"),
                      std::string::npos)
                << fakeshell::errors();
        } else {
            EXPECT_EQ(Walks(), 1) << line << ": Windows decides it by its letter";
        }
    }
    EXPECT_EQ(Run("-automatic -silent -verbose -ignore-manager-files -restore"), 2)
        << "their own letters: read, and -restore wants its list";
    EXPECT_EQ(programState.automatic + programState.silent + programState.verbose +
                  programState.ignoreManagerFiles,
              4);
}

TEST_F(StartUp, OptionsThatCannotGoTogetherOrLackWhatTheyNeedAreRefused)
{
    const char* refused[] = {"-a --only-earlier --only-later x", "-a --exclude x",
                             "-a --exclude= x", "-a --exclude=a/b x", "-a --restore"};
    for (const char* line : refused) {
        fakeshell::Reset();
        memfs::log().clear();
        EXPECT_EQ(Run(line), 2) << line;
        EXPECT_EQ(Walks(), 0) << line;
        EXPECT_FALSE(fakeshell::errors().empty()) << line;
    }
    fakeshell::Reset();
    EXPECT_EQ(Run("-a -c x"), CREATION_TIMES_SETTABLE ? 0 : 2);
    if (!CREATION_TIMES_SETTABLE) {
        EXPECT_NE(fakeshell::errors().find("--created cannot be done here"), std::string::npos);
        EXPECT_EQ(Walks(), 0);
    }
    // Patterns gather from everywhere they stand, as often as given.
    EXPECT_EQ(Run("-a --exclude=*.xmp x --exclude=*.thm"), 0);
    ASSERT_EQ(programState.excludeCount, 2);
    EXPECT_STREQ(programState.excludePatterns[1], "*.thm");
    if (UNKNOWN_OPTIONS_ARE_ERRORS) {
        EXPECT_EQ(Run("-a -x *.aae x"), 0);
        EXPECT_STREQ(programState.folderArgument, "x") << "the pattern is no folder";
        EXPECT_EQ(Run("-a x -x"), 2) << "-x needs its pattern";
        memfs::log().clear();
        EXPECT_EQ(Run("-a -x*.xmp x"), 0) << "attached, as getopt takes it";
        ASSERT_EQ(programState.excludeCount, 1);
        EXPECT_STREQ(programState.excludePatterns[0], "*.xmp");
        EXPECT_EQ(Walks(), 1) << "x, not taken for the pattern";
    }
}

// --every walks the folders again and again, writing only what differs, a line a round,
// until stopped; the round under way is finished first.
TEST_F(StartUp, EveryWalksTheFoldersAgainUntilStopped)
{
    memfs::StopAfterRounds(2);
    memfs::log().clear();
    EXPECT_EQ(Run("-a --every=60 x"), 0);
    EXPECT_EQ(Walks(), 3) << "the first walk and two rounds";
    EXPECT_EQ(programState.changesOnly, 1) << "rounds write only what differs";
    EXPECT_EQ(fakeshell::output(),
              std::string("2026-12-10 23:59:49 Folder dates changed: 0 out of 1") + LINE_END +
                  "2026-12-10 23:59:49 Folder dates changed: 0 out of 1" + LINE_END);
    ExpectSummary("Folder dates changed: 0 out of 1");
    for (const char* line : {"-a --every=0 x", "-a --every=x x", "-a --every= x", "-a --every x",
                             "-a --every=4294968 x"}) {
        fakeshell::Reset();
        memfs::log().clear();
        EXPECT_EQ(Run(line), 2) << line;
        EXPECT_EQ(Walks(), 0) << line;
    }
}

// The count of threads is taken whole from its own word, glued on, or after "=", and the
// walk asks the file layer for exactly that many; without it, for the system's choice (0).
TEST_F(StartUp, TheCountOfThreadsReachesTheFileLayerOrIsRefused)
{
    const std::pair<const char*, DWORD> taken[] = {
        {"-a x", 0}, {"-a -j 1 x", 1}, {"-a -j8 x", 8}, {"-a --jobs=64 x", 64}, {"-a x -j 3", 3}};
    for (const auto& [line, threads] : taken) {
        memfs::log().clear();
        EXPECT_EQ(Run(line), 0) << line;
        EXPECT_EQ(memfs::ThreadsAsked(), threads) << line;
        EXPECT_EQ(Walks(), 1) << line << ": the count is no folder";
        programState.jobs = 0;
    }
    const char* refused[] = {"-a -j 0 x",  "-a -j 65 x",  "-a -j x",      "-a -j 8x x",
                             "-a -j -1 x", "-a --jobs x", "-a --jobs= x", "-a x -j"};
    for (const char* line : refused) {
        fakeshell::Reset();
        memfs::log().clear();
        EXPECT_EQ(Run(line), 2) << line;
        EXPECT_EQ(Walks(), 0) << line;
        EXPECT_NE(fakeshell::errors().find("a number of threads from 1 to 64"), std::string::npos)
            << line << ": " << fakeshell::errors();
    }
}

TEST_F(StartUp, MoreWordsThanTheLimitAreRefusedBeforeAnythingIsWalked)
{
    std::string line = "-a";
    for (int i = 0; i < MAX_ARGUMENTS; i++)
        line += " x";
    EXPECT_EQ(Run(line), 1);
    EXPECT_EQ(Walks(), 0);
    ASSERT_EQ(fakeshell::boxes().size(), 1u);
    EXPECT_EQ(fakeshell::boxes()[0].caption, "Error");
    EXPECT_EQ(fakeshell::boxes()[0].type, MB_ICONERROR);
    EXPECT_NE(fakeshell::errors().find("more than 1023 words"), std::string::npos);
    fakeshell::Reset();
    EXPECT_EQ(Run("-s " + line), 1);
    EXPECT_TRUE(fakeshell::boxes().empty()) << "-s silences the box";
    EXPECT_FALSE(fakeshell::errors().empty()) << "but not standard error";
    line.resize(line.size() - 2);
    EXPECT_EQ(Run(line), 0) << "1023 words are taken";
}

TEST_F(StartUp, TheStateIsClearedOnEveryRun)
{
    Run("-a -s x");
    Run("-n -v -i y");
    Run("y");
    EXPECT_EQ(programState.automatic, 0);
    EXPECT_EQ(programState.silent, 0);
    EXPECT_EQ(programState.dryRun + programState.verbose + programState.ignoreManagerFiles, 0);
    EXPECT_EQ(programState.visitedCount, 0);
}

} // namespace
