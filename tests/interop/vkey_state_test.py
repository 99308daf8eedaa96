"""pinvale-vkey --state FILE, driven by python-fido2 over the socket: the PIN and its
retries survive a restart and a re-plug, a reset wipes them, the file is owner-only,
a damaged or foreign file is refused (exit 2) and left as it was, and a kill -9 in the
middle of writes never leaves a file the key refuses.

Usage: /usr/bin/python3 vkey_state_test.py --vkey PATH [unittest arguments]
"""

import hashlib
import os
import random
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
if "--vkey" in sys.argv:
    at = sys.argv.index("--vkey")
    os.environ["PINVALE_VKEY"] = sys.argv[at + 1]
    del sys.argv[at:at + 2]

import vkey_harness  # noqa: E402
from fido2.ctap import CtapError  # noqa: E402
from fido2.ctap2 import Ctap2  # noqa: E402
from fido2.ctap2.pin import ClientPin  # noqa: E402
from fido2.hid import CtapHidDevice  # noqa: E402
from fido2.hid.base import HidDescriptor  # noqa: E402
from python_fido2_test import SocketConnection  # noqa: E402

MAGIC = b"PINVALE-VKEY-STATE"
FAST = ("--touch-delay", "0", "--reset-window", "60")


class StateTestCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="pvk-state-")
        self.state = os.path.join(self.dir, "key.state")
        self.devices = []

    def tearDown(self):
        for device in self.devices:
            device.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    def start(self, *args):
        return vkey_harness.VkeyProcess("--state", self.state, *FAST, *args)

    def ctap(self, vkey):
        descriptor = HidDescriptor(vkey.path, 0x3F8C, 0x2D71, 64, 64)
        device = CtapHidDevice(descriptor, SocketConnection(vkey.path))
        self.devices.append(device)
        return Ctap2(device)

    def stop(self, vkey):
        for device in self.devices:
            device.close()
        self.devices = []
        self.assertTrue(vkey.close(), "socket left behind")

    def state_bytes(self):
        with open(self.state, "rb") as f:
            return f.read()


class PersistenceTest(StateTestCase):
    def test_pin_and_retries_survive_restart_and_replug(self):
        old_umask = os.umask(0)  # the file is owner-only whatever the umask
        try:
            vkey = self.start()
        finally:
            os.umask(old_umask)
        self.assertTrue(self.state_bytes().startswith(MAGIC))  # written at once
        pin = ClientPin(self.ctap(vkey))
        pin.set_pin("1234")
        with self.assertRaises(CtapError):
            pin.get_pin_token("9999")
        self.assertEqual(stat.S_IMODE(os.stat(self.state).st_mode), 0o600)
        self.stop(vkey)

        vkey = self.start("--pin", "5555")  # the state's PIN counts, not this one
        ctap = self.ctap(vkey)
        self.assertIs(ctap.get_info().options["clientPin"], True)
        self.assertEqual(ClientPin(ctap).get_pin_retries()[0], 7)
        for device in self.devices:
            device.close()
        self.devices = []
        vkey.unplug()
        vkey.plug()
        pin = ClientPin(self.ctap(vkey))
        self.assertEqual(pin.get_pin_retries()[0], 7)
        pin.get_pin_token("1234")
        self.assertEqual(pin.get_pin_retries()[0], 8)
        self.stop(vkey)
        self.assertEqual(os.listdir(self.dir), ["key.state"])  # no temporary file left

    def test_reset_wipes_the_file(self):
        vkey = self.start("--pin", "1234")
        before = self.state_bytes()
        self.ctap(vkey).reset()
        self.assertNotEqual(self.state_bytes(), before)
        self.stop(vkey)
        vkey = self.start()
        ctap = self.ctap(vkey)
        self.assertIs(ctap.get_info().options["clientPin"], False)
        self.stop(vkey)


def resealed(data):
    """The file with its checksum made right again after a change."""
    return data[:-32] + hashlib.sha256(data[:-32]).digest()


class RefusedFileTest(StateTestCase):
    CASES = [
        ("foreign", lambda good: b"not a state at all\n", "not a virtual key state file"),
        ("empty", lambda good: b"", "not a virtual key state file"),
        ("truncated", lambda good: good[: len(good) // 2], "damaged (truncated)"),
        ("flipped", lambda good: good[:40] + bytes([good[40] ^ 4]) + good[41:],
         "damaged (checksum)"),
        ("newer", lambda good: resealed(good[:18] + b"\x00\x07" + good[20:]),
         "made by a newer version of pinvale-vkey (format 7)"),
        ("other kind", None, "made by a key of another kind (a 2.1 key's, this key is 2.0"),
    ]

    def test_refused_with_exit_2_and_left_as_it_is(self):
        vkey = self.start("--pin", "1234")
        good = self.state_bytes()
        self.stop(vkey)
        for name, damage, message in self.CASES:
            with self.subTest(name):
                if damage is None:
                    os.remove(self.state)
                    vkey = self.start("--profile", "2.1")
                    self.stop(vkey)
                else:
                    with open(self.state, "wb") as f:
                        f.write(damage(good))
                before = self.state_bytes()
                mtime = os.stat(self.state).st_mtime_ns
                run = subprocess.run(
                    [vkey_harness.VKEY_BINARY, "--dir", self.dir, "--state", self.state, *FAST],
                    stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=10)
                self.assertEqual(run.returncode, 2, run.stderr)
                self.assertIn("pinvale-vkey: %s: %s" % (self.state, message), run.stderr)
                self.assertEqual(self.state_bytes(), before)
                self.assertEqual(os.stat(self.state).st_mtime_ns, mtime)
                self.assertEqual(sorted(os.listdir(self.dir)), ["key.state"])


class KillDuringWritesTest(StateTestCase):
    def test_kill_9_never_leaves_a_refused_file(self):
        rounds = 6
        changes = [0]
        for round_ in range(rounds):
            vkey = self.start("--pin", "1234")
            pin = ClientPin(self.ctap(vkey))
            stop = threading.Event()

            def churn():
                # Wrong, right, wrong, right...: every request changes the retries.
                try:
                    while not stop.is_set():
                        try:
                            pin.get_pin_token("0000")
                        except CtapError:
                            pass
                        pin.get_pin_token("1234")
                        changes[0] += 2
                except Exception:  # the key died under us: expected
                    pass

            worker = threading.Thread(target=churn, daemon=True)
            worker.start()
            time.sleep(random.uniform(0.05, 0.3))
            vkey.proc.send_signal(signal.SIGKILL)
            vkey.proc.wait()
            stop.set()
            worker.join(timeout=5)
            for device in self.devices:
                device.close()
            self.devices = []
            vkey.close()

            again = self.start()  # refused: VkeyProcess raises, no "ready"
            status = again.status()
            self.assertEqual(status["pin"], "set", "round %d" % round_)
            self.assertIn(status["retries"], ("7", "8"))
            self.stop(again)
        self.assertGreater(changes[0], 10 * rounds)  # the kills came amid writes


if __name__ == "__main__":
    unittest.main()
