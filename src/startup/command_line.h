// Splitting the command tail into tokens and reading the options from them.
#pragma once

#include <cstddef>

constexpr int MAX_ARGUMENTS = 1023;

// Returns the command line behind the program's own name and the blanks that follow it.
char* SkipProgramName(char* commandLine);

// Cuts `tail` into tokens in place, stored from slots[1] on (at most MAX_ARGUMENTS);
// returns the index behind the last token. `tooMany` (when given) tells whether words were
// left behind the last one taken.
int SplitCommandTail(char* tail, char** slots, bool* tooMany = nullptr);

// Reads the options that hold for the whole run (-s, -i, -n, -v), and notes a request for
// the usage or the version and the first unknown option (where those are errors).
void ReadRunOptions(char** slots, int count);

// Sets the flags and the folder argument from slots[1] to slots[count - 1], walking each
// folder argument that follows the automatic option as it is met. Walks nothing when the
// command line asks for the usage or the version or holds an unknown option.
void ApplyArguments(char** slots, int count);

// The folders the automatic run walked, in their order; `count` gets how many.
const char* const* WalkedFolders(int* count);

// The long option `word` was most likely meant to be, as "--dry-run" into `into`: a word
// that begins with "--" and is none, or a single-dash word that spells a long name whole
// (-version). Returns its length, or 0 when none is close.
size_t SuggestLongOption(const char* word, char* into, size_t size);
