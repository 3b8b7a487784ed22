// The Windows programs' usage and version: a box, unless -s asks for silence.
#include "program_state.h"
#include "usage.h"

#include <windows.h>

namespace {

// Kept short: every byte counts in a 32-bit program that should stay within 64 KiB.
constexpr char USAGE[] = "chronotree.exe [FOLDER]\r\n"
                         "chronotree.exe -a [-s] [-i] [-n] [-v] [-c] [OPTION...] [--] FOLDER...\r\n"
                         "chronotree.exe [-s] [-n] [-v] -r LIST\r\n\r\n"
                         "Sets each folder below FOLDER to its newest file's time.\r\n"
                         "-a\twalk the folders after it\r\n"
                         "-s\tno box\r\n"
                         "-i\tleave out Thumbs.db, desktop.ini, @eaDir...\r\n"
                         "-n\tdry run: change nothing\r\n"
                         "-v\tlist each change (old, new, path)\r\n"
                         "-r LIST\tput back the old times a -v list kept\r\n"
                         "-c\tset creation times too (--created)\r\n"
                         "--exclude=PATTERN\tleave out names such as *.xmp\r\n"
                         "--only-earlier, --only-later\tmove dates one way only\r\n"
                         "--ignore-future\tleave out files dated in the future\r\n"
                         "--top\tset FOLDER too\r\n"
                         "--no-links\tdo not enter links and junctions\r\n"
                         "-j N\tthreads that read ahead and write behind\r\n"
                         "--\tend of options\r\n\r\n"
                         "Failures go to standard error; exit status 1.";

} // namespace

void ShowUsage()
{
    if (!programState.silent)
        MessageBoxA(nullptr, USAGE, "Chronotree 0.01", MB_ICONINFORMATION);
}

void ShowVersion()
{
    if (!programState.silent)
        MessageBoxA(nullptr, "Chronotree 0.01", "Chronotree 0.01", MB_ICONINFORMATION);
}
