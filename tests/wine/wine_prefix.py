"""A throwaway Wine prefix for the tests that register or install under Wine:
its own registry and C: drive, with a persistent server warmed once so that
later runs do not hand their output pipes to Wine's services (see
scripts/wine_run.sh). stop() ends the server; the caller removes the folder.

Also the command line with which the browser starts a host on Windows, which
the black-box harness uses too."""
import os
import subprocess

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
LIMIT_SECONDS = 120
# Chromium starts a host through %COMSPEC% (unless policy asks for a direct
# launch): /d skips cmd.exe's AutoRun commands, /s with the outer quotes keeps
# the quoted host path as it is.
BROWSER_SHELL = "C:\\Windows\\system32\\cmd.exe"
# Wine's cmd.exe now and then fails to create the host's process and says it
# cannot recognise the command (harness.CMD_LAUNCH_ATTEMPTS); the host never
# ran then, so the launch is repeated.
LAUNCH_ATTEMPTS = 3


def windows_path(unix_path):
    """A Linux path as Windows programs under Wine name it (drive Z: is /)."""
    return "Z:" + unix_path.replace("/", "\\")


def browser_command_line(host, origin, parent_window=0):
    """The command line with which the browser starts the host at Windows path `host`."""
    return '%s /d /s /c ""%s" %s --parent-window=%d"' % (BROWSER_SHELL, host, origin, parent_window)


def doctor_could_not_launch(output):
    """Whether a doctor report (text or JSON) shows Wine failing to create the
    host's process: cmd.exe saying it cannot recognise the command, or, on a
    loaded machine, CreateProcess of cmd.exe itself failing with Wine's
    ERROR_INTERNAL_ERROR (1359). The host never ran, so the check is repeated."""
    return "Can't recognize" in output or "could not be started: Internal error. (os error 1359)" in output


def could_not_launch(completed):
    return (completed.stdout == b"" and isinstance(completed.stderr, bytes)
            and completed.stderr.startswith(b"Can't recognize"))


class WinePrefix:
    def __init__(self, path, launcher=None):
        """A new prefix at `path`; `launcher` is tests/wine/launch_like_browser.exe of the build."""
        for program in (WINE, WINESERVER):
            if not os.path.exists(program):
                raise AssertionError("%s is missing: install wine64 (scripts/setup.sh)" % program)
        self.path = path
        self.launcher = launcher
        self.env = dict(os.environ, WINEPREFIX=path, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        os.makedirs(path)
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-p"], env=self.env, timeout=LIMIT_SECONDS, **quiet)
        subprocess.run([WINE, "cmd.exe", "/c", "exit"], env=self.env, timeout=LIMIT_SECONDS, **quiet)

    def stop(self):
        subprocess.run([WINESERVER, "-k"], env=self.env, timeout=LIMIT_SECONDS)

    def run(self, *args, check=True, stdin=None):
        """Runs a Windows program; stdout and stderr as text with LF line ends."""
        result = subprocess.run([WINE, *args], input=stdin, capture_output=True, env=self.env, timeout=LIMIT_SECONDS)
        text = lambda data: data.decode("utf-8", "replace").replace("\r\n", "\n")
        result.stdout, result.stderr = text(result.stdout), text(result.stderr)
        if check and result.returncode != 0:
            raise AssertionError("%r failed (%d):\n%s%s" % (args, result.returncode, result.stdout, result.stderr))
        return result

    def launch_like_browser(self, folder, command_line, stdin=b""):
        """Runs `command_line` exactly as written in Windows folder `folder`; stdout and stderr as bytes."""
        for _ in range(LAUNCH_ATTEMPTS):
            result = subprocess.run([WINE, self.launcher, folder, command_line], input=stdin, capture_output=True,
                                    env=self.env, timeout=LIMIT_SECONDS)
            if not could_not_launch(result):
                break
        return result

    def unix_path(self, path):
        """Where Windows path `path` (on drive C: or Z:) lies on this machine."""
        drive, rest = path[:2].upper(), path[3:].replace("\\", "/")
        if drive == "Z:":
            return "/" + rest
        if drive == "C:":
            return os.path.join(self.path, "drive_c", rest)
        raise ValueError("not on drive C: or Z:: " + path)

    def windows_variable(self, name):
        return self.run("cmd.exe", "/c", "echo %" + name + "%").stdout.strip()

    def registry_value(self, key, view="64", name=None):
        """A string value of `key` (its default value unless `name`) in one view, or None.
        Read from reg.exe's export, which is UTF-16 (its query output to a pipe
        is in an 8-bit code page that loses letters outside ASCII)."""
        exported = os.path.join(self.path, "value.reg")
        result = self.run("reg.exe", "export", key, windows_path(exported), "/reg:" + view, "/y", check=False)
        if result.returncode != 0:
            return None
        with open(exported, "rb") as f:
            text = f.read().decode("utf-16")
        os.remove(exported)
        wanted = "@=" if name is None else '"%s"=' % name.replace("\\", "\\\\").replace('"', '\\"')
        section = text.split("\r\n\r\n[", 2)[1] if "\r\n\r\n[" in text else ""
        for line in section.split("\r\n")[1:]:
            if line.startswith(wanted + '"'):
                value = line[len(wanted) + 1:-1]
                return value.replace('\\"', '"').replace("\\\\", "\\")
        return None

    def registry_key_exists(self, key, view="64"):
        return self.run("reg.exe", "query", key, "/reg:" + view, check=False).returncode == 0
