# Sourced by the tests that run Windows programs under Wine: they use the display of
# the test run (scripts/test-windows starts one) or an Xvfb of their own. Wine's
# desktop process keeps the display it started on for the life of the wineserver,
# so with a display of their own the wineserver is stopped before and after.
#
# Needs $work (a scratch folder) and $wine_run (scripts/wine-run).
own_xvfb=

stop_wineserver() {
  WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$wine_run")/.." && pwd)/build/wine-prefix} \
    wineserver -k 2>/dev/null
}

# An Xvfb of the given screen size (default 1024x768) even when a display is set.
start_xvfb() {
  stop_wineserver
  Xvfb -displayfd 3 -screen 0 "${1:-1024x768}x24" -nolisten tcp 3>"$work/display" 2>/dev/null &
  own_xvfb=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || { echo "Xvfb did not start"; return 1; }
  export DISPLAY=:$(head -1 "$work/display")
}

start_own_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  start_xvfb
}

stop_own_display() {
  [ -n "$own_xvfb" ] || return 0
  stop_wineserver
  kill "$own_xvfb" 2>/dev/null
}

# Waits up to 30 s for the program PID to end; false while it still runs.
ends_within_30s() {
  for _ in $(seq 300); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}
