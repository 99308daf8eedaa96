"""End to end: the real pinvale under Xvfb with a CTAP 2.1 pinvale-vkey key, driven with
xdotool like a user, through Passkeys and Fingerprints; python-fido2 on the same key puts
passkeys there first and confirms afterwards that what the windows deleted and enrolled
is what the key now holds.

Usage: /usr/bin/python3 e2e_management.py --pinvale PATH --vkey PATH [--shots DIR]
Exit 77 (skipped) when Xvfb, xdotool, ImageMagick's import or python3-fido2 is missing.
"""

import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import e2e_start  # noqa: E402

options = e2e_start.options_or_skip()

from fido2.ctap2.bio import FPBioEnrollment  # noqa: E402
from fido2.ctap2.credman import CredentialManagement  # noqa: E402
from fido2.ctap2.pin import ClientPin  # noqa: E402
from fido2.utils import sha256  # noqa: E402
from gui_session import Failure, Session  # noqa: E402

PIN = "123456"
SITES = ["alpha.example", "beta.example", "gamma.example"]
RESULT = CredentialManagement.RESULT
PERMISSION = ClientPin.PERMISSION

# Client points of the controls, from the layouts.
MAIN_FINGERPRINTS = (121, 406)
MAIN_PASSKEYS = (328, 406)
SIZES = [(300, 280), (420, 480)]


def make_passkey(ctap, rp_id, user_name):
    pin = ClientPin(ctap)
    token = pin.get_pin_token(PIN, PERMISSION.MAKE_CREDENTIAL, rp_id)
    client_data_hash = sha256(rp_id.encode())
    user = {"id": user_name.encode() + b"-id", "name": user_name, "displayName": user_name.title()}
    ctap.make_credential(client_data_hash, {"id": rp_id}, user,
                         [{"type": "public-key", "alg": -7}], options={"rk": True},
                         pin_uv_param=pin.protocol.authenticate(token, client_data_hash),
                         pin_uv_protocol=pin.protocol.VERSION)


def sites_on_key(s):
    ctap = s.ctap()
    try:
        pin = ClientPin(ctap)
        credman = CredentialManagement(ctap, pin.protocol,
                                       pin.get_pin_token(PIN, PERMISSION.CREDENTIAL_MGMT))
        if credman.get_metadata()[RESULT.EXISTING_CRED_COUNT] == 0:
            return []
        return sorted(rp[RESULT.RP]["id"] for rp in credman.enumerate_rps())
    finally:
        ctap.device.close()


def fingerprints_on_key(s):
    ctap = s.ctap()
    try:
        pin = ClientPin(ctap)
        bio = FPBioEnrollment(ctap, pin.protocol, pin.get_pin_token(PIN, PERMISSION.BIO_ENROLL))
        try:
            return bio.enumerate_enrollments()
        except Exception:  # noqa: BLE001 - none enrolled answers 0x2C
            return {}
    finally:
        ctap.device.close()


def enter_pin(s, main, tile):
    entry = s.open_by_click(main, tile, SIZES[0])
    s.type(PIN)
    s.key("Return")
    s.wait_gone(entry)
    window = s.wait_window(SIZES[1])
    time.sleep(1.0)  # the first frame, then the list read from the key
    return window


def run(s):
    main = s.wait_window((450, 450))
    s.wait_log("ShowDeviceState present")
    s.shot("01-main-managed-key")
    # Put on the key by another client once Pinvale has connected (the key serves one
    # transaction at a time, as real keys do).
    ctap = s.ctap()
    try:
        for site in SITES:
            make_passkey(ctap, site, "user-" + site.split(".")[0])
    finally:
        ctap.device.close()

    # Passkeys: the first row deleted with the Delete key, after the confirmation.
    window = enter_pin(s, main, MAIN_PASSKEYS)
    s.shot("02-passkeys")
    s.click(window, (210, 95))  # the first row
    s.key("Delete")
    box = s.wait_window(None, exclude={main, window})
    s.shot("03-passkeys-delete-confirmation")
    s.key("Return")
    s.wait_gone(box)
    time.sleep(1.0)
    s.shot("04-passkeys-after-delete")
    left = sites_on_key(s)
    if left != SITES[1:]:  # the first row, sorted by site
        raise Failure("the key holds %s after one delete" % left)
    s.key("Escape")
    s.wait_gone(window)

    # Fingerprints: one enrolled, the key's sensor reading a bad sample first.
    window = enter_pin(s, main, MAIN_FINGERPRINTS)
    s.shot("05-fingerprints-empty")
    s.vkey.command("sample too-high")
    s.key("Return")  # Add, the list page's default button
    time.sleep(1.0)
    s.shot("06-fingerprints-enrolling")
    # The samples come by themselves (automatic touch); the name page follows the last.
    deadline = time.time() + 20
    while time.time() < deadline and s.vkey.status().get("fingerprints") != "1":
        time.sleep(0.2)
    time.sleep(0.5)
    s.shot("07-fingerprints-name")
    s.type("Thumb")
    s.key("Return")
    time.sleep(1.0)
    s.shot("08-fingerprints-enrolled")
    names = list(fingerprints_on_key(s).values())
    if names != ["Thumb"]:
        raise Failure("the key holds the fingerprints %s, not Thumb" % names)
    s.key("Escape")
    s.wait_gone(window)


def main():
    return e2e_start.run_session(
        lambda shots: Session(options.pinvale, shots, ("--profile", "2.1", "--pin", PIN, "--touch-delay", "20"), SIZES), run, options.shots,
        "pinvale-management-shots.")


if __name__ == "__main__":
    sys.exit(main())
