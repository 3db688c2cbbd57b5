"""The registration tool, run as a real process against temporary homes:
what it writes where, what it refuses, and what doctor finds when it starts
the host the way a browser does. Nothing here touches the machine's real
browser profiles or /etc: HOME, XDG_CONFIG_HOME and the system-wide root
(ORVIX_REGISTER_SYSTEM_ROOT) all point into the test's folder."""
import json
import os
import re
import shlex
import shutil
import stat
import subprocess
import tempfile
import textwrap
import unittest

import harness

HOST_NAME = "com.orvix.chrome_native_host"
MANIFEST = HOST_NAME + ".json"
ID_A = "abcdefghijklmnopabcdefghijklmnop"
ID_B = "ponmlkjihgfedcbaponmlkjihgfedcba"
LIMIT_SECONDS = 120


def tool():
    return os.path.realpath(os.path.join(harness.build_dir(), "orvix-native-host-register"))


def real_host():
    command = os.environ.get("ORVIX_HOST_CMD")
    if not command:
        raise unittest.SkipTest("ORVIX_HOST_CMD is not set")
    return os.path.abspath(shlex.split(command)[0])


# Folders, file modes and shell-script hosts are the POSIX build's; the
# Windows build of the tool has its own suite under Wine (tests/wine).
@unittest.skipIf(os.environ.get("ORVIX_TARGET_OS") == "Windows", "POSIX registrations; see tests/wine")
class RegisterTestCase(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="orvix-register-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.home = os.path.join(self.tmp, "home")
        self.config = os.path.join(self.home, ".config")
        self.system_root = os.path.join(self.tmp, "root")
        os.makedirs(self.config)
        self.env = {
            "PATH": "/usr/bin:/bin",  # without the tool: fix lines name it by its path
            "HOME": self.home,
            "XDG_CONFIG_HOME": self.config,
            "ORVIX_REGISTER_SYSTEM_ROOT": self.system_root,
            "ORVIX_HOME": os.path.join(self.tmp, "orvix-home"),
        }
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if name in os.environ:
                self.env[name] = os.environ[name]
        self.host = real_host()

    def run_tool(self, *args):
        return subprocess.run([tool(), *args], capture_output=True, env=self.env, timeout=LIMIT_SECONDS,
                              cwd=self.tmp, text=True)

    def run_json(self, *args):
        result = self.run_tool(*args, "--json")
        return result.returncode, json.loads(result.stdout)

    def detect(self, *folders):
        for folder in folders:
            os.makedirs(os.path.join(self.config, folder), exist_ok=True)

    def user_manifest(self, folder):
        return os.path.join(self.config, folder, "NativeMessagingHosts", MANIFEST)

    def read_manifest(self, path):
        with open(path, encoding="utf-8") as f:
            return json.load(f)

    def write_file(self, path, text, mode=0o644):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        os.chmod(path, mode)
        return path

    def follow(self, fix, user=None):
        """Runs the command a fix names through /bin/sh, as printed (sudo left out: the test runs as root)."""
        command = fix.split(": ", 1)[1]
        if command.startswith("sudo "):
            command = command[len("sudo "):]
        result = subprocess.run(["/bin/sh", "-c", command], capture_output=True, text=True, env=self.env,
                                cwd=self.tmp, timeout=LIMIT_SECONDS, user=user)
        self.assertEqual(result.returncode, 0, command + "\n" + result.stdout + result.stderr)
        return result

    def expected_manifest(self, host, *ids):
        return {
            "allowed_origins": ["chrome-extension://%s/" % i for i in ids],
            "description": "Orvix Chrome native host",
            "name": HOST_NAME,
            "path": host,
            "type": "stdio",
        }


class Install(RegisterTestCase):
    def test_writes_the_manifest_for_each_detected_browser_and_says_so(self):
        self.detect("chromium", "google-chrome")
        result = self.run_tool("install", "--extension-id", ID_A, "--extension-id", ID_B, "--extension-id", ID_A,
                               "--host", self.host)
        self.assertEqual(result.returncode, 0, result.stderr)
        chrome, chromium = self.user_manifest("google-chrome"), self.user_manifest("chromium")
        self.assertEqual(result.stdout.splitlines(), [
            "wrote  %s  chrome (user)" % chrome,
            "wrote  %s  chromium (user)" % chromium.ljust(len(chrome)),
        ])
        for path in (chrome, chromium):
            self.assertEqual(self.read_manifest(path), self.expected_manifest(self.host, ID_A, ID_B))
        # Browsers that are not there get nothing.
        self.assertFalse(os.path.exists(os.path.join(self.config, "microsoft-edge")))
        # print shows exactly what install wrote.
        printed = self.run_tool("print", "--extension-id", ID_A, "--extension-id", ID_B, "--host", self.host)
        with open(chromium, encoding="utf-8") as f:
            self.assertEqual(printed.stdout, f.read())

    def test_relative_host_path_is_made_absolute_and_the_default_host_lies_beside_the_tool(self):
        self.detect("chromium")
        host_dir = os.path.dirname(self.host)
        result = subprocess.run([tool(), "install", "--extension-id", ID_A, "--host",
                                 os.path.join(".", os.path.basename(self.host))], capture_output=True, text=True,
                                env=self.env, cwd=host_dir, timeout=LIMIT_SECONDS)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.read_manifest(self.user_manifest("chromium"))["path"], self.host)
        printed = self.run_tool("print", "--extension-id", ID_A)
        self.assertEqual(json.loads(printed.stdout)["path"],
                         os.path.join(os.path.dirname(os.path.realpath(tool())), "orvix-chrome-native-host"))

    def test_refusals_change_nothing_and_exit_non_zero(self):
        self.detect("chromium")
        not_executable = self.write_file(os.path.join(self.tmp, "plain-file"), "text")
        windows_program = self.write_file(os.path.join(self.tmp, "host.exe"), "MZ" + "x" * 62, 0o755)
        # 2: the command line is wrong on any machine; 1: this machine says no.
        cases = [
            (["--extension-id", "ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP"], 2, "is not 32 letters from a to p"),
            (["--extension-id", ID_A[:-1]], 2, "is not 32 letters from a to p"),
            (["--extension-id", ID_A[:-1] + "q"], 2, "is not 32 letters from a to p"),
            (["--extension-id", ID_A, "--host", os.path.join(self.tmp, "missing")], 1, "does not exist"),
            (["--extension-id", ID_A, "--host", not_executable], 1, "is not an executable file"),
            (["--extension-id", ID_A, "--host", self.tmp], 1, "is not an executable file"),
            (["--extension-id", ID_A, "--host", windows_program], 1,
             "is a Windows program; this system cannot run it. Name the host built for this system with --host"),
            (["--extension-id", ID_A, "--browser", "netscape"], 2, 'Unknown browser "netscape"'),
            (["--extension-id", ID_A, "--browser", "brave", "--system"], 1, "Brave has no documented system-wide"),
            (["--host", self.host], 2, "needs at least one --extension-id"),
            (["--extension-id"], 2, "--extension-id needs a value"),
            (["--extension-id", ID_A, "--colour"], 2, "install does not take --colour"),
        ]
        for args, status, text in cases:
            with self.subTest(args=args):
                result = self.run_tool("install", *args)
                self.assertEqual(result.returncode, status, result.stdout + result.stderr)
                unwrapped = result.stderr.replace("\n  ", " ")  # a usage error is wrapped to 100 columns
                self.assertIn(text, unwrapped)
                self.assertEqual(len(unwrapped.splitlines()), status, result.stderr)  # and where the help is
                self.assertEqual(result.stdout, "")
                self.assertFalse(os.path.exists(os.path.join(self.config, "chromium", "NativeMessagingHosts")))

    def test_nothing_detected_and_no_browser_named_is_refused(self):
        result = self.run_tool("install", "--extension-id", ID_A, "--host", self.host, "--browser", "all")
        self.assertEqual(result.returncode, 1)
        self.assertIn("No supported browser was detected", result.stderr)

    def test_in_a_home_where_no_browser_has_run_the_installed_ones_are_registered_and_named(self):
        # A channel's own program tells that it is installed; the folder the Chrome channels share does not.
        os.makedirs(os.path.join(self.system_root, "etc/opt/chrome"))
        for program in ("usr/bin/chromium", "opt/microsoft/msedge/msedge"):
            self.write_file(os.path.join(self.system_root, program), "#!/bin/sh\n", 0o755)
        result = self.run_tool("install", "--extension-id", ID_A, "--host", self.host)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.splitlines()[2:], [
            "No browser has run yet for this user; this registration is for those installed on this machine: "
            "Chromium, Microsoft Edge."])
        self.assertEqual(sorted(os.listdir(self.config)), ["chromium", "microsoft-edge"])
        self.assertEqual(self.read_manifest(self.user_manifest("chromium")), self.expected_manifest(self.host, ID_A))
        # Once a browser has run, it is the one taken, without a word.
        again = self.run_tool("install", "--extension-id", ID_B, "--host", self.host)
        self.assertEqual([line.split()[0] for line in again.stdout.splitlines()], ["wrote", "wrote"])

    def test_without_home_the_browser_folders_are_still_found(self):
        # A browser started without HOME (or with it empty) takes the home the
        # user database gives, and XDG_CONFIG_HOME still leads to its folder.
        self.detect("chromium")
        for home in (None, ""):
            with self.subTest(home=home):
                self.env.pop("HOME", None)
                if home is not None:
                    self.env["HOME"] = home
                result = self.run_tool("install", "--browser", "chromium", "--extension-id", ID_A, "--host",
                                       self.host)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(self.read_manifest(self.user_manifest("chromium")),
                                 self.expected_manifest(self.host, ID_A))
                self.assertEqual(self.run_tool("uninstall", "--browser", "chromium").returncode, 0)

    def test_a_manifest_naming_another_host_is_kept_unless_forced(self):
        self.detect("chromium")
        path = self.user_manifest("chromium")
        theirs = json.dumps(self.expected_manifest("/opt/other/host", ID_B))
        self.write_file(path, theirs)
        refused = self.run_tool("install", "--extension-id", ID_A, "--host", self.host)
        self.assertEqual(refused.returncode, 1)
        self.assertIn("names another host (/opt/other/host); use --force", refused.stderr)
        with open(path, encoding="utf-8") as f:
            self.assertEqual(f.read(), theirs)

        # Replacing the host keeps the extensions the manifest admitted.
        forced = self.run_tool("install", "--extension-id", ID_A, "--host", self.host, "--force")
        self.assertEqual(forced.returncode, 0, forced.stderr)
        self.assertEqual(self.read_manifest(path), self.expected_manifest(self.host, ID_B, ID_A))

        again = self.run_tool("install", "--extension-id", ID_A, "--host", self.host)
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertEqual(again.stdout, "unchanged  %s  chromium (user)\n" % path)

        # --replace-ids admits only the ids given.
        replaced = self.run_tool("install", "--extension-id", ID_A, "--host", self.host, "--replace-ids")
        self.assertEqual(replaced.returncode, 0, replaced.stderr)
        self.assertEqual(self.read_manifest(path), self.expected_manifest(self.host, ID_A))
        self.assertIn("--replace-ids", self.run_tool("--help").stdout)

    def test_a_failed_write_undoes_the_writes_before_it(self):
        self.detect("chromium", "google-chrome", "vivaldi")
        earlier = self.write_file(self.user_manifest("google-chrome"),
                                  json.dumps(self.expected_manifest(self.host, ID_B)))
        with open(earlier, encoding="utf-8") as f:
            before = f.read()
        # Vivaldi's manifest folder cannot be made: a file stands in its place.
        self.write_file(os.path.join(self.config, "vivaldi", "NativeMessagingHosts"), "in the way")
        result = self.run_tool("install", "--extension-id", ID_A, "--host", self.host)
        self.assertEqual(result.returncode, 1)
        self.assertIn("Cannot change %s: " % self.user_manifest("vivaldi"), result.stderr)
        self.assertIn("(os error 20). Nothing was changed.", result.stderr)
        with open(earlier, encoding="utf-8") as f:
            self.assertEqual(f.read(), before)
        self.assertFalse(os.path.exists(self.user_manifest("chromium")))
        leftovers = [n for n in os.listdir(os.path.dirname(earlier)) if n != MANIFEST]
        self.assertEqual(leftovers, [])

    def test_dry_run_says_what_it_would_write_and_writes_nothing(self):
        self.detect("chromium")
        result = self.run_tool("install", "--extension-id", ID_A, "--host", self.host, "--dry-run")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, "would write  %s  chromium (user)\n" % self.user_manifest("chromium"))
        self.assertFalse(os.path.exists(self.user_manifest("chromium")))

    def test_system_scope_goes_under_the_system_root_readable_by_everyone(self):
        status, report = self.run_json("install", "--extension-id", ID_A, "--host", self.host, "--system",
                                       "--browser", "chrome", "--browser", "chrome-beta", "--browser", "edge")
        self.assertEqual(status, 0, report)
        chrome = os.path.join(self.system_root, "etc/opt/chrome/native-messaging-hosts", MANIFEST)
        edge = os.path.join(self.system_root, "etc/opt/edge/native-messaging-hosts", MANIFEST)
        # The Chrome channels share one system folder: one file, one line.
        self.assertEqual(report, {"changes": [
            {"action": "wrote", "browsers": ["chrome", "chrome-beta"], "scope": "system", "where": chrome},
            {"action": "wrote", "browsers": ["edge"], "scope": "system", "where": edge},
        ], "ok": True})
        for path in (chrome, edge):
            self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), 0o644)
            self.assertEqual(self.read_manifest(path), self.expected_manifest(self.host, ID_A))
        # doctor shows a shared registration once, naming every browser it serves.
        doctor = self.run_tool("doctor", "--browser", "chrome", "--browser", "chrome-beta")
        self.assertEqual(doctor.returncode, 0, doctor.stdout)
        self.assertEqual(doctor.stdout.splitlines()[1].split(), ["chrome,chrome-beta", "system", "ok", chrome])
        self.assertEqual(doctor.stdout.count("hello:"), 1, doctor.stdout)

    def test_installs_of_other_ids_at_once_each_end_admitted_or_say_they_lost(self):
        # Eight runs merge their id into one registration at once: none may
        # replace the manifest from content that lacks another's id.
        self.detect("chromium")
        path = self.user_manifest("chromium")
        ids = [("abcdefghijklmnop"[i:] + "abcdefghijklmnop"[:i]) * 2 for i in range(8)]
        for round in range(4):
            with self.subTest(round=round):
                self.write_file(path, json.dumps(self.expected_manifest(self.host, ID_B)))
                runs = [subprocess.Popen([tool(), "install", "--browser", "chromium", "--extension-id", i, "--host",
                                          self.host], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                         env=self.env, cwd=self.tmp) for i in ids]
                outcomes = [(run.communicate(timeout=LIMIT_SECONDS)[1], run.returncode) for run in runs]
                admitted = self.read_manifest(path)["allowed_origins"]
                self.assertIn("chrome-extension://%s/" % ID_B, admitted)
                for i, (err, status) in zip(ids, outcomes):
                    if status == 0:
                        self.assertIn("chrome-extension://%s/" % i, admitted)
                    else:
                        self.assertIn("Another run of orvix-native-host-register has been changing", err)
                self.assertEqual(os.listdir(os.path.dirname(path)), [MANIFEST])

    def test_temporaries_of_killed_runs_go_with_the_next_install_or_uninstall(self):
        self.detect("chromium")
        path = self.user_manifest("chromium")
        ended = subprocess.Popen(["true"])
        ended.wait()  # its id names no process any more
        left = self.write_file("%s.tmp-%d" % (path, ended.pid), "{")
        live = self.write_file("%s.tmp-%d" % (path, os.getpid()), "{")  # a run still writing
        result = self.run_tool("install", "--browser", "chromium", "--extension-id", ID_A, "--host", self.host)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("removed  %s  chromium (user)" % left, result.stdout)
        self.assertEqual(sorted(os.listdir(os.path.dirname(path))), sorted([MANIFEST, os.path.basename(live)]))
        # A run killed on the first install left only its temporary: uninstall takes the folder with it.
        os.remove(live)
        os.remove(path)
        self.write_file(left, "{")
        self.assertEqual(self.run_tool("uninstall", "--browser", "chromium").returncode, 0)
        self.assertFalse(os.path.exists(os.path.dirname(path)))

    def test_the_manifest_is_on_the_disk_before_it_replaces_the_old_one_and_signals_are_ridden_out(self):
        # strace shows the calls in order, and makes the first of each call
        # that a signal may interrupt fail with EINTR: the run makes it again.
        strace = shutil.which("strace")
        self.assertIsNotNone(strace, "strace is missing: run scripts/setup.sh")
        self.detect("chromium")
        path = self.user_manifest("chromium")
        self.write_file(path, json.dumps(self.expected_manifest(self.host, ID_B)))
        log = os.path.join(self.tmp, "trace")
        # LeakSanitizer cannot work under ptrace: the sanitizer build runs traced without it.
        traced_env = dict(self.env)
        traced_env["ASAN_OPTIONS"] = ":".join(filter(None, [traced_env.get("ASAN_OPTIONS"), "detect_leaks=0"]))
        result = subprocess.run([strace, "-f", "-o", log, "-e", "trace=openat,fsync,rename,renameat,renameat2,flock,fchmod",
                                 "-e", "inject=fsync,rename,flock,fchmod:error=EINTR:when=1",
                                 tool(), "install", "--browser", "chromium", "--extension-id", ID_A, "--host",
                                 self.host], capture_output=True, text=True, env=traced_env, cwd=self.tmp,
                                timeout=LIMIT_SECONDS)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.read_manifest(path), self.expected_manifest(self.host, ID_B, ID_A))
        with open(log, encoding="utf-8") as f:
            calls = [line.split(None, 1)[1] for line in f if "(INJECTED)" not in line and "= -1" not in line]
        [temporary] = [c for c in calls if c.startswith("openat(") and ".tmp-" in c]
        descriptor = temporary.rsplit("= ", 1)[1].strip()
        [renamed] = [i for i, c in enumerate(calls) if c.startswith("rename") and ".tmp-" in c]
        flushed = [i for i, c in enumerate(calls) if c.startswith("fsync(")]
        self.assertIn("fsync(%s)" % descriptor, [c.split(" =")[0].strip() for c in calls[:renamed]])
        self.assertTrue(any(i > renamed for i in flushed), "the folder is not flushed after the rename")
        with open(log, encoding="utf-8") as f:
            self.assertEqual(f.read().count("(INJECTED)"), 4)

        uninstall = subprocess.run([strace, "-f", "-o", log, "-e", "inject=unlink,flock:error=EINTR:when=1", tool(),
                                    "uninstall", "--browser", "chromium"], capture_output=True, text=True,
                                   env=traced_env, cwd=self.tmp, timeout=LIMIT_SECONDS)
        self.assertEqual(uninstall.returncode, 0, uninstall.stderr)
        self.assertFalse(os.path.exists(os.path.dirname(path)))


APP = "org.chromium.Chromium"
PERMISSION = "flatpak override --user --talk-name=org.freedesktop.Flatpak " + APP
TALK = "[Session Bus Policy]\norg.freedesktop.Flatpak=%s\n"


class Flatpak(RegisterTestCase):
    """A Flatpak browser cannot start the host outside its sandbox: its
    manifest names a wrapper that has flatpak-spawn --host start it."""

    def setUp(self):
        super().setUp()
        self.app_folder = os.path.join(self.home, ".var", "app", APP)
        self.folder = os.path.join(self.app_folder, "config", "chromium", "NativeMessagingHosts")
        self.manifest = os.path.join(self.folder, MANIFEST)
        self.wrapper = os.path.join(self.folder, HOST_NAME + ".sh")
        self.user_overrides = os.path.join(self.home, ".local", "share", "flatpak", "overrides")
        self.system_flatpak = os.path.join(self.system_root, "var", "lib", "flatpak")
        os.makedirs(self.app_folder)

    def install(self, *args, host=None):
        return self.run_tool("install", "--browser", "chromium-flatpak", "--extension-id", ID_A,
                             "--host", host or self.host, *args)

    def awkward_host(self):
        """The host, reached through a folder whose name a shell would take apart."""
        folder = os.path.join(self.tmp, "host's $HOME \\ \"dir\"")
        os.makedirs(folder)
        host = os.path.join(folder, "orvix-chrome-native-host")
        os.symlink(self.host, host)
        return host

    def doctor_row(self):
        status, report = self.run_json("doctor", "--browser", "chromium-flatpak")
        row = [r for r in report["registrations"] if r["registered"]]
        self.assertEqual(len(row), 1, report)
        return status, row[0]

    def test_install_writes_a_wrapper_the_manifest_names_and_says_which_permission_is_missing(self):
        host = self.awkward_host()
        dry_status, dry = self.run_json("install", "--browser", "all", "--extension-id", ID_A, "--host", host,
                                        "--dry-run")
        self.assertEqual(dry_status, 0, dry)
        self.assertEqual(dry, {"changes": [
            {"action": "would write", "browsers": ["chromium-flatpak"], "scope": "user", "where": self.wrapper},
            {"action": "would write", "browsers": ["chromium-flatpak"], "scope": "user", "where": self.manifest},
        ], "flatpak_permissions": [PERMISSION], "ok": True})
        self.assertFalse(os.path.exists(self.folder))

        result = self.install(host=host)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.splitlines(), [
            "wrote  %s  chromium-flatpak (user)" % self.wrapper.ljust(len(self.manifest)),
            "wrote  %s  chromium-flatpak (user)" % self.manifest,
            "Run once, so the Flatpak browser may start the host outside its sandbox: " + PERMISSION,
        ])
        self.assertEqual(self.read_manifest(self.manifest), self.expected_manifest(self.wrapper, ID_A))
        self.assertEqual(stat.S_IMODE(os.stat(self.wrapper).st_mode), 0o755)
        with open(self.wrapper, encoding="utf-8") as f:
            wrapper = f.read()
        self.assertTrue(wrapper.startswith("#!/bin/sh\n"), wrapper)
        # The one command: flatpak-spawn starts the host in its folder with the browser's arguments.
        def quoted(text):
            return "'" + text.replace("'", "'\\''") + "'"
        self.assertEqual(wrapper.splitlines()[-1], "exec flatpak-spawn --host --directory=%s %s \"$@\""
                         % (quoted(os.path.dirname(host)), quoted(host)))
        printed = self.run_tool("print", "--extension-id", ID_A, "--host", host, "--browser", "chromium-flatpak")
        with open(self.manifest, encoding="utf-8") as f:
            self.assertEqual(printed.stdout, "%s\n# %s (mode 0755), beside it:\n%s" % (f.read(), self.wrapper, wrapper))

        again = self.install(host=host)
        self.assertEqual(again.stdout.splitlines()[:2], [
            "unchanged  %s  chromium-flatpak (user)" % self.wrapper.ljust(len(self.manifest)),
            "unchanged  %s  chromium-flatpak (user)" % self.manifest])
        # A wrapper that lost its mode is written anew.
        os.chmod(self.wrapper, 0o644)
        self.assertIn(["wrote", self.wrapper], [line.split()[:2] for line in self.install(host=host).stdout.splitlines()])
        self.assertEqual(stat.S_IMODE(os.stat(self.wrapper).st_mode), 0o755)

    def test_arguments_and_frames_pass_through_the_wrapper_and_flatpak_spawn(self):
        host = self.awkward_host()
        self.assertEqual(self.install(host=host).returncode, 0)
        # Inside the sandbox flatpak-spawn --host starts the command outside;
        # here it starts it in place, after noting how it was called.
        seen = os.path.join(self.tmp, "flatpak-spawn-arguments")
        fake = self.write_file(os.path.join(self.tmp, "bin", "flatpak-spawn"),
                               '#!/bin/sh\nprintf "%%s\\n" "$PWD" "$@" > %s\n'
                               '[ "$1" = --host ] || exit 97\ncd "${2#--directory=}" || exit 98\nshift 2\n'
                               'exec "$@"\n' % shlex.quote(seen), 0o755)
        self.env["PATH"] = os.path.dirname(fake) + ":" + self.env["PATH"]
        origin = "chrome-extension://%s/" % ID_A
        odd = "an 'odd' $HOME \\ \"word\""
        run = subprocess.run([self.wrapper, origin, odd], input=harness.frame({"id": 1, "method": "hello"}),
                             capture_output=True, env=self.env, cwd=self.folder, timeout=LIMIT_SECONDS)
        self.assertEqual(run.returncode, 0, run.stderr)
        replies = [json.loads(body) for body in harness.split_frames(run.stdout)]
        self.assertEqual([(r["id"], r["type"], r["result"]["nativeHostVersion"]) for r in replies],
                         [(1, "response", "0.1.0")])
        with open(seen, encoding="utf-8") as f:
            self.assertEqual(f.read().split("\n")[:-1], [
                self.folder, "--host", "--directory=" + os.path.dirname(host), host, origin, odd])

        # doctor asks hello through the wrapper when flatpak-spawn is there.
        self.write_file(os.path.join(self.user_overrides, APP), TALK % "talk")
        status, row = self.doctor_row()
        self.assertEqual(status, 0, row)
        self.assertEqual((row["wrapper"], row["host"], row["problems"]), (self.wrapper, host, []))
        self.assertEqual(row["hello"]["nativeHostVersion"], "0.1.0")
        self.assertIn("hello went through the wrapper and %s." % fake, row["notes"])
        with open(seen, encoding="utf-8") as f:
            self.assertEqual(f.read().split("\n")[3:-1], [host, origin])

    def test_doctor_reads_the_permission_from_the_overrides_as_flatpak_merges_them(self):
        self.assertEqual(self.install().returncode, 0)
        user_app = os.path.join(self.user_overrides, APP)
        system_app = os.path.join(self.system_flatpak, "overrides", APP)
        system_global = os.path.join(self.system_flatpak, "overrides", "global")
        metadata = os.path.join(self.system_flatpak, "app", APP, "current", "active", "metadata")
        per_user_install = os.path.join(self.home, ".local", "share", "flatpak", "app", APP)
        other_group = "[Context]\nshared=network\norg.freedesktop.Flatpak=talk\n"
        cases = [
            # (files, whether granted, the file that decides)
            ({}, False, None),
            ({user_app: other_group}, False, None),
            ({user_app: "# set by hand\n[Session Bus Policy]\n  org.freedesktop.Flatpak = talk \n"}, True, user_app),
            ({system_app: TALK % "talk"}, True, system_app),
            ({system_global: TALK % "own"}, True, system_global),
            ({metadata: "[Application]\nname=%s\n\n" % APP + TALK % "talk"}, True, metadata),
            ({system_app: TALK % "talk", user_app: TALK % "none"}, False, user_app),
            ({system_global: TALK % "none", system_app: TALK % "talk"}, True, system_app),
            # flatpak runs the per-user install and gives it no system-wide overrides.
            ({system_app: TALK % "talk", per_user_install: None}, False, None),
        ]
        for files, granted, decider in cases:
            with self.subTest(files=files):
                for path, text in files.items():
                    if text is None:
                        os.makedirs(path)
                    else:
                        self.write_file(path, text)
                status, row = self.doctor_row()
                problems = [p for p in row["problems"] if p["code"] == "flatpak_permission_missing"]
                self.assertEqual(status, 0 if granted else 1, row)
                if granted:
                    self.assertEqual(problems, [])
                    self.assertIn("%s lets Chromium (Flatpak) talk to org.freedesktop.Flatpak, as flatpak-spawn "
                                  "--host needs." % decider, row["notes"])
                else:
                    self.assertEqual(len(problems), 1, row)
                    self.assertEqual(problems[0]["fix"], "Allow it (once): " + PERMISSION)
                    self.assertIn("%s sets org.freedesktop.Flatpak to none" % decider if decider
                                  else "no Flatpak permission lets it talk", problems[0]["problem"])
                status, report = self.run_json("install", "--browser", "chromium-flatpak", "--extension-id", ID_A,
                                               "--host", self.host)
                self.assertEqual(report.get("flatpak_permissions"), None if granted else [PERMISSION])
                for path in files:
                    shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)

    def test_a_wrapper_that_is_missing_foreign_or_not_executable_is_a_problem_with_a_fix(self):
        self.write_file(os.path.join(self.user_overrides, APP), TALK % "talk")
        self.assertEqual(self.install().returncode, 0)
        os.chmod(self.wrapper, 0o644)
        _, row = self.doctor_row()
        self.assertEqual([(p["code"], p["fix"]) for p in row["problems"]],
                         [("wrapper_not_executable", "Make it executable: chmod +x " + self.wrapper)])

        os.remove(self.wrapper)
        _, row = self.doctor_row()
        self.assertEqual([p["code"] for p in row["problems"]], ["wrapper_missing"])

        self.write_file(self.wrapper, "#!/bin/sh\nexec flatpak-spawn --host /elsewhere \"$@\"\n", 0o755)
        status, row = self.doctor_row()
        self.assertEqual(status, 1)
        self.assertEqual([p["code"] for p in row["problems"]], ["wrapper_unknown"])
        refused = self.install()
        self.assertEqual(refused.returncode, 1)
        self.assertIn("%s exists but was not written by orvix-native-host-register; use --force" % self.wrapper,
                      refused.stderr)
        # The fix given writes both files anew.
        fix = row["problems"][0]["fix"]
        self.assertTrue(fix.startswith("Write the manifest and its wrapper anew: "), fix)
        self.follow(fix)
        status, row = self.doctor_row()
        self.assertEqual(status, 0, row)

        # A wrapper of this tool for another host is kept unless forced.
        other = self.write_file(os.path.join(self.tmp, "other-host"), "#!/bin/sh\n", 0o755)
        refused = self.install(host=other)
        self.assertIn("%s starts another host (%s); use --force" % (self.wrapper, row["host"]), refused.stderr)

        # A manifest naming the host itself (no wrapper) is a problem that install mends without --force.
        self.write_file(self.manifest, json.dumps(self.expected_manifest(self.host, ID_A)))
        os.remove(self.wrapper)
        _, row = self.doctor_row()
        self.assertEqual([p["code"] for p in row["problems"]], ["wrapper_unknown"])
        self.assertEqual(self.install().returncode, 0)
        self.assertEqual(self.read_manifest(self.manifest)["path"], self.wrapper)

    def test_fix_registers_a_moved_host_while_the_app_still_lacks_its_permission(self):
        # The permission is the user's decision; the moved host is not.
        moved = shutil.copy2(self.host, os.path.join(self.tmp, "moved-host"))
        self.assertEqual(self.install(host=moved).returncode, 0)
        os.remove(moved)
        status, report = self.run_json("doctor", "--fix", "--browser", "chromium-flatpak")
        self.assertEqual(status, 1, report)  # the permission is still missing
        self.assertIn("wrote      %s    chromium-flatpak (user)" % self.wrapper, report["applied"])
        _, row = self.doctor_row()
        self.assertEqual([p["code"] for p in row["problems"]], ["flatpak_permission_missing"])
        self.assertEqual(row["host"], self.host)

    def test_uninstall_removes_the_manifest_then_its_wrapper(self):
        self.assertEqual(self.install().returncode, 0)
        # --host goes by the host the wrapper starts: another host's removal leaves both.
        status, report = self.run_json("uninstall", "--browser", "chromium-flatpak", "--host", "/usr/bin/other")
        self.assertEqual([(c["action"], c["where"]) for c in report["changes"]], [("left", self.manifest)])
        self.assertTrue(os.path.exists(self.wrapper))
        status, report = self.run_json("uninstall", "--browser", "chromium-flatpak", "--host", self.host)
        self.assertEqual(status, 0, report)
        self.assertEqual([(c["action"], c["where"]) for c in report["changes"]],
                         [("removed", self.manifest), ("removed", self.wrapper), ("removed", self.folder)])
        self.assertFalse(os.path.exists(self.folder))
        # A file of that name that this tool did not write stays, and so does its folder.
        os.makedirs(self.folder)
        self.write_file(self.wrapper, "#!/bin/sh\n", 0o755)
        result = self.run_tool("uninstall", "--browser", "chromium-flatpak")
        self.assertEqual(result.stdout, "warning: %s was not written by orvix-native-host-register; it stays.\n"
                         "Nothing to do: no registration found.\n" % self.wrapper)
        self.assertTrue(os.path.exists(self.wrapper))

    def test_a_failed_install_takes_back_the_wrapper_it_wrote(self):
        os.makedirs(os.path.join(self.home, ".var", "app", "com.brave.Browser"))
        # Brave's manifest folder cannot be made: a file stands in its place.
        blocked = self.write_file(os.path.join(self.home, ".var/app/com.brave.Browser/config/BraveSoftware/"
                                               "Brave-Browser/NativeMessagingHosts"), "in the way")
        result = self.run_tool("install", "--extension-id", ID_A, "--host", self.host)
        self.assertEqual(result.returncode, 1)
        self.assertIn("Cannot change %s: " % os.path.join(blocked, HOST_NAME + ".sh"), result.stderr)
        # The folder it made for the wrapper goes too.
        self.assertFalse(os.path.exists(self.folder))


class UninstallAndList(RegisterTestCase):
    def test_uninstall_removes_each_manifest_once_then_has_nothing_to_do(self):
        self.detect("chromium", "google-chrome")
        self.assertEqual(self.run_tool("install", "--extension-id", ID_A, "--host", self.host).returncode, 0)
        dry = self.run_tool("uninstall", "--dry-run")
        self.assertEqual([line.split()[:2] for line in dry.stdout.splitlines()], [["would", "remove"]] * 4)
        self.assertTrue(os.path.exists(self.user_manifest("chromium")))

        status, report = self.run_json("uninstall")
        self.assertEqual(status, 0, report)
        # Each manifest, then the folder it leaves empty; the user data folder stays.
        chrome, chromium = self.user_manifest("google-chrome"), self.user_manifest("chromium")
        self.assertEqual([c["where"] for c in report["changes"]],
                         [chrome, os.path.dirname(chrome), chromium, os.path.dirname(chromium)])
        self.assertEqual({c["action"] for c in report["changes"]}, {"removed"})
        self.assertEqual(os.listdir(os.path.join(self.config, "chromium")), [])

        again = self.run_tool("uninstall")
        self.assertEqual((again.returncode, again.stdout), (0, "Nothing to do: no registration found.\n"))

    def test_list_names_every_browser_whether_detected_and_where_its_manifest_goes(self):
        self.detect("BraveSoftware/Brave-Browser")
        status, report = self.run_json("list")
        self.assertEqual(status, 0)
        rows = {row["browser"]: row for row in report["browsers"]}
        self.assertEqual(set(rows), {
            "chrome", "chrome-beta", "chrome-dev", "chrome-canary", "chromium", "edge", "edge-beta", "edge-dev",
            "brave", "brave-beta", "brave-nightly", "vivaldi", "opera", "yandex", "thorium",
            "chrome-flatpak", "chromium-flatpak", "edge-flatpak", "brave-flatpak"})
        self.assertEqual([name for name, row in rows.items() if row["detected"]], ["brave"])
        self.assertEqual(rows["brave"]["user"], self.user_manifest("BraveSoftware/Brave-Browser"))
        self.assertIsNone(rows["brave"]["system"])
        self.assertEqual(rows["chromium"]["system"],
                         os.path.join(self.system_root, "etc/chromium/native-messaging-hosts", MANIFEST))
        self.assertEqual(self.run_json("list", "--wide"), (status, report))

        # The table fits 100 columns however long the home and the system
        # root are: the scopes a browser can be registered in stand for the
        # paths, which --wide shows in full.
        text = self.run_tool("list").stdout.splitlines()
        self.assertEqual(text[0].split(), ["BROWSER", "NAME", "DETECTED", "SCOPES"])
        self.assertEqual(len(text), 1 + len(rows))
        self.assertLessEqual(max(len(line) for line in text), 100, text)
        scopes = {line.split()[0]: line.split()[-1] for line in text[1:]}
        self.assertEqual((scopes["chromium"], scopes["brave"], scopes["chrome-flatpak"]), ("user,system", "user", "user"))
        # Aligned: every row's third column starts where the header's does.
        column = text[0].index("DETECTED")
        self.assertTrue(all(line[column:column + 3] in ("yes", "no ") for line in text[1:]), text)

        wide = self.run_tool("list", "--wide").stdout.splitlines()
        self.assertEqual(wide[0].split(), ["BROWSER", "NAME", "DETECTED", "USER", "SYSTEM"])
        chromium = next(line for line in wide if line.startswith("chromium "))
        self.assertEqual(chromium.split()[-2:], [rows["chromium"]["user"], rows["chromium"]["system"]])
        self.assertGreater(len(chromium), 100)


class CommandLine(RegisterTestCase):
    def test_help_for_the_tool_and_for_each_command(self):
        whole = self.run_tool("--help")
        self.assertEqual(whole.returncode, 0)
        for command in ("install --extension-id ID", "uninstall [", "print --extension-id", "list [--wide]",
                        "doctor [", "Exit status: 0 all good; 1 a command failed, or doctor found a problem;"):
            self.assertIn(command, whole.stdout)
        for args in (["help"], ["-h"], ["help", "--json"], ["version", "--help"]):
            self.assertEqual(self.run_tool(*args).stdout, whole.stdout, args)

        install = self.run_tool("help", "install")
        self.assertEqual(install.returncode, 0)
        self.assertTrue(install.stdout.startswith("usage:\n  install --extension-id ID"), install.stdout)
        self.assertNotIn("uninstall", install.stdout)
        self.assertIn("--replace-ids admit only the ids given", install.stdout)
        self.assertNotIn("--wide", install.stdout)
        for args in (["install", "--help"], ["install", "--extension-id", "x", "--browser", "netscape", "-h"]):
            self.assertEqual(self.run_tool(*args).stdout, install.stdout, args)
        listing = self.run_tool("list", "--help").stdout
        self.assertIn("--wide", listing)
        self.assertNotIn("--system", listing)

        for args in (["--version"], ["version"]):
            version = self.run_tool(*args)
            self.assertEqual(version.returncode, 0)
            self.assertRegex(version.stdout, r"^orvix-native-host-register \d+\.\d+\.\d+\n$")

    def test_every_problem_code_doctor_can_emit_is_documented_with_the_json_fields(self):
        tool_folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tools/native_host_register")
        with open(os.path.join(tool_folder, "problem_code.h"), encoding="utf-8") as f:
            codes = re.findall(r'ProblemName\{ProblemCode::(\w+), "(\w+)"\}', f.read())
        with open(os.path.join(tool_folder, "DOCTOR_JSON.md"), encoding="utf-8") as f:
            page = f.read()
        self.assertGreater(len(codes), 20)
        for _, name in codes:
            self.assertRegex(page, r"\n\| `%s` \| \S" % name)
        status, report = self.run_json("doctor")
        for field in list(report) + list(report["environment"]):
            self.assertIn("`%s`" % field, page)
        with open(os.path.join(tool_folder, "../../README.md"), encoding="utf-8") as f:
            self.assertIn("(tools/native_host_register/DOCTOR_JSON.md)", f.read())

    def test_the_readme_lines_for_a_build_work_as_typed(self):
        readme = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../README.md")
        with open(readme, encoding="utf-8") as f:
            lines = re.findall(r"^    (build/orvix-native-host-register .*)$", f.read(), re.M)
        self.assertEqual([line.split()[1] for line in lines], ["install", "doctor"])
        # Typed in the source folder, whose build/ is the build under test; no browser has run yet.
        source = os.path.join(self.tmp, "source")
        os.makedirs(source)
        os.symlink(os.path.realpath(harness.build_dir()), os.path.join(source, "build"))
        self.write_file(os.path.join(self.system_root, "usr/bin/chromium"), "#!/bin/sh\n", 0o755)
        for line in lines:
            result = subprocess.run(["/bin/sh", "-c", line.replace("<extension id>", ID_A)], capture_output=True,
                                    text=True, env=self.env, cwd=source, timeout=LIMIT_SECONDS)
            self.assertEqual(result.returncode, 0, line + "\n" + result.stdout + result.stderr)
        self.assertEqual(self.read_manifest(self.user_manifest("chromium"))["path"],
                         os.path.join(os.path.realpath(harness.build_dir()), "orvix-chrome-native-host"))

    def test_each_usage_error_fits_100_columns_and_exits_2(self):
        cases = [
            ([], "no command given"),
            (["register"], "unknown command: register"),
            (["--colour"], "unknown option: --colour"),
            (["help", "register"], "unknown command: register"),
            (["list", "--system"], "list does not take --system"),
            (["list", "--wide=yes"], "--wide takes no value"),
            (["install", "--extension-id"], "--extension-id needs a value"),
            (["install", "--host", "--force", "--extension-id", ID_A], "--host needs a value, not the option --force"),
            (["doctor", "--extension-id", "--browser", "chromium"],
             "--extension-id needs a value, not the option --browser"),
            (["print", "--host", "/x"], "print needs at least one --extension-id"),
            (["doctor", "--dry-run"], "doctor takes --dry-run only with --fix"),
            (["doctor", "--json", "--extension-id", "x"],
             'Extension id "x" is not 32 letters from a to p (chrome://extensions shows the id).'),
            (["uninstall", "--browser", "all", "--browser", "netscape"],
             'Unknown browser "netscape"; known browsers: chrome, chrome-beta, chrome-dev, chrome-canary, chromium, '
             "edge, edge-beta, edge-dev, brave, brave-beta, brave-nightly, vivaldi, opera, yandex, thorium, "
             "chrome-flatpak, chromium-flatpak, edge-flatpak, brave-flatpak."),
        ]
        for args, what in cases:
            with self.subTest(args=args):
                result = self.run_tool(*args)
                # Broken at spaces to fit 100 columns, the lines after the first indented.
                first = textwrap.fill("orvix-native-host-register: " + what, 100, subsequent_indent="  ",
                                      break_long_words=False, break_on_hyphens=False)
                self.assertEqual((result.returncode, result.stdout, result.stderr),
                                 (2, "", harness.usage_error("orvix-native-host-register", what).replace(
                                     "orvix-native-host-register: " + what, first, 1)))
                self.assertLessEqual(max(len(line) for line in result.stderr.splitlines()), 100)


class RemovalAndSystemWide(RegisterTestCase):
    """What a package relies on: uninstall --host takes back only what names
    its host, and what uninstall leaves empty goes with it; install --system
    finds the browsers installed on the machine, not in the admin's profile."""

    def system_manifest(self, folder):
        return os.path.join(self.system_root, folder, MANIFEST)

    def stage_program(self, path):
        return self.write_file(os.path.join(self.system_root, path.lstrip("/")), "#!/bin/sh\n", 0o755)

    def test_uninstall_host_removes_only_what_names_that_host_and_the_folders_it_empties(self):
        chrome = self.system_manifest("etc/opt/chrome/native-messaging-hosts")
        chromium = self.system_manifest("etc/chromium/native-messaging-hosts")
        edge = self.system_manifest("etc/opt/edge/native-messaging-hosts")
        self.assertEqual(self.run_tool("install", "--system", "--browser", "chrome", "--browser", "chromium",
                                       "--extension-id", ID_A, "--host", self.host).returncode, 0)
        # Another host's registration, and a file of someone else's beside ours.
        self.write_file(edge, json.dumps(self.expected_manifest("/opt/other/host", ID_B)))
        policy = self.write_file(os.path.join(self.system_root, "etc/opt/chrome/policies/managed/p.json"), "{}")
        self.detect("chromium")
        user = self.write_file(self.user_manifest("chromium"), json.dumps(self.expected_manifest(self.host, ID_A)))
        neighbour = self.write_file(os.path.join(os.path.dirname(user), "com.other.host.json"), "{}")

        dry = self.run_tool("uninstall", "--system", "--host", self.host, "--dry-run")
        self.assertEqual(dry.returncode, 0, dry.stderr)
        self.assertTrue(os.path.exists(chromium))
        status, report = self.run_json("uninstall", "--system", "--host", self.host)
        self.assertEqual(status, 0, report)
        changes = [(c["action"], c["where"]) for c in report["changes"]]
        self.assertEqual(changes, [
            ("left", edge),
            ("removed", chrome), ("removed", os.path.dirname(chrome)),
            ("removed", chromium), ("removed", os.path.dirname(chromium)),
            ("removed", os.path.join(self.system_root, "etc/chromium")),
        ])
        self.assertEqual([line.split()[:2] for line in dry.stdout.splitlines()],
                         [["left", edge]] + [["would", "remove"]] * 5)
        # The browser folder that holds something else stays, and nothing above it goes.
        self.assertTrue(os.path.exists(policy))
        self.assertTrue(os.path.exists(edge))
        self.assertEqual(sorted(os.listdir(os.path.join(self.system_root, "etc/opt"))), ["chrome", "edge"])
        # The user's own registration is not system-wide; without --system it goes, the folder it shares stays.
        self.assertEqual(self.run_tool("uninstall", "--host", "/opt/other/host").stdout,
                         "left  %s  chromium (user)\n" % user)
        self.assertEqual(self.run_tool("uninstall", "--host", self.host).returncode, 0)
        self.assertEqual(os.listdir(os.path.dirname(user)), [os.path.basename(neighbour)])
        # Without --host every registration goes, whatever it names; then the
        # emptied browser folder too, but never /etc/opt or the root.
        shutil.rmtree(os.path.join(self.system_root, "etc/opt/chrome"))
        self.assertEqual(self.run_tool("uninstall", "--system").returncode, 0)
        self.assertEqual(os.listdir(os.path.join(self.system_root, "etc/opt")), [])
        self.assertTrue(os.path.isdir(os.path.join(self.system_root, "etc")))

    def test_a_linked_manifest_folder_is_not_removed(self):
        target = os.path.join(self.tmp, "elsewhere")
        os.makedirs(target)
        os.makedirs(os.path.join(self.system_root, "etc/chromium"))
        os.symlink(target, os.path.join(self.system_root, "etc/chromium/native-messaging-hosts"))
        self.assertEqual(self.run_tool("install", "--system", "--browser", "chromium", "--extension-id", ID_A,
                                       "--host", self.host).returncode, 0)
        status, report = self.run_json("uninstall", "--system")
        self.assertEqual(status, 0, report)
        self.assertEqual([c["action"] for c in report["changes"]], ["removed"])
        self.assertTrue(os.path.islink(os.path.join(self.system_root, "etc/chromium/native-messaging-hosts")))

    @unittest.skipUnless(hasattr(os, "geteuid") and os.geteuid() == 0 and shutil.which("setpriv"),
                         "runs the tool as another user, which takes root")
    def test_system_wide_changes_without_root_say_to_run_them_with_sudo(self):
        os.chmod(self.tmp, 0o755)  # the other user reaches the host and the system root, but may write neither

        def as_nobody(*args):
            return subprocess.run(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", tool(), *args],
                                  capture_output=True, env=self.env, timeout=LIMIT_SECONDS, cwd="/", text=True)

        install = ["install", "--system", "--browser", "chromium", "--extension-id", ID_A, "--host", self.host]
        manifest = os.path.join(self.system_root, "etc/chromium/native-messaging-hosts", MANIFEST)
        os.makedirs(os.path.dirname(manifest))
        hint = " Registering for every user needs root: run the command again with sudo.\n"
        for args in (install, ["uninstall", "--system", "--browser", "chromium"]):
            with self.subTest(args=args[0]):
                result = as_nobody(*args)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertTrue(result.stderr.endswith(hint), result.stderr)
                self.assertEqual(os.path.exists(manifest), args[0] == "uninstall")
                self.assertEqual(self.run_tool(*args).returncode, 0)  # as root, the same command works
        # A per-user change is not a system-wide one: no such hint.
        self.assertNotIn("sudo", as_nobody("uninstall", "--browser", "chromium").stderr)

    @unittest.skipIf(os.geteuid() != 0, "the host and its folders must be root's to start with")
    def test_a_system_wide_host_that_users_could_replace_is_refused_without_force_and_diagnosed(self):
        shared = os.path.join(self.tmp, "shared")
        os.mkdir(shared)
        os.chmod(shared, 0o777)  # any user may put another program there
        host = os.path.join(shared, "orvix-chrome-native-host")
        shutil.copy2(self.host, host)
        install = ["install", "--system", "--browser", "chromium", "--extension-id", ID_A, "--host", host]
        manifest = self.system_manifest("etc/chromium/native-messaging-hosts")
        refused = self.run_tool(*install)
        self.assertEqual(refused.returncode, 1, refused.stderr)
        self.assertIn("Users other than root may change %s, so they can replace the host %s that this system-wide "
                      "registration makes every user's browser start." % (shared, host), refused.stderr)
        self.assertIn("use --force to register it anyway", refused.stderr)
        self.assertFalse(os.path.exists(manifest))
        # The same host for one user concerns that user only.
        self.detect("chromium")
        self.assertEqual(self.run_tool("install", *install[2:]).returncode, 0)

        forced = self.run_tool(*install, "--force")
        self.assertEqual(forced.returncode, 0, forced.stderr)
        self.assertIn("warning: Users other than root may change %s" % shared, forced.stdout)
        os.chown(host, 65534, 65534)  # another user's file is theirs to change
        status, report = self.run_json("doctor")
        self.assertEqual(status, 1, report)
        by_scope = {row["scope"]: row for row in report["registrations"] if row["registered"]}
        self.assertEqual(by_scope["user"]["problems"], [])
        [problem] = by_scope["system"]["problems"]
        self.assertEqual(problem["code"], "host_replaceable_by_users")
        self.assertIn("Users other than root may change %s, %s, so" % (host, shared), problem["problem"])
        # Its permission command, run as printed (as root: without sudo), leaves a sound registration.
        command = problem["fix"].rsplit(": ", 1)[1]
        self.assertEqual(command, "sudo chown root:root %s %s && sudo chmod go-w %s %s" % (host, shared, host, shared))
        subprocess.run(["/bin/sh", "-c", command.replace("sudo ", "")], check=True, timeout=LIMIT_SECONDS)
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)

    def test_install_system_takes_the_browsers_installed_on_the_machine(self):
        # The admin's own profile does not count.
        self.detect("chromium", "google-chrome")
        refused = self.run_tool("install", "--system", "--extension-id", ID_A, "--host", self.host)
        self.assertEqual(refused.returncode, 1)
        self.assertIn("No browser that can be registered for every user was found on this machine (looked for "
                      "%s/etc/opt/chrome, %s/opt/google/chrome/chrome, " % (self.system_root, self.system_root),
                      refused.stderr)
        self.assertIn("/usr/bin/microsoft-edge-dev); name one with --browser", refused.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.system_root, "etc")))

        # A program, or the browser's system-wide folder, tells that it is installed.
        self.stage_program("/usr/bin/chromium")
        self.stage_program("/opt/microsoft/msedge/msedge")
        os.makedirs(os.path.join(self.system_root, "etc/opt/chrome"))
        status, report = self.run_json("install", "--system", "--extension-id", ID_A, "--host", self.host)
        self.assertEqual(status, 0, report)
        self.assertEqual([(c["where"], c["browsers"]) for c in report["changes"]], [
            (self.system_manifest("etc/opt/chrome/native-messaging-hosts"),
             ["chrome", "chrome-beta", "chrome-dev", "chrome-canary"]),
            (self.system_manifest("etc/chromium/native-messaging-hosts"), ["chromium"]),
            (self.system_manifest("etc/opt/edge/native-messaging-hosts"), ["edge"]),
        ])
        # "all" with --system means the same browsers.
        again = self.run_tool("install", "--system", "--browser", "all", "--extension-id", ID_A, "--host", self.host)
        self.assertEqual([line.split()[0] for line in again.stdout.splitlines()], ["unchanged"] * 3)


class Doctor(RegisterTestCase):
    def install_chromium(self, host=None):
        self.detect("chromium")
        result = self.run_tool("install", "--browser", "chromium", "--extension-id", ID_A, "--host",
                               host or self.host)
        self.assertEqual(result.returncode, 0, result.stderr)
        return self.user_manifest("chromium")

    def only_registration(self, report):
        registered = [row for row in report["registrations"] if row["registered"]]
        self.assertEqual(len(registered), 1, report)
        return registered[0]

    def test_a_sound_registration_is_healthy_and_shows_what_the_host_said(self):
        path = self.install_chromium()
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        self.assertTrue(report["healthy"])
        row = self.only_registration(report)
        self.assertEqual((row["browser"], row["scope"], row["status"], row["manifest"], row["host"]),
                         ("chromium", "user", "ok", path, self.host))
        self.assertEqual(row["hello"], {
            "descriptorPath": os.path.join(self.env["ORVIX_HOME"], "data", "runtime", "chrome", "connection.json"),
            "error": "runtime_descriptor_missing: Runtime connection descriptor was not found.",
            "nativeHostVersion": "0.1.0",
            "runtime": "not_running",
        })
        self.assertEqual(row["problems"], [])
        text = self.run_tool("doctor")
        self.assertEqual(text.returncode, 0)
        self.assertIn("chromium  user    ok", text.stdout)
        self.assertIn("hello:          host 0.1.0, runtime not_running", text.stdout)
        self.assertTrue(text.stdout.endswith("Every registration works.\n"), text.stdout)

    def test_the_host_is_started_as_a_browser_starts_it(self):
        # In its own folder (the tool runs in another), with the origin as its argument.
        seen = os.path.join(self.tmp, "arguments")
        folder = os.path.join(self.tmp, "host folder")
        wrapper = self.write_file(os.path.join(folder, "wrapper.sh"),
                                  '#!/bin/sh\n{ pwd; printf "%%s\\n" "$@"; } > %s\nexec %s "$@"\n'
                                  % (shlex.quote(seen), shlex.quote(self.host)), 0o755)
        self.install_chromium(wrapper)
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        with open(seen, encoding="utf-8") as f:
            self.assertEqual(f.read(), "%s\nchrome-extension://%s/\n" % (folder, ID_A))

    def test_says_where_the_host_finds_the_runtime_and_logs_in_this_environment(self):
        home = self.env["ORVIX_HOME"]
        self.install_chromium()
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        self.assertEqual(report["environment"], {
            "descriptor": os.path.join(home, "data", "runtime", "chrome", "connection.json"),
            "log": os.path.join(home, "logs", "chrome-native-host.log"),
        })
        text = self.run_tool("doctor").stdout
        self.assertIn("\nIn this environment (a browser started from it hands it to the host):\n"
                      "  descriptor:  %s/data/runtime/chrome/connection.json\n"
                      "  log:         %s/logs/chrome-native-host.log\n\nEvery registration works.\n"
                      % (home, home), text)

        # A relative home lies below the host's folder, where the browser starts it.
        self.env["ORVIX_HOME"] = "relative"
        text = self.run_tool("doctor").stdout
        self.assertIn("  log:         relative/logs/chrome-native-host.log (below the host's folder, where the "
                      "browser starts it)\n", text)

        # Without ORVIX_HOME and HOME (as on Windows) the descriptor falls back
        # to USERPROFILE but the log does not: a note, the status stays 0.
        self.assertEqual(self.run_tool("install", "--system", "--browser", "chromium", "--extension-id", ID_A,
                                       "--host", self.host).returncode, 0)
        for name in ("ORVIX_HOME", "HOME"):
            del self.env[name]
        self.env["USERPROFILE"] = os.path.join(self.tmp, "profile")
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        self.assertEqual(report["environment"], {
            "descriptor": os.path.join(self.tmp, "profile", ".orvix", "data", "runtime", "chrome", "connection.json"),
            "log": None,
        })
        result = self.run_tool("doctor")
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertIn("  log:         none: neither ORVIX_HOME nor HOME is set (Windows sets no HOME), so the host "
                      "keeps no log; set ORVIX_HOME to turn it on (see the README)\n", result.stdout)

    def test_each_broken_registration_names_its_problem_and_a_fix(self):
        silent = self.write_file(os.path.join(self.tmp, "silent.sh"), "#!/bin/sh\necho gone >&2\nexit 3\n", 0o755)
        # Reads the 29 bytes of the hello frame, then answers with a huge length.
        unanswering = self.write_file(os.path.join(self.tmp, "garbage.sh"),
                                      "#!/bin/sh\nhead -c 29 >/dev/null\nprintf 'xxxxnot a frame'\n", 0o755)
        good = self.expected_manifest(self.host, ID_A)
        cases = {
            "host_missing": dict(good, path=os.path.join(self.tmp, "removed-host")),
            "host_not_executable": dict(good, path=self.write_file(os.path.join(self.tmp, "plain"), "x")),
            "path_not_absolute": dict(good, path="relative/host"),
            "name_mismatch": dict(good, name="com.other.host"),
            "origins_invalid": dict(good, allowed_origins=["https://%s/" % ID_A]),
            "type_invalid": dict(good, type="pipe"),
            "host_failed": dict(good, path=silent),
            "host_wrong_system": dict(good, path=self.write_file(os.path.join(self.tmp, "host.exe"), "MZ" + "x" * 62,
                                                                 0o755)),
            "manifest_invalid": "{not json",
        }
        self.detect("chromium")
        path = self.user_manifest("chromium")
        for code, manifest in cases.items():
            with self.subTest(code=code):
                self.write_file(path, manifest if isinstance(manifest, str) else json.dumps(manifest))
                status, report = self.run_json("doctor")
                self.assertEqual(status, 1, report)
                self.assertFalse(report["healthy"])
                row = self.only_registration(report)
                self.assertEqual(row["status"], "broken")
                self.assertEqual([p["code"] for p in row["problems"]], [code], row)
                fix = row["problems"][0]["fix"]
                if code == "host_not_executable":
                    self.assertEqual(fix, "Make it executable: chmod +x " + manifest["path"])
                elif code == "host_failed":
                    self.assertIn("orvix-nm-client " + silent, fix)
                    self.assertIn("gone", row["problems"][0]["problem"])
                    self.assertIn("; it exited with status 3.", row["problems"][0]["problem"])
                    # The command in it runs as printed and shows what the host says.
                    by_hand = subprocess.run(["/bin/sh", "-c", fix.split(": ", 1)[1].split("; then ")[0]],
                                             capture_output=True, text=True, env=self.env, timeout=LIMIT_SECONDS)
                    self.assertIn("gone", by_hand.stderr)
                else:
                    self.assertIn(tool() + " install --browser chromium", fix)
                    self.assertTrue(fix.endswith(" --force"), fix)
                    if code == "host_wrong_system":
                        self.assertEqual(row["problems"][0]["problem"],
                                         "The host %s is a Windows program; this system cannot run it."
                                         % manifest["path"])
                        self.assertNotIn(manifest["path"], fix)  # the host beside the tool instead
                    if code != "origins_invalid" and code != "manifest_invalid":
                        self.assertIn("--extension-id " + ID_A, fix)

        os.remove(path)
        os.mkdir(path)
        status, report = self.run_json("doctor")
        self.assertEqual(status, 1)
        problem = self.only_registration(report)["problems"][0]
        self.assertEqual(problem["code"], "manifest_unreadable")
        self.assertTrue(problem["problem"].startswith("Cannot read %s: " % path), problem)
        os.rmdir(path)

        self.write_file(path, json.dumps(dict(good, path=unanswering)))
        status, report = self.run_json("doctor")
        self.assertEqual(status, 1)
        self.assertIn("host sent a frame length of", self.only_registration(report)["problems"][0]["problem"])

    def test_a_host_that_answers_with_no_frame_is_shown_with_what_it_printed_and_how_it_ended(self):
        self.detect("chromium")
        path = self.user_manifest("chromium")
        # Whether the host ends before it takes the request is a race: both
        # ways end in the same words.
        cases = [
            ("printf 'Hello from a shell\\n'", 'it printed "Hello from a shell\\x0a"; it exited with status 0.'),
            ("printf hi; kill -9 $$", '; it printed "hi"; it was ended by signal 9.'),
            # Bytes that are not text, escaped, and no more than 64 of them.
            ("printf '\\001\\377\\\\%0100d' 0", 'it printed "\\x01\\xff\\x5c' + "0" * 61 + '..."; it exited'),
            ("exit 7", "; it exited with status 7."),
        ]
        for script, text in cases:
            with self.subTest(script=script):
                host = self.write_file(os.path.join(self.tmp, "host.sh"), "#!/bin/sh\n%s\n" % script, 0o755)
                self.write_file(path, json.dumps(self.expected_manifest(host, ID_A)))
                status, report = self.run_json("doctor")
                self.assertEqual(status, 1, report)
                [problem] = self.only_registration(report)["problems"]
                self.assertEqual(problem["code"], "host_failed")
                self.assertIn(text, problem["problem"])

    @unittest.skipUnless(os.geteuid() == 0 and shutil.which("mount"), "mounting a noexec file system takes root")
    def test_a_host_on_a_noexec_mount_is_refused_and_its_fix_moves_it(self):
        mount_point = os.path.join(self.tmp, "media")
        os.mkdir(mount_point)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "noexec,size=64m", "tmpfs", mount_point],
                                 capture_output=True, timeout=LIMIT_SECONDS)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a tmpfs here: %s" % mounted.stderr)
        self.addCleanup(subprocess.run, ["umount", "-l", mount_point], timeout=LIMIT_SECONDS)
        host = os.path.join(mount_point, "bin", "orvix-chrome-native-host")
        os.makedirs(os.path.dirname(host))
        shutil.copy2(self.host, host)
        self.detect("chromium")
        # Mode 755 tells nothing here: chmod cannot help.
        result = self.run_tool("install", "--extension-id", ID_A, "--host", host)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("The host %s lies on %s, a file system mounted noexec: no program there may be started, "
                      "whatever its mode says." % (host, mount_point), result.stderr)
        self.assertFalse(os.path.exists(self.user_manifest("chromium")))

        self.write_file(self.user_manifest("chromium"), json.dumps(self.expected_manifest(host, ID_A)))
        status, report = self.run_json("doctor")
        self.assertEqual(status, 1, report)
        [problem] = self.only_registration(report)["problems"]
        self.assertEqual(problem["code"], "host_on_noexec_mount")
        moved = os.path.join(self.home, ".local/lib/orvix/orvix-chrome-native-host")
        self.assertTrue(problem["fix"].endswith("--host %s --force" % moved), problem["fix"])
        self.follow(problem["fix"])
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        self.assertEqual(self.only_registration(report)["host"], moved)

    def test_a_manifest_that_starts_with_a_byte_order_mark_is_read_as_the_browser_reads_it(self):
        # Notepad writes one; the browser skips it.
        path = self.install_chromium()
        with open(path, "rb") as f:
            text = f.read()
        with open(path, "wb") as f:
            f.write(b"\xef\xbb\xbf" + text)
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        self.assertEqual(self.only_registration(report)["origins"], ["chrome-extension://%s/" % ID_A])

    def test_removed_host_reads_as_broken_with_the_fix_in_text_form(self):
        host_copy = os.path.join(self.tmp, "bin", "orvix-chrome-native-host")
        os.makedirs(os.path.dirname(host_copy))
        shutil.copy2(self.host, host_copy)
        self.install_chromium(host_copy)
        os.remove(host_copy)
        result = self.run_tool("doctor")
        self.assertEqual(result.returncode, 1)
        self.assertIn("chromium  user    broken", result.stdout)
        self.assertIn("problem:  The host %s does not exist." % host_copy, result.stdout)
        self.assertIn("fix:      Reinstall the host, or register the one you have: %s install --browser chromium "
                      "--extension-id %s --host " % (tool(), ID_A), result.stdout)

    def test_no_registration_at_all_is_a_problem(self):
        result = self.run_tool("doctor")
        self.assertEqual(result.returncode, 1)
        self.assertIn("No browser was detected and no registration was found.", result.stdout)


class DoctorAsTheBrowserSees(RegisterTestCase):
    """Each browser judged as it looks for the host: the registration it
    reads, the extensions it admits, and the administrator's policies (files
    below the test's system root)."""

    def install(self, *args):
        result = self.run_tool("install", "--host", self.host, *args)
        self.assertEqual(result.returncode, 0, result.stderr)

    def policy(self, name, policies, level="managed"):
        return self.write_file(os.path.join(self.system_root, "etc/chromium/policies", level, name),
                               policies if isinstance(policies, str) else json.dumps(policies))

    def browser(self, report, name):
        [verdict] = [b for b in report["browsers"] if b["browser"] == name]
        return verdict

    def test_an_extension_the_registration_does_not_admit_is_named_and_install_adds_it(self):
        self.detect("chromium")
        self.install("--extension-id", ID_A)
        text = self.run_tool("doctor").stdout
        self.assertIn("origins:        chrome-extension://%s/\n" % ID_A, text)
        self.assertIn("chromium uses the user registration %s: ok" % self.user_manifest("chromium"), text)

        status, report = self.run_json("doctor", "--extension-id", ID_B)
        self.assertEqual(status, 1)
        self.assertEqual(self.only_row(report)["origins"], ["chrome-extension://%s/" % ID_A])
        verdict = self.browser(report, "chromium")
        self.assertEqual((verdict["status"], verdict["uses"]), ("broken", self.user_manifest("chromium")))
        [problem] = verdict["problems"]
        self.assertEqual(problem["code"], "extension_not_admitted")
        self.assertIn("does not admit the extension %s; it admits %s." % (ID_B, ID_A), problem["problem"])
        self.follow(problem["fix"])
        status, report = self.run_json("doctor", "--extension-id", ID_A, "--extension-id", ID_B)
        self.assertEqual(status, 0, report)
        self.assertEqual(self.read_manifest(self.user_manifest("chromium")),
                         self.expected_manifest(self.host, ID_A, ID_B))

        refused = self.run_tool("doctor", "--extension-id", "not-an-id")
        self.assertEqual(refused.returncode, 2)
        self.assertIn("is not 32 letters from a to p", refused.stderr)

    def only_row(self, report):
        [row] = [r for r in report["registrations"] if r["registered"]]
        return row

    @staticmethod
    def profile_extension(api, name=None, **state):
        """An entry of a profile's extensions.settings, as the browser writes it."""
        entry = {"active_permissions": {"api": api, "explicit_host": []}, "disable_reasons": [], **state}
        if name is not None:
            entry["manifest"] = {"name": name, "permissions": api}
        return entry

    def preferences(self, profile, settings, file="Preferences"):
        self.write_file(os.path.join(self.config, "chromium", profile, file),
                        json.dumps({"extensions": {"settings": settings}}))

    def test_profile_extensions_with_native_messaging_that_are_not_admitted_are_noted_with_a_fix_that_works(self):
        self.detect("chromium")
        self.install("--extension-id", ID_A)
        profiles = os.path.join(self.config, "chromium")
        extension, preferences = self.profile_extension, self.preferences

        unadmitted, disabled, old_disabled, other = "b" * 32, "c" * 32, "d" * 32, "e" * 32
        preferences("Default", {
            ID_A: extension(["nativeMessaging"]),
            unadmitted: extension(["storage", "nativeMessaging"], "Password Keeper"),
            disabled: extension(["nativeMessaging"], disable_reasons=[1]),
            old_disabled: extension(["nativeMessaging"], state=0, disable_reasons=0),
            other: extension(["tabs"], "Tabs"),
            "not-an-id": extension(["nativeMessaging"]),
        })
        # Secure Preferences decides for the ids it names (Windows and macOS keep extensions there).
        preferences("Profile 2", {unadmitted: extension(["nativeMessaging"])}, "Secure Preferences")
        preferences("Profile 2", {unadmitted: extension(["nativeMessaging"], disable_reasons=[1])})
        # Files doctor cannot use are skipped, and doctor still finishes.
        self.write_file(os.path.join(profiles, "Profile 3", "Preferences"), "{not json")
        self.write_file(os.path.join(profiles, "Profile 4", "Preferences"), '{"extensions": {"settings": []}}')
        os.makedirs(os.path.join(profiles, "Profile 5"))
        os.mkfifo(os.path.join(profiles, "Profile 5", "Preferences"))
        preferences("System Profile", {"f" * 32: extension(["nativeMessaging"])})

        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)  # another extension may use another host: a note, not a problem
        notes = self.browser(report, "chromium")["notes"]
        command = "%s install --browser chromium --extension-id %s --host %s" % (tool(), unadmitted, self.host)
        self.assertEqual(notes, [
            'The extension %s ("Password Keeper") in the profiles "Default", "Profile 2" asks for native messaging, '
            "but %s does not admit it. If it is the extension that uses %s, add it (install keeps the ids already "
            "there): %s" % (unadmitted, self.user_manifest("chromium"), HOST_NAME, command)])
        self.assertIn("note:", self.run_tool("doctor").stdout)
        self.assertEqual(self.browser(self.run_json("doctor", "--extension-id", ID_A)[1], "chromium")["notes"], [])

        self.follow(notes[0])
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        self.assertEqual(self.browser(report, "chromium")["notes"], [])
        self.assertEqual(self.only_row(report)["origins"], ["chrome-extension://%s/" % i for i in (ID_A, unadmitted)])

    def test_when_no_profile_runs_an_admitted_extension_those_asking_for_native_messaging_are_named_in_a_problem(self):
        self.detect("chromium")
        self.install("--extension-id", ID_A)
        extension = self.profile_extension
        localized, unpacked = "b" * 32, "c" * 32
        # A name the browser localizes comes from the extension's default locale;
        # one whose entry records no manifest, from the manifest.json in its folder.
        folder = os.path.join(self.config, "chromium", "Default", "Extensions", localized, "1.0_0")
        self.write_file(os.path.join(folder, "_locales", "en", "messages.json"),
                        '{"AppName": {"message": "Keeper of Words"}} // the browser takes comments')
        named = dict(extension(["nativeMessaging"], "__MSG_appName__"), path=localized + "/1.0_0")
        named["manifest"]["default_locale"] = "en"
        own = os.path.join(self.tmp, "unpacked")
        self.write_file(os.path.join(own, "manifest.json"), json.dumps({"name": "Unpacked One"}))
        # The admitted extension is installed but disabled: it cannot connect either.
        self.preferences("Default", {ID_A: extension(["nativeMessaging"], disable_reasons=[1]), localized: named})

        status, report = self.run_json("doctor")
        self.assertEqual(status, 1, report)
        verdict = self.browser(report, "chromium")
        self.assertEqual(verdict["notes"], [])
        [problem] = verdict["problems"]
        self.assertEqual(problem["code"], "no_admitted_extension_installed")
        self.assertIn("admits (%s), so no installed extension can start the host" % ID_A, problem["problem"])
        self.assertIn('%s ("Keeper of Words") in the profile "Default"' % localized, problem["problem"])
        self.assertTrue(problem["fix"].startswith('If %s ("Keeper of Words") is the extension that uses %s '
                                                  % (localized, HOST_NAME)), problem["fix"])
        self.follow(problem["fix"])
        self.assertEqual(self.run_tool("doctor").returncode, 0)

        # Two candidates: each is named with its own command, and either one
        # admitted makes the other a note again.
        self.install("--extension-id", ID_A, "--replace-ids")
        self.preferences("Profile 1", {unpacked: dict(extension(["nativeMessaging"]), path=own)})
        status, report = self.run_json("doctor")
        self.assertEqual(status, 1, report)
        [problem] = self.browser(report, "chromium")["problems"]
        commands = problem["fix"].split("; for ")[1:]
        self.assertEqual([c.split(": ", 1)[0] for c in commands],
                         ['%s ("Keeper of Words")' % localized, '%s ("Unpacked One")' % unpacked])
        self.follow(commands[1])
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        [note] = self.browser(report, "chromium")["notes"]
        self.assertIn("The extension %s (\"Keeper of Words\")" % localized, note)

        # With the extension's id known, the problem is that id, and its fix names the extension.
        self.install("--extension-id", ID_A, "--replace-ids")
        status, report = self.run_json("doctor", "--extension-id", localized)
        self.assertEqual(status, 1, report)
        [problem] = self.browser(report, "chromium")["problems"]
        self.assertEqual(problem["code"], "extension_not_admitted")
        self.assertTrue(problem["fix"].startswith('Add the extension %s ("Keeper of Words") that the profile '
                                                  '"Default" runs' % localized), problem["fix"])

        # Profiles that cannot be read tell nothing: no problem.
        shutil.rmtree(os.path.join(self.config, "chromium", "Default"))
        shutil.rmtree(os.path.join(self.config, "chromium", "Profile 1"))
        self.assertEqual(self.run_tool("doctor").returncode, 0)

    def test_a_build_with_the_product_ids_installs_and_checks_them_by_default_and_names_the_installed_one(self):
        # The build's test copy of the tool carries these ids (tests/CMakeLists.txt).
        built_in = ["g" * 32, "h" * 32]
        program = os.path.join(harness.build_dir(), "orvix-native-host-register-with-ids")

        def run(*args):
            return subprocess.run([program, *args], capture_output=True, env=self.env, timeout=LIMIT_SECONDS,
                                  cwd=self.tmp, text=True)

        self.assertIn("built-in extension ids: %s,%s\n" % tuple(built_in), run("version").stdout)
        self.assertIn("built-in ids %s, %s when given no --extension-id" % tuple(built_in),
                      run("help").stdout.replace("\n  ", " "))
        self.detect("chromium")
        installed = run("install", "--host", self.host)
        self.assertEqual(installed.returncode, 0, installed.stderr)
        self.assertIn("admitting the product's extensions built into this program, %s,%s." % tuple(built_in),
                      installed.stdout)
        self.assertEqual(self.read_manifest(self.user_manifest("chromium")),
                         self.expected_manifest(self.host, *built_in))
        self.assertEqual(run("doctor").returncode, 0)

        # doctor checks the built-in ids: one not admitted is a problem, whose
        # fix names the extension a profile runs with that id.
        self.assertEqual(run("install", "--extension-id", ID_A, "--host", self.host, "--replace-ids").returncode, 0)
        self.preferences("Default", {built_in[1]: self.profile_extension(["nativeMessaging"], "Orvix")})
        done = run("doctor", "--json")
        self.assertEqual(done.returncode, 1, done.stdout)
        verdict = self.browser(json.loads(done.stdout), "chromium")
        self.assertEqual([p["code"] for p in verdict["problems"]], ["extension_not_admitted"] * 2)
        fix = verdict["problems"][1]["fix"]
        self.assertTrue(fix.startswith('Add the extension %s ("Orvix") that the profile "Default" runs'
                                       % built_in[1]), fix)
        self.follow(verdict["problems"][0]["fix"])
        self.follow(fix)
        self.assertEqual(run("doctor").returncode, 0)
        # An id given still wins over those built in.
        self.assertEqual(run("doctor", "--extension-id", ID_B).returncode, 1)

    def test_fix_lines_name_the_ids_the_machine_knows_and_work_as_printed(self):
        self.detect("chromium", "google-chrome")
        placeholder = "--extension-id <extension id: chrome://extensions shows it with Developer mode on> --host"
        broken = dict(self.expected_manifest(self.host), allowed_origins=["chrome-extension://not-an-id/"])

        def chromium_row(report):
            [row] = [r for r in report["registrations"] if r["registered"] and r["browser"] == "chromium"]
            return row

        def origins_fix():
            self.write_file(self.user_manifest("chromium"), json.dumps(broken))
            status, report = self.run_json("doctor")
            self.assertEqual(status, 1, report)
            [problem] = chromium_row(report)["problems"]
            self.assertEqual(problem["code"], "origins_invalid")
            return problem["fix"]

        # Nothing known: a placeholder that says where the id is.
        self.assertIn(placeholder, origins_fix())
        # The one extension of the profiles that asks for native messaging.
        candidate = "b" * 32
        self.preferences("Default", {candidate: self.profile_extension(["nativeMessaging"], "Keeper")})
        fix = origins_fix()
        self.assertIn("--extension-id %s --host" % candidate, fix)
        self.follow(fix)
        self.assertEqual(self.run_tool("doctor", "--browser", "chromium").returncode, 0)
        # Two such extensions: doctor cannot tell which, a placeholder again.
        self.preferences("Default", {candidate: self.profile_extension(["nativeMessaging"]),
                                     "c" * 32: self.profile_extension(["nativeMessaging"])})
        self.assertIn(placeholder, origins_fix())
        # Another registration on the machine.
        self.install("--browser", "chrome", "--extension-id", ID_A)
        fix = origins_fix()
        self.assertIn("--extension-id %s --host" % ID_A, fix)
        self.follow(fix)
        self.assertEqual(chromium_row(self.run_json("doctor")[1])["status"], "ok")

    def test_a_build_with_the_product_ids_names_them_in_the_fix_for_a_browser_without_a_registration(self):
        self.detect("chromium")
        program = os.path.realpath(os.path.join(harness.build_dir(), "orvix-native-host-register-with-ids"))
        done = subprocess.run([program, "doctor"], capture_output=True, env=self.env, timeout=LIMIT_SECONDS,
                              cwd=self.tmp, text=True)
        self.assertEqual(done.returncode, 1, done.stdout)
        ids = "--extension-id %s --extension-id %s" % ("g" * 32, "h" * 32)
        self.assertTrue(done.stdout.endswith("fix: %s install --browser chromium %s\n" % (program, ids)), done.stdout)
        self.assertIn("Register it: %s install --browser chromium %s --host %s\n"
                      % (program, ids, os.path.join(os.path.dirname(program), "orvix-chrome-native-host")),
                      done.stdout)
        self.follow(done.stdout.splitlines()[-1])
        self.assertEqual(subprocess.run([program, "doctor"], capture_output=True, env=self.env,
                                        timeout=LIMIT_SECONDS, cwd=self.tmp).returncode, 0)

    def test_a_detected_browser_without_a_registration_is_a_problem_with_a_fix_that_works(self):
        self.detect("chromium", "google-chrome")
        none = self.run_tool("doctor")
        self.assertEqual(none.returncode, 1)
        self.assertTrue(none.stdout.endswith("No registration was found. fix: %s install --browser chrome "
                                             "--browser chromium --extension-id <extension id: chrome://extensions "
                                             "shows it with Developer mode on>\n" % tool()), none.stdout)

        self.install("--browser", "chrome", "--extension-id", ID_A)
        status, report = self.run_json("doctor")
        self.assertEqual(status, 1)
        self.assertEqual(self.browser(report, "chrome")["status"], "ok")
        verdict = self.browser(report, "chromium")
        self.assertEqual((verdict["status"], verdict["uses"], verdict["detected"]), ("not registered", None, True))
        [problem] = verdict["problems"]
        self.assertEqual(problem["code"], "not_registered")
        self.assertEqual(problem["fix"], "Register it: %s install --browser chromium --extension-id %s --host %s"
                         % (tool(), ID_A, self.host))
        # --browser narrows the judgement to the browsers named.
        self.assertEqual(self.run_tool("doctor", "--browser", "chrome").returncode, 0)
        self.assertEqual(self.run_tool("doctor", "--browser", "vivaldi").returncode, 1)
        self.follow(problem["fix"])
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)

    def test_the_blocklist_blocks_unless_the_allowlist_names_the_host(self):
        self.detect("chromium")
        self.install("--extension-id", ID_A)
        cases = [
            ({"NativeMessagingBlocklist": ["*"]}, "managed", 1),
            ({"NativeMessagingBlocklist": [HOST_NAME]}, "managed", 1),
            ({"NativeMessagingBlocklist": ["*"], "NativeMessagingAllowlist": [HOST_NAME]}, "managed", 0),
            ({"NativeMessagingBlocklist": ["*"], "NativeMessagingAllowlist": ["com.other.host"]}, "managed", 1),
            ({"NativeMessagingBlocklist": ["com.other.host"]}, "managed", 0),
            # The browser applies these policies only when they are mandatory.
            ({"NativeMessagingBlocklist": ["*"]}, "recommended", 0),
            # As the browser does, comments and trailing commas are accepted; "//" and "/*" in a string are text.
            ('{ // set by hand\n  "NativeMessagingBlocklist": ["*",], /* every host */\n'
             '  "NativeMessagingAllowlist": ["a//b", "/*c"],\n}\n', "managed", 1),
            ('{ /* c */ "NativeMessagingBlocklist": ["*"], // all\n'
             '  "NativeMessagingAllowlist": ["http://x/*", "%s",], }' % HOST_NAME, "managed", 0),
        ]
        for policies, level, status in cases:
            with self.subTest(policies=policies, level=level):
                path = self.policy("policy.json", policies, level)
                got, report = self.run_json("doctor")
                self.assertEqual(got, status, report)
                problems = self.browser(report, "chromium")["problems"]
                self.assertEqual([p["code"] for p in problems], ["host_blocked"] if status else [])
                if status:
                    self.assertIn("Chromium may not start the host: %s blocks " % path, problems[0]["problem"])
                    self.assertIn("Ask the administrator to add %s to NativeMessagingAllowlist" % HOST_NAME,
                                  problems[0]["fix"])
                os.remove(path)
        # A later file (in name order) wins over an earlier one.
        self.policy("a.json", {"NativeMessagingBlocklist": ["*"]})
        self.policy("b.json", {"NativeMessagingBlocklist": []})
        self.assertEqual(self.run_json("doctor")[0], 0)

    def test_user_level_hosts_off_hides_the_per_user_registration(self):
        self.detect("chromium")
        self.install("--extension-id", ID_A)
        path = self.policy("lockdown.json", {"NativeMessagingUserLevelHosts": False})
        status, report = self.run_json("doctor")
        self.assertEqual(status, 1)
        row = self.only_row(report)
        self.assertEqual(row["status"], "ignored")
        self.assertIn(path + " sets NativeMessagingUserLevelHosts to false", row["unread"])
        [problem] = self.browser(report, "chromium")["problems"]
        self.assertEqual(problem["code"], "user_level_hosts_disabled")
        self.assertIn("Ask the administrator to allow user-level native hosts, or register for every user: sudo "
                      "%s install --browser chromium --system --extension-id %s" % (tool(), ID_A), problem["fix"])
        self.follow(problem["fix"])
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        system = os.path.join(self.system_root, "etc/chromium/native-messaging-hosts", MANIFEST)
        self.assertEqual(self.browser(report, "chromium")["uses"], system)

        # With user-level hosts allowed, the per-user registration shadows the system one, which differs.
        os.remove(path)
        self.install("--browser", "chromium", "--extension-id", ID_B, "--replace-ids")
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        verdict = self.browser(report, "chromium")
        self.assertEqual(verdict["uses"], self.user_manifest("chromium"))
        [note] = verdict["notes"]
        self.assertTrue(note.startswith("The per-user registration shadows the system-wide one at %s (admits %s;"
                                        % (system, ID_A)), note)

    def test_unusable_policy_files_are_noted_and_ignored(self):
        self.detect("chromium")
        self.install("--extension-id", ID_A)
        broken = self.policy("broken.json", "{not json")
        listed = self.policy("list.json", '["NativeMessagingBlocklist"]')
        typed = self.policy("typed.json", {"NativeMessagingUserLevelHosts": "no"})
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        notes = self.browser(report, "chromium")["notes"]
        self.assertEqual(len(notes), 3, notes)
        self.assertIn("The policy file %s is not a JSON object; the browser ignores it." % listed, notes)
        self.assertIn("NativeMessagingUserLevelHosts in %s has the wrong type; the browser ignores it." % typed, notes)
        self.assertTrue(any(n.startswith("The policy file %s is not a JSON object (" % broken) for n in notes), notes)

    def test_chrome_and_chromium_take_their_folder_from_chrome_config_home_and_doctor_names_the_desktop_one(self):
        moved = os.path.join(self.tmp, "chrome-config")
        self.env["CHROME_CONFIG_HOME"] = moved
        self.env["XDG_CONFIG_HOME"] = self.config + "/"  # the default folder still, so no note for Edge
        os.makedirs(os.path.join(moved, "chromium"))
        self.detect("chromium", "microsoft-edge")  # below XDG_CONFIG_HOME: only Edge reads it
        self.install("--extension-id", ID_A)
        ours = os.path.join(moved, "chromium", "NativeMessagingHosts", MANIFEST)
        self.assertEqual(self.read_manifest(ours), self.expected_manifest(self.host, ID_A))
        self.assertFalse(os.path.exists(self.user_manifest("chromium")))
        self.assertTrue(os.path.exists(self.user_manifest("microsoft-edge")))
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        chromium = self.browser(report, "chromium")
        self.assertEqual(chromium["uses"], ours)
        self.assertEqual(chromium["notes"], [
            "CHROME_CONFIG_HOME moves Chromium's folder to %s; a Chromium started without it (as from the desktop) "
            "reads %s instead." % (os.path.join(moved, "chromium"), os.path.dirname(self.user_manifest("chromium")))])
        self.assertEqual(self.browser(report, "edge")["notes"], [])
        self.assertEqual(self.run_tool("uninstall", "--browser", "chromium").returncode, 0)
        self.assertFalse(os.path.exists(ours))

        # XDG_CONFIG_HOME away from ~/.config moves every browser's folder, and doctor says so too.
        self.env.pop("CHROME_CONFIG_HOME")
        self.env["XDG_CONFIG_HOME"] = os.path.join(self.tmp, "xdg")
        os.makedirs(os.path.join(self.tmp, "xdg", "microsoft-edge"))
        self.install("--extension-id", ID_A)
        status, report = self.run_json("doctor")
        self.assertEqual(status, 0, report)
        self.assertEqual(self.browser(report, "edge")["notes"], [
            "XDG_CONFIG_HOME moves Microsoft Edge's folder to %s; a Microsoft Edge started without it (as from the "
            "desktop) reads %s instead." % (os.path.join(self.tmp, "xdg", "microsoft-edge"),
                                            os.path.dirname(self.user_manifest("microsoft-edge")))])

    def test_user_data_dir_moves_one_browsers_registration_and_profiles_and_doctor_says_which_it_checked(self):
        self.detect("chromium", "google-chrome")
        dev = os.path.join(self.tmp, "dev profile")  # not there yet: the browser makes it at its first start
        ours = os.path.join(dev, "NativeMessagingHosts", MANIFEST)
        # Two browsers here: the folder is one's, and the tool does not guess whose.
        refused = self.run_tool("doctor", "--user-data-dir", dev)
        self.assertEqual(refused.returncode, 1)
        self.assertIn("more than one is here (chrome, chromium); name the one started with it with --browser",
                      refused.stderr.replace("\n", " "))
        self.assertEqual(
            self.run_tool("install", "--system", "--user-data-dir", dev, "--extension-id", ID_A).returncode, 2)

        status, report = self.run_json("doctor", "--user-data-dir", dev, "--browser", "chromium",
                                       "--extension-id", ID_A)
        self.assertEqual(status, 1, report)
        chromium = self.browser(report, "chromium")
        self.assertEqual(chromium["notes"], [
            "Chromium started with --user-data-dir=%s reads its per-user registration in %s and its profiles there, "
            "instead of its usual folder." % (dev, os.path.dirname(ours))])
        self.assertIn(ours, [row["where"] for row in report["registrations"]])
        [problem] = chromium["problems"]
        self.assertIn("--user-data-dir '%s'" % dev, problem["fix"])
        self.follow(problem["fix"])
        self.assertEqual(self.read_manifest(ours)["allowed_origins"], ["chrome-extension://%s/" % ID_A])
        self.assertFalse(os.path.exists(self.user_manifest("chromium")))  # the usual folder is left as it was

        # The profiles read are DIR's: its extension is named, the usual folder's is not.
        for folder, extension_id in ((dev, ID_B), (os.path.join(self.config, "chromium"), "c" * 32)):
            self.write_file(os.path.join(folder, "Default", "Preferences"), json.dumps({"extensions": {"settings": {
                extension_id: {"active_permissions": {"api": ["nativeMessaging"]}, "disable_reasons": []}}}}))
        # DIR's profile runs ID_B only, which the registration does not admit: no installed extension can connect.
        status, report = self.run_json("doctor", "--user-data-dir", dev, "--browser", "chromium")
        self.assertEqual(status, 1, report)
        chromium = self.browser(report, "chromium")
        self.assertEqual(chromium["uses"], ours)
        self.assertEqual([problem["code"] for problem in chromium["problems"]], ["no_admitted_extension_installed"])
        said = json.dumps(chromium)
        self.assertIn(ID_B, said)
        self.assertNotIn("c" * 32, said)

        self.assertEqual(self.run_tool("uninstall", "--user-data-dir", dev, "--browser", "chromium").returncode, 0)
        self.assertFalse(os.path.exists(ours))


class FixesThatWork(RegisterTestCase):
    """Each fix doctor prints, run as printed through /bin/sh with a PATH that
    lacks the tool, must leave doctor healthy; doctor --fix applies the fixes
    that need no decision, and --dry-run changes no byte."""

    def setUp(self):
        super().setUp()
        self.detect("chromium")
        self.path = self.user_manifest("chromium")

    def copy(self, program, folder):
        """A copy of a program of the build in a folder of the test's."""
        os.makedirs(os.path.join(self.tmp, folder), exist_ok=True)
        return shutil.copy2(program, os.path.join(self.tmp, folder))

    def register(self, host, origins=("chrome-extension://%s/" % ID_A,), scope="user"):
        path = self.path if scope == "user" else os.path.join(self.system_root, "etc/chromium/native-messaging-hosts",
                                                              MANIFEST)
        return self.write_file(path, json.dumps(dict(self.expected_manifest(host), allowed_origins=list(origins))),
                               0o600 if scope == "user" else 0o644)

    def problem(self, *args, tool_path=None):
        result = subprocess.run([tool_path or tool(), "doctor", "--json", *args], capture_output=True, text=True,
                                env=self.env, cwd=self.tmp, timeout=LIMIT_SECONDS)
        self.assertEqual(result.returncode, 1, result.stdout)
        [row] = [r for r in json.loads(result.stdout)["registrations"] if r["problems"]]
        [problem] = row["problems"]
        return problem

    def assert_healthy(self, tool_path=None):
        result = subprocess.run([tool_path or tool(), "doctor"], capture_output=True, text=True, env=self.env,
                                cwd=self.tmp, timeout=LIMIT_SECONDS)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def snapshot(self):
        files = {}
        for folder, _, names in os.walk(self.tmp):
            for name in names:
                with open(os.path.join(folder, name), "rb") as f:
                    files[os.path.join(folder, name)] = f.read()
        return files

    def test_a_moved_host_is_registered_where_it_lies_now(self):
        old = self.copy(self.host, "old")
        self.register(old, ["chrome-extension://%s/" % ID_A, "chrome-extension://%s/" % ID_B])
        os.remove(old)
        problem = self.problem()
        self.assertEqual(problem["code"], "host_missing")
        self.assertEqual(problem["fix"], "Reinstall the host, or register the one you have: %s install --browser "
                         "chromium --extension-id %s --extension-id %s --host %s --force" % (tool(), ID_A, ID_B,
                                                                                            self.host))
        # Where PATH finds the tool (here through a link), the fix names it bare.
        os.makedirs(os.path.join(self.tmp, "bin"))
        os.symlink(tool(), os.path.join(self.tmp, "bin", "orvix-native-host-register"))
        self.env["PATH"] = os.path.join(self.tmp, "bin") + ":/usr/bin:/bin"
        self.assertIn("have: orvix-native-host-register install --browser chromium", self.problem()["fix"])
        self.env["PATH"] = "/usr/bin:/bin"

        before = self.snapshot()
        dry = self.run_tool("doctor", "--fix", "--dry-run")
        self.assertEqual(dry.returncode, 1, dry.stdout)
        self.assertTrue(dry.stdout.startswith("would write  %s  chromium (user)\n\n" % self.path), dry.stdout)
        self.assertIn("The host %s does not exist." % old, dry.stdout)
        self.assertEqual(self.snapshot(), before)

        fixed = self.run_tool("doctor", "--fix")
        self.assertEqual(fixed.returncode, 0, fixed.stdout)
        self.assertTrue(fixed.stdout.startswith("wrote  %s  chromium (user)\n\n" % self.path), fixed.stdout)
        self.assertTrue(fixed.stdout.endswith("Every registration works.\n"), fixed.stdout)
        self.assertEqual(self.read_manifest(self.path), self.expected_manifest(self.host, ID_A, ID_B))
        again = self.run_tool("doctor", "--fix")
        self.assertEqual((again.returncode, again.stdout.splitlines()[0]),
                         (0, "Nothing to fix without a decision of yours."))

        # Followed as printed, the fix does the same.
        self.register(old)
        self.follow(self.problem()["fix"])
        self.assert_healthy()

    def test_a_stale_per_user_registration_that_shadows_a_working_system_one_is_removed(self):
        # The host of the per-user registration is gone; the system-wide one
        # works and admits its extension. Removing the per-user one is the
        # fix, even where a host could be named: a per-user fix has no
        # business with the system's files.
        lone = self.copy(tool(), "lone")
        gone = self.copy(self.host, "old")
        self.register(gone)
        os.remove(gone)
        system = self.register(self.host, scope="system")
        with open(system, "rb") as f:
            system_bytes = f.read()
        then_used = "Chromium then uses the system-wide registration (manifest %s, host %s)" % (system, self.host)
        problem = self.problem(tool_path=lone)
        self.assertEqual(problem["code"], "host_missing")
        self.assertEqual(problem["fix"], "Remove this per-user registration; %s: %s uninstall --browser chromium"
                         % (then_used, lone))
        self.follow(problem["fix"])
        self.assertFalse(os.path.exists(self.path))
        self.assert_healthy(lone)

        for args in [], ["--host", self.host]:
            with self.subTest(args=args):
                self.register(gone)
                result = subprocess.run([lone, "doctor", "--fix", *args], capture_output=True, text=True,
                                        env=self.env, cwd=self.tmp, timeout=LIMIT_SECONDS)
                self.assertEqual(result.returncode, 0, result.stdout)
                self.assertEqual(result.stdout.splitlines()[:2], [
                    "%s once %s is removed:" % (then_used, self.path), "removed  %s  chromium (user)" % self.path])
                self.assertFalse(os.path.exists(self.path))
                with open(system, "rb") as f:
                    self.assertEqual(f.read(), system_bytes)

    def test_a_registration_whose_host_is_gone_stays_as_the_only_record_of_its_extensions(self):
        # No host beside the tool and no --host: doctor --fix leaves it and
        # prints the command that registers the host again with its ids. A
        # system-wide registration that does not admit them all changes
        # nothing: removing the per-user one would lose an extension.
        lone = self.copy(tool(), "lone")
        gone = self.copy(self.host, "old")
        placeholder = ("<path of orvix-chrome-native-host, which comes beside orvix-native-host-register in each "
                       "package>")
        command = "%s install --browser chromium --extension-id %s --extension-id %s --host %s --force" % (
            lone, ID_A, ID_B, placeholder)
        for system in (False, True):
            with self.subTest(system=system):
                # The host of another registration (here the system-wide one)
                # is one the user has: the printed command names it.
                printed, fix = command, "Reinstall the host, then register it with the extensions this registration admits: "
                if system:
                    self.register(self.host, scope="system")
                    printed = command.replace(placeholder, shlex.quote(self.host))
                    fix = "Reinstall the host, or register the one you have: "
                self.register(gone, ["chrome-extension://%s/" % ID_A, "chrome-extension://%s/" % ID_B])
                if os.path.exists(gone):
                    os.remove(gone)
                before = self.snapshot()
                self.assertEqual(self.problem(tool_path=lone)["fix"], fix + printed)
                result = subprocess.run([lone, "doctor", "--fix"], capture_output=True, text=True, env=self.env,
                                        cwd=self.tmp, timeout=LIMIT_SECONDS)
                self.assertEqual(result.returncode, 1, result.stdout)
                self.assertEqual(result.stdout.splitlines()[0], "left %s: its host is gone, and it is the only "
                                 "record of the extensions it admits; once the host is back, register it: %s"
                                 % (self.path, printed))
                self.assertEqual(self.snapshot(), before)
        # The line that admits another extension names that host too, and works.
        third = "c" * 32
        result = subprocess.run([lone, "doctor", "--json", "--extension-id", third], capture_output=True, text=True,
                                env=self.env, cwd=self.tmp, timeout=LIMIT_SECONDS)
        [verdict] = [b for b in json.loads(result.stdout)["browsers"] if b["browser"] == "chromium"]
        [fix] = [p["fix"] for p in verdict["problems"] if p["code"] == "extension_not_admitted"]
        self.assertTrue(fix.endswith("--extension-id %s --host %s --force" % (third, shlex.quote(self.host))), fix)
        self.follow(fix)
        # With the host back, the printed command (its path filled in) registers it.
        self.follow("fix: " + command.replace(placeholder, shlex.quote(self.host)))
        self.assertEqual(self.read_manifest(self.path), self.expected_manifest(self.host, ID_A, ID_B, third))

    def test_an_origin_without_its_final_slash_is_written_with_it(self):
        self.register(self.host, ["chrome-extension://%s" % ID_A, "chrome-extension://%s/" % ID_B])
        problem = self.problem()
        self.assertEqual(problem["code"], "origin_missing_slash")
        self.assertIn('"chrome-extension://%s", which lacks the trailing slash' % ID_A, problem["problem"])
        self.assertIn("--extension-id %s --extension-id %s --host %s --force" % (ID_B, ID_A, self.host),
                      problem["fix"])
        self.follow(problem["fix"])
        self.assert_healthy()
        self.assertEqual(self.read_manifest(self.path), self.expected_manifest(self.host, ID_B, ID_A))

        self.register(self.host, ["chrome-extension://%s" % ID_A])
        status, report = self.run_json("doctor", "--fix")
        self.assertEqual(status, 0, report)
        self.assertEqual(report["applied"], ["wrote  %s  chromium (user)" % self.path])
        self.assertEqual(self.read_manifest(self.path), self.expected_manifest(self.host, ID_A))

        # What needs a decision stays a printed fix.
        self.register(self.host, ["https://example.com/"])
        before = self.snapshot()
        status, report = self.run_json("doctor", "--fix")
        self.assertEqual((status, report["applied"]), (1, []))
        self.assertEqual(self.snapshot(), before)

    def test_a_host_path_the_shell_would_read_is_quoted_in_the_fix(self):
        # Unquoted, each of these folders splits the command, runs another or
        # is a syntax error: "a`id`b" would run id.
        for folder in ("orvix(copy)", "a&b", "a`id`b", "x|y", "a<b>c", "é~*?[1]#"):
            with self.subTest(folder=folder):
                host = self.copy(self.host, folder)
                os.chmod(host, 0o644)
                self.register(host)
                problem = self.problem()
                self.assertEqual(problem["code"], "host_not_executable")
                self.assertEqual(problem["fix"], "Make it executable: chmod +x " + shlex.quote(host))
                self.follow(problem["fix"])
                self.assert_healthy()

    def test_a_manifest_that_cannot_be_read_is_replaced_by_the_fix_for_the_extension(self):
        # A pipe (where the browser waits for ever) or a file over the limit:
        # the fix doctor names for the extension, an install with --force,
        # writes it anew; without --force install keeps it.
        for case in ("pipe", "huge", "invalid"):
            with self.subTest(case=case):
                if os.path.lexists(self.path):
                    os.remove(self.path)
                if case == "pipe":
                    os.makedirs(os.path.dirname(self.path), exist_ok=True)
                    os.mkfifo(self.path)
                else:
                    self.write_file(self.path, " " * (2 << 20) if case == "huge" else "{not json")
                status, report = self.run_json("doctor", "--extension-id", ID_A)
                self.assertEqual(status, 1, report)
                [verdict] = [b for b in report["browsers"] if b["browser"] == "chromium"]
                [problem] = verdict["problems"]
                self.assertEqual(problem["code"], "extension_not_admitted")
                self.assertTrue(problem["fix"].endswith(" --force"), problem["fix"])
                kept = self.run_tool("install", "--browser", "chromium", "--extension-id", ID_A)
                self.assertEqual(kept.returncode, 1)
                self.assertEqual(stat.S_ISFIFO(os.lstat(self.path).st_mode), case == "pipe")
                self.follow(problem["fix"])
                self.assertEqual(self.read_manifest(self.path), self.expected_manifest(self.host, ID_A))
                self.assert_healthy()

    @unittest.skipIf(os.geteuid() != 0, "needs root to write as another user")
    def test_a_manifest_root_wrote_into_the_users_home_is_given_back(self):
        # "sudo install" that kept HOME: root writes into a home that nobody
        # owns; doctor runs as nobody, and the printed fix is followed (its
        # sudo part as root, the rest as nobody).
        os.chmod(self.tmp, 0o755)
        app = os.path.join(self.tmp, "app")
        for program in (tool(), self.host):
            self.copy(program, "app")
            os.chmod(os.path.join(app, os.path.basename(program)), 0o755)
        os.chmod(app, 0o755)
        self.env["ORVIX_HOME"] = os.path.join(self.home, "orvix-home")
        for folder, _, _ in os.walk(self.home):
            os.chown(folder, 65534, 65534)
        register = os.path.join(app, "orvix-native-host-register")
        as_root = subprocess.run([register, "install", "--extension-id", ID_A], capture_output=True, text=True,
                                 env=self.env, timeout=LIMIT_SECONDS)
        self.assertEqual(as_root.returncode, 0, as_root.stderr)
        folder = os.path.dirname(self.path)

        def as_nobody(*args):
            return subprocess.run([register, *args], capture_output=True, text=True, env=self.env, cwd=self.tmp,
                                  timeout=LIMIT_SECONDS, user=65534)

        def problems():
            report = json.loads(as_nobody("doctor", "--json").stdout)
            [row] = [r for r in report["registrations"] if r["registered"]]
            return row["problems"]

        refused = as_nobody("uninstall")
        self.assertEqual(refused.returncode, 1)
        self.assertIn("Permission denied", refused.stderr)
        doctor = as_nobody("doctor")
        self.assertEqual(doctor.returncode, 1, doctor.stdout)
        self.assertIn("problem:  %s is owned by root and %s is owned by root, so you cannot replace or remove the "
                      "manifest, and the browser, running as you, cannot read it.\n" % (folder, self.path),
                      doctor.stdout)
        problem = problems()
        self.assertEqual([p["code"] for p in problem], ["manifest_not_yours"])
        self.assertEqual(problem[0]["fix"], "Give it back to yourself (then doctor checks what it says): sudo chown "
                                            "nobody: %s %s" % (folder, self.path))
        self.follow(problem[0]["fix"])
        healthy = as_nobody("doctor")
        self.assertEqual(healthy.returncode, 0, healthy.stdout + healthy.stderr)
        self.assertEqual(as_nobody("uninstall").returncode, 0)

        # Only the folder is root's: the manifest can be read but not replaced.
        os.makedirs(folder, exist_ok=True)  # uninstall removed it, emptied
        os.chown(folder, 0, 0)
        self.write_file(self.path, json.dumps(self.expected_manifest(os.path.join(app, "orvix-chrome-native-host"),
                                                                     ID_A)))
        os.chown(self.path, 65534, 65534)
        problem = problems()
        self.assertEqual(problem[0]["problem"], "%s is owned by root, so you cannot replace or remove the manifest."
                         % folder)
        self.follow(problem[0]["fix"])
        self.assertEqual(as_nobody("doctor").returncode, 0)

        # Under a umask of 077 root's folder cannot even be searched: it hides
        # the manifest from the user and the browser, and takes no new one.
        # Each run names what it sees; two chowns give both back.
        shutil.rmtree(folder)
        as_root = subprocess.run([register, "install", "--extension-id", ID_A], capture_output=True, text=True,
                                 env=self.env, timeout=LIMIT_SECONDS, umask=0o077)
        self.assertEqual(as_root.returncode, 0, as_root.stderr)
        self.assertEqual(as_nobody("install", "--extension-id", ID_A).returncode, 1)
        for given_back in ([folder], [self.path]):
            problem = problems()
            self.assertEqual([p["code"] for p in problem], ["manifest_not_yours"])
            self.assertTrue(problem[0]["fix"].endswith("nobody: " + " ".join(given_back)), problem[0]["fix"])
            self.follow(problem[0]["fix"])
        self.assertEqual(as_nobody("doctor").returncode, 0)


if __name__ == "__main__":
    unittest.main()
