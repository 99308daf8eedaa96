#!/usr/bin/env bash
# Fingerprints behind emulated hidraw, as libfido2's fido2-token manages them: -I shows
# the sensor, -S -e enrols (a bad sample injected through --control shows and the
# enrolment goes on), -L -e lists, -S -e -i -n names, -D -e -i removes; on a 2.1 key
# and on a 2.1-pre key.
#   bio_hidraw.sh PINVALE_VKEY
# Exit 77 (skipped) when fido2-token is missing or the build cannot emulate hidraw.
set -euo pipefail
VKEY=$1
command -v fido2-token >/dev/null || { echo "SKIP: fido2-token is missing (fido2-tools)"; exit 77; }
work=$(mktemp -d /tmp/pinvale-bio.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
"$VKEY" --emulate-hidraw -- true 2>>"$work/vkey.log" ||
  { echo "SKIP: no hidraw emulation here: $(cat "$work/vkey.log")"; exit 77; }

cat >"$work/bio.sh" <<'SCRIPT'
dev=$(fido2-token -L | cut -d: -f1)
fido2-token -I "$dev" | grep -E '^(uv retries|sensor type|max samples):'
# Queued for the sensor's next wait: enrolBegin's sample.
echo "sample too-high" >"$FIFO"
sleep 0.2
echo 1234 | fido2-token -S -e "$dev" 2>&1 | sed 's/^Enter PIN for [^:]*: //'
list() { echo 1234 | fido2-token -L -e "$dev" 2>&1 | sed 's/^Enter PIN for [^:]*: //'; }
id=$(list | cut -d' ' -f2)
list | sed "s|$id|ID|"
echo 1234 | fido2-token -S -e -i "$id" -n "left thumb" "$dev" >/dev/null 2>&1; echo "name: $?"
list | sed "s|$id|ID|"
echo 1234 | fido2-token -S -e -i "$id" -n "a name much too long" "$dev" 2>&1 |
  sed 's/^Enter PIN for [^:]*: //'
echo 1234 | fido2-token -D -e -i "$id" "$dev" >/dev/null 2>&1; echo "remove: $?"
list
fido2-token -I "$dev" | grep -E '^options:' | grep -oE '(no)?(uv|bioEnroll|userVerificationMgmtPreview)\b' | tr '\n' ' '
echo
SCRIPT

expected_enrolment="uv retries: 5
sensor type: 1 (touch)
max samples: 4
Touch your security key.
Sample too high.
Touch your security key (4 samples left).
Sample ok.
Touch your security key (3 samples left).
Sample ok.
Touch your security key (2 samples left).
Sample ok.
Touch your security key (1 sample left).
Sample ok.
00: ID 
name: 0
00: ID left thumb
fido2-token: fido_bio_dev_set_template_name: FIDO_ERR_INVALID_LENGTH
remove: 0
fido2-token: fido_bio_dev_get_template_array: FIDO_ERR_INVALID_OPTION"
for profile in 2.1 2.1-pre; do
  case $profile in
    2.1) options="nouv nobioEnroll nouserVerificationMgmtPreview " ;;
    *) options="nouv nouserVerificationMgmtPreview " ;;
  esac
  out=$(FIFO="$work/control" "$VKEY" --emulate-hidraw --profile "$profile" --pin 1234 \
    --touch-delay 20 --control "$work/control" -- sh "$work/bio.sh" 2>&1 |
    grep -v '^pinvale-vkey: ') || fail "fido2-token on $profile: $out"
  [ "$out" = "$expected_enrolment"$'\n'"$options" ] || fail "fido2-token on $profile: $out"
done
echo PASS
