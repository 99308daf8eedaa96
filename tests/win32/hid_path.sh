#!/usr/bin/env bash
# The Windows build against the virtual key through Wine's own HID stack:
#   pinvale-vkey --emulate-hidraw -- scripts/wine-run PROGRAM.exe
# plugs the key in as an emulated hidraw device; Wine, started fresh inside the
# emulation, meets it through winebus's udev backend, the HID class driver and
# SetupAPI. Three Wine sessions, each with a key of its own:
#   1. a plain key: win32_hid_path_test.exe's PlainKey suite (listing and
#      capabilities, every operation, a pull-out during an exchange, notices,
#      a key that stops taking reports);
#   2. a composite key that never answers command 0x0B: the CompositeKey and
#      SilentKey suites;
#   3. pinvale.exe under Xvfb: "Device Inserted" for the key, the no-key state
#      after a pull-out through the control FIFO, the key again after a plug-in.
#
# Usage: hid_path.sh PINVALE_VKEY HID_PATH_TEST_EXE PINVALE_EXE WINE_RUN SKIN_DIR
# Exit 77 (skipped) without a host pinvale-vkey that can emulate hidraw, Xvfb,
# xdotool or ImageMagick. PINVALE_SHOTS=DIR keeps the screenshots.
set -uo pipefail
vkey=$1 test_exe=$2 exe=$3 wine_run=$4 skin=$5
python=/usr/bin/python3  # Debian's, which has PIL
here=$(cd "$(dirname "$0")" && pwd)
[ -n "$vkey" ] && [ -x "$vkey" ] ||
  { echo "skipped: no host pinvale-vkey (configure with -DPINVALE_HOST_VKEY=...)"; exit 77; }
grep -q -- --emulate-hidraw <<<"$("$vkey" --help 2>/dev/null)" ||
  { echo "skipped: $vkey was built without umockdev"; exit 77; }
for tool in Xvfb xdotool import "$python"; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$wine_run")/.." && pwd)/build/wine-prefix}
work=$(mktemp -d)
app=
ctl=$work/ctl
source "$here/own_display.sh"
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  # The wineserver of the last session still has the emulation's environment.
  wineserver -k 2>/dev/null
  stop_own_display
  rm -rf "$work"
}
trap cleanup EXIT
start_own_display || exit 1
failed=0
fail() { echo "FAIL: $*"; failed=1; }
quiet() { grep -v --line-buffered 'Failed to get logical processor information'; }

# Wine must start inside the emulation, with its preload and UMOCKDEV_DIR: no
# wineserver of an earlier test may linger.
suite() {
  local name=$1 filter=$2
  shift 2
  local begin=$SECONDS
  wineserver -k 2>/dev/null
  "$vkey" --emulate-hidraw --control "$ctl" "$@" -- env PINVALE_TEST_CONTROL="$ctl" \
    "$wine_run" "$test_exe" --gtest_filter="$filter" 2>&1 | quiet
  local status=${PIPESTATUS[0]}
  wineserver -k 2>/dev/null
  echo "== $name: exit $status after $((SECONDS - begin)) s"
  [ "$status" = 0 ] || fail "$name"
}

suite "plain key" 'PlainKey.*' --pin 1234 --touch manual --reset-window 300
suite "composite key, silent on 0x0B" 'CompositeKey.*:SilentKey.*' --composite --fault no-answer=0B

# pinvale.exe end to end.
begin=$SECONDS
wineserver -k 2>/dev/null
log=$work/pinvale.log
PINVALE_INSTANCE_TAG=hid-path-$$ \
  "$vkey" --emulate-hidraw --pin 1234 --control "$ctl" -- "$wine_run" "$exe" >"$log" 2>&1 &
app=$!

# Waits for the main window at the layout's size, sets X, Y.
window= X= Y= WIDTH= HEIGHT=
for _ in $(seq 600); do
  window=$(xdotool search --onlyvisible --name '^Pinvale$' 2>/dev/null | head -1)
  if [ -n "$window" ]; then
    eval "$(xdotool getwindowgeometry --shell "$window")"
    [ "$WIDTH" = 450 ] && [ "$HEIGHT" = 450 ] && break
  fi
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done

# Screenshots until the window shows `state` (key or no-key), for up to 15 s.
shows() {
  local state=$1 shot=$2 option=
  [ "$state" = no-key ] && option=--no-key
  for _ in $(seq 30); do
    import -window root "$work/$shot" 2>/dev/null
    if "$python" "$here/../support/check_main_window.py" "$work/$shot" "$X" "$Y" "$skin" \
      $option 2>"$work/check.log"; then
      [ -n "${PINVALE_SHOTS:-}" ] && mkdir -p "$PINVALE_SHOTS" && cp "$work/$shot" "$PINVALE_SHOTS/"
      return 0
    fi
    sleep 0.5
  done
  cat "$work/check.log"
  return 1
}

# Only into the FIFO pinvale-vkey made: were it gone, echo would leave a file.
tell() { [ -p "$ctl" ] && echo "$1" >"$ctl"; }

if [ -z "$window" ] || [ "$WIDTH" != 450 ]; then
  fail "pinvale.exe showed no main window"
else
  shows key wine_hid_key.png || fail "the main window does not show the emulated key"
  tell unplug
  shows no-key wine_hid_no_key.png || fail "the main window still shows a key after the pull-out"
  tell plug
  shows key wine_hid_key_again.png || fail "the main window does not show the key plugged in again"
  # The skin's close button ends the program, and pinvale-vkey with its code.
  xdotool mousemove $((X + 425)) $((Y + 17)) click 1
  if ! ends_within_30s "$app"; then
    fail "pinvale.exe still runs 30 s after its close button was clicked"
  else
    wait "$app"
    code=$?
    app=
    [ "$code" = 0 ] || fail "pinvale-vkey -- pinvale.exe exited with $code"
  fi
fi
[ $failed = 0 ] || { echo "--- pinvale.exe's log"; grep -v 'logical processor' "$log" | tail -40; }
wineserver -k 2>/dev/null
echo "== pinvale.exe: after $((SECONDS - begin)) s"
[ $failed = 0 ] && echo PASS
exit $failed
