"""pinvale-cli's fingerprints and passkeys commands against pinvale-vkey over its
socket, cross-checked with python-fido2 on the same key: what one side enrols,
names, makes, edits or deletes is what the other sees. On the 2.1 and 2.1-pre
profiles (2.0 is refused), with the sensor's commands for a bad sample, a finger
that never comes, Ctrl-C and a pull-out part-way through an enrolment.

Usage: /usr/bin/python3 cli_management_socket_test.py --vkey PATH --cli PATH [unittest args]
"""

import os
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
if "--cli" in sys.argv:
    at = sys.argv.index("--cli")
    CLI = sys.argv[at + 1]
    del sys.argv[at:at + 2]
import python_fido2_test as base  # noqa: E402  (takes --vkey off the command line)
from fido2.ctap2.bio import FPBioEnrollment  # noqa: E402
from fido2.ctap2.credman import CredentialManagement  # noqa: E402
from fido2.ctap2.pin import ClientPin  # noqa: E402
from fido2.utils import sha256  # noqa: E402

PIN = "1234"
RESULT = CredentialManagement.RESULT
PERMISSION = ClientPin.PERMISSION
NO_SENSOR_20 = ("This key speaks only CTAP 2.0, which has no fingerprint enrollment; "
                "pinvale-cli cannot manage fingerprints on it.\n")
NO_CREDMAN_20 = ("This key speaks only CTAP 2.0, which has no passkey management; "
                 "pinvale-cli cannot list or change its passkeys.\n")
ENROLLED_4 = ["Sample %d of 4: good.%s" % (n, left) for n, left in (
    (1, " 3 samples left; touch the sensor again."),
    (2, " 2 samples left; touch the sensor again."),
    (3, " 1 sample left; touch the sensor again."), (4, ""))]


class CliTestCase(base.VkeyTestCase):
    PROFILE = "2.1"
    TOUCH = ("--touch-delay", "10")

    def setUp(self):
        self.ARGS = ("--profile", self.PROFILE, "--pin", PIN) + self.TOUCH + self.EXTRA
        super().setUp()

    EXTRA = ()

    def cli(self, *args, pin=PIN):
        """(exit code, standard output, standard error) of one pinvale-cli run."""
        result = subprocess.run(
            [CLI, "--virtual-keys", self.vkey.dir, "--pin-stdin", *args],
            input=(pin + "\n").encode(), capture_output=True, timeout=30)
        return result.returncode, result.stdout.decode(), result.stderr.decode()

    def start_cli(self, *args):
        proc = subprocess.Popen([CLI, "--virtual-keys", self.vkey.dir, "--pin-stdin", *args],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)
        proc.stdin.write(PIN + "\n")
        proc.stdin.close()
        proc.stdin = None  # communicate() later has nothing more to write
        return proc

    def token(self, pin, permission, rp_id=None):
        if self.PROFILE == "2.1":
            return pin.get_pin_token(PIN, permission, rp_id)
        return pin.get_pin_token(PIN)  # 2.1-pre: the one token does everything

    def bio(self):
        ctap = self.ctap()
        pin = ClientPin(ctap)
        return FPBioEnrollment(ctap, pin.protocol, self.token(pin, PERMISSION.BIO_ENROLL))

    def credman(self):
        ctap = self.ctap()
        pin = ClientPin(ctap)
        token = self.token(pin, PERMISSION.CREDENTIAL_MGMT)
        return CredentialManagement(ctap, pin.protocol, token)

    def make_passkey(self, ctap, rp_id, user_name, display_name=None):
        pin = ClientPin(ctap)
        token = self.token(pin, PERMISSION.MAKE_CREDENTIAL, rp_id)
        client_data_hash = sha256(rp_id.encode() + user_name.encode())
        user = {"id": user_name.encode() + b"-id", "name": user_name}
        if display_name:
            user["displayName"] = display_name
        ctap.make_credential(client_data_hash, {"id": rp_id}, user,
                             [{"type": "public-key", "alg": -7}], options={"rk": True},
                             pin_uv_param=pin.protocol.authenticate(token, client_data_hash),
                             pin_uv_protocol=pin.protocol.VERSION)

    def users(self, rp_id):
        """{credential id in hex: (user name, display name)} as python-fido2 lists them."""
        listed = self.credman().enumerate_creds(sha256(rp_id.encode()))
        return {c[RESULT.CREDENTIAL_ID]["id"].hex(): (c[RESULT.USER].get("name"),
                                                      c[RESULT.USER].get("displayName"))
                for c in listed}

    def sensor(self, command, answer):
        self.vkey.command(command)
        self.vkey.expect(answer)


class FingerprintFlow:
    def test_enrol_list_rename_delete(self):
        self.assertEqual(self.cli("fingerprints", "list"), (0, "No fingerprints enrolled.\n", ""))
        self.sensor("sample too-high", "bad sample too-high")
        code, out, err = self.cli("fingerprints", "add", "--name", "left thumb")
        lines = out.splitlines()
        self.assertEqual((code, err), (0, ""), out)
        self.assertEqual(lines[:2], [
            "Touch the sensor with the finger to enroll.",
            "Sample 1 of 4: place your finger a little lower. 4 samples left; touch the sensor "
            "again."])
        self.assertEqual(lines[2:6], ENROLLED_4)
        first = lines[6].split()[2]
        self.assertEqual(lines[6:], ["Fingerprint enrolled: %s  left thumb" % first])
        bio = self.bio()
        self.assertEqual(bio.enumerate_enrollments(), {bytes.fromhex(first): "left thumb"})

        # One python-fido2 enrols, unnamed, is listed by pinvale-cli as such.
        enrolment = bio.enroll()
        second = None
        while second is None:
            second = enrolment.capture()
        code, out, _ = self.cli("fingerprints", "list")
        self.assertEqual(sorted(out.splitlines()), sorted(
            ["%s  left thumb" % first, "%s  (no name)" % second.hex()]))

        code, out, _ = self.cli("fingerprints", "rename", first.upper(), "right thumb")
        self.assertEqual((code, out), (0, "Fingerprint %s renamed to right thumb.\n" % first))
        self.assertEqual(self.cli("fingerprints", "rename", first, "a name over fifteen"), (
            3, "", "The name is 19 bytes long; this key takes names of at most 15 bytes "
            "(in UTF-8).\n"))
        self.assertEqual(self.cli("fingerprints", "rename", "beef", "x")[::2],
                         (3, "The key holds no fingerprint with ID beef.\n"))
        self.assertEqual(self.bio().enumerate_enrollments()[bytes.fromhex(first)], "right thumb")

        code, _, err = self.cli("fingerprints", "delete", first)
        self.assertEqual(code, 3, err)
        self.assertIn("Use --yes", err)
        self.assertEqual(self.cli("--yes", "fingerprints", "delete", first)[:2],
                         (0, "Fingerprint %s deleted.\n" % first))
        self.assertEqual(self.bio().enumerate_enrollments(), {second: ""})
        self.assertEqual(self.cli("fingerprints", "list", pin="4321")[::2],
                         (4, "Wrong PIN (status 0x31). 7 attempts left.\n"))

    def test_full_store(self):
        bio = self.bio()
        for _ in range(5):  # the key's fingerprintCapacity
            enrolment = bio.enroll()
            while enrolment.capture() is None:
                pass
        code, out, err = self.cli("fingerprints", "add")
        self.assertEqual((code, err), (6, "The key has no room for another fingerprint (status "
                                          "0x17); nothing was added. Delete one with fingerprints "
                                          "delete ID, then enroll again.\n"))
        self.assertEqual(len(self.cli("fingerprints", "list")[1].splitlines()), 5)


class PasskeyFlow:
    def test_list_update_delete(self):
        ctap = self.ctap()
        self.assertEqual(self.cli("passkeys", "list")[:2],
                         (0, "No passkeys on the key.\n0 used, 25 free.\n"))
        for rp_id, name, display in (("b.example", "bob", None),
                                     ("a.example", "carol", "Carol"),
                                     ("a.example", "alice", "Alice Liddell")):
            self.make_passkey(ctap, rp_id, name, display)
        ids = {name: cid for site in ("a.example", "b.example")
               for cid, (name, _) in self.users(site).items()}
        code, out, err = self.cli("passkeys", "list")
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(out, "%s  a.example  alice  Alice Liddell\n"
                              "%s  a.example  carol  Carol\n"
                              "%s  b.example  bob  -\n"
                              "3 used, 22 free.\n" % (ids["alice"][:16], ids["carol"][:16],
                                                      ids["bob"][:16]))

        code, out, err = self.cli("passkeys", "update", ids["alice"][:6], "--name", "alice@a")
        if self.PROFILE == "2.1":
            self.assertEqual((code, out), (0, "Updated the passkey for a.example: alice@a, "
                                              "Alice Liddell.\n"), err)
            self.assertEqual(self.users("a.example")[ids["alice"]], ("alice@a", "Alice Liddell"))
            code, _, _ = self.cli("passkeys", "update", ids["carol"], "--display-name", "C. C.")
            self.assertEqual(self.users("a.example")[ids["carol"]], ("carol", "C. C."))
        else:
            self.assertEqual((code, err), (6, "This key cannot change a passkey's names (it "
                                              "speaks only the draft form of passkey "
                                              "management).\n"))

        code, out, err = self.cli("--yes", "passkeys", "delete", ids["bob"][:8])
        self.assertEqual((code, out), (0, "Deleted the passkey of bob for b.example.\n"), err)
        self.assertEqual(self.credman().get_metadata(), {1: 2, 2: 23})
        self.assertNotIn(ids["bob"], self.users("a.example"))
        self.assertEqual(self.cli("passkeys", "delete", ids["bob"][:8])[::2],
                         (3, "The key holds no passkey with ID %s.\n" % ids["bob"][:8]))
        self.assertEqual(self.cli("passkeys", "list")[1].splitlines()[-1], "2 used, 23 free.")


class Cli21Test(CliTestCase, FingerprintFlow, PasskeyFlow):
    PROFILE = "2.1"


class Cli21PreTest(CliTestCase, FingerprintFlow, PasskeyFlow):
    PROFILE = "2.1-pre"


class Cli20Test(CliTestCase):
    PROFILE = "2.0"

    def test_refused_with_the_reason(self):
        for args, message in ((("fingerprints", "list"), NO_SENSOR_20),
                              (("fingerprints", "add"), NO_SENSOR_20),
                              (("passkeys", "list"), NO_CREDMAN_20)):
            with self.subTest(args=args):
                self.assertEqual(self.cli(*args), (6, "", message))


class CaptureTest(CliTestCase):
    """A capture the user ends, the key ends or nobody finishes: each says what
    happened, and the key is left with nothing new and no enrolment under way."""

    TOUCH = ("--touch", "manual", "--touch-timeout", "1500")

    def wait_for_capture(self):
        deadline = time.monotonic() + 5
        while self.vkey.status()["waiting-for-touch"] != "yes":
            self.assertLess(time.monotonic(), deadline, "the key never waited for a finger")
            time.sleep(0.02)

    def start_enrolment(self):
        proc = self.start_cli("fingerprints", "add")
        self.assertEqual(proc.stdout.readline(), "Touch the sensor with the finger to enroll.\n")
        self.wait_for_capture()
        self.sensor("touch", "touched")
        self.assertEqual(proc.stdout.readline(), ENROLLED_4[0] + "\n")
        self.wait_for_capture()
        return proc

    def finish(self, proc):
        out, err = proc.communicate(timeout=10)
        return proc.returncode, out, err

    def test_ctrl_c_cancels_the_capture(self):
        proc = self.start_enrolment()
        proc.send_signal(signal.SIGINT)
        self.assertEqual(self.finish(proc), (3, "", "Enrollment cancelled; nothing was added.\n"))
        self.assertEqual(self.vkey.status()["waiting-for-touch"], "no")
        self.assertEqual(self.bio().enumerate_enrollments(), {})

    def test_pull_out_during_the_capture(self):
        proc = self.start_enrolment()
        self.vkey.unplug()
        self.assertEqual(self.finish(proc), (
            2, "", "The key was pulled out before it answered. The enrollment was not "
            "finished: no fingerprint was added.\n"))
        self.vkey.plug()
        self.assertEqual(self.bio().enumerate_enrollments(), {})

    def test_no_finger_ends_the_enrolment(self):
        expected = (6, "Touch the sensor with the finger to enroll.\n",
                    "No finger touched the sensor in time (sample status 0x0D); nothing was "
                    "added. Run fingerprints add again and touch the sensor when asked.\n")
        self.sensor("no-finger", "no finger")
        self.assertEqual(self.cli("fingerprints", "add"), expected)
        # The sensor's own time-out (--touch-timeout) is the same to the user.
        self.assertEqual(self.cli("fingerprints", "add"), expected)
        self.assertEqual(self.vkey.status()["waiting-for-touch"], "no")


class FullKeyTimingTest(CliTestCase):
    TOUCH = ("--touch-delay", "0")
    EXTRA = ("--capacity", "25")

    def test_list_of_a_full_key(self):
        ctap = self.ctap()
        for n in range(25):
            self.make_passkey(ctap, "site%d.example" % (n % 5), "user%02d" % n)
        start = time.monotonic()
        code, out, err = self.cli("passkeys", "list")
        seconds = time.monotonic() - start
        lines = out.splitlines()
        self.assertEqual((code, err, len(lines), lines[-1]), (0, "", 26, "25 used, 0 free."))
        print("\npasskeys list of 25 passkeys: %.3f s" % seconds, file=sys.stderr)
        self.assertLess(seconds, 5)


if __name__ == "__main__":
    unittest.main()
