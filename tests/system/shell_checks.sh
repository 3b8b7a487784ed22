#!/usr/bin/env bash
# Keeps every condition of the shell suites inside their `check` helper: in
# `check "what" [ a ] && [ b ]` the second test runs outside it and can never fail.
# usage: shell_checks.sh FOLDER
set -u
found=$(grep -nE '^\s*check .*(\]|\)|"|[a-z]) *(&&|\|\|)' "$1"/*.sh)
if [ -n "$found" ]; then
  echo "a check with part of its condition outside it:"
  echo "$found"
  exit 1
fi
echo "1 passed, 0 failed"
