// The command-line rules: double quotes group, nothing escapes, options are decided by
// their second character (or letter by letter in a group such as -an), and "--" ends them.
#include "command_line.h"

#include "folder_walk.h"
#include "platform_config.h"
#include "program_state.h"
#include "restore_list.h"

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

// -r, whose list is the next word.
bool IsRestore(const char* token) { return (token[1] | 0x20) == 'r'; }

// Options the command does not know: a Linux command stops on the first (exit status 2).
void NoteUnknownOption(const char* token)
{
    if (UNKNOWN_OPTIONS_ARE_ERRORS && !programState.unknownOption)
        programState.unknownOption = token;
}

// Returns whether later tokens may still be options. Only the option letters in `which`
// are set; the usage, the version and unknown options are noted only with `note`.
bool ApplyOption(const char* token, const char* which, bool note)
{
    if (token[1] == '-' && (strcmp(token, "--dry-run") == 0 || strcmp(token, "--help") == 0 ||
                            strcmp(token, "--version") == 0)) {
        if (token[2] == 'd' && strchr(which, 'n'))
            programState.dryRun = 1;
        programState.usageAsked |= note && token[2] == 'h';
        programState.versionAsked |= note && token[2] == 'v';
        return true;
    }
    char first = token[1];
    if (first == '-' || first == '/')
        return false;
    if (IsRestore(token))
        return true; // the passes below handle it with its list
    if (first == '?' || (first | 0x20) == 'h') {
        programState.usageAsked |= note;
        return true;
    }
    if (first && !IsOptionLetter(first) && note)
        NoteUnknownOption(token);
    bool group = IsLetterGroup(token + 1);
    for (const char* at = token + 1; *at && (at == token + 1 || group); at++) {
        if (IsOptionLetter(*at) && strchr(which, *at | 0x20))
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
        if (IsRestore(slots[i])) { // an automatic run of its own, whose list is the next word
            programState.automatic = 1;
            programState.restoreWithoutList |= i + 1 == count;
            i++;
        } else if (!ApplyOption(slots[i], "sinv", true)) {
            return;
        }
    }
}

void ApplyArguments(char** slots, int count)
{
    ReadRunOptions(slots, count);
    if (programState.usageAsked || programState.versionAsked || programState.unknownOption ||
        programState.restoreWithoutList)
        return; // nothing is walked
    bool optionsAllowed = true;
    for (int i = 1; i < count; i++) {
        char* token = slots[i];
        if (optionsAllowed && StartsOption(token[0]) && IsRestore(token) && i + 1 < count) {
            RunRestore(slots[++i]);
            continue;
        }
        if (optionsAllowed && StartsOption(token[0])) {
            optionsAllowed = ApplyOption(token, "asinv", false);
            continue;
        }
        programState.folderArgument = token;
        if (programState.automatic)
            RunFolderWalk(token);
    }
}
