#!/usr/bin/env python3
"""Writes the seed inputs of fuzz_client_pin and fuzz_vkey (the other targets' seeds are
plain files). The PIN blocks are encrypted as the fuzz targets' elliptic-curve stand-in
has it (fuzz/support/fuzz_crypto_seam.cpp): the shared secret is SHA-256 of the x
coordinate of the point the client sends, here the curve's generator, so the seeds reach
the key's PIN checks. Needs python3-cryptography; run from anywhere."""

import hashlib
import hmac
import os
import struct

from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

HERE = os.path.dirname(os.path.abspath(__file__))
GX = bytes.fromhex("6B17D1F2E12C4247F8BCE6E563A440F277037D812DEB33A0F4A13945D898C296")
GY = bytes.fromhex("4FE342E2FE1A7F9B8EE7EB4A7C0F9E162BCE33576B315ECECBB6406837BF51F5")
SECRET = hashlib.sha256(GX).digest()


def aes(data):
    enc = Cipher(algorithms.AES(SECRET), modes.CBC(bytes(16))).encryptor()
    return enc.update(data) + enc.finalize()


def auth(data):
    return hmac.new(SECRET, data, hashlib.sha256).digest()[:16]


def cose_key(x=GX, y=GY):
    return (b"\xa5\x01\x02\x03\x38\x18\x20\x01\x21\x58\x20" + x + b"\x22\x58\x20" + y)


def client_pin(sub, members):
    """members: list of (key byte, encoded value) in key order, after protocol and sub."""
    body = b"\x01\x01\x02" + bytes([sub])
    for key, value in members:
        body += key + value
    return b"\x06" + bytes([0xA0 + 2 + len(members)]) + body


def bstr(b):
    return (bytes([0x40 + len(b)]) if len(b) < 24 else b"\x58" + bytes([len(b)])) + b


PIN = b"1234"
new_pin_enc = aes(b"5678".ljust(64, b"\0"))
pin_hash_enc = aes(hashlib.sha256(PIN).digest()[:16])
set_pin_enc = aes(PIN.ljust(64, b"\0"))
KA = (b"\x03", cose_key())

REQUESTS = {
    "get_info": b"\x04",
    "get_retries": client_pin(1, []),
    "get_key_agreement": client_pin(2, []),
    "set_pin": client_pin(3, [KA, (b"\x04", bstr(auth(set_pin_enc))), (b"\x05", bstr(set_pin_enc))]),
    "change_pin": client_pin(4, [KA, (b"\x04", bstr(auth(new_pin_enc + pin_hash_enc))),
                                 (b"\x05", bstr(new_pin_enc)), (b"\x06", bstr(pin_hash_enc))]),
    "get_pin_token": client_pin(5, [KA, (b"\x06", bstr(pin_hash_enc))]),
    "wrong_pin": client_pin(5, [KA, (b"\x06", bstr(aes(bytes(16))))]),
    "reset": b"\x07",
    "get_assertion": b"\x02\xa3\x01\x6bexample.com\x02\x58\x20" + bytes(32) + b"\x03\x81\xa2\x62id\x41\x00\x64type\x6apublic-key",
}


# Protocol 2 under the stand-in: the HMAC key and the AES key from the same Z, and a
# fixed IV in front of each ciphertext.
def hkdf(info):
    prk = hmac.new(bytes(32), GX, hashlib.sha256).digest()
    return hmac.new(prk, info + b"\x01", hashlib.sha256).digest()


HMAC2 = hkdf(b"CTAP2 HMAC key")
AES2 = hkdf(b"CTAP2 AES key")
IV2 = bytes(range(16))


def aes2(data):
    enc = Cipher(algorithms.AES(AES2), modes.CBC(IV2)).encryptor()
    return IV2 + enc.update(data) + enc.finalize()


def auth2(data):
    return hmac.new(HMAC2, data, hashlib.sha256).digest()


def client_pin2(sub, members, protocol=2):
    body = b"\x01" + bytes([protocol]) + b"\x02" + bytes([sub])
    for key, value in members:
        body += key + value
    return b"\x06" + bytes([0xA0 + 2 + len(members)]) + body


def tstr(t):
    return bytes([0x60 + len(t)]) + t


new_pin_enc2 = aes2(b"5678".ljust(64, b"\0"))
pin_hash_enc2 = aes2(hashlib.sha256(PIN).digest()[:16])
set_pin_enc2 = aes2(PIN.ljust(64, b"\0"))
GA_HERE = [(b"\x09", b"\x02"), (b"\x0a", tstr(b"example.com"))]

# The 2.1 profile (config bit 3): protocol 2 set/change/token with permissions, the
# legacy token under protocol 1, and a protocol-1 request to a protocol-2-only key
# (argument bit 2).
REQUESTS21 = {
    "get_info": (0x88, 1, b"\x04"),
    "set_pin": (0x88, 1, client_pin2(3, [KA, (b"\x04", bstr(auth2(set_pin_enc2))),
                                       (b"\x05", bstr(set_pin_enc2))])),
    "change_pin": (0x8C, 1, client_pin2(4, [KA, (b"\x04", bstr(auth2(new_pin_enc2 + pin_hash_enc2))),
                                          (b"\x05", bstr(new_pin_enc2)),
                                          (b"\x06", bstr(pin_hash_enc2))])),
    "token_permissions": (0x8C, 1, client_pin2(9, [KA, (b"\x06", bstr(pin_hash_enc2))] + GA_HERE)),
    "token_forced_change": (0x8C, 3, client_pin2(9, [KA, (b"\x06", bstr(pin_hash_enc2))] + GA_HERE)),
    "token_legacy_protocol_1": (0x8C, 1, client_pin(5, [KA, (b"\x06", bstr(pin_hash_enc))])),
    "protocol_1_on_protocol_2_key": (0x8C, 5, client_pin(2, [])),
    "assertion_protocol_2": (0x8C, 1, b"\x02\xa4\x01\x6bexample.com\x02\x58\x20" + bytes(32) +
                             b"\x06\x58\x20" + bytes(32) + b"\x07\x02"),
}


def make_credential(rk=False, cred_protect=0, exclude=b""):
    """makeCredential for example.com, ES256, with the options and members asked for."""
    members = [(b"\x01", bstr(bytes(32))),
               (b"\x02", b"\xa2\x62id" + tstr(b"example.com") + b"\x64name" + tstr(b"Example")),
               (b"\x03", b"\xa2\x62id" + bstr(b"u1") + b"\x64name" + tstr(b"alice")),
               (b"\x04", b"\x81\xa2\x63alg\x26\x64type\x6apublic-key")]
    if exclude:
        members.append((b"\x05", b"\x81\xa2\x62id" + bstr(exclude) + b"\x64type\x6apublic-key"))
    if cred_protect:
        members.append((b"\x06", b"\xa1\x6bcredProtect" + bytes([cred_protect])))
    if rk:
        members.append((b"\x07", b"\xa1\x62rk\xf5"))
    return b"\x01" + bytes([0xA0 + len(members)]) + b"".join(k + v for k, v in members)


GET_ASSERTION = b"\x02\xa2\x01" + tstr(b"example.com") + b"\x02" + bstr(bytes(32))
REQUESTS21.update({
    "make_credential": (0x88, 1, make_credential()),
    "make_credential_rk_protected": (0x88, 1, make_credential(True, 2, bytes(62))),
    "get_assertion_allow_list": (0x88, 1, GET_ASSERTION[:1] + b"\xa3" + GET_ASSERTION[2:] +
                                 b"\x03\x81\xa2\x62id" + bstr(bytes(62)) +
                                 b"\x64type\x6apublic-key"),
})


def write(target, name, data):
    folder = os.path.join(HERE, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def framed(*answers, flags=0):
    out = b""
    for a in answers:
        out += bytes([flags]) + struct.pack(">H", len(a)) + a
    return out


def vkey_packets(cid, cmd, payload):
    """The target's message operation 1: [1][channel][cmd][length] payload."""
    return b"\x01" + bytes([cid, cmd]) + struct.pack(">H", len(payload)) + payload


# fuzz_vkey, one request after an INIT (config bit 7; bit 2 sets the PIN 1234 first).
for name, request in REQUESTS.items():
    config = 0x84 if name in ("change_pin", "get_pin_token", "wrong_pin") else 0x80
    write("fuzz_vkey", "request_" + name, bytes([config, 1]) + request)
for name, (config, argument, request) in REQUESTS21.items():
    write("fuzz_vkey", "ctap21_" + name, bytes([config, argument]) + request)
# Operations: INIT on broadcast, then the request on the assigned channel 2 and on the
# maker's channel 1, a ping, a lock, a cancel, a second link.
init = vkey_packets(0, 0x06, bytes(range(1, 9)))
write("fuzz_vkey", "ops_channels",
      bytes([0x04, 1]) + init + vkey_packets(2, 0x10, REQUESTS["get_pin_token"]) +
      vkey_packets(1, 0x01, b"ping" * 30) + vkey_packets(2, 0x04, b"\x05") +
      b"\x04" + init + vkey_packets(3, 0x10, REQUESTS["get_retries"]) + b"\x05" +
      vkey_packets(2, 0x11, b""))
# Two passkeys of a site, then getAssertion and getNextAssertion walking them, and one
# more getNextAssertion than there is.
write("fuzz_vkey", "ops_credentials",
      bytes([0x08, 1]) + init + vkey_packets(2, 0x10, make_credential(True)) +
      vkey_packets(2, 0x10, make_credential(True).replace(b"u1", b"u2")) +
      vkey_packets(2, 0x10, GET_ASSERTION) + vkey_packets(2, 0x10, b"\x08") +
      vkey_packets(2, 0x10, b"\x08"))
write("fuzz_vkey", "ops_reset_touch",
      bytes([0x01, 1]) + init + vkey_packets(2, 0x10, b"\x07") + vkey_packets(2, 0x11, b"") +
      vkey_packets(2, 0x10, b"\x07") + b"\x03" + b"\x87")

# fuzz_client_pin: [operation][PIN choice] then framed answers (operation bit 3).
ka_answer = b"\x00\xa1\x01" + cose_key()
token_answer = b"\x00\xa1\x02\x50" + bytes(range(16))
write("fuzz_client_pin", "retries", b"\x08\x00" + framed(b"\x00\xa1\x03\x05"))
write("fuzz_client_pin", "retries_status", b"\x09\x00" + framed(b"\x00\xa1\x03\x00"))
write("fuzz_client_pin", "set_pin", b"\x0a\x00" + framed(ka_answer, b"\x00"))
write("fuzz_client_pin", "change_pin_wrong", b"\x0b\x00" + framed(ka_answer, b"\x31"))
write("fuzz_client_pin", "token", b"\x0c\x00" + framed(ka_answer, token_answer, flags=1))
write("fuzz_client_pin", "token_missing", b"\x0d\x00" + framed(ka_answer, b"\x00\xa0"))
write("fuzz_client_pin", "cose_key_alone", b"\x06\x00" + b"\xa1\x01" + cose_key())
write("fuzz_client_pin", "cose_key_no_y", b"\x07\x00" + b"\xa1\x01\xa4" + cose_key()[1:46])
