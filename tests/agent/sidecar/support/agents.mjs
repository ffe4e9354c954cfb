// Shared by the sidecar tests: the real agent CLIs installed once into a per-version cache outside
// the repo, a sidecar child driven line by line, and a look at /proc for processes left behind.
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { descendants } from '../../../../resources/sidecar/src/protocol.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
export const repoRoot = path.resolve(here, '../../../..');
const pins = JSON.parse(fs.readFileSync(path.join(repoRoot, 'resources/sidecar/package.json'), 'utf8')).dependencies;

const cacheRoot = () => path.join(process.env.XDG_CACHE_HOME || path.join(os.homedir(), '.cache'), 'brinmoor-test-agents');

const sleep = (ms) => Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, ms);
const running = (pid) => { try { process.kill(pid, 0); return true; } catch (e) { return e.code === 'EPERM'; } };

// Holds the cache's install lock (a folder made atomically, naming its owner) while `work` runs. Test
// processes started together (ctest -j, several checkouts on one machine) queue here; a lock whose
// owner is gone (killed mid-install) is taken over.
function withInstallLock(work) {
  const lock = path.join(cacheRoot(), '.install-lock');
  const deadline = Date.now() + 30 * 60 * 1000;
  for (;;) {
    try {
      fs.mkdirSync(lock);
      fs.writeFileSync(path.join(lock, 'owner'), `${process.pid}\n`);
      break;
    } catch (e) {
      if (e.code !== 'EEXIST') throw e;
      let owner = NaN;
      try { owner = Number(fs.readFileSync(path.join(lock, 'owner'), 'utf8')); } catch { /* being made or removed */ }
      const age = (() => { try { return Date.now() - fs.statSync(lock).mtimeMs; } catch { return 0; } })();
      if ((Number.isInteger(owner) && owner > 0 && !running(owner)) || (Number.isNaN(owner) && age > 10000)) {
        fs.rmSync(lock, { recursive: true, force: true });
        continue;
      }
      if (Date.now() > deadline) throw new Error(`another process has held ${lock} for 30 minutes`);
      sleep(250);
    }
  }
  try { return work(); } finally { fs.rmSync(lock, { recursive: true, force: true }); }
}

// Installs `pkg` at the version the sidecars pin (with its optional CLI binaries) unless the cache
// has it, and returns the folder. One process installs, the others wait for it and take its result.
// A failed install throws with npm's message: these tests never skip quietly.
function installed(pkg) {
  const version = pins[pkg];
  const dir = path.join(cacheRoot(), `${pkg.replace(/[@/]/g, '_')}-${version}`);
  const stamp = path.join(dir, '.complete');
  if (fs.existsSync(stamp)) return dir;
  fs.mkdirSync(cacheRoot(), { recursive: true });
  return withInstallLock(() => {
    if (fs.existsSync(stamp)) return dir; // another process finished it while this one waited
    // Half-made folders of installs that were killed: nobody else can be writing them now.
    for (const e of fs.readdirSync(cacheRoot())) if (e.startsWith('.installing-')) fs.rmSync(path.join(cacheRoot(), e), { recursive: true, force: true });
    const tmp = fs.mkdtempSync(path.join(cacheRoot(), '.installing-'));
    try {
      execFileSync('npm', ['install', '--no-save', '--no-audit', '--no-fund', '--include=optional', '--prefix', tmp, `${pkg}@${version}`],
        { stdio: ['ignore', 'ignore', 'pipe'], encoding: 'utf8', timeout: 15 * 60 * 1000 });
    } catch (e) {
      fs.rmSync(tmp, { recursive: true, force: true });
      throw new Error(`npm could not install ${pkg}@${version} for the tests:\n${e.stderr || e.message}`);
    }
    fs.writeFileSync(path.join(tmp, '.complete'), `${pkg}@${version}\n`);
    fs.rmSync(dir, { recursive: true, force: true });
    fs.renameSync(tmp, dir);
    return dir;
  });
}

// Both CLIs, for the ctest fixture that installs them before any test needs them.
export function installAll() { return [claudeBinary(), codexBinary()]; }

export function claudeBinary() {
  const dir = installed('@anthropic-ai/claude-agent-sdk');
  const bin = path.join(dir, 'node_modules/@anthropic-ai', `claude-agent-sdk-${process.platform}-${process.arch}`, 'claude');
  if (!fs.existsSync(bin)) throw new Error(`the Claude CLI is missing from ${dir}`);
  return bin;
}

export function codexBinary() {
  const dir = installed('@openai/codex-sdk');
  const vendor = path.join(dir, 'node_modules/@openai', `codex-${process.platform}-${process.arch}`, 'vendor');
  const triple = fs.existsSync(vendor) ? fs.readdirSync(vendor)[0] : null;
  const bin = triple && path.join(vendor, triple, 'bin', 'codex');
  if (!bin || !fs.existsSync(bin)) throw new Error(`the Codex CLI is missing from ${dir}`);
  return bin;
}

export const sidecarDir = () => path.resolve(process.env.BRINMOOR_SIDECAR_DIR || path.join(repoRoot, 'build/bin/sidecar'));
export const tempDir = (name) => fs.mkdtempSync(path.join(os.tmpdir(), `brinmoor-${name}-`));

// Every descendant of `pid` that still runs (zombies count as gone): the sidecar's own walk.
export { descendants };
export const alive = (pid) => {
  try {
    const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
    return stat.slice(stat.lastIndexOf(')') + 2, stat.lastIndexOf(')') + 3) !== 'Z';
  } catch { return false; }
};

// A process's arguments ([] once it is gone).
export const argsOf = (pid) => { try { return fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').split('\0').slice(0, -1); } catch { return []; } };

// Kills the agent CLI below a sidecar with SIGKILL while `command` (its argument list) runs below it,
// as a crash or the out-of-memory killer would, and returns what ran below the CLI at that moment.
export async function killCliRunning(car, binary, command) {
  const match = (pid) => argsOf(pid).join(' ') === command;
  await until(() => descendants(car.pid).some(match), 60000);
  const cli = descendants(car.pid).find((pid) => argsOf(pid)[0] === binary && descendants(pid).some(match));
  assert.ok(cli, `no ${binary} runs ${command}`);
  const below = descendants(cli);
  process.kill(cli, 'SIGKILL');
  return below;
}

// A server for an agent to start and leave running (fakes/recording-server.py), named `name` in
// `dir`: `command` starts it in a session of its own, as a user's agent would; `pid()` is its
// process once it runs, `answers()` whether it answers HTTP, `askedToEnd()` whether it was given
// SIGTERM before it ended (a server killed outright was not).
export function recordingServer(dir, name) {
  const script = path.join(repoRoot, 'tests/agent/fakes/recording-server.py');
  const base = path.join(dir, name);
  const isIt = (pid) => argsOf(pid).slice(-2).join(' ') === `${script} ${base}`;
  return {
    command: `setsid -f python3 ${script} ${base} >/dev/null 2>&1; echo started ${name}`,
    pid: () => fs.readdirSync('/proc').filter((e) => /^\d+$/.test(e)).map(Number).find((pid) => isIt(pid) && alive(pid)) ?? null,
    async answers() {
      let port;
      try { port = Number(fs.readFileSync(`${base}.port`, 'utf8')); } catch { return false; }
      try { return (await fetch(`http://127.0.0.1:${port}/`, { signal: AbortSignal.timeout(5000) })).ok; } catch { return false; }
    },
    askedToEnd: () => fs.existsSync(`${base}.term`),
    kill() { const pid = this.pid(); if (pid) try { process.kill(pid, 'SIGKILL'); } catch { /* gone */ } },
  };
}

// One sidecar child: commands in, events collected; waits are for events, bounded by a deadline.
// Polls a condition outside a sidecar's events (a process it started) until it holds.
export async function until(condition, timeoutMs = 30000) {
  for (const deadline = Date.now() + timeoutMs; !condition();) {
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${condition}`);
    await new Promise((r) => setTimeout(r, 50));
  }
}

// With `underReaper` the sidecar is started as the app starts it: below the reaper beside it, which
// is then its parent for as long as it runs (`pid` is the reaper's).
export class Sidecar {
  constructor(script, { cwd, env, underReaper = false }) {
    this.events = [];
    this.stdoutLines = [];
    this.waiters = [];
    const file = path.join(sidecarDir(), script);
    this.child = underReaper
      ? spawn(path.join(sidecarDir(), 'brinmoor-reaper'), [], { cwd, env: { ...env, BRINMOOR_REAPER_PROGRAM: process.execPath, BRINMOOR_REAPER_ARG: file }, stdio: ['pipe', 'pipe', 'pipe'] })
      : spawn(process.execPath, [file], { cwd, env, stdio: ['pipe', 'pipe', 'pipe'] });
    this.stderr = '';
    this.child.stderr.on('data', (d) => { this.stderr += d; });
    let pending = '';
    this.child.stdout.on('data', (d) => {
      pending += d;
      let nl;
      while ((nl = pending.indexOf('\n')) >= 0) {
        const line = pending.slice(0, nl);
        pending = pending.slice(nl + 1);
        this.stdoutLines.push(line);
        this.events.push(JSON.parse(line)); // anything but a protocol line fails the test here
      }
      this.wake();
    });
    this.exited = new Promise((r) => this.child.on('exit', (code, signal) => { this.wake(); r({ code, signal }); }));
    this.cursor = 0;
  }
  get pid() { return this.child.pid; }
  send(cmd) { this.child.stdin.write(`${JSON.stringify(cmd)}\n`); }
  end() { this.child.stdin.end(); }
  wake() { for (const w of this.waiters.splice(0)) w(); }
  // The next event after the cursor that matches; moves the cursor past it.
  async next(match, timeoutMs = 30000) {
    const test = typeof match === 'string' ? (e) => e.ev === match : match;
    const deadline = Date.now() + timeoutMs;
    for (;;) {
      for (let i = this.cursor; i < this.events.length; i++) {
        if (test(this.events[i])) { this.cursor = i + 1; return this.events[i]; }
      }
      if (this.child.exitCode !== null || this.child.signalCode !== null)
        throw new Error(`sidecar exited; events: ${JSON.stringify(this.events.slice(this.cursor))}\n${this.stderr.slice(-2000)}`);
      const left = deadline - Date.now();
      if (left <= 0) throw new Error(`no matching event; got: ${JSON.stringify(this.events.slice(this.cursor)).slice(0, 2000)}\n${this.stderr.slice(-2000)}`);
      await new Promise((r) => { const t = setTimeout(r, left); this.waiters.push(() => { clearTimeout(t); r(); }); });
    }
  }
  // Events since `from` (an index into events).
  since(from) { return this.events.slice(from); }
  kill() { if (this.child.exitCode === null) this.child.kill('SIGKILL'); }
}
