# Shared by the end-to-end scripts that drive the real pinvale under Xvfb.
# Source it after `set -euo pipefail`; it makes $work, starts Xvfb there, sets
# DISPLAY and cleans up at exit (kill the pids the script adds to `pids`).
# The pinvale under test logs to $work/pinvale.log (PINVALE_DEBUG=1).

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
export PINVALE_DEBUG=1

count() { grep -c -- "$1" "$work/pinvale.log" || true; }
# Waits until the log has more lines with `pattern` than `count_before`; fails after $2 s.
wait_for_log() {
  local pattern=$1 limit=$2 count_before=$3
  for _ in $(seq $((limit * 20))); do
    [ "$(count "$pattern")" -gt "$count_before" ] && return 0
    sleep 0.05
  done
  fail "no '$pattern' in the log within $limit s"
}

# The key-status icon of window $win: blue with a green badge when a key is in,
# grey with a red badge when not. The mean of blue minus red over the icon tells
# them apart.
icon_blueness() {
  import -window "$win" "$work/shot.png"
  convert "$work/shot.png" -crop 63x54+24+36 +repage -format "%[fx:int(100*(mean.b-mean.r))]" info:
}
