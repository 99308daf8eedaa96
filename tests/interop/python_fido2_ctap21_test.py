"""python-fido2 against pinvale-vkey --profile 2.1, over the socket: it picks PIN/UV
auth protocol 2, gets tokens with permissions, meets the key's minimum PIN length
and its forced PIN change; a protocol-2-only key refuses protocol 1.

Usage: /usr/bin/python3 python_fido2_ctap21_test.py --vkey PATH [unittest arguments]
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import python_fido2_test as base  # noqa: E402  (takes --vkey off the command line)
from fido2.ctap import CtapError  # noqa: E402
from fido2.ctap2.pin import ClientPin, PinProtocolV1  # noqa: E402
from fido2.utils import sha256  # noqa: E402

ERR = CtapError.ERR
GA = ClientPin.PERMISSION.GET_ASSERTION
SITE = "pinvale.example"
HASH = bytes(range(32))


class Ctap21TestCase(base.VkeyTestCase):
    ARGS = ("--profile", "2.1")

    def assert_token_passes(self, ctap, pin, token, rp_id=SITE):
        """getAssertion with the token's MAC ends in "no credentials": the MAC passed."""
        param = pin.protocol.authenticate(token, HASH)
        with self.assertRaises(CtapError) as raised:
            ctap.get_assertion(rp_id, HASH, pin_uv_param=param,
                               pin_uv_protocol=pin.protocol.VERSION)
        return raised.exception.code


class InfoTest(Ctap21TestCase):
    def test_info(self):
        info = self.ctap().info
        self.assertEqual(info.versions, ["FIDO_2_0", "FIDO_2_1_PRE", "FIDO_2_1"])
        self.assertEqual(info.options, {
            "rk": True, "up": True, "plat": False, "credMgmt": True, "bioEnroll": False,
            "clientPin": False, "pinUvAuthToken": True, "makeCredUvNotRqd": True,
            "credentialMgmtPreview": True, "userVerificationMgmtPreview": False})
        self.assertEqual(info.extensions, ["credProtect"])
        self.assertEqual(info.remaining_disc_creds, 25)
        self.assertEqual(info.pin_uv_protocols, [2, 1])
        self.assertIs(info.force_pin_change, False)
        self.assertEqual(info.min_pin_length, 4)


class PinTest(Ctap21TestCase):
    def test_set_change_and_tokens_under_protocol_2(self):
        ctap = self.ctap()
        pin = ClientPin(ctap)
        self.assertEqual(pin.protocol.VERSION, 2)
        pin.set_pin("1234")
        self.assertIs(ctap.get_info().options["clientPin"], True)
        self.assertCtapError(ERR.PIN_AUTH_INVALID, pin.set_pin, "9999")  # already set
        # python-fido2 0.9.1 asks for a token without permissions as CTAP 2.1 has
        # it: 0x09 needs them.
        self.assertCtapError(ERR.MISSING_PARAMETER, pin.get_pin_token, "1234")
        token = pin.get_pin_token("1234", GA, SITE)
        self.assertEqual(len(token), 32)
        self.assertEqual(self.assert_token_passes(ctap, pin, token), ERR.NO_CREDENTIALS)
        self.assertEqual(self.assert_token_passes(ctap, pin, token, "elsewhere.example"),
                         ERR.PIN_AUTH_INVALID)
        self.assertCtapError(ERR.UNAUTHORIZED_PERMISSION, pin.get_pin_token, "1234",
                             ClientPin.PERMISSION.CREDENTIAL_MGMT)
        self.assertCtapError(ERR.INVALID_PARAMETER, pin.get_pin_token, "1234", GA)  # no rpId

        pin.change_pin("1234", base.SECOND_PIN)
        self.assertEqual(self.assert_token_passes(ctap, pin, token), ERR.PIN_AUTH_INVALID)
        self.assertCtapError(ERR.PIN_INVALID, pin.get_pin_token, "1234", GA, SITE)
        self.assertEqual(len(pin.get_pin_token(base.SECOND_PIN, GA, SITE)), 32)
        self.assertEqual(pin.get_pin_retries()[0], 8)

    def test_protocol_1_still_works_beside_2(self):
        ctap = self.ctap()
        pin = ClientPin(ctap, PinProtocolV1())
        pin.set_pin("1234")
        token = pin.get_pin_token("1234", GA, SITE)
        self.assertEqual(len(token), 32)  # 2.1 tokens are 32 bytes under either protocol
        self.assertEqual(self.assert_token_passes(ctap, pin, token), ERR.NO_CREDENTIALS)
        # The legacy getPINToken gives a token for any site, and permissions are not for it.
        legacy = ctap.client_pin(1, ClientPin.CMD.GET_KEY_AGREEMENT)
        key_agreement, secret = pin.protocol.encapsulate(legacy[1])
        pin_hash_enc = pin.protocol.encrypt(secret, sha256(b"1234")[:16])
        answer = ctap.client_pin(1, ClientPin.CMD.GET_TOKEN_USING_PIN_LEGACY,
                                 key_agreement=key_agreement, pin_hash_enc=pin_hash_enc)
        token = pin.protocol.decrypt(secret, answer[2])
        self.assertEqual(self.assert_token_passes(ctap, pin, token, "any.example"),
                         ERR.NO_CREDENTIALS)
        self.assertCtapError(ERR.INVALID_PARAMETER, lambda: ctap.client_pin(
            1, ClientPin.CMD.GET_TOKEN_USING_PIN_LEGACY, key_agreement=key_agreement,
            pin_hash_enc=pin_hash_enc, permissions=GA))
        self.assertEqual(pin.get_pin_retries()[0], 8)


class ProtocolTwoOnlyTest(Ctap21TestCase):
    ARGS = ("--profile", "2.1", "--pin-protocols", "2", "--pin", "1234")

    def test_protocol_1_is_refused(self):
        ctap = self.ctap()
        self.assertEqual(ctap.info.pin_uv_protocols, [2])
        pin = ClientPin(ctap)
        self.assertEqual(pin.protocol.VERSION, 2)
        old = ClientPin(ctap, PinProtocolV1())
        self.assertCtapError(ERR.INVALID_PARAMETER, old.get_pin_token, "1234", GA, SITE)
        self.assertCtapError(ERR.INVALID_PARAMETER, old.change_pin, "1234", "5678")
        token = pin.get_pin_token("1234", GA, SITE)
        self.assertEqual(self.assert_token_passes(ctap, old, token), ERR.INVALID_PARAMETER)
        self.assertEqual(self.assert_token_passes(ctap, pin, token), ERR.NO_CREDENTIALS)
        pin.change_pin("1234", base.SECOND_PIN)
        self.assertEqual(old.get_pin_retries()[0], 8)  # retries take any protocol


class MinPinLengthTest(Ctap21TestCase):
    ARGS = ("--profile", "2.1", "--min-pin-length", "6")

    def test_short_pins_are_refused_in_code_points(self):
        ctap = self.ctap()
        self.assertEqual(ctap.info.min_pin_length, 6)
        pin = ClientPin(ctap)
        self.assertCtapError(ERR.PIN_POLICY_VIOLATION, pin.set_pin, "12345")
        self.assertCtapError(ERR.PIN_POLICY_VIOLATION, pin.set_pin, "\u00e9" * 5)  # 10 bytes
        self.assertIs(ctap.get_info().options["clientPin"], False)
        pin.set_pin("\u00e9" * 6)
        self.assertCtapError(ERR.PIN_POLICY_VIOLATION, pin.change_pin, "\u00e9" * 6, "12345")
        pin.get_pin_token("\u00e9" * 6, GA, SITE)  # still the PIN


class ForcePinChangeTest(Ctap21TestCase):
    ARGS = ("--profile", "2.1", "--pin", "1234", "--force-pin-change")

    def test_change_required_before_a_token(self):
        ctap = self.ctap()
        self.assertIs(ctap.info.force_pin_change, True)
        pin = ClientPin(ctap)
        self.assertCtapError(ERR.PIN_INVALID, pin.get_pin_token, "0000", GA, SITE)
        self.assertCtapError(ERR.PIN_POLICY_VIOLATION, pin.get_pin_token, "1234", GA, SITE)
        self.assertEqual(pin.get_pin_retries()[0], 8)
        self.assertCtapError(ERR.PIN_POLICY_VIOLATION, pin.change_pin, "1234", "1234")
        pin.change_pin("1234", base.SECOND_PIN)
        self.assertIs(ctap.get_info().force_pin_change, False)
        self.assertEqual(self.vkey.status()["force-pin-change"], "no")
        self.assertEqual(len(pin.get_pin_token(base.SECOND_PIN, GA, SITE)), 32)


if __name__ == "__main__":
    unittest.main()
