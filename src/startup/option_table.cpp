// The options, in the order the usages list them.
#include "option_table.h"

#include "text_builder.h"

#include <cstring>

namespace {

using S = ProgramState;

} // namespace

// clang-format off
const OptionRow OPTION_TABLE[] = {
    {'a', "automatic", nullptr, false, EVERYWHERE, EVERYWHERE, &S::automatic, 0, nullptr,
     "walk the folders named after it",
     "  walk the folders named after it (window mode needs Windows)"},
    {'s', "silent", nullptr, true, EVERYWHERE, EVERYWHERE, &S::silent, 0, nullptr,
     "show no summary, no progress and no box",
     "     print no summary and no progress line"},
    {'i', "ignore-manager-files", nullptr, true, EVERYWHERE, EVERYWHERE, &S::ignoreManagerFiles,
     IDM_MANAGER_FILES, L"Leave out file managers' files (-i)",
     "leave out what file managers write: Thumbs.db, desktop.ini, @eaDir...",
     "\nleave out the files file managers write: Thumbs.db, ehthumbs.db,"
     "\nehthumbs_vista.db, desktop.ini, .DS_Store, Icon\\r and ._*, and the"
     "\nfolders servers and systems write: @eaDir, .@__thumb, .AppleDouble,"
     "\n.Spotlight-V100, .fseventsd, .Trashes, .TemporaryItems, $RECYCLE.BIN,"
     "\nSystem Volume Information, .Trash-NNNN"},
    {'n', "dry-run", nullptr, true, EVERYWHERE, EVERYWHERE, &S::dryRun, IDM_DRY_RUN,
     L"Dry run: change nothing (-n)",
     "change nothing, count the folders whose time would change",
     "  change nothing, count the folders whose time would change"},
    {'v', "verbose", nullptr, true, EVERYWHERE, EVERYWHERE, &S::verbose, 0, nullptr,
     "list each folder changed: old time, new time, path",
     "  list each folder changed on standard output: old time, new time,"
     "\npath (UTC, to the nanosecond), a list that -r takes back"},
    {'r', "restore", "LIST", false, EVERYWHERE, EVERYWHERE, nullptr, 0, nullptr,
     "set each folder of a -v list back to its old time",
     "\nrestore: set each folder of a -v list back to its old time, if its"
     "\ntime is still the one the list gave it"},
    {'x', "exclude", "PATTERN", true, EVERYWHERE, ON_LINUX, nullptr, 0, nullptr,
     "leave out files and folders so named (* and ?), as often as wanted",
     "\na file so named counts as no file, a folder so named is left out"
     "\n(* and ? as the shell matches names, exact bytes; as often as wanted)"},
    {'\0', "only-earlier", nullptr, true, EVERYWHERE, 0, &S::onlyEarlier, IDM_ONLY_EARLIER,
     L"Move dates only earlier", "set a folder only when its new time is earlier",
     "  set a folder only when its new time is earlier than its own"},
    {'\0', "only-later", nullptr, true, EVERYWHERE, 0, &S::onlyLater, IDM_ONLY_LATER,
     L"Move dates only later", "set a folder only when its new time is later",
     "    set a folder only when its new time is later than its own"},
    {'\0', "ignore-future", nullptr, true, EVERYWHERE, 0, &S::ignoreFuture, IDM_IGNORE_FUTURE,
     L"Leave out files dated in the future", "leave out files dated more than a day ahead",
     " leave out files dated more than a day after the run began"
     "\n(each such file is named on standard error in any case)"},
    {'\0', "top", nullptr, true, EVERYWHERE, 0, &S::setTop, IDM_TOP, L"Set the chosen folder too",
     "set FOLDER itself too", "      set FOLDER itself too, once its walk is done"},
    {'\0', "no-links", nullptr, true, EVERYWHERE, 0, &S::noLinks, IDM_NO_LINKS,
     L"Do not enter links or junctions", "do not enter links or junctions to folders",
     " do not enter symbolic links to folders; they count as nothing"},
    {'\0', "changes-only", nullptr, true, EVERYWHERE, 0, &S::changesOnly, IDM_CHANGES_ONLY,
     L"Write only dates that differ", "write and count only folders whose time differs",
     " write and count only the folders whose time differs from their new"
     "\ntime (as it is kept there: a share that keeps seconds is learnt from the"
     "\nfirst write); without it every folder with a file inside is written and"
     "\ncounted, and -n counts only those whose time differs"},
    {'\0', "every", "SECONDS", true, EVERYWHERE, 0, nullptr, 0, nullptr,
     "walk again every SECONDS, writing only what differs, until stopped",
     "\nwalk the folders again every SECONDS, writing only the dates that differ"
     "\n(as --changes-only), a line with the time and the counts each round,"
     "\nuntil Ctrl-C or SIGTERM, which let the round under way finish"},
    {'\0', "watch", nullptr, true, EVERYWHERE, 0, &S::watch, IDM_WATCH, L"Keep up to date",
     "once walked, keep the folders right as files change, until stopped",
     "     once walked, keep the folders right as their files change, writing"
     "\nonly what differs, until Ctrl-C or SIGTERM; when the system cannot"
     "\nwatch every folder, walk them whole every --every SECONDS (600)"},
    {'\0', "settle", "SECONDS", true, EVERYWHERE, 0, nullptr, 0, nullptr,
     "with --watch, wait until the tree is quiet so long (2) before setting it",
     "\nwith --watch: wait until no change has come for SECONDS (default 2,"
     "\n0 allowed) before setting what changed"},
    {'c', "created", nullptr, true, ON_WINDOWS, EVERYWHERE, &S::setCreated, IDM_CREATED,
     L"Set creation dates too (-c)", "set creation times too",
     "   set creation times too: refused here, Linux keeps none to set"},
    {'j', "jobs", "N", true, EVERYWHERE, EVERYWHERE, nullptr, 0, nullptr,
     "threads (1 to 64) that read folders ahead and write times behind",
     "  N threads (1 to 64) read folders ahead and write times behind;"
     "\nwithout it: 64 on a network file system, up to 4 on a solid-state disk"
     "\nonce its reads are seen to wait, else 1. Every result is the same"
     "\nwhatever N"},
    {'\0', "", nullptr, false, EVERYWHERE, 0, nullptr, 0, nullptr,
     "end of options: every later word is a folder",
     "         end of options: every later word is a folder"},
    {'h', "help", nullptr, false, EVERYWHERE, EVERYWHERE, nullptr, 0, nullptr,
     "show this help", "     print this and exit"},
    {'\0', "version", nullptr, false, EVERYWHERE, 0, nullptr, 0, nullptr, "show the version",
     "      print the version and exit"},
};
// clang-format on

const size_t OPTION_COUNT = sizeof OPTION_TABLE / sizeof OPTION_TABLE[0];

const OptionRow* FindOptionByName(const char* name, size_t length)
{
    for (size_t i = 0; i < OPTION_COUNT; i++) {
        const OptionRow& row = OPTION_TABLE[i];
        if (row.name[0] && strlen(row.name) == length && strncmp(row.name, name, length) == 0)
            return &row;
    }
    return nullptr;
}

const OptionRow* FindOptionByLetter(char letter)
{
    for (size_t i = 0; i < OPTION_COUNT; i++) {
        const OptionRow& row = OPTION_TABLE[i];
        if (row.letter && (row.letterPlatforms & OPTIONS_HERE) && row.letter == (letter | 0x20))
            return &row;
    }
    return nullptr;
}

size_t SpellOption(const OptionRow& row, uint8_t platforms, char* into, size_t size)
{
    TextBuilder text = StartText(into, size);
    if (row.letter && (row.letterPlatforms & platforms)) {
        char letter[3] = {'-', row.letter, '\0'};
        AddText(&text, letter);
        if (row.value) {
            AddText(&text, " ");
            AddText(&text, row.value);
        }
        AddText(&text, ", ");
    }
    AddText(&text, "--");
    AddText(&text, row.name);
    if (row.value) {
        AddText(&text, "=");
        AddText(&text, row.value);
    }
    return text.used;
}
