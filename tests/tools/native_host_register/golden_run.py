#!/usr/bin/python3
"""The registration tool's golden run: every read-only verb and flag of
orvix-native-host-register, over the homes, system roots and registries the
black-box tests build and one fixture per doctor problem code, on Linux and
under Wine (the Windows .exe through scripts/wine_run.sh), recorded as stdout,
stderr and exit status, byte for byte.

A change meant to leave the tool's behaviour as it is records a run before it
and compares after:

  golden_run.py record DIR      # DIR/linux/..., DIR/windows/...
  golden_run.py compare DIR     # records anew into DIR.new and diffs; exit 1 on any difference

Options: --build DIR (default build), --windows-build DIR (default
build-windows), --no-wine, --no-linux, --only SUBSTRING (fixtures whose name holds it).

Nothing is masked: every fixture is built at one fixed path
(/tmp/orvix-golden-run, or $ORVIX_GOLDEN_ROOT), with copies of the programs in
it, so every path the tool prints is the same from run to run. The fixtures
are rebuilt for each case; only dry runs and doctor without changes run, so
nothing a case does leaks into the next. Runs as root (the tests' user), so a
manifest chowned to nobody is another user's."""
import argparse
import difflib
import json
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
ROOT = os.environ.get("ORVIX_GOLDEN_ROOT", "/tmp/orvix-golden-run")
HOST_NAME = "com.orvix.chrome_native_host"
MANIFEST = HOST_NAME + ".json"
TOOL = "orvix-native-host-register"
HOST = "orvix-chrome-native-host"
CLIENT = "orvix-nm-client"
ID_A = "abcdefghijklmnopabcdefghijklmnop"
ID_B = "ponmlkjihgfedcbaponmlkjihgfedcba"
LIMIT_SECONDS = 120
WINE_RUN = os.path.join(REPO, "scripts", "wine_run.sh")
# Wine's cmd.exe now and then fails to create the host's process (see
# tests/wine/wine_prefix.py); doctor is then run again.
LAUNCH_ATTEMPTS = 3

# The verbs every fixture runs: all of them change nothing.
VERBS = [
    ["list"],
    ["list", "--wide"],
    ["list", "--json"],
    ["install", "--dry-run", "--extension-id", ID_A],
    ["install", "--dry-run", "--json", "--extension-id", ID_A],
    ["install", "--dry-run", "--extension-id", ID_B, "--force", "--replace-ids"],
    ["install", "--dry-run", "--system", "--extension-id", ID_A],
    ["install", "--dry-run", "--system", "--json", "--extension-id", ID_A, "--browser", "chrome"],
    ["uninstall", "--dry-run"],
    ["uninstall", "--dry-run", "--json"],
    ["uninstall", "--dry-run", "--system"],
    ["uninstall", "--dry-run", "--host", "@HOST"],
    ["doctor"],
    ["doctor", "--json"],
    ["doctor", "--extension-id", ID_B],
    ["doctor", "--fix", "--dry-run"],
    ["doctor", "--fix", "--dry-run", "--json"],
]

# The verbs whose output depends on no fixture, run once.
STATIC_VERBS = [
    [], ["--help"], ["-h"], ["--version"], ["version"], ["help"],
    ["help", "install"], ["help", "uninstall"], ["help", "print"], ["help", "list"], ["help", "doctor"],
    ["help", "help"], ["install", "--help"], ["doctor", "-h"], ["help", "nonsense"],
    ["print", "--extension-id", ID_A],
    ["print", "--extension-id", ID_A, "--extension-id", ID_B, "--extension-id", ID_A, "--host", "relative/host"],
    ["print", "--extension-id", ID_A, "--browser", "chromium-flatpak"],
    ["print", "--extension-id", ID_A, "--browser", "chrome"],
    ["print", "--extension-id", ID_A, "--browser", "chrome", "--browser", "edge"],
    ["print", "--extension-id=" + ID_A, "--host=/opt/x/host"],
    ["print"], ["install"], ["install", "--extension-id"], ["install", "--extension-id", "ABC"],
    ["install", "--extension-id", ID_A, "--colour"], ["install", "--extension-id", ID_A, "--browser", "netscape"],
    ["install", "--dry-run", "--extension-id", ID_A, "--browser", "brave", "--system"],
    ["install", "--dry-run", "--extension-id", ID_A, "--host", "/nonexistent/host"],
    ["install", "--dry-run", "--extension-id", ID_A, "--browser", "all"],
    ["list", "--fix"], ["list", "--wide=yes"], ["doctor", "--dry-run"], ["frobnicate"], ["--frobnicate"],
    ["uninstall", "--extension-id", ID_A],
]


def write(path, text, mode=0o644):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(text.encode("utf-8") if isinstance(text, str) else text)
    os.chmod(path, mode)
    return path


def manifest(host, *ids, **changes):
    document = {"name": HOST_NAME, "description": "Orvix Chrome native host", "path": host, "type": "stdio",
                "allowed_origins": ["chrome-extension://%s/" % i for i in ids]}
    document.update(changes)
    return json.dumps({k: v for k, v in document.items() if v is not None})


def wrapper(host):
    folder = os.path.dirname(host) or "/"
    q = lambda text: "'" + text.replace("'", "'\\''") + "'"
    return ("#!/bin/sh\n# Written by %s. A browser installed through Flatpak\n"
            "# cannot start the host outside its sandbox; flatpak-spawn --host starts it\n"
            "# there, in its own folder, with the browser's arguments. install writes this\n"
            "# file anew, uninstall removes it, doctor checks it.\n"
            "exec flatpak-spawn --host --directory=%s %s \"$@\"\n" % (TOOL, q(folder), q(host)))


def record_file(path, args, status, stdout, stderr):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(b"$ " + " ".join(args).encode() + b"\nexit " + str(status).encode() + b"\n--- stdout\n" + stdout +
                b"--- stderr\n" + stderr)


def verb_name(index, args):
    """A file name for a run: its place in the list, then its words without the ids."""
    words = [a.split("=")[0].lstrip("-").replace("/", "~") for a in args if a not in (ID_A, ID_B)]
    return "%02d_%s" % (index, "_".join(words)[:60])


# Linux ----------------------------------------------------------------------


class Linux:
    """One fixture tree below ROOT/linux: the tool, the host and the client
    copied into bin/, a home with XDG_CONFIG_HOME, a system root."""

    def __init__(self, build):
        self.build = build
        self.base = os.path.join(ROOT, "linux")
        self.bin = os.path.join(self.base, "bin")
        self.home = os.path.join(self.base, "home")
        self.config = os.path.join(self.home, ".config")
        self.root = os.path.join(self.base, "root")
        self.host = os.path.join(self.bin, HOST)

    def fresh(self):
        """Everything but the programs goes; a program a fixture removed comes back."""
        os.makedirs(self.bin, exist_ok=True)
        for name in os.listdir(self.base):
            if name != "bin":
                path = os.path.join(self.base, name)
                shutil.rmtree(path) if os.path.isdir(path) and not os.path.islink(path) else os.remove(path)
        for program in (TOOL, HOST, CLIENT):
            if not os.path.exists(os.path.join(self.bin, program)):
                shutil.copy2(os.path.join(self.build, program), self.bin)
        os.makedirs(self.config)
        os.makedirs(self.root)

    def env(self):
        return {"PATH": "/usr/bin:/bin", "HOME": self.home, "XDG_CONFIG_HOME": self.config,
                "ORVIX_REGISTER_SYSTEM_ROOT": self.root, "ORVIX_HOME": os.path.join(self.base, "orvix-home"),
                "LANG": "C.UTF-8"}

    def run(self, args):
        args = [self.host if a == "@HOST" else a for a in args]
        result = subprocess.run([os.path.join(self.bin, TOOL), *args], capture_output=True, env=self.env(),
                                cwd=self.base, timeout=LIMIT_SECONDS)
        return args, result.returncode, result.stdout, result.stderr

    # What a fixture builds.
    def detect(self, *folders):
        for folder in folders:
            os.makedirs(os.path.join(self.config, folder), exist_ok=True)

    def user_manifest(self, folder, text, mode=0o644):
        return write(os.path.join(self.config, folder, "NativeMessagingHosts", MANIFEST), text, mode)

    def system_manifest(self, folder, text):
        return write(os.path.join(self.root, folder.lstrip("/"), MANIFEST), text)

    def script(self, name, text):
        return write(os.path.join(self.base, name), "#!/bin/sh\n" + text, 0o755)

    def flatpak(self, host=None, granted=True, wrapper_text=None, wrapper_mode=0o755):
        app = "org.chromium.Chromium"
        folder = os.path.join(self.home, ".var", "app", app, "config", "chromium", "NativeMessagingHosts")
        shown = os.path.join(folder, HOST_NAME + ".sh")
        write(os.path.join(folder, MANIFEST), manifest(shown, ID_A))
        if wrapper_text is not False:
            write(shown, wrapper_text if wrapper_text is not None else wrapper(host or self.host), wrapper_mode)
        value = "talk" if granted else "none"
        write(os.path.join(self.home, ".local", "share", "flatpak", "overrides", app),
              "[Session Bus Policy]\norg.freedesktop.Flatpak=%s\n" % value)

    def policy(self, kind, name, document):
        write(os.path.join(self.root, "etc", "chromium", "policies", kind, name), json.dumps(document)
              if not isinstance(document, str) else document)

    def profile(self, folder, profile, extensions, file="Preferences"):
        settings = {eid: {"active_permissions": {"api": ["nativeMessaging"]}, "manifest": {"name": name}}
                    for eid, name in extensions}
        write(os.path.join(self.config, folder, profile, file), json.dumps({"extensions": {"settings": settings}}))


def linux_fixtures(f):
    """(name, builder) pairs; each builder builds one fixture in a fresh tree."""
    sound = lambda *ids: manifest(f.host, *ids)

    def one(folder, text, mode=0o644):
        return lambda: (f.detect(folder), f.user_manifest(folder, text, mode))

    def not_yours():
        f.detect("chromium")
        path = f.user_manifest("chromium", sound(ID_A))
        os.chown(path, 65534, 65534)
        os.chown(os.path.dirname(path), 65534, 65534)

    def unreadable():
        f.detect("chromium")
        os.makedirs(os.path.join(f.config, "chromium", "NativeMessagingHosts", MANIFEST))

    def host_failed():
        f.detect("chromium")
        # It reads the whole hello frame first (29 bytes), so the request never
        # meets a closed pipe, then answers with a frame length no host sends.
        failing = f.script("failing-host", "head -c 29 >/dev/null\nprintf '\\377\\377\\377\\177'\n"
                                           "echo 'it broke' >&2\nexit 3\n")
        f.user_manifest("chromium", manifest(failing, ID_A))

    def host_not_executable():
        f.detect("chromium")
        plain = write(os.path.join(f.base, "plain host"), "text")
        f.user_manifest("chromium", manifest(plain, ID_A))

    def system_sound():
        os.makedirs(os.path.join(f.root, "opt", "google", "chrome"))
        write(os.path.join(f.root, "opt", "google", "chrome", "chrome"), "", 0o755)
        f.system_manifest("/etc/opt/chrome/native-messaging-hosts", sound(ID_A))

    def shadowed():
        f.detect("chromium")
        f.user_manifest("chromium", manifest(os.path.join(f.base, "gone", HOST), ID_A))
        f.system_manifest("/etc/chromium/native-messaging-hosts", sound(ID_A, ID_B))

    def user_level_off():
        f.detect("chromium")
        f.user_manifest("chromium", sound(ID_A))
        f.policy("managed", "a.json", {"NativeMessagingUserLevelHosts": False})
        f.policy("recommended", "r.json", {"NativeMessagingBlocklist": ["*"]})

    def blocked():
        f.detect("chromium")
        f.user_manifest("chromium", sound(ID_A))
        f.policy("managed", "a.json", {"NativeMessagingBlocklist": ["*"]})
        f.policy("managed", "b.json", "{not json")
        f.policy("managed", "c.json", {"NativeMessagingAllowlist": "wrong type"})

    def allowed():
        f.detect("chromium")
        f.user_manifest("chromium", sound(ID_A))
        f.policy("managed", "a.json", {"NativeMessagingBlocklist": ["*"], "NativeMessagingAllowlist": [HOST_NAME]})

    def profiles():
        f.detect("chromium", "google-chrome")
        f.user_manifest("chromium", sound(ID_A))
        f.profile("chromium", "Default", [(ID_A, "Ours"), (ID_B, "Theirs")])
        f.profile("chromium", "Profile 2", [(ID_B, "__MSG_name__")], file="Secure Preferences")
        f.profile("google-chrome", "Default", [(ID_B, "Theirs")])

    def moved_host_replaced():
        f.detect("chromium", "google-chrome")
        f.user_manifest("chromium", manifest(os.path.join(f.base, "old", HOST), ID_A, ID_B))

    def host_gone_no_successor():
        f.detect("chromium")
        f.user_manifest("chromium", manifest(os.path.join(f.base, "old", HOST), ID_A))
        os.remove(f.host)

    def other_host():
        f.detect("chromium")
        f.user_manifest("chromium", manifest("/opt/other/host", ID_B))

    def bom():
        f.detect("chromium")
        f.user_manifest("chromium", "\ufeff" + sound(ID_A))

    def flatpak_foreign_file():
        f.flatpak(wrapper_text="#!/bin/sh\nexec something\n")

    def temporaries():
        f.detect("chromium")
        path = f.user_manifest("chromium", sound(ID_A))
        write(path + ".tmp-99999999-1", "half")

    def quoted_paths():
        f.detect("chromium")
        odd = os.path.join(f.base, "a b`id`$x")
        os.makedirs(odd)
        plain = write(os.path.join(odd, "host"), "text")
        f.user_manifest("chromium", manifest(plain, ID_A))

    return [
        ("empty", lambda: None),
        ("detected", lambda: f.detect("chromium", "google-chrome", "microsoft-edge")),
        ("registered", lambda: (f.detect("chromium", "google-chrome"), f.user_manifest("chromium", sound(ID_A)),
                                f.user_manifest("google-chrome", sound(ID_A, ID_B)))),
        ("system", system_sound),
        ("shadowed", shadowed),
        ("flatpak", lambda: f.flatpak()),
        ("profiles", profiles),
        ("other_host", other_host),
        ("byte_order_mark", bom),
        ("policy_allowed", allowed),
        ("temporaries", temporaries),
        ("quoted_paths", quoted_paths),
        ("host_gone_replaced", moved_host_replaced),
        ("host_gone_no_successor", host_gone_no_successor),
        # One per problem code that Linux can show.
        ("problem_manifest_not_yours", not_yours),
        ("problem_manifest_unreadable", unreadable),
        ("problem_manifest_invalid", one("chromium", "{\"name\": ")),
        ("problem_name_mismatch", one("chromium", manifest(f.host, ID_A, name="com.other.host"))),
        ("problem_type_invalid", one("chromium", manifest(f.host, ID_A, type="socket"))),
        ("problem_path_missing", one("chromium", manifest(f.host, ID_A, path=None))),
        ("problem_path_not_absolute", one("chromium", manifest("bin/" + HOST, ID_A))),
        ("problem_origins_invalid", one("chromium", manifest(f.host, allowed_origins=["chrome-extension://x/", 7]))),
        ("problem_origin_missing_slash",
         one("chromium", manifest(f.host, allowed_origins=["chrome-extension://%s" % ID_A]))),
        ("problem_wrapper_unknown", flatpak_foreign_file),
        ("problem_wrapper_missing", lambda: f.flatpak(wrapper_text=False)),
        ("problem_wrapper_not_executable", lambda: f.flatpak(wrapper_mode=0o644)),
        ("problem_host_missing", one("chromium", manifest(os.path.join(f.base, "gone", HOST), ID_A))),
        ("problem_host_not_executable", host_not_executable),
        ("problem_host_failed", host_failed),
        ("problem_flatpak_permission_missing", lambda: f.flatpak(granted=False)),
        ("problem_user_level_hosts_disabled", user_level_off),
        ("problem_not_registered", lambda: f.detect("chromium")),
        ("problem_host_blocked", blocked),
        ("problem_extension_not_admitted", one("chromium", sound(ID_A))),  # doctor --extension-id ID_B
    ]


def record_linux(out, build, only):
    f = Linux(build)
    shutil.rmtree(f.base, ignore_errors=True)
    f.fresh()
    if only is None or "static" in only:
        for index, args in enumerate(STATIC_VERBS):
            record_file(os.path.join(out, "linux", "static", verb_name(index, args)), *f.run(args))
    for name, build_fixture in linux_fixtures(f):
        if only is not None and only not in name:
            continue
        for index, args in enumerate(VERBS):
            f.fresh()
            build_fixture()
            record_file(os.path.join(out, "linux", name, verb_name(index, args)), *f.run(args))
    shutil.rmtree(f.base, ignore_errors=True)


# Windows under Wine ---------------------------------------------------------


class Windows:
    """A Wine prefix of its own at ROOT/wine-prefix (made once per run), the
    .exe files copied to ROOT/windows/app; each fixture adds registry values
    and files, and takes them away again after its verbs."""

    PROGRAMS = [TOOL + ".exe", HOST + ".exe", CLIENT + ".exe"]

    def __init__(self, build):
        self.build = build
        self.base = os.path.join(ROOT, "windows")
        self.app = os.path.join(self.base, "app")
        self.prefix = os.path.join(ROOT, "wine-prefix")
        self.env = dict(os.environ, ORVIX_WINEPREFIX=self.prefix)
        for name in ("ORVIX_HOME", "HOME", "ORVIX_REGISTER_SYSTEM_ROOT", "XDG_CONFIG_HOME", "XDG_DATA_HOME"):
            self.env.pop(name, None)
        self.env["ORVIX_HOME"] = "Z:" + os.path.join(self.base, "orvix-home").replace("/", "\\")
        self.keys = []
        self.folders = []

    def win(self, path):
        return "Z:" + path.replace("/", "\\")

    def wine(self, *args, check=True):
        result = subprocess.run(["bash", WINE_RUN, *args], capture_output=True, env=self.env, timeout=LIMIT_SECONDS)
        if check and result.returncode != 0:
            raise AssertionError("%r failed: %r" % (args, result.stderr))
        return result

    def start(self):
        shutil.rmtree(self.prefix, ignore_errors=True)
        shutil.rmtree(self.base, ignore_errors=True)
        os.makedirs(self.app)
        for program in self.PROGRAMS:
            shutil.copy2(os.path.join(self.build, program), self.app)
        self.wine("cmd.exe", "/c", "exit")
        self.local_app_data = self.unix(self.wine("cmd.exe", "/c", "echo %LOCALAPPDATA%").stdout.decode().strip())
        self.host = self.win(os.path.join(self.app, HOST + ".exe"))

    def stop(self):
        self.wine("--stop", check=False)
        shutil.rmtree(self.prefix, ignore_errors=True)
        shutil.rmtree(self.base, ignore_errors=True)

    def unix(self, path):
        if path[:2].upper() == "C:":
            return os.path.join(self.prefix, "drive_c", path[3:].replace("\\", "/"))
        return "/" + path[3:].replace("\\", "/")

    def run(self, args):
        args = [self.host if a == "@HOST" else a for a in args]
        for _ in range(LAUNCH_ATTEMPTS):
            result = self.wine(os.path.join(self.app, TOOL + ".exe"), *args, check=False)
            if args[:1] != ["doctor"] or b"Can't recognize" not in result.stdout + result.stderr:
                break
        return args, result.returncode, result.stdout.replace(b"\r\n", b"\n"), result.stderr.replace(b"\r\n", b"\n")

    # What a fixture builds.
    def key(self, key, value, view="64", kind="REG_SZ", name=None):
        self.keys.append((key, view))
        self.wine("reg.exe", "add", key, *(["/v", name] if name else ["/ve"]), "/t", kind, "/d", value, "/f",
                  "/reg:" + view)

    def detect(self, *folders):
        for folder in folders:
            path = os.path.join(self.local_app_data, folder)
            os.makedirs(path, exist_ok=True)
            self.folders.append(path)

    def manifest(self, text, name=MANIFEST):
        path = os.path.join(self.app, name)
        self.folders.append(path)
        write(path, text)
        return self.win(path)

    def clean(self):
        for key, view in reversed(self.keys):
            self.wine("reg.exe", "delete", key, "/f", "/reg:" + view, check=False)
        for path in self.folders:
            if os.path.isdir(path):
                shutil.rmtree(path, ignore_errors=True)
            elif os.path.exists(path):
                os.remove(path)
        self.keys, self.folders = [], []


CHROME = "Software\\Google\\Chrome\\NativeMessagingHosts\\" + HOST_NAME
EDGE = "Software\\Microsoft\\Edge\\NativeMessagingHosts\\" + HOST_NAME


def windows_fixtures(w):
    chrome_data = "Google/Chrome/User Data"

    def registered():
        w.detect(chrome_data, "Microsoft/Edge/User Data")
        path = w.manifest(manifest(w.host, ID_A))
        w.key("HKCU\\" + CHROME, path)
        w.key("HKCU\\" + EDGE, path)

    def system():
        path = w.manifest(manifest(w.host, ID_A, ID_B))
        w.key("HKLM\\" + CHROME, path, "64")
        w.key("HKLM\\" + CHROME, path, "32")

    def shadowed():
        w.detect(chrome_data)
        path = w.manifest(manifest(w.host, ID_A, ID_B))
        w.key("HKLM\\" + CHROME, path, "64")
        w.key("HKLM\\" + CHROME, path, "32")
        w.key("HKCU\\" + CHROME, w.win(os.path.join(w.base, "gone", MANIFEST)))

    def wow():
        w.detect(chrome_data)
        w.key("HKCU\\Software\\WOW6432Node\\Google\\Chrome\\NativeMessagingHosts\\" + HOST_NAME,
              w.manifest(manifest(w.host, ID_A)))

    def blocked():
        w.detect(chrome_data)
        w.key("HKCU\\" + CHROME, w.manifest(manifest(w.host, ID_A)))
        w.key("HKLM\\Software\\Policies\\Google\\Chrome\\NativeMessagingBlocklist", "*", name="1")
        w.key("HKCU\\Software\\Policies\\Google\\Chrome\\Recommended", "0", kind="REG_DWORD",
              name="NativeMessagingUserLevelHosts")

    def user_level_off():
        w.detect(chrome_data)
        w.key("HKCU\\" + CHROME, w.manifest(manifest(w.host, ID_A)))
        w.key("HKLM\\Software\\Policies\\Google\\Chrome", "0", kind="REG_DWORD", name="NativeMessagingUserLevelHosts")

    def percent():
        w.detect(chrome_data)
        w.key("HKCU\\" + CHROME, w.manifest(manifest("C:\\50%OS%x\\" + HOST + ".exe", ID_A)))

    def relative_host():
        w.detect(chrome_data)
        w.key("HKCU\\" + CHROME, w.manifest(manifest(HOST + ".exe", ID_A)))

    def host_missing():
        w.detect(chrome_data)
        w.key("HKCU\\" + CHROME, w.manifest(manifest("C:\\gone\\" + HOST + ".exe", ID_A)))

    return [
        ("empty", lambda: None),
        ("detected", lambda: w.detect(chrome_data, "Microsoft/Edge/User Data")),
        ("registered", registered),
        ("system", system),
        ("shadowed", shadowed),
        ("wow6432node", wow),
        ("relative_host", relative_host),
        ("problem_host_path_percent", percent),
        ("problem_registry_unreadable", lambda: (w.detect(chrome_data), w.key("HKCU\\" + CHROME, "1",
                                                                               kind="REG_DWORD"))),
        ("problem_registry_manifest_relative", lambda: (w.detect(chrome_data),
                                                        w.key("HKCU\\" + CHROME, "relative\\" + MANIFEST))),
        ("problem_registry_manifest_missing", lambda: (w.detect(chrome_data),
                                                       w.key("HKCU\\" + CHROME, "C:\\missing\\" + MANIFEST))),
        ("problem_host_missing", host_missing),
        ("problem_host_blocked", blocked),
        ("problem_user_level_hosts_disabled", user_level_off),
        ("problem_extension_not_admitted", registered),
    ]


def record_windows(out, build, only):
    w = Windows(build)
    w.start()
    try:
        if only is None or "static" in only:
            for index, args in enumerate(STATIC_VERBS):
                record_file(os.path.join(out, "windows", "static", verb_name(index, args)), *w.run(args))
        for name, build_fixture in windows_fixtures(w):
            if only is not None and only not in name:
                continue
            build_fixture()
            try:
                for index, args in enumerate(VERBS):
                    record_file(os.path.join(out, "windows", name, verb_name(index, args)), *w.run(args))
            finally:
                w.clean()
    finally:
        w.stop()


# Record and compare ---------------------------------------------------------


def record(out, options):
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    if not options.no_linux:
        record_linux(out, os.path.abspath(options.build), options.only)
    if not options.no_wine:
        record_windows(out, os.path.abspath(options.windows_build), options.only)


def files_below(folder):
    found = set()
    for parent, _, names in os.walk(folder):
        for name in names:
            found.add(os.path.relpath(os.path.join(parent, name), folder))
    return found


def compare(golden, fresh):
    """Prints each difference; returns how many files differ."""
    differences = 0
    before, after = files_below(golden), files_below(fresh)
    for name in sorted(before | after):
        if name not in after or name not in before:
            print("%s: only in %s" % (name, golden if name in before else fresh))
            differences += 1
            continue
        with open(os.path.join(golden, name), "rb") as a, open(os.path.join(fresh, name), "rb") as b:
            old, new = a.read(), b.read()
        if old != new:
            differences += 1
            sys.stdout.writelines(difflib.unified_diff(old.decode("utf-8", "replace").splitlines(True),
                                                       new.decode("utf-8", "replace").splitlines(True),
                                                       "golden/" + name, "now/" + name))
    return differences


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("action", choices=["record", "compare"])
    parser.add_argument("dir")
    parser.add_argument("--build", default=os.path.join(REPO, "build"))
    parser.add_argument("--windows-build", default=os.path.join(REPO, "build-windows"))
    parser.add_argument("--no-wine", action="store_true")
    parser.add_argument("--no-linux", action="store_true")
    parser.add_argument("--only")
    options = parser.parse_args()
    if options.action == "record":
        record(options.dir, options)
        print("recorded %d runs in %s" % (len(files_below(options.dir)), options.dir))
        return 0
    fresh = options.dir.rstrip("/") + ".new"
    record(fresh, options)
    golden = options.dir
    if options.only is not None or options.no_wine or options.no_linux:
        # Compare only what was recorded anew.
        recorded = files_below(fresh)
        differences = 0
        for name in sorted(recorded):
            if os.path.exists(os.path.join(golden, name)):
                continue
            print("%s: only in %s" % (name, fresh))
            differences += 1
        scratch = fresh + ".golden-part"
        shutil.rmtree(scratch, ignore_errors=True)
        for name in recorded:
            if os.path.exists(os.path.join(golden, name)):
                os.makedirs(os.path.dirname(os.path.join(scratch, name)), exist_ok=True)
                shutil.copy2(os.path.join(golden, name), os.path.join(scratch, name))
        golden = scratch
    differences = compare(golden, fresh)
    print("%d of %d runs differ" % (differences, len(files_below(fresh))))
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
