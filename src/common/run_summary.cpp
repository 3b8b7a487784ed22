// Formats the latest walk's counters and shows them under the caption "Done!".
#include "run_summary.h"

#include "program_state.h"

#include <cstdio>

void ShowRunSummary()
{
    char text[1024];
    // Two 32-bit counts cannot come near the buffer's size.
    sprintf(text, "Folder dates changed: %d out of %d", programState.changedCount,
            programState.visitedCount);
    MessageBoxA(programState.mainWindow, text, "Done!", MB_ICONINFORMATION);
}
