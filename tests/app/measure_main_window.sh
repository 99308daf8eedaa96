#!/usr/bin/env bash
# Measures the real pinvale under Xvfb (not a test; prints figures):
#   - time from process start to the first drawn frame of the main window, without
#     a key and with the in-process virtual key (polled: the title bar's blue);
#   - CPU time used over 10 s of idle;
#   - time from pinvale-vkey's "ready" (its socket listens) to the debug line
#     "ShowDeviceState present" and to the status icon turning blue on screen;
#   - peak resident memory.
#   tests/app/measure_main_window.sh [PINVALE] [PINVALE_VKEY]
# Screen polling costs a few tens of milliseconds per look, so the on-screen
# figures are upper bounds.
set -u
BIN=${1:-build/release/src/app/pinvale}
VKEY=${2:-build/release/tools/pinvale-vkey/pinvale-vkey}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
until [ -s "$work/display" ]; do sleep 0.05; done
export DISPLAY=":$(cat "$work/display")" PINVALE_INSTANCE_TAG="-measure-$$"
now() { date +%s%N; }
window() { xdotool search --onlyvisible --name '^Pinvale$' 2>/dev/null | head -1; }
title_drawn() {
  local id; id=$(window)
  [ -n "$id" ] && import -window "$id" -crop 1x1+100+18 -depth 8 txt:- 2>/dev/null | grep -qi '#0168B7'
}
icon_blue() {
  [ "$(import -window "$1" -crop 63x54+24+36 +repage -format '%[fx:int(100*(mean.b-mean.r))]' info: 2>/dev/null)" -gt 10 ]
}
first_frame() {
  local t0 pid
  t0=$(now); "$BIN" "$@" 2>/dev/null & pid=$!
  until title_drawn; do :; done
  echo $((($(now) - t0) / 1000000))
  kill $pid; wait $pid 2>/dev/null
}
for mode in none virtual; do
  opts=(); [ $mode = virtual ] && opts=(--virtual-key)
  r=(); for _ in 1 2 3 4 5; do r+=("$(first_frame "${opts[@]}")"); done
  echo "first frame ($mode key): ${r[*]} ms"
done

mkdir -p "$work/keys"
PINVALE_DEBUG=1 "$BIN" --virtual-keys "$work/keys" 2> >(while IFS= read -r l; do echo "$(now) $l"; done >"$work/log") &
pid=$!
until title_drawn; do :; done
sleep 1
read -r u1 s1 < <(awk '{print $14, $15}' /proc/$pid/stat)
sleep 10
read -r u2 s2 < <(awk '{print $14, $15}' /proc/$pid/stat)
echo "idle CPU over 10 s: $(((u2 + s2 - u1 - s1) * 1000 / $(getconf CLK_TCK))) ms"
id=$(window)
for i in 1 2 3 4 5; do
  mkfifo "$work/in$i"
  "$VKEY" --dir "$work/keys" --label "k$i" <"$work/in$i" >"$work/vk$i" 2>&1 &
  vk=$!
  exec 5>"$work/in$i"
  until grep -q ready "$work/vk$i"; do sleep 0.001; done
  ready=$(now)
  before=$(grep -c present "$work/log")
  until [ "$(grep -c present "$work/log")" -gt "$before" ]; do sleep 0.002; done
  line=$(grep present "$work/log" | tail -1 | cut -d' ' -f1)
  until icon_blue "$id"; do :; done
  echo "arrival $i: ready->ShowDeviceState $(((line - ready) / 1000000)) ms," \
    "ready->on screen $((($(now) - ready) / 1000000)) ms"
  echo quit >&5
  exec 5>&-
  wait $vk
  before=$(grep -c absent "$work/log")
  until [ "$(grep -c absent "$work/log")" -gt "$before" ]; do sleep 0.01; done
done
grep VmHWM /proc/$pid/status
kill $pid
