// brinmoor-reaper, which the sidecars start their agent CLI through: it ends the way the CLI ended,
// passes its parent's signals on, and leaves nothing the CLI started running once it has exited.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { sidecarDir, alive } from './support/agents.mjs';

const reaper = path.join(sidecarDir(), 'brinmoor-reaper');

// Runs the reaper; `onLine(line, child)` sees each line the program writes.
function run(args, { env = {}, onLine = () => {} } = {}) {
  const child = spawn(reaper, args, { env: { ...process.env, ...env }, stdio: ['ignore', 'pipe', 'pipe'] });
  let out = '', err = '';
  child.stdout.on('data', (d) => { out += d; for (const l of String(d).split('\n').filter(Boolean)) onLine(l, child); });
  child.stderr.on('data', (d) => { err += d; });
  return new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal, out, err })));
}

test('the reaper ends as its program ended, and passes its parent\'s signals on', async () => {
  const rows = [
    { name: 'exit code', args: ['sh', '-c', 'exit 3'], want: { code: 3, signal: null } },
    { name: 'killed', args: ['sh', '-c', 'kill -9 $$'], want: { code: null, signal: 'SIGKILL' } },
    { name: 'missing program', args: ['/no/such/cli'], want: { code: 127, signal: null }, err: /cannot run \/no\/such\/cli/ },
    { name: 'program named by the environment, which it does not see', args: ['-c', 'echo "[${BRINMOOR_REAPER_PROGRAM-unset}]"'],
      env: { BRINMOOR_REAPER_PROGRAM: '/bin/sh' }, want: { code: 0, signal: null }, out: '[unset]\n' },
    { name: 'program and first argument named by the environment, neither seen by it', args: ['echo "[${BRINMOOR_REAPER_ARG-unset}]" "$0"', 'zero'],
      env: { BRINMOOR_REAPER_PROGRAM: '/bin/sh', BRINMOOR_REAPER_ARG: '-c' }, want: { code: 0, signal: null }, out: '[unset] zero\n' },
    { name: 'SIGTERM passed on', args: ['sh', '-c', 'trap "exit 7" TERM; echo ready; while :; do sleep 0.05; done'],
      onLine: (l, child) => l === 'ready' && child.kill('SIGTERM'), want: { code: 7, signal: null } },
  ];
  for (const row of rows) {
    const got = await run(row.args, row);
    assert.deepEqual({ code: got.code, signal: got.signal }, row.want, `${row.name}: ${got.err}`);
    if (row.err) assert.match(got.err, row.err, row.name);
    if (row.out) assert.equal(got.out, row.out, row.name);
  }
});

test('what the program left running, in sessions of their own, has ended when the reaper exits', async () => {
  // A shell that starts two sleepers in sessions of their own (one through a child that exits at
  // once, so it is orphaned while the program still runs) and is then killed.
  const script = 'setsid sleep 97 & echo $!; sh -c \'setsid sleep 98 & echo $!\'; sleep 0.2; kill -9 $$';
  const pids = [];
  const got = await run(['sh', '-c', script], { onLine: (l) => pids.push(Number(l)) });
  assert.equal(got.signal, 'SIGKILL');
  assert.equal(pids.length, 2, got.out);
  assert.deepEqual(pids.filter(alive), []);
});

// Asked to hand over (the Codex sidecar's per-turn processes, below the sidecar's own reaper), a
// program that ends well leaves what it started in sessions of its own running; one that fails or
// is killed takes everything with it, as does any program when not asked.
test('a program that ends well hands on what it left running when asked to; otherwise all of it ends', async () => {
  const rows = [
    { name: 'handed over, exit 0', end: 'exit 0', handOver: true, lives: true },
    { name: 'handed over, exit 3', end: 'exit 3', handOver: true, lives: false },
    { name: 'handed over, killed', end: 'kill -9 $$', handOver: true, lives: false },
    { name: 'not asked, exit 0', end: 'exit 0', handOver: false, lives: false },
  ];
  for (const row of rows) {
    const pids = [];
    const got = await run(['sh', '-c', `setsid sleep 96 & echo $!; sleep 0.2; ${row.end}`],
      { env: row.handOver ? { BRINMOOR_REAPER_HAND_OVER: '1' } : {}, onLine: (l) => pids.push(Number(l)) });
    try {
      assert.equal(pids.length, 1, `${row.name}: ${got.out}`);
      assert.equal(alive(pids[0]), row.lives, row.name);
    } finally {
      for (const pid of pids) try { process.kill(pid, 'SIGKILL'); } catch { /* gone */ }
    }
  }
});

// What is left below the reaper when its program ends is asked to end first (SIGTERM, and SIGCONT
// for a stopped one), so that a server or database can close its files; what ignores that, or
// stays stopped, is killed after a short grace.
test('what the program left running gets SIGTERM first, and SIGKILL only if it stays', async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'brinmoor-reaper-'));
  const rows = [
    { name: 'ends when asked', trap: `trap "echo asked > ${dir}/asked; exit 0" TERM`, asked: true },
    { name: 'ignores it', trap: 'trap "" TERM', asked: false },
    { name: 'stopped', trap: `trap "echo asked > ${dir}/asked; exit 0" TERM; kill -STOP $$`, asked: true },
  ];
  try {
    for (const row of rows) {
      fs.rmSync(path.join(dir, 'asked'), { force: true });
      const pids = [];
      const left = `${row.trap}; echo left; while :; do sleep 0.05; done`;
      const got = await run(['sh', '-c', `setsid sh -c '${left}' & echo $!; sleep 0.3; exit 3`], { onLine: (l) => /^\d+$/.test(l) && pids.push(Number(l)) });
      assert.equal(got.code, 3, `${row.name}: ${got.err}`);
      assert.equal(pids.length, 1, `${row.name}: ${got.out}`);
      assert.equal(alive(pids[0]), false, `${row.name}: ended`);
      assert.equal(fs.existsSync(path.join(dir, 'asked')), row.asked, `${row.name}: asked to end`);
    }
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
});

// SIGUSR2 from the parent (a sidecar about to end the program itself) is not passed on: whatever
// the program's end then, what it left running is handed on as after a program that ended well.
test('asked with SIGUSR2, the reaper hands on what is left however the program ends, and keeps the signal to itself', async () => {
  const rows = [
    { name: 'killed', end: (program) => process.kill(program, 'SIGKILL'), want: { code: null, signal: 'SIGKILL' } },
    { name: 'exit 4', end: (program) => process.kill(program, 'SIGUSR1'), want: { code: 4, signal: null } },
  ];
  for (const row of rows) {
    const pids = [];
    const script = 'trap "echo passed-on" USR2; trap "exit 4" USR1; setsid sleep 94 & echo $!; echo $$; while :; do sleep 0.05; done';
    const got = await run(['sh', '-c', script], { onLine: (l, child) => {
      if (!/^\d+$/.test(l)) return;
      pids.push(Number(l));
      if (pids.length === 2) {
        child.kill('SIGUSR2');
        row.end(pids[1]);
      }
    } });
    try {
      assert.deepEqual({ code: got.code, signal: got.signal }, row.want, `${row.name}: ${got.err}`);
      assert.doesNotMatch(got.out, /passed-on/, row.name);
      assert.equal(alive(pids[0]), true, `${row.name}: handed on`);
    } finally {
      for (const pid of pids) try { process.kill(pid, 'SIGKILL'); } catch { /* gone */ }
    }
  }
});
