// Resets the state, applies the command line, then runs automatic or window mode.
#include "run_program.h"

#include "command_line.h"
#include "keep_watch.h"
#include "platform_config.h"
#include "program_state.h"
#include "rounds.h"
#include "run_summary.h"
#include "text_builder.h"
#include "usage.h"
#include "walk_report.h"
#include "window_mode.h"

namespace {

// Exit statuses of the automatic run.
constexpr int EXIT_ALL_DONE = 0;
constexpr int EXIT_SOMETHING_FAILED = 1;
constexpr int EXIT_COMMAND_LINE_UNREADABLE = 2;

// On standard error, and on Windows in a box too (unless -s), since a program started from
// a shortcut has no standard error to show.
int RefuseCommandLine(const char* text, const char* hint = nullptr)
{
    WriteErrorLine(text);
    if (hint)
        WriteErrorLine(hint);
    if (HAS_WINDOW && !programState.silent)
        MessageBoxA(nullptr, text, "Error", MB_ICONERROR);
    return EXIT_COMMAND_LINE_UNREADABLE;
}

// A long option mistyped is named with the one it most likely was: "--dryrun" must not walk
// for real what a dry run was asked for.
int RefuseUnknownOption(const char* option)
{
    char text[512], meant[64];
    TextBuilder line = StartText(text, sizeof text);
    AddText(&line, "unknown option '");
    AddText(&line, option);
    AddText(&line, "'");
    if (SuggestLongOption(option, meant, sizeof meant)) {
        AddText(&line, " (did you mean '");
        AddText(&line, meant);
        AddText(&line, "'?)");
    }
    return RefuseCommandLine(text, "Try 'chronotree --help' for more information.");
}

// "-r" asks for a list after it.
int RefuseRestoreWithoutList()
{
    RefuseCommandLine("-r needs the list to restore from: -r LIST");
    // The Windows programs have always ended such a run with 1.
    return UNKNOWN_OPTIONS_ARE_ERRORS ? EXIT_COMMAND_LINE_UNREADABLE : EXIT_SOMETHING_FAILED;
}

// Words past the last one taken would be folders left unwalked without a word: nothing
// is walked instead.
int RefuseTooManyWords(char** slots, int count)
{
    char text[128];
    TextBuilder line = StartText(text, sizeof text);
    AddText(&line, "The command line holds more than ");
    AddNumber(&line, MAX_ARGUMENTS);
    AddText(&line, " words, so nothing was done.");
    ResetProgramState();
    ReadRunOptions(slots, count);
    WriteErrorLine(text);
    if (!programState.silent)
        MessageBoxA(nullptr, text, "Error", MB_ICONERROR);
    return EXIT_SOMETHING_FAILED;
}

} // namespace

int RunProgramWithTokens(HINSTANCE instance, char** slots, int count, int showState)
{
    ResetProgramState();
    ApplyArguments(slots, count);
    if (programState.unknownOption)
        return RefuseUnknownOption(programState.unknownOption);
    if (programState.refusal)
        return RefuseCommandLine(programState.refusal);
    if (programState.restoreWithoutList)
        return RefuseRestoreWithoutList();
    if (programState.usageAsked || programState.versionAsked) {
        programState.usageAsked ? ShowUsage() : ShowVersion();
        return EXIT_ALL_DONE;
    }
    // A Linux command asked to walk and given nothing to walk must not say that all is well
    // (-x may have taken the folder as its pattern). The Windows programs show their box.
    if (programState.automatic && programState.walksStarted == 0 && UNKNOWN_OPTIONS_ARE_ERRORS)
        return RefuseCommandLine("no folder to walk: chronotree -a FOLDER...",
                                 "Try 'chronotree --help' for more information.");
    if (!programState.automatic) {
        if (!CreateMainWindow(instance))
            return WindowModeFailure();
        return RunMessageLoop(showState);
    }
    int walked = 0;
    const char* const* folders = WalkedFolders(&walked);
    programState.watch ? RunWatch(folders, walked) : RunRounds(folders, walked);
    if (SUMMARY_TO_OUTPUT)
        WriteSummaryLine();
    if (!programState.silent)
        ShowRunSummary(); // no window exists, so the box has no owner
    return programState.failureCount > 0 ? EXIT_SOMETHING_FAILED : EXIT_ALL_DONE;
}

int RunProgram(HINSTANCE instance, char* commandTail, int showState)
{
    char* slots[MAX_ARGUMENTS + 1] = {};
    bool tooMany = false;
    int count = SplitCommandTail(commandTail, slots, &tooMany);
    if (tooMany)
        return RefuseTooManyWords(slots, count);
    return RunProgramWithTokens(instance, slots, count, showState);
}
