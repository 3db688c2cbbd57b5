"""Method resolution, the reply envelopes and the unsupported-method reply."""
import unittest

from harness import HostTestCase, frame


def unsupported(name):
    return {"code": "unsupported_method", "message": "Native host method is not supported: " + name}


class MethodResolution(HostTestCase):
    def test_method_then_type(self):
        replies = self.ask(
            {"id": 1, "type": "host.log"},
            {"id": 2, "method": 5, "type": "host.log"},
            {"id": 3, "method": "nope", "type": "host.log"},
            {"id": 4, "method": "HELLO"},
            {"id": 5, "method": "browser.native.poll"},
            {"id": 6, "method": " host.log"},
        )
        self.assertEqual([r["method"] for r in replies], ["host.log", "host.log", "nope", "HELLO",
                                                          "browser.native.poll", " host.log"])
        self.assertEqual([r["type"] for r in replies], ["response", "response", "error", "error", "error", "error"])
        self.assertEqual(replies[3]["error"], unsupported("HELLO"))

    def test_requests_that_are_not_objects(self):
        for request in ([1, 2], "hello", 7, None, {}):
            with self.subTest(request=request):
                (reply,) = self.ask(request)
                self.assertEqual(reply, {"error": unsupported(""), "id": None, "method": "", "type": "error"})
        self.assertEqual(self.log_lines(), [("", "unsupported_method")] * 5)

    def test_id_is_echoed_with_its_type(self):
        for request_id in ("s", {"a": [1]}, 1.5, None, True, -3):
            with self.subTest(id=request_id):
                (reply,) = self.ask({"id": request_id, "method": "host.log"})
                self.assertEqual(reply["id"], request_id)
        (reply,) = self.ask({"method": "host.log"})
        self.assertIsNone(reply["id"])

    def test_unsupported_is_logged_by_name(self):
        self.ask({"method": "runtime.get"}, {"type": "x y=z"})
        self.assertEqual(self.log_lines(), [("runtime.get", "unsupported_method"), ("x y=z", "unsupported_method")])

    def test_response_reply_has_exactly_four_members(self):
        run = self.run_host(frame({"params": {"event": "e"}, "method": "host.log", "id": 7, "extra": 1}))
        self.assertEqual(run.bodies[0], b'{"id":7,"method":"host.log","result":{"ok":true},"type":"response"}')


if __name__ == "__main__":
    unittest.main()
