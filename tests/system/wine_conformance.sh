#!/usr/bin/env bash
# Runs the file-call conformance suite, built for Windows, under a fresh Wine session.
# usage: wine_conformance.sh TESTS.exe WORKDIR
set -u
. "$(dirname "$0")/lib.sh"
rm -rf "$2" && mkdir -p "$2"
wine_start "$2"
wine_suite "the file calls under Wine" "$2/out" "$1"
finish
