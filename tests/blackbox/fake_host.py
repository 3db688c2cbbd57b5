"""A stand-in native-messaging host that misbehaves on demand.

Usage: fake_host.py BEHAVIOUR. It reads request frames from stdin and, per
behaviour, answers them or writes a damaged frame, so a client's handling of
a faulty host can be checked against a real process and real pipes.
"""
import os
import struct
import sys

stdin = sys.stdin.buffer
stdout = sys.stdout.buffer


def read_request():
    prefix = stdin.read(4)
    if len(prefix) < 4:
        return None
    return stdin.read(struct.unpack("<I", prefix)[0])


def write(data):
    stdout.write(data)
    stdout.flush()


def frame(body):
    return struct.pack("<I", len(body)) + body


def echo_all():
    while (request := read_request()) is not None:
        write(frame(request))


def main(behaviour):
    sys.stderr.write("fake host: " + behaviour + "\n")
    sys.stderr.flush()
    if behaviour == "echo":
        echo_all()
    elif behaviour == "echo-then-exit-5":
        echo_all()
        sys.exit(5)
    elif behaviour == "short-length":
        read_request()
        write(b"\x10\x00")
    elif behaviour == "short-body":
        read_request()
        write(struct.pack("<I", 10) + b"abc")
    elif behaviour == "oversized":
        read_request()
        write(struct.pack("<I", 1024 * 1024 + 1))
        # Keeps writing until the reader goes away; it must not wait for this.
        try:
            while True:
                write(b"x" * 65536)
        except BrokenPipeError:
            os._exit(0)
    elif behaviour == "largest-allowed":
        read_request()
        write(frame(b'"' + b"y" * (1024 * 1024 - 2) + b'"'))
        echo_all()
    elif behaviour == "silent":
        read_request()
    elif behaviour == "extra-after-last":
        echo_all()
        write(frame(b'{"unasked":true}'))
    elif behaviour == "killed":
        read_request()
        os.kill(os.getpid(), 9)
    else:
        sys.exit("fake host: unknown behaviour " + behaviour)


if __name__ == "__main__":
    main(sys.argv[1])
