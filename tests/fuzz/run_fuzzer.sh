#!/usr/bin/env bash
# Runs one fuzz target for a bounded time from a copy of its corpus in the repository.
# usage: run_fuzzer.sh FUZZER CORPUS WORKDIR SECONDS
set -eu
fuzzer=$1 corpus=$2 work=$3 seconds=$4
rm -rf "$work" && mkdir -p "$work/corpus"
cp -r "$corpus"/. "$work/corpus/"
cd "$work"
"$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 -print_final_stats=1 corpus
