// The sidecars' protocol core with a scripted adapter: framing, prompts, turns, usage, shutdown.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { PassThrough } from 'node:stream';
import { spawn } from 'node:child_process';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { runSidecar, LineSplitter, cutMarker } from '../../../resources/sidecar/src/protocol.mjs';
import { repoRoot, alive } from './support/agents.mjs';

function harness(adapter, io = {}) {
  const input = new PassThrough();
  const output = new PassThrough();
  const events = [];
  let waiters = [];
  let buffered = '';
  output.on('data', (d) => {
    buffered += d;
    const lines = buffered.split('\n');
    buffered = lines.pop();
    for (const l of lines) events.push(JSON.parse(l));
    waiters = waiters.filter((w) => !w());
  });
  let exitCode = null;
  const exited = new Promise((r) => { io.exit = (code) => { exitCode = code; r(code); }; });
  const core = runSidecar(() => adapter, { input, output, stderr: new PassThrough(), ...io });
  const until = (pred) => new Promise((r) => { const w = () => pred(events) && (r(events), true); if (!w()) waiters.push(w); });
  const send = (...cmds) => input.write(cmds.map((c) => `${JSON.stringify(c)}\n`).join(''));
  return { input, events, until, send, core, exited, get exitCode() { return exitCode; } };
}

const deferred = () => { let resolve; const promise = new Promise((r) => { resolve = r; }); return { promise, resolve }; };

test('line framing: split and joined commands, garbage skipped, one event per line', async () => {
  const splitter = new LineSplitter();
  assert.deepEqual(splitter.feed(Buffer.from('{"a":')), []);
  assert.deepEqual(splitter.feed(Buffer.from('1}\n\n{"b"')), ['{"a":1}', '']);
  assert.deepEqual(splitter.feed(Buffer.from(':2}\n')), ['{"b":2}']);
  // A multi-byte character cut between two reads stays whole.
  const bytes = Buffer.from('"é"\n');
  assert.deepEqual([...splitter.feed(bytes.subarray(0, 2)), ...splitter.feed(bytes.subarray(2))], ['"é"']);

  const asked = [];
  const h = harness({ start() {}, listSessions: (c) => { asked.push(c.cwd); return [{ id: 'x', summary: 's', lastModified: 1 }]; } });
  h.input.write('{"cmd":"start","cwd":"/w"}\nnot json\n[1,2]\n{"nocmd":1}\n\xff\xfe\n{"cmd":"list_se');
  h.input.write('ssions","cwd":"/a"}\n{"cmd":"list_sessions","cwd":"/b"}\n{"cmd":"bogus"}\n');
  await h.until((e) => e.length === 2);
  assert.deepEqual(asked, ['/a', '/b']);
  assert.deepEqual(h.events[0], { ev: 'sessions_list', items: [{ id: 'x', summary: 's', lastModified: 1 }] });
});

test('line framing is linear: a long line read in many chunks is copied once, whatever their number', () => {
  // A 24 MB line in 64 KB reads, as a message with big images arrives through a pipe, then a short
  // one. Every byte the splitter copies is counted: joining all that is held at each read copies
  // the line some 190 times over.
  const concat = Buffer.concat;
  let copied = 0;
  Buffer.concat = (list, ...rest) => { const out = concat.call(Buffer, list, ...rest); copied += out.length; return out; };
  try {
    for (const size of [64 * 1024, 4096, 1]) {
      copied = 0;
      const splitter = new LineSplitter();
      const line = Buffer.alloc(24 * 1024 * 1024, 0x61);
      const got = [];
      for (let at = 0; at < line.length; at += 64 * 1024) got.push(...splitter.feed(line.subarray(at, at + 64 * 1024)));
      got.push(...splitter.feed(Buffer.from('\n{"b":2}\n' + 'c'.repeat(size))));
      assert.equal(got.length, 2);
      assert.equal(got[0].length, line.length);
      assert.equal(got[1], '{"b":2}');
      assert.ok(copied <= line.length + size + 64 * 1024, `copied ${copied} bytes for a line of ${line.length}`);
      assert.deepEqual(splitter.feed(Buffer.from('\n')), ['c'.repeat(size)]);
    }
  } finally {
    Buffer.concat = concat;
  }
});

test('one prompt at a time: later requests wait, stale answers are ignored, a turn end cancels what is left', async () => {
  const replies = [];
  const done = deferred();
  const h = harness({
    start() {},
    async runTurn() {
      const [a, b, c] = await Promise.all([h.core.ask('permission', { tool: 'Bash', input: { command: 'ls' } }),
        h.core.ask('question', { questions: [{ question: 'Which?' }] }),
        h.core.ask('permission', { tool: 'Write', input: {} }).then((r) => { done.resolve(); return r; })]);
      replies.push(a, b, c);
    },
  }, { interruptGraceMs: 1 });
  h.send({ cmd: 'start' }, { cmd: 'user', text: 'go' });
  await h.until((e) => e.length === 1);
  assert.deepEqual(h.events[0], { ev: 'permission_request', id: h.events[0].id, tool: 'Bash', input: { command: 'ls' } });
  h.send({ cmd: 'answer', id: h.events[0].id, answers: { Which: 'x' } }); // wrong kind: ignored
  h.send({ cmd: 'permission', id: 'nope', decision: 'allow' }); // unknown id: ignored
  h.send({ cmd: 'permission', id: h.events[0].id, decision: 'allow' });
  await h.until((e) => e.length === 2);
  assert.equal(h.events[1].ev, 'question');
  h.send({ cmd: 'answer', id: h.events[1].id, answers: { 'Which?': 'that one' } });
  await h.until((e) => e.length === 3);
  assert.equal(h.events[2].tool, 'Write');
  h.send({ cmd: 'interrupt' }); // cancels the outstanding prompt
  await done.promise;
  await h.until((e) => e.length === 4);
  assert.deepEqual(replies, ['allow', { 'Which?': 'that one' }, null]);
  assert.deepEqual(h.events[3], { ev: 'error', message: 'Interrupted' });
});

test('turns run one after another and end with exactly one result or error, interrupted or not', async () => {
  const started = [];
  let hangs = false;
  const h = harness({
    start() {},
    runTurn(cmd) {
      started.push(cmd.text ?? cmd.cmd);
      if (cmd.text === 'boom') throw new Error('the agent failed');
      if (cmd.text === 'hang') { hangs = true; return; }
      setImmediate(() => { h.core.endTurn('result', { costUsd: 1 }); h.core.endTurn('result', { costUsd: 2 }); });
    },
    interrupt() {},
  }, { interruptGraceMs: 10 });
  h.send({ cmd: 'user', text: 'early' }, { cmd: 'start' }, { cmd: 'user', text: 'boom' }, { cmd: 'compact' }, { cmd: 'user', text: 'hang' });
  await h.until((e) => e.length === 3);
  await new Promise((r) => setImmediate(r));
  assert.ok(hangs);
  assert.deepEqual(started, ['early', 'boom', 'compact', 'hang'], 'queued until start, then in order');
  h.send({ cmd: 'interrupt' });
  await h.until((e) => e.length === 4);
  assert.deepEqual(h.events, [{ ev: 'result', costUsd: 1 }, { ev: 'error', message: 'the agent failed' },
    { ev: 'result', costUsd: 1 }, { ev: 'error', message: 'Interrupted' }]);
  h.send({ cmd: 'interrupt' }); // no turn: nothing is emitted
  h.send({ cmd: 'get_usage' });
  await h.until((e) => e.length === 5);
  assert.equal(h.events[4].ev, 'usage');
});

// An agent that does not end its turn within the grace after an interrupt is ended by its adapter,
// whose words close the turn; one that ends it in time is not; an adapter that cannot end it (or
// fails to) leaves the plain "Interrupted".
test('past the interrupt grace the adapter ends an agent that did not answer, and says so', async () => {
  const rows = [
    { name: 'answers in time', answers: true, end: async () => 'ended', want: { ev: 'error', message: 'Interrupted by the agent' }, ended: 0 },
    { name: 'does not answer', answers: false, end: async () => 'The agent had to be ended.', want: { ev: 'error', message: 'The agent had to be ended.' }, ended: 1 },
    { name: 'ending fails', answers: false, end: async () => { throw new Error('no'); }, want: { ev: 'error', message: 'Interrupted' }, ended: 1 },
    { name: 'nothing to end', answers: false, end: undefined, want: { ev: 'error', message: 'Interrupted' }, ended: 0 },
  ];
  for (const row of rows) {
    let ended = 0;
    const h = harness({
      start() {},
      runTurn() {},
      interrupt() { if (row.answers) setImmediate(() => h.core.endTurn('error', { message: 'Interrupted by the agent' })); },
      ...(row.end ? { endUnresponsive: () => { ended += 1; return row.end(); } } : {}),
    }, { interruptGraceMs: 20 });
    h.send({ cmd: 'start' }, { cmd: 'user', text: 'go' });
    await new Promise((r) => setImmediate(r));
    h.send({ cmd: 'interrupt' });
    await h.until((e) => e.length === 1);
    assert.deepEqual(h.events, [row.want], row.name);
    assert.equal(ended, row.ended, row.name);
  }
});

test('get_usage answers exactly one usage line even when the adapter fails; history comes in chunks when long', async () => {
  let fail = true;
  const many = Array.from({ length: 250 }, (_, i) => ({ role: 'user', blocks: [{ type: 'text', text: `m${i}` }] }));
  const h = harness({
    start() {},
    usage() { if (fail) throw new Error('no account'); return { available: true, email: 'a@b.c', metrics: [{ label: 'L', percent: 5 }] }; },
    history: (c) => (c.sessionId === 'long' ? many : [many[0]]),
  });
  h.send({ cmd: 'start' }, { cmd: 'get_usage' });
  await h.until((e) => e.length === 1);
  fail = false;
  h.send({ cmd: 'get_usage' }, { cmd: 'history', sessionId: 'short' });
  await h.until((e) => e.length === 3);
  h.send({ cmd: 'history', sessionId: 'long' });
  await h.until((e) => e.at(-1).ev === 'history_end');
  assert.deepEqual(h.events[0], { ev: 'usage', available: false, metrics: [] });
  assert.deepEqual(h.events[1], { ev: 'usage', available: true, email: 'a@b.c', metrics: [{ label: 'L', percent: 5 }] });
  assert.deepEqual(h.events[2], { ev: 'history', messages: [many[0]] });
  assert.deepEqual(h.events.slice(3).map((e) => `${e.ev}${e.messages ? e.messages.length : ''}`),
    ['history_start', 'history_chunk100', 'history_chunk100', 'history_chunk50', 'history_end']);
  assert.deepEqual(h.events.slice(4, 7).flatMap((e) => e.messages), many);
});

test('a failed start is reported, and later messages end with an error instead of hanging', async () => {
  const h = harness({ start() { throw new Error('Codex not found'); }, runTurn() { throw new Error('no agent'); } });
  h.send({ cmd: 'start' }, { cmd: 'user', text: 'hi' });
  await h.until((e) => e.length === 2);
  assert.deepEqual(h.events.map((e) => e.ev), ['error', 'error']);
  assert.equal(h.events[0].message, 'Codex not found');
});

test('quit and end of input close the adapter, report closed and exit', async () => {
  for (const stop of [(h) => h.send({ cmd: 'quit' }), (h) => h.input.end()]) {
    let closed = 0;
    const h = harness({ start() {}, close() { closed++; } });
    h.send({ cmd: 'start' });
    stop(h);
    assert.equal(await h.exited, 0);
    assert.equal(closed, 1);
    assert.deepEqual(h.events, [{ ev: 'closed' }]);
  }
});

// A real sidecar process: library output stays off stdout, and SIGTERM takes its children along;
// so does a crash (an exception nobody caught), which skips the orderly shutdown.
test('stdout carries only protocol lines; SIGTERM or a crash ends the sidecar and its children', async () => {
  const core = pathToFileURL(path.join(repoRoot, 'resources/sidecar/src/protocol.mjs')).href;
  const script = `
    import { spawn } from 'node:child_process';
    import { runSidecar } from '${core}';
    runSidecar((core) => ({
      start() { console.log('chatty library'); process.stdout.write('raw write\\n'); const c = spawn('sleep', ['300'], { stdio: 'ignore' });
                core.emit('log', { text: String(c.pid) }); },
      runTurn() {},
      interrupt() { setTimeout(() => { throw new Error('crash'); }); },
    }));`;
  for (const [end, exitCode, events] of [['SIGTERM', 0, ['log', 'closed']], ['crash', 1, ['log']]]) {
    const child = spawn(process.execPath, ['--input-type=module', '-e', script], { stdio: ['pipe', 'pipe', 'pipe'] });
    let out = '';
    let err = '';
    child.stderr.on('data', (d) => { err += d; });
    child.stdin.write('{"cmd":"start","cwd":"/"}\n');
    const sleeper = await new Promise((resolve) => child.stdout.on('data', (d) => {
      out += d;
      const m = out.match(/"text":"(\d+)"/);
      if (m) resolve(Number(m[1]));
    }));
    assert.ok(alive(sleeper));
    if (end === 'SIGTERM') child.kill('SIGTERM');
    else child.stdin.write('{"cmd":"user"}\n{"cmd":"interrupt"}\n');
    const code = await new Promise((r) => child.on('exit', r));
    assert.equal(code, exitCode, end);
    assert.deepEqual(out.trim().split('\n').map((l) => JSON.parse(l).ev), events, end);
    assert.match(err, /chatty library[\s\S]*raw write/);
    assert.equal(alive(sleeper), false, end);
  }
});

test('no line over the cap: a long history goes in byte-bounded chunks, a message too large is cut with a marker', async () => {
  const maxLineBytes = 64 * 1024;
  const big = 'é'.repeat(100 * 1024);  // 200 KB of text, far over the cap
  const history = [
    ...Array.from({ length: 30 }, (_, i) => ({ role: 'user', blocks: [{ type: 'text', text: `${i}:${'x'.repeat(3000)}` }] })),
    { role: 'assistant', blocks: [{ type: 'text', text: big }, { type: 'tool_use', id: 't', name: 'Write', input: { content: big } }] },
  ];
  const h = harness({ start() {}, history: () => history }, { maxLineBytes });
  h.send({ cmd: 'start' }, { cmd: 'history', sessionId: 's' });
  await h.until((e) => e.at(-1)?.ev === 'history_end');
  for (const e of h.events) assert.ok(Buffer.byteLength(JSON.stringify(e)) < maxLineBytes);
  // Thirty messages of 3 KB make chunks of at most a quarter line; the large one goes alone.
  assert.deepEqual(h.events.filter((e) => e.ev === 'history_chunk').map((e) => e.messages.length), [5, 5, 5, 5, 5, 5, 1]);
  const messages = h.events.filter((e) => e.ev === 'history_chunk').flatMap((e) => e.messages);
  assert.deepEqual(messages.slice(0, 30), history.slice(0, 30));
  const [text, tool] = messages[30].blocks;
  assert.ok(big.startsWith(text.text.split('\n\n[…')[0]) && text.text.length > 1000);
  assert.match(text.text, /\n\n\[… \d+\.\d KB more of this message left out: too large to show\]$/);
  assert.match(tool.input.content, /left out: too large to show\]$/);

  // A streamed event too long for one line is cut the same way.
  h.core.emit('assistant', { blocks: [{ type: 'text', text: big }], tokensIn: 1, tokensOut: 2 });
  await h.until((e) => e.at(-1).ev === 'assistant');
  const last = h.events.at(-1);
  assert.ok(Buffer.byteLength(JSON.stringify(last)) < maxLineBytes);
  assert.equal(last.tokensOut, 2);
  assert.match(last.blocks[0].text, /KB more of this message left out/);
});

test('a text cut more than once to fit still counts, in its one marker, everything left out of it', async () => {
  const maxLineBytes = 64 * 1024;
  // Control characters cost six bytes each in JSON: a cut measured on the whole text's average
  // keeps too many of them, and the text is cut a second time.
  const texts = [`${'\u0001'.repeat(20000)}${'a'.repeat(200000)}`, `${'"'.repeat(30000)}${'é'.repeat(150000)}`];
  const h = harness({ start() {} }, { maxLineBytes });
  h.send({ cmd: 'start' });
  for (const [i, text] of texts.entries()) {
    h.core.emit('assistant', { blocks: [{ type: 'text', text }], tokensIn: 0, tokensOut: 0 });
    await h.until((e) => e.length === i + 1);
    const shown = h.events.at(-1).blocks[0].text;
    assert.ok(Buffer.byteLength(JSON.stringify(h.events.at(-1))) < maxLineBytes);
    const [kept, marker, ...rest] = shown.split('\n\n[… ');
    assert.deepEqual(rest, [], 'one marker');
    assert.ok(text.startsWith(kept) && kept.length > 1000);
    assert.equal(`[… ${marker}`, cutMarker(Buffer.byteLength(text) - Buffer.byteLength(kept)).trimStart());
  }
});
