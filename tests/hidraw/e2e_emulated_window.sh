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
source "$(dirname "$0")/../support/e2e_x11.sh"
export PINVALE_INSTANCE_TAG="-e2e-hidraw-$$"
shot() { cp "$work/shot.png" "${E2E_SCREENSHOT_DIR:-$work}/$1" 2>/dev/null || true; }

# Tells the key `command` through the FIFO and waits for the window to show
# `state` (present or absent) with the matching status icon.
key_command_shows() {
  local command=$1 state=$2 before=0 blueness
  if [ -n "$command" ]; then
    before=$(count "ShowDeviceState $state")
    echo "$command" >"$ctl"
  fi
  wait_for_log "ShowDeviceState $state" 10 "$before"
  sleep 0.3
  blueness=$(icon_blueness)
  echo "status icon after '${command:-start}': $blueness"
  if [ "$state" = present ]; then
    [ "$blueness" -gt 10 ] || fail "status icon does not show the key ($blueness)"
  else
    [ "$blueness" -lt 5 ] || fail "status icon still shows a key ($blueness)"
  fi
  shot "e2e-hidraw-${command:-start}.png"
}

ctl="$work/ctl"
"$VKEY" --emulate-hidraw --pin 1234 --control "$ctl" -- "$PINVALE" 2>"$work/pinvale.log" &
vkey=$!
pids+=($vkey)

win=$(timeout 10 xdotool search --sync --onlyvisible --name '^Pinvale$' | head -1) ||
  fail "the main window did not appear"
key_command_shows "" present
key_command_shows unplug absent
key_command_shows plug present

# Closing the window ends pinvale, and pinvale-vkey with its exit code.
xdotool mousemove --window "$win" 426 18 click 1
for _ in $(seq 100); do kill -0 "$vkey" 2>/dev/null || break; sleep 0.05; done
kill -0 "$vkey" 2>/dev/null && fail "pinvale-vkey did not end with pinvale"
wait "$vkey" || fail "pinvale-vkey exited with $?"
[ ! -e "$ctl" ] || fail "the control FIFO is left behind"
echo PASS
