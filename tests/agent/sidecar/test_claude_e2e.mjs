// The Claude sidecar bundle on the real Claude Code CLI, talking to our fake Messages server.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { startClaudeServer, toolResults } from '../fakes/claude-server.mjs';
import { Sidecar, claudeBinary, tempDir, descendants, alive, until, killCliRunning, argsOf, recordingServer } from './support/agents.mjs';
import { STOPPED_RUNNING } from '../../../resources/sidecar/src/claude-messages.mjs';

let claude, server, config, work;
before(async () => {
  claude = claudeBinary();
  server = await startClaudeServer();
  config = tempDir('claude-config');
  work = tempDir('claude-work');
  // A rule of the project's own refuses removals without asking.
  fs.mkdirSync(path.join(work, '.claude'));
  fs.writeFileSync(path.join(work, '.claude/settings.json'), JSON.stringify({ permissions: { deny: ['Bash(rm:*)'] } }));
});
after(async () => {
  await server?.close();
  for (const d of [config, work]) if (d) fs.rmSync(d, { recursive: true, force: true });
});

function open(extra = {}, on = server) {
  const env = { ...process.env, ANTHROPIC_BASE_URL: on.url, ANTHROPIC_API_KEY: 'test', CLAUDE_CONFIG_DIR: config,
    CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC: '1', CLAUDE_CODE_MAX_RETRIES: '1' };
  const car = new Sidecar('brinmoor-agent.mjs', { cwd: work, env });
  car.send({ cmd: 'start', cwd: work, permissionMode: 'default', binPath: claude, claudePath: claude, ...extra });
  return car;
}

// Every turn ends in exactly one "result" or "error".
const turnEnds = (events) => events.filter((e) => e.ev === 'result' || e.ev === 'error').length;

async function quitAndCheckNothingLeft(car) {
  const children = descendants(car.pid);
  assert.ok(children.length > 0, 'the CLI ran as a child of the sidecar');
  car.send({ cmd: 'quit' });
  await car.next('closed');
  assert.deepEqual(await car.exited, { code: 0, signal: null });
  // The sidecar waits for its children before it exits, so nothing of them may still run.
  assert.deepEqual(children.filter(alive), []);
}

let conversation;
test('a conversation: answer, permission allowed and denied, a failed call, cost and tokens, interrupt', async () => {
  server.push(
    { text: 'Hello there', usage: { input_tokens: 1200, output_tokens: 34 } },
    { tool: { name: 'Bash', input: { command: 'echo yes > approved.txt', description: 'Write a file' } } },
    { text: 'Wrote it' },
    { tool: { name: 'Write', input: { file_path: path.join(work, 'denied.txt'), content: 'no\n' } } },
    { text: 'Understood, not writing it' },
    { tool: { name: 'Bash', input: { command: 'ls no-such-folder-here', description: 'List it' } } },
    { text: 'It is not there' },
    { tool: { name: 'Bash', input: { command: 'rm -rf build', description: 'Remove it' } } },
    { text: 'Not removed' },
    { tool: { name: 'Bash', input: { command: 'python3 -c "import time; time.sleep(60)"', description: 'Wait' } } },
    { text: 'Working on a long answer', hold: true },
  );
  const car = open();
  try {
    car.send({ cmd: 'user', text: 'hi', attachments: [] });
    const session = await car.next('session');
    conversation = session.id;
    assert.match(conversation, /^[0-9a-f-]{36}$/);
    assert.deepEqual((await car.next('assistant')).blocks, [{ type: 'text', text: 'Hello there' }]);
    const first = await car.next('result');
    assert.equal(first.isError, false);
    assert.equal(first.tokensIn, 1200);
    assert.equal(first.tokensOut, 34);
    assert.ok(first.costUsd > 0);

    let mark = car.cursor;
    car.send({ cmd: 'user', text: 'write the file', attachments: [] });
    const ask = await car.next('permission_request');
    assert.equal(ask.tool, 'Bash');
    assert.equal(ask.input.command, 'echo yes > approved.txt');
    car.send({ cmd: 'permission', id: ask.id, decision: 'allow' });
    await car.next((e) => e.ev === 'assistant' && e.blocks[0]?.type === 'tool_result');
    const allowed = await car.next('result');
    assert.equal(allowed.isError, false);
    assert.equal(fs.readFileSync(path.join(work, 'approved.txt'), 'utf8'), 'yes\n');
    assert.ok(allowed.costUsd > first.costUsd, 'the cost is the running total');
    assert.equal(turnEnds(car.since(mark)), 1);

    mark = car.cursor;
    car.send({ cmd: 'user', text: 'write another', attachments: [] });
    const ask2 = await car.next('permission_request');
    assert.equal(ask2.tool, 'Write');
    car.send({ cmd: 'permission', id: ask2.id, decision: 'deny' });
    await car.next('result');
    assert.ok(!fs.existsSync(path.join(work, 'denied.txt')));
    const seen = toolResults(server.mainRequests().at(-1).body);
    assert.equal(seen.length, 1);
    assert.equal(seen[0].isError, true, 'the model is told that the tool was denied');
    assert.equal(turnEnds(car.since(mark)), 1);
    // The pane is told too: the result names the call and says it was refused.
    const results = (events) => events.filter((e) => e.ev === 'assistant').flatMap((e) => e.blocks).filter((b) => b.type === 'tool_result');
    assert.deepEqual(results(car.since(mark)), [{ type: 'tool_result', toolUseId: seen[0].id, text: seen[0].text, isError: true, reason: 'denied' }]);

    // A call that ran and failed is an error result, not a refusal.
    mark = car.cursor;
    car.send({ cmd: 'user', text: 'list that folder', attachments: [] });
    await car.next('result');
    const failed = results(car.since(mark));
    assert.equal(failed.length, 1);
    assert.equal(failed[0].isError, true, JSON.stringify(failed));
    assert.equal(failed[0].reason, undefined);

    // Refused by the project's rule without asking: denied, live and read back (below).
    mark = car.cursor;
    car.send({ cmd: 'user', text: 'remove the build', attachments: [] });
    await car.next('result');
    assert.ok(!car.since(mark).some((e) => e.ev === 'permission_request'));
    assert.deepEqual(results(car.since(mark)).map((r) => r.reason), ['denied']);

    // A call stopped while it runs is interrupted, not failed.
    mark = car.cursor;
    car.send({ cmd: 'user', text: 'wait a minute', attachments: [] });
    car.send({ cmd: 'permission', id: (await car.next('permission_request')).id, decision: 'allow' });
    const sleeper = () => descendants(car.pid).find((pid) => {
      try { return fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').includes('time.sleep(60)'); } catch { return false; }
    });
    await until(sleeper);
    const running = sleeper();
    car.send({ cmd: 'interrupt' });
    await car.next((e) => e.ev === 'result' || e.ev === 'error');
    assert.deepEqual(results(car.since(mark)).map((r) => r.reason), ['interrupted']);
    await until(() => !alive(running), 10000);

    mark = car.cursor;
    car.send({ cmd: 'user', text: 'take your time', attachments: [] });
    await car.next((e) => e.ev === 'assistant' && e.blocks.some((b) => b.text === 'Working on a long answer'));
    car.send({ cmd: 'interrupt' });
    const ended = await car.next((e) => e.ev === 'result' || e.ev === 'error');
    if (ended.ev === 'result') assert.equal(ended.isError, true);
    assert.equal(turnEnds(car.since(mark)), 1);

    await quitAndCheckNothingLeft(car);
  } finally {
    car.kill();
  }
});

test('resuming by conversation id brings its history and continues it', async () => {
  assert.ok(conversation, 'needs the conversation of the first test');
  server.push({ text: 'Welcome back' });
  const car = open({ resume: conversation });
  try {
    car.send({ cmd: 'history', sessionId: conversation, cwd: work });
    const history = await car.next('history');
    const texts = history.messages.flatMap((m) => m.blocks.map((b) => `${m.role}:${b.type}:${b.text ?? b.name}`));
    assert.ok(texts.includes('user:text:hi'), texts.join('\n'));
    assert.ok(texts.includes('assistant:text:Hello there'));
    assert.ok(texts.includes('assistant:tool_use:Bash'));
    // How each call ended without running is read back as it showed live.
    const reasons = history.messages.flatMap((m) => m.blocks).filter((b) => b.type === 'tool_result' && b.reason).map((b) => b.reason);
    assert.deepEqual(reasons, ['denied', 'denied', 'interrupted']);

    car.send({ cmd: 'list_sessions', cwd: work });
    const list = await car.next('sessions_list');
    assert.deepEqual(list.items.map((i) => i.id), [conversation]);

    car.send({ cmd: 'user', text: 'again', attachments: [] });
    assert.equal((await car.next('session')).id, conversation);
    await car.next((e) => e.ev === 'assistant' && e.blocks[0]?.text === 'Welcome back');
    await car.next('result');
    const prompt = server.mainRequests().at(-1).body.messages;
    assert.ok(JSON.stringify(prompt).includes('Hello there'), 'the model sees the earlier talk');

    // A question from the model, answered.
    server.push({ tool: { name: 'AskUserQuestion', input: { questions: [{ question: 'Which colour?', header: 'Colour',
      multiSelect: false, options: [{ label: 'Red', description: 'warm' }, { label: 'Blue', description: 'cool' }] }] } } },
    { text: 'Blue it is' });
    car.send({ cmd: 'user', text: 'ask me', attachments: [] });
    const question = await car.next('question');
    assert.equal(question.questions[0].question, 'Which colour?');
    assert.deepEqual(question.questions[0].options.map((o) => o.label), ['Red', 'Blue']);
    car.send({ cmd: 'answer', id: question.id, answers: { 'Which colour?': 'Blue' } });
    await car.next('result');
    assert.match(toolResults(server.mainRequests().at(-1).body)[0].text, /Blue/);

    // Edits accepted without asking once the mode says so.
    const auto = path.join(work, 'auto.txt');
    server.push({ tool: { name: 'Write', input: { file_path: auto, content: 'written\n' } } }, { text: 'Written' });
    car.send({ cmd: 'set_permission_mode', mode: 'acceptEdits' });
    const mark = car.cursor;
    car.send({ cmd: 'user', text: 'write it', attachments: [] });
    await car.next('result');
    assert.ok(!car.since(mark).some((e) => e.ev === 'permission_request'));
    assert.equal(fs.readFileSync(auto, 'utf8'), 'written\n');

    // Compaction is a turn of its own: compacted, then exactly one result.
    const before = car.cursor;
    car.send({ cmd: 'compact' });
    assert.ok((await car.next('compacted')).preTokens > 0);
    await car.next('result');
    assert.equal(turnEnds(car.since(before)), 1);
    await quitAndCheckNothingLeft(car);
  } finally {
    car.kill();
  }
});

test('a retry of an overloaded model is shown while it lasts, and the answer still comes', async () => {
  server.push({ error: { status: 529, type: 'overloaded_error', message: 'Overloaded' } }, { text: 'After the retry' });
  const car = open();
  try {
    car.send({ cmd: 'user', text: 'are you there?', attachments: [] });
    assert.match((await car.next('status')).text, /^Retrying 1\/1 in \d+ s \(overloaded 529\)$/);
    await car.next((e) => e.ev === 'assistant' && e.blocks[0]?.text === 'After the retry');
    assert.equal((await car.next((e) => e.ev === 'result' || e.ev === 'error')).ev, 'result');
  } finally {
    car.kill();
  }
});

test('a usage-only sidecar answers one usage line, opens no conversation and ends with its input', async () => {
  const home = tempDir('claude-home');
  const env = { ...process.env, ANTHROPIC_BASE_URL: server.url, ANTHROPIC_API_KEY: 'test', CLAUDE_CONFIG_DIR: config,
    CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC: '1' };
  const before = server.requests.length;
  const car = new Sidecar('brinmoor-agent.mjs', { cwd: home, env });
  try {
    car.send({ cmd: 'start', cwd: home, permissionMode: 'default', claudePath: claude });
    car.send({ cmd: 'get_usage' });
    const usage = await car.next('usage');
    assert.equal(usage.available, false, 'an API key has no plan limits');
    assert.deepEqual(usage.metrics, []);
    const children = descendants(car.pid);
    car.end();
    assert.deepEqual(await car.exited, { code: 0, signal: null });
    assert.deepEqual(car.events.map((e) => e.ev), ['usage', 'closed']);
    assert.deepEqual(children.filter(alive), []);
    assert.equal(server.requests.filter((r) => r.kind === 'main').length,
      server.requests.slice(0, before).filter((r) => r.kind === 'main').length, 'no prompt reached the model');
  } finally {
    car.kill();
    fs.rmSync(home, { recursive: true, force: true });
  }
});

test('a turn cut by a dead sidecar and resumed: the placeholder the CLI stores for it is no answer, live or read back', async () => {
  server.push({ text: 'Hello' }, { text: 'Streaming when it died', hold: true }, { text: 'Back again' });
  let car = open();
  let id;
  try {
    car.send({ cmd: 'user', text: 'hi', attachments: [] });
    id = (await car.next('session')).id;
    await car.next('result');
    car.send({ cmd: 'user', text: 'cut me off', attachments: [] });
    await car.next((e) => e.ev === 'assistant' && e.blocks[0]?.text === 'Streaming when it died');
    // Killed once the CLI has stored the question.
    const transcript = path.join(config, 'projects', work.replace(/[^A-Za-z0-9]/g, '-'), `${id}.jsonl`);
    await until(() => fs.existsSync(transcript) && fs.readFileSync(transcript, 'utf8').includes('cut me off'));
    for (const pid of [car.pid, ...descendants(car.pid)]) try { process.kill(pid, 'SIGKILL'); } catch { /* gone */ }
    await car.exited;
  } finally {
    car.kill();
  }
  car = open({ resume: id });
  try {
    car.send({ cmd: 'user', text: 'are you back?', attachments: [] });
    await car.next('result');
    car.send({ cmd: 'history', sessionId: id, cwd: work });
    const history = (await car.next('history')).messages;
    const texts = (events) => JSON.stringify(events.flatMap((e) => e.blocks ?? e.messages?.flatMap((m) => m.blocks) ?? []));
    assert.ok(!texts(car.events).includes('No response requested'), texts(car.events));
    assert.deepEqual(history.map((m) => `${m.role}:${m.blocks[0].text}`),
      ['user:hi', 'assistant:Hello', 'user:cut me off', 'user:are you back?', 'assistant:Back again']);
    await quitAndCheckNothingLeft(car);
  } finally {
    car.kill();
  }
});

test('quitting with a permission request open interrupts the turn: no further model call, the call reads interrupted', async () => {
  const ghost = path.join(work, 'ghost.txt');
  server.push({ tool: { name: 'Bash', input: { command: 'echo pending > pending.txt', description: 'Write a file' } } },
    { tool: { name: 'Write', input: { file_path: ghost, content: 'ghost\n' } } });
  const car = open();
  let id;
  try {
    car.send({ cmd: 'user', text: 'write and quit', attachments: [] });
    id = (await car.next('session')).id;
    await car.next('permission_request');
    const calls = server.mainRequests().length;
    car.send({ cmd: 'quit' });
    await car.next('closed');
    assert.equal(server.mainRequests().length, calls, 'no model request after the quit');
  } finally {
    car.kill();
  }
  const again = open({ resume: id });
  try {
    again.send({ cmd: 'history', sessionId: id, cwd: work });
    const results = (await again.next('history')).messages.flatMap((m) => m.blocks).filter((b) => b.type === 'tool_result');
    assert.deepEqual(results.map((b) => b.reason), ['interrupted'], JSON.stringify(results));
    assert.ok(!fs.existsSync(ghost));
  } finally {
    again.kill();
  }
});

// The CLI runs the command's shell in a session of its own: killed, it would orphan it to init.
test('a CLI killed while an approved command runs takes the command with it before its turn ends', async () => {
  // A server of its own: replies other tests left unused must not come first.
  const own = await startClaudeServer({ replies: [{ tool: { name: 'Bash', input: { command: 'echo waiting; sleep 60; echo done > after-60.txt', description: 'Wait' } } }] });
  const car = open({}, own);
  try {
    car.send({ cmd: 'user', text: 'wait a minute, then write', attachments: [] });
    car.send({ cmd: 'permission', id: (await car.next('permission_request')).id, decision: 'allow' });
    const command = await killCliRunning(car, claude, 'sleep 60');
    assert.ok(command.length > 0);
    const ended = await car.next((e) => e.ev === 'result' || e.ev === 'error');
    assert.equal(ended.ev, 'error');
    assert.match(ended.message, /terminated by signal SIGKILL/);
    assert.deepEqual(command.filter(alive), [], 'nothing of the command runs once its turn has ended');
    assert.deepEqual(await car.exited, { code: 0, signal: null });
  } finally {
    car.kill();
    await own.close();
  }
});

test('a CLI that fails says why: its last words on standard error end the pane\'s message', async () => {
  const failing = path.join(work, 'failing-claude');
  fs.writeFileSync(failing, '#!/bin/sh\necho "warming up" >&2\necho "Error: the settings file is broken" >&2\nexit 3\n', { mode: 0o755 });
  const car = open({ claudePath: failing, binPath: failing });
  try {
    car.send({ cmd: 'user', text: 'hi', attachments: [] });
    const ended = await car.next((e) => e.ev === 'result' || e.ev === 'error');
    assert.equal(ended.message, 'Claude Code process exited with code 3. stderr: warming up\nError: the settings file is broken');
  } finally {
    car.kill();
    fs.rmSync(failing, { force: true });
  }
});

// Stop on a CLI that does not answer (frozen here with SIGSTOP): after the grace the CLI is ended
// with its command, the turn says so, and the next message starts it again on the same
// conversation and reaches the model. Stop on a CLI that answers stays an interrupt (above).
test('Stop on a CLI that does not answer ends it and its command; the next message resumes the conversation', async () => {
  const own = await startClaudeServer({ replies: [
    { tool: { name: 'Bash', input: { command: 'echo waiting; sleep 700; echo done > after-700.txt', description: 'Wait' } } },
    { text: 'Back on the same conversation' },
  ] });
  const car = open({}, own);
  const isSleep = (pid) => argsOf(pid).join(' ') === 'sleep 700';
  let frozen = [];
  try {
    car.send({ cmd: 'user', text: 'wait, then write', attachments: [] });
    const id = (await car.next('session')).id;
    car.send({ cmd: 'permission', id: (await car.next('permission_request')).id, decision: 'allow' });
    await until(() => descendants(car.pid).some(isSleep), 60000);
    const sleep = descendants(car.pid).find(isSleep);
    const cli = descendants(car.pid).find((pid) => argsOf(pid)[0] === claude && descendants(pid).includes(sleep));
    assert.ok(cli, 'the CLI runs the command');
    frozen = [cli, sleep];
    process.kill(cli, 'SIGSTOP');
    const mark = car.cursor;
    car.send({ cmd: 'interrupt' });
    const ended = await car.next((e) => e.ev === 'result' || e.ev === 'error', 40000);
    assert.equal(ended.ev, 'error');
    assert.match(ended.message, /did not respond to Stop and had to be ended/);
    assert.equal(turnEnds(car.since(mark)), 1);
    await until(() => !alive(sleep) && !alive(cli), 10000);
    assert.ok(!fs.existsSync(path.join(work, 'after-700.txt')));

    car.send({ cmd: 'user', text: 'are you back?', attachments: [] });
    assert.equal((await car.next('session', 30000)).id, id, 'the same conversation');
    await car.next((e) => e.ev === 'assistant' && e.blocks[0]?.text === 'Back on the same conversation', 30000);
    assert.equal((await car.next((e) => e.ev === 'result' || e.ev === 'error')).ev, 'result');
    assert.ok(JSON.stringify(own.mainRequests().at(-1).body.messages).includes('are you back?'), 'the message reached the model');
    assert.equal(turnEnds(car.since(mark)), 2);
    await quitAndCheckNothingLeft(car);
  } finally {
    car.kill();
    for (const pid of frozen) try { process.kill(pid, 'SIGKILL'); } catch { /* gone */ }
    await own.close();
  }
});

// A permission card cut by the user's Stop, or by the app's end (its standard input closes, as
// when the app is killed): nobody refused the call, and neither live nor read back does it say so.
test('a permission request cut by Stop or by the app\'s end reads as not answered, live and read back', async () => {
  const own = await startClaudeServer({ replies: [
    { tool: { name: 'Bash', input: { command: 'echo one > one.txt', description: 'Write one' } } },
    { tool: { name: 'Bash', input: { command: 'echo two > two.txt', description: 'Write two' } } },
  ] });
  const results = (events) => events.filter((e) => e.ev === 'assistant').flatMap((e) => e.blocks).filter((b) => b.type === 'tool_result');
  const notAnswered = /^Not run: the turn ended before this request was answered/;
  let car = open({}, own);
  let id;
  try {
    car.send({ cmd: 'user', text: 'write one', attachments: [] });
    id = (await car.next('session')).id;
    await car.next('permission_request');
    let mark = car.cursor;
    car.send({ cmd: 'interrupt' });
    await car.next((e) => e.ev === 'result' || e.ev === 'error');
    const stopped = results(car.since(mark));
    assert.deepEqual(stopped.map((r) => r.reason), ['interrupted'], JSON.stringify(stopped));
    assert.match(stopped[0].text, notAnswered);

    car.send({ cmd: 'user', text: 'write two', attachments: [] });
    await car.next('permission_request');
    car.end();
    await car.next('closed');
  } finally {
    car.kill();
  }
  car = open({ resume: id }, own);
  try {
    car.send({ cmd: 'history', sessionId: id, cwd: work });
    const stored = (await car.next('history')).messages.flatMap((m) => m.blocks).filter((b) => b.type === 'tool_result');
    assert.deepEqual(stored.map((b) => b.reason), ['interrupted', 'interrupted'], JSON.stringify(stored));
    for (const b of stored) assert.match(b.text, notAnswered);
    assert.ok(!fs.existsSync(path.join(work, 'one.txt')) && !fs.existsSync(path.join(work, 'two.txt')));
  } finally {
    car.kill();
    await own.close();
  }
});

// Below the reaper the app starts the sidecar through, as in the app, with a server the first turn
// started: an effort change reaches the next request and ends nothing; a command stopped while it
// runs says so, never "Not run"; Stop on a CLI that does not answer ends the CLI and its command,
// not the server; and the session's end gives the server SIGTERM before anything kills it.
test('a session\'s server outlives an effort change and Stop on a frozen CLI; a stopped command never reads "Not run"', async () => {
  const srv = recordingServer(work, 'claude-session');
  const own = await startClaudeServer({ replies: [
    { tool: { name: 'Bash', input: { command: srv.command, description: 'Start a server' } } },
    { text: 'Started it.' },
    { tool: { name: 'Bash', input: { command: 'echo second-begin; sleep 302', description: 'Begin, then wait' } } },
    { tool: { name: 'Bash', input: { command: 'echo waiting; sleep 703', description: 'Wait' } } },
    { text: 'Back, server and all' },
  ] });
  const env = { ...process.env, ANTHROPIC_BASE_URL: own.url, ANTHROPIC_API_KEY: 'test', CLAUDE_CONFIG_DIR: config,
    CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC: '1', CLAUDE_CODE_MAX_RETRIES: '1' };
  const car = new Sidecar('brinmoor-agent.mjs', { cwd: work, env, underReaper: true });
  // Every command the model asks for is allowed.
  const allowed = new Set();
  const allow = setInterval(() => {
    for (const e of car.events) if (e.ev === 'permission_request' && !allowed.has(e.id)) {
      allowed.add(e.id);
      car.send({ cmd: 'permission', id: e.id, decision: 'allow' });
    }
  }, 20);
  const turnEnd = (timeout) => car.next((e) => e.ev === 'result' || e.ev === 'error', timeout);
  const results = (events) => events.filter((e) => e.ev === 'assistant').flatMap((e) => e.blocks).filter((b) => b.type === 'tool_result');
  const runs = (command) => () => descendants(car.pid).find((pid) => argsOf(pid).join(' ') === command);
  let frozen = [];
  try {
    car.send({ cmd: 'start', cwd: work, permissionMode: 'default', binPath: claude, claudePath: claude, effort: 'high' });
    car.send({ cmd: 'user', text: 'start a server', attachments: [] });
    assert.equal((await turnEnd(60000)).ev, 'result');
    await until(() => srv.pid() !== null);
    const server = srv.pid();
    assert.equal(own.mainRequests().at(-1).body.output_config?.effort, 'high');

    car.send({ cmd: 'set_effort', effort: 'low' });
    let mark = car.cursor;
    car.send({ cmd: 'user', text: 'begin, then wait', attachments: [] });
    await until(runs('sleep 302'), 60000);
    assert.equal(own.mainRequests().at(-1).body.output_config?.effort, 'low', 'the request after the change is at the new effort');
    car.send({ cmd: 'interrupt' });
    await turnEnd();
    assert.deepEqual(results(car.since(mark)).map((r) => [r.reason, r.text]), [['interrupted', STOPPED_RUNNING]]);

    mark = car.cursor;
    car.send({ cmd: 'user', text: 'wait', attachments: [] });
    await until(runs('sleep 703'), 60000);
    const sleep = runs('sleep 703')();
    const cli = descendants(car.pid).find((pid) => argsOf(pid)[0] === claude && descendants(pid).includes(sleep));
    frozen = [cli, sleep];
    process.kill(cli, 'SIGSTOP');
    car.send({ cmd: 'interrupt' });
    assert.match((await turnEnd(40000)).message, /did not respond to Stop and had to be ended/);
    await until(() => !alive(sleep) && !alive(cli), 10000);
    assert.ok(alive(server) && await srv.answers(), 'the first turn\'s server outlives the CLI that was ended');

    car.send({ cmd: 'user', text: 'are you back?', attachments: [] });
    await car.next((e) => e.ev === 'assistant' && e.blocks[0]?.text === 'Back, server and all', 30000);
    assert.equal((await turnEnd()).ev, 'result');
    assert.ok(alive(server) && await srv.answers());
    assert.ok(!srv.askedToEnd());

    car.send({ cmd: 'quit' });
    await car.exited;
    await until(() => !alive(server), 10000);
    assert.ok(srv.askedToEnd(), 'the server was given SIGTERM before it was ended');
  } finally {
    clearInterval(allow);
    car.kill();
    srv.kill();
    for (const pid of frozen) try { process.kill(pid, 'SIGKILL'); } catch { /* gone */ }
    await own.close();
  }
});
