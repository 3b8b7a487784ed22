# Shared by the system tests: scratch trees with fixed times, checks, and Wine sessions.
# Wine's helpers inherit standard output, so its output always goes to files, never pipes.

failures=0
checks=0

check() { # check DESCRIPTION COMMAND...
  checks=$((checks + 1))
  if ! "${@:2}"; then
    echo "FAIL: $1"
    failures=$((failures + 1))
  fi
}

# A check's condition must be one command, so that all of it is inside `check`: for two
# conditions, a helper such as this one.
empty() { # empty FILE...: every file is empty or missing
  local file
  for file; do [ ! -s "$file" ] || return 1; done
}

mtime() { stat -c '%.9Y' "$1"; }
atime() { stat -c '%.9X' "$1"; }
has_mtime() { [ "$(mtime "$1")" = "$2" ]; }

# make_file PATH "YYYY-MM-DD hh:mm:ss[.nnnnnnnnn]"
make_file() { mkdir -p "$(dirname "$1")" && : >"$1" && touch -m -d "$2 UTC" "$1"; }
make_folder() { mkdir -p "$1" && touch -d "2001-01-01 00:00:00 UTC" "$1"; }
epoch() { date -u -d "$1 UTC" +%s.%N; }

finish() {
  echo "$((checks - failures)) passed, $failures failed"
  [ "$failures" -eq 0 ]
}

# The standard scratch tree: its walk reports "Folder dates changed: 7 out of 10".
# Folders start at 2001 and files carry what the cases need.
build_tree() {
  local t=$1
  rm -rf "$t"
  make_file "$t/A/B/f.txt" "2020-05-06 07:08:09.123456789"
  make_file "$t/A/g.txt" "2021-01-01 00:00:00.5"
  make_file "$t/C/D/h.txt" "2022-02-02 02:02:02.0000001"
  make_file "$t/C/i.txt" "2019-01-01 00:00:00"
  mkdir -p "$t/Empty" "$t/Outer/Inner"
  make_file "$t/..x/k.txt" "2018-03-03 00:00:00"
  make_file "$t/.cfg/l.txt" "1965-04-04 00:00:00"
  make_file "$t/Future/m.txt" "2100-01-01 00:00:00"
  make_file "$t/top.txt" "2023-01-01 00:00:00"
  find "$t" -type d -exec touch -m -d "2001-01-01 00:00:00 UTC" {} +
  # Access times after the change times and recent, so that reading a folder does not
  # move them (relatime) and any change is the program's.
  find "$t" -type d -exec touch -a -d "tomorrow" {} +
}

# A tree named in many scripts, its top folder too: Greek, Cyrillic, Korean, Japanese, an
# emoji outside the Basic Multilingual Plane, and an accent that combines with its letter
# (e + U+0301). Its walk reports "Folder dates changed: 7 out of 7".
SCRIPT_TOP="Ünïcødé 日本語 😀"
SCRIPT_NAMES=("Ελληνικά" "Русский" "한국어" "emoji😀" $'e\xcc\x81' "日本語" "日本語/深い")
build_script_tree() { # build_script_tree PARENT: the tree is PARENT/$SCRIPT_TOP
  local t=$1/$SCRIPT_TOP i=0 name
  rm -rf "$t"
  for name in "${SCRIPT_NAMES[@]}"; do
    i=$((i + 1))
    make_file "$t/$name/f$i" "2010-0$i-0$i 0$i:0$i:0$i.000000$i"
  done
  find "$t" -type d -exec touch -m -d "2001-01-01 00:00:00 UTC" {} +
}
check_script_tree() { # check_script_tree LABEL PARENT
  local t=$2/$SCRIPT_TOP i name
  local newest=(1 2 3 4 5 7 7) # 日本語 holds 深い, whose file is newer than its own
  for i in "${!SCRIPT_NAMES[@]}"; do
    name=${SCRIPT_NAMES[$i]} i=${newest[$i]}
    check "$1: $name, to 100 ns" has_mtime "$t/$name" "$(epoch "2010-0$i-0$i 0$i:0$i:0$i.000000$i")"
  done
  check "$1: the top folder is never written" has_mtime "$t" "$(epoch "2001-01-01")"
}

snapshot() { # every entry's access time, and every file's modification time
  (cd "$1" && find . -printf '%p %A@\n' -o -true && find . -type f -printf '%p %T@\n') | sort
}

check_tree() { # check_tree LABEL ROOT [below]
  local t=$2
  check "$1: B gets f, to 100 ns" has_mtime "$t/A/B" "$(epoch "2020-05-06 07:08:09.1234567")"
  check "$1: A gets the newer g" has_mtime "$t/A" "$(epoch "2021-01-01 00:00:00.5")"
  check "$1: C gets h from below" has_mtime "$t/C" "$(epoch "2022-02-02 02:02:02.0000001")"
  check "$1: D gets h" has_mtime "$t/C/D" "$(epoch "2022-02-02 02:02:02.0000001")"
  check "$1: ..x is walked" has_mtime "$t/..x" "$(epoch "2018-03-03")"
  check "$1: .cfg before 1970" has_mtime "$t/.cfg" "$(epoch "1965-04-04")"
  check "$1: Future after 2038" has_mtime "$t/Future" "$(epoch "2100-01-01")"
  for kept in Empty Outer Outer/Inner; do
    check "$1: $kept keeps its time" has_mtime "$t/$kept" "$(epoch "2001-01-01")"
  done
  if [ "${3:-}" = below ]; then # the tree is itself below the walked folder
    check "$1: its root gets the newest of all" has_mtime "$t" "$(epoch "2100-01-01")"
  else
    check "$1: the top folder is never written" has_mtime "$t" "$(epoch "2001-01-01")"
  fi
}

# Debian's wine64 keeps the server out of PATH.
WINESERVER=/usr/lib/wine/wineserver
[ -x "$WINESERVER" ] || WINESERVER=wineserver

# A Wine session of our own: virtual display first, then a fresh 64-bit prefix and a
# persistent server, so each program start takes well under a second.
wine_start() { # wine_start WORKDIR
  WINE_WORK=$1
  export WINEPREFIX=$WINE_WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  local display
  for display in $(seq 70 99); do
    [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ] || break
  done
  export DISPLAY=:$display
  Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$display ] && break; sleep 0.1; done
  rm -rf "$WINEPREFIX"
  /usr/lib/wine/wine64 wineboot -i >"$WINE_WORK/wineboot.log" 2>&1
  setsid "$WINESERVER" -p >/dev/null 2>&1 </dev/null &
  # There is no window manager on the virtual display: Wine draws the frames itself.
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
    >"$WINE_WORK/reg.log" 2>&1
  trap wine_stop EXIT
}

wine_stop() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
  XVFB_PID=
}

# wine_run OUTFILE PROGRAM ARGS...: the exit status is the program's.
wine_run() {
  local out=$1
  shift
  /usr/lib/wine/wine64 "$@" >"$out" 2>&1 </dev/null
}

# wine_suite LABEL OUTFILE PROGRAM ARGS...: a test program under Wine, its output shown,
# its exit status checked.
wine_suite() {
  local label=$1 out=$2 status
  shift 2
  wine_run "$out" "$@"
  status=$?
  cat "$out"
  check "$label" [ $status -eq 0 ]
}

# wine_network_drive LETTER FOLDER: FOLDER becomes drive LETTER:, which Wine is told is on
# the network, as a mapped share is on Windows (its Z: drive is a fixed disk). The drive's
# type is read as the server starts, so the server starts again.
wine_network_drive() {
  ln -sfn "$2" "$WINEPREFIX/dosdevices/$1:"
  /usr/lib/wine/wine64 reg add 'HKLM\Software\Wine\Drives' /v "$1:" /d network /f \
    >"$WINE_WORK/drive.log" 2>&1
  "$WINESERVER" -k >/dev/null 2>&1 || true
  setsid "$WINESERVER" -p >/dev/null 2>&1 </dev/null &
}

# The Windows path of a Linux path on Wine's Z: drive.
winpath() { printf 'Z:%s' "${1//\//\\}"; }
