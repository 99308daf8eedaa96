"""libfido2 against pinvale-vkey, through the libfido2_probe client: getInfo,
retries, PIN set/change/verify (a PIN token, then getAssertion with its pinAuth),
the wrong-PIN rules and reset.

Usage: /usr/bin/python3 libfido2_test.py --vkey PATH --probe PATH [unittest arguments]
"""

import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
PROBE = None
for option in ("--vkey", "--probe"):
    if option in sys.argv:
        at = sys.argv.index(option)
        if option == "--vkey":
            os.environ["PINVALE_VKEY"] = sys.argv[at + 1]
        else:
            PROBE = sys.argv[at + 1]
        del sys.argv[at:at + 2]

import vkey_harness  # noqa: E402

NO_CREDENTIALS = 0x2E
PIN_ACCEPTED = NO_CREDENTIALS  # getAssertion's own answer once its pinAuth passed
OPERATION_DENIED = 0x27
PIN_INVALID = 0x31
PIN_BLOCKED = 0x32
PIN_AUTH_INVALID = 0x33
PIN_AUTH_BLOCKED = 0x34
NOT_ALLOWED = 0x30
USER_ACTION_TIMEOUT = 0x2F
SECOND_PIN = "\u00e9p\u00e9e-5678"


class ProbeTestCase(unittest.TestCase):
    ARGS = ()

    def setUp(self):
        self.vkey = vkey_harness.VkeyProcess(*self.ARGS)

    def tearDown(self):
        self.assertTrue(self.vkey.close(), "socket left behind")

    def probe(self, *args):
        done = subprocess.run(
            [PROBE, self.vkey.path, *args], capture_output=True, text=True, timeout=20
        )
        self.assertEqual(done.returncode, 0, done.stderr)
        values = {}
        for line in done.stdout.splitlines():
            key, _, value = line.partition("=")
            values.setdefault(key, []).append(value)
        values["result"] = int(values["result"][0])
        return values

    def result(self, *args):
        return self.probe(*args)["result"]

    def retries(self):
        values = self.probe("retries")
        self.assertEqual(values["result"], 0)
        return int(values["retries"][0])


class InfoTest(ProbeTestCase):
    def test_info_and_retries(self):
        info = self.probe("info")
        self.assertEqual(info["result"], 0)
        self.assertEqual(info["version"], ["FIDO_2_0"])
        self.assertEqual(info["aaguid-length"], ["16"])
        self.assertEqual(
            sorted(info["option up"] + info["option plat"] + info["option clientPin"]),
            ["false", "false", "true"],
        )
        self.assertEqual(info["option rk"], ["true"])
        self.assertEqual(info["option clientPin"], ["false"])
        self.assertEqual(info["maxmsgsiz"], ["1200"])
        self.assertEqual(info["protocol"], ["1"])
        self.assertEqual(self.retries(), 8)


class PinTest(ProbeTestCase):
    def test_set_change_and_verify(self):
        self.assertEqual(self.result("set-pin", "1234"), 0)
        self.assertEqual(self.probe("info")["option clientPin"], ["true"])
        self.assertEqual(self.result("set-pin", "9999"), PIN_AUTH_INVALID)  # already set
        self.assertEqual(self.result("verify-pin", "1234"), PIN_ACCEPTED)
        self.assertEqual(self.result("change-pin", "1234", SECOND_PIN), 0)
        self.assertEqual(self.result("verify-pin", "1234"), PIN_INVALID)
        self.assertEqual(self.result("verify-pin", SECOND_PIN), PIN_ACCEPTED)
        self.assertEqual(self.retries(), 8)


class WrongPinTest(ProbeTestCase):
    ARGS = ("--pin", "1234")

    def test_retries_go_down(self):
        self.assertEqual(self.result("verify-pin", "0000"), PIN_INVALID)
        self.assertEqual(self.retries(), 7)
        self.assertEqual(self.result("change-pin", "0000", "5678"), PIN_INVALID)
        self.assertEqual(self.retries(), 6)

    def test_three_in_a_row_block_until_replug(self):
        for expected in (PIN_INVALID, PIN_INVALID, PIN_AUTH_BLOCKED, PIN_AUTH_BLOCKED):
            self.assertEqual(self.result("verify-pin", "0000"), expected)
        self.assertEqual(self.result("verify-pin", "1234"), PIN_AUTH_BLOCKED)
        self.assertEqual(self.retries(), 5)
        self.vkey.plug()
        self.assertEqual(self.result("verify-pin", "1234"), PIN_ACCEPTED)
        self.assertEqual(self.retries(), 8)

    def test_blocked_at_zero_retries(self):
        for run in range(3):
            for attempt in range(3 if run < 2 else 2):
                last = run == 2 and attempt == 1
                expected = (
                    PIN_BLOCKED if last
                    else PIN_AUTH_BLOCKED if attempt == 2 else PIN_INVALID
                )
                self.assertEqual(self.result("verify-pin", "0000"), expected)
            if run < 2:
                self.vkey.plug()
        self.assertEqual(self.retries(), 0)
        self.assertEqual(self.result("verify-pin", "1234"), PIN_BLOCKED)


class AssertionTest(ProbeTestCase):
    ARGS = ("--pin", "1234", "--touch-delay", "150")

    def test_pin_verified_through_get_assertion(self):
        started = time.monotonic()
        self.assertEqual(self.result("verify-pin", "1234"), NO_CREDENTIALS)
        self.assertGreaterEqual(time.monotonic() - started, 0.15)  # after the touch
        self.assertEqual(self.retries(), 8)
        self.assertEqual(self.result("verify-pin", "4321"), PIN_INVALID)
        self.assertEqual(self.retries(), 7)

    def test_without_pin(self):
        self.assertEqual(self.result("assert"), NO_CREDENTIALS)
        self.assertEqual(self.result("assert-no-up"), NO_CREDENTIALS)
        self.assertEqual(self.retries(), 8)


class AssertionNoTouchTest(ProbeTestCase):
    ARGS = ("--pin", "1234", "--touch", "never", "--touch-timeout", "300")

    def test_denied_without_touch_unless_up_is_false(self):
        self.assertEqual(self.result("verify-pin", "1234"), OPERATION_DENIED)
        self.assertEqual(self.result("assert-no-up"), NO_CREDENTIALS)


class ResetTest(ProbeTestCase):
    ARGS = ("--pin", "1234", "--touch-delay", "100", "--reset-window", "5")

    def test_reset_inside_window(self):
        self.assertEqual(self.result("reset"), 0)
        self.assertEqual(self.probe("info")["option clientPin"], ["false"])
        self.assertEqual(self.retries(), 8)


class ResetOutsideWindowTest(ProbeTestCase):
    ARGS = ("--pin", "1234", "--touch-delay", "0", "--reset-window", "0.5")

    def test_refused_after_window_until_power_cycle(self):
        time.sleep(0.6)
        self.assertEqual(self.result("reset"), NOT_ALLOWED)
        self.vkey.plug()
        self.assertEqual(self.result("reset"), 0)
        self.assertEqual(self.probe("info")["option clientPin"], ["false"])


class ResetNoTouchTest(ProbeTestCase):
    ARGS = ("--pin", "1234", "--touch", "never", "--touch-timeout", "300")

    def test_times_out(self):
        self.assertEqual(self.result("reset"), USER_ACTION_TIMEOUT)
        self.assertEqual(self.probe("info")["option clientPin"], ["true"])


PIN_POLICY_VIOLATION = 0x37


class Ctap21Test(ProbeTestCase):
    """libfido2 takes protocol 2 and tokens with permissions on a 2.1 key: its
    verify-pin asks for a getAssertion token for the site and signs with it."""

    ARGS = ("--profile", "2.1", "--touch-delay", "0")

    def test_info_set_change_and_verify(self):
        info = self.probe("info")
        self.assertEqual(info["version"], ["FIDO_2_0", "FIDO_2_1_PRE", "FIDO_2_1"])
        self.assertEqual(info["option pinUvAuthToken"], ["true"])
        self.assertEqual(info["protocol"], ["2", "1"])
        self.assertEqual((info["minpinlen"], info["new-pin-required"]), (["4"], ["false"]))
        self.assertEqual(self.result("set-pin", "1234"), 0)
        self.assertEqual(self.result("verify-pin", "1234"), PIN_ACCEPTED)
        self.assertEqual(self.result("change-pin", "1234", SECOND_PIN), 0)
        self.assertEqual(self.result("verify-pin", "1234"), PIN_INVALID)
        self.assertEqual(self.retries(), 7)
        self.assertEqual(self.result("verify-pin", SECOND_PIN), PIN_ACCEPTED)
        self.assertEqual(self.retries(), 8)


class Ctap21ProtocolTwoOnlyTest(ProbeTestCase):
    ARGS = ("--profile", "2.1", "--pin-protocols", "2", "--touch-delay", "0")

    def test_set_change_verify_and_retries(self):
        self.assertEqual(self.probe("info")["protocol"], ["2"])
        self.assertEqual(self.result("set-pin", "1234"), 0)
        self.assertEqual(self.retries(), 8)  # libfido2 asks under protocol 1
        self.assertEqual(self.result("change-pin", "1234", SECOND_PIN), 0)
        self.assertEqual(self.result("verify-pin", SECOND_PIN), PIN_ACCEPTED)


class Ctap21PinRulesTest(ProbeTestCase):
    ARGS = ("--profile", "2.1", "--pin", "1234", "--force-pin-change", "--min-pin-length", "6",
            "--touch-delay", "0")

    def test_forced_change_to_a_long_enough_pin(self):
        info = self.probe("info")
        self.assertEqual((info["minpinlen"], info["new-pin-required"]), (["6"], ["true"]))
        self.assertEqual(self.result("verify-pin", "1234"), PIN_POLICY_VIOLATION)
        self.assertEqual(self.result("change-pin", "1234", "12345"), PIN_POLICY_VIOLATION)
        self.assertEqual(self.result("change-pin", "1234", "123456"), 0)
        self.assertEqual(self.probe("info")["new-pin-required"], ["false"])
        self.assertEqual(self.result("verify-pin", "123456"), PIN_ACCEPTED)


if __name__ == "__main__":
    if PROBE is None:
        sys.exit("libfido2_test.py: --probe PATH is required")
    unittest.main()
