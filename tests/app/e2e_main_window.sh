#!/usr/bin/env bash
# End to end: the real pinvale under Xvfb, following a pinvale-vkey process that
# plugs a virtual key in and pulls it out.
#   e2e_main_window.sh PINVALE PINVALE_VKEY
# Exit 77 (skipped) when Xvfb is missing.
set -euo pipefail
PINVALE=$1
VKEY=$2
source "$(dirname "$0")/../support/e2e_x11.sh"
export PINVALE_INSTANCE_TAG="-e2e-$$"  # never collide with a Pinvale on the desktop

mkdir -p "$work/keys"
"$PINVALE" --virtual-keys "$work/keys" 2>"$work/pinvale.log" &
app=$!
pids+=($app)

win=$(timeout 10 xdotool search --sync --onlyvisible --name '^Pinvale$' | head -1) ||
  fail "the main window did not appear"
wait_for_log "ShowDeviceState absent" 10 0

# Centred, 450 x 450.
geometry=$(xwininfo -id "$win")
width=$(awk '/Width:/ {print $2}' <<<"$geometry")
height=$(awk '/Height:/ {print $2}' <<<"$geometry")
x=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geometry")
y=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geometry")
[ "$width" = 450 ] && [ "$height" = 450 ] || fail "window is ${width}x${height}, not 450x450"
[ $((x - (1280 - 450) / 2)) -le 1 ] && [ $(((1280 - 450) / 2 - x)) -le 1 ] || fail "x $x is not centred"
[ $((y - (1024 - 450) / 2)) -le 1 ] && [ $(((1024 - 450) / 2 - y)) -le 1 ] || fail "y $y is not centred"
sleep 0.3
absent=$(icon_blueness); echo "status icon without a key: $absent"
[ "$absent" -lt 5 ] || fail "status icon looks present ($absent) without a key"

# pinvale-vkey plugs a key in: the window shows it.
mkfifo "$work/vkey.in"
"$VKEY" --dir "$work/keys" <"$work/vkey.in" >"$work/vkey.out" 2>&1 &
vkey=$!
pids+=($vkey)
exec 4>"$work/vkey.in"
before=$(count "ShowDeviceState present")
wait_for_log "ShowDeviceState present" 10 "$before"
sleep 0.3
present=$(icon_blueness); echo "status icon with a key: $present"
[ "$present" -gt 10 ] || fail "status icon does not show the key ($present)"
cp "$work/shot.png" "${E2E_SCREENSHOT_DIR:-$work}/e2e-present.png" 2>/dev/null || true

# A second copy exits at once with 0, and the first keeps running.
start=$(date +%s%N)
timeout 5 "$PINVALE" --virtual-keys "$work/keys" 2>/dev/null || fail "second start exited with $?"
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
[ "$elapsed_ms" -lt 2000 ] || fail "second start took $elapsed_ms ms"
kill -0 "$app" || fail "the first copy ended"

# pinvale-vkey ends: the key is pulled out.
before=$(count "ShowDeviceState absent")
echo quit >&4
exec 4>&-
wait "$vkey" || true
wait_for_log "ShowDeviceState absent" 10 "$before"
sleep 0.3
absent=$(icon_blueness); echo "status icon without a key: $absent"
[ "$absent" -lt 5 ] || fail "status icon still shows a key ($absent)"
cp "$work/shot.png" "${E2E_SCREENSHOT_DIR:-$work}/e2e-absent.png" 2>/dev/null || true

# The close button ends the program with 0.
xdotool mousemove --window "$win" 426 18 click 1
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.05; done
kill -0 "$app" 2>/dev/null && fail "the close button did not end the program"
wait "$app" || fail "pinvale exited with $?"
echo "PASS (second start took $elapsed_ms ms)"
