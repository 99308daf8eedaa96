#!/usr/bin/env bash
# Credentials behind emulated hidraw, made and used by libfido2's tools as people run
# them: fido2-cred -M makes one and -V checks its attestation; fido2-assert -G signs
# with it and -V checks the signature against the public key -V gave. A credential
# that is not stored and a passkey (-r), without and with a PIN (-v), on the 2.0 and
# 2.1 profiles.
#   credentials_hidraw.sh PINVALE_VKEY
# Exit 77 (skipped) when the tools are missing or the build cannot emulate hidraw.
set -euo pipefail
VKEY=$1
for tool in fido2-token fido2-cred fido2-assert; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (fido2-tools)"; exit 77; }
done
work=$(mktemp -d /tmp/pinvale-credentials.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
emulate() { "$VKEY" --emulate-hidraw --touch-delay 0 "$@" 2>>"$work/vkey.log"; }
emulate -- true || { echo "SKIP: no hidraw emulation here: $(cat "$work/vkey.log")"; exit 77; }

# Inside the emulation: make, verify, assert, verify; FLAGS go to both tools (-r, -v),
# the PIN (when any) comes on standard input. Prints one line per step.
cat >"$work/round.sh" <<'SCRIPT'
flags=$1 pin=$2
cd "$3"
dev=$(fido2-token -L | cut -d: -f1)
hash() { head -c 32 /dev/urandom | base64; }
step() { name=$1; shift; if printf '%s\n' "$pin" | "$@" 2>>tool.log; then echo "$name: ok"; else echo "$name: $?"; fi; }
{ hash; echo pinvale.example; echo alice; printf 'user-1' | base64; } >cred_in
step make fido2-cred -M $flags -i cred_in -o cred_out "$dev" es256
step attestation fido2-cred -V ${flags/-r/} -i cred_out -o cred_pub es256
sed -n '2,$p' cred_pub >pub.pem
if [ "${flags#*-r}" != "$flags" ]; then
  { hash; echo pinvale.example; } >assert_in   # a passkey is found without its id
else
  { hash; echo pinvale.example; sed -n 5p cred_out; } >assert_in
fi
step assert fido2-assert -G $flags -i assert_in -o assert_out "$dev"
step signature fido2-assert -V ${flags/-r/} -i assert_out pub.pem es256
# Another site gets nothing with the same id.
sed -i 2s/.*/other.example/ assert_in
step elsewhere fido2-assert -G ${flags/-r/} -i assert_in -o /dev/null "$dev"
SCRIPT

check() {
  local profile=$1 flags=$2 pin=$3 expected=$4 out dir
  dir=$(mktemp -d "$work/round.XXXXXX")
  local args=(--profile "$profile")
  [ -n "$pin" ] && args+=(--pin "$pin")
  out=$(emulate "${args[@]}" -- bash "$work/round.sh" "$flags" "$pin" "$dir") ||
    fail "$profile $flags: $out"
  [ "$out" = "$expected" ] || fail "$profile '$flags' pin '$pin': $out $(cat "$dir/tool.log")"
}

all_ok=$'make: ok\nattestation: ok\nassert: ok\nsignature: ok\nelsewhere: 1'
for profile in 2.0 2.1; do
  check "$profile" "" "" "$all_ok"
  check "$profile" "-r" "" "$all_ok"
  check "$profile" "-r -v" "1234" "$all_ok"
done
check 2.0 "-v" "1234" "$all_ok"

# With a PIN set and no -v a 2.1 key makes a credential that is not stored
# (makeCredUvNotRqd) but no passkey; a 2.0 key makes neither.
check 2.1 "" "1234" "$all_ok"
out=$(emulate --profile 2.1 --pin 1234 -- sh -c '
  dev=$(fido2-token -L | cut -d: -f1)
  printf "%s\n" "$(head -c 32 /dev/urandom | base64)" pinvale.example alice "$(printf u | base64)" >'"$work"'/in
  fido2-cred -M -r -i '"$work"'/in "$dev" es256 >/dev/null 2>&1; echo "passkey: $?"
  fido2-token -I "$dev" | grep "^remaining rk"') || fail "no -v: $out"
[ "$out" = $'passkey: 1\nremaining rk(s): 25' ] || fail "no -v: $out"
echo PASS
