#!/usr/bin/env python3
"""The man page against the program: every switch --help lists, every key a
first run writes into a new configuration file, and the version.
Usage: man_page_test.py PROGRAM MANPAGE(roff)"""
import os
import re
import socket
import subprocess
import sys
import tempfile
import unittest

PROGRAM, MAN_PAGE = sys.argv.pop(1), sys.argv.pop(1)
ENV = dict(os.environ, QT_QPA_PLATFORM="offscreen", LANG="C.UTF-8")
ENV.pop("DISPLAY", None)
ENV.pop("WAYLAND_DISPLAY", None)


def man_text():
    with open(MAN_PAGE, encoding="utf-8") as f:
        roff = f.read()
    text = re.sub(r"\\f[BIRP]", "", roff)
    return text.replace("\\-", "-").replace("\\&", "").replace("\\e", "\\")


def mentions(text, word):
    return re.search(r"(?<![\w-])" + re.escape(word) + r"(?![\w-])", text) is not None


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def written_keys():
    """Section and key names of a file the program created and filled on its first run."""
    with tempfile.TemporaryDirectory() as folder:
        ini = os.path.join(folder, "neu.ini")
        with open(ini, "wb") as f:
            f.write(b"[datenbank]\r\nconnection=Driver={SQLite3};Database=:memory:;\r\n"
                    b"[sql]\r\n0=select 1 as eins;\r\n"
                    b"[email]\r\nsmtpserver=127.0.0.1:%d\r\n" % closed_port())
        # The send and the error mail fail: every key of build, send and error mail is read.
        run = subprocess.run([PROGRAM, ini, "-unattend"], env=ENV, cwd=folder, capture_output=True, timeout=120)
        assert run.returncode == 2, run.stderr
        keys, section = [], None
        with open(ini, encoding="utf-8-sig", errors="replace") as f:
            for line in f.read().splitlines():
                if line.startswith("["):
                    section = line.strip("[]")
                    keys.append((section, None))
                elif "=" in line and not line.startswith(";"):
                    keys.append((section, line.split("=", 1)[0]))
        return keys


class ManPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.text = man_text()

    def test_every_switch_of_the_help(self):
        help_text = subprocess.run([PROGRAM, "--help"], env=ENV, capture_output=True, text=True, check=True).stdout
        switches = set(re.findall(r"(?<![\w/-])(--?[a-zA-Z][\w-]*)", help_text))
        self.assertTrue({"-unattend", "--output", "--help", "-h", "--version"} <= switches, switches)
        for switch in sorted(switches):
            self.assertTrue(mentions(self.text, switch), switch)

    def test_every_section_and_key_written_on_first_read(self):
        keys = written_keys()
        self.assertIn(("email", "smtpserver"), keys)
        self.assertIn(("email", "verschluesselung"), keys)
        for section, key in keys:
            self.assertTrue(mentions(self.text, "[" + section + "]"), section)
            if key is not None and not key.isdigit():
                self.assertTrue(mentions(self.text, key), f"[{section}] {key}")

    def test_version_is_the_programs(self):
        version = subprocess.run([PROGRAM, "--version"], env=ENV, capture_output=True, text=True,
                                 check=True).stdout.split()[-1]
        self.assertRegex(self.text, r'\.TH "?vornetta"? "?1"? .*Vornetta ' + re.escape(version))


if __name__ == "__main__":
    unittest.main()
