// The names --exclude leaves out: patterns of '*' and '?' matched against one name, as the
// platform's shell matches names.
#pragma once

// Whether `name` matches `pattern`: '*' stands for any run of characters (none too), '?'
// for exactly one character (a whole UTF-8 sequence), every other byte for itself, in any
// ASCII case when `anyCase`.
bool MatchesPattern(const char* pattern, const char* name, bool anyCase);

// Whether `name` matches one of the run's --exclude patterns, in the platform's case rule
// (any case on Windows, exact bytes on POSIX).
bool IsExcludedName(const char* name);
