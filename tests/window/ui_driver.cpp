// Drives the real program from another process, as a person would: it starts it, finds
// its window by class name, reads what is shown and presses the buttons.
// usage: ui_driver.exe [gtest options] PROGRAM FOLDER SUMMARY
// FOLDER is walked by the set-dates cases; SUMMARY is what its walk must report. The
// arguments are read as wide strings, so FOLDER may be named in any script, and the
// program is started and its field read back the same way.
#include "real_keys.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::wstring program, folder;
std::string summary;

constexpr char MAIN_CLASS[] = "TolvuChronotreeWin32Gui";
constexpr int IDC_BROWSE = 500;
constexpr int IDC_SET_DATES = 501;

// Under emulation (the 32-bit loader through qemu) a program takes about a minute to start.
int Patience()
{
    const char* given = getenv("CHRONOTREE_UI_TIMEOUT_MS");
    return given ? atoi(given) : 15000;
}

// Options put before the folder in the set-dates case (such as "-n" for a dry run).
std::wstring Options()
{
    const wchar_t* given = _wgetenv(L"CHRONOTREE_UI_OPTIONS");
    return given ? std::wstring(given) + L" " : std::wstring();
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

template <typename Condition> bool WaitFor(Condition condition, int milliseconds = Patience())
{
    for (int waited = 0; waited < milliseconds; waited += 20) {
        if (condition())
            return true;
        Sleep(20);
    }
    return condition();
}

std::string TextOf(HWND window)
{
    char text[4096] = {};
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

// A window's text as the wide string it is, whatever this program's code page.
std::wstring WideTextOf(HWND window)
{
    wchar_t text[4096] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

// A box's counts, without the lines that may follow them (files dated in the future).
std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// The control with the keyboard focus in the thread of `window`, read from outside.
HWND FocusOf(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

std::string ClassOf(HWND window)
{
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct Search {
    DWORD process;
    const char* className;
    HWND found;
};

BOOL CALLBACK Match(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->process && IsWindowVisible(window) &&
        ClassOf(window) == search->className) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND TopWindowOf(DWORD process, const char* className)
{
    Search search = {process, className, nullptr};
    EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A running copy of the program.
struct Started {
    PROCESS_INFORMATION process = {};
    HWND window = nullptr;
    HWND label = nullptr, edit = nullptr, browse = nullptr, set = nullptr;

    explicit Started(const std::wstring& arguments, bool expectWindow = true)
    {
        std::wstring line = Quoted(program) + L" " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process)) {
            ADD_FAILURE() << "cannot start the program";
            return;
        }
        if (!expectWindow)
            return;
        WaitFor([&] { return (window = TopWindowOf(process.dwProcessId, MAIN_CLASS)) != nullptr; });
        if (!window) {
            ADD_FAILURE() << "no window of class " << MAIN_CLASS;
            return;
        }
        label = FindWindowExA(window, nullptr, "Static", nullptr);
        edit = FindWindowExA(window, nullptr, "Edit", nullptr);
        browse = GetDlgItem(window, IDC_BROWSE);
        set = GetDlgItem(window, IDC_SET_DATES);
    }
    ~Started()
    {
        if (process.hProcess) {
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(process.hProcess, 99);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }
    HWND Box() { return TopWindowOf(process.dwProcessId, "#32770"); }
    HWND WaitForBox()
    {
        HWND box = nullptr;
        WaitFor([&] { return (box = Box()) != nullptr; });
        return box;
    }
    int ExitStatus(int milliseconds = Patience())
    {
        if (WaitForSingleObject(process.hProcess, milliseconds) != WAIT_OBJECT_0)
            return -1;
        DWORD status = 0;
        GetExitCodeProcess(process.hProcess, &status);
        return static_cast<int>(status);
    }
    std::vector<bool> Enabled()
    {
        return {IsWindowEnabled(label) != 0, IsWindowEnabled(edit) != 0,
                IsWindowEnabled(browse) != 0, IsWindowEnabled(set) != 0};
    }
    // A click, posted so that the program's modal boxes do not hold up the driver.
    static void Click(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }
    // Presses "Set date to newest file" where no box is to come: the controls stay enabled
    // or come back by themselves.
    void PressSetExpectingNoBox()
    {
        Click(set);
        Sleep(1000);
        EXPECT_EQ(Box(), nullptr);
        EXPECT_EQ(Enabled(), (std::vector<bool>{true, true, true, true}));
    }
    void CloseExpectingStatusZero()
    {
        PostMessageA(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(ExitStatus(), 0);
    }
};

RECT ClientPlace(HWND child, HWND parent)
{
    RECT place;
    GetWindowRect(child, &place);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
    return RECT{place.left, place.top, place.right - place.left, place.bottom - place.top};
}

const std::vector<bool> ALL_ENABLED = {true, true, true, true};
const std::vector<bool> ALL_DISABLED = {false, false, false, false};

TEST(MainWindow, LooksAsDescribed)
{
    Started run(Quoted(folder));
    ASSERT_NE(run.window, nullptr);
    std::string caption = TextOf(run.window);
    EXPECT_EQ(caption.rfind("Chronotree 0.01 ", 0), 0u) << caption;
    EXPECT_GT(caption.size(), 16u) << "the maker's credit follows";

    LONG style = GetWindowLongA(run.window, GWL_STYLE);
    EXPECT_EQ(style & 0x00CF0000, 0x00CA0000) << std::hex << style;
    RECT outer;
    GetWindowRect(run.window, &outer);
    EXPECT_EQ(outer.right - outer.left, 384);
    EXPECT_EQ(outer.bottom - outer.top, 128);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 384) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - 128) / 2);

    RECT client;
    GetClientRect(run.window, &client);
    LONG W = client.right;
    struct Expected {
        HWND window;
        const char* className;
        std::string text;
        RECT place;
        int identifier;
    } controls[] = {
        {run.label, "Static", "Folder:", {8, 8, W - 8, 16}, 0},
        {run.edit, "Edit", "", {8, 26, W - 41, 21}, 0},
        {run.browse, "Button", "...", {W - 29, 26, 21, 21}, IDC_BROWSE},
        {run.set, "Button", "Set date to newest file", {W - 168, 51, 160, 25}, IDC_SET_DATES},
    };
    for (const Expected& control : controls) {
        ASSERT_NE(control.window, nullptr) << control.className;
        EXPECT_EQ(lstrcmpiA(ClassOf(control.window).c_str(), control.className), 0);
        if (control.window != run.edit) { // the field's text is checked as a wide string
            EXPECT_EQ(TextOf(control.window), control.text);
        }
        EXPECT_EQ(GetDlgCtrlID(control.window), control.identifier);
        RECT place = ClientPlace(control.window, run.window);
        EXPECT_EQ(place.left, control.place.left) << control.text;
        EXPECT_EQ(place.top, control.place.top) << control.text;
        EXPECT_EQ(place.right, control.place.right) << control.text;
        EXPECT_EQ(place.bottom, control.place.bottom) << control.text;
    }
    EXPECT_TRUE(WideTextOf(run.edit) == folder) << "the folder shows exactly as given";
    EXPECT_TRUE(GetWindowLongA(run.edit, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_TRUE(GetWindowLongA(run.edit, GWL_STYLE) & ES_AUTOHSCROLL);

    run.CloseExpectingStatusZero();
}

TEST(MainWindow, SetDatesGreysTheControlsWalksAndReportsInABoxOwnedByTheWindow)
{
    Started run(Options() + Quoted(folder));
    ASSERT_NE(run.window, nullptr);
    EXPECT_EQ(run.Enabled(), ALL_ENABLED);
    Started::Click(run.set);
    HWND box = run.WaitForBox();
    ASSERT_NE(box, nullptr) << "no summary box";
    EXPECT_EQ(run.Enabled(), ALL_DISABLED) << "grey while the summary is up";
    EXPECT_EQ(GetWindow(box, GW_OWNER), run.window);
    EXPECT_EQ(TextOf(box), "Done!");
    EXPECT_EQ(FirstLine(TextOf(GetDlgItem(box, 0xFFFF))), summary);
    EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
    EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr) << "only an OK button";
    Started::Click(GetDlgItem(box, IDOK));
    EXPECT_TRUE(WaitFor([&] { return run.Enabled() == ALL_ENABLED; }));

    // A second press walks again with the same counts.
    Started::Click(run.set);
    box = run.WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(FirstLine(TextOf(GetDlgItem(box, 0xFFFF))), summary);
    Started::Click(GetDlgItem(box, IDOK));
    EXPECT_TRUE(WaitFor([&] { return run.Enabled() == ALL_ENABLED; }));
    run.CloseExpectingStatusZero();
}

// As Explorer's entry opens it: on a folder, with the set button focused, so that Enter,
// pressed on the keyboard, sets that folder's dates.
TEST(MainWindow, OpenedOnAFolderEnterSetsItsDates)
{
    Started run(Quoted(folder));
    ASSERT_NE(run.window, nullptr);
    EXPECT_EQ(WideTextOf(run.edit), folder);
    EXPECT_TRUE(WaitFor([&] { return FocusOf(run.window) == run.set; })) << "the set button";
    SetForegroundWindow(run.window);
    PressRealKey(VK_RETURN);
    HWND box = run.WaitForBox();
    ASSERT_NE(box, nullptr) << "Enter ran no walk";
    EXPECT_EQ(FirstLine(TextOf(GetDlgItem(box, 0xFFFF))), summary);
    Started::Click(GetDlgItem(box, IDOK));
    EXPECT_TRUE(WaitFor([&] { return run.Enabled() == ALL_ENABLED; }));
    run.CloseExpectingStatusZero();
}

TEST(MainWindow, AnEmptyFieldDoesNothing)
{
    Started run(L"");
    ASSERT_NE(run.window, nullptr);
    EXPECT_EQ(TextOf(run.edit), "");
    run.PressSetExpectingNoBox();
    run.CloseExpectingStatusZero();
}

TEST(MainWindow, SilentRunsShowNoBoxAndTheControlsComeBackByThemselves)
{
    Started run(L"-s " + Quoted(folder));
    ASSERT_NE(run.window, nullptr);
    run.PressSetExpectingNoBox();
    run.CloseExpectingStatusZero();
}

TEST(MainWindow, ThePickerFillsTheFieldUnlessCancelled)
{
    Started run(Quoted(folder));
    ASSERT_NE(run.window, nullptr);
    Started::Click(run.browse);
    HWND picker = run.WaitForBox();
    ASSERT_NE(picker, nullptr) << "no folder picker";
    EXPECT_EQ(GetWindow(picker, GW_OWNER), run.window);
    Started::Click(GetDlgItem(picker, IDCANCEL));
    EXPECT_TRUE(WaitFor([&] { return run.Box() == nullptr; }));
    EXPECT_TRUE(WideTextOf(run.edit) == folder) << "cancel keeps the text";

    // The picker opens at the folder the field names (else at the Desktop): OK takes it.
    SendMessageW(run.edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Z:\\nowhere at all"));
    wchar_t desktop[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE));
    for (const std::wstring& expected : {std::wstring(desktop), folder}) {
        Started::Click(run.browse);
        picker = run.WaitForBox();
        ASSERT_NE(picker, nullptr);
        HWND ok = GetDlgItem(picker, IDOK);
        ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(ok) != 0; }));
        Sleep(300); // the selection is made as the picker starts
        Started::Click(ok);
        EXPECT_TRUE(WaitFor([&] { return WideTextOf(run.edit) == expected; })) << TextOf(run.edit);
        EXPECT_TRUE(WaitFor([&] { return run.Box() == nullptr; }));
        SendMessageW(run.edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
    }
    // After a pick the walk is next: the set button has the focus, so Enter starts it.
    EXPECT_TRUE(WaitFor([&] { return FocusOf(run.window) == run.set; }))
        << "the focus is on " << ClassOf(FocusOf(run.window));
    run.CloseExpectingStatusZero();
}

// CHRONOTREE_UI_LONG_WALK set: FOLDER takes seconds to walk, and these cases run.
bool LongWalk() { return getenv("CHRONOTREE_UI_LONG_WALK") != nullptr; }

// Windows calls a window that does not answer within 5 seconds "not responding"; this one
// must answer within one.
bool Answers(HWND window)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result) != 0;
}

bool ShowsProgress(const std::string& label)
{
    size_t digits = label.find_first_not_of("0123456789");
    return digits > 0 && digits != std::string::npos && label.compare(digits, 9, " folders,") == 0;
}

TEST(LongWalk, TheWindowAnswersAndShowsHowFarItIsThenComesBackAsItWas)
{
    if (!LongWalk())
        GTEST_SKIP() << "no long walk asked for";
    Started run(Quoted(folder));
    ASSERT_NE(run.window, nullptr);
    Started::Click(run.set);
    std::vector<std::string> shown;
    int asked = 0, answered = 0;
    DWORD start = GetTickCount();
    HWND box = nullptr;
    bool labelPlain = true; // drawn as normal text while the controls are grey
    while (!(box = run.Box()) && GetTickCount() - start < 120000u) {
        if (ShowsProgress(TextOf(run.label)))
            labelPlain =
                labelPlain && run.Enabled() == std::vector<bool>{true, false, false, false};
        asked++;
        answered += Answers(run.window);
        std::string label = TextOf(run.label);
        if (label != "Folder:" && (shown.empty() || shown.back() != label))
            shown.push_back(label);
        Sleep(100);
    }
    printf("the walk took %lu ms; %d of %d messages answered within a second\n",
           GetTickCount() - start, answered, asked);
    ASSERT_NE(box, nullptr);
    // How long the walk takes varies with the machine and its caches: a second at least.
    EXPECT_GE(asked, 10) << "the walk takes seconds";
    EXPECT_EQ(answered, asked);
    EXPECT_GE(shown.size(), 2u) << "the label moves at least twice a second";
    EXPECT_TRUE(labelPlain) << "the progress is not greyed, the controls are";
    for (const std::string& label : shown)
        EXPECT_TRUE(ShowsProgress(label)) << label;
    // The box comes to the front with the focus, so Enter dismisses it.
    EXPECT_EQ(GetForegroundWindow(), box);
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &thread));
    EXPECT_TRUE(thread.hwndFocus == box || IsChild(box, thread.hwndFocus));
    EXPECT_EQ(FirstLine(TextOf(GetDlgItem(box, 0xFFFF))), summary);
    Started::Click(GetDlgItem(box, IDOK));
    EXPECT_TRUE(WaitFor([&] { return run.Enabled() == ALL_ENABLED; }));
    EXPECT_EQ(TextOf(run.label), "Folder:");
    EXPECT_TRUE(WideTextOf(run.edit) == folder);
    run.CloseExpectingStatusZero();
}

TEST(LongWalk, ClosingTheWindowMidWalkEndsTheProgramWithNoBox)
{
    if (!LongWalk())
        GTEST_SKIP() << "no long walk asked for";
    Started run(Quoted(folder));
    ASSERT_NE(run.window, nullptr);
    Started::Click(run.set);
    ASSERT_TRUE(WaitFor([&] { return ShowsProgress(TextOf(run.label)); }));
    Sleep(1000);
    PostMessageA(run.window, WM_CLOSE, 0, 0);
    DWORD closed = GetTickCount();
    bool boxSeen = false;
    while (WaitForSingleObject(run.process.hProcess, 20) == WAIT_TIMEOUT &&
           GetTickCount() - closed < 5000)
        boxSeen = boxSeen || run.Box() != nullptr;
    EXPECT_EQ(run.ExitStatus(0), 0) << "ended within 5 seconds, with status 0";
    EXPECT_FALSE(boxSeen);
    printf("ended %lu ms after the close\n", GetTickCount() - closed);
}

TEST(AutomaticMode, ShowsOneSummaryWithNoOwnerAndEndsWithStatusZero)
{
    Started run(L"-a " + Quoted(folder), false);
    HWND box = run.WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TopWindowOf(run.process.dwProcessId, MAIN_CLASS), nullptr);
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
    EXPECT_EQ(TextOf(box), "Done!");
    EXPECT_EQ(FirstLine(TextOf(GetDlgItem(box, 0xFFFF))), summary);
    EXPECT_EQ(run.ExitStatus(500), -1) << "still waiting for the box";
    Started::Click(GetDlgItem(box, IDOK));
    EXPECT_EQ(run.ExitStatus(), 0);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // The wide command line has what this program's code page cannot hold.
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> given;
    for (int i = 1; words && i < count; i++) {
        if (wcsncmp(words[i], L"--gtest_", 8) != 0)
            given.push_back(words[i]);
    }
    if (given.size() < 3) {
        fprintf(stderr, "usage: ui_driver PROGRAM FOLDER SUMMARY\n");
        return 2;
    }
    program = given[0];
    folder = given[1];
    summary.assign(given[2].begin(), given[2].end()); // the summary is ASCII
    return RUN_ALL_TESTS();
}
