#!/usr/bin/env bash
# pinvale-cli's fingerprints and passkeys commands behind emulated hidraw, checked
# with libfido2's tools on the same key: passkeys made by fido2-cred -M -r are listed,
# updated and deleted by pinvale-cli and fido2-token -L -k sees the result; a
# fingerprint pinvale-cli enrols (past a bad sample) and renames is the one
# fido2-token -L -e lists, and one fido2-token enrols pinvale-cli lists and deletes.
# On a 2.1 and a 2.1-pre key; then Ctrl-C and a pull-out during a capture.
#   cli_management_hidraw.sh PINVALE_VKEY PINVALE_CLI
# Exit 77 (skipped) when fido2-tools are missing or the build cannot emulate hidraw.
set -euo pipefail
VKEY=$1
export CLI=$2
for tool in fido2-token fido2-cred; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (fido2-tools)"; exit 77; }
done
work=$(mktemp -d /tmp/pinvale-cli-hidraw.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
"$VKEY" --emulate-hidraw -- true 2>>"$work/vkey.log" ||
  { echo "SKIP: no hidraw emulation here: $(cat "$work/vkey.log")"; exit 77; }

# Inside the emulation; IDs are replaced by names so the output can be compared.
cat >"$work/flow.sh" <<'SCRIPT'
cd "$WORK"
dev=$(fido2-token -L | cut -d: -f1)
pv() { echo 1234 | "$CLI" --pin-stdin "$@" 2>&1; echo "exit $?"; }
ft() { echo 1234 | fido2-token "$@" "$dev" 2>&1 | sed 's/^Enter PIN for [^:]*: //'; }
make() {
  { head -c 32 /dev/urandom | base64; echo "$1"; echo "$2"; printf '%s' "$2-id" | base64; } >cred_in
  echo 1234 | fido2-cred -M -r -i cred_in -o cred_out "$dev" es256 2>/dev/null || echo "make $2 failed"
}
make b.example bob
make a.example alice
pv passkeys list >list
alice=$(grep alice list | cut -d' ' -f1)
bob=$(grep bob list | cut -d' ' -f1)
sed "s/$alice/ALICE/; s/$bob/BOB/" list
pv passkeys update "$alice" --display-name "Alice L" | sed "s/$alice/ALICE/"
ft -L -k a.example | sed 's/^00: [^ ]* //'
pv --yes passkeys delete "${bob:0:6}"
ft -L -r | cut -d' ' -f3

echo "sample too-short" >"$FIFO"
sleep 0.2
pv fingerprints add --name thumb >add
id=$(sed -n 's/^Fingerprint enrolled: \([0-9a-f]*\).*/\1/p' add)
sed "s/$id/ID/" add
# fido2-token shows template ids in base64.
b64=$(printf "$(echo "$id" | sed 's/../\\x&/g')" | base64)
ft -L -e | sed "s|$b64|ID|"
pv fingerprints rename "$id" "left thumb" | sed "s/$id/ID/"
ft -L -e | sed "s|$b64|ID|"
ft -S -e >/dev/null
pv fingerprints list | sed "s/$id/ID/; s/^[0-9a-f]\{4\}  /OTHER  /"
pv --yes fingerprints delete "$id" | sed "s/$id/ID/"
ft -L -e | sed "s|$b64|DELETED-ID|; s|^00: [A-Za-z0-9+/=]* |00: OTHER |"
SCRIPT

expected() {
  local update=$1
  cat <<EOF
ALICE  a.example  alice  -
BOB  b.example  bob  -
2 used, 23 free.
exit 0
$update
Deleted the passkey of bob for b.example.
exit 0
a.example
Touch the sensor with the finger to enroll.
Sample 1 of 4: the touch was too short; hold your finger on the sensor a little longer. 4 samples left; touch the sensor again.
Sample 1 of 4: good. 3 samples left; touch the sensor again.
Sample 2 of 4: good. 2 samples left; touch the sensor again.
Sample 3 of 4: good. 1 sample left; touch the sensor again.
Sample 4 of 4: good.
Fingerprint enrolled: ID  thumb
exit 0
00: ID thumb
Fingerprint ID renamed to left thumb.
exit 0
00: ID left thumb
ID  left thumb
OTHER  (no name)
exit 0
Fingerprint ID deleted.
exit 0
00: OTHER 
EOF
}
update21=$'Updated the passkey for a.example: alice, Alice L.\nexit 0\nAlice L YWxpY2UtaWQ= es256 uvopt'
update21pre=$'This key cannot change a passkey\'s names (it speaks only the draft form of passkey management).\nexit 6\n(null) YWxpY2UtaWQ= es256 uvopt'
for profile in 2.1 2.1-pre; do
  if [ "$profile" = 2.1 ]; then update=$update21; else update=$update21pre; fi
  out=$(WORK=$work FIFO="$work/control" "$VKEY" --emulate-hidraw --profile "$profile" \
    --pin 1234 --touch-delay 10 --control "$work/control" -- bash "$work/flow.sh" 2>&1 |
    grep -v '^pinvale-vkey: ') || fail "$profile: $out"
  [ "$out" = "$(expected "$update")" ] || fail "$profile: $out"
done

# A capture cut short: Ctrl-C cancels it (the key ends the enrolment: the list stays
# empty), a pull-out ends with exit 2. The touches come by hand once the key waits.
cat >"$work/cut.sh" <<'SCRIPT'
cd "$WORK"
dev=$(fido2-token -L | cut -d: -f1)
capture() {
  : >out
  (echo 1234 | "$CLI" --pin-stdin fingerprints add >out 2>&1; echo "exit $?" >>out) &
  pid=$!
  until grep -q '^Touch' out; do sleep 0.02; done
  sleep 0.2
  echo touch >"$FIFO"
  until grep -q '^Sample 1' out; do sleep 0.02; done
  sleep 0.2
}
capture
kill -INT "$(pgrep -P "$pid" -x pinvale-cli)"
wait "$pid"
tail -2 out
echo 1234 | fido2-token -L -e "$dev" 2>&1 | sed 's/^Enter PIN for [^:]*: //'
capture
echo unplug >"$FIFO"
wait "$pid"
tail -2 out
SCRIPT
out=$(WORK=$work FIFO="$work/control" "$VKEY" --emulate-hidraw --profile 2.1 --pin 1234 \
  --touch manual --control "$work/control" -- bash "$work/cut.sh" 2>&1 |
  grep -v '^pinvale-vkey: ') || fail "cut short: $out"
expected_cut="Enrollment cancelled; nothing was added.
exit 3
fido2-token: fido_bio_dev_get_template_array: FIDO_ERR_INVALID_OPTION
The key was pulled out before it answered. The enrollment was not finished: no fingerprint was added.
exit 2"
[ "$out" = "$expected_cut" ] || fail "cut short: $out"
echo PASS
