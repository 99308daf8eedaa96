#!/usr/bin/env bash
# pinvale-cli on a key with a PIN while another program talks to it: every reader
# of a hidraw node gets every input report, which pinvale-vkey's stray fault plays
# (reports on other channels before every answer, INIT's included, another
# program's INIT answer among them, and continuations between an answer's packets).
#   emulate_hidraw_strays.sh PINVALE_VKEY PINVALE_CLI
# A second real reader cannot stand in: the emulated node is one pty, whose readers
# take reports from each other instead of each getting a copy.
set -euo pipefail
VKEY=$1
CLI=$2
work=$(mktemp -d /tmp/pinvale-strays.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; cat "$work/vkey.log" 2>/dev/null || true; exit 1; }

expected='Key 3f8c:2d71
PIN: set
User verification: not configured
info: 0
PIN verified.
verify: 0
Wrong PIN (status 0x31). 7 attempts left.
wrong: 4
7 PIN attempts left.
retries: 0'
for fault in stray stray=4; do
  out=$("$VKEY" --emulate-hidraw --pin 1234 --fault "$fault" -- sh -c '
    info=$("$0" info); rc=$?
    printf "%s\n" "$info" | sed -n 1,3p; echo "info: $rc"  # its first lines: PIN and UV
    printf "1234\n" | "$0" --pin-stdin verify-pin; echo "verify: $?"
    printf "9999\n" | "$0" --pin-stdin verify-pin 2>&1; echo "wrong: $?"
    "$0" retries; echo "retries: $?"' "$CLI" 2>>"$work/vkey.log") ||
    fail "--fault $fault: pinvale-vkey exited with $?: $out"
  [ "$out" = "$expected" ] || fail "--fault $fault said:
$out"
done
echo PASS
