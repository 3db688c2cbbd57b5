#!/usr/bin/env node
// The Node peer of the host benchmark: what a typical user would write
// instead of the C++ host, on Node's standard library and the `ws` module
// (Debian's node-ws). Where the benchmark touches it, it gives the host's
// answers byte for byte: frames of a 4-byte length and at most 1 MiB, one
// reply flushed per request, the start and stop lines on stderr, the
// unsupported-method reply and its log line, "host.log", the product home,
// the status replies without a runtime, and "runtime.request" over a new
// WebSocket connection per request.
'use strict';
const fs = require('fs');
const path = require('path');

let WebSocket;
try {
  WebSocket = require('ws');
} catch {
  WebSocket = require('/usr/share/nodejs/ws');  // Debian's node-ws, outside Node's own search path
}

const MAX_BODY = 1048576;
const STARTED = 'Orvix Chrome native host started.';
const STOPPED = 'Orvix Chrome native host stopped.';
const EXITED = 'Orvix Chrome native host exited with error: ';
const NO_RUNTIME = {code: 'runtime_connect_failed', message: 'The Node peer has no runtime connection.'};

function say(line) {
  try {
    fs.writeSync(2, line + '\n');
  } catch {}
}

// ---- compact JSON with members in ascending order ----------------------
function canonical(value) {
  if (Array.isArray(value)) return value.map(canonical);
  if (value !== null && typeof value === 'object') {
    const sorted = {};
    for (const key of Object.keys(value).sort()) sorted[key] = canonical(value[key]);
    return sorted;
  }
  return value;
}

// ---- product home, descriptor and log ------------------------------------
function productHome(allowProfile) {
  const env = process.env;
  if (env.ORVIX_HOME !== undefined) return env.ORVIX_HOME;
  if (env.HOME !== undefined) return path.join(env.HOME, '.orvix');
  if (allowProfile && env.USERPROFILE !== undefined) return path.join(env.USERPROFILE, '.orvix');
  return null;
}

function writeHostLog(method, detail) {
  const home = productHome(false);
  if (home === null) return;
  const file = path.join(home, 'logs', 'chrome-native-host.log');
  try {
    fs.mkdirSync(path.dirname(file), {recursive: true});
    fs.appendFileSync(file, `${Date.now()} method=${method} detail=${detail}\n`);
  } catch {}
}

function hostError(code, message) {
  return {code, message};
}

// {path, error, descriptor}
function loadDescriptor() {
  const home = productHome(true);
  if (home === null) return {path: null, error: hostError('orvix_home_unresolved', 'ORVIX_HOME could not be resolved.')};
  const file = path.join(home, 'data', 'runtime', 'chrome', 'connection.json');
  let text;
  try {
    text = fs.readFileSync(file, 'utf8');
  } catch {
    return {path: file, error: hostError('runtime_descriptor_missing', 'Runtime connection descriptor was not found.')};
  }
  try {
    return {path: file, error: null, descriptor: JSON.parse(text)};
  } catch (e) {
    return {path: file, error: hostError('runtime_descriptor_invalid', String(e.message))};
  }
}

// ---- the runtime exchange: one new connection per request ----------------
function exchange(url, message, requestId) {
  return new Promise((resolve) => {
    let done = false;
    const finish = (outcome) => {
      if (done) return;
      done = true;
      clearTimeout(timer);
      socket.terminate();
      resolve(outcome);
    };
    const socket = new WebSocket(url, {handshakeTimeout: 1500, perMessageDeflate: false});
    const timer = setTimeout(() => finish({error: hostError('runtime_timeout', 'The runtime did not answer in time.')}), 20000);
    socket.on('open', () => socket.send(JSON.stringify(message)));
    socket.on('message', (data, isBinary) => {
      if (isBinary) return;
      let answer;
      try {
        answer = JSON.parse(data.toString('utf8'));
      } catch {
        return;
      }
      if (answer !== null && typeof answer === 'object' && !Array.isArray(answer) && answer.requestId === requestId) {
        finish({answer});
      }
    });
    socket.on('error', (e) => finish({error: hostError('runtime_connect_failed', String(e.message))}));
    socket.on('close', () => finish({error: hostError('runtime_connect_failed', 'The runtime closed the connection.')}));
  });
}

// ---- dispatch ----------------------------------------------------------------
const response = (id, method, result) => ({id, method, result, type: 'response'});
const errorReply = (id, method, error) => ({error, id, method, type: 'error'});
const isObject = (v) => v !== null && typeof v === 'object' && !Array.isArray(v);

function handleStatus(id, method) {
  const result = {nativeHost: 'connected', nativeHostVersion: '0.1.0', protocolVersion: 1};
  const {path: file, error} = loadDescriptor();
  if (file !== null) result.descriptorPath = file;
  result.runtime = error === null ? 'unreachable' : 'not_running';
  result.error = error || NO_RUNTIME;
  return response(id, method, result);
}

function handleHostLog(id, method, request) {
  const event = isObject(request.params) ? request.params.event : undefined;
  writeHostLog('host.log', typeof event === 'string' ? event : 'unknown');
  return response(id, method, {ok: true});
}

async function handleRuntimeRequest(id, method, request) {
  const message = isObject(request.params) ? request.params.message : undefined;
  const kind = isObject(message) && typeof message.type === 'string' ? message.type : 'unknown';
  if (kind !== 'browser.native.poll') writeHostLog('runtime.request', kind);
  const {error, descriptor} = loadDescriptor();
  if (error !== null) return errorReply(id, method, error);
  if (!isObject(message)) return errorReply(id, method, hostError('request_invalid', 'The message is not an object.'));
  if (message.requestId === undefined) message.requestId = `native-host-${process.pid}-${Date.now()}`;
  const outcome = await exchange(descriptor.wsUrl, message, message.requestId);
  return outcome.error ? errorReply(id, method, outcome.error) : response(id, method, outcome.answer);
}

async function dispatch(request) {
  if (!isObject(request)) request = {};
  const id = request.id === undefined ? null : request.id;
  let method = typeof request.method === 'string' ? request.method : typeof request.type === 'string' ? request.type : '';
  if (method === 'hello' || method === 'host.hello' || method === 'host.status') return handleStatus(id, method);
  if (method === 'host.log') return handleHostLog(id, method, request);
  if (method === 'runtime.request') return handleRuntimeRequest(id, method, request);
  writeHostLog(method, 'unsupported_method');
  return errorReply(id, method, hostError('unsupported_method', 'Native host method is not supported: ' + method));
}

// ---- the main loop: frames in, one reply each, in order -------------------------
function fail(reason) {
  say(EXITED + reason);
  process.exit(0);
}

function writeReply(reply) {
  const body = Buffer.from(JSON.stringify(canonical(reply)), 'utf8');
  if (body.length > MAX_BODY) fail('Native response exceeds the maximum supported size.');
  const header = Buffer.alloc(4);
  header.writeUInt32LE(body.length, 0);
  fs.writeSync(1, Buffer.concat([header, body]));
}

async function main() {
  say(STARTED);
  let pending = Buffer.alloc(0);
  let ended = false;
  let wake = null;
  process.stdin.on('data', (chunk) => {
    pending = pending.length === 0 ? chunk : Buffer.concat([pending, chunk]);
    if (wake) wake();
  });
  process.stdin.on('end', () => {
    ended = true;
    if (wake) wake();
  });
  const more = () => new Promise((resolve) => (wake = resolve));
  for (;;) {
    while (pending.length < 4 && !ended) await more();
    if (pending.length < 4) break;
    const length = pending.readUInt32LE(0);
    if (length > MAX_BODY) fail('Native message exceeds the maximum supported size.');
    while (pending.length < 4 + length && !ended) await more();
    if (pending.length < 4 + length) fail('failed to fill whole buffer');
    const body = pending.subarray(4, 4 + length);
    pending = pending.subarray(4 + length);
    let request;
    try {
      request = JSON.parse(new TextDecoder('utf-8', {fatal: true}).decode(body));
    } catch (e) {
      fail('Native message is not valid JSON: ' + e.message);
    }
    writeReply(await dispatch(request));
  }
  say(STOPPED);
  process.exit(0);
}

main();
