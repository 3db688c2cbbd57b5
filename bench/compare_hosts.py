#!/usr/bin/env python3
"""Runs two host binaries over the same request streams and compares what they
give back: stdout, stderr, exit status and the host log (timestamps masked,
each run's temporary home replaced by <HOME>). A speed change must leave all
of it byte-identical.

    python3 bench/compare_hosts.py OLD_HOST NEW_HOST

The streams are the benchmark's (hello, host.log, 1 MB frames) and mutated
ones: envelope variants, bad JSON, cut and oversized frames, bad
descriptors, an unreachable runtime, no home at all. Prints one line per
difference and exits 1 when there is any."""
import json
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from run import large_requests  # noqa: E402  (the benchmark's own 1 MB frames)


def frame(body):
    return struct.pack("<I", len(body)) + body


def frames(*bodies):
    return b"".join(frame(b.encode() if isinstance(b, str) else b) for b in bodies)


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def descriptor(url="ws://127.0.0.1:%d/" % closed_port(), protocol=1):
    return json.dumps({"protocolVersion": protocol, "wsUrl": url, "pid": 42,
                       "runtimeVersion": "9.9.9", "updatedAt": 1700000000000})


ENVELOPES = [
    '{"id":1,"method":"hello"}', '{"method":"host.hello","id":"a\\u00e9\\n\\/"}',
    '{"id":{"b":1,"a":[1,2.5,-0,1e3,true,null]},"method":"host.status"}', '{"type":"hello","id":-7}',
    '{"id":null,"method":"hello","type":"x"}', '{"method":"hello"}', '{"id":1,"method":5,"type":"hello"}',
    '{"id":18446744073709551615,"method":"hello"}', '{"id":1.5e300,"method":"hello"}', '[1,2]', '"hello"',
    '{"id":1,"method":"hello","id":2}', ' {"id" : 3 , "method" : "hello" } ',
    '{"id":4,"method":"host.log","params":{"event":"ev\\u0001 \\"x\\" \xc3\xa9"}}',
    '{"id":5,"method":"host.log","params":{"event":7}}', '{"id":6,"method":"host.log"}',
    '{"id":7,"method":"host.log","params":[1]}', '{"id":8,"method":"nope","params":{"a":1}}',
    '{"id":9,"method":"n\\u00f6pe\\t"}', '{"id":10,"method":"runtime.request","params":{"message":'
    '{"type":"browser.native.complete","payload":{"ok":true}}}}',
    '{"id":11,"method":"runtime.request","params":{"message":{"type":"browser.native.poll"}}}',
    '{"id":12,"method":"runtime.request"}',
]
BAD_JSON = ['{"id":1,', '{"id":1}x', '', '{"a":"\xff"}', '{"a":"\\ud800"}', '[' * 200, '{"a":01}', 'nul',
            '{"a":"\x01"}', '{"a":1e999}']


# Pieces that make a string scanner stop, and faults that make it refuse.
SPECIALS = ["\\n", "\\\"", "\\\\", "\\u00e9", "\\ud83d\\ude00", "\\/", "\u00e9", "\u20ac", "\U0001f600",
            "\u007f", "\\u001f", "\\u001F", "\\u000a", "\\b"]
FAULTS = [b"\xff", b"\xc3", b"\xe2\x82", b"\xed\xa0\x80", b"\xc0\xaf", b"\\ud800", b"\\udc00x",
          b"\\ud83d\\u0041", b"\\u12g4", b"\\x", b"\x01", b"\x1f"]


def large_id_frames(size, pieces, at):
    """Frames whose id is a string of about `size` bytes of ASCII with each
    piece placed at each offset in `at` (before the string's end)."""
    bodies = []
    for piece in pieces:
        raw = piece if isinstance(piece, bytes) else piece.encode()
        for offset in at:
            text = b"a" * offset + raw + b"b" * max(0, size - offset - len(raw))
            bodies.append(b'{"method":"big","id":"' + text + b'"}')
    return frames(*bodies)


def large_cases():
    # Offsets around the 8, 16 and 8,192-byte boundaries that the reads and scans use.
    near = sorted({o + d for o in (0, 8, 16, 4096, 8192 - 21, 65536) for d in (-9, -1, 0, 1, 7, 15)} - {-9, -1})
    yield "large ids: pieces at scan and buffer boundaries", {}, large_id_frames(70000, SPECIALS, near), True
    for i, fault in enumerate(FAULTS):  # the host stops at the first fault: one stream each
        for offset in (0, 7, 8191, 299990):
            yield f"large id with fault {i} at {offset}", {}, large_id_frames(300000, [fault], [offset]), True
    deep = lambda n: '{"id":' + "[" * n + '"' + "\\n" * 40000 + '"' + "]" * n + ',"method":"m"}'
    yield "deep large ids", {}, frames(deep(126), deep(127), deep(128), '{"id":1,"method":"hello"}'), True
    dup = '{"id":"' + "x\\t" * 100000 + '","method":"m","id":"' + "\u00e9" * 1000 + '"}'
    yield "duplicate large ids", {}, frames(dup, dup.replace('"method":"m"', '"method":"hello"')), True
    # Escapes before a fault: the fault must be named in the text as it came.
    escaped = b'{"method":"m","id":"' + b"\\n\\u00e9\\ud83d\\ude00" * 8000
    for i, fault in enumerate(FAULTS):
        yield f"large escaped id, then fault {i}", {}, frames(escaped + fault + b'"}', escaped + b'"}'), True
    names = '{"i\\u0064":"' + "\\\"q" * 40000 + '","\\u006dethod":"m\\t","\\u0069d":"\\/' + "z" * 40000 + '"}'
    yield "large frames with escaped and repeated names", {}, frames(names, names.replace("m\\t", "hello")), True
    # Long ids echoed as their text stands, or escaped again where the reply's head outgrows the request's.
    long_id = "v\\u001fw\\\"" * 30000
    for method in ["m", "m" * 5000, "\\u006d" * 3000, "k\\t" * 20000]:
        yield f"long ids, method of {len(method)} bytes", {}, frames(
            '{"id":"%s","method":"%s"}' % (long_id, method), '{"method":"%s","id":["%s",["%s"],{"b":"%s","a":"%s"}]}'
            % (method, long_id, long_id[:300], long_id[:90000], long_id), '{"id":"%s","method":"%s","x":"%s"}'
            % (long_id[:256], method, long_id)), True
    many = '{"id":[' + ",".join('"%s\\n"' % ("y" * (i % 40)) for i in range(20000)) + '],"method":"m"}'
    yield "many short escaped strings", {}, frames(many), True


def cases():
    yield from large_cases()
    ok_desc = {"data/runtime/chrome/connection.json": descriptor()}
    yield "envelopes, no descriptor", {}, frames(*ENVELOPES), True
    yield "envelopes, unreachable runtime", ok_desc, frames(*ENVELOPES), True
    for i, bad in enumerate(BAD_JSON):
        yield f"bad json {i}", {}, frames('{"id":0,"method":"hello"}', bad, '{"id":2,"method":"hello"}'), True
    yield "cut length", {}, frames('{"id":1,"method":"hello"}') + b"\x05\x00", True
    yield "cut body", {}, frames('{"id":1,"method":"hello"}') + b"\x09\x00\x00\x00[1,", True
    yield "oversized length", {}, struct.pack("<I", 1048577) + b"{}", True
    yield "largest frame", {}, frame(b'"' + b"x" * (1048576 - 2) + b'"'), True
    yield "reply too large", {}, frame(b'{"id":"' + b"\\n" * 500000 + b'","method":"m"}'), True
    _, _, _, big = large_requests(3)
    yield "1 MB frames", {}, big, True
    yield "hello x2000", {}, frames(*('{"id":%d,"method":"hello"}' % i for i in range(2000))), True
    yield "host.log x2000", {}, frames(*('{"id":%d,"method":"host.log","params":{"event":"e"}}' % i
                                         for i in range(2000))), True
    hello = frames('{"id":1,"method":"hello"}', '{"id":2,"method":"runtime.request","params":{}}')
    for name, files in [("invalid descriptor", {"data/runtime/chrome/connection.json": "{"}),
                        ("protocol 2", {"data/runtime/chrome/connection.json": descriptor(protocol=2)}),
                        ("bad url", {"data/runtime/chrome/connection.json": descriptor(url="http://x")}),
                        ("not utf-8", {"data/runtime/chrome/connection.json": b"\xff"}),
                        ("directory", {"data/runtime/chrome/connection.json/x": ""}),
                        ("file on the way", {"data/runtime": "x"}),
                        ("empty descriptor", {"data/runtime/chrome/connection.json": ""}),
                        ("log is a directory", {"logs/chrome-native-host.log/x": ""}),
                        ("log cut line", {"logs/chrome-native-host.log": "123 cut"})]:
        yield name, files, hello + frames('{"id":3,"method":"host.log"}'), True
    yield "no home at all", {}, hello + frames('{"id":3,"method":"host.log"}'), False


def run(binary, files, stream, with_home):
    root = tempfile.mkdtemp()
    home = os.path.join(root, "home")
    os.makedirs(home)
    for rel, content in files.items():
        path = os.path.join(home, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content.encode() if isinstance(content, str) else content)
    env = {"PATH": "/usr/bin:/bin"}
    if with_home:
        env["ORVIX_HOME"] = home
    try:
        done = subprocess.run([binary], input=stream, capture_output=True, env=env, cwd=root, timeout=60)
        log_path = os.path.join(home, "logs", "chrome-native-host.log")
        log = open(log_path, "rb").read() if os.path.isfile(log_path) else None
    finally:
        shutil.rmtree(root)

    def mask(data):
        return None if data is None else data.replace(home.encode(), b"<HOME>")
    log = None if log is None else re.sub(rb"(?m)^\d+ method=", b"<T> method=", mask(log))
    return {"stdout": mask(done.stdout), "stderr": mask(done.stderr), "status": done.returncode, "log": log}


def main():
    old, new = (os.path.abspath(arg) for arg in sys.argv[1:3])
    differences = 0
    count = 0
    for name, files, stream, with_home in cases():
        count += 1
        a, b = run(old, files, stream, with_home), run(new, files, stream, with_home)
        for part in a:
            if a[part] != b[part]:
                differences += 1
                show = (lambda v: v if not isinstance(v, bytes) or len(v) < 300 else v[:300] + b"...")
                print(f"DIFF {name}: {part}\n  old: {show(a[part])!r}\n  new: {show(b[part])!r}")
    print(f"{count} streams, {differences} differences")
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
