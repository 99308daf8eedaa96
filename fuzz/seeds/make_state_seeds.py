#!/usr/bin/python3
"""Writes the seed inputs of fuzz_state: state files as pinvale-vkey writes them (mode
byte 0x80 | profile) and their bodies alone (mode byte = profile; the target seals them).
Needs Debian's python3-fido2 (for its canonical CBOR); run from anywhere."""

import hashlib
import os
import struct

from fido2 import cbor

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fuzz_state")
PROFILES = {"2.0": 0, "2.1-pre": 1, "2.1": 2}


def scalar(last):
    return b"\x11" + bytes(30) + bytes([last])


def passkey(n):
    return {1: bytes([n]) * 16, 2: "example.com", 3: "Ex\u00e4mple", 4: bytes([n, 2, 3]),
            5: "alice", 6: "", 7: scalar(n), 8: 2}


def body(profile, pin=False, passkeys=0, fingerprints=()):
    members = {1: profile, 3: 8, 4: False, 5: 5, 6: 0, 7: scalar(0x77),
               8: [passkey(n + 1) for n in range(passkeys)],
               9: [{1: bytes([n + 1]), 2: name} for n, name in enumerate(fingerprints)]}
    if pin:
        members[2] = bytes(range(16))
        members[3] = 5
    return cbor.encode(members)


def sealed(data):
    head = b"PINVALE-VKEY-STATE" + struct.pack(">HI", 1, len(data)) + data
    return head + hashlib.sha256(head).digest()


SEEDS = {
    "fresh_2_0": ("2.0", body("2.0")),
    "pin_2_0": ("2.0", body("2.0", pin=True)),
    "passkeys_2_1": ("2.1", body("2.1", pin=True, passkeys=2, fingerprints=["Daumen", ""])),
    "fingerprint_2_1_pre": ("2.1-pre", body("2.1-pre", fingerprints=["thumb"])),
}

os.makedirs(HERE, exist_ok=True)
for name, (profile, data) in SEEDS.items():
    mode = PROFILES[profile]
    with open(os.path.join(HERE, name + "_file"), "wb") as f:
        f.write(bytes([0x80 | mode]) + sealed(data))
    with open(os.path.join(HERE, name + "_body"), "wb") as f:
        f.write(bytes([mode]) + data)
