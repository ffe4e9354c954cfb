// The Codex sidecar bundle on the real Codex CLI, talking to our fake Responses server.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import { writeCodexConfig } from '../fakes/codex-config.mjs';
import { startOpenAIServer, callOutputs } from '../fakes/openai-server.mjs';
import { Sidecar, codexBinary, tempDir, descendants, alive, until, killCliRunning, argsOf, recordingServer } from './support/agents.mjs';

let codex, server, home, work;
before(async () => {
  codex = codexBinary();
  server = await startOpenAIServer();
  home = tempDir('codex-home');
  work = tempDir('codex-work');
  writeCodexConfig(path.join(home, '.codex'), server.url);
});
after(async () => {
  await server?.close();
  for (const d of [home, work]) if (d) fs.rmSync(d, { recursive: true, force: true });
});

const env = () => ({ ...process.env, HOME: home, CODEX_HOME: path.join(home, '.codex'), FAKE_OPENAI_KEY: 'test' });
function open(extra = {}) {
  const car = new Sidecar('codex-agent.mjs', { cwd: work, env: env() });
  car.send({ cmd: 'start', cwd: work, permissionMode: 'default', binPath: codex, ...extra });
  return car;
}

let thread;
test('a turn runs a command and reports its output and usage; a resumed thread keeps its history', async () => {
  server.push(
    { reasoning: 'I should run it', call: { name: 'exec_command', arguments: { cmd: 'echo hello-from-codex' } }, usage: { input_tokens: 120, output_tokens: 30 } },
    { text: 'It printed hello.', usage: { input_tokens: 150, output_tokens: 12 } },
  );
  let car = open();
  try {
    car.send({ cmd: 'user', text: 'run the echo', attachments: [] });
    thread = (await car.next('session')).id;
    const call = await car.next((e) => e.ev === 'assistant' && e.blocks.some((b) => b.type === 'tool_use'));
    assert.equal(call.blocks.find((b) => b.type === 'tool_use').name, 'Bash');
    assert.match(call.blocks.find((b) => b.type === 'tool_use').input.command, /echo hello-from-codex/);
    const output = await car.next((e) => e.ev === 'assistant' && e.blocks.some((b) => b.type === 'tool_result'));
    assert.equal(output.blocks.find((b) => b.type === 'tool_result').text.trim(), 'hello-from-codex');
    await car.next((e) => e.ev === 'assistant' && e.blocks[0]?.text === 'It printed hello.');
    const result = await car.next('result');
    assert.match(callOutputs(server.requests.at(-1).body)[0].output, /hello-from-codex/);
    assert.deepEqual([result.isError, result.tokensIn, result.tokensOut], [false, 270, 42]);
    car.send({ cmd: 'quit' });
    assert.deepEqual(await car.exited, { code: 0, signal: null });
  } finally {
    car.kill();
  }

  server.push({ text: 'Still here' });
  car = open({ resume: thread });
  try {
    car.send({ cmd: 'history', sessionId: thread, cwd: work });
    const history = await car.next('history');
    const texts = history.messages.flatMap((m) => m.blocks.map((b) => `${m.role}:${b.type}:${b.text ?? b.input?.command}`));
    assert.ok(texts.includes('user:text:run the echo'), texts.join('\n'));
    assert.ok(texts.includes('assistant:text:It printed hello.'));
    car.send({ cmd: 'list_sessions', cwd: work });
    assert.deepEqual((await car.next('sessions_list')).items.map((i) => [i.id, i.summary]), [[thread, 'run the echo']]);

    car.send({ cmd: 'user', text: 'and now?', attachments: [] });
    await car.next((e) => e.ev === 'assistant' && e.blocks[0]?.text === 'Still here');
    await car.next('result');
    assert.ok(JSON.stringify(server.requests.at(-1).body.input).includes('It printed hello.'), 'the model sees the earlier turn');
    car.end();
    assert.deepEqual(await car.exited, { code: 0, signal: null });
    assert.ok(car.events.every((e) => e.ev !== 'session' || e.id === thread));
  } finally {
    car.kill();
  }
});

test('an interrupt ends the running turn with one error line', async () => {
  server.push({ text: 'Thinking for a long time', hold: true });
  const car = open();
  try {
    car.send({ cmd: 'user', text: 'go slowly', attachments: [] });
    await server.requests.waitFor((r) => JSON.stringify(r.body?.input).includes('go slowly'));
    const mark = car.cursor;
    const children = descendants(car.pid);
    assert.ok(children.length > 0, 'codex runs the turn as a child of the sidecar');
    car.send({ cmd: 'interrupt' });
    const ended = await car.next((e) => e.ev === 'result' || e.ev === 'error');
    assert.equal(ended.ev, 'error');
    assert.equal(car.since(mark).filter((e) => e.ev === 'result' || e.ev === 'error').length, 1);
    car.end();
    await car.exited;
    assert.deepEqual(children.filter(alive), []);
  } finally {
    car.kill();
  }
});

test('an interrupt while a command runs in full access ends the programs the command started', async () => {
  // A compound command: the shell's sleep is a grandchild of codex, and outlived it.
  server.push({ call: { name: 'exec_command', arguments: { cmd: 'sleep 317; echo after' } } });
  const car = open({ permissionMode: 'bypassPermissions' });
  const isSleep = (pid) => { try { return fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8') === 'sleep\u0000317\u0000'; } catch { return false; } };
  try {
    car.send({ cmd: 'user', text: 'sleep a while', attachments: [] });
    await until(() => descendants(car.pid).some(isSleep));
    const sleep = descendants(car.pid).find(isSleep);
    car.send({ cmd: 'interrupt' });
    assert.equal((await car.next((e) => e.ev === 'result' || e.ev === 'error')).ev, 'error');
    await until(() => !alive(sleep) || !isSleep(sleep), 10000);
    car.end();
    await car.exited;
  } finally {
    car.kill();
  }
});

test('usage-only: get_usage answers exactly one usage line and the script exits at end of input', async () => {
  const car = new Sidecar('codex-agent.mjs', { cwd: home, env: env() });
  try {
    car.send({ cmd: 'start', cwd: home, permissionMode: 'default', binPath: codex, usageOnly: true });
    car.send({ cmd: 'get_usage' });
    car.end();
    assert.deepEqual(await car.exited, { code: 0, signal: null });
    assert.deepEqual(car.events, [{ ev: 'usage', available: false, metrics: [] }, { ev: 'closed' }]);
  } finally {
    car.kill();
  }
});

test('a reconnect is a notice, not the end of the turn: the answer and its result still come', async () => {
  server.push({ drop: true }, { text: 'After the reconnect', usage: { input_tokens: 7, output_tokens: 3 } });
  const car = open();
  try {
    car.send({ cmd: 'user', text: 'over a flaky line', attachments: [] });
    const ended = await car.next((e) => e.ev === 'result' || e.ev === 'error', 60000);
    assert.equal(ended.ev, 'result', car.stderr);
    assert.deepEqual([ended.isError, ended.tokensIn, ended.tokensOut], [false, 7, 3]);
    assert.ok(car.events.some((e) => e.ev === 'assistant' && e.blocks[0]?.text === 'After the reconnect'));
    assert.match(car.stderr, /Reconnecting/);
  } finally {
    car.kill();
  }
});

// The CLI's event stream leaves out a command the sandbox refused; the pane still shows it, failed,
// before the answer that follows it.
test('"Ask before running" changes nothing: its commands run in a read-only sandbox, and a refused one shows as failed', async () => {
  server.push({ call: { name: 'exec_command', arguments: { cmd: 'echo changed > asked.txt' } } }, { text: 'Tried.' });
  const car = open({ permissionMode: 'default' });
  try {
    car.send({ cmd: 'user', text: 'write a file', attachments: [] });
    await car.next('result', 60000);
    assert.equal(fs.existsSync(path.join(work, 'asked.txt')), false);
    const blocks = car.events.filter((e) => e.ev === 'assistant').flatMap((e) => e.blocks);
    const call = blocks.findIndex((b) => b.type === 'tool_use' && b.input.command === 'echo changed > asked.txt');
    const result = blocks.find((b) => b.type === 'tool_result' && b.toolUseId === blocks[call]?.id);
    assert.ok(call >= 0 && result?.isError, JSON.stringify(blocks));
    assert.match(result.text, /Read-only file system[\s\S]*\(exit code 1\)$/);
    assert.ok(call < blocks.findIndex((b) => b.text === 'Tried.'), 'the call comes before the answer after it');
    assert.equal(blocks.filter((b) => b.type === 'tool_use').length, 1, 'shown once');
  } finally {
    car.kill();
  }
});

test('a turn the CLI refuses ends with the CLI\'s own reason, not its warnings', async () => {
  const car = open();
  try {
    car.send({ cmd: 'user', text: 'x'.repeat(1100000), attachments: [] });
    const ended = await car.next((e) => e.ev === 'result' || e.ev === 'error', 60000);
    assert.equal(ended.message, 'Input exceeds the maximum length of 1048576 characters.');
  } finally {
    car.kill();
  }
});

test('a command that fails is a failed call: its result says so and names the call', async () => {
  server.push({ call: { name: 'exec_command', arguments: { cmd: 'ls /no-such-folder-here' } } }, { text: 'It is not there.' });
  const car = open();
  try {
    car.send({ cmd: 'user', text: 'list it', attachments: [] });
    await car.next('result', 60000);
    const blocks = car.events.filter((e) => e.ev === 'assistant').flatMap((e) => e.blocks);
    const call = blocks.find((b) => b.type === 'tool_use');
    const result = blocks.find((b) => b.type === 'tool_result');
    assert.deepEqual([result?.toolUseId, result?.isError], [call?.id, true], JSON.stringify(blocks));
  } finally {
    car.kill();
  }
});

// With its model server gone Codex retries for as long as it takes ("waiting for network"), and
// with one that keeps failing it retries a few times and then gives up: every retry is shown while
// it lasts, and the CLI's own error ends the turn when it gives up.
test('retries are shown while they last; giving up ends the turn with the CLI\'s error', async () => {
  const closedPort = await new Promise((resolve) => {
    const s = net.createServer().listen(0, '127.0.0.1', () => { const { port } = s.address(); s.close(() => resolve(port)); });
  });
  const overloaded = await startOpenAIServer({ replies: Array.from({ length: 50 }, () => ({ error: { status: 503, message: 'Overloaded' } })) });
  const homes = [];
  const openOn = (url) => {
    const h = tempDir('codex-home');
    homes.push(h);
    writeCodexConfig(path.join(h, '.codex'), url, { retries: { stream: 2, request: 0 } });
    const car = new Sidecar('codex-agent.mjs', { cwd: work, env: { ...env(), HOME: h, CODEX_HOME: path.join(h, '.codex') } });
    car.send({ cmd: 'start', cwd: work, permissionMode: 'default', binPath: codex });
    car.send({ cmd: 'user', text: 'hello?', attachments: [] });
    return car;
  };
  const down = openOn(`http://127.0.0.1:${closedPort}`);
  const busy = openOn(overloaded.url);
  try {
    assert.match((await down.next('status', 60000)).text, /Reconnecting.*waiting for network/);
    assert.ok(!down.events.some((e) => e.ev === 'result' || e.ev === 'error'), 'still trying');
    down.send({ cmd: 'interrupt' });
    assert.equal((await down.next((e) => e.ev === 'result' || e.ev === 'error', 30000)).ev, 'error');

    assert.match((await busy.next('status', 60000)).text, /^Reconnecting\.\.\. 1\/2 .*503/);
    const gaveUp = await busy.next((e) => e.ev === 'result' || e.ev === 'error', 60000);
    assert.equal(gaveUp.ev, 'error');
    assert.match(gaveUp.message, /503/);
  } finally {
    down.kill();
    busy.kill();
    await overloaded.close();
    for (const h of homes) fs.rmSync(h, { recursive: true, force: true });
  }
});

// Codex answers the model "Process running with session ID …" at its 10 s yield and runs the command
// on: still one card, its outcome once known, either when the model waits for it or when the turn
// ends first (and Codex stops it).
test('a command past the yield time is one card with its outcome: its exit, or its end with the turn', async () => {
  const waitFor = (body) => {
    const session = /session ID (\d+)/.exec(callOutputs(body).at(-1)?.output ?? '')?.[1];
    return { call: { name: 'write_stdin', arguments: { session_id: Number(session), chars: '', yield_time_ms: 8000 } } };
  };
  const rows = [
    { name: 'waited for', then: [waitFor, { text: 'Done.' }], result: { text: 'begin-12\nend-12\n' } },
    { name: 'cut by the turn', then: [{ text: 'Done.' }], result: { text: 'begin-12\n(ended with the turn)', isError: true, reason: 'interrupted' } },
  ];
  await Promise.all(rows.map(async (row) => {
    const own = await startOpenAIServer({ replies: [{ call: { name: 'exec_command', arguments: { cmd: 'echo begin-12; sleep 12; echo end-12' } } }, ...row.then] });
    const h = tempDir('codex-home');
    writeCodexConfig(path.join(h, '.codex'), own.url);
    const car = new Sidecar('codex-agent.mjs', { cwd: work, env: { ...env(), HOME: h, CODEX_HOME: path.join(h, '.codex') } });
    try {
      car.send({ cmd: 'start', cwd: work, permissionMode: 'bypassPermissions', binPath: codex });
      car.send({ cmd: 'user', text: 'run the long one', attachments: [] });
      assert.equal((await car.next((e) => e.ev === 'result' || e.ev === 'error', 60000)).ev, 'result');
      assert.match(callOutputs(own.requests[1].body)[0].output, /Process running with session ID/, 'past the yield time');
      const blocks = car.events.filter((e) => e.ev === 'assistant').flatMap((e) => e.blocks);
      const calls = blocks.filter((b) => b.type === 'tool_use');
      assert.equal(calls.length, 1, `${row.name}: ${JSON.stringify(blocks)}`);
      const results = blocks.filter((b) => b.type === 'tool_result');
      assert.deepEqual(results, [{ type: 'tool_result', toolUseId: calls[0].id, ...row.result }], row.name);
    } finally {
      car.kill();
      await own.close();
      fs.rmSync(h, { recursive: true, force: true });
    }
  }));
});

// In full access the command's shell runs in a session of its own: a killed codex would orphan it.
test('a codex killed while a command runs in full access takes the command with it before its turn ends', async () => {
  server.push({ call: { name: 'exec_command', arguments: { cmd: 'echo waiting; sleep 120; echo done > after-120.txt' } } });
  const car = open({ permissionMode: 'bypassPermissions' });
  try {
    car.send({ cmd: 'user', text: 'wait two minutes, then write', attachments: [] });
    const command = await killCliRunning(car, codex, 'sleep 120');
    assert.ok(command.length > 0);
    assert.equal((await car.next((e) => e.ev === 'result' || e.ev === 'error', 30000)).ev, 'error');
    assert.deepEqual(command.filter(alive), [], 'nothing of the command runs once its turn has ended');
  } finally {
    car.kill();
  }
});

// Codex runs one process per turn; under the reaper the app starts the sidecar through, what a turn
// starts in sessions of its own (a server, as `setsid -f` or tmux start one) lives on after that
// turn's codex has exited, across later turns, until the sidecar ends: quit (the pane closed, the
// app quit), or killed. A codex killed mid-command still takes that command with it, and nothing else.
test('a server started in a turn lives as long as the sidecar, not the turn; a killed codex takes only its command', async () => {
  const serve = 'setsid -f python3 -m http.server 0 --bind 127.0.0.1 >srv.log 2>&1; echo started';
  const isServer = (pid) => argsOf(pid).join(' ') === 'python3 -m http.server 0 --bind 127.0.0.1';
  const servers = () => fs.readdirSync('/proc').filter((e) => /^\d+$/.test(e)).map(Number).filter(isServer);
  const rows = [
    { name: 'quit', end: (car) => car.send({ cmd: 'quit' }) },
    { name: 'sidecar killed', end: (car) => process.kill(descendants(car.pid).find((pid) => argsOf(pid)[0] === process.execPath), 'SIGKILL') },
  ];
  for (const row of rows) {
    server.push({ call: { name: 'exec_command', arguments: { cmd: serve } } }, { text: 'Launched them.' },
      { call: { name: 'exec_command', arguments: { cmd: 'echo waiting; sleep 121; echo done > after-121.txt' } } });
    const car = new Sidecar('codex-agent.mjs', { cwd: work, env: env(), underReaper: true });
    // The turn's codex, or the reaper it runs under, still running.
    const codexRuns = () => descendants(car.pid).some((pid) => argsOf(pid)[0] === codex || path.basename(argsOf(pid)[0] ?? '') === 'brinmoor-reaper');
    let started = [];
    try {
      car.send({ cmd: 'start', cwd: work, permissionMode: 'bypassPermissions', binPath: codex });
      car.send({ cmd: 'user', text: 'start a server', attachments: [] });
      assert.equal((await car.next((e) => e.ev === 'result' || e.ev === 'error', 60000)).ev, 'result', car.stderr);
      await until(() => !codexRuns());
      started = servers().filter((pid) => descendants(car.pid).includes(pid));
      assert.equal(started.length, 1, `${row.name}: the server runs once its turn has ended, below the sidecar's reaper`);

      // The next turn's codex killed while its command runs: the command goes, the server stays.
      car.send({ cmd: 'user', text: 'wait two minutes, then write', attachments: [] });
      const command = await killCliRunning(car, codex, 'sleep 121');
      assert.equal((await car.next((e) => e.ev === 'result' || e.ev === 'error', 30000)).ev, 'error');
      await until(() => !command.some(alive), 10000);
      assert.deepEqual(started.filter(alive), started, `${row.name}: the server outlives a later turn's killed codex`);

      row.end(car);
      await car.exited;
      await until(() => !started.some(alive), 10000);
    } finally {
      car.kill();
      for (const pid of started) try { process.kill(pid, 'SIGKILL'); } catch { /* gone */ }
    }
  }
});

// Below the reaper the app starts the sidecar through, as in the app: Stop while the model goes on
// talking after a command of the turn started a server ends the turn, not the server; an effort
// change reaches the next turn's request and ends nothing; and the session's end gives the server
// SIGTERM before anything kills it.
test('Stop keeps the server the turn started, an effort change ends nothing, and the session\'s end asks the server to end', async () => {
  const srv = recordingServer(work, 'codex-stop');
  const own = await startOpenAIServer({ replies: [
    { call: { name: 'exec_command', arguments: { cmd: srv.command } } },
    { text: 'Started it, and still talking', hold: true },
    { text: 'At low effort now' },
  ] });
  const h = tempDir('codex-home');
  writeCodexConfig(path.join(h, '.codex'), own.url);
  const car = new Sidecar('codex-agent.mjs', { cwd: work, env: { ...env(), HOME: h, CODEX_HOME: path.join(h, '.codex') }, underReaper: true });
  try {
    car.send({ cmd: 'start', cwd: work, permissionMode: 'bypassPermissions', binPath: codex, effort: 'high' });
    car.send({ cmd: 'user', text: 'start a server and tell me about it', attachments: [] });
    await own.requests.waitFor((r) => JSON.stringify(callOutputs(r.body)).includes('started codex-stop'));
    await until(() => srv.pid() !== null);
    const pid = srv.pid();
    car.send({ cmd: 'interrupt' });
    assert.equal((await car.next((e) => e.ev === 'result' || e.ev === 'error', 30000)).ev, 'error');
    await until(() => !descendants(car.pid).some((p) => argsOf(p)[0] === codex), 10000);
    assert.ok(alive(pid) && await srv.answers(), 'the server outlives Stop');
    assert.equal(own.requests.at(-1).body.reasoning?.effort, 'high');

    car.send({ cmd: 'set_effort', effort: 'low' });
    car.send({ cmd: 'user', text: 'and now?', attachments: [] });
    await car.next((e) => e.ev === 'assistant' && e.blocks[0]?.text === 'At low effort now', 60000);
    assert.equal((await car.next((e) => e.ev === 'result' || e.ev === 'error')).ev, 'result');
    assert.equal(own.requests.at(-1).body.reasoning?.effort, 'low', 'the next turn asks at the new effort');
    assert.ok(alive(pid) && await srv.answers(), 'the server outlives an effort change');

    car.send({ cmd: 'quit' });
    await car.exited;
    await until(() => !alive(pid), 10000);
    assert.ok(srv.askedToEnd(), 'the server was given SIGTERM before it was ended');
  } finally {
    car.kill();
    srv.kill();
    await own.close();
    fs.rmSync(h, { recursive: true, force: true });
  }
});

// Every effort of the table both providers share reaches the model as a level Codex takes: its
// own, or for "max" the nearest one, its highest ("xhigh"), never none (Codex's default, below
// "high"); at start and when changed between turns alike.
test('every effort a pane can show is asked of the model: "max" as xhigh, at start and when changed', async () => {
  const asked = [['max', 'xhigh'], ['low', 'low'], ['medium', 'medium'], ['high', 'high'], ['xhigh', 'xhigh'], ['max', 'xhigh']];
  const car = open({ effort: asked[0][0] });
  try {
    for (const [i, [effort, expected]] of asked.entries()) {
      if (i > 0) car.send({ cmd: 'set_effort', effort });
      server.push({ text: `At ${effort}` });
      car.send({ cmd: 'user', text: `turn ${i} at ${effort}`, attachments: [] });
      await car.next((e) => e.ev === 'assistant' && e.blocks[0]?.text === `At ${effort}`, 60000);
      assert.equal((await car.next((e) => e.ev === 'result' || e.ev === 'error')).ev, 'result');
      const request = server.requests.findLast((r) => JSON.stringify(r.body?.input).includes(`turn ${i} at ${effort}`));
      assert.equal(request?.body.reasoning?.effort, expected, `effort ${effort} (turn ${i})`);
    }
    car.send({ cmd: 'quit' });
    assert.deepEqual(await car.exited, { code: 0, signal: null });
  } finally {
    car.kill();
  }
});
