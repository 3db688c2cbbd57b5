"""The two MSI packages made by CPack (wixl) from the Windows build in
ORVIX_BUILD_DIR: their tables as msiinfo reads them, and each installed and
removed silently with msiexec in one throwaway Wine prefix. After an install
the files, the registry values in both views (Chromium reads the 32-bit view
before the 64-bit one), the manifest, the registration tool's doctor and the
host started the browser's way (through cmd.exe, tests/wine/launch_like_browser.cpp)
must all agree; after an uninstall nothing of it may remain.

Wine runs every install as an administrator: what differs between a
per-user and a per-machine install in rights and elevation cannot be shown
here, only where each puts its files and keys.

What fails must leave the machine as it was: a refused value (an id, a
folder cmd.exe would change, another product's registration of the host's
name) before anything changes, a failure later through the rollback, with
the installed version still answering."""
import json
import os
import shutil
import struct
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine"))
from wine_prefix import (LAUNCH_ATTEMPTS, WinePrefix, browser_command_line, doctor_could_not_launch,  # noqa: E402
                         windows_path)

from cpack_run import LIMIT_SECONDS, build_dir, packages_in_new_folder  # noqa: E402

HOST_NAME = "com.orvix.chrome_native_host"
HOST = "orvix-chrome-native-host.exe"
TOOL = "orvix-native-host-register.exe"
FIRST_ID = "abcdefghijklmnopabcdefghijklmnop"
SECOND_ID = "ponmlkjihgfedcbaponmlkjihgfedcba"
SETTINGS_KEY = "Software\\Orvix\\Chrome Native Host"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
MACHINE_FOLDER = "C:\\Program Files\\Orvix\\Chrome Native Host"
# The characters cmd.exe treats specially, and letters outside ASCII.
SPECIAL_FOLDER = "Orvix & Co (beta)\\\u00dcn\u00efcode 100% ^x!"
# msiexec's exit status for a failed install, 1603, as a Linux parent sees
# it from Wine: the low 8 bits.
FAILED = 1603 & 0xFF
HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.abspath(os.path.join(HERE, "..", ".."))
MISTYPED_ID = FIRST_ID[:-1] + "q"
PERCENT_FOLDER = "C:\\Apps\\50%OS%x"
OTHER_MANIFEST = "C:\\Other product\\" + HOST_NAME + ".json"


def msi_table(msi, table):
    """The rows of an MSI table as dicts (msiinfo export: names, types, table name, rows)."""
    text = subprocess.run(["msiinfo", "export", msi, table], capture_output=True, text=True, check=True).stdout
    lines = text.split("\r\n") if "\r\n" in text else text.split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


class MsiPackages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp, packages = packages_in_new_folder("orvix-msi-", "External")
        cls.msi = {}
        for scope in ("machine", "user"):
            [name] = [n for n in os.listdir(packages) if n.endswith("-%s.msi" % scope)]
            cls.msi[scope] = os.path.join(packages, name)
        [cls.staged] = [os.path.join(root, d) for root, dirs, _ in os.walk(os.path.join(packages, "_CPack_Packages"))
                        for d in dirs if d.endswith("-windows-x64")]
        cls.wine = WinePrefix(os.path.join(cls.tmp, "prefix"),
                              launcher=os.path.join(build_dir(), "launch_like_browser.exe"))
        cls.local_app_data = cls.wine.windows_variable("LOCALAPPDATA")
        # What the tool knows: every browser's key in each scope.
        listed = json.loads(cls.wine.run(os.path.join(build_dir(), TOOL), "list", "--json").stdout)
        cls.expected_keys = {scope: sorted({row[scope] for row in listed["browsers"] if row[scope]})
                             for scope in ("user", "system")}

    @classmethod
    def tearDownClass(cls):
        cls.wine.stop()
        shutil.rmtree(cls.tmp, True)

    # --- helpers -------------------------------------------------------
    def msiexec(self, *args):
        log = os.path.join(self.tmp, "msiexec.log")
        result = self.wine.run("msiexec", *args, "/l*v", windows_path(log), check=False)
        data = b""
        if os.path.exists(log):
            with open(log, "rb") as f:
                data = f.read()
            os.remove(log)
        text = data[2:].decode("utf-16-le", "replace") if data.startswith(b"\xff\xfe") else data.decode("utf-8", "replace")
        return result.returncode, text + result.stdout + result.stderr

    def install(self, scope, *properties):
        status, log = self.msiexec("/i", windows_path(self.msi[scope]), "/qn", *properties)
        self.assertEqual(status, 0, log[-3000:])

    def make_msi(self, name, version, ids="", queries=()):
        """A package of the staged programs built here, with `queries` run on it (msibuild)."""
        msi = os.path.join(self.tmp, name)
        subprocess.run([sys.executable, os.path.join(SOURCE, "packaging", "windows", "msi", "make_msi.py"),
                        "--scope", "machine", "--version", version, "--programs", self.staged,
                        "--actions", os.path.join(build_dir(), "orvix-msi-actions.dll"),
                        "--browser-table", os.path.join(SOURCE, "tools", "native_host_register", "browsers.cpp"),
                        "--extension-ids", ids, "--output", msi], check=True, timeout=LIMIT_SECONDS)
        for query in queries:
            subprocess.run(["msibuild", msi, "-q", query], check=True, timeout=LIMIT_SECONDS)
        return msi

    def manifest_bytes(self, folder):
        path = os.path.join(self.wine.unix_path(folder), HOST_NAME + ".json")
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def uninstall(self, msi):
        status, log = self.msiexec("/x", windows_path(msi), "/qn")
        self.assertEqual(status, 0, log[-3000:])

    def tool(self, folder, *args):
        for _ in range(LAUNCH_ATTEMPTS):
            result = self.wine.run(self.wine.unix_path(folder + "\\" + TOOL), *args, check=False)
            if args[0] != "doctor" or not doctor_could_not_launch(result.stdout + result.stderr):
                break
        return result.returncode, result.stdout

    def hello_the_browsers_way(self, folder):
        """The host in `folder` started as Chromium starts it: its reply to hello."""
        request = json.dumps({"id": 1, "method": "hello"}).encode()
        line = browser_command_line(folder + "\\" + HOST, "chrome-extension://%s/" % FIRST_ID)
        result = self.wine.launch_like_browser(folder, line, struct.pack("<I", len(request)) + request)
        self.assertEqual(result.returncode, 0, result.stderr)
        (length,) = struct.unpack("<I", result.stdout[:4])
        return json.loads(result.stdout[4:4 + length])

    def assert_installed(self, folder, scope, ids):
        unix_folder = self.wine.unix_path(folder)
        self.assertEqual(sorted(os.listdir(unix_folder)), sorted([HOST, TOOL, "README.txt", HOST_NAME + ".json"]))
        manifest = folder + "\\" + HOST_NAME + ".json"
        with open(os.path.join(unix_folder, HOST_NAME + ".json"), encoding="utf-8") as f:
            self.assertEqual(json.load(f), {
                "allowed_origins": ["chrome-extension://%s/" % i for i in ids],
                "description": "Orvix Chrome native host",
                "name": HOST_NAME,
                "path": folder + "\\" + HOST,
                "type": "stdio",
            })
        for key in self.expected_keys[scope]:
            for view in ("32", "64"):
                self.assertEqual(self.wine.registry_value(key, view=view), manifest, (key, view))
        other = "system" if scope == "user" else "user"
        for key in self.expected_keys[other]:
            self.assertIsNone(self.wine.registry_value(key), key)

        status, out = self.tool(folder, "doctor", "--json")
        self.assertEqual(status, 0, out)
        report = json.loads(out)
        self.assertTrue(report["healthy"], out)
        rows = [r for r in report["registrations"] if r["registered"]]
        self.assertEqual(sorted({r["where"] for r in rows}), self.expected_keys[scope])
        for row in rows:
            self.assertEqual((row["scope"], row["status"], row["manifest"]), (scope, "ok", manifest), row)
            self.assertEqual(row["hello"]["nativeHostVersion"], "0.1.0")
        reply = self.hello_the_browsers_way(folder)
        self.assertEqual((reply["id"], reply["type"]), (1, "response"), reply)

    def assert_removed(self, folder, scope):
        self.assertFalse(os.path.exists(self.wine.unix_path(folder)), folder)
        for key in self.expected_keys[scope]:
            for view in ("32", "64"):
                self.assertIsNone(self.wine.registry_value(key, view=view), (key, view))
        hive = "HKLM" if scope == "system" else "HKCU"
        self.assertFalse(self.wine.registry_key_exists(hive + "\\" + SETTINGS_KEY))
        self.assertEqual(self.products(), [])

    def products(self):
        """The display names of this product's entries in Add or remove programs."""
        result = self.wine.run("reg.exe", "query", UNINSTALL_KEY, "/s", check=False)
        return [line.split("REG_SZ", 1)[1].strip() for line in result.stdout.splitlines()
                if "DisplayName" in line and "Orvix" in line]

    # --- the tables ----------------------------------------------------
    def test_tables_hold_64_bit_components_valid_roots_and_every_browser_of_the_tool(self):
        for scope, hive, root in (("machine", "HKLM", "2"), ("user", "HKCU", "1")):
            with self.subTest(scope=scope):
                msi = self.msi[scope]
                components = {row["Component"]: int(row["Attributes"]) for row in msi_table(msi, "Component")}
                # 256: a 64-bit component. The 32-bit ones are the HKLM keys'
                # twins in the 32-bit view, one for each 64-bit key.
                for name, attributes in components.items():
                    self.assertEqual(bool(attributes & 256), not name.startswith("Key32_"), name)
                    if name.startswith("Key32_"):
                        self.assertIn("Key64_" + name[len("Key32_"):], components)
                registry = msi_table(msi, "Registry")
                self.assertEqual({row["Root"] for row in registry}, {root})
                keys = sorted({"%s\\%s" % (hive, row["Key"]) for row in registry if row["Key"] != SETTINGS_KEY})
                tool_scope = "system" if scope == "machine" else "user"
                self.assertEqual(keys, self.expected_keys[tool_scope])
                self.assertEqual(sum(1 for row in registry if row["Key"] != SETTINGS_KEY),
                                 len(keys) * (2 if scope == "machine" else 1))

                properties = {row["Property"]: row["Value"] for row in msi_table(msi, "Property")}
                self.assertEqual(properties.get("ALLUSERS"), "1" if scope == "machine" else None)
                self.assertIn("EXTENSION_IDS", properties["SecureCustomProperties"].split(";"))
                self.assertIn("TAKE_OVER_REGISTRATION", properties["SecureCustomProperties"].split(";"))
                self.assertEqual((properties["ARPURLINFOABOUT"][:8], properties["ARPHELPLINK"][:8]),
                                 ("https://", "https://"))
                # Older versions and a rebuild of this one (max inclusive, 512) replaced, newer ones refused.
                upgrade = {row["ActionProperty"]: row for row in msi_table(msi, "Upgrade")}
                self.assertEqual(sorted(upgrade), ["WIX_DOWNGRADE_DETECTED", "WIX_UPGRADE_DETECTED"])
                self.assertEqual((upgrade["WIX_UPGRADE_DETECTED"]["VersionMax"],
                                  int(upgrade["WIX_UPGRADE_DETECTED"]["Attributes"]) & 512), ("0.1.0", 512))
                summary = subprocess.run(["msiinfo", "suminfo", msi], capture_output=True, text=True,
                                         check=True).stdout
                self.assertIn("Template: x64;1033", summary)
                # Word count bit 8: the package needs no elevation.
                word_count = int(summary.split("Source: ", 1)[1].split()[0])
                self.assertEqual(bool(word_count & 8), scope == "user")

                # Deferred (1024), as LocalSystem per machine (2048); the rollback (256) likewise; the checks
                # immediate.
                types = {row["Action"]: int(row["Type"]) for row in msi_table(msi, "CustomAction")}
                system = 2048 if scope == "machine" else 0
                self.assertEqual((types["WriteManifest"], types["RemoveManifest"], types["RestoreManifest"],
                                  types["CheckSettings"] & (1 + 256 + 1024)),
                                 (1 + 1024 + system, 1 + 1024 + system, 1 + 256 + 1024 + system, 1))
                execute = {row["Action"]: row for row in msi_table(msi, "InstallExecuteSequence")}
                order = {action: int(row["Sequence"]) for action, row in execute.items()}
                # The checks where INSTALLDIR is known and nothing has changed, in both sequences.
                ui = {row["Action"]: int(row["Sequence"]) for row in msi_table(msi, "InstallUISequence")}
                self.assertTrue(ui["CostFinalize"] < ui["CheckSettings"] < ui["ExecuteAction"])
                self.assertTrue(order["CostFinalize"] < order["CheckSettings"] < order["InstallValidate"])
                # The old version removed inside the transaction, after the rollback that puts the
                # manifest back (which then runs after the old version's own rollback).
                self.assertTrue(order["InstallInitialize"] < order["RestoreManifest"] <
                                order["RemoveExistingProducts"] < order["InstallFiles"] < order["WriteManifest"])
                self.assertLess(order["RemoveManifest"], order["RemoveFiles"])
                # Removed only with the component that carries it (INSTALLSTATE_ABSENT).
                self.assertEqual(execute["RemoveManifest"]["Condition"], "$Programs=2")

    # --- installing ----------------------------------------------------
    def test_per_machine_install_registers_every_browser_in_both_views_and_uninstall_removes_it_all(self):
        self.install("machine", "EXTENSION_IDS=%s, %s" % (FIRST_ID, SECOND_ID))
        self.addCleanup(self.msiexec, "/x", windows_path(self.msi["machine"]), "/qn")
        self.assert_installed(MACHINE_FOLDER, "system", [FIRST_ID, SECOND_ID])
        self.assertEqual(self.wine.registry_value("HKLM\\" + SETTINGS_KEY, name="ExtensionIds"),
                         "%s, %s" % (FIRST_ID, SECOND_ID))
        self.assertEqual(self.products(), ["Orvix Chrome native host"])
        # Programs and Features: where it is, who made it, where to read about it and get help.
        properties = {row["Property"]: row["Value"] for row in msi_table(self.msi["machine"], "Property")}
        entry = UNINSTALL_KEY + "\\" + properties["ProductCode"]
        self.assertEqual([self.wine.registry_value(entry, name=name)
                          for name in ("InstallLocation", "Publisher", "URLInfoAbout", "HelpLink")],
                         [MACHINE_FOLDER + "\\", "Orvix", properties["ARPURLINFOABOUT"], properties["ARPHELPLINK"]])
        self.uninstall(self.msi["machine"])
        self.assert_removed(MACHINE_FOLDER, "system")

    def test_per_user_install_into_a_folder_with_special_characters(self):
        folder = self.local_app_data + "\\Programs\\" + SPECIAL_FOLDER
        self.install("user", "EXTENSION_IDS=" + FIRST_ID, "INSTALLDIR=" + folder)
        self.addCleanup(self.msiexec, "/x", windows_path(self.msi["user"]), "/qn")
        self.assert_installed(folder, "user", [FIRST_ID])
        # Uninstall is given no folder: the package remembered it.
        self.uninstall(self.msi["user"])
        self.assert_removed(folder, "user")

    def test_upgrade_replaces_the_older_version_and_keeps_its_extension_ids(self):
        older = self.make_msi("older-machine.msi", "0.0.1", SECOND_ID)
        status, log = self.msiexec("/i", windows_path(older), "/qn")
        self.assertEqual(status, 0, log[-3000:])
        self.addCleanup(self.msiexec, "/x", windows_path(older), "/qn")
        # The build-time default, since msiexec was given no ids.
        self.assert_installed(MACHINE_FOLDER, "system", [SECOND_ID])

        self.install("machine")
        self.addCleanup(self.msiexec, "/x", windows_path(self.msi["machine"]), "/qn")
        self.assertEqual(self.products(), ["Orvix Chrome native host"])
        self.assert_installed(MACHINE_FOLDER, "system", [SECOND_ID])
        self.uninstall(self.msi["machine"])
        self.assert_removed(MACHINE_FOLDER, "system")

    def test_an_id_that_is_no_extension_id_fails_the_install_and_leaves_nothing(self):
        status, log = self.msiexec("/i", windows_path(self.msi["machine"]), "/qn",
                                   "EXTENSION_IDS=%s,chrome-extension://x/" % FIRST_ID)
        self.assertEqual(status, FAILED, log[-3000:])
        self.assertIn('EXTENSION_IDS holds "chrome-extension://x/", which is not an extension id', log)
        self.assert_removed(MACHINE_FOLDER, "system")
        status, log = self.msiexec("/i", windows_path(self.msi["user"]), "/qn")
        self.assertEqual(status, FAILED, log[-3000:])
        self.assertIn("no extension id given", log)


    # --- failing safely -------------------------------------------------
    def test_a_refused_value_leaves_the_installed_version_as_it_was(self):
        self.install("machine", "EXTENSION_IDS=" + FIRST_ID)
        self.addCleanup(self.msiexec, "/x", windows_path(self.msi["machine"]), "/qn")
        before = self.manifest_bytes(MACHINE_FOLDER)
        newer = self.make_msi("newer-machine.msi", "0.2.0")
        for msi, properties, reason in (
                # The installed package again (a repair that changes the ids), then an upgrade.
                (self.msi["machine"], ["EXTENSION_IDS=notanid"], 'EXTENSION_IDS holds "notanid"'),
                (newer, ["EXTENSION_IDS=%s,%s" % (SECOND_ID, MISTYPED_ID)], 'EXTENSION_IDS holds "%s"' % MISTYPED_ID),
                (newer, ["EXTENSION_IDS=" + SECOND_ID, "INSTALLDIR=%s\\" % PERCENT_FOLDER], "two % signs")):
            with self.subTest(properties=properties):
                status, log = self.msiexec("/i", windows_path(msi), "/qn", *properties)
                self.assertEqual(status, FAILED, log[-3000:])
                self.assertIn("nothing was changed", log)
                self.assertIn(reason, log)
                self.assertEqual(self.manifest_bytes(MACHINE_FOLDER), before)
                self.assertEqual(self.products(), ["Orvix Chrome native host"])
                self.assertFalse(os.path.exists(self.wine.unix_path(PERCENT_FOLDER)))
        # The old version still answers, registered as before.
        self.assert_installed(MACHINE_FOLDER, "system", [FIRST_ID])

    def test_a_rebuild_of_the_same_version_replaces_the_installed_one(self):
        self.install("machine", "EXTENSION_IDS=" + FIRST_ID)
        self.addCleanup(self.msiexec, "/x", windows_path(self.msi["machine"]), "/qn")
        rebuild = self.make_msi("rebuild-machine.msi", "0.1.0", SECOND_ID)
        status, log = self.msiexec("/i", windows_path(rebuild), "/qn")
        self.assertEqual(status, 0, log[-3000:])
        self.addCleanup(self.msiexec, "/x", windows_path(rebuild), "/qn")
        self.assertEqual(self.products(), ["Orvix Chrome native host"])
        self.assert_installed(MACHINE_FOLDER, "system", [FIRST_ID])  # the ids the installed one remembered
        self.uninstall(rebuild)
        self.assert_removed(MACHINE_FOLDER, "system")

    def test_another_registration_of_the_name_is_refused_unless_taken_over(self):
        # Another product's registration, in the 32-bit view the browser reads first.
        key = self.expected_keys["system"][0]
        self.wine.run("reg.exe", "add", key, "/ve", "/d", OTHER_MANIFEST, "/f", "/reg:32")
        self.addCleanup(self.wine.run, "reg.exe", "delete", key, "/f", "/reg:32", check=False)
        status, log = self.msiexec("/i", windows_path(self.msi["machine"]), "/qn", "EXTENSION_IDS=" + FIRST_ID)
        self.assertEqual(status, FAILED, log[-3000:])
        self.assertIn("%s (32-bit view) registers %s" % (key, OTHER_MANIFEST), log)
        self.assertIn("TAKE_OVER_REGISTRATION=1", log)
        self.assertEqual(self.wine.registry_value(key, view="32"), OTHER_MANIFEST)
        self.assertFalse(os.path.exists(self.wine.unix_path(MACHINE_FOLDER)))
        self.assertEqual(self.products(), [])

        self.install("machine", "EXTENSION_IDS=" + FIRST_ID, "TAKE_OVER_REGISTRATION=1")
        self.addCleanup(self.msiexec, "/x", windows_path(self.msi["machine"]), "/qn")
        self.assert_installed(MACHINE_FOLDER, "system", [FIRST_ID])
        self.uninstall(self.msi["machine"])
        self.assert_removed(MACHINE_FOLDER, "system")

    def test_a_failure_after_the_manifest_puts_back_the_manifest_that_was_there(self):
        # A package whose last deferred step fails (WriteManifest given no data): the run is rolled back.
        failing = self.make_msi("failing-machine.msi", "0.1.0", FIRST_ID, queries=(
            "INSERT INTO CustomAction (Action, Type, Source, Target) "
            "VALUES ('FailLast', 1025, 'OrvixActions', 'WriteManifest')",
            "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('FailLast', 6550)"))
        unix_folder = self.wine.unix_path(MACHINE_FOLDER)
        for earlier in (None, b'{"written by":"the registration tool"}\n'):
            with self.subTest(earlier=earlier):
                if earlier is not None:
                    os.makedirs(unix_folder, exist_ok=True)
                    with open(os.path.join(unix_folder, HOST_NAME + ".json"), "wb") as f:
                        f.write(earlier)
                status, log = self.msiexec("/i", windows_path(failing), "/qn")
                self.assertEqual(status, FAILED, log[-3000:])
                self.assertIn("wrote " + MACHINE_FOLDER, log)  # the manifest was written, then rolled back
                self.assertEqual(self.manifest_bytes(MACHINE_FOLDER), earlier)
                self.assertEqual(self.products(), [])
                shutil.rmtree(unix_folder, True)


if __name__ == "__main__":
    unittest.main()
