// A scripted stand-in for our sidecars, for the app's session logic: it appends every line it
// receives to $FAKE_SIDECAR_LOG and answers each command from $FAKE_SIDECAR_SCRIPT, a JSON object
// mapping a command name to a list of answers, one per occurrence of that command:
//   { "user": [[{ "ev": {...} }, { "raw": "half a li" }, { "pause": 30 }, { "raw": "ne\n" }], ...] }
// An answer is a list of actions: "ev" writes one event line, "raw" writes bytes as given (garbage
// and split lines), "longLine" writes one line of that many bytes ("x" after "x"), "pause" waits before the next action (so the app reads separate chunks),
// "exit" ends with that code, "crash" kills the process. "quit" and the end of input end it
// after a "closed" line, as the real sidecars do, unless $FAKE_SIDECAR_STUBBORN is set: then it
// starts a child of its own (the stand-in for an agent CLI) and ignores "quit", the end of its
// input and SIGTERM, so only killing its process group ends it. With $FAKE_SIDECAR_TREE set it
// starts, as an agent CLI does mid-turn, a child in its own group running a grandchild in a
// session of its own (the CLI's tool shell), neither of which ends with the sidecar. With
// $FAKE_SIDECAR_SERVER naming a file it starts, in a session of its own, a stand-in for a server
// the agent left running: it writes "ready" to that file, and "TERM" when SIGTERM reaches it,
// then takes a moment to close.
import { spawn } from 'node:child_process';
import fs from 'node:fs';

const log = process.env.FAKE_SIDECAR_LOG;
const script = process.env.FAKE_SIDECAR_SCRIPT ? JSON.parse(fs.readFileSync(process.env.FAKE_SIDECAR_SCRIPT, 'utf8')) : {};
const seen = {};

async function run(actions) {
  for (const a of actions) {
    if (a.ev) process.stdout.write(`${JSON.stringify(a.ev)}\n`);
    if (a.raw !== undefined) process.stdout.write(a.raw);
    if (a.longLine) process.stdout.write(`${'x'.repeat(a.longLine)}\n`);
    if (a.pause) await new Promise((r) => setTimeout(r, a.pause));
    // What was written goes out first: a large write may still be queued for the pipe.
    if (a.exit !== undefined) await new Promise((r) => process.stdout.write('', r)).then(() => process.exit(a.exit));
    if (a.crash) process.kill(process.pid, 'SIGKILL');
  }
}

const stubborn = !!process.env.FAKE_SIDECAR_STUBBORN;
if (stubborn) {
  spawn('sleep', ['1000'], { stdio: 'ignore' });
  process.on('SIGTERM', () => {});
}

if (process.env.FAKE_SIDECAR_TREE)
  spawn('sh', ['-c', 'setsid sleep 1001 & exec sleep 1000'], { stdio: 'ignore' });

if (process.env.FAKE_SIDECAR_SERVER)
  spawn('setsid', ['sh', '-c', 'trap \'echo TERM >> "$0"; sleep 0.2; exit 0\' TERM; echo ready >> "$0"; while :; do sleep 0.05; done',
    process.env.FAKE_SIDECAR_SERVER], { stdio: 'ignore' });

const quit = () => stubborn ? undefined : process.stdout.write(`${JSON.stringify({ ev: 'closed' })}\n`, () => process.exit(0));

let chain = Promise.resolve();
// Lines are joined from the chunks they came in once their line feed arrives: a message with big
// images is a line of hundreds of megabytes.
let parts = [];
process.stdin.on('data', (chunk) => {
  let start = 0;
  for (let nl = chunk.indexOf(10); nl >= 0; nl = chunk.indexOf(10, start)) {
    parts.push(chunk.subarray(start, nl));
    const line = Buffer.concat(parts).toString('utf8');
    parts = [];
    start = nl + 1;
    if (log) fs.appendFileSync(log, `${line}\n`);
    let cmd = null;
    try { cmd = JSON.parse(line).cmd; } catch { /* logged, not answered */ }
    if (cmd === 'quit') { chain = chain.then(quit); continue; }
    const n = seen[cmd] = (seen[cmd] ?? 0) + 1;
    const answer = script[cmd]?.[n - 1];
    if (answer) chain = chain.then(() => run(answer));
  }
  if (start < chunk.length) parts.push(chunk.subarray(start));
});
process.stdin.on('end', () => { chain = chain.then(quit); });
