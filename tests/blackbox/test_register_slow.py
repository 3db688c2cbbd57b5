"""doctor against hosts that never answer or never end: it gives up after
its 5 s limit, ends the host and everything the host started, and says so."""
import os
import time
import unittest

from test_register import ID_A, RegisterTestCase


def running(pid):
    """Whether `pid` is a live sleep (not gone, a zombie, or another program under a reused id)."""
    try:
        with open("/proc/%d/stat" % pid, encoding="utf-8") as f:
            state = f.read().rsplit(")", 1)[1].split()[0]
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return state != "Z" and b"sleep" in f.read()
    except FileNotFoundError:
        return False


class DoctorWithAHostThatNeverAnswers(RegisterTestCase):
    def test_doctor_gives_up_at_its_limit_and_ends_what_the_host_started(self):
        # Each host is a script that starts a child, which holds the host's
        # output open, and waits: one never answers, one answers (through
        # the real host) and then never ends.
        pid_file = os.path.join(self.tmp, "child")
        descriptor = os.path.join(self.env["ORVIX_HOME"], "data", "runtime", "chrome", "connection.json")
        never_answers = "sleep 1000 &\necho $! > %s\nwait\n" % pid_file
        cases = [
            (never_answers, "no reply from the host within 5 s; doctor ended it and every process it started."),
            ("%s \"$@\"\nsleep 1000 &\necho $! > %s\nwait\n" % (self.host, pid_file),
             "the host did not end within 5 s after its input closed; doctor ended it and every process it "
             "started."),
            # With a runtime named, a host may be waiting on a hanging one:
            # longer than doctor, so doctor says so rather than call it silent.
            (never_answers, "no reply from the host within 5 s; its hello first asks the runtime that %s names, and "
             "waits up to 21.5 s on one that takes the connection but does not answer: if that runtime is running, "
             "it may be hanging; doctor ended it and every process it started." % descriptor),
        ]
        self.detect("chromium")
        for index, (script, text) in enumerate(cases):
            with self.subTest(text=text):
                if index == 2:
                    self.write_file(descriptor, "{}")
                host = self.write_file(os.path.join(self.tmp, "host.sh"), "#!/bin/sh\n" + script, 0o755)
                result = self.run_tool("install", "--browser", "chromium", "--extension-id", ID_A, "--host", host)
                self.assertEqual(result.returncode, 0, result.stderr)
                started = time.monotonic()
                status, report = self.run_json("doctor")
                # Before, doctor waited 25 s for the reply and 25 s more for the end.
                self.assertLess(time.monotonic() - started, 30)
                self.assertEqual(status, 1, report)
                [row] = [r for r in report["registrations"] if r["registered"]]
                [problem] = row["problems"]
                self.assertEqual(problem["code"], "host_failed")
                self.assertTrue(problem["problem"].startswith(
                    "The host does not answer like the browser expects: " + text), problem["problem"])
                with open(pid_file, encoding="utf-8") as f:
                    child = int(f.read())
                self.assertFalse(running(child), "doctor left the host's child running")


if __name__ == "__main__":
    unittest.main()
