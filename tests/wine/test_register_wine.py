"""The Windows build of the registration tool under Wine, in a throwaway
Wine prefix (its own registry and C: drive, removed afterwards): registry
values in HKCU and in both views of HKLM, the manifest beside the host,
refusals, doctor starting the .exe host, and uninstall. The .exe files come
from ORVIX_WINDOWS_BUILD_DIR (default: build-windows)."""
import json
import os
import shutil
import struct
import subprocess
import tempfile
import unittest

from wine_prefix import LAUNCH_ATTEMPTS, WINE, WinePrefix, browser_command_line, doctor_could_not_launch, windows_path

EXTENSION_ID = "abcdefghijklmnopabcdefghijklmnop"
HOST_NAME = "com.orvix.chrome_native_host"
CHROME_KEY = "Software\\Google\\Chrome\\NativeMessagingHosts\\" + HOST_NAME
EDGE_KEY = "Software\\Microsoft\\Edge\\NativeMessagingHosts\\" + HOST_NAME
LIMIT_SECONDS = 120
PROGRAMS = ["orvix-chrome-native-host.exe", "orvix-native-host-register.exe"]


def windows_build_dir():
    return os.path.abspath(os.environ.get("ORVIX_WINDOWS_BUILD_DIR",
                                          os.path.join(os.path.dirname(__file__), "..", "..", "build-windows")))


class WineTestCase(unittest.TestCase):
    """One throwaway prefix for the class."""

    @classmethod
    def setUpClass(cls):
        for program in [os.path.join(windows_build_dir(), p) for p in PROGRAMS]:
            if not os.path.exists(program):
                raise AssertionError("%s is missing: build the Windows programs (make build-windows)" % program)
        cls.tmp = tempfile.mkdtemp(prefix="orvix-wine-register-")
        cls.wine = WinePrefix(os.path.join(cls.tmp, "prefix"),
                              launcher=os.path.join(windows_build_dir(), "launch_like_browser.exe"))
        cls.env = cls.wine.env

    @classmethod
    def tearDownClass(cls):
        cls.wine.stop()
        shutil.rmtree(cls.tmp, True)

    def run_tool(self, folder, *args):
        for _ in range(LAUNCH_ATTEMPTS):
            result = self.wine.run(os.path.join(folder, "orvix-native-host-register.exe"), *args, check=False)
            if args[0] != "doctor" or not doctor_could_not_launch(result.stdout + result.stderr):
                break
        return result.returncode, result.stdout, result.stderr


class RegisterUnderWine(WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.app = os.path.join(cls.tmp, "app")
        os.makedirs(cls.app)
        for program in PROGRAMS:
            shutil.copy2(os.path.join(windows_build_dir(), program), cls.app)
        cls.host = windows_path(os.path.join(cls.app, PROGRAMS[0]))
        cls.manifest = os.path.join(cls.app, HOST_NAME + ".json")
        cls.local_app_data = cls.wine.unix_path(cls.wine.windows_variable("LOCALAPPDATA"))

    def tearDown(self):
        for scope in ([], ["--system"]):
            self.tool("uninstall", *scope)

    def tool(self, *args):
        return self.run_tool(self.app, *args)

    def registry_value(self, hive_key, view="64"):
        return self.wine.registry_value(hive_key, view)

    def detect(self, folder):
        os.makedirs(os.path.join(self.local_app_data, folder), exist_ok=True)

    def test_install_writes_the_manifest_beside_the_host_and_the_keys_of_detected_browsers(self):
        self.detect("Google/Chrome/User Data")
        self.detect("Microsoft/Edge/User Data")
        status, out, err = self.tool("install", "--extension-id", EXTENSION_ID)
        self.assertEqual(status, 0, err)
        manifest = windows_path(self.manifest)
        self.assertEqual([line.split()[0] for line in out.splitlines()], ["wrote", "set", "set"], out)
        self.assertIn("HKCU\\%s (64-bit view) = %s" % (CHROME_KEY, manifest), out)
        with open(self.manifest, encoding="utf-8") as f:
            self.assertEqual(json.load(f), {
                "allowed_origins": ["chrome-extension://%s/" % EXTENSION_ID],
                "description": "Orvix Chrome native host",
                "name": HOST_NAME,
                "path": self.host,
                "type": "stdio",
            })
        self.assertEqual(self.registry_value("HKCU\\" + CHROME_KEY), manifest)
        self.assertEqual(self.registry_value("HKCU\\" + EDGE_KEY), manifest)

        status, out, err = self.tool("doctor", "--json")
        self.assertEqual(status, 0, out + err)
        report = json.loads(out)
        rows = [r for r in report["registrations"] if r["registered"]]
        self.assertEqual({r["browser"] for r in rows}, {"chrome", "chrome-beta", "chrome-dev", "chrome-canary",
                                                        "edge", "edge-beta", "edge-dev"})
        for row in rows:
            self.assertEqual((row["status"], row["manifest"], row["host"]), ("ok", manifest, self.host))
            self.assertEqual((row["hello"]["nativeHostVersion"], row["hello"]["runtime"]), ("0.1.0", "not_running"))

        status, out, err = self.tool("uninstall")
        self.assertEqual(status, 0, err)
        # Each key, then the NativeMessagingHosts key it leaves empty, then the manifest.
        self.assertEqual([line.split()[0] for line in out.splitlines()], ["deleted"] * 4 + ["removed"], out)
        self.assertIsNone(self.registry_value("HKCU\\" + CHROME_KEY))
        self.assertFalse(os.path.exists(self.manifest))

    def test_installs_of_other_ids_at_once_each_end_admitted(self):
        # The runs take turns on the manifest through a lock file beside it,
        # which goes with the run that held it.
        ids = [("abcdefghijklmnop"[i:] + "abcdefghijklmnop"[:i]) * 2 for i in range(8)]
        for round in range(2):
            with self.subTest(round=round):
                runs = [subprocess.Popen([WINE, os.path.join(self.app, PROGRAMS[1]), "install", "--browser", "chrome",
                                          "--extension-id", i], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                         env=self.env) for i in ids]
                outcomes = [(run.communicate(timeout=LIMIT_SECONDS)[1], run.returncode) for run in runs]
                with open(self.manifest, encoding="utf-8") as f:
                    admitted = json.load(f)["allowed_origins"]
                for i, (err, status) in zip(ids, outcomes):
                    self.assertIn(b"Another run" if status else b"", err)
                    if status == 0:
                        self.assertIn("chrome-extension://%s/" % i, admitted)
                self.assertEqual(sorted(os.listdir(self.app)), sorted(PROGRAMS + [HOST_NAME + ".json"]))

    def test_a_temporary_that_a_killed_run_left_goes_with_the_next_install(self):
        left = self.manifest + ".tmp-4000000000"  # an id no Windows process has
        with open(left, "w", encoding="utf-8") as f:
            f.write("{")
        status, out, err = self.tool("install", "--browser", "chrome", "--extension-id", EXTENSION_ID)
        self.assertEqual(status, 0, err)
        self.assertEqual(out.split()[:2], ["removed", windows_path(left)], out)
        self.assertFalse(os.path.exists(left))

    def test_system_scope_sets_both_registry_views_of_hklm(self):
        status, out, err = self.tool("install", "--system", "--browser", "chrome", "--extension-id", EXTENSION_ID)
        self.assertEqual(status, 0, err)
        for view in ("64", "32"):
            self.assertEqual(self.registry_value("HKLM\\" + CHROME_KEY, view), windows_path(self.manifest), view)
        self.assertIsNone(self.registry_value("HKCU\\" + CHROME_KEY))
        # The manifest stays while the user-level key of another browser names it.
        self.assertEqual(self.tool("install", "--browser", "edge", "--extension-id", EXTENSION_ID)[0], 0)
        status, out, err = self.tool("uninstall", "--system")
        self.assertEqual(status, 0, err)
        self.assertIsNone(self.registry_value("HKLM\\" + CHROME_KEY, "32"))
        self.assertTrue(os.path.exists(self.manifest))

    def test_uninstall_deletes_the_hosts_key_it_leaves_empty_in_each_view_and_nothing_above(self):
        folder = "Software\\%s\\NativeMessagingHosts"
        chrome, edge = folder % "Google\\Chrome", folder % "Microsoft\\Edge"
        # Another program's value in one view of Edge's key, another host below Chrome's per-user key.
        self.addCleanup(self.wine.run, "reg.exe", "delete", "HKLM\\" + edge, "/f", "/reg:32", check=False)
        self.wine.run("reg.exe", "add", "HKLM\\" + edge, "/v", "theirs", "/d", "x", "/f", "/reg:32")
        other = "HKCU\\%s\\com.other.host" % chrome
        self.addCleanup(self.wine.run, "reg.exe", "delete", other, "/f", check=False)
        self.wine.run("reg.exe", "add", other, "/ve", "/d", "C:\\Other\\manifest.json", "/f")
        for scope in (["--system"], []):
            status, out, err = self.tool("install", *scope, "--browser", "chrome", "--browser", "edge",
                                         "--extension-id", EXTENSION_ID)
            self.assertEqual(status, 0, err)
            status, out, err = self.tool("uninstall", *scope)
            self.assertEqual(status, 0, err)
        for view, present in (("64", False), ("32", True)):
            self.assertEqual(self.wine.registry_key_exists("HKLM\\" + edge, view), present, view)
            self.assertFalse(self.wine.registry_key_exists("HKLM\\" + chrome, view), view)
            self.assertTrue(self.wine.registry_key_exists("HKLM\\Software\\Google\\Chrome", view), view)
        self.assertFalse(self.wine.registry_key_exists("HKCU\\" + edge))
        self.assertEqual(self.registry_value(other), "C:\\Other\\manifest.json")

    def test_uninstall_host_deletes_only_the_keys_whose_manifest_names_that_host(self):
        theirs = "C:\\Other\\manifest.json"
        self.assertEqual(self.tool("install", "--system", "--browser", "chrome", "--extension-id", EXTENSION_ID)[0], 0)
        for view in ("64", "32"):
            self.addCleanup(self.wine.run, "reg.exe", "delete", "HKLM\\" + EDGE_KEY, "/f", "/reg:" + view,
                            check=False)
            self.wine.run("reg.exe", "add", "HKLM\\" + EDGE_KEY, "/ve", "/d", theirs, "/f", "/reg:" + view)
        status, out, err = self.tool("uninstall", "--system", "--host", self.host)
        self.assertEqual(status, 0, err)
        self.assertEqual([line.split()[:2] for line in out.splitlines()][:2],
                         [["left", "HKLM\\" + EDGE_KEY]] * 2, out)
        self.assertIsNone(self.registry_value("HKLM\\" + CHROME_KEY, "32"))
        self.assertFalse(os.path.exists(self.manifest))
        for view in ("64", "32"):
            self.assertEqual(self.registry_value("HKLM\\" + EDGE_KEY, view), theirs)

    def test_a_key_naming_another_manifest_is_kept_unless_forced(self):
        theirs = "C:\\Other\\manifest.json"
        self.wine.run("reg.exe", "add", "HKCU\\" + EDGE_KEY, "/ve", "/d", theirs, "/f")
        status, out, err = self.tool("install", "--browser", "edge", "--extension-id", EXTENSION_ID)
        self.assertEqual(status, 1)
        self.assertIn("names another manifest (%s); use --force" % theirs, err)
        self.assertEqual(self.registry_value("HKCU\\" + EDGE_KEY), theirs)
        self.assertFalse(os.path.exists(self.manifest))
        status, out, err = self.tool("install", "--browser", "edge", "--extension-id", EXTENSION_ID, "--force")
        self.assertEqual(status, 0, err)
        self.assertEqual(self.registry_value("HKCU\\" + EDGE_KEY), windows_path(self.manifest))

    def test_doctor_finds_a_key_whose_manifest_is_gone_and_names_the_fix(self):
        self.assertEqual(self.tool("install", "--browser", "chrome", "--extension-id", EXTENSION_ID)[0], 0)
        os.remove(self.manifest)
        status, out, err = self.tool("doctor", "--json", "--browser", "chrome")
        self.assertEqual(status, 1, out)
        [row] = [r for r in json.loads(out)["registrations"] if r["registered"]]
        self.assertEqual([p["code"] for p in row["problems"]], ["registry_manifest_missing"])
        # The fix names the tool by its path: PATH does not find it.
        tool = windows_path(os.path.join(self.app, PROGRAMS[1]))
        self.assertIn("%s install --browser chrome" % tool, row["problems"][0]["fix"])
        status, out, err = self.tool("doctor", "--browser", "chrome")
        self.assertIn("\nchrome   user   broken  HKCU\\" + CHROME_KEY + "\n", out)
        self.assertIn(" --host " + self.host + " --force\n", out)

    def test_doctor_fix_registers_a_moved_host_where_it_lies_now(self):
        old = os.path.join(self.tmp, "old")
        os.makedirs(old, exist_ok=True)
        shutil.copy2(os.path.join(self.app, PROGRAMS[0]), old)
        self.assertEqual(self.tool("install", "--browser", "chrome", "--extension-id", EXTENSION_ID, "--host",
                                   windows_path(os.path.join(old, PROGRAMS[0])))[0], 0)
        os.remove(os.path.join(old, PROGRAMS[0]))
        old_manifest = windows_path(os.path.join(old, HOST_NAME + ".json"))

        status, out, err = self.tool("doctor", "--browser", "chrome", "--fix", "--dry-run")
        self.assertEqual(status, 1, out + err)
        self.assertEqual(out.split()[:3], ["would", "write", windows_path(self.manifest)], out)
        self.assertEqual(self.registry_value("HKCU\\" + CHROME_KEY), old_manifest)
        self.assertFalse(os.path.exists(self.manifest))

        status, out, err = self.tool("doctor", "--browser", "chrome", "--fix")
        self.assertEqual(status, 0, out + err)
        self.assertEqual([line.split()[0] for line in out.split("\n\n")[0].splitlines()], ["wrote", "set"], out)
        self.assertEqual(self.registry_value("HKCU\\" + CHROME_KEY), windows_path(self.manifest))
        with open(self.manifest, encoding="utf-8") as f:
            self.assertEqual(json.load(f)["path"], self.host)

    def test_doctor_fix_removes_a_stale_per_user_key_instead_of_writing_the_machine_manifest(self):
        # The machine's registration (HKLM, the manifest beside the machine's
        # host) works; a user's own copy, registered in HKCU, lost its host
        # or its manifest. doctor, run from the machine's folder, must not
        # register the machine's host for the user: that would rewrite the
        # machine's manifest. It removes the HKCU key, after saying what
        # Chrome then uses.
        user_copy = os.path.join(self.tmp, "user copy")
        os.makedirs(user_copy, exist_ok=True)
        for program in PROGRAMS:
            shutil.copy2(os.path.join(self.app, program), user_copy)
        self.assertEqual(self.tool("install", "--system", "--browser", "chrome", "--extension-id", EXTENSION_ID)[0], 0)
        with open(self.manifest, "rb") as f:
            machine_bytes = f.read()
        then_used = "Google Chrome then uses the system-wide registration (manifest %s, host %s)" % (
            windows_path(self.manifest), self.host)
        for lost, code in ((PROGRAMS[0], "host_missing"), (HOST_NAME + ".json", "registry_manifest_missing")):
            with self.subTest(lost=lost):
                self.assertEqual(self.run_tool(user_copy, "install", "--browser", "chrome", "--extension-id",
                                               EXTENSION_ID)[0], 0)
                os.remove(os.path.join(user_copy, lost))
                status, out, err = self.tool("doctor", "--json", "--browser", "chrome")
                self.assertEqual(status, 1, out + err)
                [row] = [r for r in json.loads(out)["registrations"] if r["problems"]]
                self.assertEqual([p["code"] for p in row["problems"]], [code])
                self.assertEqual(row["problems"][0]["fix"], "Remove this per-user registration; %s: %s uninstall "
                                 "--browser chrome" % (then_used, windows_path(os.path.join(self.app, PROGRAMS[1]))))
                status, out, err = self.tool("doctor", "--browser", "chrome", "--fix")
                self.assertEqual(status, 0, out + err)
                self.assertEqual(out.splitlines()[0], "%s once HKCU\\%s is removed:" % (then_used, CHROME_KEY))
                self.assertIsNone(self.registry_value("HKCU\\" + CHROME_KEY))
                self.assertEqual(self.registry_value("HKLM\\" + CHROME_KEY, "32"), windows_path(self.manifest))
                with open(self.manifest, "rb") as f:
                    self.assertEqual(f.read(), machine_bytes)
                if lost in PROGRAMS:
                    shutil.copy2(os.path.join(self.app, lost), user_copy)

    def follow(self, fix):
        """Runs the command a fix names through cmd.exe, as printed."""
        command = fix.split(": ", 1)[1]
        result = self.wine.launch_like_browser(windows_path(self.tmp), 'C:\\windows\\system32\\cmd.exe /d /s /c "%s"'
                                               % command)
        self.assertEqual(result.returncode, 0, command + "\n" + result.stdout.decode() + result.stderr.decode())

    def test_the_browser_the_user_runs_and_the_extension_it_admits_get_fixes_that_work(self):
        self.detect("Google/Chrome/User Data")
        self.detect("Microsoft/Edge/User Data")
        self.assertEqual(self.tool("install", "--browser", "chrome", "--extension-id", EXTENSION_ID)[0], 0)

        def verdict(browser, *args):
            status, out, err = self.tool("doctor", "--json", "--browser", browser, *args)
            [found] = [b for b in json.loads(out)["browsers"] if b["browser"] == browser]
            return status, found

        # Registered for Chrome only, while Edge is installed too: Edge finds nothing.
        status, out, err = self.tool("doctor", "--json")
        self.assertEqual(status, 1, out)
        [edge] = [b for b in json.loads(out)["browsers"] if b["browser"] == "edge"]
        self.assertEqual([p["code"] for p in edge["problems"]], ["not_registered"], edge)
        self.assertIn(" --extension-id %s" % EXTENSION_ID, edge["problems"][0]["fix"])
        self.follow(edge["problems"][0]["fix"])
        self.assertEqual(verdict("edge")[0], 0)

        # Another extension asks for the host: not admitted, until the fix adds it beside the first.
        other = "bcdefghijklmnopabcdefghijklmnopa"
        status, chrome = verdict("chrome", "--extension-id", other)
        self.assertEqual((status, [p["code"] for p in chrome["problems"]]), (1, ["extension_not_admitted"]), chrome)
        self.follow(chrome["problems"][0]["fix"])
        self.assertEqual(verdict("chrome", "--extension-id", other, "--extension-id", EXTENSION_ID)[0], 0)

        # Without --extension-id, an extension with native messaging in a profile's Secure Preferences (where
        # Windows browsers keep extensions) that the registration does not admit is named with a fix that works.
        profile = os.path.join(self.local_app_data, "Google/Chrome/User Data/Default")
        os.makedirs(profile, exist_ok=True)
        self.addCleanup(shutil.rmtree, profile, True)
        third = "cdefghijklmnopabcdefghijklmnopab"
        settings = {i: {"active_permissions": {"api": ["nativeMessaging"]}} for i in (other, third)}
        with open(os.path.join(profile, "Secure Preferences"), "w", encoding="utf-8") as f:
            json.dump({"extensions": {"settings": settings}}, f)
        status, chrome = verdict("chrome")
        [note] = chrome["notes"]
        self.assertEqual(status, 0, chrome)
        self.assertIn("The extension %s in the profile \"Default\" asks for native messaging" % third, note)
        self.follow(note)
        status, chrome = verdict("chrome")
        self.assertEqual((status, chrome["notes"]), (0, []))

    def test_a_user_data_dir_moves_only_the_profiles_read_as_the_registry_stays_what_the_browser_reads(self):
        folder = os.path.join(self.tmp, "dev profile")
        dev = windows_path(folder)
        status, out, err = self.tool("install", "--browser", "chrome", "--user-data-dir", dev,
                                     "--extension-id", EXTENSION_ID)
        self.assertEqual(status, 0, err)
        self.assertIn("Google Chrome started with --user-data-dir=%s still reads its per-user registration from "
                      "HKCU\\%s" % (dev, CHROME_KEY), out)
        self.assertEqual(self.registry_value("HKCU\\" + CHROME_KEY), windows_path(self.manifest))
        self.assertFalse(os.path.exists(os.path.join(folder, "NativeMessagingHosts")))
        # doctor reads that folder's profiles: an extension there that the registration does not admit is named,
        # and as it is the only one there, no installed extension can connect.
        other = "cdefghijklmnopabcdefghijklmnopab"
        os.makedirs(os.path.join(folder, "Default"))
        with open(os.path.join(folder, "Default", "Secure Preferences"), "w", encoding="utf-8") as f:
            json.dump({"extensions": {"settings": {other: {"active_permissions": {"api": ["nativeMessaging"]}}}}}, f)
        status, out, err = self.tool("doctor", "--json", "--browser", "chrome", "--user-data-dir", dev)
        self.assertEqual(status, 1, out + err)
        [chrome] = [b for b in json.loads(out)["browsers"] if b["browser"] == "chrome"]
        self.assertEqual(chrome["uses"], "HKCU\\" + CHROME_KEY)
        self.assertEqual([problem["code"] for problem in chrome["problems"]], ["no_admitted_extension_installed"])
        self.assertIn(other, chrome["problems"][0]["problem"])

    def test_doctor_starts_the_host_through_comspec_else_the_system_folders_cmd_exe(self):
        self.assertEqual(self.tool("install", "--browser", "chrome", "--extension-id", EXTENSION_ID)[0], 0)

        def doctor_with_comspec(value):
            # Wine sets COMSPEC from its registry whatever the Linux environment says.
            tool = windows_path(os.path.join(self.app, PROGRAMS[1]))
            result = self.wine.run("cmd.exe", "/d", "/c", "set COMSPEC=%s&& %s doctor --json --browser chrome"
                                   % (value, tool), check=False)
            return result.returncode, json.loads(result.stdout)

        status, report = doctor_with_comspec("C:\\nowhere\\cmd.exe")
        self.assertEqual(status, 1, report)
        [row] = [r for r in report["registrations"] if r["registered"]]
        self.assertEqual([p["code"] for p in row["problems"]], ["host_failed"])
        self.assertIn("the host could not be started", row["problems"][0]["problem"])
        status, report = doctor_with_comspec("")
        self.assertEqual(status, 0, report)
        # Windows sets no HOME: the host finds the runtime under USERPROFILE and keeps no log.
        self.assertIsNone(report["environment"]["log"])
        self.assertTrue(report["environment"]["descriptor"].endswith(
            "\\.orvix\\data\\runtime\\chrome\\connection.json"), report["environment"])

    def test_doctor_applies_registry_policies_machine_before_user(self):
        self.assertEqual(self.tool("install", "--browser", "chrome", "--extension-id", EXTENSION_ID)[0], 0)
        policies = "Software\\Policies\\Google\\Chrome"
        self.addCleanup(self.wine.run, "reg.exe", "delete", "HKLM\\" + policies, "/f", check=False)
        self.addCleanup(self.wine.run, "reg.exe", "delete", "HKCU\\" + policies, "/f", check=False)
        blocklist = "HKLM\\%s\\NativeMessagingBlocklist" % policies
        self.wine.run("reg.exe", "add", blocklist, "/v", "1", "/d", "*", "/f")

        def verdict():
            status, out, err = self.tool("doctor", "--json", "--browser", "chrome")
            [chrome] = [b for b in json.loads(out)["browsers"] if b["browser"] == "chrome"]
            return status, [p["code"] for p in chrome["problems"]], chrome

        status, codes, chrome = verdict()
        self.assertEqual((status, codes), (1, ["host_blocked"]), chrome)
        self.assertIn(blocklist + " blocks every native host", chrome["problems"][0]["problem"])
        # A user's allowlist counts: both are mandatory policies.
        self.wine.run("reg.exe", "add", "HKCU\\%s\\NativeMessagingAllowlist" % policies, "/v", "1", "/d", HOST_NAME,
                      "/f")
        self.assertEqual(verdict()[:2], (0, []))
        # The machine's value wins over the user's.
        self.wine.run("reg.exe", "add", "HKCU\\" + policies, "/v", "NativeMessagingUserLevelHosts", "/t", "REG_DWORD",
                      "/d", "1", "/f")
        self.wine.run("reg.exe", "add", "HKLM\\" + policies, "/v", "NativeMessagingUserLevelHosts", "/t", "REG_DWORD",
                      "/d", "0", "/f")
        status, codes, chrome = verdict()
        self.assertEqual((status, codes), (1, ["user_level_hosts_disabled"]), chrome)
        self.assertIn("HKLM\\%s sets NativeMessagingUserLevelHosts to false" % policies,
                      chrome["problems"][0]["problem"])
        self.assertIn("from an administrator command prompt: %s install --browser chrome --system"
                      % windows_path(os.path.join(self.app, PROGRAMS[1])), chrome["problems"][0]["fix"])

    def test_doctor_names_a_per_user_key_the_browser_never_reads(self):
        wow = "HKCU\\Software\\WOW6432Node\\Microsoft\\Edge\\NativeMessagingHosts\\" + HOST_NAME
        self.addCleanup(self.wine.run, "reg.exe", "delete", wow, "/f", check=False)
        self.wine.run("reg.exe", "add", wow, "/ve", "/d", "C:\\app\\manifest.json", "/f")
        status, out, err = self.tool("doctor", "--json", "--browser", "edge")
        self.assertEqual(status, 1, out)
        [edge] = [b for b in json.loads(out)["browsers"] if b["browser"] == "edge"]
        self.assertEqual([p["code"] for p in edge["problems"]], ["not_registered"])
        self.assertEqual(edge["notes"], [wow + " names C:\\app\\manifest.json, but the browser never reads that key: "
                                         "per-user registrations live in "
                                         "HKCU\\Software\\Microsoft\\Edge\\NativeMessagingHosts."])


# Install folders that users really have: the characters cmd.exe gives a
# meaning of its own (the browser starts the host through cmd.exe), and
# letters outside ASCII (each folder lies in "Program Files": a space in
# all). Inside the quotes of the browser's command line cmd.exe takes & ( ) ^
# literally; a single % or ! stays as it is. doctor starts the host through
# cmd.exe as the browser does.
CARRIED_FOLDERS = ["Orvix & Co (beta)\\\u00dcn\u00efcode 100% ^x!", "a&b", "a(b)c", "a^b", "100%", "a!b",
                   "\u00dcn\u00efcode"]


class InstallFolders(WineTestCase):
    def copy_into(self, folder):
        """The host and the tool copied into C:\\Program Files\\<folder>: that Windows folder."""
        windows = "C:\\Program Files\\" + folder
        unix = self.wine.unix_path(windows)
        os.makedirs(unix)
        self.addCleanup(shutil.rmtree, unix, True)
        for program in PROGRAMS:
            shutil.copy2(os.path.join(windows_build_dir(), program), unix)
        return windows

    def hello_through_cmd(self, folder):
        request = json.dumps({"id": 1, "method": "hello"}).encode()
        line = browser_command_line(folder + "\\" + PROGRAMS[0], "chrome-extension://%s/" % EXTENSION_ID)
        return self.wine.launch_like_browser(folder, line, struct.pack("<I", len(request)) + request)

    def test_folders_whose_names_cmd_exe_carries_register_check_and_answer(self):
        for folder in CARRIED_FOLDERS:
            with self.subTest(folder=folder):
                windows = self.copy_into(folder)
                unix = self.wine.unix_path(windows)
                status, out, err = self.run_tool(unix, "install", "--system", "--browser", "chrome",
                                                 "--extension-id", EXTENSION_ID)
                self.addCleanup(self.run_tool, unix, "uninstall", "--system")
                self.assertEqual(status, 0, err)
                self.assertEqual(self.wine.registry_value("HKLM\\" + CHROME_KEY, "32"),
                                 windows + "\\" + HOST_NAME + ".json")
                status, out, err = self.run_tool(unix, "doctor", "--json", "--browser", "chrome")
                self.assertEqual(status, 0, out + err)
                [row] = [r for r in json.loads(out)["registrations"] if r["registered"]]
                self.assertEqual((row["status"], row["host"]), ("ok", windows + "\\" + PROGRAMS[0]))
                self.assertEqual(row["hello"]["nativeHostVersion"], "0.1.0")
                # A '!' is carried unless delayed expansion is on: a warning, not a refusal.
                self.assertEqual(len(row["notes"]), "!" in folder, row["notes"])

                run = self.hello_through_cmd(windows)
                self.assertEqual(run.returncode, 0, run.stderr)
                (length,) = struct.unpack("<I", run.stdout[:4])
                reply = json.loads(run.stdout[4:4 + length])
                self.assertEqual((reply["id"], reply["type"]), (1, "response"), reply)
                self.assertEqual(self.run_tool(unix, "uninstall", "--system")[0], 0)

    def test_cmd_exe_replaces_a_variable_name_between_two_percent_signs(self):
        # Also between quotes, and /d does not stop it: the browser then starts
        # a program that does not exist. Which names are variables depends on
        # the user's environment, so a folder with two % signs cannot be
        # carried safely at all.
        windows = self.copy_into("50%OS%x")
        run = self.hello_through_cmd(windows)
        self.assertNotEqual(run.returncode, 0)
        self.assertEqual(run.stdout, b"")
        self.assertIn(b"50Windows_NTx", run.stderr)

        # So the tool refuses to register a host there, and doctor finds a
        # registration written by hand.
        unix = self.wine.unix_path(windows)
        status, out, err = self.run_tool(unix, "install", "--browser", "chrome", "--extension-id", EXTENSION_ID)
        self.assertEqual(status, 1, out)
        self.assertIn("holds two % signs: the browser starts the host through cmd.exe, which reads %NAME% as an "
                      "environment variable even between quotes", err)
        self.assertIsNone(self.wine.registry_value("HKCU\\" + CHROME_KEY))
        self.assertFalse(os.path.exists(os.path.join(unix, HOST_NAME + ".json")))

        row = self.doctor_by_hand(windows)
        self.assertEqual([p["code"] for p in row["problems"]], ["host_path_percent"])
        self.assertIsNone(row["hello"])

    def doctor_by_hand(self, windows):
        """Chrome's registration of the host in `windows`, written by hand as install would, and what doctor
        finds there (it must find a problem)."""
        unix = self.wine.unix_path(windows)
        manifest = windows + "\\" + HOST_NAME + ".json"
        with open(self.wine.unix_path(manifest), "w", encoding="utf-8") as f:
            f.write(self.run_tool(unix, "print", "--extension-id", EXTENSION_ID)[1])
        self.wine.run("reg.exe", "add", "HKCU\\" + CHROME_KEY, "/ve", "/d", manifest, "/f")
        self.addCleanup(self.run_tool, unix, "uninstall")
        status, out, err = self.run_tool(unix, "doctor", "--json", "--browser", "chrome")
        self.assertEqual(status, 1, out + err)
        [row] = [r for r in json.loads(out)["registrations"] if r["registered"]]
        return row

    def test_a_system_wide_host_in_a_folder_every_user_may_write_is_refused_without_force(self):
        # Wine gives a file without a stored access control list one made
        # from its mode: a folder of mode 777 grants Everyone every right.
        windows = self.copy_into("Shared")
        unix = self.wine.unix_path(windows)
        install = ["install", "--system", "--browser", "chrome", "--extension-id", EXTENSION_ID]
        os.chmod(unix, 0o777)
        status, out, err = self.run_tool(unix, *install)
        self.assertEqual(status, 1, out + err)
        self.assertIn("Users other than administrators may change %s, so they can replace the host" % windows, err)
        self.assertIsNone(self.wine.registry_value("HKLM\\" + CHROME_KEY, "32"))
        status, out, err = self.run_tool(unix, *install, "--force")
        self.addCleanup(self.run_tool, unix, "uninstall", "--system")
        self.assertEqual(status, 0, out + err)
        status, out, err = self.run_tool(unix, "doctor", "--json", "--browser", "chrome")
        self.assertEqual(status, 1, out + err)
        [row] = [r for r in json.loads(out)["registrations"] if r["registered"]]
        [problem] = row["problems"]
        self.assertEqual(problem["code"], "host_replaceable_by_users")
        self.assertIn("from an administrator command prompt: icacls \"%s\" /inheritance:d" % windows, problem["fix"])
        # Once the folder is the administrators' alone, doctor is content.
        os.chmod(unix, 0o755)
        status, out, err = self.run_tool(unix, "doctor", "--json", "--browser", "chrome")
        self.assertEqual(status, 0, out + err)

    def test_a_linux_program_in_the_hosts_place_is_refused_and_diagnosed(self):
        # Windows cannot start it (Wine could, which is no guide).
        windows = self.copy_into("Linux build")
        unix = self.wine.unix_path(windows)
        shutil.copy2("/bin/true", os.path.join(unix, PROGRAMS[0]))
        status, out, err = self.run_tool(unix, "install", "--browser", "chrome", "--extension-id", EXTENSION_ID)
        self.assertEqual(status, 1, out)
        self.assertIn("The host %s\\%s is a Linux program; this system cannot run it." % (windows, PROGRAMS[0]), err)
        self.assertIsNone(self.wine.registry_value("HKCU\\" + CHROME_KEY))
        row = self.doctor_by_hand(windows)
        self.assertEqual([p["code"] for p in row["problems"]], ["host_wrong_system"])
        self.assertIsNone(row["hello"])


if __name__ == "__main__":
    unittest.main()
