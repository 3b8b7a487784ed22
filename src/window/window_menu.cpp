// The options as menu items: each toggles the flag the command line would set, so a run
// from the window behaves as the same run from a command line; and the undo of the last run.
#include "window_menu.h"

#include "program_state.h"
#include "restore_list.h"
#include "run_summary.h"
#include "text_builder.h"
#include "walk_in_window.h"
#include "walk_report.h"

#include <cstdlib>
#include <cstring>

namespace {

bool undoAvailable;

HMENU Menu() { return GetSystemMenu(programState.mainWindow, FALSE); }

void ShowChecks()
{
    HMENU menu = Menu();
    for (size_t i = 0; i < OPTION_COUNT; i++) {
        const OptionRow& row = OPTION_TABLE[i];
        if (row.menuItem)
            CheckMenuItem(menu, row.menuItem,
                          MF_BYCOMMAND | (programState.*row.flag ? MF_CHECKED : MF_UNCHECKED));
    }
    EnableMenuItem(menu, IDM_UNDO, MF_BYCOMMAND | (undoAvailable ? MF_ENABLED : MF_GRAYED));
    // A dry run shows on the button that starts it.
    SetWindowTextW(programState.setButton,
                   programState.dryRun ? L"Show what would change" : L"Set date to newest file");
}

// "Leaving out: *.xmp, *.thm": the patterns come from the command line only.
void AddPatternsItem(HMENU menu)
{
    if (programState.excludeCount == 0)
        return;
    size_t size = 32;
    for (int32_t i = 0; i < programState.excludeCount; i++)
        size += strlen(programState.excludePatterns[i]) + 2;
    char* text = static_cast<char*>(malloc(size));
    if (!text)
        return;
    TextBuilder line = StartText(text, size);
    AddText(&line, "Leaving out: ");
    for (int32_t i = 0; i < programState.excludeCount; i++) {
        AddText(&line, i ? ", " : "");
        AddText(&line, programState.excludePatterns[i]);
    }
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    wchar_t* wide =
        units > 0 ? static_cast<wchar_t*>(calloc(static_cast<size_t>(units), 2)) : nullptr;
    if (wide && MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, units) > 0)
        AppendMenuW(menu, MF_STRING | MF_GRAYED, IDM_PATTERNS, wide);
    free(wide);
    free(text);
}

// Sets every folder the last run changed back to its old time, as -r does from its list:
// only where the folder still carries the time the run gave it.
void UndoLastRun()
{
    size_t length = 0;
    const char* kept = KeptChanges(&length);
    if (!undoAvailable || !kept || programState.walkRunning)
        return;
    char* copy = static_cast<char*>(malloc(length + 1));
    if (!copy)
        return;
    memcpy(copy, kept, length);
    copy[length] = '\0';
    undoAvailable = false;
    EnableControls(false);
    RunRestoreFromText("the last run", copy, length);
    free(copy);
    if (!programState.silent)
        ShowRunSummary();
    EnableControls(true);
    ShowChecks();
}

void Toggle(const OptionRow& row)
{
    programState.*row.flag = !(programState.*row.flag);
    // Only earlier and only later exclude each other.
    if (row.menuItem == IDM_ONLY_EARLIER && programState.onlyEarlier)
        programState.onlyLater = 0;
    if (row.menuItem == IDM_ONLY_LATER && programState.onlyLater)
        programState.onlyEarlier = 0;
    ShowChecks();
}

} // namespace

void AddOptionsToMenu()
{
    undoAvailable = false;
    HMENU menu = Menu();
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    // In the order of their identifiers, which the table's order (the usage's) need not be.
    for (UINT item = IDM_MANAGER_FILES; item < IDM_OPTIONS_END; item += 16) {
        for (size_t i = 0; i < OPTION_COUNT; i++) {
            const OptionRow& row = OPTION_TABLE[i];
            if (row.menuItem == item)
                AppendMenuW(menu, MF_STRING, item, row.menuText);
        }
    }
    AddPatternsItem(menu);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_UNDO, L"Undo the last run");
    ShowChecks();
}

void ShowOptionsMenu(LPARAM at)
{
    POINT place = {static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (place.x == -1 && place.y == -1) { // from the keyboard: at the window's corner
        place = POINT{0, 0};
        ClientToScreen(programState.mainWindow, &place);
    }
    UINT chosen = static_cast<UINT>(TrackPopupMenu(Menu(), TPM_RETURNCMD | TPM_RIGHTBUTTON, place.x,
                                                   place.y, 0, programState.mainWindow, nullptr));
    if (chosen)
        PostMessageW(programState.mainWindow, WM_SYSCOMMAND, chosen, 0);
}

bool HandleMenuCommand(WPARAM command)
{
    UINT identifier = static_cast<UINT>(command & 0xFFF0);
    if (programState.walkRunning && identifier >= IDM_MANAGER_FILES && identifier < IDM_OPTIONS_END)
        return true; // nothing changes under a walk
    if (identifier == IDM_UNDO) {
        UndoLastRun();
        return true;
    }
    for (size_t i = 0; i < OPTION_COUNT; i++) {
        const OptionRow& row = OPTION_TABLE[i];
        if (row.menuItem && row.menuItem == identifier) {
            Toggle(row);
            return true;
        }
    }
    return identifier == IDM_PATTERNS;
}

void NoteWindowRun()
{
    size_t length = 0;
    undoAvailable = !programState.dryRun && KeptChanges(&length) != nullptr;
    ShowChecks();
}
