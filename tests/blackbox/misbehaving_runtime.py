"""A stand-in runtime for black-box tests, built on a WebSocket library other
than the host's, that answers (or fails to answer) in one chosen way.

Usage: /usr/bin/python3 misbehaving_runtime.py MODE [--host ADDRESS] [--log PATH]

It listens on ADDRESS (default 127.0.0.1) at an ephemeral port, prints that
port as the first line of stdout, and serves every connection the same way
until it is terminated. With --log, every message it receives is appended to
PATH as one JSON line: {"target": ..., "headers": [[name, value], ...],
"message": <the text received>}.

It never pings on its own (the library's keep-alive pings are off): a ping is
data to the host, and would restart the host's limit on a silent read.

Modes:
  match              answers each request with its requestId, echoing it
  skip-then-match    an object with another requestId, a binary message,
                     then the answer
  non-json           the text "ok", then the answer (which must go unread)
  close-before-answer  reads the request, then closes the WebSocket
  silent             completes the handshake, reads the request, never answers
  pings-then-silent  reads the request, pings every PING_INTERVAL seconds for
                     PING_COUNT pings, then never answers; the log gets
                     {"pings": N, "pongs": M} once the pings end
  trickle            reads the request, then sends its answer one byte a
                     second (a text frame of about 100 bytes)
  no-handshake       accepts TCP and never answers the HTTP upgrade
  status-version     answers as runtime.status with payload.build.version
  status-no-version  answers as runtime.status without a payload
  status-empty-version  answers as runtime.status with an empty build version
  status-wrong-type  answers with a type other than runtime.status
"""

import argparse
import asyncio
import json
import sys

import websockets

MODES = (
    "match",
    "skip-then-match",
    "non-json",
    "close-before-answer",
    "silent",
    "pings-then-silent",
    "trickle",
    "no-handshake",
    "status-version",
    "status-no-version",
    "status-empty-version",
    "status-wrong-type",
)

STATUS_VERSION = "9.8.7-test"

# Together longer than the host's 20-second limit on one read.
PING_INTERVAL = 2
PING_COUNT = 15
PONG_WAIT = 10


def answer_for(mode, request_id, request):
    """The object a mode sends as the answer to `request`."""
    if mode == "status-version":
        return {"requestId": request_id, "type": "runtime.status",
                "payload": {"build": {"version": STATUS_VERSION}}}
    if mode == "status-no-version":
        return {"requestId": request_id, "type": "runtime.status"}
    if mode == "status-empty-version":
        return {"requestId": request_id, "type": "runtime.status",
                "payload": {"build": {"version": ""}}}
    if mode == "status-wrong-type":
        return {"requestId": request_id, "type": "runtime.elsewhere",
                "payload": {"build": {"version": STATUS_VERSION}}}
    return {"requestId": request_id, "type": "runtime.response", "payload": {"echo": request}}


def request_id_of(text):
    try:
        request = json.loads(text)
    except ValueError:
        return None, None
    if isinstance(request, dict) and isinstance(request.get("requestId"), str):
        return request["requestId"], request
    return None, None


def record(log_path, websocket, message):
    if log_path is None:
        return
    entry = {
        "target": websocket.path,
        "headers": [[name, value] for name, value in websocket.request_headers.raw_items()],
        "message": message if isinstance(message, str) else message.decode("latin-1"),
    }
    with open(log_path, "a", encoding="utf-8") as log:
        log.write(json.dumps(entry) + "\n")


async def ping_for_a_while(log_path, websocket):
    pongs = 0
    for _ in range(PING_COUNT):
        pong = await websocket.ping()
        try:
            await asyncio.wait_for(pong, PONG_WAIT)
            pongs += 1
        except asyncio.TimeoutError:
            pass
        await asyncio.sleep(PING_INTERVAL)
    if log_path is not None:
        with open(log_path, "a", encoding="utf-8") as log:
            log.write(json.dumps({"pings": PING_COUNT, "pongs": pongs}) + "\n")


async def trickle(websocket, text):
    """Writes `text` as one unmasked text frame, a byte a second, straight to
    the connection: every single read of the host gets data, the answer never
    ends in time."""
    payload = text.encode("utf-8")
    assert len(payload) < 126
    for byte in bytes([0x81, len(payload)]) + payload:
        if websocket.transport.is_closing():
            return
        websocket.transport.write(bytes([byte]))
        await asyncio.sleep(1)


async def serve_websocket(mode, log_path, websocket):
    try:
        async for message in websocket:
            record(log_path, websocket, message)
            request_id, request = request_id_of(message) if isinstance(message, str) else (None, None)
            if request_id is None:
                continue
            if mode == "silent":
                continue
            if mode == "pings-then-silent":
                await ping_for_a_while(log_path, websocket)
                continue
            if mode == "trickle":
                await trickle(websocket, json.dumps({"requestId": request_id, "pad": "x" * 60}))
                continue
            if mode == "close-before-answer":
                await websocket.close()
                return
            answer = json.dumps(answer_for(mode, request_id, request))
            if mode == "skip-then-match":
                await websocket.send(json.dumps({"requestId": "not-" + request_id, "type": "runtime.other"}))
                await websocket.send(answer.encode("utf-8"))
            elif mode == "non-json":
                await websocket.send("ok")
            await websocket.send(answer)
    except websockets.ConnectionClosed:
        # The host drops the connection right after its answer, without a
        # Close frame; that is its normal way of ending.
        pass


async def hold_without_handshake(reader, writer):
    # Reads whatever arrives and never writes, until the client gives up.
    try:
        while await reader.read(4096):
            pass
    finally:
        writer.close()


async def main():
    parser = argparse.ArgumentParser(description="A misbehaving runtime for black-box tests.")
    parser.add_argument("mode", choices=MODES)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--log", default=None)
    options = parser.parse_args()

    if options.mode == "no-handshake":
        server = await asyncio.start_server(hold_without_handshake, options.host, 0)
    else:
        server = await websockets.serve(
            lambda websocket: serve_websocket(options.mode, options.log, websocket),
            options.host, 0, max_size=64 * 1024 * 1024, compression=None, ping_interval=None)

    port = server.sockets[0].getsockname()[1]
    print(port, flush=True)
    await asyncio.Future()  # until terminated


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
