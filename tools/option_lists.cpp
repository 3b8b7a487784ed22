// Prints the option table for what is made from it at build time: the documentation's
// check reads "table"; the shells' completions are made from it ("bash", "zsh", "fish"),
// with the options of the Linux command alone.
#include "option_table.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The counts of threads offered after -j.
constexpr char THREAD_COUNTS[] = "1 2 4 8 16 32 64";

const char* Where(uint8_t platforms)
{
    if (platforms == EVERYWHERE)
        return "both";
    if (platforms == ON_LINUX)
        return "linux";
    return platforms == ON_WINDOWS ? "windows" : "none";
}

bool OnLinux(const OptionRow& row) { return row.name[0] && (row.platforms & ON_LINUX); }

bool LetterOnLinux(const OptionRow& row) { return row.letter && (row.letterPlatforms & ON_LINUX); }

bool Named(const OptionRow& row, const char* name) { return strcmp(row.name, name) == 0; }

// One row a line: letter (or -), long name (or -- for the end of options), value (or -),
// where it works, where its letter is read, its help.
void PrintTable()
{
    for (size_t i = 0; i < OPTION_COUNT; i++) {
        const OptionRow& row = OPTION_TABLE[i];
        printf("%c\t%s\t%s\t%s\t%s\t%s\n", row.letter ? row.letter : '-',
               row.name[0] ? row.name : "--", row.value ? row.value : "-", Where(row.platforms),
               Where(row.letterPlatforms), row.help);
    }
}

// The words bash offers for a word that begins with a dash: "--name" or "--name=".
std::string BashWords()
{
    std::string words;
    for (size_t i = 0; i < OPTION_COUNT; i++) {
        const OptionRow& row = OPTION_TABLE[i];
        if (!OnLinux(row))
            continue;
        if (LetterOnLinux(row))
            words += std::string(" -") + row.letter;
        words += std::string(" --") + row.name + (row.value ? "=" : "");
    }
    return words.substr(1);
}

void PrintBash()
{
    printf("# bash completion for chronotree, made from its option table.\n"
           "_chronotree()\n"
           "{\n"
           "    local cur prev words cword split\n"
           "    _init_completion -s || return\n"
           "    case $prev in\n"
           "        -r | --restore) _filedir; return ;;\n"
           "        -x | --exclude) return ;; # a pattern: nothing to offer\n"
           "        -j | --jobs) COMPREPLY=($(compgen -W '%s' -- \"$cur\")); return ;;\n"
           "    esac\n"
           "    $split && return\n"
           "    if [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W '%s' -- \"$cur\"))\n"
           "        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace\n"
           "        return\n"
           "    fi\n"
           "    _filedir -d # the folders to walk\n"
           "}\n"
           "complete -F _chronotree chronotree\n",
           THREAD_COUNTS, BashWords().c_str());
}

// The help as a zsh description: what would end or split it escaped.
std::string ZshHelp(const char* help)
{
    std::string text;
    for (const char* at = help; *at; at++) {
        if (strchr("[]:\\", *at))
            text += '\\';
        if (*at == '\'')
            text += "'\\''";
        else
            text += *at;
    }
    return text;
}

// What follows an option's value in zsh's description of it: its message and what completes
// it.
const char* ZshValue(const OptionRow& row)
{
    if (Named(row, "restore"))
        return ":list of changes:_files";
    if (Named(row, "jobs"))
        return ":threads:(1 2 4 8 16 32 64)";
    if (Named(row, "every"))
        return ":seconds: ";
    return ":pattern: ";
}

void PrintZsh()
{
    printf("#compdef chronotree\n# zsh completion for chronotree, made from its option table.\n"
           "_arguments -s -S \\\n");
    for (size_t i = 0; i < OPTION_COUNT; i++) {
        const OptionRow& row = OPTION_TABLE[i];
        if (!OnLinux(row))
            continue;
        std::string help = ZshHelp(row.help);
        std::string value = row.value ? ZshValue(row) : "";
        if (LetterOnLinux(row)) {
            printf("  '(-%c --%s)-%c%s[%s]%s' \\\n", row.letter, row.name, row.letter,
                   row.value ? "+" : "", help.c_str(), value.c_str());
            printf("  '(-%c --%s)--%s%s[%s]%s' \\\n", row.letter, row.name, row.name,
                   row.value ? "=" : "", help.c_str(), value.c_str());
        } else {
            printf("  '--%s%s[%s]%s' \\\n", row.name, row.value ? "=" : "", help.c_str(),
                   value.c_str());
        }
    }
    printf("  '*:folder:_files -/'\n");
}

// The help as a fish description, in single quotes.
std::string FishHelp(const char* help)
{
    std::string text;
    for (const char* at = help; *at; at++) {
        if (*at == '\'' || *at == '\\')
            text += '\\';
        text += *at;
    }
    return text;
}

void PrintFish()
{
    printf("# fish completion for chronotree, made from its option table.\n"
           "# The words to walk are folders; only -r's list is a file.\n"
           "complete -c chronotree -f -a '(__fish_complete_directories (commandline -ct))'\n");
    for (size_t i = 0; i < OPTION_COUNT; i++) {
        const OptionRow& row = OPTION_TABLE[i];
        if (!OnLinux(row))
            continue;
        printf("complete -c chronotree");
        if (LetterOnLinux(row))
            printf(" -s %c", row.letter);
        printf(" -l %s", row.name);
        if (Named(row, "restore"))
            printf(" -r -F");
        else if (Named(row, "jobs"))
            printf(" -x -a '%s'", THREAD_COUNTS);
        else if (row.value)
            printf(" -x");
        printf(" -d '%s'\n", FishHelp(row.help).c_str());
    }
}

} // namespace

int main(int argc, char** argv)
{
    const char* what = argc > 1 ? argv[1] : "";
    void (*print)() = strcmp(what, "table") == 0  ? PrintTable
                      : strcmp(what, "bash") == 0 ? PrintBash
                      : strcmp(what, "zsh") == 0  ? PrintZsh
                      : strcmp(what, "fish") == 0 ? PrintFish
                                                  : nullptr;
    if (!print) {
        fprintf(stderr, "usage: option_lists table|bash|zsh|fish\n");
        return 2;
    }
    print();
    return 0;
}
