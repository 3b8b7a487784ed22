// The Windows programs' usage and version: a box, unless -s asks for silence. The box's
// font is proportional, so nothing is lined up in columns of blanks or tabs: each option
// has a line of its own, its spelling and its help.
#include "option_table.h"
#include "program_state.h"
#include "text_builder.h"
#include "usage.h"

#include <windows.h>

#include <cstdlib>

namespace {

constexpr char USAGE_HEAD[] = "chronotree.exe [FOLDER]\r\n"
                              "chronotree.exe -a [-s] [OPTION...] [--] FOLDER...\r\n"
                              "chronotree.exe [-s] [-n] [-v] -r LIST\r\n\r\n"
                              "Sets each folder below FOLDER to its newest file's time; FOLDER "
                              "keeps its own. Without -a, the window opens on FOLDER.\r\n\r\n";
constexpr char USAGE_TAIL[] = "\r\n/a and /s may be written for -a and -s.\r\n\r\n"
                              "Exit status: 0 when every folder was walked and set; 1 when "
                              "anything could not be (named on standard error); 2 when the "
                              "command line cannot be read.";
constexpr size_t USAGE_SIZE = 4096;

} // namespace

void ShowUsage()
{
    char* text = static_cast<char*>(malloc(USAGE_SIZE));
    if (programState.silent || !text) {
        free(text);
        return;
    }
    TextBuilder usage = StartText(text, USAGE_SIZE);
    AddText(&usage, USAGE_HEAD);
    for (size_t i = 0; i < OPTION_COUNT; i++) {
        const OptionRow& row = OPTION_TABLE[i];
        if (!(row.platforms & ON_WINDOWS))
            continue;
        char spelled[64];
        SpellOption(row, ON_WINDOWS, spelled, sizeof spelled);
        AddText(&usage, row.name[0] ? spelled : "--");
        AddText(&usage, row.name[0] ? ": " : " "); // "-- end of options"
        AddText(&usage, row.help);
        AddText(&usage, "\r\n");
    }
    AddText(&usage, USAGE_TAIL);
    MessageBoxA(nullptr, text, "Chronotree 0.01", MB_ICONINFORMATION);
    free(text);
}

void ShowVersion()
{
    if (!programState.silent)
        MessageBoxA(nullptr, "Chronotree 0.01", "Chronotree 0.01", MB_ICONINFORMATION);
}
