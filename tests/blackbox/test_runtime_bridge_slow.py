"""Runtime peers that never answer: each case waits out the host's 20-second
socket limit."""
import time
import unittest

from harness import RuntimeTestCase


class SilentPeers(RuntimeTestCase):
    def check_gives_up(self, mode, code):
        self.start_misbehaving_runtime(mode)
        started = time.monotonic()
        (reply,) = self.ask({"id": 1, "method": "runtime.request", "params": {"message": {"type": "t"}}})
        elapsed = time.monotonic() - started
        self.assertEqual(reply["error"]["code"], code)
        self.assertGreater(elapsed, 15)
        self.assertLess(elapsed, 60)

    def test_silence_after_the_request(self):
        self.check_gives_up("silent", "runtime_response_read_failed")

    def test_handshake_never_answered(self):
        self.check_gives_up("no-handshake", "runtime_ws_handshake_failed")


if __name__ == "__main__":
    unittest.main()
