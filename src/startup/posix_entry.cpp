// The Linux command's start-up: the shell has already split the command line, so every
// argument word is one token, byte for byte, however many there are.
#include "command_line.h"
#include "folder_walk.h"
#include "posix_progress.h"
#include "run_program.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

extern char** environ;

namespace {

// The walk recurses once per level: the deepest tree the path buffer can spell needs about
// 3 MB of stack, three times that under AddressSanitizer. The main thread's stack grows up
// to the soft limit as it stands when it grows, so the limit is raised here (as far as the
// hard limit lets it) rather than the program run on a thread of its own: in a process of
// two threads, every growth of the descriptor table waits for the kernel (RCU), which
// costs a deep walk more than the walk itself.
constexpr rlim_t PROGRAM_STACK = 64 * 1024 * 1024;
// What the deepest folder's own calls may take below the floor: listing, reporting.
constexpr uintptr_t STACK_RESERVE = 512 * 1024;
constexpr uintptr_t PAGE = 4096;

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

uintptr_t HighestEnd(char** strings, uintptr_t highest)
{
    for (; strings && *strings; strings++) {
        uintptr_t end = reinterpret_cast<uintptr_t>(*strings) + strlen(*strings) + 1;
        highest = end > highest ? end : highest;
    }
    return highest;
}

// Where the hard limit keeps the stack small (2 MiB in some containers), a deep tree would
// overrun it: the walk stops descending where the limit in force ends. The stack starts
// just above the arguments and the environment, which take part of the limit.
void BoundTheStack(char** argv)
{
    rlimit stack = {};
    if (getrlimit(RLIMIT_STACK, &stack) != 0 || stack.rlim_cur == RLIM_INFINITY)
        return;
    uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    uintptr_t top = (HighestEnd(environ, HighestEnd(argv, here)) + 2 * PAGE) & ~(PAGE - 1);
    uintptr_t limit = static_cast<uintptr_t>(stack.rlim_cur);
    uintptr_t reserve = limit / 4 < STACK_RESERVE ? limit / 4 : STACK_RESERVE;
    uintptr_t used = top - here + reserve;
    walkStackFloor = reinterpret_cast<const char*>(used < limit ? here - (limit - used) : here);
}

} // namespace

int main(int argc, char** argv)
{
    char** slots = static_cast<char**>(calloc(static_cast<size_t>(argc) + 1, sizeof(char*)));
    if (!slots)
        return 1;
    for (int i = 1; i < argc; i++)
        slots[i] = argv[i];
    RaiseStackLimit();
    BoundTheStack(argv);
    FollowWalksOnTerminal();
    int status = RunProgramWithTokens(nullptr, slots, argc < 1 ? 1 : argc, SW_SHOWDEFAULT);
    free(slots);
    return status;
}
