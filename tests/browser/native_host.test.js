// The native host started by a real headless browser for the test extension,
// registered into the test profile by orvix-native-host-register: one-shot
// requests through sendNativeMessage, long-lived connectNative ports,
// forwarding to the sample runtime, replies at the 1 MiB frame limit, the
// host's end when the extension lets go of its port, doctor's view of the
// registration, and what the browser and doctor each say when the manifest
// admits another extension or a policy blocks the host. The host command
// comes from ORVIX_HOST_CMD (default: the host in ORVIX_BUILD_DIR or
// ../../build).
'use strict';

const assert = require('node:assert/strict');
const { after, before, describe, test } = require('node:test');

const fs = require('node:fs');
const path = require('node:path');

const { BrowserSession, SampleRuntime, checkPrerequisites, isRunning, poll } = require('./session');

// Fails the whole file at once, with what to install, rather than one
// cancelled test after another.
checkPrerequisites();

// The browser reads managed policies from this folder only: it is fixed when
// the browser is built, and no switch or environment variable moves it. So
// the policy case writes a real file there (which needs root; elsewhere the
// case is skipped), named after this process, and removes it however the run
// ends: in the case itself, in an `after` hook, on exit and on a terminating
// signal. A run killed outright leaves its file, which would block the host
// for every browser on the machine, so each run first removes files of that
// prefix. (Two runs at once on one machine would disturb each other anyway.)
const POLICY_FOLDER = '/etc/chromium/policies/managed';
const POLICY_PREFIX = 'orvix-test-';
const POLICY_FILE = path.join(POLICY_FOLDER, `${POLICY_PREFIX}${process.pid}.json`);
const POLICY_SKIP = policyFolderUnwritable();
let policyFolderMade = null; // the first folder that writePolicy() created

function policyFolderUnwritable() {
  let folder = POLICY_FOLDER;
  while (!fs.existsSync(folder)) folder = path.dirname(folder);
  try {
    fs.accessSync(folder, fs.constants.W_OK);
    return false;
  } catch {
    return `${POLICY_FOLDER} cannot be written here (it needs root), and the browser reads no other policy folder`;
  }
}

function removeLeftoverPolicies() {
  if (POLICY_SKIP || !fs.existsSync(POLICY_FOLDER)) return;
  for (const name of fs.readdirSync(POLICY_FOLDER)) {
    if (name.startsWith(POLICY_PREFIX) && name.endsWith('.json')) fs.rmSync(path.join(POLICY_FOLDER, name));
  }
}

function leaveOnSignal(signal) {
  removePolicy();
  process.kill(process.pid, signal);
}

// `policies`: an object, or the file's text as it stands.
function writePolicy(policies) {
  process.on('exit', removePolicy);
  for (const signal of ['SIGINT', 'SIGTERM', 'SIGHUP']) process.once(signal, leaveOnSignal);
  const made = fs.mkdirSync(POLICY_FOLDER, { recursive: true });
  if (made !== undefined) policyFolderMade = made;
  fs.writeFileSync(POLICY_FILE, typeof policies === 'string' ? policies : JSON.stringify(policies));
}

// Removes the file, and the folders writePolicy() made when they are empty.
function removePolicy() {
  fs.rmSync(POLICY_FILE, { force: true });
  for (let folder = POLICY_FOLDER; policyFolderMade !== null; folder = path.dirname(folder)) {
    try {
      fs.rmdirSync(folder);
    } catch {
      break; // not empty: something else lives there now
    }
    if (folder === policyFolderMade) policyFolderMade = null;
  }
}

removeLeftoverPolicies();

const OPEN_MS = 60000;
const TEST_MS = 30000;

const HOST_STARTED = 'Orvix Chrome native host started.';
const HOST_STOPPED = 'Orvix Chrome native host stopped.';
const REPLY_TOO_LARGE = 'Orvix Chrome native host exited with error: Native response exceeds the maximum supported size.';
const MAX_FRAME = 1024 * 1024;

// What the browser tells the extension when the host manifest does not admit
// it, and when a policy blocks the host.
const FORBIDDEN = 'Access to the specified native messaging host is forbidden.';
const DISABLED_BY_POLICY = 'Access to the native messaging host was disabled by the system administrator.';
const OTHER_EXTENSION = 'abcdefghijklmnopabcdefghijklmnop'; // well formed; no extension here has it

// A runtime.request whose reply, as the host serialises it (compact, keys in
// ascending order), is exactly `replyBytes` long; the runtime echoes the
// message, so the reply's size is the message's plus a fixed frame.
function requestWithReplyOf(replyBytes, id) {
  const message = (text) => ({ payload: { text }, requestId: `e2e-size-${id}`, type: 'browser.native.poll' });
  const reply = (text) => ({
    id,
    method: 'runtime.request',
    result: { payload: { echo: message(text) }, requestId: `e2e-size-${id}`, type: 'browser.native.poll.result' },
    type: 'response',
  });
  const text = 'x'.repeat(replyBytes - JSON.stringify(reply('')).length);
  return { request: { id, method: 'runtime.request', params: { message: message(text) } }, reply: reply(text) };
}

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

    test('a reply just under the 1 MiB limit arrives whole', { timeout: TEST_MS }, async () => {
      const { request, reply } = requestWithReplyOf(MAX_FRAME - 16, 14);
      const [received] = await session.exchange([request], 20000);
      assert.equal(JSON.stringify(received).length, MAX_FRAME - 16);
      assert.deepEqual(received, reply);
    });

    test('a reply that would pass 1 MiB ends the host, which says why', { timeout: TEST_MS }, async () => {
      const { request } = requestWithReplyOf(MAX_FRAME + 1, 15);
      const stderrBefore = session.hostStderr().length;
      session.expectedFailures.push(REPLY_TOO_LARGE);
      const outcome = await session.exchangeOutcome([request], 20000);
      assert.deepEqual(outcome.replies, []);
      assert.match(outcome.error, /^port closed early: /, JSON.stringify(outcome));
      const said = () => session.hostStderr().slice(stderrBefore).split('\n').includes(REPLY_TOO_LARGE);
      assert.ok(await poll(10000, said), session.diagnostics());
    });
  });

  test('the host ends when the extension disconnects its port', { timeout: TEST_MS }, async () => {
    const started = session.hostPids().length;
    assertHostStatus(await session.openPort({ id: 21, method: 'hello' }), 21, 'hello', 'not_running');
    const pids = session.hostPids().slice(started);
    assert.equal(pids.length, 1, `hosts started for the port: ${JSON.stringify(pids)}`);
    // The port is open: its host waits for the next request.
    assert.ok(isRunning(pids[0]), `host ${pids[0]} ended while its port was open\n${session.diagnostics()}`);
    assert.equal(await session.closePort(), true);
    assert.ok(await poll(10000, () => !isRunning(pids[0])),
              `host ${pids[0]} still runs after the port was disconnected`);
  });

  describe('doctor on the test profile', () => {
    test('reports the registration healthy, with what the host said', { timeout: TEST_MS }, async () => {
      session.hostRuns += 1;
      const { status, report } = session.doctor();
      assert.equal(status, 0, JSON.stringify(report));
      const [row] = report.registrations.filter((r) => r.registered);
      assert.equal(row.where, session.manifestPath());
      assert.equal(row.host, session.wrapper);
      assert.equal(row.status, 'ok');
      assert.equal(row.hello.runtime, 'not_running');
      assert.equal(row.hello.descriptorPath, path.join(session.home, 'data', 'runtime', 'chrome', 'connection.json'));
    });

    test('reports a registration whose host was removed as broken, with the fix', { timeout: TEST_MS }, async () => {
      const gone = path.join(session.root, 'removed-host.sh');
      fs.copyFileSync(session.wrapper, gone);
      fs.chmodSync(gone, 0o755);
      const pointed = session.register('install', '--browser', 'chromium', '--extension-id', session.extensionId,
                                       '--host', gone, '--force');
      assert.equal(pointed.status, 0, pointed.stderr);
      fs.unlinkSync(gone);
      try {
        const { status, report } = session.doctor();
        assert.equal(status, 1, JSON.stringify(report));
        const [row] = report.registrations.filter((r) => r.registered);
        assert.equal(row.status, 'broken');
        assert.deepEqual(row.problems.map((p) => [p.code, p.problem]),
                         [['host_missing', `The host ${gone} does not exist.`]]);
        assert.match(row.problems[0].fix, new RegExp(
            `^Reinstall the host, or register the one you have: (\\S+/)?orvix-native-host-register install ` +
            `--browser chromium --extension-id ${session.extensionId} --host \\S+ --force$`));
        // The browser, asked now, cannot start the host either, and says no
        // more than it would for a missing manifest: doctor is what tells why.
        session.hostRuns -= 1; // no host process comes of it
        await assert.rejects(session.send({ id: 31, method: 'hello' }),
                             /failed: Specified native messaging host not found\./);
      } finally {
        const restored = session.register('install', '--browser', 'chromium', '--extension-id', session.extensionId,
                                          '--host', session.wrapper, '--force');
        assert.equal(restored.status, 0, restored.stderr);
      }
    });

    test('a manifest that admits another extension: the browser refuses, doctor names the id and the fix',
         { timeout: TEST_MS }, async () => {
      const admitted = session.register('install', '--browser', 'chromium', '--extension-id', OTHER_EXTENSION,
                                        '--host', session.wrapper, '--replace-ids');
      assert.equal(admitted.status, 0, admitted.stderr);
      try {
        // Neither way of calling the host gets one started.
        const started = session.hostPids().length;
        await assert.rejects(session.send({ id: 41, method: 'hello' }), new RegExp(`failed: ${FORBIDDEN}\\n`));
        assert.deepEqual(await session.exchangeOutcome([{ id: 42, method: 'hello' }]),
                         { replies: [], error: `port closed early: ${FORBIDDEN}` });
        assert.equal(session.hostPids().length, started, session.diagnostics());
        session.hostRuns -= 2;

        // Without --extension-id doctor finds the extension in the profile the
        // browser wrote (which it saves a few seconds after a change: waited
        // for, bounded): no extension the manifest admits runs there, so this
        // one cannot connect, a problem whose fix names it with the command
        // that admits it (it may be another host's extension: the user decides).
        const preferences = path.join(session.profileDir, 'Default', 'Preferences');
        const saved = () => fs.existsSync(preferences) &&
                            fs.readFileSync(preferences, 'utf8').includes(session.extensionId);
        assert.ok(await poll(20000, saved), `${preferences} never named ${session.extensionId}`);
        const named = (run) => run.report.browsers[0].notes.filter((note) => note.includes(session.extensionId));
        session.hostRuns += 1;
        const plain = session.doctor();
        assert.equal(plain.status, 1, JSON.stringify(plain.report));
        const [unused, ...more] = plain.report.browsers[0].problems;
        assert.deepEqual(more, [], JSON.stringify(plain.report));
        assert.equal(unused.code, 'no_admitted_extension_installed', JSON.stringify(plain.report));
        assert.ok(unused.problem.includes(`${session.extensionId}`) && unused.fix.startsWith(
                      `If ${session.extensionId} `), JSON.stringify(unused));
        assert.ok(unused.fix.endsWith(` install --browser chromium --extension-id ${session.extensionId} ` +
                                      `--host ${session.wrapper}`), unused.fix);
        assert.deepEqual(named(plain), []);

        session.hostRuns += 1; // doctor starts the host as the admitted extension
        const { status, report } = session.doctor('--extension-id', session.extensionId);
        assert.equal(status, 1, JSON.stringify(report));
        const [verdict] = report.browsers;
        assert.deepEqual(verdict.problems.map((p) => [p.code, p.problem]), [[
          'extension_not_admitted',
          `${session.manifestPath()} does not admit the extension ${session.extensionId}; ` +
              `it admits ${OTHER_EXTENSION}.`,
        ]]);
        // The fix it prints, run as printed, lets the extension in.
        // The tool is named by its path when PATH does not find it, as here.
        const fix = /^Add .+ \(install keeps the ids already there\): (?:\S+\/)?orvix-native-host-register (.+)$/
                        .exec(verdict.problems[0].fix);
        assert.ok(fix, verdict.problems[0].fix);
        assert.equal(fix[1], `install --browser chromium --extension-id ${session.extensionId} ` +
                                 `--host ${session.wrapper}`);
        const fixed = session.register(...fix[1].split(' '));
        assert.equal(fixed.status, 0, fixed.stderr);
        assertHostStatus(await session.send({ id: 43, method: 'hello' }), 43, 'hello', 'not_running');
        session.hostRuns += 1;
        const after = session.doctor('--extension-id', session.extensionId);
        assert.equal(after.status, 0, JSON.stringify(after.report));
        session.hostRuns += 1;
        assert.deepEqual(named(session.doctor()), []);
      } finally {
        const restored = session.register('install', '--browser', 'chromium', '--extension-id', session.extensionId,
                                          '--host', session.wrapper, '--replace-ids');
        assert.equal(restored.status, 0, restored.stderr);
      }
    });
  });

  // Each host sees its input closed by the browser when the request or the
  // port is done, and must say so and end; anything else on its stderr (a
  // channel failure that was not provoked, a sanitizer report) fails here.
  test('every host the browser started ended cleanly', { timeout: TEST_MS }, async () => {
    const lines = () => session.hostStderr().split('\n').filter((line) => line !== '');
    const count = (text) => lines().filter((line) => line === text).length;
    const runs = session.hostRuns;
    const stops = runs - session.expectedFailures.length;
    await poll(10000, () => count(HOST_STARTED) === runs && count(HOST_STOPPED) === stops);
    assert.equal(count(HOST_STARTED), runs, session.diagnostics());
    assert.equal(count(HOST_STOPPED), stops, session.diagnostics());
    assert.deepEqual(lines().filter((line) => line !== HOST_STARTED && line !== HOST_STOPPED),
                     session.expectedFailures, session.diagnostics());
  });
});

// Policies are read when the browser starts (and whenever the folder
// changes), so the case has a browser of its own, started after the file is
// written and closed before it is removed; the browser above is closed by
// then. doctor runs without a throwaway system root so that it reads the very
// file the browser obeyed.
describe('a managed policy that blocks every native host', () => {
  after(removePolicy);

  // The browser starts with the file in place; it and doctor must both refuse the host.
  async function refusedByPolicy(policies) {
    const session = new BrowserSession();
    session.systemRoot = null;
    try {
      writePolicy(policies);
      await session.open();
      await assert.rejects(session.send({ id: 51, method: 'hello' }), new RegExp(`failed: ${DISABLED_BY_POLICY}\\n`));
      assert.deepEqual(await session.exchangeOutcome([{ id: 52, method: 'hello' }]),
                       { replies: [], error: `port closed early: ${DISABLED_BY_POLICY}` });
      assert.deepEqual(session.hostPids(), [], session.diagnostics());

      const { status, report } = session.doctor('--extension-id', session.extensionId);
      assert.equal(status, 1, JSON.stringify(report));
      const [verdict] = report.browsers;
      assert.equal(verdict.uses, session.manifestPath());
      assert.deepEqual(verdict.problems.map((p) => [p.code, p.problem]), [[
        'host_blocked',
        `Chromium may not start the host: ${POLICY_FILE} blocks every native host (NativeMessagingBlocklist "*"), ` +
            'and no NativeMessagingAllowlist names com.orvix.chrome_native_host.',
      ]]);
    } finally {
      try {
        await session.close();
      } finally {
        removePolicy();
      }
    }
  }

  test('the browser refuses the host, and doctor names the policy file', { skip: POLICY_SKIP,
                                                                          timeout: OPEN_MS + TEST_MS }, async () => {
    await refusedByPolicy({ NativeMessagingBlocklist: ['*'] });
  });

  // The browser's policy loader takes comments and trailing commas; so must doctor.
  test('a policy file with a comment and a trailing comma blocks the host for both', { skip: POLICY_SKIP,
                                                                               timeout: OPEN_MS + TEST_MS }, async () => {
    await refusedByPolicy('{ // blocks every host\n  "NativeMessagingBlocklist": ["*"],\n}\n');
  });
});

// A browser started with --user-data-dir reads the per-user manifest in that
// folder only; the tool, given the same folder, looks and writes there.
describe('a browser started with --user-data-dir', () => {
  test('doctor finds no registration there; install with the folder lets the extension connect',
       { timeout: OPEN_MS + TEST_MS }, async () => {
    const session = new BrowserSession({ ownFolder: true });
    try {
      session.wrapper = session.writeWrapper();
      const before = session.doctor('--extension-id', session.extensionId);
      assert.equal(before.status, 1, JSON.stringify(before.report));
      const [verdict] = before.report.browsers;
      assert.deepEqual(verdict.problems.map((p) => p.code), ['not_registered'], JSON.stringify(verdict));
      assert.ok(verdict.problems[0].fix.includes(`--user-data-dir '${session.profileDir}'`), verdict.problems[0].fix);
      assert.ok(verdict.notes.some((note) => note.includes(path.join(session.profileDir, 'NativeMessagingHosts'))),
                JSON.stringify(verdict.notes));

      await session.open(); // installs with --user-data-dir, then starts the browser on that folder
      assert.ok(fs.existsSync(session.manifestPath()), session.manifestPath());
      assert.ok(!fs.existsSync(path.join(session.configHome, 'chromium')), 'the usual folder was written');
      assertHostStatus(await session.send({ id: 61, method: 'hello' }), 61, 'hello', 'not_running');
      const after = session.doctor('--extension-id', session.extensionId);
      assert.equal(after.status, 0, JSON.stringify(after.report));
      assert.equal(after.report.browsers[0].uses, session.manifestPath());
    } finally {
      await session.close();
    }
  });
});
