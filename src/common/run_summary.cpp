// Formats the latest walk's counters and shows them under the caption "Done!"; on Windows
// the box also tells of what could not be done.
#include "run_summary.h"

#include "platform_config.h"
#include "program_state.h"
#include "walk_report.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The top folder could not be listed: the box names it and the reason, not "0 out of 0".
void ShowTopUnlisted(UINT front)
{
    char reason[512];
    DescribeError(programState.topError, reason, sizeof reason);
    const char* top = programState.latestTop ? programState.latestTop : "";
    size_t size = strlen(top) + sizeof reason + 64;
    char* text = static_cast<char*>(malloc(size));
    if (!text)
        return;
    snprintf(text, size, "Cannot list the folder \"%s\":\n%s.", top, reason);
    MessageBoxA(programState.mainWindow, text, "Error", MB_ICONERROR | front);
    free(text);
}

} // namespace

void ShowRunSummary()
{
    // Over its window, the box comes to the front with the focus, so Enter dismisses it.
    UINT front = programState.mainWindow ? MB_SETFOREGROUND : 0;
    if (SUMMARY_TELLS_FAILURES && programState.topUnlisted) {
        ShowTopUnlisted(front);
        return;
    }
    char text[1024];
    // A dry run says so; with no walk at all, -n alone decides.
    bool dry = programState.latestWalk == WALK_DRY ||
               (programState.latestWalk == WALK_NONE && programState.dryRun);
    // Two 32-bit counts cannot come near the buffer's size.
    int length = sprintf(text,
                         dry ? "Folder dates that would change: %d out of %d"
                             : "Folder dates changed: %d out of %d",
                         programState.changedCount, programState.visitedCount);
    UINT icon = MB_ICONINFORMATION;
    int failures = programState.latestFailures;
    if (SUMMARY_TELLS_FAILURES && failures > 0) {
        sprintf(text + length, "\n%d %s could not be %s.", failures,
                failures == 1 ? "folder" : "folders", dry ? "listed or read" : "listed or set");
        icon = MB_ICONWARNING;
    }
    MessageBoxA(programState.mainWindow, text, "Done!", icon | front);
}
