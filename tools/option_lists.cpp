// Prints the option table for what is made from it at build time: the documentation's
// check reads "table", the shells' completions are made from it ("bash", "zsh", "fish").
#include "option_table.h"

#include <cstdio>
#include <cstring>

namespace {

const char* Where(uint8_t platforms)
{
    return platforms == EVERYWHERE   ? "both"
           : platforms == ON_LINUX   ? "linux"
           : platforms == ON_WINDOWS ? "windows"
                                     : "none";
}

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

} // namespace

int main(int argc, char** argv)
{
    const char* what = argc > 1 ? argv[1] : "";
    if (strcmp(what, "table") == 0) {
        PrintTable();
        return 0;
    }
    fprintf(stderr, "usage: option_lists table\n");
    return 2;
}
