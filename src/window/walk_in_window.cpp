// The walk runs inside the window procedure, so the window answers only where the walk
// lets it: the walk tells of every entry it reads, and by the clock (never by the folder)
// the waiting messages are handled and the label redrawn.
#include "walk_in_window.h"

#include "keep_watch.h"

#include "folder_walk.h"
#include "program_state.h"
#include "text_builder.h"
#include "wide_text.h"

#include <cstdlib>
#include <cstring>

namespace {

// Messages are handled at least this often, well inside what makes Windows call a window
// "not responding" (5 seconds) and what a person notices.
constexpr DWORD MESSAGES_EVERY_MS = 40;
constexpr DWORD PROGRESS_EVERY_MS = 250;
// Under Wine a look at the clock costs about a microsecond, which on every entry would
// add some 4% to a walk; entries come from memory, so every 64th is often enough.
constexpr unsigned ENTRIES_PER_LOOK = 64;

DWORD lastMessages;
DWORD lastProgress;
unsigned entries;

void HandleMessagesByTheClock(DWORD now)
{
    if (now - lastMessages < MESSAGES_EVERY_MS)
        return;
    lastMessages = now;
    HandlePendingMessages();
}

void Pulse()
{
    if (++entries % ENTRIES_PER_LOOK == 0)
        HandleMessagesByTheClock(GetTickCount());
}

// Every folder looks at the clock: a folder's listing may take long (a network share).
void Progress(const char* folder)
{
    if (!folder)
        return;
    DWORD now = GetTickCount();
    if (now - lastProgress >= PROGRESS_EVERY_MS) {
        lastProgress = now;
        ShowWalkProgress(folder);
    }
    HandleMessagesByTheClock(now);
}

int TextWidth(HDC context, const wchar_t* text, size_t length)
{
    SIZE size = {};
    GetTextExtentPoint32W(context, text, static_cast<int>(length), &size);
    return size.cx;
}

// The first unit of `path` from which "..." and the rest fit `room` pixels: the fewest
// units cut, never inside a surrogate pair.
size_t FirstShown(HDC context, const wchar_t* path, size_t length, int room)
{
    if (TextWidth(context, path, length) <= room)
        return 0;
    int dots = TextWidth(context, L"...", 3);
    size_t low = 1, high = length;
    while (low < high) {
        size_t middle = (low + high) / 2;
        if (dots + TextWidth(context, path + middle, length - middle) <= room)
            high = middle;
        else
            low = middle + 1;
    }
    if (low < length && path[low] >= 0xDC00 && path[low] < 0xE000)
        low++;
    return low;
}

// The label draws '&' as a prefix mark: each one is doubled to show as itself.
void SetLabelText(const wchar_t* text)
{
    size_t length = wcslen(text), ampersands = 0;
    for (size_t i = 0; i < length; i++)
        ampersands += text[i] == L'&';
    wchar_t* shown = static_cast<wchar_t*>(calloc(length + ampersands + 1, sizeof(wchar_t)));
    if (!shown)
        return;
    for (size_t i = 0, at = 0; i < length; i++) {
        shown[at++] = text[i];
        if (text[i] == L'&')
            shown[at++] = L'&';
    }
    SetWindowTextW(programState.folderLabel, shown);
    free(shown);
}

} // namespace

void HandlePendingMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) { // not ours to take: the loop outside ends on it
            PostQuitMessage(static_cast<int>(message.wParam));
            programState.stopRequested = 1;
            return;
        }
        DispatchWindowMessage(&message);
    }
}

void FollowWalkInWindow()
{
    lastMessages = lastProgress = GetTickCount() - PROGRESS_EVERY_MS; // shown at once
    walkProgress = Progress;
    walkPulse = Pulse;
}

void StopFollowingWalk()
{
    walkProgress = nullptr;
    walkPulse = nullptr;
    SetWindowTextA(programState.folderLabel, "Folder:");
}

namespace {

// "Kept up to date: 3 set at 14:05:09 (Escape stops)"
void ShowWatchRound(int32_t changed)
{
    if (changed == 0)
        return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t text[128];
    wsprintfW(text, L"Kept up to date: %d set at %02u:%02u:%02u (Escape stops)", changed, now.wHour,
              now.wMinute, now.wSecond);
    SetLabelText(text);
}

} // namespace

void KeepFolderInWindow(const char* folder)
{
    if (!programState.stopRequested)
        SetLabelText(L"Keeping up to date (Escape stops)");
    walkProgress = nullptr;
    walkPulse = HandlePendingMessages;
    watchRoundEnded = ShowWatchRound;
    RunWatch(&folder, 1); // stopped already, it only lets the watch go
    watchRoundEnded = nullptr;
}

void ShowWalkProgress(const char* folder)
{
    char counts[64];
    TextBuilder line = StartText(counts, sizeof counts);
    AddNumber(&line, programState.visitedCount);
    AddText(&line, " folders, ");
    AddNumber(&line, programState.changedCount);
    AddText(&line, programState.dryRun ? " would change: " : " set: ");
    size_t countsLength = strlen(counts), folderLength = strlen(folder);
    if (folderLength > 1 && (folder[folderLength - 1] == '\\'))
        folderLength--; // shown without its trailing separator
    size_t room = countsLength + folderLength + 4;
    wchar_t* text = static_cast<wchar_t*>(calloc(room, sizeof(wchar_t)));
    if (!text)
        return;
    size_t prefix = WideFromUtf8(counts, countsLength, text, room);
    size_t path = WideFromUtf8(folder, folderLength, text + prefix, room - prefix);
    RECT client = {};
    GetClientRect(programState.folderLabel, &client);
    HDC context = GetDC(programState.folderLabel);
    HGDIOBJ font = SelectObject(context, reinterpret_cast<HGDIOBJ>(SendMessageW(
                                             programState.folderLabel, WM_GETFONT, 0, 0)));
    int left = client.right - TextWidth(context, text, prefix);
    size_t first = FirstShown(context, text + prefix, path, left > 0 ? left : 0);
    SelectObject(context, font);
    ReleaseDC(programState.folderLabel, context);
    if (first > 0) { // "..." and the end of the path take the place of its start
        memcpy(text + prefix, L"...", 3 * sizeof(wchar_t));
        memmove(text + prefix + 3, text + prefix + first, (path - first + 1) * sizeof(wchar_t));
    }
    SetLabelText(text);
    free(text);
}

// With the dialog keyboard handling: Tab and Shift+Tab move between the controls, Enter
// presses the focused button or else the default one.
void DispatchWindowMessage(MSG* message)
{
    if (programState.mainWindow && IsDialogMessageW(programState.mainWindow, message))
        return;
    TranslateMessage(message);
    DispatchMessageW(message);
}

void EnableControls(bool enable)
{
    const HWND controls[] = {programState.folderLabel, programState.folderEdit,
                             programState.browseButton, programState.setButton};
    for (HWND control : controls)
        EnableWindow(control, enable);
}
