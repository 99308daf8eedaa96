#!/usr/bin/env bash
# End to end: the real pinvale under Xvfb, following a pinvale-vkey process that
# plugs a virtual key in and pulls it out.
#   e2e_main_window.sh PINVALE PINVALE_VKEY
# Exit 77 (skipped) when Xvfb is missing.
set -euo pipefail
PINVALE=$1
VKEY=$2
command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed"; exit 77; }
for tool in xdotool xwininfo import convert; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/setup installs it)"; exit 1; }
done

work=$(mktemp -d /tmp/pinvale-e2e.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- pinvale log"; cat "$work/pinvale.log" || true; exit 1; }

# A display of our own.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$work/display")"
export PINVALE_INSTANCE_TAG="-e2e-$$"  # never collide with a Pinvale on the desktop
export PINVALE_DEBUG=1

# Waits until `pattern` appears in the log; prints nothing, fails after $2 s.
wait_for_log() {
  local pattern=$1 limit=$2 count_before=$3
  for _ in $(seq $((limit * 20))); do
    [ "$(grep -c -- "$pattern" "$work/pinvale.log" || true)" -gt "$count_before" ] && return 0
    sleep 0.05
  done
  fail "no '$pattern' in the log within $limit s"
}
count() { grep -c -- "$1" "$work/pinvale.log" || true; }

# The key-status icon: blue with a green badge when a key is in, grey with a red
# badge when not. The mean of blue minus red over the icon tells them apart.
icon_blueness() {
  import -window "$win" "$work/shot.png"
  convert "$work/shot.png" -crop 63x54+24+36 +repage -format "%[fx:int(100*(mean.b-mean.r))]" info:
}

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
