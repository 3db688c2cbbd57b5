"""The Windows build of the registration tool under Wine, in a throwaway
Wine prefix (its own registry and C: drive, removed afterwards): registry
values in HKCU and in both views of HKLM, the manifest beside the host,
refusals, doctor starting the .exe host, and uninstall. The .exe files come
from ORVIX_WINDOWS_BUILD_DIR (default: build-windows)."""
import json
import os
import shutil
import subprocess
import tempfile
import unittest

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
EXTENSION_ID = "abcdefghijklmnopabcdefghijklmnop"
HOST_NAME = "com.orvix.chrome_native_host"
CHROME_KEY = "Software\\Google\\Chrome\\NativeMessagingHosts\\" + HOST_NAME
EDGE_KEY = "Software\\Microsoft\\Edge\\NativeMessagingHosts\\" + HOST_NAME
LIMIT_SECONDS = 120
PROGRAMS = ["orvix-chrome-native-host.exe", "orvix-native-host-register.exe"]


def windows_build_dir():
    return os.path.abspath(os.environ.get("ORVIX_WINDOWS_BUILD_DIR",
                                          os.path.join(os.path.dirname(__file__), "..", "..", "build-windows")))


def windows_path(unix_path):
    # Wine maps the Unix root to drive Z:.
    return "Z:" + unix_path.replace("/", "\\")


class RegisterUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for program in [WINE, WINESERVER] + [os.path.join(windows_build_dir(), p) for p in PROGRAMS]:
            if not os.path.exists(program):
                raise AssertionError("%s is missing: install wine64 (scripts/setup.sh) and build the Windows "
                                     "programs (make build-windows)" % program)
        cls.tmp = tempfile.mkdtemp(prefix="orvix-wine-register-")
        cls.env = dict(os.environ, WINEPREFIX=os.path.join(cls.tmp, "prefix"), WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=")
        os.makedirs(cls.env["WINEPREFIX"])
        # A persistent server, warmed once, so later runs do not hand their
        # output pipes to Wine's services (see scripts/wine_run.sh).
        subprocess.run([WINESERVER, "-p"], env=cls.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=LIMIT_SECONDS)
        subprocess.run([WINE, "cmd.exe", "/c", "exit"], env=cls.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=LIMIT_SECONDS)
        cls.app = os.path.join(cls.tmp, "app")
        os.makedirs(cls.app)
        for program in PROGRAMS:
            shutil.copy2(os.path.join(windows_build_dir(), program), cls.app)
        cls.host = windows_path(os.path.join(cls.app, PROGRAMS[0]))
        cls.manifest = os.path.join(cls.app, HOST_NAME + ".json")
        local = cls.wine_output("cmd.exe", "/c", "echo %LOCALAPPDATA%").strip()
        cls.local_app_data = cls.wine_output("winepath.exe", "-u", local).strip()

    @classmethod
    def tearDownClass(cls):
        subprocess.run([WINESERVER, "-k"], env=cls.env, timeout=LIMIT_SECONDS)
        shutil.rmtree(cls.tmp, True)

    @classmethod
    def wine_output(cls, *args):
        return subprocess.run([WINE, *args], env=cls.env, capture_output=True, text=True, timeout=LIMIT_SECONDS,
                              check=True).stdout

    def tearDown(self):
        for scope in ([], ["--system"]):
            self.tool("uninstall", *scope)

    def tool(self, *args):
        result = subprocess.run([WINE, os.path.join(self.app, "orvix-native-host-register.exe"), *args],
                                capture_output=True, env=self.env, timeout=LIMIT_SECONDS)
        text = lambda data: data.decode("utf-8").replace("\r\n", "\n")
        return result.returncode, text(result.stdout), text(result.stderr)

    def registry_value(self, hive_key, view="64"):
        result = subprocess.run([WINE, "reg.exe", "query", hive_key, "/ve", "/reg:" + view], capture_output=True,
                                text=True, env=self.env, timeout=LIMIT_SECONDS)
        if result.returncode != 0:
            return None
        for line in result.stdout.splitlines():
            if "REG_SZ" in line:
                return line.split("REG_SZ", 1)[1].strip()
        return None

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
        self.assertEqual([line.split()[0] for line in out.splitlines()], ["deleted", "deleted", "removed"], out)
        self.assertIsNone(self.registry_value("HKCU\\" + CHROME_KEY))
        self.assertFalse(os.path.exists(self.manifest))

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

    def test_a_key_naming_another_manifest_is_kept_unless_forced(self):
        theirs = "C:\\Other\\manifest.json"
        subprocess.run([WINE, "reg.exe", "add", "HKCU\\" + EDGE_KEY, "/ve", "/d", theirs, "/f"], env=self.env,
                       capture_output=True, check=True, timeout=LIMIT_SECONDS)
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
        self.assertIn("orvix-native-host-register install --browser chrome", row["problems"][0]["fix"])
        status, out, err = self.tool("doctor", "--browser", "chrome")
        self.assertIn("\nchrome   user   broken  HKCU\\" + CHROME_KEY + "\n", out)
        self.assertIn(" --host " + self.host + " --force\n", out)


if __name__ == "__main__":
    unittest.main()
