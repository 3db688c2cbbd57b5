"""The host log file and the host.log method."""
import concurrent.futures
import errno
import os
import re
import subprocess
import time
import unittest

from harness import HostTestCase, frame, not_on_windows


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

    def test_long_events_reach_the_log_whole(self):
        # Lengths either side of where a line no longer fits the writer's stack buffer.
        events = ["\u00e9" * 100 + "x" * n for n in (0, 264, 265, 266, 267, 268, 269, 2000, 100000)]
        self.ask(*({"id": i, "method": "host.log", "params": {"event": e}} for i, e in enumerate(events)))
        with open(self.log_path, "rb") as f:
            lines = f.read().decode().split("\n")
        self.assertEqual(len(lines), len(events) + 1)
        for line, event in zip(lines, events):
            self.assertRegex(line, r"^\d{13} method=host\.log detail=")
            self.assertEqual(line.split(" detail=", 1)[1], event)

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


class LogAfterACutLine(HostTestCase):
    """A full disk may cut a line short; the line after it must stay whole."""

    LINE = re.compile(rb"\A[0-9]+ method=host\.log detail=([^\n]*)\n\Z")

    def log_bytes(self):
        with open(self.log_path, "rb") as f:
            return f.read()

    def log_event(self, event):
        replies = self.ask({"id": 1, "method": "host.log", "params": {"event": event}})
        self.assertEqual(replies[0]["result"], {"ok": True})

    def assert_ends_with_whole_line(self, before, event):
        data = self.log_bytes()
        self.assertTrue(data.startswith(before + b"\n"), data[len(before) - 60 :])
        match = self.LINE.match(data[len(before) + 1 :])
        self.assertIsNotNone(match, data[len(before) - 60 :])
        self.assertEqual(match.group(1), event.encode())

    def test_a_fragment_at_the_end_gets_the_next_line_on_its_own(self):
        os.makedirs(os.path.dirname(self.log_path))
        fragment = b"1733480000123 method=host.log detail=a line the disk cut sh"
        with open(self.log_path, "wb") as f:
            f.write(fragment)
        self.log_event("next")
        self.assert_ends_with_whole_line(fragment, "next")
        # A file that ends in a whole line gets no empty line.
        self.log_event("after")
        self.assertEqual([d for _, d in self.log_lines()[1:]], ["next", "after"])

    def test_lines_of_hosts_writing_at_once_stay_whole(self):
        # Lines from a few dozen bytes to 64 KiB: a long write grows the file
        # page by page, and another host looking at the end meanwhile must not
        # take it for a line that a full disk cut short.
        hosts, events = 12, 48
        sizes = (0, 60, 1000, 4000, 9000, 65536 - 64)

        def event(h, i):
            name = "h%d-%d-" % (h, i)
            return name + "x" * max(0, sizes[(h + i) % len(sizes)] - len(name))

        stdin = [b"".join(frame({"id": i, "method": "host.log", "params": {"event": event(h, i)}})
                          for i in range(events)) for h in range(hosts)]
        with concurrent.futures.ThreadPoolExecutor(hosts) as pool:
            runs = list(pool.map(self.run_host, stdin))
        for run in runs:
            self.assertEqual(len(run.bodies), events)
        details = [d for _, d in self.log_lines()]  # every line a record
        self.assertEqual(len(details), hosts * events)
        self.assertEqual(sorted(details), sorted(event(h, i) for h in range(hosts) for i in range(events)))

    def test_a_full_disk_cuts_one_line_and_spares_the_next(self):
        if os.geteuid() != 0:
            self.skipTest("mounting a small file system needs root")
        self.home = os.path.join(self.tmp, "small")
        self.env["ORVIX_HOME"] = self.home
        os.makedirs(self.home)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", self.home],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a tmpfs here: %s" % mounted.stdout.decode(errors="replace").strip())
        self.addCleanup(subprocess.run, ["umount", self.home])
        os.makedirs(os.path.dirname(self.log_path))
        # Whole lines up to 96 bytes short of a page: the next line fits only in part.
        seed = (b"1 method=seed detail=" + b"s" * 78 + b"\n") * 40
        with open(self.log_path, "wb") as f:
            f.write(seed)
        filler = os.path.join(self.home, "filler")
        with open(filler, "wb", buffering=0) as f:
            for _ in range(10000):  # 64 KiB / 512 B, and then some
                try:
                    f.write(b"x" * 512)
                except OSError as error:
                    self.assertEqual(error.errno, errno.ENOSPC)
                    break
            else:
                self.fail("the small file system never filled up")

        self.log_event("the disk is full: " + "c" * 300)
        cut = self.log_bytes()
        self.assertGreater(len(cut), len(seed), "nothing of the line was written")
        self.assertFalse(cut.endswith(b"\n"), "the line was not cut: %r" % cut[-100:])

        os.unlink(filler)
        self.log_event("space again")
        self.assert_ends_with_whole_line(cut, "space again")


if __name__ == "__main__":
    unittest.main()
