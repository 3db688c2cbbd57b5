"""The host started as the browser starts it (harness.browser_launch: in its
own folder, on Windows through cmd.exe with the browser's command line) and
started directly give the same exchange, also from an install folder whose
name holds the characters cmd.exe treats specially."""
import os
import shutil
import struct

from harness import HostTestCase, host_program

# Spaces, & ( ) ^ % ! and letters outside ASCII, as install folders have them.
SPECIAL_FOLDER = os.path.join("Orvix & Co (beta)", "\u00dcn\u00efcode 100% ^x!")


class BrowserLaunch(HostTestCase):
    def test_the_same_exchange_either_way(self):
        # Text-mode streams turn LF into CRLF, drop CR or end at 0x1A: a body of
        # 0x000A0D1A bytes has all three in its length. cmd.exe sits between
        # the browser and the host on Windows and must leave the pipes alone.
        prefix = b'{"id":2,"method":"m","pad":"'
        body = prefix + b"x" * (0x0A0D1A - len(prefix) - 2) + b'"}'
        self.assertEqual(struct.pack("<I", len(body)), b"\x1a\x0d\x0a\x00")
        replies = {}
        for launch in ("browser", "direct"):
            with self.subTest(launch=launch):
                replies[launch] = self.ask({"id": 1, "method": "hello"}, body, {"id": 3, "method": "host.status"},
                                           launch=launch)
                self.assertEqual([r["id"] for r in replies[launch]], [1, 2, 3])
        self.assertEqual(replies["browser"], replies["direct"])

    def test_the_host_runs_in_its_own_folder_even_when_its_name_is_special(self):
        folder = os.path.join(self.tmp, SPECIAL_FOLDER)
        os.makedirs(folder)
        host = os.path.join(folder, os.path.basename(host_program()[0]))
        shutil.copy2(host_program()[0], host)
        # An empty ORVIX_HOME is the working directory: the log shows where the
        # host ran. (Wine reads Linux file names in the locale's character set.)
        env = dict(self.env, ORVIX_HOME="", LANG="C.UTF-8")
        (reply,) = self.ask({"method": "host.log", "params": {"event": "e"}}, env=env, launch="browser", host=host)
        self.assertEqual(reply["result"], {"ok": True})
        self.assertEqual(self.log_lines(os.path.join(folder, "logs", "chrome-native-host.log")), [("host.log", "e")])
