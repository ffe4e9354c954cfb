// The line protocol shared by both sidecars: one JSON object per line on stdin (commands) and stdout
// (events). The SDK adapters plug into runSidecar(); everything about framing, ordering, prompts, turns
// and shutdown lives here so both providers behave the same towards the app.
import fs from 'node:fs';
import path from 'node:path';
import { execFileSync, spawn } from 'node:child_process';

// Cut a byte stream into lines. Bytes after the last newline wait for the next chunk. The chunks of
// an unfinished line are kept as they came and joined once, when its newline arrives, and only the
// new chunk is searched: a line costs time and memory in proportion to its length however many
// chunks it comes in (a message with ten large images is a line of some 250 MB).
export class LineSplitter {
  constructor() { this.parts = []; }
  feed(chunk) {
    const bytes = Buffer.isBuffer(chunk) ? chunk : Buffer.from(chunk);
    const lines = [];
    let start = 0;
    for (let nl = bytes.indexOf(10); nl >= 0; nl = bytes.indexOf(10, start)) {
      const tail = bytes.subarray(start, nl);
      const line = this.parts.length ? Buffer.concat([...this.parts, tail]) : tail;
      this.parts = [];
      lines.push(line.toString('utf8'));
      start = nl + 1;
    }
    if (start < bytes.length) this.parts.push(start ? bytes.subarray(start) : bytes);
    return lines;
  }
}

// A command line to an object with a string "cmd", or null for anything else.
export function parseCommand(line) {
  if (!line.trim()) return null;
  let value;
  try { value = JSON.parse(line); } catch { return null; }
  if (!value || typeof value !== 'object' || Array.isArray(value) || typeof value.cmd !== 'string') return null;
  return value;
}

const hasProc = fs.existsSync('/proc/self/stat');

// The processes started directly by `pid` that still run (Linux /proc; elsewhere `pgrep -P`).
export function childrenOf(pid) {
  if (!hasProc) {
    try {
      return execFileSync('pgrep', ['-P', String(pid)], { encoding: 'utf8' }).split('\n').filter(Boolean).map(Number);
    } catch { return []; }
  }
  const out = [];
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      // The command name may hold spaces and parentheses: fields start after the last ')'.
      const [state, ppid] = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      if (Number(ppid) === pid && state !== 'Z') out.push(Number(entry));
    } catch { /* the process ended while we looked */ }
  }
  return out;
}

// Every live descendant of `pid`, children before grandchildren.
export function descendants(pid = process.pid) {
  return childrenOf(pid).flatMap((child) => [child, ...descendants(child)]);
}

const running = (pid) => {
  if (!hasProc) {
    try { process.kill(pid, 0); return true; } catch { return false; }
  }
  try {
    const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
    return stat[stat.lastIndexOf(')') + 2] !== 'Z';
  } catch { return false; }
};

// When a process started (clock ticks since boot, Linux), so that a number taken earlier is known to
// name the same process later and not one that reused it; null where there is no /proc.
function startTime(pid) {
  if (!hasProc) return null;
  try {
    const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
    return stat.slice(stat.lastIndexOf(')') + 2).split(' ')[19] ?? null;
  } catch { return null; }
}

// Processes named so that they can be ended later with endProcesses even if they have been
// orphaned meanwhile (their parent gone, they are no longer our descendants).
export const snapshot = (pids) => pids.map((pid) => ({ pid, start: startTime(pid) }));

// The processes below this one as they are now, to be ended later with endProcesses.
export const snapshotDescendants = () => snapshot(descendants());

// The same process at two looks: same number, same start.
export const sameProcess = (a, b) => a.pid === b.pid && a.start === b.start;

// Ends the processes of a snapshot that still run: SIGTERM, then SIGKILL for whatever still runs
// after `graceMs`. A number now held by another process is left alone.
export async function endProcesses(snapshot, graceMs = 2000) {
  const same = ({ pid, start }) => running(pid) && startTime(pid) === start;
  const pids = snapshot.filter(same).map((p) => p.pid);
  for (const pid of pids) try { process.kill(pid, 'SIGTERM'); } catch { /* already gone */ }
  const deadline = Date.now() + graceMs;
  while (pids.some(running) && Date.now() < deadline) await new Promise((r) => setTimeout(r, 20));
  for (const p of snapshot.filter(same)) try { process.kill(p.pid, 'SIGKILL'); } catch { /* already gone */ }
}

// Ends every process below this one.
export const endDescendants = (graceMs = 2000) => endProcesses(snapshotDescendants(), graceMs);

// The helper the agent CLI is started through (brinmoor-reaper, next to the sidecar script in
// `dir`): the CLI runs its tools' shells in sessions of their own, which its death would orphan,
// and the helper ends them all before it reports that death. Null when it is missing (a sidecar run
// from its sources): the CLI is then started directly.
export function reaperPath(dir) {
  const file = path.join(dir, 'brinmoor-reaper');
  try { fs.accessSync(file, fs.constants.X_OK); return file; } catch { return null; }
}

// Whether `pid` runs the reaper `reaper` (Linux).
export function isReaper(pid, reaper) {
  if (!reaper || !hasProc) return false;
  try { return fs.realpathSync(`/proc/${pid}/exe`) === fs.realpathSync(reaper); } catch { return false; }
}

// The program a reaper runs: the first child it started, the one that has run longest. Its other
// children are what came back to it: what that program's commands left running on their own (a
// server started with `setsid -f`, a job started with `&` by a shell that has exited).
export function programOf(reaper) {
  let first = null;
  for (const pid of childrenOf(reaper)) {
    const start = Number(startTime(pid));
    if (first === null || start < first.start) first = { pid, start };
  }
  return first?.pid ?? null;
}

// What the program of `reaper` left running on its own, with everything below it.
export const leftRunningBelow = (reaper) => {
  const program = programOf(reaper);
  return childrenOf(reaper).filter((pid) => pid !== program).flatMap((pid) => [pid, ...descendants(pid)]);
};

// Tells a reaper that its program's coming end is ours, whatever it looks like: what is left below
// it then goes on to the session's reaper (the caller has checked that there is one), as when its
// program ends well. The caller ends the command the program runs itself. (brinmoor-reaper takes
// SIGUSR2 for this and does not pass it on.)
export function handOverAtEnd(reaper) {
  try { process.kill(reaper, 'SIGUSR2'); return true; } catch { return false; }
}

// Whether this sidecar runs below the reaper `reaper` (the app starts it so, for as long as the
// sidecar lasts): what an agent's process leaves on ending well then comes back to it, and ends
// with the sidecar. Linux only; elsewhere there is no subreaper to come back to.
export function underSessionReaper(reaper) {
  if (!reaper || !hasProc) return false;
  try { return fs.realpathSync(`/proc/${process.ppid}/exe`) === fs.realpathSync(reaper); } catch { return false; }
}

// Starts `command args` through the reaper, as the Claude SDK's spawn hook: its standard error goes
// to `onStderr` (the SDK reads it only from processes it starts itself).
// Without a reaper (null) the command is started directly, the same way.
export function spawnThroughReaper(reaper, { command, args, cwd, env, signal }, onStderr) {
  const child = reaper ? spawn(reaper, [command, ...args], { cwd, env, signal, stdio: ['pipe', 'pipe', 'pipe'], windowsHide: true })
    : spawn(command, args, { cwd, env, signal, stdio: ['pipe', 'pipe', 'pipe'], windowsHide: true });
  child.stderr.setEncoding('utf8');
  child.stderr.on('data', (text) => onStderr(text));
  child.stderr.on('error', () => {});
  return child;
}

const HISTORY_CHUNK = 100;
// The app drops a line longer than 16 MiB, so none is written: a history goes in chunks of at most
// a quarter of that (a larger message alone), and a message too large for a line is cut with a
// marker.
export const MAX_LINE_BYTES = 16 * 1024 * 1024;

const jsonBytes = (v) => Buffer.byteLength(JSON.stringify(v));
export const sizeText = (bytes) => (bytes >= 1024 * 1024 ? `${(bytes / (1024 * 1024)).toFixed(1)} MB`
  : bytes >= 1024 ? `${(bytes / 1024).toFixed(1)} KB` : `${bytes} bytes`);
export const cutMarker = (bytes) => `\n\n[… ${sizeText(bytes)} more of this message left out: too large to show]`;

// The string slots of a message's blocks that can grow large: texts, and a tool's input values.
function stringSlots(blocks) {
  const slots = [];
  for (const b of blocks) {
    if (typeof b.text === 'string') slots.push({ get: () => b.text, set: (v) => { b.text = v; } });
    if (b.input && typeof b.input === 'object' && !Array.isArray(b.input))
      for (const k of Object.keys(b.input))
        if (typeof b.input[k] === 'string') slots.push({ get: () => b.input[k], set: (v) => { b.input[k] = v; } });
  }
  return slots;
}

// A message's blocks made to fit `budget` bytes of JSON. The longest strings are cut at their end,
// each followed by a marker saying how much of it was left out; if that is not enough (thousands of
// small blocks), trailing blocks go and one last text block says how many. Blocks that fit come
// back as they are.
export function fitBlocks(blocks, budget) {
  let size = jsonBytes(blocks);
  if (size <= budget) return blocks;
  const out = blocks.map((b) => ({ ...b, ...(b.input && typeof b.input === 'object' ? { input: { ...b.input } } : {}) }));
  // A string may be cut more than once (the first cut's estimate can fall short where the text
  // is costly to escape): each cut starts again from the whole string, so the one marker it ends
  // with counts everything left out of it, not only the last cut.
  const slots = stringSlots(out).map((slot) => ({ ...slot, whole: slot.get(), kept: slot.get().length, spent: false }));
  for (let round = 0; size > budget && round < 8; ++round) {
    const slot = slots.filter((s) => !s.spent).sort((a, b) => b.get().length - a.get().length)[0];
    if (!slot || slot.get().length < 256) break;
    const text = slot.whole.slice(0, slot.kept);
    const textBytes = jsonBytes(text);
    // Each cut keeps at least a quarter of the budget, so that two long texts both keep a part.
    const keepBytes = Math.min(textBytes, Math.max(textBytes - (size - budget) - 256, Math.floor(budget / 4)));
    let keep = Math.floor(text.length * (keepBytes / textBytes));
    const code = text.charCodeAt(keep - 1);
    if (keep > 0 && code >= 0xd800 && code <= 0xdbff) keep -= 1;
    if (keep >= slot.kept) {
      slot.spent = true; // as short as its share allows: another cut would only add a marker
      continue;
    }
    slot.kept = keep;
    slot.set(slot.whole.slice(0, keep) + cutMarker(Buffer.byteLength(slot.whole.slice(keep))));
    size = jsonBytes(out);
  }
  let dropped = 0;
  if (size > budget) {
    const sizes = out.map(jsonBytes);
    while (size > budget - 200 && out.length > 1) {
      size -= sizes.pop() + 1;
      out.pop();
      dropped += 1;
    }
  }
  if (dropped) out.push({ type: 'text', text: `[… ${dropped} more blocks of this message left out: too large to show]` });
  return out;
}
const INTERRUPT_GRACE_MS = 15000;
const CLOSE_GRACE_MS = 2000;
// How long a turn under way at shutdown gets to end after its interrupt (the app's own grace for
// the whole shutdown is 4 s).
const QUIT_INTERRUPT_GRACE_MS = 1500;

// Runs one sidecar. `makeAdapter(core)` returns the provider's handlers:
//   start(cmd), runTurn(cmd) (for "user" and "compact"; must end with core.endTurn), interrupt(),
//   setPermissionMode(mode), setModel(model), setEffort(effort: '' for the agent's default),
//   history(cmd) -> messages, listSessions(cmd) -> items,
//   usage() -> usage fields, close(); and optionally endUnresponsive() -> the turn's closing words,
//   for an agent that did not end its turn within the grace after an interrupt.
export function runSidecar(makeAdapter, io = {}) {
  const input = io.input ?? process.stdin;
  const exit = io.exit ?? ((code) => process.exit(code));
  const errOut = io.stderr ?? process.stderr;
  const maxLine = io.maxLineBytes ?? MAX_LINE_BYTES;
  let writeOut = io.output ? (s, done) => io.output.write(s, done) : null;

  if (!io.output) {
    // Only our own lines may reach stdout: libraries that print go to stderr instead.
    const real = process.stdout.write.bind(process.stdout);
    writeOut = real;
    process.stdout.write = (chunk, ...rest) => process.stderr.write(chunk, ...rest);
    for (const name of ['log', 'info', 'debug']) console[name] = (...a) => console.error(...a);
    process.stdout.on('error', () => shutdown('stdout closed'));
  }

  const log = (text) => { try { errOut.write(`${text}\n`); } catch { /* nowhere to report */ } };

  let closing = false;
  function emit(ev, fields = {}) {
    if (closing) return;
    let line = JSON.stringify({ ev, ...fields });
    if (line.length * 3 >= maxLine && Buffer.byteLength(line) >= maxLine) {
      const bytes = Buffer.byteLength(line);
      if (Array.isArray(fields.blocks))
        line = JSON.stringify({ ev, ...fields, blocks: fitBlocks(fields.blocks, maxLine - 4096 - (bytes - jsonBytes(fields.blocks))) });
      if (Buffer.byteLength(line) >= maxLine) {
        // Nothing left to cut: the app is told what it misses instead of missing it in silence.
        log(`left out a "${ev}" event of ${bytes} bytes`);
        line = JSON.stringify({ ev: 'assistant', tokensIn: 0, tokensOut: 0,
          blocks: [{ type: 'text', text: `[… a "${ev}" event of ${sizeText(bytes)} left out: too large to pass on]` }] });
      }
    }
    try { writeOut(`${line}\n`); } catch { /* reader gone */ }
  }

  // One prompt at a time: the app shows a single pending card, so later requests wait their turn.
  let promptSeq = 0;
  let current = null;
  const waiting = [];
  function ask(kind, payload, signal) {
    return new Promise((resolve) => {
      const prompt = { kind, id: `${kind === 'permission' ? 'perm' : 'ask'}-${++promptSeq}`, payload, resolve };
      if (signal) {
        signal.addEventListener('abort', () => settle(prompt, null), { once: true });
        if (signal.aborted) return resolve(null);
      }
      waiting.push(prompt);
      showNext();
    });
  }
  function showNext() {
    if (current || !waiting.length || closing) return;
    current = waiting.shift();
    emit(current.kind === 'permission' ? 'permission_request' : 'question', { id: current.id, ...current.payload });
  }
  function settle(prompt, reply) {
    const at = waiting.indexOf(prompt);
    if (at >= 0) waiting.splice(at, 1);
    if (current === prompt) current = null;
    prompt.resolve(reply);
    showNext();
  }
  function reply(kind, id, value) {
    if (current && current.kind === kind && current.id === id) settle(current, value);
    else log(`no pending ${kind} with id ${id}`);
  }
  function cancelPrompts() {
    const all = [...(current ? [current] : []), ...waiting];
    current = null;
    waiting.length = 0;
    for (const p of all) p.resolve(null);
  }

  // Turns run one after another, and each ends with exactly one "result" or "error".
  const turns = [];
  let inFlight = null;
  let interruptTimer = null;
  const turnEndWaiters = [];
  function pumpTurns() {
    if (inFlight || !turns.length || closing || !started) return;
    inFlight = turns.shift();
    const turn = inFlight;
    Promise.resolve()
      .then(() => { turn.running = true; return adapter.runTurn(turn); })
      .catch((e) => endTurn('error', { message: errorText(e) }, turn));
  }
  // `turn` is the command the adapter was given: a late result of an earlier turn ends nothing.
  function endTurn(kind, fields, turn = inFlight) {
    if (!inFlight || turn !== inFlight || !turn.running) return false;
    inFlight = null;
    clearTimeout(interruptTimer);
    cancelPrompts();
    emit(kind, fields);
    for (const wake of turnEndWaiters.splice(0)) wake();
    pumpTurns();
    return true;
  }
  function failAllTurns(message) {
    if (inFlight) { inFlight.running = true; endTurn('error', { message }); }
    while (turns.length) { turns.shift(); emit('error', { message }); }
  }

  let started = false;
  let startCmd = null;
  let ready = null;
  const core = {
    emit, ask, log, endTurn, failAllTurns,
    get turnActive() { return inFlight !== null; },
    get startCommand() { return startCmd; },
    shutdown: (why) => shutdown(why),
    // Chunks of at most HISTORY_CHUNK messages and a quarter of a line's bytes, or one larger
    // message alone; a message too large for a line of its own is cut to fit.
    emitHistory(messages) {
      const chunkBytes = Math.floor(maxLine / 4);
      const messageBytes = maxLine - Math.min(64 * 1024, Math.floor(maxLine / 8));
      const chunks = [];
      let chunk = [];
      let bytes = 0;
      for (const m of messages) {
        const blocks = Array.isArray(m.blocks) ? fitBlocks(m.blocks, messageBytes) : m.blocks;
        const message = blocks === m.blocks ? m : { ...m, blocks };
        const size = jsonBytes(message) + 1;
        if (chunk.length && (chunk.length >= HISTORY_CHUNK || bytes + size > chunkBytes)) {
          chunks.push(chunk);
          chunk = [];
          bytes = 0;
        }
        chunk.push(message);
        bytes += size;
      }
      if (chunk.length || !chunks.length) chunks.push(chunk);
      if (chunks.length === 1) return emit('history', { messages: chunks[0] });
      emit('history_start');
      for (const c of chunks) emit('history_chunk', { messages: c });
      emit('history_end');
    },
  };
  const adapter = makeAdapter(core);

  function background(what, fn) {
    (ready ?? Promise.resolve()).then(fn).catch((e) => log(`${what}: ${errorText(e)}`));
  }

  function handle(cmd) {
    if (closing) return;
    switch (cmd.cmd) {
      case 'start':
        if (startCmd) return log('ignoring a second start');
        startCmd = cmd;
        ready = Promise.resolve()
          .then(() => adapter.start(cmd))
          .catch((e) => {
            core.startError = errorText(e);
            log(`start failed: ${core.startError}`);
            emit('error', { message: core.startError });
          })
          .finally(() => { started = true; pumpTurns(); });
        return;
      case 'user':
      case 'compact':
        turns.push(cmd);
        if (core.startError && started) failAllTurns(core.startError);
        else pumpTurns();
        return;
      case 'permission':
        return reply('permission', cmd.id, cmd.decision === 'allow' ? 'allow' : 'deny');
      case 'answer':
        return reply('question', cmd.id, cmd.answers && typeof cmd.answers === 'object' ? cmd.answers : {});
      case 'interrupt': {
        if (!inFlight) return;
        const turn = inFlight;
        cancelPrompts();
        Promise.resolve().then(() => adapter.interrupt()).catch((e) => log(`interrupt: ${errorText(e)}`));
        // An agent that ignores the interrupt still must not leave the turn open. One that the
        // adapter can end (a hung CLI) is ended, with its commands, before the turn ends: left
        // running, it would go on with the command and never take the next message.
        clearTimeout(interruptTimer);
        interruptTimer = setTimeout(async () => {
          let message = 'Interrupted';
          if (inFlight === turn && adapter.endUnresponsive) {
            try { message = (await adapter.endUnresponsive()) || message; } catch (e) { log(`ending the agent: ${errorText(e)}`); }
          }
          endTurn('error', { message }, turn);
        }, io.interruptGraceMs ?? INTERRUPT_GRACE_MS);
        return;
      }
      case 'set_permission_mode':
        if (typeof cmd.mode === 'string') background('set_permission_mode', () => adapter.setPermissionMode(cmd.mode));
        return;
      case 'set_model':
        background('set_model', () => adapter.setModel(typeof cmd.model === 'string' ? cmd.model : ''));
        return;
      case 'set_effort':
        background('set_effort', () => adapter.setEffort(typeof cmd.effort === 'string' ? cmd.effort : ''));
        return;
      case 'history':
        background('history', async () => {
          let messages = [];
          try { messages = (await adapter.history(cmd)) ?? []; } catch (e) { log(`history: ${errorText(e)}`); }
          core.emitHistory(messages);
        });
        return;
      case 'list_sessions':
        background('list_sessions', async () => {
          let items = [];
          try { items = (await adapter.listSessions(cmd)) ?? []; } catch (e) { log(`list_sessions: ${errorText(e)}`); }
          emit('sessions_list', { items });
        });
        return;
      case 'get_usage':
        // Exactly one "usage" line per request, whatever the adapter does.
        background('get_usage', async () => {
          let usage = {};
          try { usage = (await adapter.usage()) ?? {}; } catch (e) { log(`usage: ${errorText(e)}`); usage = {}; }
          emit('usage', { available: false, metrics: [], ...usage });
        });
        return;
      case 'quit':
        shutdown('quit');
        return;
      default:
        log(`unknown command ${JSON.stringify(cmd.cmd)}`);
    }
  }

  async function shutdown(why) {
    if (closing) return;
    log(`sidecar ending: ${why}`);
    closing = true;
    // A turn waiting on the user is interrupted and given a moment to end before the agent is
    // closed: closed with a permission request open, the CLI took the request as failed (a
    // refusal, stored as such) and went on to call the model again, a paid call nobody would see.
    // Interrupted, it withdraws the request, marks the call as cut and calls nothing more. (A turn
    // that is streaming or running a tool just ends with the agent, as a cut turn.)
    if (inFlight?.running && (current || waiting.length)) {
      const ended = new Promise((r) => turnEndWaiters.push(r));
      Promise.resolve().then(() => adapter.interrupt()).catch((e) => log(`interrupt: ${errorText(e)}`));
      await Promise.race([ended, new Promise((r) => setTimeout(r, io.quitInterruptGraceMs ?? QUIT_INTERRUPT_GRACE_MS).unref?.())]);
    }
    cancelPrompts();
    const closed = Promise.resolve().then(() => adapter.close()).catch(() => {});
    await Promise.race([closed, new Promise((r) => setTimeout(r, CLOSE_GRACE_MS).unref?.())]);
    // Whatever the SDK left behind (the agent CLI and its children) goes with us.
    await endDescendants();
    // Pipes may be asynchronous (macOS): exit only once the last line has gone out.
    await new Promise((r) => {
      setTimeout(r, 500).unref?.();
      try { writeOut(`${JSON.stringify({ ev: 'closed' })}\n`, () => r()); } catch { r(); }
    });
    exit(0);
  }

  const splitter = new LineSplitter();
  input.on('data', (chunk) => {
    for (const line of splitter.feed(chunk)) {
      const cmd = parseCommand(line);
      if (cmd) handle(cmd);
      else if (line.trim()) log(`ignoring a line that is no command: ${line.slice(0, 200)}`);
    }
  });
  input.on('end', () => shutdown('end of input'));
  input.on('error', () => shutdown('input error'));
  if (!io.input) {
    for (const sig of ['SIGTERM', 'SIGINT', 'SIGHUP']) process.on(sig, () => shutdown(sig));
    // A crash (an exception nobody caught) skips the shutdown above: whatever still runs below
    // the sidecar is killed as it exits, so no agent CLI goes on without it.
    process.on('exit', () => {
      for (const pid of descendants()) try { process.kill(pid, 'SIGKILL'); } catch { /* gone */ }
    });
  }
  return core;
}

export function errorText(e) {
  if (e instanceof Error) return e.message || e.name;
  return typeof e === 'string' ? e : JSON.stringify(e);
}
