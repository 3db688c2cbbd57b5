"""Where the Windows build finds its files: Windows path forms, and HOME and
USERPROFILE set by a Windows parent (harness.windows_parent)."""
import os
import unittest

from harness import WINDOWS, HostTestCase, windows_path

only_on_windows = unittest.skipUnless(WINDOWS, "Windows path forms: the Windows build only")


@only_on_windows
class WindowsPaths(HostTestCase):
    def status(self, env):
        (reply,) = self.ask({"id": 1, "method": "host.status"}, env=env)
        return reply["result"]

    def test_drive_home_with_or_without_trailing_separator(self):
        for home in ("D:\\apps\\orvix", "D:\\apps\\orvix\\"):
            with self.subTest(home=home):
                result = self.status(dict(self.env, ORVIX_HOME=home))
                self.assertEqual(result["descriptorPath"], "D:\\apps\\orvix\\data\\runtime\\chrome\\connection.json")

    def test_log_lands_in_the_same_file_either_way(self):
        for home in (windows_path(self.home), windows_path(self.home) + "\\"):
            self.ask({"method": "host.log", "params": {"event": home[-1]}}, env=dict(self.env, ORVIX_HOME=home))
        self.assertEqual(self.log_lines(), [("host.log", self.home[-1]), ("host.log", "\\")])

    def test_HOME_comes_before_USERPROFILE(self):
        user = os.path.join(self.tmp, "user")
        env = {"PATH": self.env["PATH"], "HOME": user, "USERPROFILE": "C:\\Users\\Someone"}
        self.assertEqual(self.status(env)["descriptorPath"],
                         user + "\\.orvix\\data\\runtime\\chrome\\connection.json")

    def test_USERPROFILE_serves_the_descriptor_but_never_the_log(self):
        profile = windows_path(os.path.join(self.tmp, "profile"))
        env = {"PATH": self.env["PATH"], "USERPROFILE": profile}
        self.assertEqual(self.status(env)["descriptorPath"],
                         profile + "\\.orvix\\data\\runtime\\chrome\\connection.json")
        (reply,) = self.ask({"method": "host.log", "params": {"event": "e"}}, env=env)
        self.assertEqual(reply["result"], {"ok": True})
        self.assertEqual(os.listdir(self.tmp), [])


if __name__ == "__main__":
    unittest.main()
