// A headless browser with the test extension loaded, able to start the native
// host, in a temporary folder of its own: the browser profile, the product
// home the host uses, the host manifest and the wrapper script the manifest
// names. Also starts the sample runtime in the same product home.
//
// Every wait is bounded; a missing browser, a missing npm install or a host
// that cannot be found is a failure with a message that says what to do.
'use strict';

const { spawn } = require('node:child_process');
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

// Throws, saying what to install, when the browser or playwright-core is missing.
function checkPrerequisites() {
  if (!fs.existsSync(CHROMIUM)) throw new Error(`${CHROMIUM} is missing: ${SETUP_HINT}`);
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
  constructor() {
    this.root = fs.mkdtempSync(path.join(os.tmpdir(), 'orvix-browser-'));
    this.profileDir = path.join(this.root, 'profile');
    this.home = path.join(this.root, 'home');
    this.hostStderrPath = path.join(this.root, 'host-stderr.log');
    this.hostPidsPath = path.join(this.root, 'host-pids');
    this.extensionId = extensionId(path.join(EXTENSION_DIR, 'manifest.json'));
    this.context = null;
    this.worker = null;
    this.hostRuns = 0; // hosts the browser was asked to start: one per request or port
  }

  // Writes the wrapper and the host manifest, launches the browser, finds the worker.
  async open() {
    checkPrerequisites();
    const { chromium } = require('playwright-core');
    this.writeHostFiles();
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
  writeHostFiles() {
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

    const manifestDir = path.join(this.profileDir, 'NativeMessagingHosts');
    fs.mkdirSync(manifestDir, { recursive: true });
    fs.writeFileSync(path.join(manifestDir, `${HOST_NAME}.json`), JSON.stringify({
      name: HOST_NAME,
      description: 'Orvix Chrome native host (browser test)',
      path: wrapper,
      type: 'stdio',
      allowed_origins: [`chrome-extension://${this.extensionId}/`],
    }, null, 2));
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
    this.hostRuns += 1;
    const outcome = await within(ms + 5000, 'the service worker',
                                 this.worker.evaluate(([m, t]) => self.exchangeOnPort(m, t), [messages, ms]));
    if (outcome.error !== undefined) {
      throw new Error(`connectNative: ${outcome.error}; replies so far ${JSON.stringify(outcome.replies)}\n` +
                      this.diagnostics());
    }
    return outcome.replies;
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

module.exports = { BrowserSession, SampleRuntime, checkPrerequisites, poll };
