// Splitting the command tail into tokens and reading the options from them.
#pragma once

constexpr int MAX_ARGUMENTS = 1023;

// Returns the command line behind the program's own name and the blanks that follow it.
char* SkipProgramName(char* commandLine);

// Cuts `tail` into tokens in place, stored from slots[1] on (at most MAX_ARGUMENTS);
// returns the index behind the last token.
int SplitCommandTail(char* tail, char** slots);

// Sets the flags and the folder argument from slots[1] to slots[count - 1], walking each
// folder argument that follows the automatic option as it is met.
void ApplyArguments(char** slots, int count);
