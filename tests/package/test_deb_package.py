"""The Debian package, unpacked into a temporary root with dpkg-deb -x: its
programs register the host from there into a temporary profile, and doctor
finds that registration working; its postinst registers the host system-wide
when the tool has the product's extension ids built in, and its prerm takes
back on removal the system-wide registrations that name the packaged host. The package is made
afresh from the build in ORVIX_BUILD_DIR with CPack, into the test's own
folder."""
import json
import os
import shutil
import subprocess
import tempfile
import unittest

from cpack_run import LIMIT_SECONDS, build_dir, packages_in_new_folder

EXTENSION_ID = "abcdefghijklmnopabcdefghijklmnop"
PROGRAMS = ["orvix-chrome-native-host", "orvix-native-host-register", "orvix-nm-client", "orvix-sample-runtime"]


class DebPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp, packages = packages_in_new_folder("orvix-package-", "DEB")
        debs = [name for name in os.listdir(packages) if name.endswith(".deb")]
        assert len(debs) == 1, debs
        cls.deb = os.path.join(packages, debs[0])
        cls.root = os.path.join(cls.tmp, "root")
        subprocess.run(["dpkg-deb", "-x", cls.deb, cls.root], check=True, timeout=LIMIT_SECONDS)
        cls.bin = os.path.join(cls.root, "usr", "bin")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, True)

    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="home-", dir=self.tmp)
        self.config = os.path.join(self.home, ".config")
        os.makedirs(os.path.join(self.config, "chromium"))
        self.env = {
            "PATH": self.bin + ":" + os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": self.home,
            "XDG_CONFIG_HOME": self.config,
            "ORVIX_REGISTER_SYSTEM_ROOT": os.path.join(self.home, "system"),
            "ORVIX_HOME": os.path.join(self.home, "orvix"),
        }
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if name in os.environ:
                self.env[name] = os.environ[name]

    def register(self, *args):
        return subprocess.run([os.path.join(self.bin, "orvix-native-host-register"), *args], capture_output=True,
                              text=True, env=self.env, timeout=LIMIT_SECONDS)

    def test_the_package_holds_the_programs_the_readme_and_a_postinst_that_registers_nothing(self):
        for program in PROGRAMS:
            self.assertTrue(os.access(os.path.join(self.bin, program), os.X_OK), program)
        self.assertTrue(os.path.isfile(os.path.join(self.root, "usr/share/doc/orvix-chrome-native-host/README.md")))
        info = subprocess.run(["dpkg-deb", "-f", self.deb, "Package", "Depends"], capture_output=True, text=True,
                              check=True).stdout
        self.assertIn("Package: orvix-chrome-native-host", info)
        # The dependencies come from the binaries: a release build links all
        # but glibc statically, so it depends on libc6 alone.
        self.assertIn("libc6", info)
        if os.environ.get("ORVIX_STATIC_RUNTIME") == "ON":
            self.assertNotIn("libidn2", info)
            self.assertNotIn("libstdc++", info)
        else:
            self.assertIn("libidn2-0", info)

        control = os.path.join(self.tmp, "control")
        subprocess.run(["dpkg-deb", "-e", self.deb, control], check=True)
        ran = subprocess.run(["sh", os.path.join(control, "postinst"), "configure"], capture_output=True, text=True,
                             env=self.env, timeout=LIMIT_SECONDS)
        self.assertEqual(ran.returncode, 0, ran.stderr)
        self.assertIn("orvix-native-host-register install --extension-id", ran.stdout)
        self.assertEqual(os.listdir(os.path.join(self.config, "chromium")), [])

    def test_postinst_of_a_build_with_the_product_ids_registers_the_host_for_the_browsers_on_the_machine(self):
        # A staged root whose tool is the build made with built-in ids (as
        # ORVIX_EXTENSION_IDS makes it); Chromium is installed below the system root.
        staged = os.path.join(self.home, "staged")
        shutil.copytree(self.root, staged, symlinks=True)
        tool = os.path.join(staged, "usr/bin/orvix-native-host-register")
        shutil.copy2(os.path.join(build_dir(), "orvix-native-host-register-with-ids"), tool)
        system = self.env["ORVIX_REGISTER_SYSTEM_ROOT"]
        os.makedirs(os.path.join(system, "etc/chromium"))
        control = os.path.join(self.home, "control")
        subprocess.run(["dpkg-deb", "-e", self.deb, control], check=True)
        postinst = os.path.join(control, "postinst")

        def configure(script):
            ran = subprocess.run(["sh", script, "configure"], capture_output=True, text=True,
                                 env=dict(self.env, DPKG_ROOT=staged), timeout=LIMIT_SECONDS)
            self.assertEqual(ran.returncode, 0, ran.stdout + ran.stderr)
            return ran

        # /usr/bin/orvix-chrome-native-host is not on this machine: the
        # registration fails, is reported, and the configure goes on.
        failed = configure(postinst)
        self.assertIn("could not register /usr/bin/orvix-chrome-native-host", failed.stderr)
        manifest = os.path.join(system, "etc/chromium/native-messaging-hosts/com.orvix.chrome_native_host.json")
        self.assertFalse(os.path.exists(manifest))

        # The same script with its host in the staged root registers it.
        host = os.path.join(staged, "usr/bin/orvix-chrome-native-host")
        with open(postinst, encoding="utf-8") as f:
            text = f.read()
        self.assertIn("host=/usr/bin/orvix-chrome-native-host\n", text)
        staged_postinst = os.path.join(self.home, "postinst")
        with open(staged_postinst, "w", encoding="utf-8") as f:
            f.write(text.replace("host=/usr/bin/orvix-chrome-native-host\n", "host=%s\n" % host))
        configure(staged_postinst)
        with open(manifest, encoding="utf-8") as f:
            written = json.load(f)
        self.assertEqual((written["path"], written["allowed_origins"]),
                         (host, ["chrome-extension://%s/" % (c * 32) for c in "gh"]))

    def test_prerm_on_removal_takes_back_the_system_registrations_naming_the_packaged_host(self):
        # The prerm runs the unpacked tool (DPKG_ROOT) against the staged system root.
        installed_host = "/usr/bin/orvix-chrome-native-host"
        self.assertTrue(os.access(self.root + installed_host, os.X_OK))
        system = self.env["ORVIX_REGISTER_SYSTEM_ROOT"]
        manifests = {folder: os.path.join(system, folder, "native-messaging-hosts",
                                          "com.orvix.chrome_native_host.json")
                     for folder in ("etc/opt/chrome", "etc/chromium", "etc/opt/edge")}
        for folder, host in (("etc/opt/chrome", installed_host), ("etc/chromium", installed_host),
                             ("etc/opt/edge", "/opt/other/host")):
            printed = self.register("print", "--extension-id", EXTENSION_ID, "--host", host)
            os.makedirs(os.path.dirname(manifests[folder]))
            with open(manifests[folder], "w", encoding="utf-8") as f:
                f.write(printed.stdout)
        control = os.path.join(self.home, "control")
        subprocess.run(["dpkg-deb", "-e", self.deb, control], check=True)
        env = dict(self.env, DPKG_ROOT=self.root)

        def prerm(*args):
            ran = subprocess.run(["sh", os.path.join(control, "prerm"), *args], capture_output=True, text=True,
                                 env=env, timeout=LIMIT_SECONDS)
            self.assertEqual(ran.returncode, 0, ran.stdout + ran.stderr)
            return ran

        for args in (["upgrade", "0.2.0"], ["deconfigure", "in-favour", "other", "1.0"], ["failed-upgrade", "0.0.9"]):
            prerm(*args)
            self.assertTrue(all(os.path.exists(path) for path in manifests.values()), args)

        # A registration that cannot be read fails the tool (which then changes
        # nothing), but never the removal.
        blocked = manifests["etc/chromium"] + ".saved"
        os.rename(manifests["etc/chromium"], blocked)
        os.mkdir(manifests["etc/chromium"])
        failed = prerm("remove")
        self.assertIn("could not remove the system-wide registrations of " + installed_host, failed.stderr)
        self.assertTrue(os.path.exists(manifests["etc/opt/chrome"]))
        os.rmdir(manifests["etc/chromium"])
        os.rename(blocked, manifests["etc/chromium"])

        removed = prerm("remove")
        self.assertIn(["left", manifests["etc/opt/edge"]], [line.split()[:2] for line in removed.stdout.splitlines()])
        self.assertFalse(os.path.exists(os.path.join(system, "etc/chromium")))
        self.assertFalse(os.path.exists(os.path.dirname(manifests["etc/opt/chrome"])))
        self.assertTrue(os.path.exists(manifests["etc/opt/edge"]))

    def test_registers_the_unpacked_host_into_a_profile_and_doctor_finds_it_working(self):
        installed = self.register("install", "--browser", "chromium", "--extension-id", EXTENSION_ID)
        self.assertEqual(installed.returncode, 0, installed.stderr)
        manifest = os.path.join(self.config, "chromium", "NativeMessagingHosts", "com.orvix.chrome_native_host.json")
        with open(manifest, encoding="utf-8") as f:
            # Without --host the tool names the host that lies beside it.
            self.assertEqual(json.load(f)["path"], os.path.join(self.bin, "orvix-chrome-native-host"))

        doctor = self.register("doctor", "--json")
        self.assertEqual(doctor.returncode, 0, doctor.stdout + doctor.stderr)
        report = json.loads(doctor.stdout)
        [row] = [r for r in report["registrations"] if r["registered"]]
        self.assertEqual((row["browser"], row["status"], row["manifest"]), ("chromium", "ok", manifest))
        self.assertEqual((row["hello"]["nativeHostVersion"], row["hello"]["runtime"]), ("0.1.0", "not_running"))

        removed = self.register("uninstall")
        self.assertEqual(removed.returncode, 0, removed.stderr)
        self.assertFalse(os.path.exists(manifest))


if __name__ == "__main__":
    unittest.main()
