"""Runtime peers that never answer in time: each case waits out one of the
host's 20-second limits, the one on a single read or the one on the wait
for the answer as a whole."""
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

    def check_limited_as_a_whole(self, mode):
        # Every single read gets data well within 20 s; the limit on the wait
        # for the answer as a whole ends the request, and the host serves the
        # next one, then ends with its input.
        self.start_misbehaving_runtime(mode)
        started = time.monotonic()
        forwarded, logged = self.ask({"id": 1, "method": "runtime.request", "params": {"message": {"type": "t"}}},
                                     {"id": 2, "method": "host.log", "params": {"message": "after"}})
        elapsed = time.monotonic() - started
        self.assertEqual(forwarded["error"], {"code": "runtime_response_read_failed",
                                              "message": "the runtime did not complete this step within its time limit"})
        self.assertEqual((logged["id"], logged["type"]), (2, "response"))
        self.assertGreater(elapsed, 15)
        self.assertLess(elapsed, 40)

    def test_pings_do_not_hold_the_request_past_the_limit(self):
        self.check_limited_as_a_whole("pings-then-silent")

    def test_an_answer_trickling_in_does_not_hold_the_request_past_the_limit(self):
        self.check_limited_as_a_whole("trickle")

if __name__ == "__main__":
    unittest.main()
