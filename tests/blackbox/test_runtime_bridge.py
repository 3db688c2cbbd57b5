"""The host against real runtime peers: the sample runtime (same WebSocket
library as the host) and a misbehaving one written with another library."""
import errno
import json
import os
import socket
import time
import unittest

from harness import WINDOWS, RuntimeTestCase, build_dir, not_on_windows

CONNECTED_KEYS = {"descriptorPath", "nativeHost", "nativeHostVersion", "protocolVersion", "runtime", "runtimePid",
                  "runtimeVersion", "updatedAt"}


def forward(message, request_id=1):
    return {"id": request_id, "method": "runtime.request", "params": {"message": message}}


class AgainstSampleRuntime(RuntimeTestCase):
    def test_status_forwarding_and_logs(self):
        runtime = self.start_sample_runtime("--version", "5.6.7-sample")
        replies = self.ask(
            {"id": 1, "method": "hello"},
            forward({"type": "browser.native.poll", "payload": {}}, 2),
            forward({"type": "browser.native.complete", "requestId": "abc", "payload": {"ok": True, "wantCommand": True}}, 3),
        )
        status = replies[0]["result"]
        self.assertEqual(set(status), CONNECTED_KEYS)
        self.assertEqual(status["runtime"], "connected")
        self.assertEqual(status["runtimeVersion"], "5.6.7-sample")
        if WINDOWS:
            # Python knows Wine's Linux process id, the runtime its Windows one.
            with open(self.descriptor_path, encoding="utf-8") as f:
                self.assertEqual(status["runtimePid"], json.load(f)["pid"])
        else:
            self.assertEqual(status["runtimePid"], runtime.process.pid)

        poll = replies[1]
        self.assertEqual(poll["type"], "response")
        self.assertRegex(poll["result"]["requestId"], r"^native-host-\d+-\d{13}$")
        self.assertEqual(poll["result"]["payload"]["echo"]["type"], "browser.native.poll")

        complete = replies[2]["result"]
        self.assertEqual(complete["requestId"], "abc")
        self.assertEqual(complete["payload"]["command"], {"name": "noop"})
        self.assertEqual(self.log_lines(), [
            ("runtime.request", "browser.native.complete"),
            ("runtime.request.summary", "ok=true"),
            ("runtime.response", complete["type"]),
        ])

    def test_stopped_runtime_is_not_running(self):
        runtime = self.start_sample_runtime()
        runtime.stop()
        (reply,) = self.ask({"id": 1, "method": "host.status"})
        self.assertEqual(reply["result"]["runtime"], "not_running")


class AgainstMisbehavingRuntime(RuntimeTestCase):
    def test_skips_other_answers_and_binary_messages(self):
        self.start_misbehaving_runtime("skip-then-match")
        (reply,) = self.ask(forward({"type": "t", "requestId": "r-1", "n": [1, 2.5, None]}))
        self.assertEqual(reply["result"]["requestId"], "r-1")
        self.assertEqual(reply["result"]["payload"]["echo"], {"n": [1, 2.5, None], "requestId": "r-1", "type": "t"})

    def test_request_is_compact_and_handshake_minimal(self):
        self.start_misbehaving_runtime("match")
        self.ask(forward({"z": 1, "a": {"y": True, "b": "é"}, "requestId": "id"}))
        (record,) = self.peer_messages()
        self.assertEqual(record["message"], '{"a":{"b":"é","y":true},"requestId":"id","z":1}')
        self.assertEqual(record["target"], "/")
        names = sorted(name.lower() for name, _ in record["headers"])
        self.assertEqual(names, ["connection", "host", "sec-websocket-key", "sec-websocket-version", "upgrade"])

    def test_non_json_answer(self):
        self.start_misbehaving_runtime("non-json")
        (reply,) = self.ask(forward({"type": "t"}))
        self.assertEqual(reply["error"], {"code": "runtime_response_invalid",
                                          "message": "expected value at line 1 column 1"})

    def test_close_before_answer(self):
        self.start_misbehaving_runtime("close-before-answer")
        (reply,) = self.ask(forward({"type": "t"}))
        self.assertEqual(reply["error"]["code"], "runtime_response_read_failed")
        self.assertEqual(self.log_lines(), [("runtime.request", "t")])

    def test_status_answers(self):
        cases = [
            ("status-version", "connected", "9.8.7-test", None),
            ("status-no-version", "connected", "1.2.3", None),
            # An empty build version is still the runtime's own word.
            ("status-empty-version", "connected", "", None),
            ("status-wrong-type", "unreachable", "1.2.3",
             {"code": "runtime_response_invalid", "message": "Runtime returned an unexpected response type."}),
        ]
        for mode, state, version, error in cases:
            with self.subTest(mode=mode):
                self.start_misbehaving_runtime(mode)
                (reply,) = self.ask({"id": 1, "method": "hello"})
                result = reply["result"]
                self.assertEqual(result["runtime"], state)
                self.assertEqual(result["runtimeVersion"], version)
                self.assertEqual(result.get("error"), error)
                self.assertEqual(result["updatedAt"], 1733480000123)
                probe = json.loads(self.peer_messages()[-1]["message"])
                self.assertEqual(set(probe), {"requestId", "type"})
                self.assertEqual(probe["type"], "runtime.get")

    def test_ipv6_loopback(self):
        try:
            with socket.socket(socket.AF_INET6) as probe:
                probe.bind(("::1", 0))
        except OSError:
            self.skipTest("no IPv6 loopback on this machine")
        self.start_misbehaving_runtime("match", host="::1")
        (reply,) = self.ask(forward({"requestId": "v6"}))
        self.assertEqual(reply["result"]["requestId"], "v6")


@not_on_windows("the refusal comes from a Linux preload library")
class RefusedResources(RuntimeTestCase):
    """What the system refuses while one request is served fails that request alone."""

    def refusing(self, rule):
        env = dict(self.env, ORVIX_REFUSE=rule, LD_PRELOAD=os.path.join(build_dir(), "refuse_calls.so"))
        # The sanitizer's runtime would refuse to start behind a preloaded library.
        env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "verify_asan_link_order=0"]))
        return env

    def test_a_refused_event_poller_or_socket_fails_its_request_and_the_next_is_served(self):
        self.start_sample_runtime()
        for call, name in (("epoll_create1", "EMFILE"), ("epoll_create1", "ENOMEM"), ("socket", "EMFILE")):
            with self.subTest(call=call, error=name):
                code = getattr(errno, name)
                refused = {"code": "runtime_connect_failed", "message": "%s (os error %d)" % (os.strerror(code), code)}
                # The first two calls fail; what was refused is made again for the third.
                replies = self.ask({"id": 1, "method": "hello"}, forward({"type": "t"}, 2),
                                   {"id": 3, "method": "hello"}, forward({"type": "t"}, 4),
                                   env=self.refusing("%s=%s:2" % (call, name)))
                self.assertEqual(replies[0]["result"]["runtime"], "unreachable")
                self.assertEqual(replies[0]["result"]["error"], refused)
                self.assertEqual(replies[1]["error"], refused)
                self.assertEqual(replies[2]["result"]["runtime"], "connected")
                self.assertEqual(replies[3]["result"]["type"], "t.result")


@not_on_windows("the record comes from a Linux preload library")
class HowLargeMessagesCrossTheSocket(RuntimeTestCase):
    """A page-sized message and its echo each leave in large writes, on
    sockets that send each write at once: no part of either waits for the
    other side's delayed acknowledgement."""

    def recording(self, name):
        path = os.path.join(self.tmp, name)
        env = dict(self.env, ORVIX_RECORD_SOCKET_CALLS=path,
                   LD_PRELOAD=os.path.join(build_dir(), "record_socket_calls.so"))
        env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "verify_asan_link_order=0"]))
        return env, path

    @staticmethod
    def calls(path):
        """(call, offered, moved, no_delay) of each recorded call."""
        with open(path) as f:
            return [(call, int(offered), max(int(moved), 0), no_delay == "1")
                    for call, _, offered, moved, no_delay in (line.split() for line in f)]

    def assert_sent_in_large_pieces(self, sends, size):
        """After the handshake, the message of at least `size` bytes goes out
        in sends that each offer all that is left of it, or 64 KiB: the most
        the I/O library's write loop hands its stream at once."""
        left = size
        for _, offered, moved, _ in sends[1:]:
            if left <= 0:
                break
            self.assertGreaterEqual(offered, min(left, 65536), sends[:8])
            left -= moved
        self.assertLessEqual(left, 0)

    def test_a_page_sized_message_and_its_echo(self):
        runtime_env, runtime_record = self.recording("runtime-calls")
        host_env, host_record = self.recording("host-calls")
        self.start_sample_runtime(env=runtime_env)
        text = "Page text, \u00e9t\u00e9 \"quoted\"\n" * 16000
        (reply,) = self.ask(forward({"type": "page", "payload": {"text": text}}), env=host_env)
        self.assertEqual(reply["result"]["payload"]["echo"]["payload"]["text"], text)

        size = len(json.dumps(text, ensure_ascii=False).encode())
        for who, path in (("host", host_record), ("runtime", runtime_record)):
            with self.subTest(who):
                calls = self.calls(path)
                self.assertTrue(all(no_delay for _, _, _, no_delay in calls), calls[:8])
                self.assert_sent_in_large_pieces([c for c in calls if c[0] == "send"], size)
        # The host reads the echo in reads as large as what is left of it (or
        # its own frame limit), not in small pieces.
        reads = [c for c in self.calls(host_record) if c[0] == "recv" and c[2] > 0]
        self.assertLessEqual(len(reads), 2 + size // 16384, reads[:8])


class ConnectionFailures(RuntimeTestCase):
    def test_connection_refused(self):
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        self.write_descriptor(self.descriptor("ws://127.0.0.1:%d/" % port))
        replies = self.ask({"id": 1, "method": "hello"}, forward({"type": "t"}, 2))
        self.assertEqual(replies[0]["result"]["runtime"], "unreachable")
        error = replies[0]["result"]["error"]
        self.assertEqual(error["code"], "runtime_connect_failed")
        if WINDOWS:
            self.assertRegex(error["message"], r"^.+ \(os error 10061\)$")
        else:
            self.assertEqual(error["message"], "Connection refused (os error 111)")
        self.assertEqual(replies[1]["error"]["code"], "runtime_connect_failed")

    def test_connect_timeout(self):
        # A listener whose accept queue is full drops new connection attempts.
        listener = socket.socket()
        self.addCleanup(listener.close)
        listener.bind(("127.0.0.1", 0))
        listener.listen(0)
        fillers = []
        for _ in range(8):
            s = socket.socket()
            s.setblocking(False)
            s.connect_ex(listener.getsockname())
            fillers.append(s)
        self.addCleanup(lambda: [s.close() for s in fillers])
        time.sleep(0.2)
        self.write_descriptor(self.descriptor("ws://127.0.0.1:%d/" % listener.getsockname()[1]))
        started = time.monotonic()
        (reply,) = self.ask(forward({"type": "t"}))
        elapsed = time.monotonic() - started
        self.assertEqual(reply["error"], {"code": "runtime_connect_failed", "message": "connection timed out"})
        self.assertGreater(elapsed, 1.0)
        self.assertLess(elapsed, 15)

    def test_unresolvable_host(self):
        # A label over 63 bytes cannot be put in a DNS query: the resolver
        # refuses it without asking the network.
        self.write_descriptor(self.descriptor("ws://%s.invalid:9000/" % ("a" * 64)))
        (reply,) = self.ask(forward({"type": "t"}))
        self.assertEqual(reply["error"]["code"], "runtime_host_resolve_failed")


if __name__ == "__main__":
    unittest.main()
