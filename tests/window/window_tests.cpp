// The main window inside this process: what another process cannot see under Wine (the
// font, the class fields) and what cannot be made to fail from outside (class
// registration and window creation).
#include "box_catcher.h"
#include "main_window.h"
#include "option_table.h"
#include "program_state.h"
#include "run_program.h"
#include "run_summary.h"
#include "scratch.h"
#include "window_commands.h"
#include "window_mode.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>

namespace {

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

class Window : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProgramState();
        StartCatchingBoxes();
    }
    void TearDown() override
    {
        StopCatchingBoxes();
        if (programState.mainWindow)
            DestroyWindow(programState.mainWindow);
        UnregisterClassA(MAIN_WINDOW_CLASS, Instance());
    }
    int Run(std::string tail) { return RunProgram(Instance(), &tail[0], SW_HIDE); }
    std::string FieldText()
    {
        char text[512] = {};
        GetWindowTextA(programState.folderEdit, text, sizeof text);
        return text;
    }
};

TEST_F(Window, TheClassIsRegisteredAsDescribed)
{
    ASSERT_TRUE(CreateMainWindow(Instance()));
    WNDCLASSEXA found = {};
    found.cbSize = sizeof found;
    ASSERT_TRUE(GetClassInfoExA(Instance(), MAIN_WINDOW_CLASS, &found));
    EXPECT_EQ(found.style, 0u);
    EXPECT_EQ(found.lpfnWndProc, MainWindowProc);
    EXPECT_EQ(found.cbClsExtra, 0);
    EXPECT_EQ(found.cbWndExtra, 0);
    EXPECT_EQ(found.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    EXPECT_EQ(found.hCursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_NE(found.hIcon, nullptr) << "the module's icon 1";
    EXPECT_NE(found.hIconSm, nullptr) << "and its small size";
    EXPECT_EQ(found.lpszMenuName, nullptr);
}

// The main window is sent the font too, but a plain window keeps no font to answer with.
TEST_F(Window, OneTahomaFontElevenPixelsAt96DotsPerInchGoesToTheControls)
{
    ASSERT_TRUE(CreateMainWindow(Instance()));
    HDC screen = GetDC(nullptr);
    int expectedHeight = -MulDiv(11, GetDeviceCaps(screen, LOGPIXELSY), 96);
    ReleaseDC(nullptr, screen);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(programState.folderLabel, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    for (HWND window : {programState.folderEdit, programState.browseButton, programState.setButton})
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)), font);
    LOGFONTA description = {};
    ASSERT_NE(GetObjectA(font, sizeof description, &description), 0);
    EXPECT_STREQ(description.lfFaceName, "Tahoma");
    EXPECT_EQ(description.lfWeight, FW_NORMAL);
    EXPECT_EQ(description.lfHeight, expectedHeight);
}

TEST_F(Window, TheManifestBringsVersionSixOfTheCommonControls)
{
    ASSERT_TRUE(CreateMainWindow(Instance()));
    // Only version 6 buttons answer BCM_GETIDEALSIZE.
    SIZE ideal = {};
    EXPECT_TRUE(SendMessageA(programState.setButton, BCM_GETIDEALSIZE, 0,
                             reinterpret_cast<LPARAM>(&ideal)));
    EXPECT_GT(ideal.cx, 0);
}

TEST_F(Window, AFailedRegistrationIsReportedAndEndsWithStatusOne)
{
    WNDCLASSEXA taken = {};
    taken.cbSize = sizeof taken;
    taken.lpfnWndProc = DefWindowProcA;
    taken.hInstance = Instance();
    taken.lpszClassName = MAIN_WINDOW_CLASS;
    ASSERT_TRUE(RegisterClassExA(&taken));
    EXPECT_EQ(Run("-s"), 1);
    EXPECT_TRUE(CaughtBoxes().empty()) << "silent";
    EXPECT_EQ(Run("C:\\x"), 1);
    ASSERT_EQ(CaughtBoxes().size(), 1u);
    EXPECT_EQ(CaughtBoxes()[0].caption, "Error");
    EXPECT_EQ(CaughtBoxes()[0].text, "RegisterClassEx() failed");
    EXPECT_EQ(CaughtBoxes()[0].owner, nullptr);
}

TEST_F(Window, AFailedWindowIsReportedAndEndsWithStatusOne)
{
    RefuseWindowsOfClass(MAIN_WINDOW_CLASS);
    EXPECT_EQ(Run("-S"), 1);
    EXPECT_TRUE(CaughtBoxes().empty()) << "silent";
    UnregisterClassA(MAIN_WINDOW_CLASS, Instance());
    EXPECT_EQ(Run(""), 1);
    ASSERT_EQ(CaughtBoxes().size(), 1u);
    EXPECT_EQ(CaughtBoxes()[0].caption, "Error");
    EXPECT_EQ(CaughtBoxes()[0].text, "CreateWindow() failed");
}

TEST_F(Window, TheLoopEndsWithStatusZeroWhenTheWindowCloses)
{
    ASSERT_TRUE(CreateMainWindow(Instance()));
    PostMessageA(programState.mainWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(RunMessageLoop(SW_HIDE), 0);
    EXPECT_FALSE(IsWindow(programState.mainWindow));
    programState.mainWindow = nullptr;
}

TEST_F(Window, TheFieldIsReadWholeAndNulTerminated)
{
    ASSERT_TRUE(CreateMainWindow(Instance()));
    int length = -1;
    EXPECT_EQ(ReadEditLine(programState.folderEdit, &length), nullptr) << "empty field";
    EXPECT_EQ(length, 0);
    for (std::string text :
         {std::string("x"), std::string("\"C:\\quoted\" "), std::string(300, 'p') + "\\end"}) {
        SetWindowTextA(programState.folderEdit, text.c_str());
        char* read = ReadEditLine(programState.folderEdit, &length);
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(std::string(read), text) << "used as typed, blanks and quotes kept";
        EXPECT_EQ(length, static_cast<int>(text.size()));
        free(read);
    }
}

TEST_F(Window, TheManifestMakesEveryAnsiCallSpeakUtf8)
{
    EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
}

// The field holds characters; the walk gets bytes, three or four a character here.
TEST_F(Window, TheFieldIsReadWholeWhateverTheScriptOfItsText)
{
    ASSERT_TRUE(CreateMainWindow(Instance()));
    std::wstring longWide;
    std::string longText;
    for (int i = 0; i < 3000; i++) {
        longWide += L"\u65e5";
        longText += "\xe6\x97\xa5";
    }
    const std::pair<std::wstring, std::string> texts[] = {
        {L"Z:\\\u65e5\u672c\u8a9e\\\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac",
         "Z:\\\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\\\xce\x95\xce\xbb\xce\xbb\xce\xb7\xce\xbd"
         "\xce\xb9\xce\xba\xce\xac"},
        {L"C:\\emoji\U0001F600\\e\u0301", "C:\\emoji\xf0\x9f\x98\x80\\e\xcc\x81"},
        {longWide, longText},
    };
    for (const auto& [wide, bytes] : texts) {
        SetWindowTextW(programState.folderEdit, wide.c_str());
        int length = -1;
        char* read = ReadEditLine(programState.folderEdit, &length);
        ASSERT_NE(read, nullptr);
        EXPECT_TRUE(std::string(read) == bytes) << std::string(read).substr(0, 80);
        EXPECT_EQ(length, static_cast<int>(bytes.size()));
        free(read);
    }
}

TEST_F(Window, OnlyClicksOfTheTwoButtonsAreCommands)
{
    ASSERT_TRUE(CreateMainWindow(Instance()));
    SetWindowTextA(programState.folderEdit, "Z:\\no\\such\\folder");
    programState.visitedCount = 5;
    HandleCommand(MAKEWPARAM(IDC_SET_DATES, 1)); // not a click
    HandleCommand(MAKEWPARAM(502, 0));
    EXPECT_EQ(programState.visitedCount, 5);
    EXPECT_TRUE(CaughtBoxes().empty());
    HandleCommand(MAKEWPARAM(IDC_SET_DATES, 0));
    EXPECT_EQ(programState.visitedCount, 0) << "the walk started and found nothing";
    ASSERT_EQ(CaughtBoxes().size(), 1u);
    EXPECT_EQ(CaughtBoxes()[0].owner, programState.mainWindow);
    EXPECT_EQ(CaughtBoxes()[0].caption, "Error") << "not \"0 out of 0\": the folder is named";
    EXPECT_EQ(CaughtBoxes()[0].text.rfind("Cannot list the folder \"Z:\\no\\such\\folder\":\n", 0),
              0u)
        << CaughtBoxes()[0].text;
    EXPECT_TRUE(IsWindowEnabled(programState.setButton));
}

// "Copy as path" gives a path in double quotes; a folder name cannot hold one.
TEST_F(Window, APathInQuotesWithBlanksAroundIsWalkedWithoutThem)
{
    MSG left;
    while (PeekMessageA(&left, nullptr, 0, 0, PM_REMOVE)) { } // earlier windows' quit messages
    std::string top = MakeScratchFolder();
    MakeFolder(top + "\\sub");
    MakeFile(top + "\\sub\\f", FILETIME{0, 30000000});
    ASSERT_TRUE(CreateMainWindow(Instance()));
    for (std::string typed : {"  \"" + top + "\"\t", "\"" + top + "\"", " " + top + "  "}) {
        CaughtBoxes().clear();
        SetFieldText(typed.c_str());
        HandleCommand(MAKEWPARAM(IDC_SET_DATES, 0));
        ASSERT_EQ(CaughtBoxes().size(), 1u) << typed;
        EXPECT_EQ(CaughtBoxes()[0].text, "Folder dates changed: 1 out of 1") << typed;
    }
    CaughtBoxes().clear();
    SetFieldText("  \"\"  ");
    HandleCommand(MAKEWPARAM(IDC_SET_DATES, 0));
    EXPECT_TRUE(CaughtBoxes().empty()) << "nothing but quotes and blanks: nothing to walk";
}

// Folders below the top that could not be listed or set: the box says how many.
TEST_F(Window, TheSummaryAddsALineForFoldersThatCouldNotBeDone)
{
    programState.latestWalk = WALK_REAL;
    programState.changedCount = 3;
    programState.visitedCount = 5;
    programState.latestFailures = 2;
    ShowRunSummary();
    programState.latestFailures = 1;
    programState.latestWalk = WALK_DRY;
    ShowRunSummary();
    ASSERT_EQ(CaughtBoxes().size(), 2u);
    EXPECT_EQ(CaughtBoxes()[0].text,
              "Folder dates changed: 3 out of 5\n2 folders could not be listed or set.");
    EXPECT_EQ(CaughtBoxes()[1].text,
              "Folder dates that would change: 3 out of 5\n1 folder could not be listed or read.");
    EXPECT_EQ(CaughtBoxes()[0].caption, "Done!");
}

TEST_F(Window, AFolderThatCannotBeListedIsNamedWithTheSystemsTextAndOneFullStop)
{
    std::string missing = MakeScratchFolder() + "\\not here";
    EXPECT_EQ(Run("-a \"" + missing + "\""), 1);
    ASSERT_EQ(CaughtBoxes().size(), 1u);
    const std::string& text = CaughtBoxes()[0].text;
    EXPECT_EQ(text.rfind("Cannot list the folder \"" + missing + "\":\n", 0), 0u) << text;
    EXPECT_EQ(text.back(), '.') << text;
    EXPECT_EQ(text.find(".."), std::string::npos) << text;
    EXPECT_GT(text.size(), missing.size() + 30) << "the system's reason is there: " << text;
    EXPECT_EQ(CaughtBoxes()[0].caption, "Error");
}

// The DPI the window was laid out for, as the system tells it.
UINT DpiOf(HWND window)
{
    typedef UINT(WINAPI * DpiOfWindow)(HWND);
    auto dpiOf = reinterpret_cast<DpiOfWindow>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    if (dpiOf)
        return dpiOf(window);
    HDC screen = GetDC(nullptr);
    UINT dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
    return dpi;
}

RECT PlaceInClient(HWND control)
{
    RECT place = {};
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, programState.mainWindow, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

// The size of a control's text in its own font.
SIZE TextSize(HWND control)
{
    wchar_t text[256] = {};
    GetWindowTextW(control, text, 256);
    HDC context = GetDC(control);
    HGDIOBJ old =
        SelectObject(context, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32W(context, text[0] ? text : L"Xg", text[0] ? lstrlenW(text) : 2, &size);
    SelectObject(context, old);
    ReleaseDC(control, context);
    return size;
}

// At every scale (CHRONOTREE_EXPECT_DPI names the prefix's): each control where the 96-DPI
// layout scaled puts it, the font scaled, every text inside its control, nothing overlapping.
TEST_F(Window, TheLayoutScalesWithTheDpiAndEveryTextFits)
{
    ASSERT_TRUE(CreateMainWindow(Instance()));
    UINT dpi = DpiOf(programState.mainWindow);
    if (const char* expected = getenv("CHRONOTREE_EXPECT_DPI")) {
        EXPECT_EQ(dpi, static_cast<UINT>(atoi(expected)));
    }
    auto S = [dpi](double value) { return value * dpi / 96; };
    RECT client = {};
    GetClientRect(programState.mainWindow, &client);
    LONG W = client.right;
    EXPECT_NEAR(W, S(384 - 6), S(12)) << "the client area scales with the window";
    const HWND controls[] = {programState.folderLabel, programState.folderEdit,
                             programState.browseButton, programState.setButton};
    // x, y, right, bottom at 96 DPI, right edges from the client's.
    const double layout[4][4] = {
        {8, 8, 0, 24}, {8, 26, -33, 47}, {-29, 26, -8, 47}, {-168, 51, -8, 76}};
    for (int i = 0; i < 4; i++) {
        RECT place = PlaceInClient(controls[i]);
        auto edge = [&](double value) { return value > 0 ? S(value) : W + S(value); };
        double x = layout[i][0] > 0 ? S(layout[i][0]) : W + S(layout[i][0]);
        EXPECT_NEAR(place.left, x, 1) << i;
        EXPECT_NEAR(place.top, S(layout[i][1]), 1) << i;
        EXPECT_NEAR(place.right, layout[i][2] == 0 ? W : edge(layout[i][2]), 1) << i;
        EXPECT_NEAR(place.bottom, S(layout[i][3]), 1) << i;
        EXPECT_LE(place.right, W) << i;
        EXPECT_LE(place.bottom, client.bottom) << "inside the client area: " << i;
        for (int j = 0; j < i; j++) {
            RECT other = PlaceInClient(controls[j]), both;
            EXPECT_FALSE(IntersectRect(&both, &place, &other)) << i << " overlaps " << j;
        }
    }
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(programState.setButton, WM_GETFONT, 0, 0)),
               sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -MulDiv(11, static_cast<int>(dpi), 96));
    // Every text inside its control: a button keeps a margin for its edge and its focus
    // frame, the field's line fits its inner height.
    for (HWND control :
         {programState.folderLabel, programState.browseButton, programState.setButton}) {
        RECT inside = {};
        GetClientRect(control, &inside);
        SIZE text = TextSize(control);
        LONG margin = control == programState.folderLabel ? 0 : static_cast<LONG>(S(4));
        EXPECT_LE(text.cx + margin, inside.right) << "too wide at " << dpi;
        EXPECT_LE(text.cy, inside.bottom) << "too tall at " << dpi;
    }
    SetWindowTextW(programState.setButton, L"Show what would change");
    RECT inside = {};
    GetClientRect(programState.setButton, &inside);
    EXPECT_LE(TextSize(programState.setButton).cx + S(4), inside.right) << "the dry run's name too";
    GetClientRect(programState.folderEdit, &inside);
    EXPECT_LE(TextSize(programState.folderEdit).cy, inside.bottom) << "the field's line";
}

TEST_F(Window, TheUsageIsABoxAndNothingElse)
{
    for (const char* asked : {"/?", "-h", "-a C:\\x /H"}) {
        CaughtBoxes().clear();
        EXPECT_EQ(Run(asked), 0) << asked;
        ASSERT_EQ(CaughtBoxes().size(), 1u) << asked;
        EXPECT_EQ(CaughtBoxes()[0].text.rfind("chronotree.exe [FOLDER]", 0), 0u) << asked;
        EXPECT_EQ(programState.mainWindow, nullptr) << "no window";
        EXPECT_EQ(programState.visitedCount, 0) << "nothing walked";
    }
    // The box's font is proportional: no columns of tabs or blanks, and every option of the
    // table that works here begins a line of its own.
    const std::string& usage = CaughtBoxes()[0].text;
    EXPECT_EQ(usage.find('\t'), std::string::npos);
    for (size_t i = 0; i < OPTION_COUNT; i++) {
        char spelled[64];
        SpellOption(OPTION_TABLE[i], ON_WINDOWS, spelled, sizeof spelled);
        bool shown = usage.find(std::string("\r\n") + spelled + ": ") != std::string::npos;
        EXPECT_EQ(shown, OPTION_TABLE[i].name[0] && (OPTION_TABLE[i].platforms & ON_WINDOWS))
            << spelled;
    }
    EXPECT_NE(usage.find("2 when the command line cannot be read"), std::string::npos);
    CaughtBoxes().clear();
    EXPECT_EQ(Run("-s /?"), 0);
    EXPECT_TRUE(CaughtBoxes().empty()) << "-s: no box";
}

TEST_F(Window, TheFolderArgumentFillsTheField)
{
    for (const char* given : {"C:\\My Files", ""}) {
        ResetProgramState();
        std::string argument = given;
        programState.folderArgument = &argument[0];
        ASSERT_TRUE(CreateMainWindow(Instance()));
        EXPECT_EQ(FieldText(), given);
        DestroyWindow(programState.mainWindow);
        UnregisterClassA(MAIN_WINDOW_CLASS, Instance());
    }
    programState.mainWindow = nullptr;
}

} // namespace
