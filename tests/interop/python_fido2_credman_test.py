"""python-fido2's CredentialManagement against pinvale-vkey over the socket: passkeys
made with makeCredential, then counted, listed by site, deleted and renamed, on a
2.1 key (0x0A, a token with cm under protocol 2) and on a 2.1-pre key (0x41, the
legacy token under protocol 1).

Usage: /usr/bin/python3 python_fido2_credman_test.py --vkey PATH [unittest arguments]
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import python_fido2_test as base  # noqa: E402  (takes --vkey off the command line)
from fido2.cose import CoseKey  # noqa: E402
from fido2.ctap import CtapError  # noqa: E402
from fido2.ctap2.credman import CredentialManagement  # noqa: E402
from fido2.ctap2.pin import ClientPin  # noqa: E402
from fido2.utils import sha256  # noqa: E402

ERR = CtapError.ERR
RESULT = CredentialManagement.RESULT
PIN = "123456"
# (site, site name, user id, user name, display name), in the order they are made.
PASSKEYS = [
    ("a.example", "Site A", b"alice-id", "alice", "Alice Liddell"),
    ("b.example", None, b"bob-id", "bob", None),
    ("a.example", "Site A", b"carol-id", "carol", "Carol"),
]


class CredmanTestCase(base.VkeyTestCase):
    ARGS = ("--profile", "2.1", "--pin", PIN, "--touch-delay", "0")
    FINAL = True

    def token(self, ctap, permissions):
        pin = ClientPin(ctap)
        if self.FINAL:
            return pin, pin.get_pin_token(PIN, permissions)
        return pin, pin.get_pin_token(PIN)  # 2.1-pre: the legacy token does everything

    def make_passkeys(self, ctap):
        """Stores PASSKEYS; returns their public keys as makeCredential gave them."""
        keys = []
        for rp_id, rp_name, user_id, name, display in PASSKEYS:
            pin = ClientPin(ctap)
            if self.FINAL:
                token = pin.get_pin_token(PIN, ClientPin.PERMISSION.MAKE_CREDENTIAL, rp_id)
            else:
                token = pin.get_pin_token(PIN)
            client_data_hash = sha256(rp_id.encode() + user_id)
            rp = {"id": rp_id, **({"name": rp_name} if rp_name else {})}
            user = {"id": user_id, "name": name, **({"displayName": display} if display else {})}
            attestation = ctap.make_credential(
                client_data_hash, rp, user, [{"type": "public-key", "alg": -7}],
                options={"rk": True},
                pin_uv_param=pin.protocol.authenticate(token, client_data_hash),
                pin_uv_protocol=pin.protocol.VERSION)
            keys.append(attestation.auth_data.credential_data.public_key)
        return keys

    def manager(self, ctap):
        pin, token = self.token(ctap, ClientPin.PERMISSION.CREDENTIAL_MGMT)
        return CredentialManagement(ctap, pin.protocol, token)

    def listing(self, manager):
        """[(site, site name, [(user name, display name), ...]), ...] as listed."""
        sites = []
        try:
            rps = manager.enumerate_rps()
        except CtapError as error:
            self.assertEqual(error.code, ERR.NO_CREDENTIALS)
            return sites
        for rp in rps:
            self.assertEqual(rp[RESULT.RP_ID_HASH], sha256(rp[RESULT.RP]["id"].encode()))
            users = [(c[RESULT.USER].get("name"), c[RESULT.USER].get("displayName"))
                     for c in manager.enumerate_creds(rp[RESULT.RP_ID_HASH])]
            sites.append((rp[RESULT.RP]["id"], rp[RESULT.RP].get("name"), users))
        return sites


class FinalCommandTest(CredmanTestCase):
    def test_metadata_lists_delete_and_update(self):
        ctap = self.ctap()
        self.assertIn("credMgmt", ctap.info.options)
        public_keys = self.make_passkeys(ctap)
        manager = self.manager(ctap)
        self.assertEqual(manager.get_metadata(), {1: 3, 2: 22})
        self.assertEqual(self.listing(manager), [
            ("a.example", "Site A", [("alice", "Alice Liddell"), ("carol", "Carol")]),
            ("b.example", None, [("bob", None)]),
        ])
        # Each listed public key is the one makeCredential gave.
        listed = manager.enumerate_creds(sha256(b"a.example"))
        self.assertEqual([CoseKey.parse(c[RESULT.PUBLIC_KEY]) for c in listed],
                         [public_keys[0], public_keys[2]])
        self.assertEqual(listed[0][RESULT.TOTAL_CREDENTIALS], 2)
        self.assertEqual(listed[0][RESULT.CRED_PROTECT], 1)

        alice = listed[0][RESULT.CREDENTIAL_ID]
        manager.update_user_info(alice, {"id": b"alice-id", "name": "alice@a.example"})
        self.assertCtapError(ERR.INVALID_PARAMETER, manager.update_user_info, alice,
                             {"id": b"bob-id", "name": "mallory"})
        manager.delete_cred(listed[1][RESULT.CREDENTIAL_ID])
        self.assertCtapError(ERR.NO_CREDENTIALS, manager.delete_cred,
                             listed[1][RESULT.CREDENTIAL_ID])
        self.assertEqual(manager.get_metadata(), {1: 2, 2: 23})
        self.assertEqual(self.listing(manager), [
            ("a.example", "Site A", [("alice@a.example", None)]),
            ("b.example", None, [("bob", None)]),
        ])
        self.assertEqual(ctap.get_info().remaining_disc_creds, 23)

    def test_a_token_without_cm_or_for_one_site(self):
        ctap = self.ctap()
        self.make_passkeys(ctap)
        pin = ClientPin(ctap)
        token = pin.get_pin_token(PIN, ClientPin.PERMISSION.GET_ASSERTION, "a.example")
        self.assertCtapError(ERR.PIN_AUTH_INVALID,
                             CredentialManagement(ctap, pin.protocol, token).get_metadata)
        token = pin.get_pin_token(PIN, ClientPin.PERMISSION.CREDENTIAL_MGMT, "b.example")
        site = CredentialManagement(ctap, pin.protocol, token)
        self.assertCtapError(ERR.PIN_AUTH_INVALID, site.enumerate_rps_begin)
        self.assertEqual(len(site.enumerate_creds(sha256(b"b.example"))), 1)
        self.assertCtapError(ERR.PIN_AUTH_INVALID, site.enumerate_creds, sha256(b"a.example"))


class PrototypeCommandTest(CredmanTestCase):
    ARGS = ("--profile", "2.1-pre", "--pin", PIN, "--touch-delay", "0")
    FINAL = False

    def test_metadata_lists_and_delete(self):
        ctap = self.ctap()
        self.assertNotIn("credMgmt", ctap.info.options)
        self.assertIs(ctap.info.options["credentialMgmtPreview"], True)
        self.make_passkeys(ctap)
        manager = self.manager(ctap)
        self.assertEqual(manager.get_metadata(), {1: 3, 2: 22})
        listed = manager.enumerate_creds(sha256(b"a.example"))
        self.assertEqual(len(listed), 2)
        # The prototype has no updateUserInformation.
        self.assertCtapError(ERR.INVALID_SUBCOMMAND, manager.update_user_info,
                             listed[0][RESULT.CREDENTIAL_ID], {"id": b"alice-id", "name": "x"})
        for credential in listed:
            manager.delete_cred(credential[RESULT.CREDENTIAL_ID])
        self.assertEqual(self.listing(manager), [("b.example", None, [("bob", None)])])
        manager.delete_cred(manager.enumerate_creds(sha256(b"b.example"))[0][RESULT.CREDENTIAL_ID])
        self.assertEqual(self.listing(manager), [])
        self.assertEqual(manager.get_metadata(), {1: 0, 2: 25})


if __name__ == "__main__":
    unittest.main()
