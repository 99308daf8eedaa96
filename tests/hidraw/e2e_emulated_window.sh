#!/usr/bin/env bash
# End to end: the real pinvale under Xvfb, started by
#   pinvale-vkey --emulate-hidraw --control FIFO -- pinvale
# so it finds the key through udev and hidraw; the FIFO pulls it out and plugs
# it back in.
#   e2e_emulated_window.sh PINVALE PINVALE_VKEY
# Exit 77 (skipped) when Xvfb is missing.
set -euo pipefail
PINVALE=$1
VKEY=$2
command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed"; exit 77; }
for tool in xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/setup installs it)"; exit 1; }
done

work=$(mktemp -d /tmp/pinvale-e2e-hidraw.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- log"; cat "$work/pinvale.log" || true; exit 1; }

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$work/display")"
export PINVALE_INSTANCE_TAG="-e2e-hidraw-$$"
export PINVALE_DEBUG=1

count() { grep -c -- "$1" "$work/pinvale.log" || true; }
# Waits until the log has more lines with `pattern` than `before`; fails after $2 s.
wait_for_log() {
  local pattern=$1 limit=$2 before=$3
  for _ in $(seq $((limit * 20))); do
    [ "$(count "$pattern")" -gt "$before" ] && return 0
    sleep 0.05
  done
  fail "no '$pattern' in the log within $limit s"
}
# Blue with a green badge when a key is in, grey with a red badge when not.
icon_blueness() {
  import -window "$win" "$work/shot.png"
  convert "$work/shot.png" -crop 63x54+24+36 +repage -format "%[fx:int(100*(mean.b-mean.r))]" info:
}
shot() { cp "$work/shot.png" "${E2E_SCREENSHOT_DIR:-$work}/$1" 2>/dev/null || true; }

ctl="$work/ctl"
"$VKEY" --emulate-hidraw --pin 1234 --control "$ctl" -- "$PINVALE" 2>"$work/pinvale.log" &
vkey=$!
pids+=($vkey)

win=$(timeout 10 xdotool search --sync --onlyvisible --name '^Pinvale$' | head -1) ||
  fail "the main window did not appear"
wait_for_log "ShowDeviceState present" 10 0
sleep 0.3
present=$(icon_blueness); echo "status icon with the emulated key: $present"
[ "$present" -gt 10 ] || fail "status icon does not show the key ($present)"
shot e2e-hidraw-present.png

before=$(count "ShowDeviceState absent")
echo unplug >"$ctl"
wait_for_log "ShowDeviceState absent" 10 "$before"
sleep 0.3
absent=$(icon_blueness); echo "status icon after unplug: $absent"
[ "$absent" -lt 5 ] || fail "status icon still shows a key ($absent)"
shot e2e-hidraw-absent.png

before=$(count "ShowDeviceState present")
echo plug >"$ctl"
wait_for_log "ShowDeviceState present" 10 "$before"
sleep 0.3
back=$(icon_blueness); echo "status icon after plug: $back"
[ "$back" -gt 10 ] || fail "status icon does not show the key again ($back)"

# Closing the window ends pinvale, and pinvale-vkey with its exit code.
xdotool mousemove --window "$win" 426 18 click 1
for _ in $(seq 100); do kill -0 "$vkey" 2>/dev/null || break; sleep 0.05; done
kill -0 "$vkey" 2>/dev/null && fail "pinvale-vkey did not end with pinvale"
wait "$vkey" || fail "pinvale-vkey exited with $?"
[ ! -e "$ctl" ] || fail "the control FIFO is left behind"
echo PASS
