"""End to end: the real pinvale under Xvfb with a pinvale-vkey key, driven with
xdotool like a user. Sets a PIN through the windows, changes it, verifies it (and a
wrong one), and resets the key; python-fido2 confirms each step on the key itself.

Usage: /usr/bin/python3 e2e_dialogs.py --pinvale PATH --vkey PATH [--shots DIR]
Exit 77 (skipped) when Xvfb, xdotool or ImageMagick's import is missing.
Screenshots of every dialog go to --shots (default: a temporary folder).
"""

import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import e2e_start  # noqa: E402

options = e2e_start.options_or_skip()

from fido2.ctap import CtapError  # noqa: E402
from gui_session import Failure, Session  # noqa: E402

# Client points of the controls, from the layouts.
MAIN_SET_PIN = (121, 171)
MAIN_VERIFY = (328, 171)
MAIN_CHANGE_PIN = (121, 307)
MAIN_RESET = (328, 307)
SET_PIN_SECOND = (188, 175)
CHANGE_NEW = (230, 175)
CHANGE_CONFIRM = (230, 235)
VERIFY_EDIT = (176, 134)

SIZES = {"set": (350, 300), "change": (460, 360), "verify": (300, 280), "reset": (260, 280)}


def answer_box(s, name, known):
    """Screenshots the next message box and answers it with Enter (OK)."""
    box = s.wait_window(None, exclude=known)
    s.shot(name)
    s.key("Return")
    s.wait_gone(box)


def run(s):
    main = s.wait_window((450, 450))
    s.wait_log("ShowDeviceState present")
    s.shot("01-main-no-pin")

    # Set PIN: a short entry first, then the PIN.
    dialog = s.open_by_click(main, MAIN_SET_PIN, SIZES["set"])
    s.shot("02-set-pin")
    s.type("12")
    s.key("Return")
    s.shot("03-set-pin-too-short")
    s.type("34")
    s.click(dialog, SET_PIN_SECOND)
    s.type("1235")
    s.key("Return")
    s.shot("04-set-pin-mismatch")
    s.key("End")
    s.key("BackSpace")  # "1235" becomes "1234"
    s.type("4")
    s.key("Return")
    answer_box(s, "05-set-pin-success", {main, dialog})
    s.wait_gone(dialog)
    if len(s.token_for("1234")) == 0:
        raise Failure("no PIN token for the PIN set through the dialog")
    s.shot("06-main-pin-set")

    # Change PIN: a wrong current PIN first (the retries go down), then the change.
    dialog = s.open_by_click(main, MAIN_CHANGE_PIN, SIZES["change"])
    s.shot("07-change-pin")
    s.type("0000")
    s.click(dialog, CHANGE_NEW)
    s.type("56789")
    s.click(dialog, CHANGE_CONFIRM)
    s.type("56789")
    s.key("Return")
    s.shot("08-change-pin-wrong-current")
    if s.retries() != 7:
        raise Failure("a wrong current PIN left %d retries, not 7" % s.retries())
    s.click(dialog, (230, 115))  # the current-PIN field
    s.clear_entry()
    s.type("1234")
    # Away from every window while the dialog ends: the Change PIN button that opened
    # it must not light up again when it is gone.
    subprocess.run(["xdotool", "mousemove", "1270", "1010"], check=True)
    s.key("Return")
    answer_box(s, "09-change-pin-success", {main, dialog})
    s.wait_gone(dialog)
    if s.button_lit(main, MAIN_CHANGE_PIN, "ChangePin"):
        raise Failure("the Change PIN button still looks hovered after its dialog closed")
    if len(s.token_for("56789")) == 0:
        raise Failure("no PIN token for the changed PIN")
    try:
        s.token_for("1234")
        raise Failure("the old PIN still works")
    except CtapError:
        pass

    # Verify PIN: a wrong one, then the right one.
    before = s.retries()
    dialog = s.open_by_click(main, MAIN_VERIFY, SIZES["verify"])
    s.shot("10-verify-pin")
    s.click(dialog, VERIFY_EDIT)
    s.type("99999")
    s.key("Return")
    s.shot("11-verify-pin-wrong")
    if s.retries() != before - 1:
        raise Failure("a wrong PIN did not cost a retry (%d, %d)" % (before, s.retries()))
    s.click(dialog, VERIFY_EDIT)
    s.clear_entry()
    s.type("56789")
    s.key("Return")
    answer_box(s, "12-verify-pin-success", {main, dialog})
    s.wait_gone(dialog)
    if s.retries() != 8:
        raise Failure("the right PIN did not restore the retries")

    # Reset: the warning, the touch, "Pass", and a key without a PIN.
    warning = s.open_by_click(main, MAIN_RESET, None, exclude={main})
    s.shot("13-reset-warning")
    s.key("Return")
    s.wait_gone(warning)
    dialog = s.wait_window(SIZES["reset"])
    s.shot("14-reset-touch")
    before = s.log_count("ShowDeviceState present")
    s.vkey.touch()
    time.sleep(0.1)
    path = os.path.join(s.shots, "15-reset-pass.png")
    subprocess.run(["import", "-window", "root", path], check=True)
    s.wait_gone(dialog)
    s.wait_log("ShowDeviceState present", before)
    if s.pin_set():
        raise Failure("the key still has a PIN after the reset")
    s.shot("16-main-after-reset")

    # Help and a key pulled out with a dialog open.
    dialog = s.open_by_click(main, MAIN_SET_PIN, SIZES["set"])
    s.vkey.unplug()
    s.wait_gone(dialog)
    s.wait_log("ShowDeviceState absent")
    s.shot("17-main-key-pulled-out")


def main():
    return e2e_start.run_session(
        lambda shots: Session(options.pinvale, shots,
                              ("--touch", "manual", "--reset-window", "600"), SIZES.values()),
        run, options.shots, "pinvale-dialog-shots.")


if __name__ == "__main__":
    sys.exit(main())
