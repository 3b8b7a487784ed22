#!/usr/bin/env bash
# Runs the file-call conformance suite, built for Windows, and the Windows layer's own
# tests under a fresh Wine session.
# usage: wine_conformance.sh TESTS_FOLDER WORKDIR
set -u
. "$(dirname "$0")/lib.sh"
rm -rf "$2" && mkdir -p "$2"
wine_start "$2"
wine_suite "the file calls under Wine" "$2/out" "$1/conformance_tests.exe"
wine_suite "the Windows layer under Wine" "$2/layer.out" "$1/windows_layer_tests.exe"
finish
