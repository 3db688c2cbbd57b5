"""What every package test starts from: the packages CPack makes of the build
in ORVIX_BUILD_DIR (else build/ beside the sources), into a folder of the
test's own."""
import os
import shutil
import subprocess
import tempfile

LIMIT_SECONDS = 300


def build_dir():
    return os.path.abspath(os.environ.get("ORVIX_BUILD_DIR",
                                          os.path.join(os.path.dirname(__file__), "..", "..", "build")))


def cpack(output, generator=None, env=None):
    """Runs CPack into `output` with one generator (None: the build's own list); its completed process."""
    command = ["cpack", "--config", os.path.join(build_dir(), "CPackConfig.cmake"), "-B", output]
    if generator:
        command += ["-G", generator]
    return subprocess.run(command, capture_output=True, text=True, env=env, timeout=LIMIT_SECONDS)


def packages_in_new_folder(prefix, generator):
    """A new temporary folder and, in its packages/ folder, what `generator` makes; the folder is removed
    again when CPack fails, which raises with CPack's output."""
    folder = tempfile.mkdtemp(prefix=prefix)
    made = cpack(os.path.join(folder, "packages"), generator)
    if made.returncode != 0:
        shutil.rmtree(folder, True)
        raise AssertionError("cpack failed:\n" + made.stdout + made.stderr)
    return folder, os.path.join(folder, "packages")
