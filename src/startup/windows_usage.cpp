// The Windows programs' usage and version: a box, unless -s asks for silence.
#include "program_state.h"
#include "usage.h"

#include <windows.h>

namespace {

constexpr char USAGE[] =
    "chronotree.exe [FOLDER]\r\n"
    "chronotree.exe -a [-s] [-i] [-n] [-v] [--] FOLDER...\r\n"
    "chronotree.exe -a [-s] [-n] [-v] -r LIST\r\n"
    "\r\n"
    "Sets every folder below each FOLDER to the time of the newest file inside it; "
    "FOLDER itself keeps its time. Without -a the window opens, with FOLDER in its field.\r\n"
    "\r\n"
    "-a\twalk the folders named after it, then show a summary\r\n"
    "-s\tshow no box\r\n"
    "-i\tleave out the files file managers write (Thumbs.db, desktop.ini, .DS_Store...) "
    "and the folders servers and systems write (@eaDir, $RECYCLE.BIN...)\r\n"
    "-n\tdry run (also --dry-run): change nothing, count what would change\r\n"
    "-v\tlist each folder changed: old time, new time, path, to standard output\r\n"
    "-r LIST\trestore the old times a -v list gives\r\n"
    "--\tend of options\r\n"
    "/?, -h\tshow this\r\n"
    "\r\n"
    "Options may begin with / too. Folders that cannot be listed or set go to standard "
    "error. Exit status: 0 when everything was done, 1 when anything could not be.";

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
