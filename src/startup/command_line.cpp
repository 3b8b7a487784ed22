// The command-line rules: double quotes group, nothing escapes, options are decided by
// their second character alone, and "--" ends them.
#include "command_line.h"

#include "folder_walk.h"
#include "platform_config.h"
#include "program_state.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char* SkipBlanks(char* at)
{
    while (IsBlank(*at))
        at++;
    return at;
}

bool StartsOption(char c) { return c == '-' || (SLASH_STARTS_OPTION && c == '/'); }

// Returns whether later tokens may still be options.
bool ApplyOption(char which)
{
    if (which == '-' || which == '/')
        return false;
    switch (which | 0x20) { // ASCII letters without regard to case
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

void ApplyArguments(char** slots, int count)
{
    bool optionsAllowed = true;
    for (int i = 1; i < count; i++) {
        char* token = slots[i];
        if (optionsAllowed && StartsOption(token[0])) {
            optionsAllowed = ApplyOption(token[1]);
            continue;
        }
        programState.folderArgument = token;
        if (programState.automatic)
            RunFolderWalk(token);
    }
}
