"""What every package test starts from: the packages CPack makes of the build
in ORVIX_BUILD_DIR (else build/ beside the sources), into a folder of the
test's own."""
import os
import subprocess

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
