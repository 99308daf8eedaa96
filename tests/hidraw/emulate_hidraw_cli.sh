#!/usr/bin/env bash
# pinvale-vkey --emulate-hidraw as people use it: libfido2's own tools and
# pinvale-cli find the key through hidraw, COMMAND's exit code and standard input
# come through, and the control FIFO pulls the key out and plugs it back in.
#   emulate_hidraw_cli.sh PINVALE_VKEY PINVALE_CLI
# Exit 77 (skipped) when fido2-token is missing.
set -euo pipefail
VKEY=$1
CLI=$2
command -v fido2-token >/dev/null || { echo "SKIP: fido2-token is missing (fido2-tools)"; exit 77; }
work=$(mktemp -d /tmp/pinvale-emulate.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
emulate() { "$VKEY" --emulate-hidraw "$@" 2>>"$work/vkey.log"; }

# libfido2 lists the key, and only its FIDO interface on a composite key.
listed=$(emulate -- fido2-token -L)
[[ $listed =~ ^/dev/hidraw[0-9]+:\ vendor=0x3f8c,\ product=0x2d71 ]] || fail "fido2-token -L: $listed"
listed=$(emulate --composite --pid 64a9 -- fido2-token -L)
[ "$(wc -l <<<"$listed")" = 1 ] && [[ $listed == /dev/hidraw1:*product=0x64a9* ]] ||
  fail "composite key, fido2-token -L: $listed"

# libfido2 talks CTAP2 to it: getInfo with the PIN retries of a key with a PIN.
info=$(emulate --pin 4321 -- sh -c 'fido2-token -I "$(fido2-token -L | cut -d: -f1)"')
grep -q '^options: .*clientPin' <<<"$info" || fail "fido2-token -I, options: $info"
grep -q '^pin retries: 8$' <<<"$info" || fail "fido2-token -I, retries: $info"

# pinvale-cli, its standard input, and the command's exit code.
out=$(printf '1234\n' | emulate -- "$CLI" --pin-stdin set-pin) || fail "set-pin exited with $?"
[ "$out" = "PIN set." ] || fail "set-pin said: $out"
status=0
emulate -- sh -c 'exit 7' || status=$?
[ "$status" = 7 ] || fail "exit code $status, not 7"
status=0
emulate -- /nonexistent/command || status=$?
[ "$status" = 127 ] || fail "a missing command gave $status, not 127"

# list shows the node that --device takes.
out=$(emulate -- sh -c '
  "$0" list; node=$("$0" list | cut -d" " -f3); "$0" --device "$node" info' "$CLI") ||
  fail "list, then info on the node listed: $out"
[[ $out =~ ^3f8c:2d71\ \ /dev/hidraw[0-9]+\ \ \(used\)$'\n'Key\ 3f8c:2d71$'\n' ]] ||
  fail "list, then info on the node listed: $out"

# What went wrong is said in words.
#   expect STATUS MESSAGE STDIN [PINVALE-VKEY OPTIONS] -- PINVALE-CLI ARGUMENTS
# (pinvale-vkey's standard error goes to its log, so the command's own is taken
# from inside the emulation).
expect() {
  local want=$1 message=$2 input=$3 status=0 err
  shift 3
  local -a options=()
  while [ "$1" != -- ]; do options+=("$1"); shift; done
  shift
  err=$(printf '%s' "$input" |
    emulate "${options[@]}" -- sh -c 'exec "$@" 2>&1 >/dev/null' sh "$CLI" "$@") || status=$?
  [ "$status" = "$want" ] && [[ $err == *"$message"* ]] || fail "$*: exit $status, said: $err"
}
expect 3 "The key has no PIN yet; use set-pin." $'1234\n' -- --pin-stdin verify-pin
expect 3 "The new PIN is missing" $'1234\n' --pin 1234 -- --pin-stdin change-pin
# The key pulls itself out at its second packet, getInfo's message.
expect 2 "The key was pulled out before it answered." "" --fault pull-out=2 -- info
# A reset nobody could confirm, even with a "yes" in the pipe: refused, and the
# key keeps its PIN.
out=$(emulate --pin 1234 -- sh -c '
  echo yes | "$0" reset 2>/dev/null; echo "reset: $?"; "$0" info' "$CLI")
[[ $out == $'reset: 3\n'*"PIN: set"* ]] || fail "reset without a terminal: $out"

# The control FIFO: pulled out, the key is gone; plugged in, it is back.
ctl="$work/ctl"
out=$(emulate --control "$ctl" -- sh -c '
  "$0" info >/dev/null 2>&1; echo "in: $?"
  echo unplug >"$1"; sleep 0.5
  "$0" info >/dev/null 2>&1; echo "out: $?"
  echo plug >"$1"; sleep 0.5
  "$0" info >/dev/null 2>&1; echo "back: $?"' "$CLI" "$ctl")
[ "$out" = $'in: 0\nout: 2\nback: 0' ] || fail "plug and unplug through the FIFO: $out"
[ ! -e "$ctl" ] || fail "the FIFO pinvale-vkey made is still there"
echo PASS
