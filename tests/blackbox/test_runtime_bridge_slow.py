"""Runtime peers that never answer: each case waits out the host's 20-second
socket limit. The peers send no pings unless a case asks for them: a ping is
data, and restarts the limit on the read it arrives in."""
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

    def test_each_read_is_bounded_not_the_exchange(self):
        # The peer pings every 2 s for 30 s, then falls silent. Each ping ends
        # one read and the host answers it; the limit holds for the read that
        # follows the last ping, so the exchange outlasts a single limit.
        self.start_misbehaving_runtime("pings-then-silent")
        started = time.monotonic()
        (reply,) = self.ask({"id": 1, "method": "runtime.request", "params": {"message": {"type": "t"}}},
                            timeout=180)
        elapsed = time.monotonic() - started
        self.assertEqual(reply["error"]["code"], "runtime_response_read_failed")
        self.assertGreater(elapsed, 40)
        self.assertLess(elapsed, 150)
        self.assertIn({"pings": 15, "pongs": 15}, self.peer_messages())


if __name__ == "__main__":
    unittest.main()
