#!/usr/bin/env bash
# The README's first command, typed as a newcomer types it: `scripts/run` builds
# Pinvale and starts it. Under an Xvfb of our own and with no key attached, the
# main window must appear with the in-process virtual key plugged in, and the
# program must end cleanly when PINVALE_QUIT_AFTER_MS closes it.
#
# Usage: tests/app/readme_first_command.sh   (from anywhere; builds build/release)
# PINVALE_SHOTS=DIR keeps the screenshot.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
xvfb= app=
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; tail -20 "$work/run.log" || true; exit 1; }

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(head -1 "$work/display")

# The timer starts with the window, so a cold build does not eat into it.
PINVALE_QUIT_AFTER_MS=15000 PINVALE_INSTANCE_TAG=first-command-$$ \
  "$root/scripts/run" </dev/null >"$work/run.log" 2>&1 &
app=$!

window=
while kill -0 "$app" 2>/dev/null; do
  window=$(xdotool search --onlyvisible --name '^Pinvale$' 2>/dev/null | head -1) && [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || fail "scripts/run ended before the main window appeared"
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "main window ${WIDTH}x${HEIGHT} at ${X},${Y}"

shown=0
for _ in $(seq 20); do
  import -window root "$work/shot.png" 2>/dev/null
  if /usr/bin/python3 "$root/tests/support/check_main_window.py" "$work/shot.png" "$X" "$Y" \
      "$root/skin" 2>"$work/check.log"; then
    shown=1
    break
  fi
  sleep 0.25
done
cat "$work/check.log"
if [ -n "${PINVALE_SHOTS:-}" ]; then mkdir -p "$PINVALE_SHOTS" && cp "$work/shot.png" "$PINVALE_SHOTS/first_command.png"; fi
[ $shown = 1 ] || fail "the main window does not show the virtual key"

status=0
wait "$app" || status=$?
app=
[ $status = 0 ] || fail "scripts/run ended with exit code $status"
echo "PASS: scripts/run showed the main window with the virtual key and ended cleanly"
