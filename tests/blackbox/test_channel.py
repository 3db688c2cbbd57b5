"""The native channel and the host's lifecycle, seen from the browser's side."""
import os
import resource
import struct
import subprocess
import time
import unittest

from harness import EXITED, STARTED, STOPPED, HostTestCase, encode, frame, host_command


class CleanEnd(HostTestCase):
    def test_empty_or_short_input_ends_cleanly(self):
        for stdin in (b"", b"\x01", b"\x01\x00\x00"):
            with self.subTest(stdin=stdin):
                run = self.run_host(stdin)
                self.assertEqual(run.stderr, STARTED + STOPPED)
                self.assertEqual(run.stdout, b"")
                self.assertEqual(run.returncode, 0)

    def test_closed_stdin_still_announces_start(self):
        completed = subprocess.run(host_command(), stdin=subprocess.DEVNULL, capture_output=True, env=self.env, timeout=30)
        self.assertEqual(completed.stderr, STARTED + STOPPED)
        proc = subprocess.run(host_command(), stdin=None, capture_output=True, env=self.env, timeout=30,
                              preexec_fn=lambda: __import__("os").close(0))
        self.assertTrue(proc.stderr.startswith(STARTED))
        self.assertEqual(proc.returncode, 0)

    def test_without_stderr_everything_else_works(self):
        proc = subprocess.run(host_command(), input=frame({"id": 1, "method": "host.log", "params": {"event": "e"}}),
                              stdout=subprocess.PIPE, env=self.env, timeout=30, preexec_fn=lambda: os.close(2))
        self.assertEqual(proc.returncode, 0)
        self.assertEqual(proc.stdout[4:], b'{"id":1,"method":"host.log","result":{"ok":true},"type":"response"}')
        self.assertEqual(self.log_lines(), [("host.log", "e")])

    def test_stderr_that_nobody_reads_does_not_end_the_host(self):
        # A pipe whose reading end is closed before the host starts: every
        # line the host writes there fails, and must not raise SIGPIPE.
        read_end, write_end = os.pipe()
        os.close(read_end)
        try:
            run = self.run_host(frame({"id": 1, "method": "host.log", "params": {"event": "e"}}), stderr=write_end,
                                timeout=30)
        finally:
            os.close(write_end)
        self.assertEqual(run.returncode, 0)
        self.assertEqual(run.bodies, [b'{"id":1,"method":"host.log","result":{"ok":true},"type":"response"}'])
        self.assertEqual(self.log_lines(), [("host.log", "e")])

    def test_replies_in_request_order_then_stop(self):
        replies = self.ask({"id": 1, "method": "a"}, {"id": 2, "method": "b"}, {"id": 3, "method": "c"})
        self.assertEqual([r["id"] for r in replies], [1, 2, 3])


class ChannelErrors(HostTestCase):
    @staticmethod
    def reap(proc):
        if proc.poll() is None:
            proc.kill()
        proc.wait(timeout=10)
        for stream in (proc.stdin, proc.stdout, proc.stderr):
            if stream and not stream.closed:
                stream.close()

    def test_body_cut_short(self):
        run = self.run_host(struct.pack("<I", 10) + b"12345")
        self.assert_failed_with(run, "failed to fill whole buffer")
        self.assertEqual(run.stdout, b"")

    def test_empty_body_is_not_json(self):
        run = self.run_host(struct.pack("<I", 0))
        self.assert_failed_with(run, "Native message is not valid JSON: EOF while parsing a value at line 1 column 0")

    def test_reply_then_bad_json_then_nothing_more(self):
        stdin = frame({"id": 1, "method": "x"}) + frame(b"{} {}") + frame({"id": 2, "method": "y"})
        run = self.run_host(stdin)
        self.assertEqual(len(run.bodies), 1)
        self.assert_failed_with(run, "Native message is not valid JSON: trailing characters at line 1 column 4")

    def test_oversized_length_is_refused_without_waiting_for_the_body(self):
        proc = subprocess.Popen(host_command(), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, env=self.env)
        self.addCleanup(self.reap, proc)
        proc.stdin.write(struct.pack("<I", 1048577))
        proc.stdin.flush()
        # stdin stays open: the host must not wait for the body.
        deadline = time.monotonic() + 20
        while proc.poll() is None and time.monotonic() < deadline:
            time.sleep(0.02)
        self.assertIsNotNone(proc.poll(), "host waited for a body it must refuse")
        err = proc.stderr.read()
        self.assertEqual(err, STARTED + EXITED + b"Native message exceeds the maximum supported size.\n")
        self.assertEqual(proc.stdout.read(), b"")
        proc.stdin.close()
        self.assertEqual(proc.returncode, 0)

    def test_largest_body_is_accepted(self):
        prefix = b'{"id":9,"method":"m","pad":"'
        body = prefix + b"x" * (1048576 - len(prefix) - 2) + b'"}'
        self.assertEqual(len(body), 1048576)
        run = self.run_host(frame(body))
        self.assertEqual(run.stderr, STARTED + STOPPED)
        self.assertEqual(run.replies[0]["id"], 9)

    def test_oversized_reply_writes_nothing(self):
        # The unsupported reply repeats the method name twice: over 1 MiB in all.
        run = self.run_host(frame({"method": "m" * 600000}))
        self.assertEqual(run.stdout, b"")
        self.assert_failed_with(run, "Native response exceeds the maximum supported size.")

    def test_closed_stdout_ends_with_the_system_error(self):
        proc = subprocess.Popen(host_command(), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, env=self.env)
        self.addCleanup(self.reap, proc)
        proc.stdout.close()
        _, err = proc.communicate(frame({"id": 1, "method": "hello"}) + frame({"id": 2, "method": "hello"}), timeout=30)
        self.assertEqual(err, STARTED + EXITED + b"Broken pipe (os error 32)\n")
        self.assertEqual(proc.returncode, 0)


@unittest.skipIf(os.environ.get("ORVIX_TARGET_OS") == "Windows", "the address-space limit is POSIX's")
class LastResort(HostTestCase):
    HELLO = frame({"id": 1, "method": "hello"})

    def address_space_after_hello(self):
        """The host's peak address space in bytes once it has answered a hello."""
        proc = subprocess.Popen(host_command(), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, env=self.env)
        try:
            proc.stdin.write(self.HELLO)
            proc.stdin.flush()
            (length,) = struct.unpack("<I", proc.stdout.read(4))
            proc.stdout.read(length)
            with open("/proc/%d/status" % proc.pid) as status:
                peak = next(line for line in status if line.startswith("VmPeak:"))
            return int(peak.split()[1]) * 1024
        finally:
            proc.communicate(timeout=30)

    def test_running_out_of_memory_ends_the_host_with_its_line(self):
        peak = self.address_space_after_hello()
        if peak > 1 << 40:
            self.skipTest("the address sanitizer reserves terabytes and reports running out of memory itself")
        # Room for a hello, not for the tree of half a million numbers.
        limit = peak + 4 * 1024 * 1024
        numbers = frame(b'{"id":2,"method":"x","numbers":[' + b"0," * 500000 + b"0]}")
        run = self.run_host(self.HELLO + numbers + self.HELLO, timeout=60,
                            preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_AS, (limit, limit)))
        self.assertEqual(len(run.bodies), 1)
        self.assertEqual(run.replies[0]["id"], 1)
        self.assert_failed_with(run, "internal error: std::bad_alloc")


class Framing(HostTestCase):
    def test_reply_is_compact_sorted_and_length_prefixed(self):
        run = self.run_host(frame({"type": "q", "method": "nope", "id": 3}))
        body = run.bodies[0]
        self.assertEqual(
            body,
            b'{"error":{"code":"unsupported_method","message":"Native host method is not supported: nope"},'
            b'"id":3,"method":"nope","type":"error"}',
        )
        self.assertEqual(run.stdout[:4], struct.pack("<I", len(body)))

    def test_whitespace_around_the_value(self):
        replies = self.ask(b'  {"id":1}\x20\r\n')
        self.assertEqual(replies[0]["id"], 1)

    def test_nesting_limit(self):
        ok = b"[" * 127 + b"]" * 127
        self.assertEqual(self.ask({"id": 1, "x": ok.decode()})[0]["id"], 1)
        run = self.run_host(frame(b'{"id":' + b"[" * 127 + b"]" * 127 + b"}"))
        self.assert_failed_with(run, "Native message is not valid JSON: recursion limit exceeded at line 1 column 133")

    def test_repeated_member_keeps_later_value(self):
        self.assertEqual(self.ask(b'{"id":1,"id":2}')[0]["id"], 2)

    def test_id_round_trips_exactly(self):
        cases = [
            (b'"abc"', b'"abc"'),
            (b"1.5", b"1.5"),
            (b"1E2", b"100.0"),
            (b"-0", b"-0.0"),
            (b"18446744073709551615", b"18446744073709551615"),
            (b"-9223372036854775808", b"-9223372036854775808"),
            (b'{"b":[true,null],"a":{}}', b'{"a":{},"b":[true,null]}'),
            (b'"\\u000b\\u001f\\/\xc3\xa9\\u007f\\ud83d\\ude00"', b'"\\u000b\\u001f/\xc3\xa9\x7f\xf0\x9f\x98\x80"'),
            (b'"\\b\\f\\n\\r\\t\\"\\\\"', b'"\\b\\f\\n\\r\\t\\"\\\\"'),
        ]
        for raw, written in cases:
            with self.subTest(raw=raw):
                run = self.run_host(frame(b'{"id":' + raw + b',"method":"x"}'))
                self.assertTrue(run.bodies[0].startswith(b'{"error":'), run.bodies)
                self.assertIn(b',"id":' + written + b',"method":"x",', run.bodies[0])


if __name__ == "__main__":
    unittest.main()
