#!/usr/bin/env python3
"""Whole-process benchmark of a native-messaging host, side by side with peers
and a physical-limit baseline.  See README.md beside this file.

    HOST_BIN=path/to/host python3 bench/run.py [--json FILE] [--rounds N]
                                               [--cold-runs N] [--timeout S] [--quick]

Environment:
  HOST_BIN     command line of the host under test (default: the Python peer)
  PEERS        peers, separated by ';', each "label=command" or "command"
               (default: the Python peer; set but empty: no peer)
  NODE_PEER    command line of a Node peer; added when it starts and answers
  RUNTIME_CMD  command line of a runtime stand-in; turns W5 and W6 on (see w5_runtime)
  CC           C compiler for the limit baseline (default: cc)
"""
import argparse
import json
import os
import platform
import random
import re
import select
import shlex
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PY_PEER = os.path.join(HERE, "peers", "python_host.py")
LIMIT_SRC = os.path.join(HERE, "peers", "limit_echo.c")
# The C baseline is built beside this file, or under BENCH_BUILD_DIR, or in the user's cache when
# this folder is read-only.
LIMIT_EXE = os.path.join(os.environ.get("BENCH_BUILD_DIR") or
                         (os.path.join(HERE, "build") if os.access(HERE, os.W_OK)
                          else os.path.join(os.path.expanduser("~"), ".cache", "orvix-bench")),
                         "limit_echo")
MAX_BODY = 1048576
LOG_LINE = re.compile(rb"[1-9][0-9]* method=host\.log detail=bench-event")

METRICS = [  # id, title, unit, higher is better
    ("w1_ms", "W1 cold start", "ms per process", False),
    ("w2_rps", "W2 small requests", "requests/s", True),
    ("w2_rss", "W2 peak RSS", "MiB", False),
    ("w3_rps", "W3 host.log", "requests/s", True),
    ("w4_mbps", "W4 large frames", "MB/s of requests", True),
    ("w4_rss", "W4 peak RSS", "MiB", False),
    ("w5_rps", "W5 runtime.request", "requests/s", True),
    ("w6_mbps", "W6 large runtime.request", "MB/s of requests", True),
]


class Fail(Exception):
    """The subject answered wrongly, died or timed out: FAILED for that workload."""


class Subject:
    def __init__(self, label, argv, role, tail=()):
        self.label, self.argv, self.role = label, argv, role  # role: host, peer, limit
        self.tail = list(tail)

    def command(self, mode):
        """limit_echo is told its reply mode (hello, log, echo); hosts take no arguments."""
        return self.argv + [mode] + self.tail if self.role == "limit" else self.argv


def compact(value):
    """JSON as the host writes it: no whitespace, keys sorted, raw UTF-8."""
    return json.dumps(value, ensure_ascii=False, separators=(",", ":"), sort_keys=True).encode()


def frame(body):
    return len(body).to_bytes(4, "little") + body


class Session:
    """One subject process on pipes, with ORVIX_HOME set to `home`."""

    def __init__(self, ctx, subject, mode, home):
        self.ctx, self.writer = ctx, None
        self.buf, self.start, self.end = ctx.buf, 0, 0  # unread replies: buf[start:end]
        # One stderr file per subject, appended to and never truncated, as a browser's own
        # error log is: truncating it for every run made the file system write out its
        # blocks at the subject's exit, a cost no browser passes on to its host.
        self.err_path = os.path.join(ctx.tmp, subject.label + ".stderr")
        self.err_start = os.path.getsize(self.err_path) if os.path.exists(self.err_path) else 0
        with open(self.err_path, "ab") as err:
            try:
                self.proc = subprocess.Popen(
                    subject.command(mode), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                    stderr=err, bufsize=0, env=dict(os.environ, ORVIX_HOME=home))
            except OSError as e:
                raise Fail(f"cannot start: {e}")
        self.deadline = time.monotonic() + ctx.timeout

    def send(self, data):
        view = memoryview(data)
        while view:
            view = view[os.write(self.proc.stdin.fileno(), view):]

    def _send_quietly(self, data):
        try:
            self.send(data)
        except OSError:
            pass  # the subject died; the reader reports it

    def _read(self):
        """One read of stdout into the free end of the buffer; returns the byte count."""
        left = self.deadline - time.monotonic()
        if left <= 0 or not select.select([self.proc.stdout], [], [], left)[0]:
            raise Fail(f"timed out after {self.ctx.timeout:g} s")
        if self.end == len(self.buf):  # move the unread bytes to the front
            self.buf[:self.end - self.start] = self.buf[self.start:self.end]
            self.start, self.end = 0, self.end - self.start
        with memoryview(self.buf) as view:
            n = os.readv(self.proc.stdout.fileno(), [view[self.end:]])
        self.end += n
        return n

    def replies(self, count):
        """Reads `count` reply frames and returns their bodies."""
        bodies, buf = [], self.buf
        while True:
            pos, end = self.start, self.end
            while len(bodies) < count and end - pos >= 4:
                size = struct.unpack_from("<I", buf, pos)[0]
                if size > MAX_BODY:
                    raise Fail(f"reply {len(bodies) + 1} announces {size} bytes, over 1 MiB")
                if end - pos - 4 < size:
                    break
                bodies.append(bytes(buf[pos + 4:pos + 4 + size]))
                pos += 4 + size
            self.start = pos
            if len(bodies) == count:
                return bodies
            if not self._read():
                raise Fail(f"output ended after {len(bodies)} of {count} replies{self.stderr_tail()}")

    def exchange(self, body):
        self.send(frame(body))
        return self.replies(1)[0]

    def pipelined(self, payload, count):
        """Writes `payload` from a thread while reading `count` replies: (seconds, bodies)."""
        self.writer = threading.Thread(target=self._send_quietly, args=(payload,), daemon=True)
        start = time.perf_counter()
        self.writer.start()
        bodies = self.replies(count)
        seconds = time.perf_counter() - start
        self.writer.join()
        return seconds, bodies

    def finish(self, rss=True):
        """Closes stdin; wants EOF, nothing more on stdout, exit 0.
        Returns the peak RSS in MiB, read from /proc before stdin is closed."""
        rss = self.peak_rss() if rss else None
        self.proc.stdin.close()
        while self._read():
            pass
        if hasattr(os, "pidfd_open"):  # wait for the exit, but not forever
            fd = os.pidfd_open(self.proc.pid)
            try:
                left = max(0.0, self.deadline - time.monotonic())
                if not select.select([fd], [], [], left)[0]:
                    raise Fail("did not exit after its input closed")
            finally:
                os.close(fd)
        self.proc.wait()
        if self.end > self.start:
            raise Fail(f"{self.end - self.start} unexpected bytes after the last reply")
        if self.proc.returncode != 0:
            raise Fail(f"exit status {self.proc.returncode}{self.stderr_tail()}")
        return rss

    def peak_rss(self):
        """VmHWM of the subject in MiB, or None.  (getrusage/wait4 would not do: with
        vfork, a child's ru_maxrss starts from the harness's own RSS.)"""
        try:
            with open(f"/proc/{self.proc.pid}/status") as f:
                return next(int(l.split()[1]) for l in f if l.startswith("VmHWM:")) / 1024
        except (OSError, StopIteration):
            return None

    def close(self):
        """Kills the subject if it still runs (this process only, by its handle)."""
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if self.writer:
            self.writer.join()
        self.proc.stdin.close()
        self.proc.stdout.close()

    def stderr_tail(self):
        """The subject's last stderr line that mentions an error, else its last line."""
        with open(self.err_path, "rb") as f:
            f.seek(self.err_start)
            lines = [l for l in f.read().decode(errors="replace").splitlines() if l.strip()]
        errors = [l for l in lines if "rror" in l]
        return f" (stderr: {short((errors or lines)[-1].strip())})" if lines else ""


def short(value, width=160):
    """Text for a report line: bytes or str as they are, other values as JSON; one line,
    no temporary paths, at most `width` characters."""
    if isinstance(value, (bytes, bytearray)):
        value = bytes(value).decode(errors="replace")
    text = value if isinstance(value, str) else json.dumps(value, ensure_ascii=False)
    text = text.replace(tempfile.gettempdir() + os.sep, "<tmp>/").replace("\n", "\\n")
    return text if len(text) <= width else text[:width] + "..."


def check(bodies, expected, expected_id):
    """Every reply must be byte-identical to expected(i) (i counts from 1)."""
    for i, body in enumerate(bodies, 1):
        want = expected(i)
        if body == want:
            continue
        try:
            got = json.loads(body)
        except ValueError as e:
            raise Fail(f"reply {i} is not valid JSON ({e}): {short(body)}")
        got_id, want_id = got.get("id") if isinstance(got, dict) else None, expected_id(i)
        if not isinstance(got, dict) or got_id != want_id or type(got_id) is not type(want_id):
            got_id, want_id = (json.dumps(v, ensure_ascii=False) for v in (got_id, want_id))
            raise Fail(f"reply {i} has id {short(got_id, 60)}, expected {short(want_id, 60)}")
        raise Fail(f"reply {i} is not the expected reply: got {short(body)}, expected {short(want)}")


def with_id(template, i):
    """A response reply built for id 0, given id i instead."""
    return template.replace(b'{"id":0,', b'{"id":%d,' % i, 1)


def hello_reply(i, home):
    """the status reply when the product home holds no descriptor."""
    return compact({"id": i, "method": "hello", "type": "response", "result": {
        "descriptorPath": os.path.join(home, "data", "runtime", "chrome", "connection.json"),
        "error": {"code": "runtime_descriptor_missing",
                  "message": "Runtime connection descriptor was not found."},
        "nativeHost": "connected", "nativeHostVersion": "0.1.0", "protocolVersion": 1,
        "runtime": "not_running"}})


class Context:
    def __init__(self, args):
        scale = 10 if args.quick else 1
        self.rounds, self.cold_runs, self.timeout = args.rounds, args.cold_runs, args.timeout
        self.n_hello, self.n_log, self.n_large, self.n_runtime = (
            20_000 // scale, 5_000 // scale, 50 // scale, 1_000 // scale)
        self.n_large_runtime = 40 // scale
        self.tmp = tempfile.mkdtemp(prefix="hostbench-")
        self.nodesc = os.path.join(self.tmp, "nodesc")  # a product home without descriptor
        os.makedirs(self.nodesc)
        self.runtime_home = None
        self.buf = bytearray(4 * MAX_BODY)  # read buffer, shared by the sessions in turn
        self._cache = {}

    def cache(self, key, make):
        if key not in self._cache:
            self._cache = {key: make()}  # keep one workload's data at a time
        return self._cache[key]


# ---- workloads: each runs one subject once and returns {metric: value} --------

def w1_cold(ctx, s):
    """Spawn, one hello, read the reply, close stdin, wait for the exit."""
    want = hello_reply(1, ctx.nodesc)
    start = time.perf_counter()
    sess = Session(ctx, s, "hello", ctx.nodesc)
    try:
        body = sess.exchange(b'{"id":1,"method":"hello"}')
        sess.finish(rss=False)
        seconds = time.perf_counter() - start
    finally:
        sess.close()
    check([body], lambda i: want, lambda i: 1)
    return {"w1_ms": seconds * 1000}


def pipelined_run(ctx, s, mode, home, warmup, payload, count):
    """Warm-up exchange (not timed), then the pipelined batch: (seconds, bodies, rss)."""
    sess = Session(ctx, s, mode, home)
    try:
        sess.exchange(warmup)
        seconds, bodies = sess.pipelined(payload, count)
        rss = sess.finish()
    finally:
        sess.close()
    return seconds, bodies, rss


def w2_hello(ctx, s):
    n = ctx.n_hello
    payload = ctx.cache("w2", lambda: b"".join(
        frame(b'{"id":%d,"method":"hello"}' % i) for i in range(1, n + 1)))
    seconds, bodies, rss = pipelined_run(ctx, s, "hello", ctx.nodesc,
                                         b'{"id":0,"method":"hello"}', payload, n)
    template = hello_reply(0, ctx.nodesc)
    fixed = s.role == "limit"  # limit_echo answers every frame with its reply for id 1
    check(bodies, lambda i: with_id(template, 1 if fixed else i), lambda i: 1 if fixed else i)
    return {"w2_rps": n / seconds, "w2_rss": rss}


def w3_log(ctx, s):
    n = ctx.n_log
    request = b'{"id":%d,"method":"host.log","params":{"event":"bench-event"}}'
    payload = ctx.cache("w3", lambda: b"".join(frame(request % i) for i in range(1, n + 1)))
    home = os.path.join(tempfile.mkdtemp(dir=ctx.tmp), "home")  # made by the first log line
    log = os.path.join(home, "logs", "chrome-native-host.log")
    sess = Session(ctx, s, "log", home)
    try:
        sess.exchange(request % 0)  # warm-up: its line is written before its reply
        before = read_file(log).count(b"\n")
        seconds, bodies = sess.pipelined(payload, n)
        sess.finish(rss=False)
    finally:
        sess.close()
    fixed = s.role == "limit"
    reply = b'{"id":%d,"method":"host.log","result":{"ok":true},"type":"response"}'
    check(bodies, lambda i: reply % (1 if fixed else i), lambda i: 1 if fixed else i)
    data = read_file(log)
    lines = data[:-1].split(b"\n") if data.endswith(b"\n") else data.split(b"\n")
    if data.count(b"\n") - before != n:
        raise Fail(f"the log got {data.count(10) - before} lines for {n} host.log requests")
    bad = next((line for line in lines if not LOG_LINE.fullmatch(line)), None)
    if bad is not None:
        raise Fail(f"malformed log line: {short(bad)}")
    shutil.rmtree(os.path.dirname(home))
    return {"w3_rps": n / seconds}


def read_file(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return b""


def large_requests(n, size=1_000_000):
    """n request bodies of exactly `size` bytes, an unsupported method with a long string
    id (mostly ASCII, with non-ASCII and escaped characters), and the expected replies."""
    rng = random.Random(1)
    plain = [c for c in map(chr, range(0x20, 0x7F)) if c not in '"\\']
    rare = ["é", "€", "😀", "\n", "\t", '"', "\\", "/"]
    block = "".join(rng.choice(rare if k % 40 == 39 else plain) for k in range(10_000))
    text = block * ((size - 64) // (len(compact(block)) - 2))
    text += "x" * (size - len(compact({"id": "00:" + text, "method": "bench.large"})))
    ids = [f"{i:02d}:" + text for i in range(1, n + 1)]
    bodies = [compact({"id": id_, "method": "bench.large"}) for id_ in ids]
    error = {"code": "unsupported_method",
             "message": "Native host method is not supported: bench.large"}
    replies = [compact({"error": error, "id": id_, "method": "bench.large", "type": "error"})
               for id_ in ids]
    return ids, bodies, replies, b"".join(frame(b) for b in bodies)


def w4_large(ctx, s):
    n = ctx.n_large
    ids, requests, replies, payload = ctx.cache("w4", lambda: large_requests(n))
    home = os.path.join(ctx.tmp, "large")  # its log gets one unsupported_method line a request
    seconds, bodies, rss = pipelined_run(ctx, s, "echo", home,
                                         b'{"id":0,"method":"bench.large"}', payload, n)
    want = requests if s.role == "limit" else replies  # limit_echo echoes the request
    check(bodies, lambda i: want[i - 1], lambda i: ids[i - 1])
    return {"w4_mbps": len(payload) / seconds / 1e6, "w4_rss": rss}


def start_runtime(ctx, command):
    """W5 hook: start the runtime stand-in once, with ORVIX_HOME set to a fresh product
    home, and wait up to 10 s for it to publish its descriptor there."""
    home = os.path.join(ctx.tmp, "runtime-home")
    descriptor = os.path.join(home, "data", "runtime", "chrome", "connection.json")
    with open(os.path.join(ctx.tmp, "runtime.out"), "wb") as out:
        proc = subprocess.Popen(shlex.split(command), stdin=subprocess.DEVNULL, stdout=out,
                                stderr=subprocess.STDOUT, env=dict(os.environ, ORVIX_HOME=home))
    deadline = time.monotonic() + 10
    while not os.path.exists(descriptor):
        if proc.poll() is not None or time.monotonic() > deadline:
            stop_runtime(proc)
            return None, "the runtime stand-in published no descriptor within 10 s"
        time.sleep(0.05)
    ctx.runtime_home = home
    return proc, None


def stop_runtime(proc):
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def w5_runtime(ctx, s):
    """Runs only when RUNTIME_CMD is set.  start_runtime() has started the stand-in with
    ORVIX_HOME pointing at ctx.runtime_home; it publishes the descriptor there and
    answers each WebSocket text message that carries a "requestId" with an object
    carrying the same "requestId" (the sample runtime: type "<type>.result" and the
    request itself as payload.echo).  Each subject sends n "runtime.request" messages,
    pipelined; each reply must be a response reply with the right id whose result is
    the runtime's answer to that very request (its payload.n echoed; limit_echo, which
    wraps the whole request it relays, is held to the requestId alone)."""
    n = ctx.n_runtime
    request = (b'{"id":%d,"method":"runtime.request",'
               b'"params":{"message":{"payload":{"n":%d},"type":"bench.echo"}}}')
    payload = ctx.cache("w5", lambda: b"".join(frame(request % (i, i)) for i in range(1, n + 1)))
    # limit1 relays each message as a host must, without JSON work (limit_echo relay)
    relay = s.role == "limit"
    seconds, bodies, _ = pipelined_run(ctx, s, "relay" if relay else "hello", ctx.runtime_home,
                                       request % (0, 0), payload, n)
    for i, body in enumerate(bodies, 1):
        i = 1 if relay else i  # limit_echo answers every frame for id 1
        try:
            reply = json.loads(body)
        except ValueError:
            reply = None
        if not (isinstance(reply, dict) and reply.get("id") == i
                and reply.get("method") == "runtime.request" and reply.get("type") == "response"
                and isinstance(reply.get("result"), dict)
                and isinstance(reply["result"].get("requestId"), str)
                and (relay or (reply["result"].get("type") == "bench.echo.result"
                               and echoed_n(reply["result"]) == i))):
            raise Fail(f"reply {i} is not a runtime response: {short(body)}")
    return {"w5_rps": n / seconds}


def echoed_n(answer):
    """payload.echo.payload.n of the runtime's answer, or None."""
    for key in ("payload", "echo", "payload", "n"):
        answer = answer.get(key) if isinstance(answer, dict) else None
    return answer


def large_runtime_requests(n, size=400_000):
    """n runtime.request frames whose message carries a text of `size` characters
    (mostly ASCII, with non-ASCII and escaped characters), as an extension that hands a
    page's text to the runtime would send; the runtime stand-in echoes the message."""
    rng = random.Random(2)
    plain = [c for c in map(chr, range(0x20, 0x7F)) if c not in '"\\']
    rare = ["é", "€", "😀", "\n", "\t", '"', "\\", "/"]
    block = "".join(rng.choice(rare if k % 40 == 39 else plain) for k in range(10_000))
    text = (block * (size // len(block) + 1))[:size]
    bodies = [compact({"id": i, "method": "runtime.request",
                       "params": {"message": {"payload": {"n": i, "text": text},
                                              "type": "bench.large"}}})
              for i in range(1, n + 1)]
    return text, b"".join(frame(b) for b in bodies)


def w6_large_runtime(ctx, s):
    """Large runtime.request round trips: the message goes to the runtime stand-in and its
    answer, as large, comes back whole in the reply (W5's hook and runtime)."""
    n = ctx.n_large_runtime
    text, payload = ctx.cache("w6", lambda: large_runtime_requests(n))
    relay = s.role == "limit"
    seconds, bodies, _ = pipelined_run(ctx, s, "relay" if relay else "hello", ctx.runtime_home,
                                       b'{"id":0,"method":"runtime.request","params":{"message":'
                                       b'{"payload":{"n":0},"type":"bench.large"}}}', payload, n)
    for i, body in enumerate(bodies, 1):
        try:
            reply = json.loads(body)
            result = reply["result"]
            echoed = result["payload"]["echo"]
            if relay:  # limit_echo wraps the whole request it received
                echoed = echoed["request"]["params"]["message"]
            ok = (reply.get("id") == (1 if relay else i) and reply.get("type") == "response"
                  and echoed["payload"]["text"] == text and echoed["payload"]["n"] == i)
        except (ValueError, KeyError, TypeError):
            ok = False
        if not ok:
            raise Fail(f"reply {i} does not carry the runtime's echo of the message: {short(body)}")
    return {"w6_mbps": len(payload) / seconds / 1e6}


WORKLOADS = [("W1", w1_cold), ("W2", w2_hello), ("W3", w3_log), ("W4", w4_large),
             ("W5", w5_runtime), ("W6", w6_large_runtime)]


# ---- subjects, running, reporting ---------------------------------------------

def build_limit():
    """Compiles limit_echo into bench/build/ when missing or older than its source."""
    if not os.path.exists(LIMIT_EXE) or os.path.getmtime(LIMIT_EXE) < os.path.getmtime(LIMIT_SRC):
        os.makedirs(os.path.dirname(LIMIT_EXE), exist_ok=True)
        cc = shlex.split(os.environ.get("CC") or "cc")
        try:
            done = subprocess.run(cc + ["-O2", "-o", LIMIT_EXE, LIMIT_SRC],
                                  capture_output=True, text=True)
        except OSError as e:
            return None, f"limit baseline not built: {e}"
        if done.returncode != 0:
            return None, f"limit baseline not built: {short(done.stderr)}"
    return [Subject("limit", [LIMIT_EXE], "limit"),
            Subject("limit1", [LIMIT_EXE], "limit", ["each"])], None


def subjects_from_env(ctx, notes):
    python_peer = [sys.executable, PY_PEER]
    host = os.environ.get("HOST_BIN", "").strip()
    subjects = [Subject("HOST", shlex.split(host) if host else python_peer, "host")]
    peers = os.environ.get("PEERS")
    for part in ["python=" + shlex.join(python_peer)] if peers is None else peers.split(";"):
        label, sep, command = part.strip().partition("=")
        if not (sep and re.fullmatch(r"[A-Za-z][\w.-]*", label)):
            label, command = "", part.strip()
        if command:
            argv = shlex.split(command)
            subjects.append(Subject(label or os.path.splitext(os.path.basename(argv[-1]))[0],
                                    argv, "peer"))
    node = os.environ.get("NODE_PEER", "").strip()
    if node:
        candidate = Subject("node", shlex.split(node), "peer")
        try:
            w1_cold(ctx, candidate)
            subjects.append(candidate)
        except Fail as e:
            notes.append(f"NODE_PEER skipped: it did not answer a hello ({e}).")
    limits, problem = build_limit()
    if limits:
        subjects.extend(limits)
    else:
        notes.append(problem)
    seen = set()
    for s in subjects:  # unique labels
        while s.label in seen:
            s.label += "'"
        seen.add(s.label)
    return subjects


def run_all(ctx, subjects, with_runtime):
    runs = {m[0]: {s.label: [] for s in subjects} for m in METRICS}
    failed = {}  # (workload, label) -> reason
    for name, workload in WORKLOADS:
        if name in ("W5", "W6") and not with_runtime:
            continue
        rounds = ctx.cold_runs if name == "W1" else ctx.rounds
        started = time.monotonic()
        for r in range(rounds):  # rotate the order each round to cancel drift
            for s in subjects[r % len(subjects):] + subjects[:r % len(subjects)]:
                if (name, s.label) in failed or (name in ("W5", "W6") and s.label == "limit"):
                    continue
                try:
                    for metric, value in workload(ctx, s).items():
                        if value is not None:
                            runs[metric][s.label].append(value)
                except Fail as e:
                    failed[(name, s.label)] = str(e)
        print(f"{name}: {rounds} rounds in {time.monotonic() - started:.1f} s", file=sys.stderr)
    return runs, failed


def ratio(host, other, higher):
    """HOST's advantage (>1: HOST better): the median of the per-round ratios, since each
    round runs the subjects back to back; the ratio of the medians if rounds are missing."""
    if "median" not in host or "median" not in other:
        return None
    if len(host["runs"]) == len(other["runs"]):
        return statistics.median(h / o if higher else o / h
                                 for h, o in zip(host["runs"], other["runs"]))
    h, o = host["median"], other["median"]
    return h / o if higher else o / h


def fmt(x):
    if x >= 1000:
        return f"{x:,.0f}"
    return f"{x:.3g}" if x >= 0.01 else f"{x:.2g}"


def summarise(subjects, runs, failed, with_runtime):
    """Per metric: each subject's median, spread and runs (or why not), and HOST's ratios."""
    metrics = []
    for key, title, unit, higher in METRICS:
        workload = title.split()[0]
        if workload in ("W5", "W6") and not with_runtime:
            continue
        values = {}
        for s in subjects:
            data = runs[key][s.label]
            if (workload, s.label) in failed:
                values[s.label] = {"failed": failed[(workload, s.label)]}
            elif not data:
                values[s.label] = {"skipped": "not applicable"}
            else:
                median = statistics.median(data)
                q1, _, q3 = statistics.quantiles(data, n=4) if len(data) > 1 else data * 3
                values[s.label] = {"median": median, "runs": data,
                                   "spread_pct": 50 * (q3 - q1) / median}
        host = values[subjects[0].label]
        ratios = {}
        for s in subjects[1:]:
            ratios[f"HOST/{s.label}"] = ratio(host, values[s.label], higher)
        metrics.append({"id": key, "workload": workload, "title": title, "unit": unit,
                        "better": "higher" if higher else "lower",
                        "subjects": values, "ratios": ratios})
    return metrics


def markdown(subjects, metrics, notes, ctx):
    labels = [s.label for s in subjects]
    ratio_names = list(metrics[0]["ratios"])
    out = [f"Medians over {ctx.cold_runs} runs (W1) or {ctx.rounds} rounds (W2-W6); "
           "± is half the interquartile range, as a share of the median.",
           "**Ratio columns: >1 means HOST is better in every row** "
           "(rates: HOST ÷ other; time and memory: other ÷ HOST).", "",
           "| workload | unit | " + " | ".join(labels + ratio_names) + " |",
           "|---|---|" + "---:|" * (len(labels) + len(ratio_names))]
    for m in metrics:
        cells = []
        for label in labels:
            v = m["subjects"][label]
            cells.append("FAILED" if "failed" in v else "n/a" if "skipped" in v else
                         f"{fmt(v['median'])} ±{v['spread_pct']:.0f}%")
        cells += ["—" if r is None else f"{r:.2f}" if r >= 0.1 else f"{r:.2g}"
                  for r in m["ratios"].values()]
        arrow = "↑" if m["better"] == "higher" else "↓"
        out.append(f"| {m['title']} | {m['unit']} {arrow} | " + " | ".join(cells) + " |")
    out.append("")
    for m in metrics:
        for label, v in m["subjects"].items():
            line = f"- {m['workload']} {label} FAILED: {v.get('failed')}"
            if "failed" in v and line not in out:
                out.append(line)
    out += [f"- {s.label}: `{show(s.argv)}`" for s in subjects] + [f"- {n}" for n in notes]
    return "\n".join(out)


def show(argv):
    """A command line without this machine's absolute paths."""
    root = os.path.dirname(HERE)

    def one(arg):
        if arg == sys.executable:
            return "python3"
        if os.path.isabs(arg):
            rel = os.path.relpath(arg, root)
            return os.path.basename(arg) if rel.startswith("..") else rel
        return arg
    return shlex.join(one(a) for a in argv)


def machine():
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next((l.split(":", 1)[1].strip() for l in f if l.startswith("model name")), "")
    except OSError:
        cpu = platform.processor()
    return {"cpu": cpu, "cpus": os.cpu_count(), "system": platform.platform(),
            "python": platform.python_version(), "loadavg_at_start": os.getloadavg()}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--json", help="also write the figures to this file")
    parser.add_argument("--rounds", type=int, default=9, help="rounds of W2-W6 (default 9)")
    parser.add_argument("--cold-runs", type=int, default=40, help="runs of W1 (default 40)")
    parser.add_argument("--timeout", type=float, default=120, help="seconds per process")
    parser.add_argument("--quick", action="store_true",
                        help="smoke test: a tenth of the requests (use small --rounds too)")
    args = parser.parse_args()
    ctx = Context(args)
    notes, runtime = [], None
    info = machine()
    try:
        subjects = subjects_from_env(ctx, notes)
        runtime_cmd = os.environ.get("RUNTIME_CMD", "").strip()
        if runtime_cmd:
            runtime, problem = start_runtime(ctx, runtime_cmd)
            if problem:
                notes.append(f"W5 skipped: {problem}.")
        else:
            notes.append("W5 skipped: RUNTIME_CMD is not set.")
        runs, failed = run_all(ctx, subjects, runtime is not None)
    finally:
        if runtime:
            stop_runtime(runtime)
        shutil.rmtree(ctx.tmp, ignore_errors=True)
    metrics = summarise(subjects, runs, failed, runtime is not None)
    print(markdown(subjects, metrics, notes, ctx))
    if args.json:
        info["loadavg_at_end"] = os.getloadavg()
        report = {"settings": {"rounds": ctx.rounds, "cold_runs": ctx.cold_runs,
                               "requests": {"W2": ctx.n_hello, "W3": ctx.n_log,
                                            "W4": ctx.n_large, "W5": ctx.n_runtime,
                                            "W6": ctx.n_large_runtime}},
                  "machine": info,
                  "subjects": [{"label": s.label, "role": s.role, "command": show(s.argv)}
                               for s in subjects],
                  "ratio_rule": ">1 means HOST is better (rates: HOST/other; "
                                "time and memory: other/HOST)",
                  "metrics": metrics, "notes": notes}
        with open(args.json, "w") as f:
            json.dump(report, f, indent=2, ensure_ascii=False)
            f.write("\n")


if __name__ == "__main__":
    main()
