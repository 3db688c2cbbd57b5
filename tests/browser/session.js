// A headless browser with the test extension loaded, able to start the native
// host, in a temporary folder of its own: the browser profile, the product
// home the host uses and the wrapper script the host manifest names. The
// manifest is written by the registration tool, exactly as a user installs
// it: the profile is the folder where Chromium keeps a user's data
// ($XDG_CONFIG_HOME/chromium), so "install --browser chromium" with that
// XDG_CONFIG_HOME writes into it; or, with `ownFolder`, a folder of its own
// that the tool is given with --user-data-dir, as an extension developer
// does. Also starts the sample runtime in the same product home.
//
// Every wait is bounded; a missing browser, a missing npm install or a host
// that cannot be found is a failure with a message that says what to do.
'use strict';

const { spawn, spawnSync } = require('node:child_process');
const crypto = require('node:crypto');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const HOST_NAME = 'com.orvix.chrome_native_host';
const CHROMIUM = '/usr/bin/chromium';
const EXTENSION_DIR = path.join(__dirname, 'extension');
const SETUP_HINT = 'run scripts/setup.sh (as root) to install it';

const LAUNCH_MS = 30000;
const WORKER_MS = 15000;
const CLOSE_MS = 15000;
const RUNTIME_START_MS = 20000;
const TOOL_MS = 60000;

// Throws, saying what to install, when the browser or playwright-core is missing.
function checkPrerequisites() {
  if (!fs.existsSync(CHROMIUM)) throw new Error(`${CHROMIUM} is missing: ${SETUP_HINT}`);
  if (!fs.existsSync(registerTool())) throw new Error(`no registration tool at ${registerTool()}: build it`);
  try {
    require.resolve('playwright-core');
  } catch (error) {
    throw new Error(`playwright-core is not installed in ${path.join(__dirname, 'node_modules')}: ${SETUP_HINT} ` +
                    '(it runs "npm ci" in tests/browser)');
  }
}

// The id the browser gives an extension whose manifest carries `key`: the first
// 32 hex digits of SHA-256 over the key's DER bytes, with 0-f written as a-p.
function extensionId(manifestPath) {
  const { key } = JSON.parse(fs.readFileSync(manifestPath, 'utf8'));
  const digest = crypto.createHash('sha256').update(Buffer.from(key, 'base64')).digest('hex');
  return [...digest.slice(0, 32)].map((digit) => String.fromCharCode(97 + parseInt(digit, 16))).join('');
}

function buildDir() {
  return process.env.ORVIX_BUILD_DIR || path.join(__dirname, '..', '..', 'build');
}

function registerTool() {
  return path.join(buildDir(), 'orvix-native-host-register');
}

// The host command, split by the shell like the black-box suite splits it.
function hostCommand() {
  const command = process.env.ORVIX_HOST_CMD || path.join(buildDir(), 'orvix-chrome-native-host');
  if (!process.env.ORVIX_HOST_CMD && !fs.existsSync(command)) {
    throw new Error(`no host at ${command}: build it, or set ORVIX_HOST_CMD`);
  }
  return command;
}

function shellQuote(text) {
  return `'${String(text).replace(/'/g, `'\\''`)}'`;
}

// A promise that rejects with `what` when `ms` pass first.
function within(ms, what, promise) {
  let timer;
  const limit = new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error(`${what}: nothing within ${ms} ms`)), ms);
  });
  return Promise.race([promise, limit]).finally(() => clearTimeout(timer));
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Polls `probe` until it returns a truthy value or `ms` pass; returns the last value.
async function poll(ms, probe) {
  const deadline = Date.now() + ms;
  for (;;) {
    const value = probe();
    if (value || Date.now() >= deadline) return value;
    await sleep(50);
  }
}

class BrowserSession {
  constructor({ ownFolder = false } = {}) {
    this.root = fs.mkdtempSync(path.join(os.tmpdir(), 'orvix-browser-'));
    this.configHome = path.join(this.root, 'config');
    this.profileDir = ownFolder ? path.join(this.root, 'dev profile') : path.join(this.configHome, 'chromium');
    // What install, uninstall and doctor need to look where this browser looks.
    this.folderArgs = ownFolder ? ['--user-data-dir', this.profileDir] : [];
    this.home = path.join(this.root, 'home');
    this.hostStderrPath = path.join(this.root, 'host-stderr.log');
    this.hostPidsPath = path.join(this.root, 'host-pids');
    this.extensionId = extensionId(path.join(EXTENSION_DIR, 'manifest.json'));
    // Where the registration tool looks for system-wide folders; null: the
    // machine's own (the browser reads its policies from there only).
    this.systemRoot = path.join(this.root, 'system');
    this.context = null;
    this.worker = null;
    this.hostRuns = 0; // hosts started: one per request, port or doctor run
    this.expectedFailures = []; // stderr lines of hosts that were made to fail
  }

  // Writes the wrapper, registers it, launches the browser, finds the worker.
  async open() {
    checkPrerequisites();
    const { chromium } = require('playwright-core');
    fs.mkdirSync(this.profileDir, { recursive: true });
    this.wrapper = this.writeWrapper();
    const installed = this.register('install', '--browser', 'chromium', '--extension-id', this.extensionId,
                                     '--host', this.wrapper, ...this.folderArgs);
    if (installed.status !== 0) throw new Error(`install failed: ${installed.stderr}`);
    this.context = await chromium.launchPersistentContext(this.profileDir, {
      executablePath: CHROMIUM,
      headless: true,
      timeout: LAUNCH_MS,
      args: ['--no-sandbox', '--disable-gpu', `--load-extension=${EXTENSION_DIR}`,
             `--disable-extensions-except=${EXTENSION_DIR}`, '--disable-background-networking',
             '--disable-component-update', '--disable-sync', '--no-first-run'],
    });
    // The host manifest admits only this id, so a worker under another id
    // (a key that does not match the id computed here) is a failure.
    const ours = (worker) => worker.url().startsWith(`chrome-extension://${this.extensionId}/`);
    try {
      this.worker = this.context.serviceWorkers().find(ours) ||
          await this.context.waitForEvent('serviceworker', { predicate: ours, timeout: WORKER_MS });
    } catch (error) {
      const seen = this.context.serviceWorkers().map((worker) => worker.url());
      throw new Error(`no service worker of extension ${this.extensionId} (workers: ${JSON.stringify(seen)}): ` +
                      error.message);
    }
  }

  // The browser starts the host with its own environment and the caller's
  // origin as argument, so a wrapper sets the product home (and passes the
  // sanitizer settings on) and keeps the host's stderr in a file.
  writeWrapper() {
    const exports = [['ORVIX_HOME', this.home]];
    for (const name of ['ASAN_OPTIONS', 'UBSAN_OPTIONS', 'LSAN_OPTIONS']) {
      if (process.env[name] !== undefined) exports.push([name, process.env[name]]);
    }
    const wrapper = path.join(this.root, 'host-wrapper.sh');
    fs.writeFileSync(wrapper, [
      '#!/bin/sh',
      ...exports.map(([name, value]) => `export ${name}=${shellQuote(value)}`),
      `echo $$ >>${shellQuote(this.hostPidsPath)}`,
      `exec ${hostCommand()} "$@" 2>>${shellQuote(this.hostStderrPath)}`,
      '',
    ].join('\n'), { mode: 0o755 });
    return wrapper;
  }

  manifestPath() {
    return path.join(this.profileDir, 'NativeMessagingHosts', `${HOST_NAME}.json`);
  }

  // Runs the registration tool with this session's homes: nothing outside
  // the temporary folder is written, and unless systemRoot is null nothing
  // outside it is read. Returns {status, stdout, stderr}.
  register(...args) {
    const env = { ...process.env, HOME: this.root, XDG_CONFIG_HOME: this.configHome };
    delete env.ORVIX_REGISTER_SYSTEM_ROOT;
    if (this.systemRoot !== null) env.ORVIX_REGISTER_SYSTEM_ROOT = this.systemRoot;
    const result = spawnSync(registerTool(), args, { encoding: 'utf8', timeout: TOOL_MS, env });
    if (result.error) throw new Error(`cannot run ${registerTool()}: ${result.error.message}`);
    return { status: result.status, stdout: result.stdout, stderr: result.stderr };
  }

  // doctor --json for chromium with `extra` arguments, parsed; a run that
  // finds the registration sound starts the host once.
  doctor(...extra) {
    const result = this.register('doctor', '--browser', 'chromium', '--json', ...this.folderArgs, ...extra);
    return { status: result.status, report: JSON.parse(result.stdout), stderr: result.stderr };
  }

  // One request through sendNativeMessage; returns the host's reply.
  async send(message, ms = 10000) {
    this.hostRuns += 1;
    const outcome = await within(ms + 5000, 'the service worker',
                                 this.worker.evaluate(([m, t]) => self.sendOne(m, t), [message, ms]));
    if (outcome.error !== undefined) {
      throw new Error(`sendNativeMessage(${JSON.stringify(message)}) failed: ${outcome.error}\n${this.diagnostics()}`);
    }
    return outcome.reply;
  }

  // Several requests on one connectNative port; returns the replies in arrival order.
  async exchange(messages, ms = 10000) {
    const outcome = await this.exchangeOutcome(messages, ms);
    if (outcome.error !== undefined) {
      throw new Error(`connectNative: ${outcome.error}; replies so far ${JSON.stringify(outcome.replies)}\n` +
                      this.diagnostics());
    }
    return outcome.replies;
  }

  // The same, but returns {replies, error} as the worker saw them.
  async exchangeOutcome(messages, ms = 10000) {
    this.hostRuns += 1;
    return within(ms + 5000, 'the service worker',
                  this.worker.evaluate(([m, t]) => self.exchangeOnPort(m, t), [messages, ms]));
  }

  // Opens a port, sends one request and leaves the port open; returns the reply.
  async openPort(message, ms = 10000) {
    this.hostRuns += 1;
    const outcome = await within(ms + 5000, 'the service worker',
                                 this.worker.evaluate(([m, t]) => self.openHeldPort(m, t), [message, ms]));
    if (outcome.error !== undefined) throw new Error(`connectNative: ${outcome.error}\n${this.diagnostics()}`);
    return outcome.reply;
  }

  // Disconnects the port openPort() left open; true when there was one.
  async closePort() {
    return within(5000, 'the service worker', this.worker.evaluate(() => self.closeHeldPort()));
  }

  // Process ids of the hosts started so far, in start order.
  hostPids() {
    if (!fs.existsSync(this.hostPidsPath)) return [];
    return fs.readFileSync(this.hostPidsPath, 'utf8').split('\n').filter(Boolean).map(Number);
  }

  hostStderr() {
    return fs.existsSync(this.hostStderrPath) ? fs.readFileSync(this.hostStderrPath, 'utf8') : '';
  }

  logPath() {
    return path.join(this.home, 'logs', 'chrome-native-host.log');
  }

  hostLog() {
    return fs.existsSync(this.logPath()) ? fs.readFileSync(this.logPath(), 'utf8') : '';
  }

  diagnostics() {
    return `host stderr:\n${this.hostStderr() || '(empty)'}\nhost log:\n${this.hostLog() || '(empty)'}`;
  }

  // Closes the browser, ends any host it left behind, removes the temporary folder.
  async close() {
    try {
      if (this.context) await within(CLOSE_MS, 'closing the browser', this.context.close());
    } finally {
      this.killLeftoverHosts();
      fs.rmSync(this.root, { recursive: true, force: true });
    }
  }

  // A host that never read its input to the end would outlive the browser.
  // Only processes that the wrapper started and that still carry this
  // session's product home are ended: a recycled process id is left alone.
  killLeftoverHosts() {
    if (!fs.existsSync(this.hostPidsPath)) return;
    const marker = Buffer.from(`\0ORVIX_HOME=${this.home}\0`);
    for (const pid of fs.readFileSync(this.hostPidsPath, 'utf8').split('\n').filter(Boolean).map(Number)) {
      let environment;
      try {
        environment = Buffer.concat([Buffer.from('\0'), fs.readFileSync(`/proc/${pid}/environ`)]);
      } catch {
        continue; // already gone
      }
      if (environment.includes(marker)) {
        try { process.kill(pid, 'SIGKILL'); } catch { /* ended meanwhile */ }
      }
    }
  }
}

// The sample runtime, publishing its descriptor in `home`; resolves once it
// has printed its ready line.
class SampleRuntime {
  constructor(home, ...args) {
    this.program = path.join(buildDir(), 'orvix-sample-runtime');
    this.process = spawn(this.program, args, { env: { ...process.env, ORVIX_HOME: home },
                                               stdio: ['ignore', 'pipe', 'pipe'] });
    this.stderr = '';
    this.process.stderr.on('data', (chunk) => { this.stderr += chunk; });
  }

  async ready() {
    const line = await within(RUNTIME_START_MS, `${this.program} to print its ready line`, new Promise((resolve, reject) => {
      let stdout = '';
      this.process.on('error', (error) => reject(new Error(`cannot start ${this.program}: ${error.message}`)));
      this.process.on('exit', (code) => reject(new Error(`${this.program} exited with ${code}: ${this.stderr}`)));
      this.process.stdout.on('data', (chunk) => {
        stdout += chunk;
        if (stdout.includes('\n')) resolve(stdout.slice(0, stdout.indexOf('\n')));
      });
    }));
    if (!/^sample runtime listening on ws:\/\/127\.0\.0\.1:\d+\/ /.test(line)) {
      throw new Error(`unexpected ready line from the sample runtime: ${line}`);
    }
    return line;
  }

  // Stops the runtime (SIGTERM, then SIGKILL) and waits for it to go.
  async stop() {
    const started = this.process.pid !== undefined;
    if (!started || this.process.exitCode !== null || this.process.signalCode !== null) return;
    const gone = new Promise((resolve) => this.process.once('exit', resolve));
    this.process.kill('SIGTERM');
    try {
      await within(RUNTIME_START_MS, 'the sample runtime to stop', gone);
    } catch (error) {
      this.process.kill('SIGKILL');
      throw error;
    }
  }
}

// Whether `pid` is a process that has not ended (a zombie has ended).
function isRunning(pid) {
  try {
    const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
    return stat.slice(stat.lastIndexOf(')') + 2)[0] !== 'Z';
  } catch {
    return false;
  }
}

module.exports = { BrowserSession, SampleRuntime, checkPrerequisites, isRunning, poll };
