"""The host log file and the host.log method."""
import os
import re
import time
import unittest

from harness import HostTestCase, not_on_windows


class HostLogMethod(HostTestCase):
    def test_event_reaches_the_log_verbatim(self):
        replies = self.ask(
            {"id": 1, "method": "host.log", "params": {"event": "popup-opened", "secret": "never logged"}},
            {"id": 2, "method": "host.log", "params": {"event": ""}},
            {"id": 3, "method": "host.log", "params": {"event": "two\nlines detail=x"}},
        )
        for reply in replies:
            self.assertEqual(reply["result"], {"ok": True})
        with open(self.log_path, "rb") as f:
            text = f.read().decode()
        self.assertNotIn("never logged", text)
        lines = text.split("\n")
        self.assertEqual(len(lines), 5)  # the line break in the event splits its record
        self.assertTrue(lines[0].endswith(" method=host.log detail=popup-opened"))
        self.assertTrue(lines[1].endswith(" method=host.log detail="))
        self.assertTrue(lines[2].endswith(" method=host.log detail=two"))
        self.assertEqual(lines[3], "lines detail=x")
        self.assertEqual(lines[4], "")

    def test_lines_carry_the_wall_clock_in_milliseconds(self):
        # A second of slack either side for a wall clock that is stepped
        # meanwhile: seconds or microseconds would still be far outside.
        before = int(time.time() * 1000) - 1000
        self.ask({"method": "host.log", "params": {"event": "popup-opened"}}, {"method": "nope"})
        after = int(time.time() * 1000) + 1000
        with open(self.log_path, "rb") as f:
            lines = f.read().split(b"\n")
        self.assertEqual(lines[2], b"")
        expected = [b" method=host.log detail=popup-opened", b" method=nope detail=unsupported_method"]
        for line, rest in zip(lines, expected):
            stamp = re.fullmatch(rb"([1-9][0-9]*)" + re.escape(rest), line)
            self.assertIsNotNone(stamp, line)
            self.assertTrue(before <= int(stamp.group(1)) <= after, (before, line, after))

    def test_event_that_is_not_a_string_is_unknown(self):
        self.ask(
            {"method": "host.log"},
            {"method": "host.log", "params": None},
            {"method": "host.log", "params": "event"},
            {"method": "host.log", "params": ["event"]},
            {"method": "host.log", "params": {"event": 5}},
        )
        self.assertEqual(self.log_lines(), [("host.log", "unknown")] * 5)

    def test_lines_append_in_order_across_runs(self):
        self.ask({"method": "host.log", "params": {"event": "a"}})
        self.ask({"method": "host.log", "params": {"event": "b"}})
        self.assertEqual([d for _, d in self.log_lines()], ["a", "b"])


class LogLocation(HostTestCase):
    def test_home_falls_back_to_HOME(self):
        user = os.path.join(self.tmp, "user")
        env = dict(self.env, HOME=user, USERPROFILE=os.path.join(self.tmp, "other"))
        del env["ORVIX_HOME"]
        self.ask({"method": "host.log", "params": {"event": "e"}}, env=env)
        self.assertEqual(self.log_lines(os.path.join(user, ".orvix", "logs", "chrome-native-host.log")),
                         [("host.log", "e")])
        self.assertFalse(os.path.exists(os.path.join(self.tmp, "other")))

    def test_no_log_without_ORVIX_HOME_or_HOME(self):
        profile = os.path.join(self.tmp, "profile")
        env = {"PATH": self.env["PATH"], "USERPROFILE": profile}
        (reply,) = self.ask({"method": "host.log", "params": {"event": "e"}}, env=env)
        self.assertEqual(reply["result"], {"ok": True})
        self.assertFalse(os.path.exists(profile))
        self.assertEqual(os.listdir(self.tmp), [])

    def test_empty_ORVIX_HOME_is_the_working_directory(self):
        env = dict(self.env, ORVIX_HOME="", HOME=os.path.join(self.tmp, "user"))
        work = os.path.join(self.tmp, "work")
        os.mkdir(work)
        self.ask({"method": "host.log", "params": {"event": "e"}}, env=env, cwd=work)
        self.assertEqual(self.log_lines(os.path.join(work, "logs", "chrome-native-host.log")), [("host.log", "e")])

    @not_on_windows("Wine turns bytes that are not UTF-8 from a Linux parent into U+FFFD, a valid value; "
                    "the Windows form (an unpaired surrogate) cannot be set from here")
    def test_ORVIX_HOME_that_is_not_unicode_counts_as_unset(self):
        env = {k.encode(): v.encode() for k, v in self.env.items()}
        env[b"ORVIX_HOME"] = os.path.join(self.tmp, "bad\xff").encode("latin-1")
        env[b"HOME"] = os.path.join(self.tmp, "user").encode()
        self.ask({"method": "host.log", "params": {"event": "e"}}, env=env)
        self.assertEqual(self.log_lines(os.path.join(self.tmp, "user", ".orvix", "logs", "chrome-native-host.log")),
                         [("host.log", "e")])

    def test_unwritable_log_changes_nothing(self):
        # A plain file where the logs directory belongs blocks the log even for root.
        os.makedirs(self.home)
        with open(os.path.join(self.home, "logs"), "w") as f:
            f.write("in the way")
        replies = self.ask({"id": 1, "method": "host.log", "params": {"event": "e"}}, {"id": 2, "method": "nope"})
        self.assertEqual(replies[0]["result"], {"ok": True})
        self.assertEqual(replies[1]["error"]["code"], "unsupported_method")


if __name__ == "__main__":
    unittest.main()
