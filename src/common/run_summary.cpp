// Formats the latest walk's counters and shows them under the caption "Done!".
#include "run_summary.h"

#include "program_state.h"

#include <cstdio>

void ShowRunSummary()
{
    char text[1024];
    // A dry run says so; with no walk at all, -n alone decides.
    bool dry = programState.latestWalk == WALK_DRY ||
               (programState.latestWalk == WALK_NONE && programState.dryRun);
    // Two 32-bit counts cannot come near the buffer's size.
    sprintf(text,
            dry ? "Folder dates that would change: %d out of %d"
                : "Folder dates changed: %d out of %d",
            programState.changedCount, programState.visitedCount);
    // Over its window, the box comes to the front with the focus, so Enter dismisses it.
    UINT front = programState.mainWindow ? MB_SETFOREGROUND : 0;
    MessageBoxA(programState.mainWindow, text, "Done!", MB_ICONINFORMATION | front);
}
