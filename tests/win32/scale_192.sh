#!/usr/bin/env bash
# pinvale.exe on a 192-DPI desktop under Wine: the main window opens at 900x900 (its
# 450x450 layout at scale 2) with the 2x pictures and text rendered at the doubled size
# (tests/support/check_main_window.py --scale 2), the Set PIN dialog at 700x600 and the help
# message box at 900 pixels wide; the close button at its doubled place ends the program
# with exit code 0.
#
# The DPI is Wine's LogPixels in a prefix of the test's own (PREFIX, made on first use
# like the project's and kept for later runs), so no other test sees it. Wine 8 reads
# HKCU\Control Panel\Desktop first and HKLM\System\CurrentControlSet\Hardware
# Profiles\Current\Software\Fonts only when the former has none; the test sets the
# former. Its wineserver is its own, and so is its Xvfb: a 900-pixel window needs a
# screen taller than the test run's 1024x768.
#
# Usage: scale_192.sh PINVALE_EXE WINE_RUN SKIN_DIR PREFIX
# Exit 77 (skipped) without Xvfb, xdotool, xwininfo or ImageMagick. PINVALE_SHOTS=DIR
# keeps the screenshots (win32_main_key@2.png, win32_set_pin@2.png,
# win32_message_box_help@2.png: the windows alone).
set -uo pipefail
exe=$1 wine_run=$2 skin=$3
export WINEPREFIX=$4
python=/usr/bin/python3  # Debian's, which has PIL
for tool in Xvfb xdotool xwininfo import convert "$python"; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
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

if [ ! -f "$WINEPREFIX/.pinvale-dpi-192" ]; then
  echo "making the 192-DPI prefix $WINEPREFIX"
  "$wine_run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f \
    >/dev/null 2>&1 || { echo "cannot set LogPixels in $WINEPREFIX"; exit 1; }
  wineserver -k 2>/dev/null
  touch "$WINEPREFIX/.pinvale-dpi-192"
fi

# Wine's desktop process takes the display of the first program: start_xvfb stops the
# wineserver first, so none lingers.
start_xvfb 1600x1200 || exit 1

# Every window of the program is called Pinvale. Waits for one of `size` that is not
# the main window; sets its id in `found`.
found=
wait_window() {
  local size=$1 id
  found=
  for _ in $(seq 100); do
    for id in $(xdotool search --onlyvisible --name '^Pinvale$' 2>/dev/null); do
      [ "$id" = "${main:-}" ] && continue
      eval "$(xdotool getwindowgeometry --shell "$id")"
      [[ "${WIDTH}x${HEIGHT}" == $size ]] && { found=$id; return 0; }
    done
    kill -0 "$app" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
# The window alone, cut from a screenshot of the screen.
keep() {
  local id=$1 name=$2
  eval "$(xdotool getwindowgeometry --shell "$id")"
  import -window root "$work/screen.png" 2>/dev/null
  convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$work/$name"
  [ -n "${PINVALE_SHOTS:-}" ] && mkdir -p "$PINVALE_SHOTS" && cp "$work/$name" "$PINVALE_SHOTS/"
}
# A click at a point of the layout (units) in the window `id`.
click() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xdotool mousemove $((X + 2 * $2)) $((Y + 2 * $3)) click 1
}

PINVALE_INSTANCE_TAG=scale-192-$$ "$wine_run" "$exe" --virtual-key &
app=$!
main=
wait_window 900x900 && main=$found
if [ -z "$main" ]; then
  xdotool search --onlyvisible --name '^Pinvale$' 2>/dev/null | while read -r id; do
    xdotool getwindowgeometry "$id"
  done
  fail "no 900x900 main window within 10 s"
  exit 1
fi
echo "main window: $(xwininfo -id "$main" | awk '/Width:|Height:/ {printf "%s ", $2}')(xwininfo)"

# The key is connected once the first frame is shown: its state comes a moment later.
eval "$(xdotool getwindowgeometry --shell "$main")"
ok=0
for _ in $(seq 30); do
  import -window root "$work/shot.png" 2>/dev/null
  if "$python" "$here/../support/check_main_window.py" "$work/shot.png" "$X" "$Y" "$skin" \
    --scale 2 2>"$work/check.log"; then
    ok=1
    break
  fi
  sleep 0.5
done
cat "$work/check.log"
[ $ok = 1 ] || fail "the main window is not drawn as at scale 2"
keep "$main" win32_main_key@2.png

# Set PIN (the key has none): the 350x300 dialog at 700x600; its close button.
click "$main" 121 170
if wait_window 700x600; then
  dialog=$found
  echo "Set PIN dialog: ${WIDTH}x${HEIGHT}"
  sleep 0.5  # the caret and the focus frame
  keep "$dialog" win32_set_pin@2.png
  click "$dialog" 323 16
else
  fail "no 700x600 Set PIN dialog"
fi

# Help: the message box is laid out in units from text measured at 1, so it is as wide
# as at 96 DPI, doubled: its wrapped text fills the widest box, 450 units.
sleep 1
click "$main" 418 63
if wait_window '900x*'; then
  box=$found
  echo "message box: ${WIDTH}x${HEIGHT}"
  [ $((HEIGHT % 2)) = 0 ] || fail "the message box is ${HEIGHT} pixels high, not a doubled height"
  sleep 0.5
  keep "$box" win32_message_box_help@2.png
  click "$box" 386 $((HEIGHT / 2 - 32))
else
  fail "no message box 900 pixels wide"
fi

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
