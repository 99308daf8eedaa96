"""python-fido2 against pinvale-vkey's credentials, over the socket: Fido2Client makes
and uses a passkey and a credential that is not stored, with and without a PIN, on the
2.0 and 2.1 profiles, and Fido2Server checks the attestation and every signature;
Ctap2 walks several passkeys of a site (getNextAssertion) and meets a full store.

Usage: /usr/bin/python3 python_fido2_credentials_test.py --vkey PATH [unittest arguments]
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import python_fido2_test as base  # noqa: E402  (takes --vkey off the command line)
from fido2.client import Fido2Client  # noqa: E402
from fido2.ctap import CtapError  # noqa: E402
from fido2.ctap2.pin import ClientPin  # noqa: E402
from fido2.server import Fido2Server  # noqa: E402
from fido2.webauthn import PublicKeyCredentialRpEntity  # noqa: E402

ERR = CtapError.ERR
SITE = "pinvale.example"
HASH = bytes(range(32))
ES256 = [{"type": "public-key", "alg": -7}]


class CredentialTestCase(base.VkeyTestCase):
    PROFILE = "2.0"
    PIN = None
    EXTRA = ()

    def setUp(self):
        self.ARGS = ("--profile", self.PROFILE, "--touch-delay", "0", *self.EXTRA) + (
            ("--pin", self.PIN) if self.PIN else ())
        super().setUp()

    def client(self):
        return Fido2Client(self.ctap().device, "https://" + SITE)

    def round_trip(self, resident):
        """Registers and signs in with python-fido2's client and server."""
        client = self.client()
        server = Fido2Server(PublicKeyCredentialRpEntity(SITE, "Pinvale"))
        user = {"id": b"user-%d" % resident, "name": "alice", "displayName": "Alice"}
        options, state = server.register_begin(
            user, resident_key=resident, user_verification="discouraged")
        made = client.make_credential(options["publicKey"], pin=self.PIN)
        auth = server.register_complete(state, made.client_data, made.attestation_object)
        self.assertEqual(made.attestation_object.fmt, "packed")
        counter = made.attestation_object.auth_data.counter
        for allowed in ([auth.credential_data], None) if resident else ([auth.credential_data],):
            options, state = server.authenticate_begin(allowed, user_verification="discouraged")
            result = client.get_assertion(options["publicKey"], pin=self.PIN).get_response(0)
            server.authenticate_complete(
                state, [auth.credential_data], result.credential_id, result.client_data,
                result.authenticator_data, result.signature)
            self.assertGreater(result.authenticator_data.counter, counter)
            counter = result.authenticator_data.counter
            self.assertEqual(result.authenticator_data.is_user_verified(), self.PIN is not None)
        return made


class Ctap20Test(CredentialTestCase):
    def test_both_kinds(self):
        self.round_trip(resident=False)
        self.round_trip(resident=True)


class Ctap20PinTest(CredentialTestCase):
    PIN = "1234"

    def test_both_kinds_with_the_pin(self):
        self.round_trip(resident=False)
        self.round_trip(resident=True)
        # A 2.0 key with a PIN wants it for every credential.
        self.assertCtapError(ERR.PIN_REQUIRED, self.ctap().make_credential, HASH,
                             {"id": SITE}, {"id": b"u"}, ES256)


class Ctap21Test(CredentialTestCase):
    PROFILE = "2.1"

    def test_both_kinds(self):
        made = self.round_trip(resident=True)
        self.assertEqual(self.ctap().get_info().remaining_disc_creds, 24)
        self.assertEqual(made.attestation_object.auth_data.credential_data.aaguid,
                         self.ctap().info.aaguid)
        self.round_trip(resident=False)


class Ctap21PinTest(CredentialTestCase):
    PROFILE = "2.1"
    PIN = "1234"

    def test_both_kinds_with_the_pin(self):
        self.round_trip(resident=True)
        self.round_trip(resident=False)
        ctap = self.ctap()
        # Without a token: a credential that is not stored, but no passkey.
        ctap.make_credential(HASH, {"id": SITE}, {"id": b"u"}, ES256)
        self.assertCtapError(ERR.PIN_REQUIRED, lambda: ctap.make_credential(
            HASH, {"id": SITE}, {"id": b"u"}, ES256, options={"rk": True}))

    def test_credprotect_needs_verification(self):
        ctap = self.ctap()
        pin = ClientPin(ctap)
        token = pin.get_pin_token(self.PIN, ClientPin.PERMISSION.MAKE_CREDENTIAL, SITE)
        made = ctap.make_credential(
            HASH, {"id": SITE}, {"id": b"u", "name": "alice"}, ES256,
            extensions={"credProtect": 3}, options={"rk": True},
            pin_uv_param=pin.protocol.authenticate(token, HASH),
            pin_uv_protocol=pin.protocol.VERSION)
        self.assertEqual(made.auth_data.extensions, {"credProtect": 3})
        self.assertCtapError(ERR.NO_CREDENTIALS, ctap.get_assertion, SITE, HASH)
        token = pin.get_pin_token(self.PIN, ClientPin.PERMISSION.GET_ASSERTION, SITE)
        found = ctap.get_assertion(SITE, HASH, pin_uv_param=pin.protocol.authenticate(token, HASH),
                                   pin_uv_protocol=pin.protocol.VERSION)
        self.assertEqual(found.user, {"id": b"u", "name": "alice"})


class WalkTest(CredentialTestCase):
    PROFILE = "2.1"
    EXTRA = ("--capacity", "3")

    def test_walk_newest_first_then_full(self):
        ctap = self.ctap()
        for user in (b"a", b"b", b"c"):
            ctap.make_credential(HASH, {"id": SITE}, {"id": user}, ES256, options={"rk": True})
        self.assertCtapError(ERR.KEY_STORE_FULL, lambda: ctap.make_credential(
            HASH, {"id": SITE}, {"id": b"d"}, ES256, options={"rk": True}))
        # python-fido2 reads numberOfCredentials and calls getNextAssertion for the rest.
        assertions = ctap.get_assertions(SITE, HASH)
        self.assertEqual([a.user["id"] for a in assertions], [b"c", b"b", b"a"])
        self.assertEqual(assertions[0].number_of_credentials, 3)
        self.assertCtapError(ERR.NOT_ALLOWED, ctap.get_next_assertion)
        # A new one for the same user takes the old one's place.
        ctap.make_credential(HASH, {"id": SITE}, {"id": b"a"}, ES256, options={"rk": True})
        self.assertEqual([a.user["id"] for a in ctap.get_assertions(SITE, HASH)],
                         [b"a", b"c", b"b"])


if __name__ == "__main__":
    unittest.main()
