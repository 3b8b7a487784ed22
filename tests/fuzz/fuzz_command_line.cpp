// Fuzzes the tokenizer and the option pass against a plain reference of the same rules.
#include "command_line.h"
#include "fake_shell.h"
#include "memory_fs.h"
#include "platform_config.h"
#include "program_state.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<std::string> ReferenceTokens(const std::string& tail)
{
    std::vector<std::string> tokens;
    size_t at = 0;
    while (tokens.size() < static_cast<size_t>(MAX_ARGUMENTS)) {
        at = tail.find_first_not_of(" \t", at);
        if (at == std::string::npos)
            break;
        bool quoted = tail[at] == '"';
        size_t start = at + (quoted ? 1 : 0);
        size_t end = quoted ? tail.find('"', start) : tail.find_first_of(" \t", start);
        tokens.push_back(
            tail.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return tokens;
}

struct Options {
    bool automatic = false;
    bool silent = false;
    bool dryRun = false;
    int folderArgument = -1; // index into the tokens
};

bool IsOption(const std::string& token)
{
    return !token.empty() && (token[0] == '-' || (SLASH_STARTS_OPTION && token[0] == '/'));
}

// The letters a word stands for: each of a group's, or its second character alone.
std::string Letters(const std::string& token)
{
    std::string letters = token.substr(1);
    bool group = !letters.empty() && letters.find_first_not_of("asinvASINV") == std::string::npos &&
                 letters.find_first_of("invINV") != std::string::npos;
    return group ? letters : letters.substr(0, 1);
}

// A word of two dashes and more: a long option, which must be spelled exactly.
bool IsLong(const std::string& token) { return token.size() > 2 && token.compare(0, 2, "--") == 0; }

const char* const PLAIN_LONG[] = {
    "automatic",    "silent",     "ignore-manager-files", "dry-run", "verbose",  "created",
    "only-earlier", "only-later", "ignore-future",        "top",     "no-links", "changes-only",
    "watch"};

// Every long name with its letter (or none), for a word of one dash that spells one.
const std::pair<const char*, char> LETTERS_OF_NAMES[] = {
    {"automatic", 'a'},   {"silent", 's'},     {"ignore-manager-files", 'i'},
    {"dry-run", 'n'},     {"verbose", 'v'},    {"restore", 'r'},
    {"exclude", 'x'},     {"only-earlier", 0}, {"only-later", 0},
    {"ignore-future", 0}, {"top", 0},          {"no-links", 0},
    {"changes-only", 0},  {"every", 0},        {"watch", 0},
    {"settle", 0},        {"created", 'c'},    {"jobs", 'j'},
    {"help", 'h'},        {"version", 0}};

// On Linux a word of one dash that spells another option's long name (-version) is refused.
bool SpellsAnotherName(const std::string& token)
{
    if (!UNKNOWN_OPTIONS_ARE_ERRORS || token.size() < 2 || token[0] != '-' || token[1] == '-')
        return false;
    std::string name = token.substr(1, token.find('=') == std::string::npos ? std::string::npos
                                                                            : token.find('=') - 1);
    for (char& c : name)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
    for (const auto& [long_name, letter] : LETTERS_OF_NAMES) {
        if (name == long_name)
            return letter != (token[1] | 0x20);
    }
    return false;
}

// A count of threads: digits alone, from 1 to 64.
bool BadCount(const std::string& count)
{
    if (count.empty() || count.find_first_not_of("0123456789") != count.npos)
        return true;
    std::string digits = count.substr(std::min(count.find_first_not_of('0'), count.size()));
    return digits.empty() || digits.size() > 2 || std::stoi(digits) > 64;
}

// What a long word does to the run: "stop" (refused, or the usage or the version), "n"
// (a dry run), "a", "s", "r" (a restore), "earlier", "later", or "" (nothing here).
std::string LongEffect(const std::string& token)
{
    std::string name = token.substr(2);
    if (name == "help" || name == "version")
        return "stop";
    if (name == "restore" || name.compare(0, 8, "restore=") == 0)
        return name.size() > 8 ? "r" : "r-stop"; // an automatic run, even without its list
    if (name.compare(0, 5, "jobs=") == 0)
        return BadCount(name.substr(5)) ? "stop" : "";
    bool settle = name.compare(0, 7, "settle=") == 0; // from 0
    if (name.compare(0, 6, "every=") == 0 || settle) { // seconds, digits alone, to 4294967
        std::string seconds = name.substr(settle ? 7 : 6);
        std::string digits =
            seconds.substr(std::min(seconds.find_first_not_of('0'), seconds.size()));
        if (seconds.empty() || seconds.find_first_not_of("0123456789") != seconds.npos ||
            digits.size() > 7)
            return "stop";
        long value = digits.empty() ? 0 : std::stol(digits);
        return value < (settle ? 0 : 1) || value > 4294967 ? "stop" : "";
    }
    if (name.compare(0, 8, "exclude=") == 0) {
        std::string pattern = name.substr(8);
        bool separator = pattern.find('/') != std::string::npos ||
                         (PATH_SEPARATOR == '\\' && pattern.find('\\') != std::string::npos);
        return pattern.empty() || separator ? "stop" : "";
    }
    for (const char* plain : PLAIN_LONG) {
        if (name != plain)
            continue;
        if (name == "dry-run")
            return "n";
        if (name == "automatic" || name == "silent")
            return name.substr(0, 1);
        if (name == "created")
            return CREATION_TIMES_SETTABLE ? "" : "stop";
        if (name == "only-earlier" || name == "only-later")
            return name.substr(5);
        return "";
    }
    return "stop";
}

// -j N or -jN, on every platform: decided by the second letter.
bool IsShortJobs(const std::string& token)
{
    return token.size() > 1 && (token[1] == 'j' || token[1] == 'J');
}

// -x PATTERN, a Linux command's: decided by the second letter, the pattern the next word.
bool IsShortExclude(const std::string& token)
{
    return UNKNOWN_OPTIONS_ARE_ERRORS && token.size() > 1 && token[0] == '-' &&
           (token[1] | 0x20) == 'x';
}

bool BadPattern(const std::string& pattern)
{
    return pattern.empty() || pattern.find('/') != std::string::npos ||
           pattern.find(PATH_SEPARATOR) != std::string::npos;
}

bool Has(const std::string& letters, const char* any)
{
    return letters.find_first_of(any) != std::string::npos;
}

// The first pass: -s, -i, -n, -v and the other choices for the whole run; whether the
// command line asks for the usage or the version, holds an unknown option (where that is an
// error, and every long word no option has), a -r with no list, or options that cannot go
// together, in which case nothing else happens.
bool ReadWholeRun(const std::vector<std::string>& tokens, Options* options)
{
    bool stop = false, earlier = false, later = false;
    for (size_t i = 0; i < tokens.size(); i++) {
        const std::string& token = tokens[i];
        if (!IsOption(token))
            continue;
        std::string letters = Letters(token);
        if (IsLong(token)) {
            std::string effect = LongEffect(token);
            stop |= effect == "stop" || effect == "r-stop";
            options->dryRun |= effect == "n";
            options->silent |= effect == "s";
            options->automatic |= effect == "r" || effect == "r-stop";
            earlier |= effect == "earlier";
            later |= effect == "later";
        } else if (letters == "-" || letters == "/") {
            break;
        } else if (Has(letters.substr(0, 1), "rR")) {
            options->automatic = true;
            stop |= ++i == tokens.size();
        } else if (SpellsAnotherName(token)) {
            stop = true;
        } else if (IsShortExclude(token)) {
            bool glued = token.size() > 2; // -x*.xmp
            stop |=
                glued ? BadPattern(token.substr(2)) : ++i == tokens.size() || BadPattern(tokens[i]);
        } else if (IsShortJobs(token)) {
            bool glued = token.size() > 2;
            stop |= glued ? BadCount(token.substr(2)) : ++i == tokens.size() || BadCount(tokens[i]);
        } else if (Has(letters.substr(0, 1), "hH?")) {
            stop = true;
        } else {
            options->silent |= Has(letters, "sS");
            options->dryRun |= Has(letters, "nN");
            stop |= !CREATION_TIMES_SETTABLE && Has(letters.substr(0, 1), "cC");
            stop |= UNKNOWN_OPTIONS_ARE_ERRORS && !letters.empty() &&
                    !Has(letters.substr(0, 1), "asinvcASINVC");
        }
    }
    return !stop && !(earlier && later);
}

Options ReferenceOptions(const std::vector<std::string>& tokens)
{
    Options options;
    if (!ReadWholeRun(tokens, &options))
        return options;
    bool allowed = true;
    for (size_t i = 0; i < tokens.size(); i++) {
        const std::string& token = tokens[i];
        bool option = IsOption(token);
        if (allowed && option && token.size() > 1 && token[1] != '-' &&
            Has(token.substr(1, 1), "rR") && i + 1 < tokens.size()) {
            i++; // the list to restore from
        } else if (allowed && IsShortExclude(token)) {
            i += token.size() > 2 ? 0 : 1; // the pattern
        } else if (allowed && option && IsShortJobs(token)) {
            i += token.size() > 2 ? 0 : 1; // the count
        } else if (allowed && IsLong(token)) {
            std::string effect = LongEffect(token);
            options.dryRun |= effect == "n";
            options.silent |= effect == "s";
            options.automatic |= effect == "a";
        } else if (allowed && option) {
            std::string letters = Letters(token);
            allowed = letters != "-" && letters != "/";
            options.automatic |= Has(letters, "aA");
            options.silent |= Has(letters, "sS");
            options.dryRun |= Has(letters, "nN");
        } else {
            options.folderArgument = static_cast<int>(i);
        }
    }
    return options;
}

void Expect(bool condition, const char* what)
{
    if (!condition) {
        fprintf(stderr, "mismatch: %s\n", what);
        abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string tail(reinterpret_cast<const char*>(data), size);
    tail = tail.substr(0, tail.find('\0')); // a command line holds no NUL
    std::vector<char> buffer(tail.begin(), tail.end());
    buffer.push_back('\0');
    char* slots[MAX_ARGUMENTS + 1] = {};
    int count = SplitCommandTail(buffer.data(), slots);

    std::vector<std::string> expected = ReferenceTokens(tail);
    Expect(count == static_cast<int>(expected.size()) + 1, "token count");
    Expect(slots[0] == nullptr, "slot 0 stays empty");
    for (int i = 1; i < count; i++) {
        Expect(slots[i] >= buffer.data() && slots[i] < buffer.data() + buffer.size(),
               "inside the tail");
        Expect(expected[i - 1] == slots[i], "token text");
    }

    memfs::Reset();
    fakeshell::Reset();
    ResetProgramState();
    ApplyArguments(slots, count);
    Options options = ReferenceOptions(expected);
    Expect(programState.automatic == options.automatic, "automatic");
    Expect(programState.silent == options.silent, "silent");
    Expect(programState.dryRun == options.dryRun, "dry run, wherever it stands");
    Expect(options.folderArgument < 0
               ? programState.folderArgument == nullptr
               : programState.folderArgument == slots[options.folderArgument + 1],
           "folder argument");
    return 0;
}
