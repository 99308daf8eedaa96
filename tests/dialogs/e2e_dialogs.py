"""End to end: the real pinvale under Xvfb with a pinvale-vkey key, driven with
xdotool like a user. Sets a PIN through the windows, changes it, verifies it (and a
wrong one), and resets the key; python-fido2 confirms each step on the key itself.

Usage: /usr/bin/python3 e2e_dialogs.py --pinvale PATH --vkey PATH [--shots DIR]
Exit 77 (skipped) when Xvfb, xdotool or ImageMagick's import is missing.
Screenshots of every dialog go to --shots (default: a temporary folder).
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "interop"))

parser = argparse.ArgumentParser()
parser.add_argument("--pinvale", required=True)
parser.add_argument("--vkey", required=True)
parser.add_argument("--shots")
options = parser.parse_args()
os.environ["PINVALE_VKEY"] = options.vkey

for tool in ("Xvfb", "xdotool", "xwininfo", "import"):
    if shutil.which(tool) is None:
        print("SKIP: %s is not installed" % tool)
        sys.exit(77)
try:
    from fido2.ctap import CtapError
    from fido2.ctap2 import Ctap2
    from fido2.ctap2.pin import ClientPin
    from fido2.hid import CtapHidDevice
    from fido2.hid.base import CtapHidConnection, HidDescriptor
except ImportError:
    print("SKIP: python3-fido2 is not installed")
    sys.exit(77)

import vkey_harness  # noqa: E402

# Client points of the controls, from the layouts.
MAIN_SET_PIN = (121, 171)
MAIN_VERIFY = (328, 171)
MAIN_CHANGE_PIN = (121, 307)
MAIN_RESET = (328, 307)
SET_PIN_SECOND = (188, 175)
CHANGE_NEW = (230, 175)
CHANGE_CONFIRM = (230, 235)
VERIFY_EDIT = (176, 134)

# A loaded machine (CI builds beside the test) can take seconds to open a window.
WAIT_S = 30

SIZES = {"set": (350, 300), "change": (460, 360), "verify": (300, 280), "reset": (260, 280)}


class Failure(Exception):
    pass


class SocketConnection(CtapHidConnection):
    def __init__(self, path):
        self.sock = vkey_harness.connect(path)

    def write_packet(self, data):
        self.sock.sendall(data)

    def read_packet(self):
        return vkey_harness.read_packet(self.sock)

    def close(self):
        self.sock.close()


class Session:
    def __init__(self, shots):
        self.shots = shots
        self.work = tempfile.mkdtemp(prefix="pinvale-dialogs-e2e.")
        self.procs = []
        self.display()
        self.vkey = vkey_harness.VkeyProcess("--touch", "manual", "--reset-window", "600")
        self.log_path = os.path.join(self.work, "pinvale.log")
        env = dict(os.environ, PINVALE_INSTANCE_TAG="-dialogs-e2e-%d" % os.getpid(),
                   PINVALE_DEBUG="1")
        env.pop("PINVALE_VKEY_DIR", None)
        self.log = open(self.log_path, "w")
        self.app = subprocess.Popen([options.pinvale, "--virtual-keys", self.vkey.dir],
                                    stderr=self.log, env=env)
        self.procs.append(self.app)

    def display(self):
        read, write = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24",
                                 "-nolisten", "tcp"], pass_fds=(write,),
                                stderr=subprocess.DEVNULL)
        os.close(write)
        self.procs.append(xvfb)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                raise Failure("Xvfb did not start")
            number += chunk
        os.close(read)
        os.environ["DISPLAY"] = ":" + number.decode().strip()

    def close(self):
        ok = self.vkey.close()
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        self.log.close()
        shutil.rmtree(self.work, ignore_errors=True)
        return ok

    # ---- windows ----
    def windows(self):
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^(Pinvale|Warning)$"],
                               capture_output=True, text=True).stdout.split()
        result = {}
        for wid in found:
            info = subprocess.run(["xwininfo", "-id", wid], capture_output=True, text=True).stdout
            width = re.search(r"Width: (\d+)", info)
            height = re.search(r"Height: (\d+)", info)
            if width and height:
                result[wid] = (int(width.group(1)), int(height.group(1)))
        return result

    def wait_window(self, size=None, exclude=(), timeout=WAIT_S):
        """The id of a new visible window of that size (any size but the known ones)."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            for wid, got in self.windows().items():
                if wid in exclude:
                    continue
                if size is None and got not in SIZES.values() and got != (450, 450):
                    return wid
                if got == size:
                    return wid
            time.sleep(0.05)
        raise Failure("no window of size %s appeared" % (size,))

    def open_by_click(self, wid, point, size=None, exclude=()):
        """Clicks a button of `wid` once and waits for the window it opens. The click may
        come at once after a dialog went: the owner takes input again before its dialog
        is unmapped, so no click is lost while the dialog's loop is ending."""
        self.click(wid, point)
        return self.wait_window(size, exclude)

    def wait_gone(self, wid, timeout=WAIT_S):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if wid not in self.windows():
                return
            time.sleep(0.05)
        raise Failure("window %s did not close" % wid)

    def button_lit(self, wid, centre, picture):
        """Whether the main window's button at `centre` shows its highlight picture
        (`picture`_Highlight.png) rather than its normal one, on the screen now."""
        from PIL import Image, ImageChops, ImageStat
        geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid],
                                  capture_output=True, text=True, check=True).stdout
        place = dict(line.split("=", 1) for line in geometry.split())
        path = self.shot("button-" + picture)
        screen = Image.open(path).convert("RGB")
        skin = os.path.join(HERE, "..", "..", "skin")

        def difference(name):
            icon = Image.open(os.path.join(skin, name + ".png")).convert("RGBA")
            flat = Image.alpha_composite(Image.new("RGBA", icon.size, "white"), icon).convert("RGB")
            left = int(place["X"]) + centre[0] - icon.size[0] // 2
            top = int(place["Y"]) + centre[1] - icon.size[1] // 2
            best = None
            for dy in (-1, 0, 1):
                for dx in (-1, 0, 1):
                    box = (left + dx, top + dy, left + dx + icon.size[0], top + dy + icon.size[1])
                    diff = ImageChops.difference(screen.crop(box), flat)
                    mean = sum(ImageStat.Stat(diff).mean)
                    best = mean if best is None else min(best, mean)
            return best

        return difference(picture + "_Highlight") < difference(picture + "_Active")

    def click(self, wid, point):
        subprocess.run(["xdotool", "mousemove", "--window", wid, str(point[0]), str(point[1]),
                        "click", "1"], check=True)
        time.sleep(0.15)

    def type(self, text):
        subprocess.run(["xdotool", "type", "--delay", "20", text], check=True)
        time.sleep(0.15)

    def clear_entry(self):
        # A click puts the caret where it lands, so the focused entry is emptied by hand.
        subprocess.run(["xdotool", "key", "End"] + ["BackSpace"] * 12, check=True)
        time.sleep(0.15)

    def key(self, name):
        subprocess.run(["xdotool", "key", name], check=True)
        time.sleep(0.2)

    def shot(self, name):
        time.sleep(0.3)  # let the frame reach the screen
        path = os.path.join(self.shots, name + ".png")
        subprocess.run(["import", "-window", "root", path], check=True)
        return path

    def wait_log(self, text, before=0, timeout=WAIT_S):
        deadline = time.time() + timeout
        while time.time() < deadline:
            with open(self.log_path) as log:
                if log.read().count(text) > before:
                    return
            time.sleep(0.05)
        raise Failure("no %r in pinvale's log" % text)

    def log_count(self, text):
        with open(self.log_path) as log:
            return log.read().count(text)

    # ---- the key, seen by python-fido2 ----
    def ctap(self):
        descriptor = HidDescriptor(self.vkey.path, 0x3F8C, 0x2D71, 64, 64)
        return Ctap2(CtapHidDevice(descriptor, SocketConnection(self.vkey.path)))

    def token_for(self, pin):
        ctap = self.ctap()
        try:
            return ClientPin(ctap).get_pin_token(pin)
        finally:
            ctap.device.close()

    def pin_set(self):
        ctap = self.ctap()
        try:
            return ctap.get_info().options.get("clientPin") is True
        finally:
            ctap.device.close()

    def retries(self):
        return int(self.vkey.status()["retries"])


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
    shots = options.shots or tempfile.mkdtemp(prefix="pinvale-dialog-shots.")
    os.makedirs(shots, exist_ok=True)
    s = Session(shots)
    try:
        run(s)
    except Exception as error:  # noqa: BLE001 - reported with pinvale's log
        print("FAIL: %s" % error)
        subprocess.run(["import", "-window", "root", os.path.join(shots, "failure.png")])
        with open(s.log_path) as log:
            sys.stdout.write(log.read()[-4000:])
        s.close()
        return 1
    if not s.close():
        print("FAIL: the virtual key's socket was left behind")
        return 1
    print("PASS (screenshots in %s)" % shots)
    return 0


if __name__ == "__main__":
    sys.exit(main())
