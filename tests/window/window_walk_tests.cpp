// The window during a walk and at the keyboard, inside this process: the walk runs on the
// window's thread, so a thread timer shows what the window does meanwhile.
#include "box_catcher.h"
#include "main_window.h"
#include "program_state.h"
#include "real_keys.h"
#include "run_program.h"
#include "scratch.h"
#include "walk_in_window.h"
#include "window_commands.h"
#include "window_menu.h"
#include "window_mode.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstdio>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int TREE_FOLDERS = 3000;
constexpr uint64_t FIRST_TIME = 132592359670000000ull; // 2021
constexpr FILETIME FOLDER_TIME = {0x3C2B8000, 0x01C07385}; // 2001-01-01

uint64_t Ticks(FILETIME time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME FIRST_TIME_PLUS_DAY()
{
    uint64_t ticks = FIRST_TIME + 864000000000ull;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// TREE_FOLDERS folders side by side, each with one file of its own time: long enough to
// walk under Wine for many rounds of messages.
std::string MakeTree()
{
    std::string top = MakeScratchFolder();
    for (int i = 0; i < TREE_FOLDERS; i++) {
        std::string folder = top + "\\d" + std::to_string(i);
        MakeFolder(folder);
        uint64_t ticks = FIRST_TIME + i;
        MakeFile(folder + "\\f",
                 FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)});
        SetTimes(folder, FOLDER_TIME, FOLDER_TIME);
    }
    return top;
}

std::string LabelText()
{
    char text[512] = {};
    GetWindowTextA(programState.folderLabel, text, sizeof text);
    return text;
}

// A walk stopped midway: every folder of the tree is either set right or untouched.
// Returns how many were set.
int SetOrUntouched(const std::string& tree)
{
    int set = 0;
    for (int i = 0; i < TREE_FOLDERS; i++) {
        FILETIME lastWrite, lastAccess;
        EXPECT_TRUE(ReadTimes(tree + "\\d" + std::to_string(i), &lastWrite, &lastAccess));
        if (Ticks(lastWrite) == FIRST_TIME + i)
            set++;
        else
            EXPECT_EQ(Ticks(lastWrite), Ticks(FOLDER_TIME)) << i;
    }
    return set;
}

// What each tick of the thread timer does, and what it saw.
std::function<void()> onTick;
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) { onTick(); }

class WindowAtWork : public ::testing::Test {
protected:
    // A window destroyed earlier left its quit message, which would stop the next walk.
    static void ForgetQuitMessages()
    {
        MSG message;
        while (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) { }
    }
    void SetUp() override
    {
        ForgetQuitMessages();
        ResetProgramState();
        StartCatchingBoxes();
        timer = SetTimer(nullptr, 0, 10, Tick);
    }
    void TearDown() override
    {
        KillTimer(nullptr, timer);
        StopCatchingBoxes();
        if (programState.mainWindow && IsWindow(programState.mainWindow))
            DestroyWindow(programState.mainWindow);
        UnregisterClassA(MAIN_WINDOW_CLASS, GetModuleHandleA(nullptr));
        ForgetQuitMessages();
    }
    UINT_PTR timer = 0;
};

TEST_F(WindowAtWork, AWalkHandlesMessagesAndShowsHowFarItHasComeThenPutsTheLabelBack)
{
    std::string tree = MakeTree();
    ASSERT_TRUE(CreateMainWindow(GetModuleHandleA(nullptr)));
    SetFieldText(tree.c_str());
    int ticksDuringWalk = 0;
    std::set<std::string> shown;
    bool controlsGrey = true;
    onTick = [&] {
        if (!programState.walkRunning)
            return;
        ticksDuringWalk++;
        shown.insert(LabelText());
        controlsGrey = controlsGrey && !IsWindowEnabled(programState.setButton) &&
                       !IsWindowEnabled(programState.browseButton);
    };
    HandleCommand(MAKEWPARAM(IDC_SET_DATES, 0));
    EXPECT_GE(ticksDuringWalk, 3) << "the timer's messages were handled during the walk";
    EXPECT_GE(shown.size(), 2u) << "the label changed during the walk";
    // The counts, then the end of the folder being walked (the top, or one inside it).
    std::regex progress(R"(^\d+ folders, \d+ set: (\.\.\.)?.*-conformance-\d+-\d+(\\d\d+)?$)");
    for (const std::string& text : shown)
        EXPECT_TRUE(std::regex_match(text, progress)) << text;
    EXPECT_TRUE(controlsGrey);
    EXPECT_EQ(LabelText(), "Folder:");
    ASSERT_EQ(CaughtBoxes().size(), 1u);
    EXPECT_EQ(CaughtBoxes()[0].text, "Folder dates changed: 3000 out of 3000");
    EXPECT_TRUE(IsWindowEnabled(programState.setButton));
}

// A path far wider than the label loses its start: the cut never leaves half of a character
// outside the Basic Multilingual Plane, and an '&' shows as itself, not as a mnemonic.
TEST_F(WindowAtWork, TheProgressLabelCutsWholeCharactersAndShowsAmpersands)
{
    ASSERT_TRUE(CreateMainWindow(GetModuleHandleA(nullptr)));
    for (int pad = 0; pad < 8; pad++) {
        std::string folder = "C:\\";
        for (int i = 0; i < 150; i++)
            folder += "\xF0\x9F\x98\x80"; // U+1F600: two UTF-16 units
        folder += std::string(static_cast<size_t>(pad), 'x') + "\\R&D\\";
        ShowWalkProgress(folder.c_str());
        wchar_t label[2048] = {};
        GetWindowTextW(programState.folderLabel, label, 2048);
        std::wstring text = label;
        size_t at = text.find(L" set: ");
        ASSERT_NE(at, std::wstring::npos);
        std::wstring shown = text.substr(at + 6);
        ASSERT_EQ(shown.compare(0, 3, L"..."), 0) << "the path is cut";
        ASSERT_GT(shown.size(), 3u);
        EXPECT_FALSE(shown[3] >= 0xDC00 && shown[3] < 0xE000) << "pad " << pad;
        EXPECT_EQ(shown.substr(shown.size() - 5), L"\\R&&D") << "'&' doubled, shown once";
    }
}

TEST_F(WindowAtWork, AMessageDuringTheWalkStartsNothing)
{
    std::string tree = MakeTree();
    ASSERT_TRUE(CreateMainWindow(GetModuleHandleA(nullptr)));
    SetFieldText(tree.c_str());
    int pressed = 0;
    onTick = [&] {
        if (programState.walkRunning && pressed++ < 3) { // Enter, and the commands themselves
            SendMessageA(programState.mainWindow, WM_COMMAND, MAKEWPARAM(IDC_SET_DATES, 0), 0);
            SendMessageA(programState.mainWindow, WM_COMMAND, MAKEWPARAM(IDC_BROWSE, 0), 0);
        }
    };
    HandleCommand(MAKEWPARAM(IDC_SET_DATES, 0));
    EXPECT_GE(pressed, 1);
    ASSERT_EQ(CaughtBoxes().size(), 1u) << "one walk, one summary, no picker";
    EXPECT_EQ(CaughtBoxes()[0].text, "Folder dates changed: 3000 out of 3000");
}

TEST_F(WindowAtWork, ClosingTheWindowStopsTheWalkBeforeItsNextWrite)
{
    std::string tree = MakeTree();
    bool clicked = false;
    int sawCloseAt = -1;
    onTick = [&] {
        if (!programState.mainWindow || !IsWindow(programState.mainWindow))
            return;
        if (!clicked) {
            clicked = true;
            PostMessageA(programState.setButton, BM_CLICK, 0, 0);
        } else if (programState.walkRunning && programState.visitedCount > 50 && sawCloseAt < 0) {
            sawCloseAt = programState.visitedCount;
            PostMessageA(programState.mainWindow, WM_CLOSE, 0, 0);
        }
    };
    std::string tail = "\"" + tree + "\"";
    EXPECT_EQ(RunProgram(GetModuleHandleA(nullptr), &tail[0], SW_SHOW), 0);
    EXPECT_TRUE(CaughtBoxes().empty()) << "no summary after a close";
    EXPECT_FALSE(IsWindow(programState.mainWindow));
    ASSERT_GT(sawCloseAt, 0);
    EXPECT_LT(programState.visitedCount, TREE_FOLDERS) << "the walk stopped";
    // Every folder is either set right or untouched; the count says how many were set.
    int set = SetOrUntouched(tree);
    EXPECT_EQ(set, programState.changedCount);
    EXPECT_GE(set, 1);
}

// The same with eight threads writing folder times behind the walk: the writes queued when
// the window closes are made before the program ends, and counted; none is half made.
TEST_F(WindowAtWork, ClosingTheWindowWithWritesQueuedLeavesEveryFolderRightOrUntouched)
{
    std::string tree = MakeTree();
    int sawCloseAt = -1;
    onTick = [&] {
        if (!programState.mainWindow || !IsWindow(programState.mainWindow))
            return;
        if (sawCloseAt == -1) {
            sawCloseAt = 0;
            PostMessageA(programState.setButton, BM_CLICK, 0, 0);
        } else if (programState.walkRunning && programState.changedCount > 50 && sawCloseAt == 0) {
            sawCloseAt = programState.visitedCount;
            PostMessageA(programState.mainWindow, WM_CLOSE, 0, 0);
        }
    };
    std::string tail = "-j 8 \"" + tree + "\"";
    EXPECT_EQ(RunProgram(GetModuleHandleA(nullptr), &tail[0], SW_SHOW), 0);
    EXPECT_EQ(programState.jobs, 8u);
    EXPECT_TRUE(CaughtBoxes().empty()) << "no summary after a close";
    ASSERT_GT(sawCloseAt, 0);
    EXPECT_LT(programState.visitedCount, TREE_FOLDERS) << "the walk stopped";
    int set = SetOrUntouched(tree);
    EXPECT_EQ(set, programState.changedCount) << "each write queued was made and counted";
    EXPECT_GE(set, 50);
}

// Escape, pressed as a person presses it (input to the foreground window, which goes where
// the focus is, not a message posted to a window), stops the walk as closing does, but the
// window stays as it was, with no summary; with no walk running, Escape closes the window
// and the program ends with status 0.
TEST_F(WindowAtWork, EscapeStopsAWalkAndKeepsTheWindowThenClosesIt)
{
    std::string tree = MakeTree();
    ASSERT_TRUE(CreateMainWindow(GetModuleHandleA(nullptr)));
    SetFieldText(tree.c_str());
    ShowWindow(programState.mainWindow, SW_SHOW);
    SetForegroundWindow(programState.mainWindow);
    SetFocus(programState.setButton); // as after a click on it
    int pressedAt = -1;
    onTick = [&] {
        if (programState.walkRunning && programState.visitedCount > 50 && pressedAt < 0) {
            pressedAt = programState.visitedCount;
            PressRealKey(VK_ESCAPE);
        }
    };
    HandleCommand(MAKEWPARAM(IDC_SET_DATES, 0));
    ASSERT_GT(pressedAt, 0);
    EXPECT_LT(programState.visitedCount, TREE_FOLDERS) << "the walk stopped";
    EXPECT_TRUE(IsWindow(programState.mainWindow)) << "the window stays";
    EXPECT_TRUE(CaughtBoxes().empty()) << "no summary";
    EXPECT_TRUE(IsWindowEnabled(programState.setButton));
    EXPECT_EQ(LabelText(), "Folder:");
    int set = SetOrUntouched(tree);
    EXPECT_EQ(set, programState.changedCount);
    // Idle, Escape closes the window, and the loop ends with status 0.
    onTick = [] {};
    PressRealKey(VK_ESCAPE);
    EXPECT_EQ(RunMessageLoop(SW_SHOW), 0);
    EXPECT_FALSE(IsWindow(programState.mainWindow));
}

// A drop as Explorer makes it: one wide path in a DROPFILES block.
HDROP MakeDrop(const std::wstring& path)
{
    size_t bytes = sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GHND, bytes);
    auto drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), path.c_str(),
           path.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

std::wstring FieldText()
{
    wchar_t text[4096] = {};
    GetWindowTextW(programState.folderEdit, text, 4096);
    return text;
}

std::wstring Wide(const std::string& text)
{
    std::wstring wide(text.size() + 1, L'\0');
    wide.resize(static_cast<size_t>(
        MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], static_cast<int>(wide.size())) -
        1));
    return wide;
}

TEST_F(WindowAtWork, AFolderDroppedGoesIntoTheFieldWholeAndAFileBringsItsFolder)
{
    ASSERT_TRUE(CreateMainWindow(GetModuleHandleA(nullptr)));
    // Past 260 characters, in many scripts.
    std::string folder = MakeScratchFolder();
    while (Wide(folder).size() <= 300) {
        for (const char* name : {"\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1",
                                 "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xF0\x9F\x98\x80",
                                 "a name of sixty characters, more or less, to pass the limit."}) {
            folder += std::string("\\") + name;
            MakeFolder(folder);
        }
    }
    std::wstring wide = Wide(folder);
    ASSERT_GT(wide.size(), 260u);
    SendMessageW(programState.mainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(wide)),
                 0);
    EXPECT_TRUE(FieldText() == wide)
        << folder << " (" << wide.size() << ") became (" << FieldText().size() << ")";
    // A file dropped brings the folder it is in.
    MakeFile(folder + "\\photo.jpg", FOLDER_TIME);
    SetFieldText("");
    SendMessageW(programState.mainWindow, WM_DROPFILES,
                 reinterpret_cast<WPARAM>(MakeDrop(wide + L"\\photo.jpg")), 0);
    EXPECT_TRUE(FieldText() == wide);
    // A file at a drive's root brings the root, "C:\", not "C:", which names the drive's
    // current folder.
    const wchar_t* atRoot = L"C:\\chronotree-dropped.jpg";
    HANDLE made = CreateFileW(atRoot, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(made, INVALID_HANDLE_VALUE);
    CloseHandle(made);
    SendMessageW(programState.mainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(atRoot)),
                 0);
    DeleteFileW(atRoot);
    EXPECT_TRUE(FieldText() == L"C:\\");
    // Nothing is taken while a walk runs.
    programState.walkRunning = 1;
    SetFieldText("kept");
    SendMessageW(programState.mainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(wide)),
                 0);
    programState.walkRunning = 0;
    EXPECT_TRUE(FieldText() == L"kept");
}

bool Checked(UINT item)
{
    return GetMenuState(GetSystemMenu(programState.mainWindow, FALSE), item, MF_BYCOMMAND) &
           MF_CHECKED;
}

bool Greyed(UINT item)
{
    return GetMenuState(GetSystemMenu(programState.mainWindow, FALSE), item, MF_BYCOMMAND) &
           MF_GRAYED;
}

std::string ButtonText()
{
    char text[128] = {};
    GetWindowTextA(programState.setButton, text, sizeof text);
    return text;
}

// The options are checked items of the window's menu, as the command line set them; a dry
// run shows on the button and in the box; the last real run can be undone to the digit.
TEST_F(WindowAtWork, TheMenuHoldsTheOptionsAndUndoesTheLastRun)
{
    std::string top = MakeScratchFolder();
    constexpr int FOLDERS = 5;
    for (int i = 0; i < FOLDERS; i++) {
        std::string folder = top + "\\f" + std::to_string(i);
        MakeFolder(folder);
        MakeFile(folder + "\\x", FILETIME{static_cast<DWORD>(FIRST_TIME + i),
                                          static_cast<DWORD>((FIRST_TIME + i) >> 32)});
        uint64_t odd = Ticks(FOLDER_TIME) + 7 * i + 3; // to the last 100 ns
        SetTimes(folder, FILETIME{static_cast<DWORD>(odd), static_cast<DWORD>(odd >> 32)},
                 FOLDER_TIME);
    }
    const char* patterns[] = {"*.xmp", "*.thm"};
    programState.excludePatterns = patterns;
    programState.excludeCount = 2;
    programState.ignoreManagerFiles = 1;
    programState.noLinks = 1;
    ASSERT_TRUE(CreateMainWindow(GetModuleHandleA(nullptr)));
    SetFieldText(top.c_str());
    EXPECT_TRUE(Checked(IDM_MANAGER_FILES));
    EXPECT_TRUE(Checked(IDM_NO_LINKS));
    for (UINT off : {IDM_DRY_RUN, IDM_CREATED, IDM_ONLY_EARLIER, IDM_ONLY_LATER, IDM_TOP})
        EXPECT_FALSE(Checked(off)) << off;
    wchar_t named[128] = {};
    GetMenuStringW(GetSystemMenu(programState.mainWindow, FALSE), IDM_PATTERNS, named, 128,
                   MF_BYCOMMAND);
    EXPECT_TRUE(std::wstring(named) == L"Leaving out: *.xmp, *.thm");
    EXPECT_TRUE(Greyed(IDM_UNDO)) << "nothing to undo yet";
    EXPECT_EQ(ButtonText(), "Set date to newest file");
    // Only earlier and only later exclude each other.
    SendMessageA(programState.mainWindow, WM_SYSCOMMAND, IDM_ONLY_EARLIER, 0);
    SendMessageA(programState.mainWindow, WM_SYSCOMMAND, IDM_ONLY_LATER, 0);
    EXPECT_TRUE(Checked(IDM_ONLY_LATER) && !Checked(IDM_ONLY_EARLIER));
    SendMessageA(programState.mainWindow, WM_SYSCOMMAND, IDM_ONLY_EARLIER, 0);
    EXPECT_TRUE(Checked(IDM_ONLY_EARLIER) && !Checked(IDM_ONLY_LATER)) << "either way round";
    EXPECT_TRUE(programState.onlyEarlier && !programState.onlyLater);
    SendMessageA(programState.mainWindow, WM_SYSCOMMAND, IDM_ONLY_EARLIER, 0);
    EXPECT_FALSE(programState.onlyLater || programState.onlyEarlier);

    SendMessageA(programState.mainWindow, WM_SYSCOMMAND, IDM_DRY_RUN, 0);
    EXPECT_EQ(programState.dryRun, 1);
    EXPECT_EQ(ButtonText(), "Show what would change");
    HandleCommand(MAKEWPARAM(IDC_SET_DATES, 0));
    ASSERT_EQ(CaughtBoxes().size(), 1u);
    EXPECT_EQ(CaughtBoxes()[0].text, "Folder dates that would change: 5 out of 5");
    EXPECT_TRUE(Greyed(IDM_UNDO)) << "a dry run has nothing to undo";
    SendMessageA(programState.mainWindow, WM_SYSCOMMAND, IDM_DRY_RUN, 0);
    EXPECT_EQ(ButtonText(), "Set date to newest file");
    FILETIME lastWrite, lastAccess;
    ASSERT_TRUE(ReadTimes(top + "\\f0", &lastWrite, &lastAccess));
    EXPECT_EQ(Ticks(lastWrite), Ticks(FOLDER_TIME) + 3) << "the dry run wrote nothing";

    HandleCommand(MAKEWPARAM(IDC_SET_DATES, 0));
    ASSERT_EQ(CaughtBoxes().size(), 2u);
    EXPECT_EQ(CaughtBoxes()[1].text, "Folder dates changed: 5 out of 5");
    EXPECT_FALSE(Greyed(IDM_UNDO));
    // Touched since the run: named, and left alone.
    SetTimes(top + "\\f4", FIRST_TIME_PLUS_DAY(), FOLDER_TIME);
    SendMessageA(programState.mainWindow, WM_SYSCOMMAND, IDM_UNDO, 0);
    ASSERT_EQ(CaughtBoxes().size(), 3u);
    EXPECT_EQ(CaughtBoxes()[2].text,
              "Folder dates restored: 4 out of 5\n1 folder could not be restored.");
    for (int i = 0; i < 4; i++) {
        ASSERT_TRUE(ReadTimes(top + "\\f" + std::to_string(i), &lastWrite, &lastAccess));
        EXPECT_EQ(Ticks(lastWrite), Ticks(FOLDER_TIME) + 7 * i + 3) << "back to the digit: " << i;
    }
    ASSERT_TRUE(ReadTimes(top + "\\f4", &lastWrite, &lastAccess));
    EXPECT_EQ(Ticks(lastWrite), Ticks(FIRST_TIME_PLUS_DAY()));
    EXPECT_TRUE(Greyed(IDM_UNDO)) << "undone once";
}

// The command line sets the menu's items at start: read in the window's first moments.
TEST_F(WindowAtWork, TheMenuStartsAsTheCommandLineSetIt)
{
    std::vector<UINT> checked;
    std::string button;
    onTick = [&] {
        if (!programState.mainWindow || !IsWindow(programState.mainWindow) || !button.empty())
            return;
        for (UINT item :
             {IDM_MANAGER_FILES, IDM_DRY_RUN, IDM_CREATED, IDM_ONLY_EARLIER, IDM_ONLY_LATER,
              IDM_IGNORE_FUTURE, IDM_TOP, IDM_NO_LINKS, IDM_CHANGES_ONLY})
            if (Checked(item))
                checked.push_back(item);
        button = ButtonText();
        PostMessageA(programState.mainWindow, WM_CLOSE, 0, 0);
    };
    std::string tail = "-n --top --ignore-future --only-later --changes-only --exclude=*.aae C:\\x";
    EXPECT_EQ(RunProgram(GetModuleHandleA(nullptr), &tail[0], SW_SHOW), 0);
    EXPECT_EQ(checked, (std::vector<UINT>{IDM_DRY_RUN, IDM_ONLY_LATER, IDM_IGNORE_FUTURE, IDM_TOP,
                                          IDM_CHANGES_ONLY}));
    EXPECT_EQ(button, "Show what would change");
}

// Keys as the loop gets them, to the control that has the focus.
void Press(WPARAM key, bool shift = false)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    MSG message = {GetFocus(), WM_KEYDOWN, key, 0, 0, {0, 0}};
    DispatchWindowMessage(&message);
    message.message = WM_KEYUP;
    DispatchWindowMessage(&message);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
}

TEST_F(WindowAtWork, TheKeyboardReachesEveryControlAndEnterPressesSet)
{
    std::vector<HWND> focus;
    bool done = false;
    onTick = [&] {
        if (done || !programState.mainWindow || !IsWindowVisible(programState.mainWindow))
            return;
        done = true;
        focus.push_back(GetFocus());
        for (int i = 0; i < 3; i++) {
            Press(VK_TAB);
            focus.push_back(GetFocus());
        }
        Press(VK_TAB, true);
        focus.push_back(GetFocus());
        Press(VK_TAB, true);
        focus.push_back(GetFocus());
        Press(VK_TAB, true);
        Press(VK_RETURN); // on the set button
        PostMessageA(programState.mainWindow, WM_CLOSE, 0, 0);
    };
    std::string tail = "Z:\\no\\such\\folder";
    EXPECT_EQ(RunProgram(GetModuleHandleA(nullptr), &tail[0], SW_SHOW), 0);
    const HWND edit = programState.folderEdit, browse = programState.browseButton,
               set = programState.setButton;
    EXPECT_EQ(focus, (std::vector<HWND>{set, edit, browse, set, browse, edit}))
        << "opened on a folder, the set button first; Tab forwards, round again; Shift+Tab "
           "back";
    ASSERT_EQ(CaughtBoxes().size(), 1u) << "Enter ran the walk";
    EXPECT_EQ(CaughtBoxes()[0].caption, "Error") << "the folder is not there, and the box says so";
    EXPECT_EQ(CaughtBoxes()[0].owner, programState.mainWindow);
}

TEST_F(WindowAtWork, TheSetButtonIsTheDefaultAndEveryControlATabStop)
{
    ASSERT_TRUE(CreateMainWindow(GetModuleHandleA(nullptr)));
    EXPECT_EQ(GetWindowLongA(programState.setButton, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    for (HWND control :
         {programState.folderEdit, programState.browseButton, programState.setButton})
        EXPECT_TRUE(GetWindowLongA(control, GWL_STYLE) & WS_TABSTOP);
    EXPECT_FALSE(GetWindowLongA(programState.folderLabel, GWL_STYLE) & WS_TABSTOP);
    EXPECT_EQ(LOWORD(SendMessageA(programState.mainWindow, DM_GETDEFID, 0, 0)), IDC_SET_DATES);
}

// "Keep up to date": the walk, then the folder kept right as it changes, the label telling
// so, until Escape; the window stays, with no summary.
TEST_F(WindowAtWork, KeepUpToDateSetsAChangeAfterTheWalkUntilEscape)
{
    std::string top = MakeScratchFolder();
    for (int i = 0; i < 3; i++) {
        MakeFolder(top + "\\k" + std::to_string(i));
        MakeFile(top + "\\k" + std::to_string(i) + "\\x", FIRST_TIME_PLUS_DAY());
    }
    ASSERT_TRUE(CreateMainWindow(GetModuleHandleA(nullptr)));
    SetFieldText(top.c_str());
    SendMessageA(programState.mainWindow, WM_SYSCOMMAND, IDM_WATCH, 0);
    ASSERT_TRUE(Checked(IDM_WATCH));
    ShowWindow(programState.mainWindow, SW_SHOW);
    SetForegroundWindow(programState.mainWindow);
    constexpr uint64_t LATER = FIRST_TIME + 2 * 864000000000ull;
    std::vector<std::string> labels;
    int ticks = 0;
    bool changed = false, pressed = false;
    onTick = [&] {
        std::string label = LabelText();
        if (labels.empty() || labels.back() != label)
            labels.push_back(label);
        ticks++;
        if (!changed && label.rfind("Keeping up to date", 0) == 0) {
            changed = true;
            MakeFile(top + "\\k1\\later",
                     FILETIME{static_cast<DWORD>(LATER), static_cast<DWORD>(LATER >> 32)});
        }
        if (!pressed && (label.rfind("Kept up to date: 1 set at ", 0) == 0 || ticks > 3000)) {
            pressed = true;
            PressRealKey(VK_ESCAPE);
        }
    };
    HandleCommand(MAKEWPARAM(IDC_SET_DATES, 0));
    onTick = [] {};
    EXPECT_TRUE(changed) << "the label said it was keeping the folder";
    EXPECT_LE(ticks, 3000) << ::testing::PrintToString(labels);
    FILETIME lastWrite, lastAccess;
    ASSERT_TRUE(ReadTimes(top + "\\k1", &lastWrite, &lastAccess));
    EXPECT_EQ(Ticks(lastWrite), LATER) << "the change was set";
    ASSERT_TRUE(ReadTimes(top + "\\k0", &lastWrite, &lastAccess));
    EXPECT_EQ(Ticks(lastWrite), Ticks(FIRST_TIME_PLUS_DAY())) << "and the walk before it";
    EXPECT_TRUE(IsWindow(programState.mainWindow)) << "Escape stops the watch, not the window";
    EXPECT_TRUE(CaughtBoxes().empty()) << "no summary";
    EXPECT_EQ(LabelText(), "Folder:");
    programState.watch = 0;
}

} // namespace
