// The rounds of --every: the wait between them is the platform's, on an event that the stop
// request sets; the walks themselves are the walk's own, on this thread.
#include "rounds.h"

#include "folder_walk.h"
#include "output_lines.h"
#include "program_state.h"
#include "text_builder.h"
#include "walk_report.h"

#include <windows.h>

namespace {

HANDLE stopEvent;

// Called by the platform, on a thread or in a signal handler of its own: it only sets the
// event, which the rounds look at between walks.
BOOL WINAPI RequestStop(DWORD) { return SetEvent(stopEvent); }

} // namespace

void ReportRound(int32_t changed, int32_t visited)
{
    if (programState.silent || programState.verbose)
        return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[128];
    TextBuilder line = StartText(text, sizeof text);
    const uint16_t fields[] = {now.wYear, now.wMonth,  now.wDay,
                               now.wHour, now.wMinute, now.wSecond};
    const char* const before[] = {"", "-", "-", " ", ":", ":"};
    for (int i = 0; i < 6; i++) {
        AddText(&line, before[i]);
        AddNumber(&line, fields[i], i == 0 ? 4 : 2);
    }
    AddText(&line, " Folder dates changed: ");
    AddNumber(&line, changed);
    AddText(&line, " out of ");
    AddNumber(&line, visited);
    WriteOutputLine(text);
}

HANDLE ListenForStop(const char* need)
{
    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!stopEvent || !SetConsoleCtrlHandler(RequestStop, TRUE)) {
        WriteErrorLine(need);
        CountFailure();
        return nullptr;
    }
    return stopEvent;
}

void StopListening() { SetConsoleCtrlHandler(RequestStop, FALSE); }

void RunRounds(const char* const* folders, int count)
{
    if (programState.everySeconds == 0 || count == 0)
        return;
    if (!ListenForStop("cannot wait for the next round: --every needs a console's stop events"))
        return;
    walkProgress = nullptr; // the progress line is the first walk's alone
    DWORD wait = programState.everySeconds * 1000;
    while (WaitForSingleObject(stopEvent, wait) == WAIT_TIMEOUT) {
        int32_t changed = 0, visited = 0;
        for (int i = 0; i < count; i++) {
            RunFolderWalk(folders[i]);
            changed += programState.changedCount;
            visited += programState.visitedCount;
        }
        ReportRound(changed, visited);
    }
    StopListening();
}
