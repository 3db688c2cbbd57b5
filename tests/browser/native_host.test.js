// The native host started by a real headless browser for the test extension:
// one-shot requests through sendNativeMessage, a long-lived connectNative
// port, and forwarding to the sample runtime. The host command comes from
// ORVIX_HOST_CMD (default: the host in ORVIX_BUILD_DIR or ../../build).
'use strict';

const assert = require('node:assert/strict');
const { after, before, describe, test } = require('node:test');

const { BrowserSession, SampleRuntime, checkPrerequisites, poll } = require('./session');

// Fails the whole file at once, with what to install, rather than one
// cancelled test after another.
checkPrerequisites();

const OPEN_MS = 60000;
const TEST_MS = 30000;

const HOST_STARTED = 'Orvix Chrome native host started.';
const HOST_STOPPED = 'Orvix Chrome native host stopped.';

function assertHostStatus(reply, id, method, runtime) {
  assert.equal(reply.type, 'response', JSON.stringify(reply));
  assert.equal(reply.id, id);
  assert.equal(reply.method, method);
  assert.equal(reply.result.nativeHost, 'connected');
  assert.equal(reply.result.nativeHostVersion, '0.1.0');
  assert.equal(reply.result.protocolVersion, 1);
  assert.equal(reply.result.runtime, runtime, JSON.stringify(reply.result));
}

describe('native host started by a real browser', () => {
  let session;

  before(async () => {
    session = new BrowserSession();
    await session.open();
  }, { timeout: OPEN_MS });

  after(async () => {
    if (session) await session.close();
  });

  describe('without a runtime', () => {
    test('hello reports the runtime not running', { timeout: TEST_MS }, async () => {
      assertHostStatus(await session.send({ id: 1, method: 'hello' }), 1, 'hello', 'not_running');
    });

    test('host.log answers ok and appends the event to the host log', { timeout: TEST_MS }, async () => {
      const reply = await session.send({ id: 2, method: 'host.log', params: { event: 'browser-e2e-event' } });
      assert.deepEqual(reply, { id: 2, method: 'host.log', result: { ok: true }, type: 'response' });
      const line = /^\d+ method=host\.log detail=browser-e2e-event$/m;
      const found = await poll(5000, () => line.test(session.hostLog()));
      assert.ok(found, `no host.log line in ${session.logPath()}:\n${session.hostLog()}`);
    });

    test('an unsupported method gets the error reply', { timeout: TEST_MS }, async () => {
      assert.deepEqual(await session.send({ id: 3, method: 'no.such.method' }), {
        error: { code: 'unsupported_method', message: 'Native host method is not supported: no.such.method' },
        id: 3,
        method: 'no.such.method',
        type: 'error',
      });
    });
  });

  describe('with the sample runtime running', () => {
    let runtime;

    before(async () => {
      runtime = new SampleRuntime(session.home, '--version', '9.8.7-browser');
      await runtime.ready();
    }, { timeout: TEST_MS });

    after(async () => {
      if (runtime) await runtime.stop();
    }, { timeout: TEST_MS });

    test('hello reports the runtime connected', { timeout: TEST_MS }, async () => {
      const reply = await session.send({ id: 4, method: 'hello' });
      assertHostStatus(reply, 4, 'hello', 'connected');
      assert.equal(reply.result.runtimeVersion, '9.8.7-browser');
      assert.equal(reply.result.runtimePid, runtime.process.pid);
    });

    test('runtime.request comes back with the runtime\'s answer', { timeout: TEST_MS }, async () => {
      const message = { type: 'browser.native.poll', requestId: 'e2e-1', payload: { n: 1, text: 'héllo' } };
      const reply = await session.send({ id: 5, method: 'runtime.request', params: { message } });
      assert.deepEqual(reply, {
        id: 5,
        method: 'runtime.request',
        result: { payload: { echo: message }, requestId: 'e2e-1', type: 'browser.native.poll.result' },
        type: 'response',
      });
    });

    test('one connectNative port carries three requests, answered in order', { timeout: TEST_MS }, async () => {
      const message = { type: 'browser.native.poll', requestId: 'e2e-port' };
      const replies = await session.exchange([
        { id: 11, method: 'hello' },
        { id: 12, method: 'runtime.request', params: { message } },
        { id: 13, method: 'host.log', params: { event: 'browser-e2e-port' } },
      ]);
      assert.deepEqual(replies.map((reply) => reply.id), [11, 12, 13], JSON.stringify(replies));
      assertHostStatus(replies[0], 11, 'hello', 'connected');
      assert.deepEqual(replies[1].result, { payload: { echo: message }, requestId: 'e2e-port',
                                            type: 'browser.native.poll.result' });
      assert.deepEqual(replies[2].result, { ok: true });
    });
  });

  // Each host sees its input closed by the browser when the request or the
  // port is done, and must say so and end; anything else on its stderr (a
  // channel failure, a sanitizer report) fails here.
  test('every host the browser started ended cleanly', { timeout: TEST_MS }, async () => {
    const lines = () => session.hostStderr().split('\n').filter((line) => line !== '');
    const count = (text) => lines().filter((line) => line === text).length;
    const runs = session.hostRuns;
    await poll(10000, () => count(HOST_STARTED) === runs && count(HOST_STOPPED) === runs);
    assert.equal(count(HOST_STARTED), runs, session.diagnostics());
    assert.equal(count(HOST_STOPPED), runs, session.diagnostics());
    assert.deepEqual(lines().filter((line) => line !== HOST_STARTED && line !== HOST_STOPPED), [],
                     session.diagnostics());
  });
});
