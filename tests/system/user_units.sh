#!/usr/bin/env bash
# The systemd user units of a daily run, as cmake --install puts them under a prefix:
# systemd-analyze verifies real instances of them (the command and its manual page where
# the units name them), and the service's command line, run as systemd would run it for a
# folder, sets the tree and then finds nothing to write.
# usage: user_units.sh BUILD_DIR WORKDIR
set -u
build=$1 work=$2
. "$(dirname "$0")/lib.sh"
rm -rf "$work" && mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1
units=$work/prefix/lib/systemd/user
check "cmake --install puts the units where user units go" \
  [ -s "$units/chronotree@.service" ] && [ -s "$units/chronotree@.timer" ] &&
  [ -s "$units/chronotree-watch@.service" ]
tree="$work/My Photos"
build_tree "$tree"
instance=$(systemd-escape --path "$tree")
for kind in service timer; do
  cp "$units/chronotree@.$kind" "$units/chronotree@$instance.$kind"
done
cp "$units/chronotree-watch@.service" "$units/chronotree-watch@$instance.service"
MANPATH=$work/prefix/share/man: XDG_RUNTIME_DIR=$work/runtime systemd-analyze --user verify \
  "$units/chronotree@$instance.service" "$units/chronotree@$instance.timer" \
  "$units/chronotree-watch@$instance.service" >"$work/verify.out" 2>&1
check "systemd-analyze verifies an instance of each" [ $? -eq 0 ]
cat "$work/verify.out"
check "the timer runs daily, and catches up on a day missed" \
  grep -qx "OnCalendar=daily" "$units/chronotree@.timer"
# The service's command line with %f as systemd expands it: the instance's path.
command=$(sed -n 's/^ExecStart=//p' "$units/chronotree@.service")
command=${command//%f/$(systemd-escape --unescape --path "$instance")}
runs() { # the command as its words: the path is the last one, blanks and all
  "${@:1:$#-1}" "${!#}" >"$work/run.out" 2>"$work/run.err"
}
# shellcheck disable=SC2086 # the command's words, then the path whole
runs ${command% -- *} -- "${command#* -- }"
check "the service's command sets the tree" [ $? -eq 0 ]
check_tree "the daily run" "$tree"
# shellcheck disable=SC2086
runs ${command% -- *} -v -- "${command#* -- }"
check "and the next run finds nothing to write (-v lists nothing)" empty "$work/run.out"
# The watch's command line, stopped as systemctl stop stops it (SIGTERM): it sets a change
# made while it runs, then ends with status 0.
command=$(sed -n 's/^ExecStart=//p' "$units/chronotree-watch@.service")
command=${command//%f/$(systemd-escape --unescape --path "$instance")}
check "the watch service restarts on failure" \
  grep -qx "Restart=on-failure" "$units/chronotree-watch@.service"
# shellcheck disable=SC2086
${command% -- *} --settle=0 -- "${command#* -- }" >"$work/watch.out" 2>"$work/watch.err" &
watcher=$!
sleep 1
touch -d "2024-02-02 00:00:00" "$tree/A/B/new.txt"
for _ in $(seq 50); do has_mtime "$tree/A" "$(epoch "2024-02-02 00:00:00")" && break; sleep 0.1; done
check "the watch sets a file's change" has_mtime "$tree/A" "$(epoch "2024-02-02 00:00:00")"
kill -TERM "$watcher"
wait "$watcher"
check "and ends with status 0 on SIGTERM" [ $? -eq 0 ]
finish
