"""Hostile things at the descriptor and log paths: pipes, devices, sockets,
links and huge files. The host must neither wait on them, nor read them
whole, nor write into them; every run is bounded by a timeout."""
import os
import shlex
import shutil
import socket
import tempfile
import unittest
import unittest.mock

from harness import STARTED, STOPPED, HostTestCase, frame, not_on_windows

# Far above what any case here needs; a host that blocks on a pipe never ends.
BOUND = 30
DESCRIPTOR_LIMIT = 1048576
MISSING = {"code": "runtime_descriptor_missing", "message": "Runtime connection descriptor was not found."}

# FIFOs, devices, /proc and Unix sockets are POSIX things, and so is running
# the host as another user; the Windows build (ORVIX_TARGET_OS) checks the
# type of what its own file system has.
posix_only = not_on_windows("POSIX special files and users")


def sparse_file(path, size):
    with open(path, "wb") as f:
        f.truncate(size)


class LocalFileCase(HostTestCase):
    def unprivileged(self):
        """Arguments that run the host as a user the file modes hold back.

        root reads and searches anything, so as root the host runs as nobody.
        The build may lie under a directory nobody cannot enter (a checkout in
        a private temporary folder), so nobody starts a copy from an open one,
        and this test's own directory is opened for it."""
        if os.geteuid() != 0:
            return {}
        os.chmod(self.tmp, 0o755)
        open_dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, open_dir)
        os.chmod(open_dir, 0o755)
        program, *arguments = shlex.split(os.environ["ORVIX_HOST_CMD"])
        copy = shutil.copy(program, open_dir)
        patch = unittest.mock.patch.dict(os.environ, {"ORVIX_HOST_CMD": shlex.join([copy, *arguments])})
        patch.start()
        self.addCleanup(patch.stop)
        return {"user": 65534}


class HostileDescriptor(LocalFileCase):
    def status(self, **kwargs):
        (reply,) = self.ask({"id": 1, "method": "host.status"}, timeout=BOUND, **kwargs)
        return reply["result"]

    def assert_read_failure(self, message, **kwargs):
        result = self.status(**kwargs)
        self.assertEqual(result["runtime"], "unreachable")
        self.assertEqual(result["descriptorPath"], self.host_descriptor_path)
        self.assertEqual(result["error"], {"code": "runtime_descriptor_read_failed", "message": message})

    def place(self, make):
        os.makedirs(os.path.dirname(self.descriptor_path), exist_ok=True)
        if os.path.lexists(self.descriptor_path):
            os.unlink(self.descriptor_path)
        make(self.descriptor_path)

    @posix_only
    def test_what_is_not_a_regular_file_is_never_read(self):
        cases = [
            ("fifo", os.mkfifo),
            ("link to /dev/zero", lambda path: os.symlink("/dev/zero", path)),
        ]
        for name, make in cases:
            with self.subTest(name):
                self.place(make)
                self.assert_read_failure("not a regular file")
        # Both request kinds that read the descriptor, and several times over.
        self.place(os.mkfifo)
        replies = self.ask({"id": 1, "method": "runtime.request", "params": {"message": {"type": "t"}}},
                           {"id": 2, "method": "hello"}, timeout=BOUND)
        self.assertEqual(replies[0]["error"], {"code": "runtime_descriptor_read_failed",
                                               "message": "not a regular file"})
        self.assertEqual(replies[1]["result"]["error"]["code"], "runtime_descriptor_read_failed")

    @posix_only
    def test_socket_fails_with_the_system_text(self):
        listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.addCleanup(listener.close)
        self.place(listener.bind)
        listener.listen(1)
        self.assert_read_failure("No such device or address (os error 6)")

    def test_size_is_capped(self):
        # Sparse files: two hundred megabytes take no disk space.
        for size in (200 * 1024 * 1024, DESCRIPTOR_LIMIT + 1):
            with self.subTest(size=size):
                self.place(lambda path: sparse_file(path, size))
                self.assert_read_failure("descriptor is larger than 1048576 bytes")
        # Exactly at the limit it is read and parsed.
        record = (b'{"protocolVersion":1,"pid":7,"runtimeVersion":"v","wsUrl":"ws://127.0.0.1:1/","updatedAt":3}')
        self.write_descriptor(record + b" " * (DESCRIPTOR_LIMIT - len(record)))
        result = self.status()
        self.assertEqual((result["runtimePid"], result["updatedAt"]), (7, 3))

    def test_no_entry_means_not_running(self):
        # A plain file where a directory of the path belongs.
        os.makedirs(self.home)
        with open(os.path.join(self.home, "data"), "w") as f:
            f.write("in the way")
        self.assertEqual(self.status()["error"], MISSING)
        os.unlink(os.path.join(self.home, "data"))
        # A link that leads nowhere.
        self.place(lambda path: os.symlink(os.path.join(self.tmp, "gone"), path))
        self.assertEqual(self.status()["error"], MISSING)

    @posix_only
    def test_permission_denied(self):
        # A descriptor that is there but may not be read is a read failure.
        self.write_descriptor(self.descriptor("ws://127.0.0.1:9/"))
        chrome = os.path.dirname(self.descriptor_path)
        self.addCleanup(os.chmod, chrome, 0o700)
        os.chmod(self.descriptor_path, 0)
        as_nobody = self.unprivileged()
        self.assert_read_failure("Permission denied (os error 13)", **as_nobody)
        # Behind a directory that may not be searched it cannot even be seen:
        # missing, so the runtime counts as not running.
        os.chmod(self.descriptor_path, 0o644)
        os.chmod(chrome, 0)
        result = self.status(**as_nobody)
        self.assertEqual(result["runtime"], "not_running")
        self.assertEqual(result["descriptorPath"], self.host_descriptor_path)
        self.assertEqual(result["error"], MISSING)

    @posix_only
    def test_name_too_long_is_missing(self):
        self.env["ORVIX_HOME"] = os.path.join(self.tmp, "h" * 300)
        result = self.status()
        self.assertEqual((result["runtime"], result["error"]), ("not_running", MISSING))


@posix_only
class HostileLog(LocalFileCase):
    def log_twice(self, **run):
        replies = self.ask({"id": 1, "method": "host.log", "params": {"event": "SECRET-EVENT"}},
                           {"id": 2, "method": "nope"}, timeout=BOUND, **run)
        self.assertEqual(replies[0]["result"], {"ok": True})
        self.assertEqual(replies[1]["error"]["code"], "unsupported_method")

    def place(self, make):
        os.makedirs(os.path.dirname(self.log_path), exist_ok=True)
        make(self.log_path)

    def test_fifo_is_neither_waited_on_nor_written(self):
        self.place(os.mkfifo)
        self.log_twice()  # no reader: opening it for writing would wait for one
        reader = os.open(self.log_path, os.O_RDONLY | os.O_NONBLOCK)
        self.addCleanup(os.close, reader)
        self.log_twice()
        self.assertEqual(os.read(reader, 4096), b"")  # at its end: no writer left, nothing written

    def test_links_into_the_hosts_own_streams_leave_them_clean(self):
        # /proc/self/fd/N, seen from the host: its stdin, stdout (led to
        # stderr), stderr and the private frame descriptor, among others.
        self.place(lambda path: None)
        for n in range(6):
            with self.subTest(fd=n):
                if os.path.lexists(self.log_path):
                    os.unlink(self.log_path)
                os.symlink("/proc/self/fd/%d" % n, self.log_path)
                stdin = frame({"id": 1, "method": "host.log", "params": {"event": "SECRET-EVENT"}})
                run = self.run_host(stdin, timeout=BOUND)
                self.assertEqual(run.stderr, STARTED + STOPPED)
                self.assertEqual(run.bodies, [b'{"id":1,"method":"host.log","result":{"ok":true},"type":"response"}'])

    def test_link_to_a_device_is_skipped_and_a_regular_target_is_written(self):
        self.place(lambda path: os.symlink("/dev/null", path))
        self.log_twice()
        os.unlink(self.log_path)
        target = os.path.join(self.tmp, "elsewhere.log")
        os.symlink(target, self.log_path)
        self.log_twice()
        self.assertEqual(self.log_lines(target), [("host.log", "SECRET-EVENT"), ("nope", "unsupported_method")])

    def test_a_log_that_may_be_written_but_not_read_still_gets_lines(self):
        # The host reads the log's last byte to start each line on its own
        # line, but where it may not read, it appends all the same.
        as_nobody = self.unprivileged()
        self.place(lambda path: open(path, "w").close())
        os.chmod(self.log_path, 0o622)
        self.log_twice(**as_nobody)
        os.chmod(self.log_path, 0o644)
        self.assertEqual(self.log_lines(), [("host.log", "SECRET-EVENT"), ("nope", "unsupported_method")])


if __name__ == "__main__":
    unittest.main()
