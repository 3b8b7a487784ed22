#!/usr/bin/env bash
# Keeps every C and C++ file of the project as clang-format writes it.
# usage: format_check.sh SOURCE_DIR
set -u
cd "$1"
files=$(git ls-files '*.c' '*.cpp' '*.h' 2>/dev/null)
if [ -z "$files" ]; then
  echo "SKIPPED: no git checkout to list the files of"
  exit 77
fi
# shellcheck disable=SC2086 # one word a file: no file name holds a blank
if clang-format --dry-run --Werror $files >/tmp/format_check.$$ 2>&1; then
  rm -f /tmp/format_check.$$
  echo "1 passed, 0 failed"
else
  grep -o '^[^:]*:[0-9]*' /tmp/format_check.$$ | sort -u | head -20
  rm -f /tmp/format_check.$$
  echo "0 passed, 1 failed"
  exit 1
fi
