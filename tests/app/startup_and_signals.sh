#!/usr/bin/env bash
# The real pinvale as a newcomer meets it: started without a display it says so and
# exits with 1, leaving the one-copy claim free; --help and --version answer without a
# display and while a copy runs; SIGTERM and SIGINT close the window and end the
# program by that signal; the off-screen driver is used only when asked for.
#   startup_and_signals.sh PINVALE
# Exit 77 (skipped) when Xvfb is missing.
set -euo pipefail
PINVALE=$1
source "$(dirname "$0")/../support/e2e_x11.sh"
export PINVALE_INSTANCE_TAG="-startup-$$"  # never collide with a Pinvale on the desktop
message="pinvale: cannot open the main window (is a display available?)"

# No display at all: no X, no Wayland (an empty runtime directory), no driver asked for.
mkdir -m 700 "$work/xdg"
headless=(env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "XDG_RUNTIME_DIR=$work/xdg")
unused=90
while [ -e "/tmp/.X11-unix/X$unused" ] || [ -e "/tmp/.X$unused-lock" ]; do unused=$((unused + 1)); done
for display in "" ":$unused"; do
  what=${display:-"no DISPLAY"}
  run=("${headless[@]}")
  [ -n "$display" ] && run+=("DISPLAY=$display")
  status=0
  timeout 20 "${run[@]}" "$PINVALE" >"$work/out" 2>"$work/pinvale.log" || status=$?
  [ $status = 1 ] || fail "$what: exited with $status, not 1 (124: still running after 20 s)"
  grep -qxF "$message" "$work/pinvale.log" || fail "$what: no '$message'"
  [ ! -s "$work/out" ] || fail "$what: printed on standard output: $(cat "$work/out")"
  echo "$what: '$message', status 1"
done

# The claim is free again: the next start on a display shows its window.
start_window() {  # ENV... : starts pinvale in the background as $app, waits for $win
  env "$@" "$PINVALE" 2>"$work/pinvale.log" &
  app=$!
  pids+=($app)
  win=$(timeout 10 xdotool search --sync --onlyvisible --name '^Pinvale$' | head -1) ||
    fail "the main window did not appear"
  wait_for_log "ShowDeviceState absent" 10 0
}
start_window

# While it runs, and without a display: --help and --version print and exit with 0.
out=$(timeout 10 "${headless[@]}" "$PINVALE" --help) || fail "--help exited with $?"
[[ $out == "Usage: pinvale "* ]] || fail "--help printed: $out"
grep -q -- "--virtual-keys DIR" <<<"$out" || fail "--help does not list --virtual-keys"
out=$(timeout 10 "${headless[@]}" "$PINVALE" --version -E) || fail "--version exited with $?"
[[ $out =~ ^pinvale\ [0-9]+(\.[0-9]+)+$ ]] || fail "--version printed: $out"
kill -0 "$app" || fail "the running copy ended"

# Idle, the window's process sleeps: a loop spinning in its wait would take a whole core.
ticks() { awk '{print $14 + $15}' "/proc/$app/stat"; }
before=$(ticks)
sleep 3
used=$((($(ticks) - before) * 100 / ($(getconf CLK_TCK) * 3)))
echo "idle window: $used % of a core"
[ "$used" -lt 25 ] || fail "the idle window takes $used % of a core"

# Ends the running copy with `signal` and checks that its window went and its status.
end_with() {
  local signal=$1 expected=$2 status=0
  kill "-$signal" "$app"
  for _ in $(seq 200); do kill -0 "$app" 2>/dev/null || break; sleep 0.05; done
  kill -0 "$app" 2>/dev/null && fail "SIG$signal did not end pinvale within 10 s"
  wait "$app" || status=$?
  [ "$status" = "$expected" ] || fail "after SIG$signal the status is $status, not $expected"
  if [ -n "${win:-}" ] && xwininfo -id "$win" 2>/dev/null | grep -q IsViewable; then
    fail "the window is still shown after SIG$signal"
  fi
  echo "SIG$signal: window closed, status $status"
}
end_with TERM 143
# A script's background job starts with SIGINT ignored; a terminal's program does not.
start_window --default-signal=INT
end_with INT 130

# The off-screen driver when asked for by name, as the tests do; SIGTERM still ends it.
win=
"${headless[@]}" SDL_VIDEODRIVER=offscreen "$PINVALE" 2>"$work/pinvale.log" &
app=$!
pids+=($app)
wait_for_log "ShowDeviceState absent" 10 0
end_with TERM 143
echo "PASS"
