"""The Windows zip made by CPack from the Windows build in ORVIX_BUILD_DIR:
one top folder holding the four programs and both READMEs, and programs that
need nothing beside them (a static build imports only system DLLs), each
with its version resource."""
import os
import shutil
import subprocess
import tempfile
import unittest
import zipfile

from cpack_run import LIMIT_SECONDS, cpack
VERSION = "0.1.0"
TOP = "orvix-chrome-native-host-%s-windows-x64/" % VERSION
EXPECTED = {TOP + name for name in ["orvix-chrome-native-host.exe", "orvix-native-host-register.exe",
                                    "orvix-nm-client.exe", "orvix-sample-runtime.exe", "README.txt", "README.md"]}
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "ws2_32.dll", "normaliz.dll", "mswsock.dll", "advapi32.dll",
               "user32.dll", "shell32.dll", "ole32.dll", "bcrypt.dll", "crypt32.dll"}


class ZipPackage(unittest.TestCase):
    def test_the_zip_holds_the_programs_and_the_readmes_in_one_folder(self):
        tmp = tempfile.mkdtemp(prefix="orvix-zip-")
        self.addCleanup(shutil.rmtree, tmp, True)
        made = cpack(tmp, "ZIP")
        self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
        [name] = [n for n in os.listdir(tmp) if n.endswith(".zip")]
        with zipfile.ZipFile(os.path.join(tmp, name)) as archive:
            files = {entry for entry in archive.namelist() if not entry.endswith("/")}
            self.assertEqual(files, EXPECTED)
            readme = archive.read(TOP + "README.txt").decode("utf-8")
            self.assertIn("orvix-native-host-register.exe install --extension-id", readme)
            # Notepad before Windows 10 shows a file without CR as one line.
            self.assertEqual(readme.count("\n"), readme.count("\r\n"))
            archive.extractall(tmp)
        for program in sorted(entry for entry in EXPECTED if entry.endswith(".exe")):
            dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", os.path.join(tmp, program)],
                                  capture_output=True, text=True, timeout=LIMIT_SECONDS, check=True).stdout
            imported = {line.split(":", 1)[1].strip().lower() for line in dump.splitlines()
                        if line.strip().startswith("DLL Name:")}
            self.assertLessEqual(imported, SYSTEM_DLLS, program)
            # A version resource with the product's version, and no link time in the header.
            with open(os.path.join(tmp, program), "rb") as f:
                data = f.read()
            resource = data.find("VS_VERSION_INFO".encode("utf-16-le"))
            self.assertGreater(resource, 0, program)
            for text in ("ProductVersion", VERSION, "OriginalFilename", os.path.basename(program)):
                self.assertTrue(text.encode("utf-16-le") in data[resource:resource + 2048], (program, text))
            self.assertIn("Time/Date\t\tThu Jan  1 00:00:00 1970", dump, program)


if __name__ == "__main__":
    unittest.main()
