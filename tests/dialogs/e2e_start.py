"""The start of an end-to-end test of the windows: its command line (--pinvale, --vkey,
--shots), the skip (exit 77) when a tool or python3-fido2 is missing, and the run itself
with the failure report. Imported before gui_session, which needs PINVALE_VKEY set.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

TOOLS = ("Xvfb", "xdotool", "xwininfo", "import")


def options_or_skip():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pinvale", required=True)
    parser.add_argument("--vkey", required=True)
    parser.add_argument("--shots")
    options = parser.parse_args()
    os.environ["PINVALE_VKEY"] = options.vkey
    for tool in TOOLS:
        if shutil.which(tool) is None:
            print("SKIP: %s is not installed" % tool)
            sys.exit(77)
    try:
        import fido2  # noqa: F401
    except ImportError:
        print("SKIP: python3-fido2 is not installed")
        sys.exit(77)
    return options


def run_session(make_session, run, shots, prefix):
    """Runs `run(session)`; on a failure prints it with the end of pinvale's log and
    keeps a screenshot. The exit code."""
    shots = shots or tempfile.mkdtemp(prefix=prefix)
    os.makedirs(shots, exist_ok=True)
    s = make_session(shots)
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
