// Fuzzes the tokenizer and the option pass against a plain reference of the same rules.
#include "command_line.h"
#include "fake_shell.h"
#include "memory_fs.h"
#include "platform_config.h"
#include "program_state.h"

#include <cstdio>
#include <cstdlib>
#include <string>
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

bool Has(const std::string& letters, const char* any)
{
    return letters.find_first_of(any) != std::string::npos;
}

// The first pass: -s, -i, -n, -v for the whole run; whether the command line asks for
// the usage or the version, holds an unknown option (where that is an error) or a -r
// with no list, in which case nothing else happens.
bool ReadWholeRun(const std::vector<std::string>& tokens, Options* options)
{
    bool stop = false;
    for (size_t i = 0; i < tokens.size(); i++) {
        const std::string& token = tokens[i];
        if (!IsOption(token))
            continue;
        std::string letters = Letters(token);
        if (token == "--dry-run") {
            options->dryRun = true;
        } else if (token == "--help" || token == "--version") {
            stop = true;
        } else if (letters == "-" || letters == "/") {
            break;
        } else if (Has(letters.substr(0, 1), "rR")) {
            options->automatic = true;
            stop |= ++i == tokens.size();
        } else if (Has(letters.substr(0, 1), "hH?")) {
            stop = true;
        } else {
            options->silent |= Has(letters, "sS");
            options->dryRun |= Has(letters, "nN");
            stop |= UNKNOWN_OPTIONS_ARE_ERRORS && !letters.empty() &&
                    !Has(letters.substr(0, 1), "asinvASINV");
        }
    }
    return !stop;
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
        if (allowed && option && token.size() > 1 && Has(token.substr(1, 1), "rR") &&
            i + 1 < tokens.size()) {
            i++; // the list to restore from
        } else if (allowed && option && token == "--dry-run") {
            options.dryRun = true;
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
