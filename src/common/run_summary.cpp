// Formats the latest walk's counters and shows them under the caption "Done!"; on Windows
// the box also tells of what could not be done.
#include "run_summary.h"

#include "output_lines.h"
#include "platform_config.h"
#include "program_state.h"
#include "text_builder.h"

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
    TextBuilder box = StartText(text, size);
    bool list = programState.latestWalk >= WALK_RESTORE;
    AddText(&box, list ? "Cannot read the list \"" : "Cannot list the folder \"");
    AddText(&box, top);
    AddText(&box, "\":\n");
    AddText(&box, reason);
    AddText(&box, ".");
    MessageBoxA(programState.mainWindow, text, "Error", MB_ICONERROR | front);
    free(text);
}

// "Folder dates changed: N out of M", or what a dry run or a restore says; returns whether
// it tells of a dry run.
bool AddCounts(TextBuilder* text)
{
    // A dry run says so; with no walk at all, -n alone decides.
    uint8_t kind = programState.latestWalk;
    bool dry =
        kind == WALK_DRY || kind == WALK_RESTORE_DRY || (kind == WALK_NONE && programState.dryRun);
    const char* what = kind == WALK_RESTORE       ? "Folder dates restored: "
                       : kind == WALK_RESTORE_DRY ? "Folder dates that would be restored: "
                       : dry                      ? "Folder dates that would change: "
                                                  : "Folder dates changed: ";
    AddText(text, what);
    AddNumber(text, programState.changedCount);
    AddText(text, " out of ");
    AddNumber(text, programState.visitedCount);
    return dry;
}

} // namespace

void WriteSummaryLine()
{
    char text[256];
    TextBuilder line = StartText(text, sizeof text);
    AddCounts(&line);
    WriteOutputLine(text);
}

void ShowRunSummary()
{
    // Over its window, the box comes to the front with the focus, so Enter dismisses it.
    UINT front = programState.mainWindow ? MB_SETFOREGROUND : 0;
    if (SUMMARY_TELLS_FAILURES && programState.topUnlisted) {
        ShowTopUnlisted(front);
        return;
    }
    char text[1024];
    TextBuilder box = StartText(text, sizeof text);
    uint8_t kind = programState.latestWalk;
    bool dry = AddCounts(&box);
    UINT icon = MB_ICONINFORMATION;
    int failures = programState.latestFailures;
    if (SUMMARY_TELLS_FAILURES && failures > 0) {
        AddText(&box, "\n");
        AddNumber(&box, failures);
        AddText(&box, failures == 1 ? " folder" : " folders");
        AddText(&box, kind >= WALK_RESTORE ? " could not be restored."
                      : dry                ? " could not be listed or read."
                                           : " could not be listed or set.");
        icon = MB_ICONWARNING;
    }
    // A file dated in the future gives every folder above it that date: the box says how
    // many there were, and whether they counted.
    int future = programState.futureCount;
    if (SUMMARY_TELLS_FAILURES && future > 0 && kind < WALK_RESTORE) {
        AddText(&box, "\n");
        AddNumber(&box, future);
        AddText(&box, future == 1 ? " file is" : " files are");
        AddText(&box, programState.ignoreFuture ? " dated in the future, and left out."
                                                : " dated in the future.");
        icon = MB_ICONWARNING;
    }
    MessageBoxA(programState.mainWindow, text, "Done!", icon | front);
}
