#!/usr/bin/env bash
# The 2.1 profile behind emulated hidraw, as people reach it: libfido2's fido2-token
# sets (-S), changes (-C) and reads (-I) the PIN, and python-fido2's own hidraw
# backend does the same, on a key with protocols 2 and 1 and on a protocol-2-only key.
#   ctap21_hidraw.sh PINVALE_VKEY
# Exit 77 (skipped) when fido2-token is missing or the build cannot emulate hidraw.
set -euo pipefail
VKEY=$1
command -v fido2-token >/dev/null || { echo "SKIP: fido2-token is missing (fido2-tools)"; exit 77; }
work=$(mktemp -d /tmp/pinvale-ctap21.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
emulate() { "$VKEY" --emulate-hidraw --profile 2.1 "$@" 2>>"$work/vkey.log"; }
emulate -- true || { echo "SKIP: no hidraw emulation here: $(cat "$work/vkey.log")"; exit 77; }

# Inside the emulation, on a key whose minimum is 6: read; set, change and read,
# with what each step said.
cat >"$work/token.sh" <<'SCRIPT'
dev=$(fido2-token -L | cut -d: -f1)
fido2-token -I "$dev" | grep -E '^(version strings|options|minpinlen|pin protocols|pin retries|pin change required):'
pin() { printf '%s\n' "$@" | fido2-token "$op" "$dev" >/dev/null 2>&1; echo "$op $*: $?"; }
op=-S pin 1234 1234
op=-S pin 123456 123456
op=-C pin 123456 12345 12345
op=-C pin 123456 567890 567890
op=-C pin 123456 24680 24680
fido2-token -I "$dev" | grep -E '^(options|pin retries):'
SCRIPT
for protocols in 2,1 2; do
  out=$(emulate --pin-protocols "$protocols" --min-pin-length 6 -- sh "$work/token.sh") ||
    fail "fido2-token on $protocols: $out"
  # Refused: a first PIN of 4 digits and a new one of 5 (the minimum), then the PIN
  # that was changed away.
  expected="version strings: FIDO_2_0, FIDO_2_1_PRE, FIDO_2_1
options: rk, up, noplat, credMgmt, nobioEnroll, noclientPin, pinUvAuthToken, makeCredUvNotRqd, credentialMgmtPreview, nouserVerificationMgmtPreview
minpinlen: 6
pin protocols: ${protocols/,/, }
pin retries: 8
pin change required: false
-S 1234 1234: 1
-S 123456 123456: 0
-C 123456 12345 12345: 1
-C 123456 567890 567890: 0
-C 123456 24680 24680: 1
options: rk, up, noplat, credMgmt, nobioEnroll, clientPin, pinUvAuthToken, makeCredUvNotRqd, credentialMgmtPreview, nouserVerificationMgmtPreview
pin retries: 7"
  [ "$out" = "$expected" ] || fail "fido2-token on $protocols: $out"
done

# A forced PIN change: -I shows it, a change to a new PIN clears it.
out=$(emulate --pin-protocols 2 --pin 1234 --force-pin-change -- sh -c '
  dev=$(fido2-token -L | cut -d: -f1)
  fido2-token -I "$dev" | grep "^pin change required:"
  printf "1234\n5678\n5678\n" | fido2-token -C "$dev" >/dev/null 2>&1; echo "change: $?"
  fido2-token -I "$dev" | grep "^pin change required:"') || fail "forced change: $out"
[ "$out" = $'pin change required: true\nchange: 0\npin change required: false' ] ||
  fail "forced change: $out"

# python-fido2 through its own hidraw backend, on the protocol-2-only key.
out=$(emulate --pin-protocols 2 -- /usr/bin/python3 -c '
from fido2.hid import CtapHidDevice
from fido2.ctap2 import Ctap2
from fido2.ctap2.pin import ClientPin
ctap = Ctap2(next(CtapHidDevice.list_devices()))
pin = ClientPin(ctap)
pin.set_pin("1234")
pin.change_pin("1234", "5678")
print(pin.protocol.VERSION, len(pin.get_pin_token("5678", 2, "pinvale.example")),
      pin.get_pin_retries()[0], ctap.get_info().options["clientPin"])') ||
  fail "python-fido2 over hidraw: $out"
[ "$out" = "2 32 8 True" ] || fail "python-fido2 over hidraw: $out"
echo PASS
