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
  setsid wineserver -p >/dev/null 2>&1 </dev/null &
  trap wine_stop EXIT
}

wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
  XVFB_PID=
}

# wine_run OUTFILE PROGRAM ARGS...: the exit status is the program's.
wine_run() {
  local out=$1
  shift
  /usr/lib/wine/wine64 "$@" >"$out" 2>&1 </dev/null
}

# The Windows path of a Linux path on Wine's Z: drive.
winpath() { printf 'Z:%s' "${1//\//\\}"; }
