#!/usr/bin/env bash
# Runs the file-call conformance suite, built for Windows (also with threads), and the
# Windows layer's own tests under a fresh Wine session.
# usage: wine_conformance.sh TESTS_FOLDER WORKDIR
set -u
. "$(dirname "$0")/lib.sh"
rm -rf "$2" && mkdir -p "$2"
wine_start "$2"
wine_suite "the file calls under Wine" "$2/out" "$1/conformance_tests.exe"
# Again with folder times written behind on eight threads.
CHRONOTREE_TEST_THREADS=8 wine_suite "the file calls under Wine, eight threads" "$2/out8" \
  "$1/conformance_tests.exe"
# A folder mapped as a network drive, as a share is.
mkdir -p "$2/share/folder"
wine_network_drive s "$2/share"
CHRONOTREE_TEST_SHARE='S:\folder' wine_suite "the Windows layer under Wine" "$2/layer.out" \
  "$1/windows_layer_tests.exe"
finish
