#!/usr/bin/env bash
# Builds the three programs (Linux, 32-bit and 64-bit Windows) and runs every test.
set -eu
cd "$(dirname "$0")/.."
bash scripts/install-dependencies.sh
for preset in win32 win64 host sanitize tsan; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
done
# The Linux command and its tests under AddressSanitizer and UBSan, and the fuzzers.
ctest --preset sanitize
# The file layer's threads under ThreadSanitizer: its suites, and the command on real trees.
ctest --preset tsan
# Everything else: the Linux build's tests, the Windows programs under Wine, the files.
ctest --preset host
