"""python-fido2's FPBioEnrollment against pinvale-vkey's fingerprint sensor, over the
socket: enrolment with a bad sample in the middle (the sensor command of standard
input), listing, renaming and removing, on a 2.1 key (0x09) and a 2.1-pre key (the
prototype 0x40, which python-fido2 picks by itself); cancelling a capture; the
sensor's own token and its retries.

Usage: /usr/bin/python3 python_fido2_bio_test.py --vkey PATH [unittest arguments]
"""

import os
import sys
import threading
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import python_fido2_test as base  # noqa: E402  (takes --vkey off the command line)
from fido2.ctap import CtapError  # noqa: E402
from fido2.ctap2.bio import CaptureError, FPBioEnrollment  # noqa: E402
from fido2.ctap2.pin import ClientPin  # noqa: E402

ERR = CtapError.ERR
PIN = "1234"
BE = ClientPin.PERMISSION.BIO_ENROLL
GA = ClientPin.PERMISSION.GET_ASSERTION
SITE = "pinvale.example"


class BioTestCase(base.VkeyTestCase):
    PROFILE = "2.1"
    ARGS = ("--profile", "2.1", "--pin", PIN, "--touch-delay", "10")

    def bio(self, ctap):
        pin = ClientPin(ctap)
        if self.PROFILE == "2.1":
            token = pin.get_pin_token(PIN, BE)
        else:
            token = pin.get_pin_token(PIN)
        return FPBioEnrollment(ctap, pin.protocol, token)

    def sensor(self, command, answer):
        self.vkey.command(command)
        self.vkey.expect(answer)

    def enrol_with_a_bad_sample(self, bio):
        enrolment = bio.enroll(timeout=5000)
        self.assertIsNone(enrolment.capture())
        self.assertEqual(enrolment.remaining, 3)
        self.sensor("sample too-fast", "bad sample too-fast")
        with self.assertRaises(CaptureError) as raised:
            enrolment.capture()
        self.assertEqual(raised.exception.code, FPBioEnrollment.FEEDBACK.FP_TOO_FAST)
        self.assertEqual(enrolment.remaining, 3)
        template = None
        while template is None:
            template = enrolment.capture()
        return template

    def check_enrol_list_rename_remove(self):
        ctap = self.ctap()
        bio = self.bio(ctap)
        info = bio.get_fingerprint_sensor_info()
        self.assertEqual(info[2], 1)
        self.assertEqual(info[3], 4)
        self.assertEqual(bio.enumerate_enrollments(), {})
        template = self.enrol_with_a_bad_sample(bio)
        self.assertEqual(bio.enumerate_enrollments(), {template: ""})
        bio.set_name(template, "left thumb")
        self.assertEqual(bio.enumerate_enrollments(), {template: "left thumb"})
        with self.assertRaises(CtapError) as raised:
            bio.set_name(template, "a name too long for it")
        self.assertEqual(raised.exception.code, ERR.INVALID_LENGTH)
        second = self.enrol_with_a_bad_sample(bio)
        self.assertEqual(len(bio.enumerate_enrollments()), 2)
        bio.remove_enrollment(template)
        self.assertEqual(bio.enumerate_enrollments(), {second: ""})
        return ctap


class Bio21Test(BioTestCase):
    def test_enrol_list_rename_remove(self):
        ctap = self.check_enrol_list_rename_remove()
        info = ctap.get_info()
        self.assertIs(info.options["bioEnroll"], True)
        self.assertIs(info.options["uv"], True)
        self.assertEqual(info.options["userVerificationMgmtPreview"], True)

    def test_sensor_token_and_retries(self):
        ctap = self.ctap()
        self.enrol_with_a_bad_sample(self.bio(ctap))
        pin = ClientPin(ctap)
        self.assertEqual(len(pin.get_uv_token(GA, SITE)), 32)
        self.sensor("wrong-finger", "wrong finger")
        self.assertCtapError(ERR.UV_INVALID, pin.get_uv_token, GA, SITE)
        self.assertEqual(pin.get_uv_retries()[0], 4)
        self.assertCtapError(ERR.UNAUTHORIZED_PERMISSION, pin.get_uv_token, BE)


class BioCancelTest(BioTestCase):
    ARGS = ("--profile", "2.1", "--pin", PIN, "--touch", "manual")

    def test_cancelled_capture(self):
        ctap = self.ctap()
        bio = self.bio(ctap)
        enrolment = bio.enroll()
        cancel = threading.Event()
        timer = threading.Timer(0.3, cancel.set)
        timer.start()
        try:
            with self.assertRaises(CtapError) as raised:
                enrolment.capture(event=cancel)
        finally:
            timer.cancel()
        self.assertEqual(raised.exception.code, ERR.KEEPALIVE_CANCEL)
        enrolment.cancel()
        self.assertEqual(bio.enumerate_enrollments(), {})


class BioPrototypeTest(BioTestCase):
    PROFILE = "2.1-pre"
    ARGS = ("--profile", "2.1-pre", "--pin", PIN, "--touch-delay", "10")

    def test_enrol_list_rename_remove(self):
        ctap = self.check_enrol_list_rename_remove()
        self.assertNotIn("bioEnroll", ctap.info.options)
        self.assertIs(ctap.get_info().options["userVerificationMgmtPreview"], True)


if __name__ == "__main__":
    unittest.main()
