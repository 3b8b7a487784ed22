// Wildcard matching of one name: greedy with one step back to the latest '*', so a name is
// matched in time proportional to its length times the pattern's.
#include "name_patterns.h"

#include "platform_config.h"
#include "program_state.h"

namespace {

// Behind the character that begins at `at`: its lead byte and its continuation bytes.
const char* NextCharacter(const char* at)
{
    at++;
    while ((static_cast<unsigned char>(*at) & 0xC0) == 0x80)
        at++;
    return at;
}

bool SameByte(char a, char b, bool anyCase)
{
    if (anyCase) {
        a = a >= 'A' && a <= 'Z' ? static_cast<char>(a | 0x20) : a;
        b = b >= 'A' && b <= 'Z' ? static_cast<char>(b | 0x20) : b;
    }
    return a == b;
}

} // namespace

bool MatchesPattern(const char* pattern, const char* name, bool anyCase)
{
    const char* afterStar = nullptr; // the pattern behind the latest '*'
    const char* retry = nullptr; // where the name is tried again against it
    while (*name) {
        if (*pattern == '*') {
            afterStar = ++pattern;
            retry = name;
        } else if (*pattern == '?') {
            pattern++;
            name = NextCharacter(name);
        } else if (*pattern && SameByte(*pattern, *name, anyCase)) {
            pattern++;
            name++;
        } else if (afterStar) {
            // The latest '*' takes one character more.
            pattern = afterStar;
            name = retry = NextCharacter(retry);
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        pattern++;
    return *pattern == '\0';
}

bool IsExcludedName(const char* name)
{
    for (int32_t i = 0; i < programState.excludeCount; i++) {
        if (MatchesPattern(programState.excludePatterns[i], name, NAMES_IGNORE_CASE))
            return true;
    }
    return false;
}
