// The command-line rules: double quotes group, nothing escapes, options are decided by
// their second character (or letter by letter in a group such as -an), and "--" ends them.
#include "command_line.h"

#include "folder_walk.h"
#include "platform_config.h"
#include "program_state.h"

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

void SetOption(char letter)
{
    switch (letter | 0x20) { // ASCII letters without regard to case
    case 'a':
        programState.automatic = 1;
        break;
    case 's':
        programState.silent = 1;
        break;
    case 'i':
        programState.ignoreManagerFiles = 1;
        break;
    case 'n':
        programState.dryRun = 1;
        break;
    case 'v':
        programState.verbose = 1;
        break;
    }
}

bool IsOptionLetter(char c) { return c && strchr("asinv", c | 0x20) != nullptr; }

// A word made only of option letters, with one of the later ones (i, n, v) among them,
// stands for each of its letters: -an, -anv, /ain. Any other word is decided by its second
// character, as the first options always were: -auto is -a, /Silent is /s, -as is -a.
bool IsLetterGroup(const char* letters)
{
    bool later = false;
    for (const char* at = letters; *at; at++) {
        if (!IsOptionLetter(*at))
            return false;
        later = later || strchr("inv", *at | 0x20) != nullptr;
    }
    return later;
}

// Returns whether later tokens may still be options. With `wholeRunOnly`, only the
// options that hold for the whole run (i, n, v) are set.
bool ApplyOption(const char* token, bool wholeRunOnly)
{
    if (strcmp(token, "--dry-run") == 0) {
        programState.dryRun = 1;
        return true;
    }
    char which = token[1];
    if (which == '-' || which == '/')
        return false;
    bool group = IsLetterGroup(token + 1);
    for (const char* at = token + 1; *at && (at == token + 1 || group); at++) {
        if (!wholeRunOnly || strchr("inv", *at | 0x20))
            SetOption(*at);
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

int SplitCommandTail(char* tail, char** slots)
{
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
        if (!*at || i > MAX_ARGUMENTS)
            break;
    }
    return i;
}

// -i, -n and -v hold for the whole run, wherever they stand before the options end, so a
// dry run asked for after a folder still writes nothing: they are read first.
void ApplyWholeRunOptions(char** slots, int count)
{
    for (int i = 1; i < count; i++) {
        if (StartsOption(slots[i][0]) && !ApplyOption(slots[i], true))
            return;
    }
}

void ApplyArguments(char** slots, int count)
{
    ApplyWholeRunOptions(slots, count);
    bool optionsAllowed = true;
    for (int i = 1; i < count; i++) {
        char* token = slots[i];
        if (optionsAllowed && StartsOption(token[0])) {
            optionsAllowed = ApplyOption(token, false);
            continue;
        }
        programState.folderArgument = token;
        if (programState.automatic)
            RunFolderWalk(token);
    }
}
