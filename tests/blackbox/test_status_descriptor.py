"""Status methods and runtime.request when the descriptor cannot be used:
no runtime connection is attempted in any of these cases."""
import json
import os
import unittest

from harness import WINDOWS, HostTestCase, frame, host_path

CONSTANT = {"nativeHost": "connected", "nativeHostVersion": "0.1.0", "protocolVersion": 1}


class StatusWithoutRuntime(HostTestCase):
    def status(self, env=None):
        (reply,) = self.ask({"id": 1, "method": "host.status"}, env=env)
        self.assertEqual(reply["type"], "response")
        return reply["result"]

    def test_home_unresolved_reply_is_byte_exact(self):
        # The whole reply as the browser gets it: member order, texts and
        # versions, with no home to name.
        env = {"PATH": self.env["PATH"]}
        run = self.run_host(frame({"id": 1, "method": "hello"}), env=env)
        self.assertEqual(
            run.bodies[0],
            b'{"id":1,"method":"hello","result":{"error":{"code":"orvix_home_unresolved","message":"ORVIX_HOME could '
            b'not be resolved."},"nativeHost":"connected","nativeHostVersion":"0.1.0","protocolVersion":1,'
            b'"runtime":"not_running"},"type":"response"}',
        )

    def test_missing_descriptor(self):
        result = dict(CONSTANT, runtime="not_running", descriptorPath=self.host_descriptor_path,
                      error={"code": "runtime_descriptor_missing",
                             "message": "Runtime connection descriptor was not found."})
        run = self.run_host(frame({"id": 1, "method": "host.status"}))
        # Part of this result is written as fixed text: the bytes must be the
        # compact form with members in ascending order, as for any result.
        reply = {"id": 1, "method": "host.status", "result": result, "type": "response"}
        self.assertEqual(run.bodies, [json.dumps(reply, separators=(",", ":"), sort_keys=True).encode()])
        self.assertEqual(self.log_lines(), [])  # status methods write no log line

    def test_descriptor_found_through_USERPROFILE(self):
        profile = os.path.join(self.tmp, "profile")
        env = {"PATH": self.env["PATH"], "USERPROFILE": profile}
        result = self.status(env)
        self.assertEqual(result["descriptorPath"],
                         host_path(profile, ".orvix", "data", "runtime", "chrome", "connection.json"))
        self.assertFalse(os.path.exists(profile))  # nothing is created on the descriptor side

    def test_unreadable_descriptors(self):
        cases = [
            (b"", "runtime_descriptor_invalid", "EOF while parsing a value at line 1 column 0"),
            (b"\xef\xbb\xbf{}", "runtime_descriptor_invalid", "expected value at line 1 column 1"),
            (b'{"pid":"12"}', "runtime_descriptor_invalid", 'invalid type: string "12", expected u32 at line 1 column 11'),
            # Written with a closing line feed, as runtimes tend to: placed just past the brace.
            (b'{"pid":1}\n', "runtime_descriptor_invalid", "missing field `protocolVersion` at line 1 column 9"),
            (b"{\"a\":\"\xff\"}", "runtime_descriptor_read_failed", "stream did not contain valid UTF-8"),
        ]
        for content, code, message in cases:
            with self.subTest(content=content):
                self.write_descriptor(content)
                result = self.status()
                self.assertEqual(result, dict(CONSTANT, runtime="unreachable", descriptorPath=self.host_descriptor_path,
                                              error={"code": code, "message": message}))

    def test_directory_at_the_descriptor_path_is_a_read_failure(self):
        os.makedirs(self.descriptor_path)
        result = self.status()
        self.assertEqual(result["runtime"], "unreachable")
        self.assertEqual(result["error"]["code"], "runtime_descriptor_read_failed")
        if WINDOWS:
            # A directory cannot be opened as a file: access denied.
            self.assertRegex(result["error"]["message"], r"^.+ \(os error 5\)$")
        else:
            self.assertEqual(result["error"]["message"], "Is a directory (os error 21)")

    def test_protocol_mismatch_and_missing_member(self):
        self.write_descriptor(self.descriptor("ws://127.0.0.1:9/", protocolVersion=3))
        self.assertEqual(self.status(), dict(CONSTANT, runtime="version_mismatch", error={
            "code": "runtime_descriptor_protocol_unsupported",
            "message": "Runtime descriptor protocol version is not supported: 3"}))
        record = self.descriptor("ws://127.0.0.1:9/", protocolVersion=2)
        del record["wsUrl"]
        self.write_descriptor(record)
        self.assertEqual(self.status()["error"]["code"], "runtime_descriptor_invalid")

    def test_malformed_url_is_unreachable_not_a_descriptor_error(self):
        cases = [
            ("ws://127.0.0.1/", "runtime_ws_url_missing_port", "Runtime WebSocket URL is missing a port."),
            ("ws://127.0.0.1:80/", "runtime_ws_url_missing_port", "Runtime WebSocket URL is missing a port."),
            ("wss://127.0.0.1:9000/", "runtime_ws_url_unsupported",
             "Runtime WebSocket URL scheme is not supported: wss"),
            ("http://127.0.0.1:9000/", "runtime_ws_url_unsupported",
             "Runtime WebSocket URL scheme is not supported: http"),
        ]
        for url, code, message in cases:
            with self.subTest(url=url):
                self.write_descriptor(self.descriptor(url))
                result = self.status()
                self.assertEqual(result, dict(CONSTANT, runtime="unreachable", descriptorPath=self.host_descriptor_path,
                                              runtimePid=4242, runtimeVersion="1.2.3", updatedAt=1733480000123,
                                              error={"code": code, "message": message}))
        self.write_descriptor(self.descriptor(""))
        self.assertEqual(self.status()["error"]["code"], "runtime_ws_url_invalid")


class ForwardingWithoutRuntime(HostTestCase):
    def test_descriptor_error_comes_first_and_logs_stay(self):
        replies = self.ask(
            {"id": 1, "method": "runtime.request"},
            {"id": 2, "method": "runtime.request", "params": {"message": {"type": "browser.native.poll"}}},
            {"id": 3, "method": "runtime.request",
             "params": {"message": {"type": "browser.native.complete", "payload": {"ok": "true"}}}},
            {"id": 4, "method": "runtime.request",
             "params": {"message": {"type": "browser.native.complete", "payload": {"ok": False}}}},
            {"id": 5, "method": "runtime.request", "params": {"message": {"type": 7}}},
        )
        for reply in replies:
            self.assertEqual(reply["error"], {"code": "runtime_descriptor_missing",
                                              "message": "Runtime connection descriptor was not found."})
            self.assertEqual(reply["type"], "error")
        self.assertEqual(self.log_lines(), [
            ("runtime.request", "unknown"),
            ("runtime.request", "browser.native.complete"), ("runtime.request.summary", "ok=unknown"),
            ("runtime.request", "browser.native.complete"), ("runtime.request.summary", "ok=false"),
            ("runtime.request", "unknown"),
        ])

    def test_invalid_messages_are_refused_before_connecting(self):
        # Nothing listens at this port; a refused message must not even try.
        self.write_descriptor(self.descriptor("ws://127.0.0.1:9/"))
        replies = self.ask(
            {"id": 1, "method": "runtime.request"},
            {"id": 2, "method": "runtime.request", "params": {"message": [1]}},
            {"id": 3, "method": "runtime.request", "params": {"message": {"requestId": ""}}},
            {"id": 4, "method": "runtime.request", "params": {"message": {"requestId": 7}}},
        )
        payload = "Runtime request payload must be a JSON object."
        request_id = "Runtime requestId must be a non-empty string when provided."
        self.assertEqual([r["error"] for r in replies], [
            {"code": "runtime_request_invalid", "message": payload},
            {"code": "runtime_request_invalid", "message": payload},
            {"code": "runtime_request_invalid", "message": request_id},
            {"code": "runtime_request_invalid", "message": request_id},
        ])


if __name__ == "__main__":
    unittest.main()
