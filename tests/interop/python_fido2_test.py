"""python-fido2 against pinvale-vkey: getInfo, retries, PIN set/change/token, the
wrong-PIN rules and reset, through python-fido2's own CTAPHID and PIN code.

Usage: /usr/bin/python3 python_fido2_test.py --vkey PATH [unittest arguments]
"""

import os
import sys
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
from fido2.hid import CtapHidDevice, STATUS  # noqa: E402
from fido2.hid.base import CtapHidConnection, HidDescriptor  # noqa: E402

ERR = CtapError.ERR
SECOND_PIN = "\u00e9p\u00e9e-5678"  # non-ASCII: hashed and padded as UTF-8


class SocketConnection(CtapHidConnection):
    """python-fido2's HID connection, over the virtual key's socket."""

    def __init__(self, path):
        self.sock = vkey_harness.connect(path)

    def write_packet(self, data):
        assert len(data) == vkey_harness.PACKET_SIZE
        self.sock.sendall(data)

    def read_packet(self):
        return vkey_harness.read_packet(self.sock)

    def close(self):
        self.sock.close()


class VkeyTestCase(unittest.TestCase):
    ARGS = ()

    def setUp(self):
        self.vkey = vkey_harness.VkeyProcess(*self.ARGS)
        self.devices = []

    def tearDown(self):
        for device in self.devices:
            device.close()
        self.assertTrue(self.vkey.close(), "socket left behind")

    def ctap(self):
        descriptor = HidDescriptor(self.vkey.path, 0x3F8C, 0x2D71, 64, 64)
        device = CtapHidDevice(descriptor, SocketConnection(self.vkey.path))
        self.devices.append(device)
        return Ctap2(device)  # strict: every answer must be canonical CBOR

    def replug(self):
        for device in self.devices:
            device.close()
        self.devices = []
        self.vkey.plug()
        return self.ctap()

    def assertCtapError(self, code, call, *args):
        with self.assertRaises(CtapError) as raised:
            call(*args)
        self.assertEqual(raised.exception.code, code)


class InfoTest(VkeyTestCase):
    def test_info_and_retries(self):
        ctap = self.ctap()
        info = ctap.info
        self.assertEqual(info.versions, ["FIDO_2_0"])
        self.assertEqual(len(info.aaguid), 16)
        self.assertEqual(
            info.options, {"rk": True, "up": True, "plat": False, "clientPin": False}
        )
        self.assertEqual(info.max_msg_size, 1200)
        self.assertEqual(info.pin_uv_protocols, [1])
        device = ctap.device
        self.assertEqual(device.version, 2)
        self.assertNotEqual(device._channel_id, 1)
        self.assertEqual(device.ping(b"x" * 300), b"x" * 300)
        self.assertEqual(ClientPin(ctap).get_pin_retries()[0], 8)

    def test_each_client_has_its_own_channel(self):
        first = self.ctap()
        second = self.ctap()
        self.assertNotEqual(first.device._channel_id, second.device._channel_id)
        self.assertEqual(first.get_info().versions, second.get_info().versions)


class UvInfoTest(VkeyTestCase):
    ARGS = ("--uv", "--pin", "1234")

    def test_uv_and_client_pin(self):
        options = self.ctap().info.options
        self.assertIs(options["uv"], True)
        self.assertIs(options["clientPin"], True)


class PinTest(VkeyTestCase):
    def test_set_change_and_token(self):
        ctap = self.ctap()
        pin = ClientPin(ctap)
        pin.set_pin("1234")
        self.assertIs(ctap.get_info().options["clientPin"], True)
        self.assertCtapError(ERR.PIN_AUTH_INVALID, pin.set_pin, "9999")  # already set

        token = pin.get_pin_token("1234")
        self.assertEqual(len(token), 16)
        self.assertEqual(pin.get_pin_token("1234"), token)  # one token per power cycle

        pin.change_pin("1234", SECOND_PIN)
        self.assertCtapError(ERR.PIN_INVALID, pin.get_pin_token, "1234")
        self.assertEqual(pin.get_pin_token(SECOND_PIN), token)
        self.assertEqual(pin.get_pin_retries()[0], 8)

        pin = ClientPin(self.replug())
        self.assertNotEqual(pin.get_pin_token(SECOND_PIN), token)
        status = self.vkey.status()
        self.assertEqual((status["pin"], status["retries"]), ("set", "8"))


class WrongPinTest(VkeyTestCase):
    ARGS = ("--pin", "1234")

    def test_retries_go_down(self):
        pin = ClientPin(self.ctap())
        self.assertCtapError(ERR.PIN_INVALID, pin.get_pin_token, "0000")
        self.assertEqual(pin.get_pin_retries()[0], 7)
        self.assertCtapError(ERR.PIN_INVALID, pin.change_pin, "0000", "5678")
        self.assertEqual(pin.get_pin_retries()[0], 6)
        pin.get_pin_token("1234")
        self.assertEqual(pin.get_pin_retries()[0], 8)

    def test_three_in_a_row_block_until_replug(self):
        pin = ClientPin(self.ctap())
        self.assertCtapError(ERR.PIN_INVALID, pin.get_pin_token, "0000")
        self.assertCtapError(ERR.PIN_INVALID, pin.get_pin_token, "0000")
        self.assertCtapError(ERR.PIN_AUTH_BLOCKED, pin.get_pin_token, "0000")
        self.assertCtapError(ERR.PIN_AUTH_BLOCKED, pin.get_pin_token, "1234")
        self.assertEqual(pin.get_pin_retries()[0], 5)
        self.assertEqual(self.vkey.status()["wrong-in-a-row"], "3")
        pin = ClientPin(self.replug())
        self.assertEqual(len(pin.get_pin_token("1234")), 16)
        self.assertEqual(pin.get_pin_retries()[0], 8)

    def test_blocked_at_zero_retries(self):
        pin = ClientPin(self.ctap())
        for run in range(3):
            for attempt in range(3 if run < 2 else 2):
                last = run == 2 and attempt == 1
                expected = (
                    ERR.PIN_BLOCKED if last
                    else ERR.PIN_AUTH_BLOCKED if attempt == 2 else ERR.PIN_INVALID
                )
                self.assertCtapError(expected, pin.get_pin_token, "0000")
            if run < 2:
                pin = ClientPin(self.replug())
        self.assertEqual(pin.get_pin_retries()[0], 0)
        self.assertCtapError(ERR.PIN_BLOCKED, pin.get_pin_token, "1234")
        pin = ClientPin(self.replug())
        self.assertCtapError(ERR.PIN_BLOCKED, pin.get_pin_token, "1234")


class AssertionTest(VkeyTestCase):
    """getAssertion on a key without credentials, its pinAuth made by python-fido2."""

    ARGS = ("--pin", "1234", "--touch-delay", "50")
    HASH = bytes(range(32))

    def assert_fails(self, code, ctap, **kwargs):
        self.assertCtapError(
            code, lambda: ctap.get_assertion("pinvale.example", self.HASH, **kwargs)
        )

    def test_pin_auth_checked_before_no_credentials(self):
        ctap = self.ctap()
        pin = ClientPin(ctap)
        token = pin.get_pin_token("1234")
        right = pin.protocol.authenticate(token, self.HASH)
        self.assert_fails(ERR.NO_CREDENTIALS, ctap, pin_uv_param=right, pin_uv_protocol=1)
        self.assert_fails(ERR.PIN_AUTH_INVALID, ctap, pin_uv_param=bytes(16), pin_uv_protocol=1)
        self.assert_fails(ERR.PIN_AUTH_INVALID, ctap, pin_uv_param=right, pin_uv_protocol=2)
        self.assert_fails(ERR.NO_CREDENTIALS, ctap)
        self.assert_fails(ERR.NO_CREDENTIALS, ctap, options={"up": False})
        self.assert_fails(ERR.UNSUPPORTED_OPTION, ctap, options={"uv": True})
        self.assertEqual(pin.get_pin_retries()[0], 8)  # a wrong pinAuth costs no retry
        # A token of an earlier power cycle no longer passes.
        ctap = self.replug()
        self.assert_fails(ERR.PIN_AUTH_INVALID, ctap, pin_uv_param=right, pin_uv_protocol=1)

    def test_empty_pin_auth_answers_after_touch(self):
        ctap = self.ctap()
        seen = []
        self.assert_fails(
            ERR.PIN_INVALID, ctap, pin_uv_param=b"", pin_uv_protocol=1, on_keepalive=seen.append
        )
        self.assertIn(STATUS.UPNEEDED, seen)


class ResetInWindowTest(VkeyTestCase):
    ARGS = ("--pin", "1234", "--touch", "auto", "--touch-delay", "150", "--reset-window", "5")

    def test_reset_with_touch(self):
        ctap = self.ctap()
        statuses = []
        ctap.reset(on_keepalive=statuses.append)
        self.assertEqual(statuses, [STATUS.UPNEEDED])  # reported once per change
        self.assertIs(ctap.get_info().options["clientPin"], False)
        self.assertEqual(ClientPin(ctap).get_pin_retries()[0], 8)


class ResetOutsideWindowTest(VkeyTestCase):
    ARGS = ("--pin", "1234", "--touch-delay", "0", "--reset-window", "0.5")

    def test_refused_after_window_until_power_cycle(self):
        ctap = self.ctap()
        time.sleep(0.6)
        self.assertCtapError(ERR.NOT_ALLOWED, ctap.reset)
        self.assertIs(ctap.get_info().options["clientPin"], True)
        ctap = self.replug()
        ctap.reset()
        self.assertIs(ctap.get_info().options["clientPin"], False)


class ResetNoTouchTest(VkeyTestCase):
    ARGS = ("--pin", "1234", "--touch", "never", "--touch-timeout", "300")

    def test_times_out(self):
        ctap = self.ctap()
        started = time.monotonic()
        self.assertCtapError(ERR.USER_ACTION_TIMEOUT, ctap.reset)
        self.assertGreaterEqual(time.monotonic() - started, 0.3)
        self.assertIs(ctap.get_info().options["clientPin"], True)


class ResetManualTouchTest(VkeyTestCase):
    ARGS = ("--pin", "1234", "--touch", "manual", "--touch-timeout", "5000")

    def test_touch_from_stdin(self):
        ctap = self.ctap()
        waiting = threading.Event()
        self.vkey.command("touch")  # nothing waits yet: ignored
        self.vkey.expect("touched")

        def on_keepalive(status):
            if status == STATUS.UPNEEDED:
                waiting.set()

        toucher = threading.Thread(target=lambda: waiting.wait(5) and self.vkey.touch())
        toucher.start()
        ctap.reset(on_keepalive=on_keepalive)
        toucher.join()
        self.assertIs(ctap.get_info().options["clientPin"], False)

    def test_cancel(self):
        ctap = self.ctap()
        cancel = threading.Event()
        self.assertCtapError(
            ERR.KEEPALIVE_CANCEL, ctap.reset, cancel, lambda status: cancel.set()
        )
        self.assertIs(ctap.get_info().options["clientPin"], True)


if __name__ == "__main__":
    unittest.main()
