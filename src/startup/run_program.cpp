// Resets the state, applies the command line, then runs automatic or window mode.
#include "run_program.h"

#include "command_line.h"
#include "program_state.h"
#include "run_summary.h"
#include "window_mode.h"

int RunProgramWithTokens(HINSTANCE instance, char** slots, int count, int showState)
{
    ResetProgramState();
    ApplyArguments(slots, count);
    if (!programState.automatic) {
        if (!CreateMainWindow(instance))
            return 1;
        return RunMessageLoop(showState);
    }
    if (!programState.silent)
        ShowRunSummary(); // no window exists, so the box has no owner
    return 0;
}

int RunProgram(HINSTANCE instance, char* commandTail, int showState)
{
    char* slots[MAX_ARGUMENTS + 1] = {};
    int count = SplitCommandTail(commandTail, slots);
    return RunProgramWithTokens(instance, slots, count, showState);
}
