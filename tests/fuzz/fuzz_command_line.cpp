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

Options ReferenceOptions(const std::vector<std::string>& tokens)
{
    Options options;
    bool allowed = true;
    for (size_t i = 0; i < tokens.size(); i++) {
        const std::string& token = tokens[i];
        bool option =
            !token.empty() && (token[0] == '-' || (SLASH_STARTS_OPTION && token[0] == '/'));
        if (allowed && option && token == "--dry-run") {
            options.dryRun = true;
        } else if (allowed && option) {
            std::string letters = token.substr(1);
            bool group = !letters.empty() &&
                         letters.find_first_not_of("asinvASINV") == std::string::npos &&
                         letters.find_first_of("invINV") != std::string::npos;
            if (!group)
                letters = letters.substr(0, 1); // decided by the second character alone
            allowed = letters != "-" && letters != "/";
            options.automatic |= letters.find_first_of("aA") != std::string::npos;
            options.silent |= letters.find_first_of("sS") != std::string::npos;
            options.dryRun |= letters.find_first_of("nN") != std::string::npos;
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
