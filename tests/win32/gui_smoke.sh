#!/usr/bin/env bash
# pinvale.exe with its in-process virtual key under Xvfb and Wine: the main window
# appears, its title bar has the skin's blue and its status row the key-present
# icon, and closing it with its close button ends the program with exit code 0.
#
# Usage: gui_smoke.sh PINVALE_EXE WINE_RUN SKIN_DIR
# Exit 77 (skipped) without Xvfb, xdotool or ImageMagick. PINVALE_SHOTS=DIR keeps
# the screenshot.
set -uo pipefail
exe=$1 wine_run=$2 skin=$3
python=/usr/bin/python3  # Debian's, which has PIL
for tool in Xvfb xdotool import "$python"; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
app=
source "$here/own_display.sh"
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  stop_own_display
  rm -rf "$work"
}
trap cleanup EXIT
start_own_display || exit 1

PINVALE_INSTANCE_TAG=smoke-$$ "$wine_run" "$exe" --virtual-key &
app=$!

# The window is created at a default size and takes the layout's size before it is
# mapped with its first frame; only a mapped window counts.
window=
for _ in $(seq 600); do
  window=$(xdotool search --onlyvisible --name '^Pinvale$' 2>/dev/null | head -1)
  if [ -n "$window" ]; then
    eval "$(xdotool getwindowgeometry --shell "$window")"
    [ "$WIDTH" = 450 ] && [ "$HEIGHT" = 450 ] && break
  fi
  kill -0 "$app" 2>/dev/null || { echo "pinvale.exe ended before showing its window"; exit 1; }
  sleep 0.1
done
[ -n "$window" ] || { echo "no main window within 60 s"; exit 1; }
echo "main window ${WIDTH}x${HEIGHT} at ${X},${Y}"
[ "$WIDTH" = 450 ] && [ "$HEIGHT" = 450 ] || { echo "expected the layout's 450x450"; exit 1; }

# The window shows once its first frame is drawn; the key is connected on
# "windowinit", so the icon may change a moment later.
ok=0
for _ in $(seq 40); do
  import -window root "$work/shot.png" 2>/dev/null
  if "$python" "$here/../support/check_main_window.py" "$work/shot.png" "$X" "$Y" "$skin" 2>"$work/check.log"; then
    ok=1
    break
  fi
  sleep 0.5
done
cat "$work/check.log"
if [ -n "${PINVALE_SHOTS:-}" ]; then
  mkdir -p "$PINVALE_SHOTS" && cp "$work/shot.png" "$PINVALE_SHOTS/windows_main_window.png"
fi
[ $ok = 1 ] || { echo "the main window does not show the key-present state"; exit 1; }

# The skin's close button, at the right of the title bar.
xdotool mousemove $((X + 425)) $((Y + 17)) click 1
if ! ends_within_30s "$app"; then
  echo "pinvale.exe still runs 30 s after its close button was clicked"
  exit 1
fi
wait "$app"
code=$?
app=
echo "pinvale.exe exit code $code"
[ $code = 0 ]
