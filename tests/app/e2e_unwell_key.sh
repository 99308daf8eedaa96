#!/usr/bin/env bash
# End to end: the real pinvale under Xvfb with keys that do not behave. A key that is
# plugged in but silent is shown as present with nothing to click; a key that answers
# seconds late leaves the window painting, with "Please wait..." in its status row, and
# a click meanwhile is not taken.
#   e2e_unwell_key.sh PINVALE PINVALE_VKEY
# Exit 77 (skipped) when Xvfb is missing.
set -euo pipefail
PINVALE=$1
VKEY=$2
source "$(dirname "$0")/../support/e2e_x11.sh"
export PINVALE_INSTANCE_TAG="-e2e-unwell-$$"

mkdir -p "$work/keys"
"$PINVALE" --virtual-keys "$work/keys" 2>"$work/pinvale.log" &
app=$!
pids+=($app)
win=$(timeout 10 xdotool search --sync --onlyvisible --name '^Pinvale$' | head -1) ||
  fail "the main window did not appear"
wait_for_log "ShowDeviceState absent" 10 0

# The status row's text, as pixels.
status_text() { import -window "$win" -crop 300x54+90+36 +repage "$work/$1.png"; }
differs() { [ "$(compare -metric AE "$work/$1.png" "$work/$2.png" null: 2>&1 || true)" != 0 ]; }

# A silent key: present, with the line that says so (each getInfo waits out the silence
# limit, so this takes some seconds).
"$VKEY" --dir "$work/keys" --label silent --pin 1234 --fault no-answer >/dev/null 2>&1 &
silent=$!
pids+=($silent)
wait_for_log "ShowDeviceState silent" 20 0
sleep 0.3
present=$(icon_blueness); echo "status icon with a silent key: $present"
[ "$present" -gt 10 ] || fail "a silent key is not shown as present ($present)"
cp "$work/shot.png" "${E2E_SCREENSHOT_DIR:-$work}/e2e-silent-key.png" 2>/dev/null || true
status_text silent
kill "$silent"
wait "$silent" 2>/dev/null || true
wait_for_log "ShowDeviceState absent" 10 1
status_text absent

# A slow key: its getInfo answer comes 2.5 s late.
before=$(count "Busy cue shown")
"$VKEY" --dir "$work/keys" --label slow --pin 1234 --processing-delay 2500 >/dev/null 2>&1 &
pids+=($!)
wait_for_log "Busy cue shown" 10 "$before"
sleep 0.2
status_text busy
differs busy absent || fail "the status row was not drawn again while the key was asked"
cp "$work/busy.png" "${E2E_SCREENSHOT_DIR:-$work}/e2e-busy-status.png" 2>/dev/null || true
# The help button: its box would open if the click were taken.
xdotool mousemove --window "$win" 418 63 click 1
wait_for_log "ShowDeviceState present" 10 0
sleep 0.5
windows=$(xdotool search --onlyvisible --name '^Pinvale$' | wc -l)
[ "$windows" = 1 ] || fail "a click during the wait was taken ($windows windows)"
status_text present
differs present busy || fail "the busy cue stayed after the key answered"

xdotool mousemove --window "$win" 426 18 click 1
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.05; done
kill -0 "$app" 2>/dev/null && fail "the close button did not end the program"
wait "$app" || fail "pinvale exited with $?"
echo "PASS"
