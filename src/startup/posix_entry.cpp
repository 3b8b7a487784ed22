// The Linux command's start-up: the shell has already split the command line, so every
// argument word is one token, byte for byte. There is no window system to hand over to:
// without -a the command shows its usage.
#include "command_line.h"
#include "posix_progress.h"
#include "program_state.h"
#include "run_program.h"
#include "window_mode.h"

#include <cstdio>
#include <sys/resource.h>

namespace {

// The walk recurses once per level: the deepest tree the path buffer can spell needs about
// 3 MB of stack, three times that under AddressSanitizer. The main thread's stack grows up
// to the soft limit as it stands when it grows, so the limit is raised here (as far as the
// hard limit lets it) rather than the program run on a thread of its own: in a process of
// two threads, every growth of the descriptor table waits for the kernel (RCU), which
// costs a deep walk more than the walk itself.
constexpr rlim_t PROGRAM_STACK = 64 * 1024 * 1024;

void RaiseStackLimit()
{
    rlimit stack = {};
    if (getrlimit(RLIMIT_STACK, &stack) != 0 || stack.rlim_cur == RLIM_INFINITY ||
        stack.rlim_cur >= PROGRAM_STACK)
        return;
    stack.rlim_cur = stack.rlim_max == RLIM_INFINITY || stack.rlim_max > PROGRAM_STACK
                         ? PROGRAM_STACK
                         : stack.rlim_max;
    setrlimit(RLIMIT_STACK, &stack);
}

constexpr char USAGE[] =
    "usage: chronotree -a [-s] [-i] [-n] [-v] [--] FOLDER...\n"
    "Sets every folder below each FOLDER to the time of the newest file inside it.\n"
    "FOLDER itself keeps its time. -a and -s hold for the folders named after them;\n"
    "-i, -n and -v for the whole run, wherever they stand (-an is -a -n).\n"
    "  -a  walk the folders named after it (window mode needs Windows)\n"
    "  -s  print no summary\n"
    "  -i  leave out the files file managers write: Thumbs.db, ehthumbs.db,\n"
    "      ehthumbs_vista.db, desktop.ini, .DS_Store, Icon\\r and ._*, and the\n"
    "      folders servers write: @eaDir, .@__thumb, .AppleDouble, $RECYCLE.BIN...\n"
    "  -n  dry run: change nothing, count the folders whose time would change\n"
    "  -v  list each folder changed: old time, new time, path (UTC); folders that\n"
    "      cannot be set or listed go to standard error\n"
    "  --  end of options: every later word is a folder\n";

} // namespace

bool CreateMainWindow(HINSTANCE)
{
    if (!programState.silent)
        fputs(USAGE, stderr);
    return false;
}

int RunMessageLoop(int) { return 0; }

int main(int argc, char** argv)
{
    char* slots[MAX_ARGUMENTS + 1] = {};
    int count = 1;
    for (int i = 1; i < argc && count <= MAX_ARGUMENTS; i++)
        slots[count++] = argv[i];
    RaiseStackLimit();
    FollowWalksOnTerminal();
    return RunProgramWithTokens(nullptr, slots, count, SW_SHOWDEFAULT);
}
