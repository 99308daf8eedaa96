#!/usr/bin/env bash
# pinvale.exe with its in-process demo key under Wine, through Fingerprints and Passkeys
# as a newcomer goes: the offer to set a PIN first, Set PIN, the one PIN entry, then each
# window at its layout's size times the scale (1 at 96 DPI, 2 at 192 DPI), drawn and
# closed with Escape; the program ends with 0 from its close button.
#
# Usage: management_windows.sh PINVALE_EXE WINE_RUN SKIN_DIR SCALE [PREFIX]
# SCALE 1 runs in the project's prefix on the test run's display; SCALE 2 needs the 192-DPI
# PREFIX that win32_scale_192 makes, and an Xvfb of its own. Exit 77 (skipped) without
# Xvfb, xdotool, xwininfo or ImageMagick. PINVALE_SHOTS=DIR keeps the windows' pictures.
set -uo pipefail
exe=$1 wine_run=$2 skin=$3 scale=$4
[ "$scale" = 2 ] && export WINEPREFIX=${5:?the 192-DPI prefix}
for tool in Xvfb xdotool xwininfo import convert; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
if [ "$scale" = 2 ] && [ ! -f "${WINEPREFIX:-}/.pinvale-dpi-192" ]; then
  echo "skipped: no 192-DPI prefix (win32_scale_192 makes it)"
  exit 77
fi
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
source "$here/own_display.sh"
app=
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  stop_own_display
  rm -rf "$work"
}
trap cleanup EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
begin=$SECONDS
if [ "$scale" = 2 ]; then start_xvfb 1600x1200 || exit 1; else start_own_display || exit 1; fi

# A layout's size in pixels at this scale.
size_of() {
  local size
  size=$(sed -n 's/.*<Window size="\([0-9]*\),\([0-9]*\)".*/\1 \2/p' "$skin/$1" | head -1)
  set -- $size
  echo "$(($1 * scale))x$(($2 * scale))"
}
main_size=$(size_of main.xml)

# Waits for a visible Pinvale window of `size` (a pattern) other than those listed in
# `known`; sets `found`.
found=
known=
wait_window() {
  local size=$1 id
  found=
  for _ in $(seq 150); do
    for id in $(xdotool search --onlyvisible --name '^Pinvale$' 2>/dev/null); do
      [[ " $known " == *" $id "* ]] && continue
      eval "$(xdotool getwindowgeometry --shell "$id")"
      [[ "${WIDTH}x${HEIGHT}" == $size ]] && { found=$id; return 0; }
    done
    kill -0 "$app" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
wait_gone() {
  for _ in $(seq 100); do
    xdotool search --onlyvisible --name '^Pinvale$' 2>/dev/null | grep -qx "$1" || return 0
    sleep 0.1
  done
  return 1
}
keep() {
  local id=$1 name=$2
  sleep 0.6  # the first frame and the list's reading
  eval "$(xdotool getwindowgeometry --shell "$id")"
  import -window root "$work/screen.png" 2>/dev/null
  convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$work/$name"
  [ -n "${PINVALE_SHOTS:-}" ] && mkdir -p "$PINVALE_SHOTS" && cp "$work/$name" "$PINVALE_SHOTS/"
  # A window drawn at all has more than a handful of colours.
  local colours
  colours=$(convert "$work/$name" -format %k info:)
  [ "$colours" -gt 8 ] || fail "$name shows only $colours colours"
}
click() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xdotool mousemove $((X + scale * $2)) $((Y + scale * $3)) click 1
}
keys() { xdotool key --delay 60 "$@"; sleep 0.3; }

PINVALE_INSTANCE_TAG=management-$scale-$$ "$wine_run" "$exe" --virtual-key &
app=$!
main=
wait_window "$main_size" && main=$found
[ -n "$main" ] || { fail "no $main_size main window"; exit 1; }
known=$main
sleep 3  # the demo key is connected once the first frame is shown

# Passkeys on a key without a PIN: the offer, Set PIN, then the PIN entry.
click "$main" 328 406
if wait_window '*'; then
  keys Return
  wait_gone "$found"
fi
if wait_window "$(size_of SetPIN.xml)"; then
  xdotool type --delay 40 123456; keys Tab; xdotool type --delay 40 123456; keys Return
  wait_window '*' && { keys Return; wait_gone "$found"; }  # "Set PIN Successfully!"
else
  fail "no Set PIN dialog after the offer"
fi
for window in Passkeys Fingerprints; do
  if [ "$window" = Fingerprints ]; then sleep 1; click "$main" 121 406; fi
  if wait_window "$(size_of ManagementPIN.xml)"; then
    entry=$found
    keep "$entry" "win32_management_pin_$window@$scale.png"
    xdotool type --delay 40 123456; keys Return
    wait_gone "$entry"
    if wait_window "$(size_of "$window.xml")"; then
      echo "$window window: ${WIDTH}x${HEIGHT}"
      keep "$found" "win32_$window@$scale.png"
      keys Escape
      wait_gone "$found" || fail "Escape did not close the $window window"
    else
      fail "no $window window of $(size_of "$window.xml")"
    fi
  else
    fail "no PIN entry before $window"
  fi
done

sleep 1
click "$main" 425 17
if ! ends_within_30s "$app"; then
  fail "pinvale.exe still runs 30 s after its close button was clicked"
else
  wait "$app"
  code=$?
  app=
  [ "$code" = 0 ] || fail "pinvale.exe exited with $code"
fi
echo "== after $((SECONDS - begin)) s"
[ $failed = 0 ] && echo PASS
exit $failed
