"""The frame client against hosts that behave and hosts that do not."""
import os
import subprocess
import sys
import tempfile
import unittest

import harness


def tool(name):
    return harness.tool_command(name)

HERE = os.path.dirname(os.path.abspath(__file__))
FAKE_HOST = [sys.executable, os.path.join(HERE, "fake_host.py")]
LIMIT_SECONDS = 30
# The fake host is a Linux Python program. Wine starts a Linux program that a
# Windows program asks for, but hands it neither the pipes nor a process handle.
linux_fake_host = harness.not_on_windows("the fake host is a Linux program, which Wine starts from a Windows "
                                         "program without its pipes or a process handle")


def run_client(host_command, stdin_bytes, env=None):
    return subprocess.run(tool("nm-client") + host_command, input=stdin_bytes, capture_output=True,
                          timeout=LIMIT_SECONDS, env=env)


class AgainstAWellBehavedHost(unittest.TestCase):
    @linux_fake_host
    def test_lines_go_out_verbatim_and_replies_come_back_one_per_line(self):
        requests = b'{"id":1,"method":"hello"}\n\n  \t\n{"id": 2}\r\nnot json at all\n{"last":true}'
        result = run_client(FAKE_HOST + ["echo"], requests)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, b'{"id":1,"method":"hello"}\n{"id": 2}\nnot json at all\n{"last":true}\n')
        # The host's stderr is passed through untouched.
        self.assertEqual(result.stderr, b"fake host: echo\n")

    @linux_fake_host
    def test_no_input_sends_nothing_and_exits_with_the_host(self):
        result = run_client(FAKE_HOST + ["echo"], b"")
        self.assertEqual((result.returncode, result.stdout), (0, b""))

    @linux_fake_host
    def test_host_exit_status_becomes_the_clients(self):
        result = run_client(FAKE_HOST + ["echo-then-exit-5"], b"{}\n")
        self.assertEqual(result.returncode, 5)
        self.assertEqual(result.stdout, b"{}\n")

    @linux_fake_host
    def test_a_reply_of_exactly_the_limit_is_accepted(self):
        result = run_client(FAKE_HOST + ["largest-allowed"], b"{}\n[]\n")
        self.assertEqual(result.returncode, 0, result.stderr)
        replies = result.stdout.split(b"\n")
        self.assertEqual(len(replies[0]), 1024 * 1024)
        self.assertEqual(replies[1:], [b"[]", b""])

    def test_help_version_and_usage_errors(self):
        def run(*arguments):
            return subprocess.run(tool("nm-client") + list(arguments), capture_output=True, text=True,
                                  timeout=LIMIT_SECONDS)

        for option in ("--help", "-h"):
            shown = run(option)
            self.assertEqual(shown.returncode, 0)
            self.assertIn("not valid JSON are sent as they stand", shown.stdout)
        # Its own option, not a host command to start.
        version = run("--version")
        self.assertEqual((version.returncode, version.stderr), (0, ""))
        self.assertRegex(version.stdout, r"^orvix-nm-client \d+\.\d+\.\d+\n$")
        for arguments, what in (([], "no host command given"), (["--"], "no host command given"),
                                (["-x", "host"], "unknown option: -x")):
            with self.subTest(arguments=arguments):
                refused = run(*arguments)
                self.assertEqual((refused.returncode, refused.stdout, refused.stderr),
                                 (2, "", harness.usage_error("orvix-nm-client", what)))
        # After "--" every word is the host's command, even one that starts with '-'.
        started = run("--", "--version")
        self.assertEqual(started.returncode, 127)
        self.assertTrue(started.stderr.startswith("nm-client: cannot start --version: "), started.stderr)

    def test_a_host_that_cannot_start_is_reported(self):
        result = run_client(["/nonexistent/orvix-host"], b"{}\n")
        self.assertEqual(result.returncode, 127)
        self.assertRegex(result.stderr.decode(),
                         r"^nm-client: cannot start /nonexistent/orvix-host: .+ \(os error 2\)\r?\n$")


@linux_fake_host
class AgainstAFaultyHost(unittest.TestCase):
    def assert_fault(self, behaviour, message, exit_status=1):
        result = run_client(FAKE_HOST + [behaviour], b"{}\n{}\n")
        self.assertEqual(result.stdout, b"")
        self.assertEqual(result.stderr.decode(), "fake host: " + behaviour + "\n" + message + "\n")
        self.assertEqual(result.returncode, exit_status)

    def test_end_of_output_inside_the_length(self):
        self.assert_fault("short-length", "nm-client: host closed its output inside a frame (got 2 of 4 length bytes)")

    def test_end_of_output_inside_the_body(self):
        self.assert_fault("short-body", "nm-client: host closed its output inside a frame (got 3 of 10 body bytes)")

    def test_length_above_the_limit_stops_without_reading_the_body(self):
        self.assert_fault("oversized",
                          "nm-client: host sent a frame length of 1048577 bytes, above the limit of 1048576")

    def test_no_reply_at_all(self):
        self.assert_fault("silent", "nm-client: host closed its output without replying to line 1")

    def test_output_after_the_last_reply(self):
        result = run_client(FAKE_HOST + ["extra-after-last"], b"{}\n")
        self.assertEqual(result.stdout, b"{}\n")
        self.assertIn(b"nm-client: host wrote 20 bytes after its last reply\n", result.stderr)
        self.assertEqual(result.returncode, 1)

    def test_a_killed_host_gives_128_plus_its_signal(self):
        self.assert_fault("killed", "nm-client: host closed its output without replying to line 1", 128 + 9)


class AgainstTheRealHost(unittest.TestCase):
    """The client in front of the host this project builds, in a fresh home."""

    def test_hello_and_an_unknown_method(self):
        with tempfile.TemporaryDirectory() as home:
            env = dict(os.environ, ORVIX_HOME=home)
            requests = b'{"id":1,"method":"hello"}\n{"id":2,"method":"no.such.method"}\n'
            result = run_client(harness.host_program(), requests, env=env)
        self.assertEqual(result.returncode, 0, result.stderr)
        replies = result.stdout.decode().splitlines()
        self.assertEqual(len(replies), 2, result.stdout)
        self.assertTrue(replies[0].startswith('{"id":1,"method":"hello","result":{'), replies[0])
        self.assertTrue(replies[0].endswith(',"type":"response"}'), replies[0])
        self.assertTrue(replies[1].startswith('{"error":{"code":'), replies[1])
        self.assertTrue(replies[1].endswith('"id":2,"method":"no.such.method","type":"error"}'), replies[1])
        self.assertEqual(result.stderr.decode(),
                         "Orvix Chrome native host started.\nOrvix Chrome native host stopped.\n")


if __name__ == "__main__":
    unittest.main()
