"""The Windows packages made by CPack from the Windows build in
ORVIX_BUILD_DIR, signed with a throwaway self-signed certificate (made here
with openssl) and checked with osslsigncode; unsigned and said so without one;
and the SHA256SUMS list beside them."""
import os
import shutil
import subprocess
import tempfile
import unittest
import zipfile

from cpack_run import LIMIT_SECONDS, cpack


class Signing(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="orvix-signing-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("ORVIX_SIGN_")}

    def path(self, name):
        return os.path.join(self.tmp, name)

    def make_certificate(self):
        with open(self.path("password"), "w") as f:
            f.write("throwaway secret\n")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", self.path("key.pem"),
                        "-out", self.path("cert.pem"), "-days", "2", "-subj", "/CN=Orvix test signer"],
                       check=True, capture_output=True, timeout=LIMIT_SECONDS)
        subprocess.run(["openssl", "pkcs12", "-export", "-inkey", self.path("key.pem"), "-in", self.path("cert.pem"),
                        "-out", self.path("signer.p12"), "-passout", "file:" + self.path("password")],
                       check=True, capture_output=True, timeout=LIMIT_SECONDS)

    def verify(self, path):
        return subprocess.run(["osslsigncode", "verify", "-CAfile", self.path("cert.pem"), "-in", path],
                              capture_output=True, text=True, timeout=LIMIT_SECONDS)

    def packages(self, folder):
        """The zip's programs, unpacked, and the MSIs."""
        files = []
        for name in sorted(os.listdir(folder)):
            if name.endswith(".msi"):
                files.append(os.path.join(folder, name))
            if name.endswith(".zip"):
                with zipfile.ZipFile(os.path.join(folder, name)) as archive:
                    archive.extractall(self.path("unpacked"))
                    files += [os.path.join(self.path("unpacked"), n) for n in archive.namelist() if n.endswith(".exe")]
        self.assertEqual(sum(f.endswith(".msi") for f in files), 2, files)
        self.assertEqual(sum(f.endswith(".exe") for f in files), 4, files)
        return files

    def test_signed_with_the_certificate_given_and_listed_in_SHA256SUMS(self):
        self.make_certificate()
        env = dict(self.env, ORVIX_SIGN_PKCS12=self.path("signer.p12"), ORVIX_SIGN_PASSWORD_FILE=self.path("password"))
        made = cpack(self.path("packages"), env=env)
        self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
        self.assertNotIn("UNSIGNED", made.stdout + made.stderr)
        files = self.packages(self.path("packages"))
        for path in files:
            checked = self.verify(path)
            self.assertEqual(checked.returncode, 0, path + "\n" + checked.stdout + checked.stderr)
            self.assertIn("Signature verification: ok", checked.stdout, path)
        # Each program signed once: the same file in the zip and in both MSIs, so one SHA-256
        # allow-list serves every package.
        for name in sorted(os.listdir(self.path("packages"))):
            if name.endswith(".msi"):
                unpacked = self.path("msi-" + name)
                os.makedirs(unpacked)
                subprocess.run(["msiextract", "-C", unpacked, self.path("packages/" + name)], check=True,
                               capture_output=True, timeout=LIMIT_SECONDS)
                found = {n: os.path.join(root, n) for root, _, names in os.walk(unpacked) for n in names}
                for program in ("orvix-chrome-native-host.exe", "orvix-native-host-register.exe"):
                    [in_zip] = [f for f in files if os.path.basename(f) == program]
                    with open(in_zip, "rb") as a, open(found[program], "rb") as b:
                        self.assertTrue(a.read() == b.read(), (name, program))
        # Only the packages themselves, each with its SHA-256, in sha256sum's form.
        packages = sorted(n for n in os.listdir(self.path("packages")) if n.endswith((".zip", ".msi")))
        with open(self.path("packages/SHA256SUMS")) as f:
            listed = sorted(line.split("  ", 1)[1] for line in f.read().splitlines())
        self.assertEqual(listed, packages)
        self.assertFalse([n for n in os.listdir(self.path("packages")) if n.endswith(".json")])
        checked = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=self.path("packages"), capture_output=True,
                                 text=True, timeout=LIMIT_SECONDS)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)

    def test_without_a_certificate_the_packages_are_unsigned_and_say_so(self):
        made = cpack(self.path("packages"), env=self.env)
        self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
        self.assertIn("UNSIGNED: the programs of the ZIP package (no certificate", made.stderr)
        self.assertIn("UNSIGNED: the MSI packages (no certificate", made.stderr)
        self.make_certificate()
        for path in self.packages(self.path("packages")):
            self.assertNotEqual(self.verify(path).returncode, 0, path)

    def test_half_a_signing_configuration_fails_the_packaging(self):
        made = cpack(self.path("packages"), env=dict(self.env, ORVIX_SIGN_PKCS12=self.path("missing.p12")))
        self.assertNotEqual(made.returncode, 0)
        self.assertIn("needs both ORVIX_SIGN_PKCS12 and ORVIX_SIGN_PASSWORD_FILE", made.stdout + made.stderr)


if __name__ == "__main__":
    unittest.main()
