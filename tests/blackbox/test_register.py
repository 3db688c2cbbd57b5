"""The registration tool, run as a real process against temporary homes:
what it writes where, what it refuses, and what doctor finds when it starts
the host the way a browser does. Nothing here touches the machine's real
browser profiles or /etc: HOME, XDG_CONFIG_HOME and the system-wide root
(ORVIX_REGISTER_SYSTEM_ROOT) all point into the test's folder."""
import json
import os
import shlex
import shutil
import stat
import subprocess
import tempfile
import unittest

import harness

HOST_NAME = "com.orvix.chrome_native_host"
MANIFEST = HOST_NAME + ".json"
ID_A = "abcdefghijklmnopabcdefghijklmnop"
ID_B = "ponmlkjihgfedcbaponmlkjihgfedcba"
LIMIT_SECONDS = 120


def tool():
    return os.path.join(harness.build_dir(), "orvix-native-host-register")


def real_host():
    command = os.environ.get("ORVIX_HOST_CMD")
    if not command:
        raise unittest.SkipTest("ORVIX_HOST_CMD is not set")
    return os.path.abspath(shlex.split(command)[0])


# Folders, file modes and shell-script hosts are the POSIX build's; the
# Windows build of the tool has its own suite under Wine (tests/wine).
@unittest.skipIf(os.environ.get("ORVIX_TARGET_OS") == "Windows", "POSIX registrations; see tests/wine")
class RegisterTestCase(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="orvix-register-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.home = os.path.join(self.tmp, "home")
        self.config = os.path.join(self.home, ".config")
        self.system_root = os.path.join(self.tmp, "root")
        os.makedirs(self.config)
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": self.home,
            "XDG_CONFIG_HOME": self.config,
            "ORVIX_REGISTER_SYSTEM_ROOT": self.system_root,
            "ORVIX_HOME": os.path.join(self.tmp, "orvix-home"),
        }
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if name in os.environ:
                self.env[name] = os.environ[name]
        self.host = real_host()

    def run_tool(self, *args):
        return subprocess.run([tool(), *args], capture_output=True, env=self.env, timeout=LIMIT_SECONDS,
                              cwd=self.tmp, text=True)

    def run_json(self, *args):
        result = self.run_tool(*args, "--json")
        return result.returncode, json.loads(result.stdout)

    def detect(self, *folders):
        for folder in folders:
            os.makedirs(os.path.join(self.config, folder), exist_ok=True)

    def user_manifest(self, folder):
        return os.path.join(self.config, folder, "NativeMessagingHosts", MANIFEST)

    def read_manifest(self, path):
        with open(path, encoding="utf-8") as f:
            return json.load(f)

    def write_file(self, path, text, mode=0o644):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        os.chmod(path, mode)
        return path

    def expected_manifest(self, host, *ids):
        return {
            "allowed_origins": ["chrome-extension://%s/" % i for i in ids],
            "description": "Orvix Chrome native host",
            "name": HOST_NAME,
            "path": host,
            "type": "stdio",
        }


class Install(RegisterTestCase):
    def test_writes_the_manifest_for_each_detected_browser_and_says_so(self):
        self.detect("chromium", "google-chrome")
        result = self.run_tool("install", "--extension-id", ID_A, "--extension-id", ID_B, "--extension-id", ID_A,
                               "--host", self.host)
        self.assertEqual(result.returncode, 0, result.stderr)
        chrome, chromium = self.user_manifest("google-chrome"), self.user_manifest("chromium")
        self.assertEqual(result.stdout.splitlines(), [
            "wrote  %s  chrome (user)" % chrome,
            "wrote  %s  chromium (user)" % chromium.ljust(len(chrome)),
        ])
        for path in (chrome, chromium):
            self.assertEqual(self.read_manifest(path), self.expected_manifest(self.host, ID_A, ID_B))
        # Browsers that are not there get nothing.
        self.assertFalse(os.path.exists(os.path.join(self.config, "microsoft-edge")))
        # print shows exactly what install wrote.
        printed = self.run_tool("print", "--extension-id", ID_A, "--extension-id", ID_B, "--host", self.host)
        with open(chromium, encoding="utf-8") as f:
            self.assertEqual(printed.stdout, f.read())

    def test_relative_host_path_is_made_absolute_and_the_default_host_lies_beside_the_tool(self):
        self.detect("chromium")
        host_dir = os.path.dirname(self.host)
        result = subprocess.run([tool(), "install", "--extension-id", ID_A, "--host",
                                 os.path.join(".", os.path.basename(self.host))], capture_output=True, text=True,
                                env=self.env, cwd=host_dir, timeout=LIMIT_SECONDS)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.read_manifest(self.user_manifest("chromium"))["path"], self.host)
        printed = self.run_tool("print", "--extension-id", ID_A)
        self.assertEqual(json.loads(printed.stdout)["path"],
                         os.path.join(os.path.dirname(os.path.realpath(tool())), "orvix-chrome-native-host"))

    def test_refusals_change_nothing_and_exit_non_zero(self):
        self.detect("chromium")
        not_executable = self.write_file(os.path.join(self.tmp, "plain-file"), "text")
        cases = [
            (["--extension-id", "ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP"], 1, "is not 32 letters from a to p"),
            (["--extension-id", ID_A[:-1]], 1, "is not 32 letters from a to p"),
            (["--extension-id", ID_A[:-1] + "q"], 1, "is not 32 letters from a to p"),
            (["--extension-id", ID_A, "--host", os.path.join(self.tmp, "missing")], 1, "does not exist"),
            (["--extension-id", ID_A, "--host", not_executable], 1, "is not an executable file"),
            (["--extension-id", ID_A, "--host", self.tmp], 1, "is not an executable file"),
            (["--extension-id", ID_A, "--browser", "netscape"], 1, 'Unknown browser "netscape"'),
            (["--extension-id", ID_A, "--browser", "brave", "--system"], 1, "Brave has no documented system-wide"),
            (["--host", self.host], 2, "needs at least one --extension-id"),
            (["--extension-id"], 2, "--extension-id needs a value"),
            (["--extension-id", ID_A, "--colour"], 2, "install does not take --colour"),
        ]
        for args, status, text in cases:
            with self.subTest(args=args):
                result = self.run_tool("install", *args)
                self.assertEqual(result.returncode, status, result.stdout + result.stderr)
                self.assertIn(text, result.stderr)
                self.assertEqual(result.stdout, "")
                self.assertFalse(os.path.exists(os.path.join(self.config, "chromium", "NativeMessagingHosts")))

    def test_nothing_detected_and_no_browser_named_is_refused(self):
        result = self.run_tool("install", "--extension-id", ID_A, "--host", self.host, "--browser", "all")
        self.assertEqual(result.returncode, 1)
        self.assertIn("No supported browser was detected", result.stderr)

    def test_a_manifest_naming_another_host_is_kept_unless_forced(self):
        self.detect("chromium")
        path = self.user_manifest("chromium")
        theirs = json.dumps(self.expected_manifest("/opt/other/host", ID_B))
        self.write_file(path, theirs)
        refused = self.run_tool("install", "--extension-id", ID_A, "--host", self.host)
        self.assertEqual(refused.returncode, 1)
        self.assertIn("names another host (/opt/other/host); use --force", refused.stderr)
        with open(path, encoding="utf-8") as f:
            self.assertEqual(f.read(), theirs)

        # Replacing the host keeps the extensions the manifest admitted.
        forced = self.run_tool("install", "--extension-id", ID_A, "--host", self.host, "--force")
        self.assertEqual(forced.returncode, 0, forced.stderr)
        self.assertEqual(self.read_manifest(path), self.expected_manifest(self.host, ID_B, ID_A))

        again = self.run_tool("install", "--extension-id", ID_A, "--host", self.host)
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertEqual(again.stdout, "unchanged  %s  chromium (user)\n" % path)

        # --replace-ids admits only the ids given.
        replaced = self.run_tool("install", "--extension-id", ID_A, "--host", self.host, "--replace-ids")
        self.assertEqual(replaced.returncode, 0, replaced.stderr)
        self.assertEqual(self.read_manifest(path), self.expected_manifest(self.host, ID_A))
        self.assertIn("--replace-ids", self.run_tool("--help").stdout)

    def test_a_failed_write_undoes_the_writes_before_it(self):
        self.detect("chromium", "google-chrome", "vivaldi")
        earlier = self.write_file(self.user_manifest("google-chrome"),
                                  json.dumps(self.expected_manifest(self.host, ID_B)))
        with open(earlier, encoding="utf-8") as f:
            before = f.read()
        # Vivaldi's manifest folder cannot be made: a file stands in its place.
        self.write_file(os.path.join(self.config, "vivaldi", "NativeMessagingHosts"), "in the way")
        result = self.run_tool("install", "--extension-id", ID_A, "--host", self.host)
        self.assertEqual(result.returncode, 1)
        self.assertIn("Cannot change %s: " % self.user_manifest("vivaldi"), result.stderr)
        self.assertIn("(os error 20). Nothing was changed.", result.stderr)
        with open(earlier, encoding="utf-8") as f:
            self.assertEqual(f.read(), before)
        self.assertFalse(os.path.exists(self.user_manifest("chromium")))
        leftovers = [n for n in os.listdir(os.path.dirname(earlier)) if n != MANIFEST]
        self.assertEqual(leftovers, [])

    def test_dry_run_says_what_it_would_write_and_writes_nothing(self):
        self.detect("chromium")
        result = self.run_tool("install", "--extension-id", ID_A, "--host", self.host, "--dry-run")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, "would write  %s  chromium (user)\n" % self.user_manifest("chromium"))
        self.assertFalse(os.path.exists(self.user_manifest("chromium")))

    def test_system_scope_goes_under_the_system_root_readable_by_everyone(self):
        status, report = self.run_json("install", "--extension-id", ID_A, "--host", self.host, "--system",
                                       "--browser", "chrome", "--browser", "chrome-beta", "--browser", "edge")
        self.assertEqual(status, 0, report)
        chrome = os.path.join(self.system_root, "etc/opt/chrome/native-messaging-hosts", MANIFEST)
        edge = os.path.join(self.system_root, "etc/opt/edge/native-messaging-hosts", MANIFEST)
        # The Chrome channels share one system folder: one file, one line.
        self.assertEqual(report, {"changes": [
            {"action": "wrote", "browsers": ["chrome", "chrome-beta"], "scope": "system", "where": chrome},
            {"action": "wrote", "browsers": ["edge"], "scope": "system", "where": edge},
        ], "ok": True})
        for path in (chrome, edge):
            self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), 0o644)
            self.assertEqual(self.read_manifest(path), self.expected_manifest(self.host, ID_A))
        # doctor shows a shared registration once, naming every browser it serves.
        doctor = self.run_tool("doctor", "--browser", "chrome", "--browser", "chrome-beta")
        self.assertEqual(doctor.returncode, 0, doctor.stdout)
        self.assertEqual(doctor.stdout.splitlines()[1].split(), ["chrome,chrome-beta", "system", "ok", chrome])
        self.assertEqual(doctor.stdout.count("hello:"), 1, doctor.stdout)

    def test_a_flatpak_browser_gets_the_manifest_inside_its_sandbox_folder(self):
        os.makedirs(os.path.join(self.home, ".var", "app", "org.chromium.Chromium"))
        result = self.run_tool("install", "--extension-id", ID_A, "--host", self.host, "--browser", "all")
        self.assertEqual(result.returncode, 0, result.stderr)
        path = os.path.join(self.home, ".var/app/org.chromium.Chromium/config/chromium/NativeMessagingHosts",
                            MANIFEST)
        self.assertEqual(result.stdout, "wrote  %s  chromium-flatpak (user)\n" % path)
        status, report = self.run_json("doctor", "--browser", "chromium-flatpak")
        self.assertEqual(status, 0, report)
        self.assertIn("sandbox", report["registrations"][0]["notes"][0])


class UninstallAndList(RegisterTestCase):
    def test_uninstall_removes_each_manifest_once_then_has_nothing_to_do(self):
        self.detect("chromium", "google-chrome")
        self.assertEqual(self.run_tool("install", "--extension-id", ID_A, "--host", self.host).returncode, 0)
        dry = self.run_tool("uninstall", "--dry-run")
        self.assertEqual([line.split()[:2] for line in dry.stdout.splitlines()], [["would", "remove"]] * 4)
        self.assertTrue(os.path.exists(self.user_manifest("chromium")))

        status, report = self.run_json("uninstall")
        self.assertEqual(status, 0, report)
        # Each manifest, then the folder it leaves empty; the user data folder stays.
        chrome, chromium = self.user_manifest("google-chrome"), self.user_manifest("chromium")
        self.assertEqual([c["where"] for c in report["changes"]],
                         [chrome, os.path.dirname(chrome), chromium, os.path.dirname(chromium)])
        self.assertEqual({c["action"] for c in report["changes"]}, {"removed"})
        self.assertEqual(os.listdir(os.path.join(self.config, "chromium")), [])

        again = self.run_tool("uninstall")
        self.assertEqual((again.returncode, again.stdout), (0, "Nothing to do: no registration found.\n"))

    def test_list_names_every_browser_whether_detected_and_where_its_manifest_goes(self):
        self.detect("BraveSoftware/Brave-Browser")
        status, report = self.run_json("list")
        self.assertEqual(status, 0)
        rows = {row["browser"]: row for row in report["browsers"]}
        self.assertEqual(set(rows), {
            "chrome", "chrome-beta", "chrome-dev", "chrome-canary", "chromium", "edge", "edge-beta", "edge-dev",
            "brave", "brave-beta", "brave-nightly", "vivaldi", "opera", "yandex", "thorium",
            "chrome-flatpak", "chromium-flatpak", "edge-flatpak", "brave-flatpak"})
        self.assertEqual([name for name, row in rows.items() if row["detected"]], ["brave"])
        self.assertEqual(rows["brave"]["user"], self.user_manifest("BraveSoftware/Brave-Browser"))
        self.assertIsNone(rows["brave"]["system"])
        self.assertEqual(rows["chromium"]["system"],
                         os.path.join(self.system_root, "etc/chromium/native-messaging-hosts", MANIFEST))
        text = self.run_tool("list").stdout.splitlines()
        self.assertEqual(text[0].split(), ["BROWSER", "NAME", "DETECTED", "USER", "SYSTEM"])
        # Aligned: every row's third column starts where the header's does.
        column = text[0].index("DETECTED")
        self.assertTrue(all(line[column:column + 3] in ("yes", "no ") for line in text[1:]), text)


class RemovalAndSystemWide(RegisterTestCase):
    """What a package relies on: uninstall --host takes back only what names
    its host, and what uninstall leaves empty goes with it; install --system
    finds the browsers installed on the machine, not in the admin's profile."""

    def system_manifest(self, folder):
        return os.path.join(self.system_root, folder, MANIFEST)

    def stage_program(self, path):
        return self.write_file(os.path.join(self.system_root, path.lstrip("/")), "#!/bin/sh\n", 0o755)

    def test_uninstall_host_removes_only_what_names_that_host_and_the_folders_it_empties(self):
        chrome = self.system_manifest("etc/opt/chrome/native-messaging-hosts")
        chromium = self.system_manifest("etc/chromium/native-messaging-hosts")
        edge = self.system_manifest("etc/opt/edge/native-messaging-hosts")
        self.assertEqual(self.run_tool("install", "--system", "--browser", "chrome", "--browser", "chromium",
                                       "--extension-id", ID_A, "--host", self.host).returncode, 0)
        # Another host's registration, and a file of someone else's beside ours.
        self.write_file(edge, json.dumps(self.expected_manifest("/opt/other/host", ID_B)))
        policy = self.write_file(os.path.join(self.system_root, "etc/opt/chrome/policies/managed/p.json"), "{}")
        self.detect("chromium")
        user = self.write_file(self.user_manifest("chromium"), json.dumps(self.expected_manifest(self.host, ID_A)))
        neighbour = self.write_file(os.path.join(os.path.dirname(user), "com.other.host.json"), "{}")

        dry = self.run_tool("uninstall", "--system", "--host", self.host, "--dry-run")
        self.assertEqual(dry.returncode, 0, dry.stderr)
        self.assertTrue(os.path.exists(chromium))
        status, report = self.run_json("uninstall", "--system", "--host", self.host)
        self.assertEqual(status, 0, report)
        changes = [(c["action"], c["where"]) for c in report["changes"]]
        self.assertEqual(changes, [
            ("left", edge),
            ("removed", chrome), ("removed", os.path.dirname(chrome)),
            ("removed", chromium), ("removed", os.path.dirname(chromium)),
            ("removed", os.path.join(self.system_root, "etc/chromium")),
        ])
        self.assertEqual([line.split()[:2] for line in dry.stdout.splitlines()],
                         [["left", edge]] + [["would", "remove"]] * 5)
        # The browser folder that holds something else stays, and nothing above it goes.
        self.assertTrue(os.path.exists(policy))
        self.assertTrue(os.path.exists(edge))
        self.assertEqual(sorted(os.listdir(os.path.join(self.system_root, "etc/opt"))), ["chrome", "edge"])
        # The user's own registration is not system-wide; without --system it goes, the folder it shares stays.
        self.assertEqual(self.run_tool("uninstall", "--host", "/opt/other/host").stdout,
                         "left  %s  chromium (user)\n" % user)
        self.assertEqual(self.run_tool("uninstall", "--host", self.host).returncode, 0)
        self.assertEqual(os.listdir(os.path.dirname(user)), [os.path.basename(neighbour)])
        # Without --host every registration goes, whatever it names; then the
        # emptied browser folder too, but never /etc/opt or the root.
        shutil.rmtree(os.path.join(self.system_root, "etc/opt/chrome"))
        self.assertEqual(self.run_tool("uninstall", "--system").returncode, 0)
        self.assertEqual(os.listdir(os.path.join(self.system_root, "etc/opt")), [])
        self.assertTrue(os.path.isdir(os.path.join(self.system_root, "etc")))

    def test_a_linked_manifest_folder_is_not_removed(self):
        target = os.path.join(self.tmp, "elsewhere")
        os.makedirs(target)
        os.makedirs(os.path.join(self.system_root, "etc/chromium"))
        os.symlink(target, os.path.join(self.system_root, "etc/chromium/native-messaging-hosts"))
        self.assertEqual(self.run_tool("install", "--system", "--browser", "chromium", "--extension-id", ID_A,
                                       "--host", self.host).returncode, 0)
        status, report = self.run_json("uninstall", "--system")
        self.assertEqual(status, 0, report)
        self.assertEqual([c["action"] for c in report["changes"]], ["removed"])
        self.assertTrue(os.path.islink(os.path.join(self.system_root, "etc/chromium/native-messaging-hosts")))

    def test_install_system_takes_the_browsers_installed_on_the_machine(self):
        # The admin's own profile does not count.
        self.detect("chromium", "google-chrome")
        refused = self.run_tool("install", "--system", "--extension-id", ID_A, "--host", self.host)
        self.assertEqual(refused.returncode, 1)
        self.assertIn("No browser that can be registered for every user was found on this machine (looked for "
                      "%s/etc/opt/chrome, %s/opt/google/chrome/chrome, " % (self.system_root, self.system_root),
                      refused.stderr)
        self.assertIn("/usr/bin/microsoft-edge-dev); name one with --browser", refused.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.system_root, "etc")))

        # A program, or the browser's system-wide folder, tells that it is installed.
        self.stage_program("/usr/bin/chromium")
        self.stage_program("/opt/microsoft/msedge/msedge")
        os.makedirs(os.path.join(self.system_root, "etc/opt/chrome"))
        status, report = self.run_json("install", "--system", "--extension-id", ID_A, "--host", self.host)
        self.assertEqual(status, 0, report)
        self.assertEqual([(c["where"], c["browsers"]) for c in report["changes"]], [
            (self.system_manifest("etc/opt/chrome/native-messaging-hosts"),
             ["chrome", "chrome-beta", "chrome-dev", "chrome-canary"]),
            (self.system_manifest("etc/chromium/native-messaging-hosts"), ["chromium"]),
            (self.system_manifest("etc/opt/edge/native-messaging-hosts"), ["edge"]),
        ])
        # "all" with --system means the same browsers.
        again = self.run_tool("install", "--system", "--browser", "all", "--extension-id", ID_A, "--host", self.host)
        self.assertEqual([line.split()[0] for line in again.stdout.splitlines()], ["unchanged"] * 3)


class Doctor(RegisterTestCase):
    def install_chromium(self, host=None):
        self.detect("chromium")
        result = self.run_tool("install", "--browser", "chromium", "--extension-id", ID_A, "--host",
                               host or self.host)
        self.assertEqual(result.returncode, 0, result.stderr)
        return self.user_manifest("chromium")

    def only_registration(self, report):
        registered = [row for row in report["registrations"] if row["registered"]]
        self.assertEqual(len(registered), 1, report)
        return registered[0]

    def test_a_sound_registration_is_healthy_and_shows_what_the_host_said(self):
        path = self.install_chromium()
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        self.assertTrue(report["healthy"])
        row = self.only_registration(report)
        self.assertEqual((row["browser"], row["scope"], row["status"], row["manifest"], row["host"]),
                         ("chromium", "user", "ok", path, self.host))
        self.assertEqual(row["hello"], {
            "descriptorPath": os.path.join(self.env["ORVIX_HOME"], "data", "runtime", "chrome", "connection.json"),
            "error": "runtime_descriptor_missing: Runtime connection descriptor was not found.",
            "nativeHostVersion": "0.1.0",
            "runtime": "not_running",
        })
        self.assertEqual(row["problems"], [])
        text = self.run_tool("doctor")
        self.assertEqual(text.returncode, 0)
        self.assertIn("chromium  user    ok", text.stdout)
        self.assertIn("hello:          host 0.1.0, runtime not_running", text.stdout)
        self.assertTrue(text.stdout.endswith("Every registration works.\n"), text.stdout)

    def test_the_host_is_started_as_a_browser_starts_it(self):
        # In its own folder (the tool runs in another), with the origin as its argument.
        seen = os.path.join(self.tmp, "arguments")
        folder = os.path.join(self.tmp, "host folder")
        wrapper = self.write_file(os.path.join(folder, "wrapper.sh"),
                                  '#!/bin/sh\n{ pwd; printf "%%s\\n" "$@"; } > %s\nexec %s "$@"\n'
                                  % (shlex.quote(seen), shlex.quote(self.host)), 0o755)
        self.install_chromium(wrapper)
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        with open(seen, encoding="utf-8") as f:
            self.assertEqual(f.read(), "%s\nchrome-extension://%s/\n" % (folder, ID_A))

    def test_says_where_the_host_finds_the_runtime_and_logs_in_this_environment(self):
        home = self.env["ORVIX_HOME"]
        self.install_chromium()
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        self.assertEqual(report["environment"], {
            "descriptor": os.path.join(home, "data", "runtime", "chrome", "connection.json"),
            "log": os.path.join(home, "logs", "chrome-native-host.log"),
        })
        text = self.run_tool("doctor").stdout
        self.assertIn("\nIn this environment (a browser started from it hands it to the host):\n"
                      "  descriptor:  %s/data/runtime/chrome/connection.json\n"
                      "  log:         %s/logs/chrome-native-host.log\n\nEvery registration works.\n"
                      % (home, home), text)

        # A relative home lies below the host's folder, where the browser starts it.
        self.env["ORVIX_HOME"] = "relative"
        text = self.run_tool("doctor").stdout
        self.assertIn("  log:         relative/logs/chrome-native-host.log (below the host's folder, where the "
                      "browser starts it)\n", text)

        # Without ORVIX_HOME and HOME (as on Windows) the descriptor falls back
        # to USERPROFILE but the log does not: a note, the status stays 0.
        self.assertEqual(self.run_tool("install", "--system", "--browser", "chromium", "--extension-id", ID_A,
                                       "--host", self.host).returncode, 0)
        for name in ("ORVIX_HOME", "HOME"):
            del self.env[name]
        self.env["USERPROFILE"] = os.path.join(self.tmp, "profile")
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        self.assertEqual(report["environment"], {
            "descriptor": os.path.join(self.tmp, "profile", ".orvix", "data", "runtime", "chrome", "connection.json"),
            "log": None,
        })
        result = self.run_tool("doctor")
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertIn("  log:         none: neither ORVIX_HOME nor HOME is set (Windows sets no HOME), so the host "
                      "keeps no log; set ORVIX_HOME to turn it on (see the README)\n", result.stdout)

    def test_each_broken_registration_names_its_problem_and_a_fix(self):
        silent = self.write_file(os.path.join(self.tmp, "silent.sh"), "#!/bin/sh\necho gone >&2\nexit 3\n", 0o755)
        # Reads the 29 bytes of the hello frame, then answers with a huge length.
        unanswering = self.write_file(os.path.join(self.tmp, "garbage.sh"),
                                      "#!/bin/sh\nhead -c 29 >/dev/null\nprintf 'xxxxnot a frame'\n", 0o755)
        good = self.expected_manifest(self.host, ID_A)
        cases = {
            "host_missing": dict(good, path=os.path.join(self.tmp, "removed-host")),
            "host_not_executable": dict(good, path=self.write_file(os.path.join(self.tmp, "plain"), "x")),
            "path_not_absolute": dict(good, path="relative/host"),
            "name_mismatch": dict(good, name="com.other.host"),
            "origins_invalid": dict(good, allowed_origins=["chrome-extension://%s" % ID_A]),
            "type_invalid": dict(good, type="pipe"),
            "host_failed": dict(good, path=silent),
            "manifest_invalid": "{not json",
        }
        self.detect("chromium")
        path = self.user_manifest("chromium")
        for code, manifest in cases.items():
            with self.subTest(code=code):
                self.write_file(path, manifest if isinstance(manifest, str) else json.dumps(manifest))
                status, report = self.run_json("doctor")
                self.assertEqual(status, 1, report)
                self.assertFalse(report["healthy"])
                row = self.only_registration(report)
                self.assertEqual(row["status"], "broken")
                self.assertEqual([p["code"] for p in row["problems"]], [code], row)
                fix = row["problems"][0]["fix"]
                if code == "host_not_executable":
                    self.assertEqual(fix, "Make it executable: chmod +x " + manifest["path"])
                elif code == "host_failed":
                    self.assertIn("orvix-nm-client " + silent, fix)
                    self.assertIn("gone", row["problems"][0]["problem"])
                else:
                    self.assertIn("orvix-native-host-register install --browser chromium", fix)
                    self.assertTrue(fix.endswith(" --force"), fix)
                    if code != "origins_invalid" and code != "manifest_invalid":
                        self.assertIn("--extension-id " + ID_A, fix)

        os.remove(path)
        os.mkdir(path)
        status, report = self.run_json("doctor")
        self.assertEqual(status, 1)
        problem = self.only_registration(report)["problems"][0]
        self.assertEqual(problem["code"], "manifest_unreadable")
        self.assertTrue(problem["problem"].startswith("Cannot read %s: " % path), problem)
        os.rmdir(path)

        self.write_file(path, json.dumps(dict(good, path=unanswering)))
        status, report = self.run_json("doctor")
        self.assertEqual(status, 1)
        self.assertIn("host sent a frame length of", self.only_registration(report)["problems"][0]["problem"])

    def test_removed_host_reads_as_broken_with_the_fix_in_text_form(self):
        host_copy = os.path.join(self.tmp, "bin", "orvix-chrome-native-host")
        os.makedirs(os.path.dirname(host_copy))
        shutil.copy2(self.host, host_copy)
        self.install_chromium(host_copy)
        os.remove(host_copy)
        result = self.run_tool("doctor")
        self.assertEqual(result.returncode, 1)
        self.assertIn("chromium  user    broken", result.stdout)
        self.assertIn("problem:  The host %s does not exist." % host_copy, result.stdout)
        self.assertIn("fix:      Reinstall the host, or register the one you have: orvix-native-host-register "
                      "install --browser chromium --extension-id %s --host " % ID_A, result.stdout)

    def test_no_registration_at_all_is_a_problem(self):
        result = self.run_tool("doctor")
        self.assertEqual(result.returncode, 1)
        self.assertIn("No browser was detected and no registration was found.", result.stdout)


class DoctorAsTheBrowserSees(RegisterTestCase):
    """Each browser judged as it looks for the host: the registration it
    reads, the extensions it admits, and the administrator's policies (files
    below the test's system root)."""

    def install(self, *args):
        result = self.run_tool("install", "--host", self.host, *args)
        self.assertEqual(result.returncode, 0, result.stderr)

    def policy(self, name, policies, level="managed"):
        return self.write_file(os.path.join(self.system_root, "etc/chromium/policies", level, name),
                               policies if isinstance(policies, str) else json.dumps(policies))

    def browser(self, report, name):
        [verdict] = [b for b in report["browsers"] if b["browser"] == name]
        return verdict

    def follow(self, fix):
        """Runs the command a fix names, as printed (sudo left out: the system root is the test's)."""
        command = shlex.split(fix.split(": ", 1)[1])
        if command[0] == "sudo":
            command = command[1:]
        self.assertEqual(command[0], "orvix-native-host-register")
        result = self.run_tool(*command[1:])
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_an_extension_the_registration_does_not_admit_is_named_and_install_adds_it(self):
        self.detect("chromium")
        self.install("--extension-id", ID_A)
        text = self.run_tool("doctor").stdout
        self.assertIn("origins:        chrome-extension://%s/\n" % ID_A, text)
        self.assertIn("chromium uses the user registration %s: ok" % self.user_manifest("chromium"), text)

        status, report = self.run_json("doctor", "--extension-id", ID_B)
        self.assertEqual(status, 1)
        self.assertEqual(self.only_row(report)["origins"], ["chrome-extension://%s/" % ID_A])
        verdict = self.browser(report, "chromium")
        self.assertEqual((verdict["status"], verdict["uses"]), ("broken", self.user_manifest("chromium")))
        [problem] = verdict["problems"]
        self.assertEqual(problem["code"], "extension_not_admitted")
        self.assertIn("does not admit the extension %s; it admits %s." % (ID_B, ID_A), problem["problem"])
        self.follow(problem["fix"])
        status, report = self.run_json("doctor", "--extension-id", ID_A, "--extension-id", ID_B)
        self.assertEqual(status, 0, report)
        self.assertEqual(self.read_manifest(self.user_manifest("chromium")),
                         self.expected_manifest(self.host, ID_A, ID_B))

        refused = self.run_tool("doctor", "--extension-id", "not-an-id")
        self.assertEqual(refused.returncode, 1)
        self.assertIn("is not 32 letters from a to p", refused.stderr)

    def only_row(self, report):
        [row] = [r for r in report["registrations"] if r["registered"]]
        return row

    def test_a_detected_browser_without_a_registration_is_a_problem_with_a_fix_that_works(self):
        self.detect("chromium", "google-chrome")
        none = self.run_tool("doctor")
        self.assertEqual(none.returncode, 1)
        self.assertTrue(none.stdout.endswith("No registration was found. fix: orvix-native-host-register install "
                                             "--browser chrome --browser chromium --extension-id ID\n"), none.stdout)

        self.install("--browser", "chrome", "--extension-id", ID_A)
        status, report = self.run_json("doctor")
        self.assertEqual(status, 1)
        self.assertEqual(self.browser(report, "chrome")["status"], "ok")
        verdict = self.browser(report, "chromium")
        self.assertEqual((verdict["status"], verdict["uses"], verdict["detected"]), ("not registered", None, True))
        [problem] = verdict["problems"]
        self.assertEqual(problem["code"], "not_registered")
        self.assertEqual(problem["fix"], "Register it: orvix-native-host-register install --browser chromium "
                                         "--extension-id %s --host %s" % (ID_A, self.host))
        # --browser narrows the judgement to the browsers named.
        self.assertEqual(self.run_tool("doctor", "--browser", "chrome").returncode, 0)
        self.assertEqual(self.run_tool("doctor", "--browser", "vivaldi").returncode, 1)
        self.follow(problem["fix"])
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)

    def test_the_blocklist_blocks_unless_the_allowlist_names_the_host(self):
        self.detect("chromium")
        self.install("--extension-id", ID_A)
        cases = [
            ({"NativeMessagingBlocklist": ["*"]}, "managed", 1),
            ({"NativeMessagingBlocklist": [HOST_NAME]}, "managed", 1),
            ({"NativeMessagingBlocklist": ["*"], "NativeMessagingAllowlist": [HOST_NAME]}, "managed", 0),
            ({"NativeMessagingBlocklist": ["*"], "NativeMessagingAllowlist": ["com.other.host"]}, "managed", 1),
            ({"NativeMessagingBlocklist": ["com.other.host"]}, "managed", 0),
            # The browser applies these policies only when they are mandatory.
            ({"NativeMessagingBlocklist": ["*"]}, "recommended", 0),
        ]
        for policies, level, status in cases:
            with self.subTest(policies=policies, level=level):
                path = self.policy("policy.json", policies, level)
                got, report = self.run_json("doctor")
                self.assertEqual(got, status, report)
                problems = self.browser(report, "chromium")["problems"]
                self.assertEqual([p["code"] for p in problems], ["host_blocked"] if status else [])
                if status:
                    self.assertIn("Chromium may not start the host: %s blocks " % path, problems[0]["problem"])
                    self.assertIn("Ask the administrator to add %s to NativeMessagingAllowlist" % HOST_NAME,
                                  problems[0]["fix"])
                os.remove(path)
        # A later file (in name order) wins over an earlier one.
        self.policy("a.json", {"NativeMessagingBlocklist": ["*"]})
        self.policy("b.json", {"NativeMessagingBlocklist": []})
        self.assertEqual(self.run_json("doctor")[0], 0)

    def test_user_level_hosts_off_hides_the_per_user_registration(self):
        self.detect("chromium")
        self.install("--extension-id", ID_A)
        path = self.policy("lockdown.json", {"NativeMessagingUserLevelHosts": False})
        status, report = self.run_json("doctor")
        self.assertEqual(status, 1)
        row = self.only_row(report)
        self.assertEqual(row["status"], "ignored")
        self.assertIn(path + " sets NativeMessagingUserLevelHosts to false", row["unread"])
        [problem] = self.browser(report, "chromium")["problems"]
        self.assertEqual(problem["code"], "user_level_hosts_disabled")
        self.assertIn("Ask the administrator to allow user-level native hosts, or register for every user: sudo "
                      "orvix-native-host-register install --browser chromium --system --extension-id " + ID_A,
                      problem["fix"])
        self.follow(problem["fix"])
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        system = os.path.join(self.system_root, "etc/chromium/native-messaging-hosts", MANIFEST)
        self.assertEqual(self.browser(report, "chromium")["uses"], system)

        # With user-level hosts allowed, the per-user registration shadows the system one, which differs.
        os.remove(path)
        self.install("--browser", "chromium", "--extension-id", ID_B, "--replace-ids")
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        verdict = self.browser(report, "chromium")
        self.assertEqual(verdict["uses"], self.user_manifest("chromium"))
        [note] = verdict["notes"]
        self.assertTrue(note.startswith("The per-user registration shadows the system-wide one at %s (admits %s;"
                                        % (system, ID_A)), note)

    def test_unusable_policy_files_are_noted_and_ignored(self):
        self.detect("chromium")
        self.install("--extension-id", ID_A)
        broken = self.policy("broken.json", "{not json")
        listed = self.policy("list.json", '["NativeMessagingBlocklist"]')
        typed = self.policy("typed.json", {"NativeMessagingUserLevelHosts": "no"})
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        notes = self.browser(report, "chromium")["notes"]
        self.assertEqual(len(notes), 3, notes)
        self.assertIn("The policy file %s is not a JSON object; the browser ignores it." % listed, notes)
        self.assertIn("NativeMessagingUserLevelHosts in %s has the wrong type; the browser ignores it." % typed, notes)
        self.assertTrue(any(n.startswith("The policy file %s is not a JSON object (" % broken) for n in notes), notes)


if __name__ == "__main__":
    unittest.main()
