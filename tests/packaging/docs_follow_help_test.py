"""The manual pages and the bash completion offer what the programs accept.

Every option, command and fault name that `--help` lists must appear in the
program's manual page and be offered by its completion, so that neither can fall
behind the program. The completion is run in a real bash.

Usage: docs_follow_help_test.py SOURCE_DIR PINVALE_CLI PINVALE_VKEY [PINVALE]
(PINVALE is missing from a build without the window.)
"""

import glob
import os
import re
import shlex
import socket
import subprocess
import sys
import tempfile
import unittest

SOURCE, CLI, VKEY = sys.argv[1:4]
PROGRAMS = {"pinvale-cli": CLI, "pinvale-vkey": VKEY}
if len(sys.argv) > 4:
    PROGRAMS["pinvale"] = sys.argv[4]
COMPLETION_FUNCTIONS = {"pinvale": "_pinvale", "pinvale-cli": "_pinvale_cli",
                        "pinvale-vkey": "_pinvale_vkey"}
# --help and --version answer from a terminal with no display at all.
NO_DISPLAY = {k: v for k, v in os.environ.items()
              if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}


def run_option(program, option):
    return subprocess.run([PROGRAMS[program], option], check=True, capture_output=True,
                          text=True, env=NO_DISPLAY, timeout=20).stdout


def help_text(program):
    return run_option(program, "--help")


def options_in(text):
    return set(re.findall(r"(?<![\w-])(--[a-z][a-z-]*|-[a-zA-Z])\b", text))


def man_text(program):
    with open(os.path.join(SOURCE, "doc", "man", program + ".1.in"), encoding="utf-8") as f:
        roff = f.read()
    return re.sub(r"\\f[BIRP]", "", roff).replace("\\-", "-")


def complete(program, words, env=None):
    """What the completion offers for the command line `words`, the last being the
    word under the cursor."""
    script = (f"source {shlex.quote(os.path.join(SOURCE, 'packaging', 'bash-completion', program))}\n"
              f"COMP_WORDS=({' '.join(shlex.quote(w) for w in [program] + words)})\n"
              f"COMP_CWORD={len(words)}\n"
              f"{COMPLETION_FUNCTIONS[program]}\n"
              "printf '%s\\n' \"${COMPREPLY[@]}\"\n")
    result = subprocess.run(["bash", "--norc", "--noprofile", "-c", script], check=True,
                            capture_output=True, text=True, env={**os.environ, **(env or {})})
    return [line.strip() for line in result.stdout.splitlines() if line]


def documents(program, pattern):
    return re.search(pattern, man_text(program)) is not None


def section(text, title):
    """The indented lines under `title:` in a --help text."""
    lines = text.split(title + ":\n", 1)[1].splitlines()
    taken = []
    for line in lines:
        if line and not line.startswith(" "):
            break
        taken.append(line)
    return taken


class OptionsTest(unittest.TestCase):
    def test_every_option_of_help_is_in_the_manual_page_and_the_completion(self):
        for program in PROGRAMS:
            offered = complete(program, ["-"])
            for option in options_in(help_text(program)):
                with self.subTest(program=program, option=option):
                    self.assertTrue(documents(program, rf"(?<![\w-]){re.escape(option)}\b"))
                    if option.startswith("--"):
                        self.assertIn(option, offered)

    def test_the_window_options_are_in_its_manual_page(self):
        # Every literal the parser compares against, also when the program is not built.
        with open(os.path.join(SOURCE, "src", "app", "app_options.cpp"), encoding="utf-8") as f:
            options = set(re.findall(r'"(--[a-z-]+|-[a-zA-Z])"', f.read())) | {"-E"}
        self.assertGreaterEqual(len(options), 6)
        listed = options_in(help_text("pinvale")) if "pinvale" in PROGRAMS else None
        for option in options:
            with self.subTest(option=option):
                self.assertTrue(documents("pinvale", rf"(?<![\w-]){re.escape(option)}\b"))
                if listed is not None and option != "-h":
                    self.assertIn(option, listed)

    def test_every_environment_variable_read_is_in_the_manual_page(self):
        # The folders whose code each program runs.
        folders = {
            "pinvale": ["src"],
            "pinvale-cli": ["tools/pinvale-cli", "src/platform", "src/transport", "src/ctap"],
            "pinvale-vkey": ["tools/pinvale-vkey", "src/vkey"],
        }
        for program, dirs in folders.items():
            names = set()
            for folder in dirs:
                for path in glob.glob(os.path.join(SOURCE, folder, "**", "*.cpp"), recursive=True):
                    if path.endswith("_win32.cpp"):
                        continue
                    with open(path, encoding="utf-8") as f:
                        names |= set(re.findall(r'getenv\("(PINVALE_\w+)"\)', f.read()))
            for name in names:
                with self.subTest(program=program, variable=name):
                    self.assertTrue(documents(program, rf"\.SH ENVIRONMENT\n(.|\n)*\b{name}\b"))

    def test_version_is_the_projects(self):
        with open(os.path.join(SOURCE, "CMakeLists.txt"), encoding="utf-8") as f:
            version = re.search(r"project\(Pinvale VERSION ([0-9.]+)", f.read()).group(1)
        for program in PROGRAMS:
            with self.subTest(program=program):
                self.assertEqual(run_option(program, "--version"), f"{program} {version}\n")


class NamesTest(unittest.TestCase):
    def test_cli_commands_are_documented_and_completed(self):
        commands = [line.split()[0] for line in section(help_text("pinvale-cli"), "Commands")
                    if line.strip()]
        self.assertIn("change-pin", commands)
        first_word = complete("pinvale-cli", [""])
        for command in commands:
            with self.subTest(command=command):
                self.assertTrue(documents("pinvale-cli", rf"\.TP\n\.B {command}\n"))
                self.assertIn(command, first_word)
        # After "--" comes the command that --emulate-hidraw runs.
        self.assertIn("bash", complete("pinvale-vkey", ["--emulate-hidraw", "--", "bas"]))
        # After the command only options remain.
        self.assertEqual(complete("pinvale-cli", ["info", ""]),
                         complete("pinvale-cli", ["info", "--"]))

    def test_vkey_fault_names_are_documented_and_completed(self):
        lines = section(help_text("pinvale-vkey"), "Options")
        faults = {m.group(1) for line in lines
                  if (m := re.match(r"^ {6}([a-z][a-z-]*)(?:\[?=|\s)", line))}
        self.assertIn("keepalive-storm", faults)
        offered = {name.rstrip("=") for name in complete("pinvale-vkey", ["--fault", ""])}
        for fault in faults:
            with self.subTest(fault=fault):
                self.assertTrue(documents("pinvale-vkey", rf"\.TP\n\.B[IR]? {fault}\b"))
                self.assertIn(fault, offered)


class DevicePathTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.socket = os.path.join(self.dir.name, "3f8c-64a9-second.sock")
        self.listener = socket.socket(socket.AF_UNIX)
        self.listener.bind(self.socket)

    def tearDown(self):
        self.listener.close()
        self.dir.cleanup()

    def test_device_offers_the_virtual_keys_of_the_directory(self):
        cases = {
            "option": (["--virtual-keys", self.dir.name, "--device", ""], {}),
            # bash splits --virtual-keys=DIR --device= at each '='.
            "option with =": (["--virtual-keys", "=", self.dir.name, "--device", "=", ""], {}),
            "environment": (["--device", ""], {"PINVALE_VKEY_DIR": self.dir.name}),
            "typed prefix": (["--device", self.dir.name + "/3f8c"],
                             {"PINVALE_VKEY_DIR": self.dir.name}),
        }
        for name, (words, env) in cases.items():
            with self.subTest(case=name):
                self.assertIn(self.socket, complete("pinvale-cli", words, env))

    def test_virtual_key_directory_completes_directories(self):
        for program in ("pinvale", "pinvale-cli"):
            for words in (["--virtual-keys", self.dir.name[:-2]],
                          ["--virtual-keys", "=", self.dir.name[:-2]]):
                with self.subTest(program=program, words=words):
                    offered = complete(program, words)
                    self.assertIn(self.dir.name, offered)
                    self.assertTrue(all(os.path.isdir(p) for p in offered), offered)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
