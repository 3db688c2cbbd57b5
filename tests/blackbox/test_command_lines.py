"""What every program of the project does with its own command line:
--version prints "<program> <version>", the project's one version, and exits
0; a usage error is one line on stderr saying what is wrong and one naming
--help, with exit status 2. The host takes --version only as its sole
argument, which no browser's launch can be (the caller's origin comes first);
launched by a browser it still reads none of its arguments."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest

import harness

LIMIT_SECONDS = 60
TOOLS = ("native-host-register", "nm-client", "sample-runtime", "url-probe")


def project_version():
    top = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "CMakeLists.txt")
    with open(top, encoding="utf-8") as f:
        return re.search(r"^project\(\S+ VERSION (\S+)", f.read(), re.MULTILINE).group(1)


class CommandLines(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="orvix-command-lines-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.env = dict(os.environ, ORVIX_HOME=os.path.join(self.tmp, "home"))

    def run_program(self, command, stdin=""):
        return subprocess.run(command, input=stdin, capture_output=True, text=True, env=self.env, cwd=self.tmp,
                              timeout=LIMIT_SECONDS)

    def test_every_program_prints_its_name_and_the_project_version(self):
        host = harness.host_command()[:-1]  # without the origin the browser passes
        programs = [("orvix-chrome-native-host", host)]
        programs += [("orvix-" + name, harness.tool_command(name)) for name in TOOLS]
        for name, command in programs:
            with self.subTest(program=name):
                result = self.run_program(command + ["--version"])
                self.assertEqual((result.returncode, result.stdout, result.stderr),
                                 (0, "%s %s\n" % (name, project_version()), ""))
        # The host did not run: no status lines above, and no log.
        self.assertFalse(os.path.exists(self.env["ORVIX_HOME"]))

    def test_the_host_launched_by_a_browser_ignores_a_later_version_argument(self):
        for extra in (["--version"], ["--parent-window=0", "--version"]):
            with self.subTest(arguments=extra):
                result = subprocess.run(harness.host_command() + extra, input=b"", capture_output=True,
                                        env=self.env, cwd=self.tmp, timeout=LIMIT_SECONDS)
                self.assertEqual((result.returncode, result.stdout, result.stderr),
                                 (0, b"", harness.STARTED + harness.STOPPED))

    def test_the_url_probe_takes_help_version_and_nothing_else(self):
        shown = self.run_program(harness.tool_command("url-probe") + ["--help"])
        self.assertEqual(shown.returncode, 0)
        self.assertTrue(shown.stdout.startswith("usage: orvix-url-probe"), shown.stdout)
        for arguments, what in ((["-x"], "unknown argument: -x"), (["--version", "x"], "too many arguments")):
            with self.subTest(arguments=arguments):
                # Input it would parse, were it to run.
                refused = self.run_program(harness.tool_command("url-probe") + arguments, '"http://a/"\n')
                self.assertEqual((refused.returncode, refused.stdout, refused.stderr),
                                 (2, "", harness.usage_error("orvix-url-probe", what)))


if __name__ == "__main__":
    unittest.main()
