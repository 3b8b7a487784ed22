// The Windows layer's own rules, inside the process under Wine: the UTF-8 conversions,
// how a path is resolved into the "\\?\" form, when a second listing is repeated, and when
// threads standing by start.
#include "long_paths.h"
#include "scratch.h"
#include "thread_choice.h"
#include "wide_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring Resolved(const std::string& path, bool listing = false, int open = 0)
{
    static wchar_t wide[WIDE_PATH_SIZE];
    for (int i = 0; i < open; i++)
        NoteListingOpened();
    size_t length = ResolveWidePath(path.c_str(), path.size(), listing, wide);
    for (int i = 0; i < open; i++)
        NoteListingClosed();
    return std::wstring(wide, length);
}

std::wstring Current()
{
    wchar_t folder[MAX_PATH];
    DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
    std::wstring current(folder, length);
    return current.back() == L'\\' ? current : current + L'\\';
}

TEST(WideText, EveryUnitComesBackAsItWasLoneSurrogatesToo)
{
    const std::wstring texts[] = {L"plain", L"\u65e5\u672c\u8a9e", L"emoji\U0001F600",
                                  std::wstring(L"lone\xD800high") + L"\xDC00" + L"low"};
    for (const std::wstring& text : texts) {
        char utf8[64];
        size_t bytes = Utf8FromWide(text.c_str(), text.size(), utf8, sizeof utf8);
        ASSERT_NE(bytes, TEXT_DOES_NOT_FIT);
        wchar_t back[64];
        size_t units = WideFromUtf8(utf8, bytes, back, 64);
        EXPECT_EQ(std::wstring(back, units), text);
    }
    char emoji[8];
    EXPECT_EQ(Utf8FromWide(L"\U0001F600", 2, emoji, sizeof emoji), 4u) << "a pair is one character";
    EXPECT_STREQ(emoji, "\xf0\x9f\x98\x80");
}

TEST(WideText, TheLongestNameNtfsHoldsFitsTheRecordAndNoMore)
{
    std::wstring longest(255, L'\u65e5'); // 255 units of three bytes each
    char name[FIND_NAME_SIZE];
    EXPECT_EQ(Utf8FromWide(longest.c_str(), longest.size(), name, sizeof name), 765u);
    char small[765];
    EXPECT_EQ(Utf8FromWide(longest.c_str(), longest.size(), small, sizeof small), TEXT_DOES_NOT_FIT)
        << "no room for the NUL";
    wchar_t units[4];
    EXPECT_EQ(WideFromUtf8("abcd", 4, units, 4), TEXT_DOES_NOT_FIT);
    EXPECT_EQ(WideFromUtf8("a\xff"
                           "b",
                           3, units, 4),
              3u);
    EXPECT_EQ(units[1], L'\xFFFD') << "a byte that begins nothing";
}

TEST(LongPaths, EverySpellingOfTheTopBecomesOneAbsolutePrefixedPath)
{
    std::wstring here = Current();
    EXPECT_EQ(Resolved("C:\\x\\y\\"), L"\\\\?\\C:\\x\\y\\");
    EXPECT_EQ(Resolved("C:/x/y/"), L"\\\\?\\C:\\x\\y\\") << "slashes";
    EXPECT_EQ(Resolved("C:\\x\\.\\z\\..\\y\\"), L"\\\\?\\C:\\x\\y\\") << "dots";
    EXPECT_EQ(Resolved("C:\\x\\y.\\"), L"\\\\?\\C:\\x\\y\\") << "as Windows spells a typed top";
    EXPECT_EQ(Resolved("C:\\"), L"\\\\?\\C:\\");
    EXPECT_EQ(Resolved("sub\\"), L"\\\\?\\" + here + L"sub\\") << "relative";
    EXPECT_EQ(Resolved("\\\\server\\share\\x\\"), L"\\\\?\\UNC\\server\\share\\x\\");
    EXPECT_EQ(Resolved("\\\\?\\C:\\x\\..\\y. \\"), L"\\\\?\\C:\\x\\..\\y. \\") << "as it stands";
    EXPECT_EQ(Resolved("C:\\" + std::string(5000, 'n') + "\\").size(), 4u + 3 + 5000 + 1);
}

TEST(LongPaths, NamesBelowTheListedTopAreTakenExactly)
{
    // A listing of the top starts with none open: the top is remembered.
    EXPECT_EQ(Resolved("C:/top./", true, 0), L"\\\\?\\C:\\top\\");
    EXPECT_EQ(Resolved("C:/top./a. \\b ", false, 1), L"\\\\?\\C:\\top\\a. \\b ");
    EXPECT_EQ(Resolved("C:/top./", false, 1), L"\\\\?\\C:\\top\\");
    EXPECT_EQ(Resolved("C:/top./a\\..\\b", false, 1), L"\\\\?\\C:\\top\\b") << "not a listed name";
    EXPECT_EQ(Resolved("C:/top./a.", false, 0), L"\\\\?\\C:\\top\\a") << "nothing open";
    EXPECT_EQ(Resolved("D:\\other\\x.", false, 1), L"\\\\?\\D:\\other\\x");
    // A listing started while another is open does not replace the top.
    EXPECT_EQ(Resolved("C:/top./sub/", true, 1), L"\\\\?\\C:\\top\\sub\\") << "fresh";
    EXPECT_EQ(Resolved("C:/top./n.", false, 1), L"\\\\?\\C:\\top\\n.");
}

uint64_t Ticks(FILETIME time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

uint64_t ListedTime(const std::string& folder, const std::string& name)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    uint64_t found = 0;
    if (find == INVALID_HANDLE_VALUE)
        return found;
    do {
        if (name == data.cFileName)
            found = Ticks(data.ftLastWriteTime);
    } while (FindNextFileA(find, &data) == 1);
    FindClose(find);
    return found;
}

// Served from memory: a file's new time (which moves no folder time) is not seen by the
// second listing of an unchanged folder, and is by any later one.
TEST(Listings, ASecondListingOfAnUnchangedFolderRepeatsTheFirst)
{
    std::string folder = MakeScratchFolder();
    FILETIME old = {0x10000000, 0x01D00000}, later = {0x20000000, 0x01D00000};
    MakeFile(folder + "\\f", old);
    SetTimes(folder, old, old);
    EXPECT_EQ(ListedTime(folder, "f"), Ticks(old));
    SetTimes(folder + "\\f", later, later);
    EXPECT_EQ(ListedTime(folder, "f"), Ticks(old)) << "repeated";
    EXPECT_EQ(ListedTime(folder, "f"), Ticks(old)) << "and again, still unchanged";
    ListedTime(folder + "\\..", "f");
    EXPECT_EQ(ListedTime(folder, "f"), Ticks(later)) << "another listing came between";
    // A folder changed within the last second may change again without its time moving.
    SetTimes(folder + "\\f", old, old);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    SetTimes(folder, now, now);
    EXPECT_EQ(ListedTime(folder, "f"), Ticks(old));
    SetTimes(folder + "\\f", later, later);
    SetTimes(folder, now, now);
    EXPECT_EQ(ListedTime(folder, "f"), Ticks(later)) << "a recent folder is read again";
}

// On a solid-state disk the threads stand by: a walk that keeps its thread busy stays on
// one; a walk that waits starts them mid-walk, and its listings stay right.
TEST(Listings, ThreadsStandingByStartOnlyOnceTheWalkIsSeenToWait)
{
    std::string root = MakeScratchFolder();
    constexpr DWORD FOLDERS = 20;
    auto folder = [&](DWORD i) { return root + "\\d" + std::to_string(i); };
    for (DWORD i = 0; i < FOLDERS; i++) {
        MakeFolder(folder(i));
        MakeFile(folder(i) + "\\f", FILETIME{i, 0x01D00000});
    }
    ASSERT_EQ(UseFileThreads(root.c_str(), 1), 1u);
    StandByThreads(4);
    DWORD began = GetTickCount();
    for (DWORD i = 0; GetTickCount() - began < 800; i++)
        ListedTime(folder(i % FOLDERS), "f");
    EXPECT_EQ(WatchForWaits(), 1u) << "a walk that never waits stays on one thread";

    StandByThreads(4);
    DWORD startedAt = 0;
    for (DWORD i = 0; i < 2 * FOLDERS; i++) {
        Sleep(25); // the thread waits, as on a cold disk's reads
        EXPECT_EQ(ListedTime(folder(i % FOLDERS), "f"), Ticks(FILETIME{i % FOLDERS, 0x01D00000}));
        if (!startedAt && WatchForWaits() > 1)
            startedAt = i + 1;
    }
    EXPECT_GT(startedAt, 0u) << "threads start once the walk waits";
    EXPECT_LE(startedAt, 30u) << "within two looks of a quarter second";
    EXPECT_EQ(UseFileThreads(root.c_str(), 1), 1u);
}

// A share gets its threads from the start, whether its drive letter or its long form is
// asked of; a local folder gets one.
TEST(ThreadChoice, AMappedShareGetsSixtyFourThreadsALocalFolderOne)
{
    const char* share = getenv("CHRONOTREE_TEST_SHARE");
    if (!share)
        GTEST_SKIP() << "no drive mapped from the network";
    EXPECT_EQ(UseFileThreads(share, 0), 64u);
    EXPECT_EQ(UseFileThreads(MakeScratchFolder().c_str(), 0), 1u);
    EXPECT_EQ(UseFileThreads(share, 1), 1u) << "asked for one";
}

} // namespace
