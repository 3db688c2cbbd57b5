"""doctor against a host that never answers: it waits out its limits (25 s
for the reply, 25 s for the end), says what the browser would see, and
leaves no host behind."""
import os
import unittest

from test_register import ID_A, RegisterTestCase


class DoctorWithAHostThatNeverAnswers(RegisterTestCase):
    def test_the_missing_reply_is_named_before_the_host_that_did_not_end(self):
        pid_file = os.path.join(self.tmp, "pid")
        silent = self.write_file(os.path.join(self.tmp, "silent.sh"),
                                 "#!/bin/sh\necho $$ > %s\nexec sleep 1000\n" % pid_file, 0o755)
        self.detect("chromium")
        result = self.run_tool("install", "--browser", "chromium", "--extension-id", ID_A, "--host", silent)
        self.assertEqual(result.returncode, 0, result.stderr)
        status, report = self.run_json("doctor")
        self.assertEqual(status, 1, report)
        [row] = [r for r in report["registrations"] if r["registered"]]
        [problem] = row["problems"]
        self.assertEqual((problem["code"], problem["problem"]), (
            "host_failed", "The host does not answer like the browser expects: no reply from the host: timed out, "
            "and the host did not end after its input closed: timed out."))
        with open(pid_file, encoding="utf-8") as f:
            pid = int(f.read())
        cmdline = "/proc/%d/cmdline" % pid
        if os.path.exists(cmdline):  # a zombie, or an unrelated process under a reused id
            with open(cmdline, "rb") as f:
                self.assertNotIn(b"sleep", f.read(), "doctor left the host running")


if __name__ == "__main__":
    unittest.main()
