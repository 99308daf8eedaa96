"""The real pinvale under Xvfb with a pinvale-vkey key, driven with xdotool like a user,
and python-fido2 on the same key: what the end-to-end tests of the windows share.

Run with Debian's /usr/bin/python3 so python3-fido2 is importable; PINVALE_VKEY names the
pinvale-vkey to start.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "interop"))

from fido2.ctap2 import Ctap2  # noqa: E402
from fido2.ctap2.pin import ClientPin  # noqa: E402
from fido2.hid import CtapHidDevice  # noqa: E402
from fido2.hid.base import CtapHidConnection, HidDescriptor  # noqa: E402

import vkey_harness  # noqa: E402

# A loaded machine (CI builds beside the test) can take seconds to open a window.
WAIT_S = 30


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
    """Xvfb, one pinvale-vkey and the real pinvale following it; `sizes` are the sizes of
    the dialogs a test knows, which wait_window(None) does not take for a new window."""

    def __init__(self, pinvale, shots, vkey_args, sizes):
        self.shots = shots
        self.sizes = sizes
        self.work = tempfile.mkdtemp(prefix="pinvale-dialogs-e2e.")
        self.procs = []
        self.display()
        self.vkey = vkey_harness.VkeyProcess(*vkey_args)
        self.log_path = os.path.join(self.work, "pinvale.log")
        env = dict(os.environ, PINVALE_INSTANCE_TAG="-dialogs-e2e-%d" % os.getpid(),
                   PINVALE_DEBUG="1")
        env.pop("PINVALE_VKEY_DIR", None)
        self.log = open(self.log_path, "w")
        self.app = subprocess.Popen([pinvale, "--virtual-keys", self.vkey.dir],
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
                if size is None and got not in self.sizes and got != (450, 450):
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
