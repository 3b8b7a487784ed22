// The command-line rules: double quotes group, nothing escapes, options are decided by
// their second character (or letter by letter in a group such as -an), and "--" ends them.
#include "command_line.h"

#include "folder_walk.h"
#include "keep_watch.h"
#include "option_table.h"
#include "platform_config.h"
#include "program_state.h"
#include "restore_list.h"
#include "text_builder.h"

#include <cstdlib>
#include <cstring>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char* SkipBlanks(char* at)
{
    while (IsBlank(*at))
        at++;
    return at;
}

bool StartsOption(char c) { return c == '-' || (SLASH_STARTS_OPTION && c == '/'); }

// "--name" or "--name=VALUE", as the table spells it; null for any other word. `value` is
// null when the word has no '='.
const OptionRow* FindLongOption(const char* token, const char** value)
{
    const char* name = token + 2;
    const char* equals = strchr(name, '=');
    size_t length = equals ? static_cast<size_t>(equals - name) : strlen(name);
    *value = equals ? equals + 1 : nullptr;
    const OptionRow* row = FindOptionByName(name, length);
    return row && (row->value || !equals) ? row : nullptr;
}

bool Named(const OptionRow* row, const char* name) { return row && strcmp(row->name, name) == 0; }

bool IsLongOption(const char* token) { return token[0] == '-' && token[1] == '-' && token[2]; }

// Letters to insert, delete or change to make `a` (of `length` bytes) into `b`.
size_t EditDistance(const char* a, size_t length, const char* b)
{
    size_t row[64];
    size_t other = strlen(b);
    if (other + 1 > sizeof row / sizeof row[0])
        return other;
    for (size_t j = 0; j <= other; j++)
        row[j] = j;
    for (size_t i = 1; i <= length; i++) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= other; j++) {
            size_t above = row[j];
            size_t change = diagonal + (a[i - 1] != b[j - 1]);
            size_t shortest = above + 1 < row[j - 1] + 1 ? above + 1 : row[j - 1] + 1;
            row[j] = change < shortest ? change : shortest;
            diagonal = above;
        }
    }
    return row[other];
}

// Why the command line cannot be taken; the first reason is the one given.
char refusalText[512];

void Refuse(const char* first, const char* second = "", const char* third = "")
{
    if (programState.refusal)
        return;
    TextBuilder text = StartText(refusalText, sizeof refusalText);
    AddText(&text, first);
    AddText(&text, second);
    AddText(&text, third);
    programState.refusal = refusalText;
}

// The patterns of -x, kept for the whole run; they point into the command line.
const char** patterns;
int32_t patternCapacity;

void AddExcludePattern(const char* pattern, const char* option)
{
    if (!pattern || !*pattern) {
        Refuse(option, " needs a pattern: ", option[1] == '-' ? "--exclude=PATTERN" : "-x PATTERN");
        return;
    }
    // A pattern is matched against one name: a separator in it could never match.
    if (strchr(pattern, PATH_SEPARATOR) || strchr(pattern, '/')) {
        Refuse("a pattern is matched against names, not paths: '", pattern, "'");
        return;
    }
    if (programState.excludeCount == patternCapacity) {
        int32_t capacity = patternCapacity ? 2 * patternCapacity : 16;
        auto grown = static_cast<const char**>(
            realloc(patterns, static_cast<size_t>(capacity) * sizeof(const char*)));
        if (!grown) {
            Refuse("no memory for the patterns of ", option);
            return;
        }
        patterns = grown;
        patternCapacity = capacity;
    }
    patterns[programState.excludeCount++] = pattern;
    programState.excludePatterns = patterns;
}

// -j N, -jN and --jobs=N: how many threads read folders ahead and write times behind.
void SetJobs(const char* count, const char* option)
{
    char* end = nullptr;
    long value = count && *count >= '0' && *count <= '9' ? strtol(count, &end, 10) : 0;
    if (!end || *end || value < 1 || value > static_cast<long>(MOST_JOBS)) {
        Refuse(option,
               " needs a number of threads from 1 to 64: ", option[1] == '-' ? "--jobs=N" : "-j N");
        return;
    }
    programState.jobs = static_cast<DWORD>(value);
}

// --every=SECONDS: rounds so many seconds apart, each writing only what differs.
void SetEvery(const char* seconds, const char* option)
{
    constexpr long MOST_SECONDS = 4294967; // in milliseconds, the wait fits a DWORD
    char* end = nullptr;
    long value = seconds && *seconds >= '0' && *seconds <= '9' ? strtol(seconds, &end, 10) : 0;
    if (!end || *end || value < 1 || value > MOST_SECONDS) {
        Refuse(option, " needs a number of seconds from 1 to 4294967: --every=SECONDS");
        return;
    }
    programState.everySeconds = static_cast<DWORD>(value);
    programState.changesOnly = 1;
}

// --settle=SECONDS: how long the tree must be quiet before a round of --watch.
void SetSettle(const char* seconds, const char* option)
{
    constexpr long MOST_SECONDS = 4294967;
    char* end = nullptr;
    long value = seconds && *seconds >= '0' && *seconds <= '9' ? strtol(seconds, &end, 10) : -1;
    if (!end || *end || value < 0 || value > MOST_SECONDS) {
        Refuse(option, " needs a number of seconds from 0 to 4294967: --settle=SECONDS");
        return;
    }
    programState.settleSeconds = static_cast<DWORD>(value);
    programState.settleGiven = 1;
}

// The folders walked, in their order, for the rounds of --every: as many as the command
// line names (a Linux command's has no bound).
const char** walked;
int walkedCount;
int walkedCapacity;

// Notes `folder` as walked; a folder that finds no memory is walked once, not in rounds.
void NoteWalked(const char* folder)
{
    if (walkedCount == walkedCapacity) {
        int capacity = walkedCapacity ? 2 * walkedCapacity : 16;
        auto grown = static_cast<const char**>(
            realloc(walked, static_cast<size_t>(capacity) * sizeof(const char*)));
        if (!grown)
            return;
        walked = grown;
        walkedCapacity = capacity;
    }
    walked[walkedCount++] = folder;
}

bool IsShortJobs(const char* token) { return token[1] == 'j' || token[1] == 'J'; }

// -x PATTERN: a Linux command's short option. The Windows programs keep the older rule that
// an option they do not know, -x among them, is ignored; --exclude=PATTERN serves there.
bool IsShortExclude(const char* token)
{
    return UNKNOWN_OPTIONS_ARE_ERRORS && token[0] == '-' && (token[1] | 0x20) == 'x';
}

void SetFlag(const OptionRow* row)
{
    if (row && row->flag)
        programState.*row->flag = 1;
}

// A letter that sets a flag: -a, -s, -i, -n, -v, -c.
bool IsOptionLetter(char c)
{
    const OptionRow* row = c ? FindOptionByLetter(c) : nullptr;
    return row && row->flag;
}

// Whether the option is set in this pass: the first sets what holds for the whole run, the
// second everything as it stands.
bool InPass(const OptionRow* row, bool wholeRunPass)
{
    return row && (row->wholeRun || !wholeRunPass);
}

// A word made only of option letters, with one of the later ones (i, n, v) among them,
// stands for each of its letters: -an, -anv, /ain. Any other word is decided by its second
// character, as the first options always were: -auto is -a, /Silent is /s, -as is -a.
bool IsLetterGroup(const char* letters)
{
    bool later = false;
    for (const char* at = letters; *at; at++) {
        if (!IsOptionLetter(*at) || (*at | 0x20) == 'c') // -c stands alone, as -x does
            return false;
        later = later || strchr("inv", *at | 0x20) != nullptr;
    }
    return later;
}

// A single-dash word that spells the long name of another option than its letter's, such
// as -version (which would be -v) or -no-links (-n): on a Linux command, where getopt's
// rules are the expected ones, it is refused rather than taken for a letter.
bool SpellsAnotherLongName(const char* token)
{
    if (!UNKNOWN_OPTIONS_ARE_ERRORS || token[0] != '-' || token[1] == '-' || !token[1])
        return false;
    const char* name = token + 1;
    size_t length = strcspn(name, "=");
    char lower[64];
    if (length >= sizeof lower)
        return false;
    for (size_t i = 0; i < length; i++)
        lower[i] = static_cast<char>(name[i] >= 'A' && name[i] <= 'Z' ? name[i] | 0x20 : name[i]);
    const OptionRow* spelled = FindOptionByName(lower, length);
    return spelled && spelled != FindOptionByLetter(token[1]);
}

// -r, whose list is the next word.
bool IsRestore(const char* token) { return token[1] != '-' && (token[1] | 0x20) == 'r'; }

// --restore=LIST; `list` is null for --restore alone.
bool IsLongRestore(const char* token, const char** list)
{
    const OptionRow* option = IsLongOption(token) ? FindLongOption(token, list) : nullptr;
    return Named(option, "restore");
}

// Options the command does not know: a Linux command stops on the first (exit status 2),
// and so does every program on a long option it does not know, which could be a dry run
// mistyped (--dryrun) that must not become a real one.
void NoteUnknownOption(const char* token, bool always = false)
{
    if ((always || UNKNOWN_OPTIONS_ARE_ERRORS) && !programState.unknownOption)
        programState.unknownOption = token;
}

// A long option: its flag is set when it belongs to the pass; the patterns and the
// refusals, the usage, the version and unknown words noted only in the first pass (the one
// for the whole run). -r's list is the passes' own business.
void ApplyLongOption(const char* token, bool wholeRunPass)
{
    const char* value = nullptr;
    const OptionRow* option = FindLongOption(token, &value);
    if (!option) {
        if (wholeRunPass)
            NoteUnknownOption(token, true);
        return;
    }
    if (wholeRunPass && Named(option, "exclude"))
        AddExcludePattern(value, token);
    if (wholeRunPass && Named(option, "jobs"))
        SetJobs(value, token);
    if (wholeRunPass && Named(option, "every"))
        SetEvery(value, token);
    if (wholeRunPass && Named(option, "settle"))
        SetSettle(value, token);
    programState.usageAsked |= wholeRunPass && Named(option, "help");
    programState.versionAsked |= wholeRunPass && Named(option, "version");
    if (InPass(option, wholeRunPass))
        SetFlag(option);
}

// Returns whether later tokens may still be options.
bool ApplyOption(const char* token, bool wholeRunPass)
{
    if (IsLongOption(token)) {
        ApplyLongOption(token, wholeRunPass);
        return true;
    }
    char first = token[1];
    if (first == '-' || first == '/')
        return false;
    if (IsRestore(token))
        return true; // the passes below handle it with its list
    if (first == '?' || (first | 0x20) == 'h') {
        programState.usageAsked |= wholeRunPass;
        return true;
    }
    if (first && !IsOptionLetter(first) && wholeRunPass)
        NoteUnknownOption(token);
    bool group = IsLetterGroup(token + 1);
    for (const char* at = token + 1; *at && (at == token + 1 || group); at++) {
        const OptionRow* row = IsOptionLetter(*at) ? FindOptionByLetter(*at) : nullptr;
        if (InPass(row, wholeRunPass))
            SetFlag(row);
    }
    return true;
}

} // namespace

char* SkipProgramName(char* commandLine)
{
    char* at = SkipBlanks(commandLine);
    if (*at == '"') {
        at++;
        while (*at && *at != '"')
            at++;
        if (*at)
            at++;
    } else {
        while (*at && !IsBlank(*at))
            at++;
    }
    return SkipBlanks(at);
}

int SplitCommandTail(char* tail, char** slots, bool* tooMany)
{
    if (tooMany)
        *tooMany = false;
    int i = 1;
    char* at = tail;
    for (;;) {
        at = SkipBlanks(at);
        if (!*at)
            break;
        bool quoted = *at == '"';
        if (quoted)
            at++;
        slots[i++] = at;
        while (*at && (quoted ? *at != '"' : !IsBlank(*at)))
            at++;
        if (!*at)
            break;
        *at++ = '\0';
        if (i > MAX_ARGUMENTS) {
            if (tooMany)
                *tooMany = *SkipBlanks(at) != '\0';
            break;
        }
        if (!*at)
            break;
    }
    return i;
}

// -i, -n and -v hold for the whole run, wherever they stand before the options end, so a
// dry run asked for after a folder still writes nothing: they are read first, with -s
// (which silences boxes, all shown after the walks) and the words that ask for the usage
// or the version, or that the command does not know.
void ReadRunOptions(char** slots, int count)
{
    for (int i = 1; i < count; i++) {
        if (!StartsOption(slots[i][0]))
            continue;
        const char* list = nullptr;
        if (IsRestore(slots[i])) { // an automatic run of its own, whose list is the next word
            programState.automatic = 1;
            programState.restoreWithoutList |= i + 1 == count;
            i++;
        } else if (IsLongRestore(slots[i], &list)) {
            programState.automatic = 1;
            programState.restoreWithoutList |= !list || !*list;
        } else if (SpellsAnotherLongName(slots[i])) {
            NoteUnknownOption(slots[i]);
        } else if (IsShortExclude(slots[i])) {
            bool attached = slots[i][2] != '\0'; // -x*.xmp, as getopt reads it
            AddExcludePattern(attached        ? slots[i] + 2
                              : i + 1 < count ? slots[i + 1]
                                              : nullptr,
                              "-x");
            i += attached ? 0 : 1;
        } else if (IsShortJobs(slots[i])) {
            bool attached = slots[i][2] != '\0'; // -j8
            SetJobs(attached ? slots[i] + 2 : i + 1 < count ? slots[i + 1] : nullptr, "-j");
            i += attached ? 0 : 1;
        } else if (!ApplyOption(slots[i], true)) {
            break;
        }
    }
    if (programState.onlyEarlier && programState.onlyLater)
        Refuse("--only-earlier and --only-later cannot go together: a folder would never be set");
    if (programState.setCreated && !CREATION_TIMES_SETTABLE)
        Refuse("--created cannot be done here: this system keeps no creation time a program "
               "may set");
}

void ApplyArguments(char** slots, int count)
{
    walkedCount = 0;
    ReadRunOptions(slots, count);
    if (programState.usageAsked || programState.versionAsked || programState.unknownOption ||
        programState.restoreWithoutList || programState.refusal)
        return; // nothing is walked
    bool optionsAllowed = true;
    for (int i = 1; i < count; i++) {
        char* token = slots[i];
        const char* list = nullptr;
        if (optionsAllowed && StartsOption(token[0]) && IsRestore(token) && i + 1 < count) {
            programState.walksStarted++;
            RunRestore(slots[++i]);
            continue;
        }
        if (optionsAllowed && IsLongRestore(token, &list)) {
            programState.walksStarted++;
            RunRestore(list);
            continue;
        }
        if (optionsAllowed && IsShortExclude(token)) {
            i += token[2] ? 0 : 1; // its pattern, read with the options of the whole run
            continue;
        }
        if (optionsAllowed && StartsOption(token[0]) && IsShortJobs(token)) {
            i += token[2] ? 0 : 1; // its count, read with the options of the whole run
            continue;
        }
        if (optionsAllowed && StartsOption(token[0])) {
            optionsAllowed = ApplyOption(token, false);
            continue;
        }
        programState.folderArgument = token;
        if (programState.automatic) {
            programState.walksStarted++;
            NoteWalked(token);
            StartWatch(); // with --watch, the walk records what it enters
            RunFolderWalk(token);
        }
    }
}

size_t SuggestLongOption(const char* word, char* into, size_t size)
{
    // The word as it was likely meant: any case, '_' for '-', without its value.
    bool single = word[0] == '-' && word[1] != '-';
    char meant[64] = {};
    size_t length = 0;
    for (const char* at = word + (single ? 1 : 2); *at && *at != '=' && length + 1 < sizeof meant;
         at++)
        meant[length++] =
            *at == '_' ? '-' : static_cast<char>(*at | (*at >= 'A' && *at <= 'Z' ? 0x20 : 0));
    const char* best = nullptr;
    // Two edits at most, or the word was no slip of that option; a single-dash word is taken
    // for a long option only when it spells one whole (-version), not when it is near one.
    size_t bestDistance = single ? 1 : 3;
    for (size_t i = 0; i < OPTION_COUNT; i++) {
        const OptionRow& option = OPTION_TABLE[i];
        size_t distance = option.name[0] ? EditDistance(meant, length, option.name) : bestDistance;
        if (distance < bestDistance) {
            best = option.name;
            bestDistance = distance;
        }
    }
    if (!best || strlen(best) + 3 > size)
        return 0;
    into[0] = into[1] = '-';
    strcpy(into + 2, best);
    return strlen(into);
}

const char* const* WalkedFolders(int* count)
{
    *count = walkedCount;
    return walked;
}
