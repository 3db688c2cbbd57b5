"""The sample runtime: descriptor publication, answers, concurrency, shutdown."""
import asyncio
import base64
import json
import os
import re
import signal
import socket
import subprocess
import tempfile
import time
import unittest

import websockets

import harness


def tool(name):
    return harness.tool_command(name)

LIMIT_SECONDS = 20
READY_LINE = re.compile(r"^sample runtime listening on (ws://127\.0\.0\.1:(\d+)/) \(descriptor (.+)\)\n$")


class SampleRuntime:
    """A running sample runtime in its own product home."""

    def __init__(self, *arguments):
        self.home = tempfile.TemporaryDirectory()
        env = dict(os.environ, ORVIX_HOME=self.home.name)
        self.process = subprocess.Popen(tool("sample-runtime") + list(arguments), stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, env=env, text=True)
        ready = self.process.stdout.readline()
        match = READY_LINE.match(ready)
        if not match:
            self.process.kill()
            raise AssertionError("no ready line: %r %r" % (ready, self.process.stderr.read()))
        # The path as the runtime printed it (a Windows path under Wine), and
        # the same file as this test reaches it.
        self.url, self.port, self.descriptor_path = match.group(1), int(match.group(2)), match.group(3)
        self.descriptor_file = os.path.join(self.home.name, "data", "runtime", "chrome", "connection.json")

    def stop(self, signal_number=None):
        # Wine ends a Windows program on SIGTERM at once; SIGINT reaches it as
        # Ctrl+C, which the sample runtime handles.
        if signal_number is None:
            signal_number = signal.SIGINT if harness.WINDOWS else signal.SIGTERM
        self.process.send_signal(signal_number)
        return self.process.wait(timeout=LIMIT_SECONDS)

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=LIMIT_SECONDS)
        self.process.stdout.close()
        self.process.stderr.close()
        self.home.cleanup()


async def exchange(url, *messages, answers=None):
    """Sends the messages on one connection and collects `answers` messages (default: one per message)."""
    received = []
    async with websockets.connect(url, open_timeout=LIMIT_SECONDS) as connection:
        for message in messages:
            await connection.send(message)
        for _ in range(len(messages) if answers is None else answers):
            received.append(await asyncio.wait_for(connection.recv(), LIMIT_SECONDS))
    return received


def ask(url, *messages, answers=None):
    return asyncio.run(exchange(url, *messages, answers=answers))


class RuntimeTestCase(unittest.TestCase):
    arguments = ()

    def setUp(self):
        self.runtime = SampleRuntime(*self.arguments)
        self.addCleanup(self.runtime.close)


class Publication(RuntimeTestCase):
    arguments = ("--version", "7.1.0-test")

    def test_descriptor_names_this_process_and_its_address(self):
        self.assertEqual(self.runtime.descriptor_path,
                         harness.host_path(self.runtime.home.name, "data", "runtime", "chrome", "connection.json"))
        with open(self.runtime.descriptor_file, encoding="utf-8") as file:
            descriptor = json.load(file)
        self.assertEqual(set(descriptor), {"protocolVersion", "pid", "runtimeVersion", "wsUrl", "updatedAt"})
        self.assertEqual(descriptor["protocolVersion"], 1)
        if harness.WINDOWS:
            # Python sees Wine's Linux process id; the runtime writes its Windows one.
            self.assertGreater(descriptor["pid"], 0)
        else:
            self.assertEqual(descriptor["pid"], self.runtime.process.pid)
        self.assertEqual(descriptor["runtimeVersion"], "7.1.0-test")
        self.assertEqual(descriptor["wsUrl"], self.runtime.url)
        self.assertLess(abs(descriptor["updatedAt"] - time.time() * 1000), 60_000)

    @harness.not_on_windows("Wine ends a Windows program on SIGTERM without running its handlers")
    def test_sigterm_removes_the_descriptor_and_exits_0(self):
        self.assertEqual(self.runtime.stop(signal.SIGTERM), 0)
        self.assertFalse(os.path.exists(self.runtime.descriptor_file))
        self.assertEqual(os.listdir(os.path.dirname(self.runtime.descriptor_file)), [])

    def test_sigint_removes_the_descriptor_and_exits_0(self):
        self.assertEqual(self.runtime.stop(signal.SIGINT), 0)
        self.assertFalse(os.path.exists(self.runtime.descriptor_file))

    def test_a_descriptor_removed_by_someone_else_is_no_failure(self):
        os.remove(self.runtime.descriptor_file)
        self.assertEqual(self.runtime.stop(), 0)

    def test_a_descriptor_replaced_by_another_runtime_is_left_alone(self):
        with open(self.runtime.descriptor_file, "w", encoding="utf-8") as file:
            file.write('{"someone":"else"}')
        self.assertEqual(self.runtime.stop(), 0)
        with open(self.runtime.descriptor_file, encoding="utf-8") as file:
            self.assertEqual(file.read(), '{"someone":"else"}')


class FixedPort(unittest.TestCase):
    def test_listens_on_the_port_given(self):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        runtime = SampleRuntime("--port", str(port))
        self.addCleanup(runtime.close)
        self.assertEqual(runtime.url, "ws://127.0.0.1:%d/" % port)
        self.assertEqual(json.loads(ask(runtime.url, '{"requestId":"p"}')[0])["requestId"], "p")

    def test_bad_arguments_are_refused(self):
        cases = [
            (["--port", "65536"], "not a port number (0 to 65535): 65536"),
            # The scheme's default port: the published URL would name no port.
            (["--port", "80"], "port 80 cannot be published: ws://127.0.0.1:80/ names no port for the host"),
            (["--port"], "--port needs a value"),
            # Alone, --version asks for the program's version; otherwise it needs the text to publish.
            (["--port", "0", "--version"], "--version needs a value"),
            (["--bogus"], "unknown argument: --bogus"),
        ]
        for arguments, what in cases:
            with self.subTest(arguments=arguments):
                result = subprocess.run(tool("sample-runtime") + arguments, capture_output=True, text=True,
                                        timeout=LIMIT_SECONDS)
                self.assertEqual((result.returncode, result.stdout, result.stderr),
                                 (2, "", harness.usage_error("orvix-sample-runtime", what)))


class Answers(RuntimeTestCase):
    arguments = ("--version", "3.4.5")

    def test_runtime_get_reports_the_version(self):
        answer = ask(self.runtime.url, '{"type":"runtime.get","requestId":"r-1"}')
        self.assertEqual(answer, ['{"payload":{"build":{"version":"3.4.5"}},"requestId":"r-1","type":"runtime.status"}'])

    def test_other_requests_are_echoed_under_a_derived_type(self):
        typed, untyped = ask(self.runtime.url, '{"type":"browser.native.poll","requestId":"a","payload":{"n":1}}',
                             '{"requestId":"b"}')
        self.assertEqual(json.loads(typed), {
            "payload": {"echo": {"type": "browser.native.poll", "requestId": "a", "payload": {"n": 1}}},
            "requestId": "a", "type": "browser.native.poll.result"})
        self.assertEqual(json.loads(untyped),
                         {"payload": {"echo": {"requestId": "b"}}, "requestId": "b", "type": "runtime.result"})

    def test_want_command_adds_a_command_object(self):
        answer = json.loads(ask(self.runtime.url, '{"type":"t","requestId":"c","payload":{"wantCommand":true}}')[0])
        self.assertEqual(answer["payload"]["command"], {"name": "noop"})
        answer = json.loads(ask(self.runtime.url, '{"type":"t","requestId":"c","payload":{"wantCommand":1}}')[0])
        self.assertNotIn("command", answer["payload"])

    def test_noise_comes_before_the_answer(self):
        # Whatever id the request carries, the noise object carries another.
        for request_id in ("n", "noise", "sample-runtime-noise"):
            request = json.dumps({"requestId": request_id, "payload": {"sendNoiseFirst": True}})
            received = ask(self.runtime.url, request, answers=4)
            self.assertIsInstance(received[0], bytes)
            self.assertNotEqual(json.loads(received[1])["requestId"], request_id)
            self.assertIsInstance(json.loads(received[2]), list)
            self.assertEqual(json.loads(received[3])["requestId"], request_id)

    def test_messages_without_a_string_request_id_get_no_answer(self):
        received = ask(self.runtime.url, "not json", b'{"requestId":"binary"}', "[1]", '{"requestId":5}',
                       '{"requestId":"last"}', answers=1)
        self.assertEqual(json.loads(received[0])["requestId"], "last")


class Connections(RuntimeTestCase):
    def test_two_connections_are_served_at_once(self):
        async def interleaved():
            async with websockets.connect(self.runtime.url) as first, websockets.connect(self.runtime.url) as second:
                await second.send('{"requestId":"second"}')
                second_answer = await asyncio.wait_for(second.recv(), LIMIT_SECONDS)
                await first.send('{"requestId":"first"}')
                first_answer = await asyncio.wait_for(first.recv(), LIMIT_SECONDS)
            return json.loads(first_answer)["requestId"], json.loads(second_answer)["requestId"]

        self.assertEqual(asyncio.run(interleaved()), ("first", "second"))

    def test_a_client_that_drops_the_tcp_connection_does_no_harm(self):
        # A minimal client: the handshake headers the standard requires, one
        # masked text frame, then the TCP connection closed without a Close frame.
        with socket.create_connection(("127.0.0.1", self.runtime.port), timeout=LIMIT_SECONDS) as raw:
            key = base64.b64encode(os.urandom(16)).decode()
            raw.sendall(("GET / HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                         "Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n\r\n"
                         % (self.runtime.port, key)).encode())
            response = b""
            while b"\r\n\r\n" not in response:
                chunk = raw.recv(4096)
                self.assertTrue(chunk, "connection closed during the handshake")
                response += chunk
            self.assertTrue(response.startswith(b"HTTP/1.1 101"), response)
            payload = b'{"requestId":"raw"}'
            mask = os.urandom(4)
            raw.sendall(bytes([0x81, 0x80 | len(payload)]) + mask +
                        bytes(byte ^ mask[i % 4] for i, byte in enumerate(payload)))
            answer = response.split(b"\r\n\r\n", 1)[1]
            while len(answer) < 2 or len(answer) < 2 + answer[1]:
                chunk = raw.recv(4096)
                self.assertTrue(chunk, "connection closed before the answer")
                answer += chunk
            self.assertEqual(answer[0], 0x81)
            self.assertEqual(json.loads(answer[2:2 + answer[1]])["requestId"], "raw")
        # The server is still serving, and still stops cleanly.
        self.assertEqual(json.loads(ask(self.runtime.url, '{"requestId":"after"}')[0])["requestId"], "after")
        self.assertEqual(self.runtime.stop(), 0)


if __name__ == "__main__":
    unittest.main()
