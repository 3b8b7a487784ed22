// The Linux command's usage and version, and window mode, which a command line has not:
// without -a the usage goes to standard error.
#include "option_table.h"
#include "program_state.h"
#include "usage.h"
#include "window_mode.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char USAGE_HEAD[] =
    "usage: chronotree -a [-s] [-i] [-n] [-v] [-x PATTERN] [OPTION...] [--] FOLDER...\n"
    "       chronotree [-s] [-n] [-v] -r LIST\n"
    "       chronotree --help | --version\n"
    "Sets every folder below each FOLDER to the time of the newest file inside it.\n"
    "FOLDER itself keeps its time. -a and -s hold for the folders named after them;\n"
    "the others for the whole run, wherever they stand (-an is -a -n).\n";
constexpr char USAGE_TAIL[] =
    "Folders that cannot be listed or set are reported on standard error.\n"
    "Exit status: 0 when every folder was walked, listed and set (or read, with -n);\n"
    "1 when anything could not be; 2 when the command line cannot be read.\n";
// Where an option's further lines of help begin.
constexpr char CONTINUED[] = "\n             ";

// Each option as "  SPELLING" and its text from the table, for a fixed-width terminal.
void PrintUsage(FILE* to)
{
    fputs(USAGE_HEAD, to);
    for (size_t i = 0; i < OPTION_COUNT; i++) {
        const OptionRow& row = OPTION_TABLE[i];
        char spelled[64];
        SpellOption(row, ON_LINUX, spelled, sizeof spelled);
        fprintf(to, "  %s", row.name[0] ? spelled : "--");
        for (const char* at = row.usage; *at; at++)
            *at == '\n' ? fputs(CONTINUED, to) : fputc(*at, to);
        fputc('\n', to);
    }
    fputs(USAGE_TAIL, to);
}

} // namespace

void ShowUsage() { PrintUsage(stdout); }

void ShowVersion() { puts("chronotree 0.01"); }

// A word the shell takes as it is, or one put in single quotes.
void PrintShellWord(const char* word)
{
    bool plain = *word != '\0';
    for (const char* at = word; *at && plain; at++)
        plain = strchr("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_./,:=+@%-",
                       *at) != nullptr;
    if (plain) {
        fputs(word, stderr);
        return;
    }
    fputc('\'', stderr);
    for (const char* at = word; *at; at++)
        *at == '\'' ? fputs("'\\''", stderr) : fputc(*at, stderr);
    fputc('\'', stderr);
}

// A folder named without -a is not walked: one line says how to walk it, -s or not, since
// a command that does nothing must say why.
bool CreateMainWindow(HINSTANCE)
{
    const char* folder = programState.folderArgument;
    if (folder) {
        fprintf(stderr, "chronotree: to walk %s, add -a: chronotree -a ", folder);
        PrintShellWord(folder);
        fputc('\n', stderr);
    } else if (!programState.silent) {
        PrintUsage(stderr);
    }
    return false;
}

int WindowModeFailure() { return programState.folderArgument ? 2 : 1; }

int RunMessageLoop(int) { return 0; }
