// The Linux command's usage and version, and window mode, which a command line has not:
// without -a the usage goes to standard error.
#include "program_state.h"
#include "usage.h"
#include "window_mode.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char USAGE[] =
    "usage: chronotree -a [-s] [-i] [-n] [-v] [-x PATTERN] [OPTION...] [--] FOLDER...\n"
    "       chronotree [-s] [-n] [-v] -r LIST\n"
    "       chronotree --help | --version\n"
    "Sets every folder below each FOLDER to the time of the newest file inside it.\n"
    "FOLDER itself keeps its time. -a and -s hold for the folders named after them;\n"
    "the others for the whole run, wherever they stand (-an is -a -n).\n"
    "  -a, --automatic  walk the folders named after it (window mode needs Windows)\n"
    "  -s, --silent     print no summary and no progress line\n"
    "  -i, --ignore-manager-files\n"
    "             leave out the files file managers write: Thumbs.db, ehthumbs.db,\n"
    "             ehthumbs_vista.db, desktop.ini, .DS_Store, Icon\\r and ._*, and the\n"
    "             folders servers and systems write: @eaDir, .@__thumb, .AppleDouble,\n"
    "             .Spotlight-V100, .fseventsd, .Trashes, .TemporaryItems, $RECYCLE.BIN,\n"
    "             System Volume Information, .Trash-NNNN\n"
    "  -n, --dry-run  change nothing, count the folders whose time would change\n"
    "  -v, --verbose  list each folder changed on standard output: old time, new time,\n"
    "             path (UTC, to the nanosecond), a list that -r takes back\n"
    "  -r LIST, --restore=LIST\n"
    "             restore: set each folder of a -v list back to its old time, if its\n"
    "             time is still the one the list gave it\n"
    "  -x PATTERN, --exclude=PATTERN\n"
    "             a file so named counts as no file, a folder so named is left out\n"
    "             (* and ? as the shell matches names, exact bytes; as often as wanted)\n"
    "  --only-earlier  set a folder only when its new time is earlier than its own\n"
    "  --only-later    set a folder only when its new time is later than its own\n"
    "  --ignore-future leave out files dated more than a day after the run began\n"
    "             (each such file is named on standard error in any case)\n"
    "  --top      set FOLDER itself too, once its walk is done\n"
    "  --no-links do not enter symbolic links to folders; they count as nothing\n"
    "  -c, --created   set creation times too: refused here, Linux keeps none to set\n"
    "  -j N, --jobs=N  N threads (1 to 64) read folders ahead and write times behind;\n"
    "             without it: 64 on a network file system, up to 4 on a solid-state disk\n"
    "             once its reads are seen to wait, else 1. Every result is the same\n"
    "             whatever N\n"
    "  --         end of options: every later word is a folder\n"
    "  -h, --help     print this and exit\n"
    "  --version      print the version and exit\n"
    "Folders that cannot be listed or set are reported on standard error.\n"
    "Exit status: 0 when every folder was walked, listed and set (or read, with -n);\n"
    "1 when anything could not be; 2 when the command line cannot be read.\n";

} // namespace

void ShowUsage() { fputs(USAGE, stdout); }

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
        fputs(USAGE, stderr);
    }
    return false;
}

int WindowModeFailure() { return programState.folderArgument ? 2 : 1; }

int RunMessageLoop(int) { return 0; }
