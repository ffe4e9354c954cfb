// What the Codex sidecar reads from the CLI's own files: the signed-in account's limits and the
// stored conversations of a folder.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { accountUsage, rolloutFiles, rolloutMessages, rolloutSessions, RolloutFollower, UnreportedCalls, cliFailure, shellWords } from '../../../resources/sidecar/src/codex-store.mjs';
import { tempDir } from './support/agents.mjs';

const line = (type, payload) => JSON.stringify({ timestamp: '2026-01-02T03:04:05Z', type, payload });
function rollout(home, id, cwd, records) {
  const dir = path.join(home, 'sessions/2026/01/02');
  fs.mkdirSync(dir, { recursive: true });
  fs.writeFileSync(path.join(dir, `rollout-2026-01-02T03-04-05-${id}.jsonl`),
    [line('session_meta', { id, cwd }), ...records, '{"torn'].join('\n'));
}
const userText = (text) => line('response_item', { type: 'message', role: 'user', content: [{ type: 'input_text', text }] });

test('usage: plan limits of a ChatGPT sign-in, none without one', () => {
  const home = tempDir('codex-store');
  try {
    assert.deepEqual(accountUsage(home), { available: false, metrics: [] });
    const claims = { email: 'dev@example.com', 'https://api.openai.com/auth': { chatgpt_plan_type: 'plus' } };
    const jwt = ['e30', Buffer.from(JSON.stringify(claims)).toString('base64url'), 'sig'].join('.');
    fs.writeFileSync(path.join(home, 'auth.json'), JSON.stringify({ tokens: { id_token: jwt } }));
    assert.deepEqual(accountUsage(home), { available: true, metrics: [], email: 'dev@example.com', subscription: 'plus' });

    rollout(home, 'a1', '/w', [line('event_msg', { type: 'token_count', rate_limits: {
      primary: { used_percent: 42.5, window_minutes: 300, resets_at: 1767323045 },
      secondary: { used_percent: 7, window_minutes: 10080 } } })]);
    assert.deepEqual(accountUsage(home).metrics, [
      { label: '5-hour limit', percent: 42.5, resetsAt: '2026-01-02T03:04:05.000Z' },
      { label: 'Weekly limit', percent: 7 }]);
  } finally {
    fs.rmSync(home, { recursive: true, force: true });
  }
});

test('sessions of a folder, titled by the first message the user typed', () => {
  const home = tempDir('codex-store');
  try {
    rollout(home, 'in-folder', '/w/project', [userText('<environment_context>cwd</environment_context>'), userText('fix the build\nplease')]);
    rollout(home, 'elsewhere', '/other', [userText('hello')]);
    rollout(home, 'empty', '/w/project/', []);
    const items = rolloutSessions('/w/project', home);
    assert.deepEqual(items.map((i) => [i.id, i.summary]).sort(), [['empty', '(untitled)'], ['in-folder', 'fix the build']]);
  } finally {
    fs.rmSync(home, { recursive: true, force: true });
  }
});

test('restored command output reads as the live turn showed it', () => {
  const home = tempDir('codex-store');
  try {
    const call = (id, cmd) => line('response_item', { type: 'function_call', name: 'exec_command', call_id: id, arguments: JSON.stringify({ cmd }) });
    const output = (id, output) => line('response_item', { type: 'function_call_output', call_id: id, output });
    rollout(home, 'cmds', '/w', [
      call('c1', 'ls'), output('c1', 'Chunk ID: 7f3a\nWall time: 0.0512 seconds\nProcess exited with code 0\nOriginal token count: 3\nOutput:\nREADME.md\nsrc\n'),
      call('c2', 'false'), output('c2', 'Chunk ID: 7f3b\nWall time: 0.0100 seconds\nProcess exited with code 1\nOutput:\n'),
      call('c3', 'echo hi'), output('c3', JSON.stringify({ output: 'hi\n', metadata: { exit_code: 2, duration_seconds: 0.1 } })),
      // A tool's own text that merely contains the word stays as it is.
      call('c4', 'cat notes'), output('c4', 'Summary\nOutput:\nkept')]);
    const results = rolloutMessages('cmds', home).flatMap((m) => m.blocks).filter((b) => b.type === 'tool_result');
    assert.deepEqual(results.map((b) => b.text), ['README.md\nsrc\n', '\n(exit code 1)', 'hi\n\n(exit code 2)', 'Summary\nOutput:\nkept']);
    // Each names its call, and a command that failed is an error result as it was live.
    assert.deepEqual(results.map((b) => [b.toolUseId, !!b.isError]), [['c1', false], ['c2', true], ['c3', true], ['c4', false]]);

    // Commands past their yield time: one card each, read as they ended, the model's polls unseen.
    const running = (id) => output(id, 'Chunk ID: 1\nWall time: 10.0 seconds\nProcess running with session ID 7\nOutput:\nbegin\n');
    const ended = (id, code) => line('event_msg', { type: 'item_completed', item: { type: 'CommandExecution', id, aggregated_output: 'begin\nend\n', exit_code: code } });
    const poll = (id) => line('response_item', { type: 'function_call', name: 'write_stdin', call_id: id, arguments: '{"session_id":7}' });
    rollout(home, 'long', '/w', [
      call('w1', 'sleep 12'), running('w1'), poll('p1'), ended('w1', 0), output('p1', 'Process exited with code 0\nOutput:\nend\n'),
      call('w2', 'sleep 99'), running('w2'), ended('w2', -1), userText('next'),
      call('w3', 'sleep 98'), running('w3'), userText('and the next')]);
    const blocks = rolloutMessages('long', home).flatMap((m) => m.blocks);
    assert.deepEqual(blocks.filter((b) => b.type !== 'text').map((b) => b.type === 'tool_use' ? `use ${b.id}` : `${b.toolUseId}: ${b.text} ${b.reason ?? ''}`), [
      'use w1', 'w1: begin\nend\n ', 'use w2', 'w2: begin\nend\n(ended with the turn) interrupted',
      'use w3', 'w3: begin\n(ended with the turn) interrupted']);
    assert.equal(blocks.at(-1).text, 'and the next', 'a call with no end recorded ends with its turn');
  } finally {
    fs.rmSync(home, { recursive: true, force: true });
  }
});

test('calls the event stream left out come from the rollout as it grows, each once, from where it was', () => {
  const home = tempDir('codex-store');
  try {
    const call = (id, cmd) => line('response_item', { type: 'function_call', name: 'exec_command', call_id: id, arguments: JSON.stringify({ cmd }) });
    const output = (id, code) => line('response_item', { type: 'function_call_output', call_id: id, output: `Process exited with code ${code}\nOutput:\nout ${id}\n` });
    const shown = (id) => line('event_msg', { type: 'item_completed', item: { type: 'CommandExecution', id } });
    rollout(home, 't1', '/w', [call('old', 'ls'), output('old', 1)]);
    const file = rolloutFiles(home)[0].file;
    const unreported = new UnreportedCalls(new RolloutFollower('t1', home));
    fs.appendFileSync(file, `\n${[call('a', 'echo hi > x'), 'not json', call('b', 'ls'), shown('b'), output('b', 2)].join('\n')}\n`);
    const half = output('a', 1);
    fs.appendFileSync(file, half.slice(0, 20));
    assert.deepEqual(unreported.take(), [], 'no output yet: nothing to show');
    fs.appendFileSync(file, `${half.slice(20)}\n`);
    assert.deepEqual(unreported.take(), [{ type: 'tool_use', id: 'a', name: 'Bash', input: { command: 'echo hi > x' } },
      { type: 'tool_result', toolUseId: 'a', text: 'out a\n\n(exit code 1)', isError: true }]);
    assert.deepEqual(unreported.take(), []);
  } finally {
    fs.rmSync(home, { recursive: true, force: true });
  }
});

// A command past its yield time: the model is told it still runs; the stream's card is its only one.
test('a command left running is no unreported call; its end is told by the command line the stream showed', () => {
  const home = tempDir('codex-store');
  try {
    const call = (id, cmd) => line('response_item', { type: 'function_call', name: 'exec_command', call_id: id, arguments: JSON.stringify({ cmd }) });
    const running = (id) => line('response_item', { type: 'function_call_output', call_id: id,
      output: 'Chunk ID: d0\nWall time: 10.0 seconds\nProcess running with session ID 96055\nOriginal token count: 3\nOutput:\nbegin\n' });
    const ended = (id, cmd, code) => line('event_msg', { type: 'item_completed', item: { type: 'CommandExecution', id,
      command: ['/bin/bash', '-lc', cmd], aggregated_output: `out ${id}\n`, exit_code: code } });
    rollout(home, 't2', '/w', []);
    const file = rolloutFiles(home)[0].file;
    const unreported = new UnreportedCalls(new RolloutFollower('t2', home));
    fs.appendFileSync(file, `\n${[call('r', "echo 'a b'; sleep 12"), running('r'), call('k', 'sleep 99'), running('k'), ended('k', 'sleep 99', -1),
      call('z', 'sleep 5; true'), running('z'), ended('z', 'sleep 5; true', 0)].join('\n')}\n`);
    assert.deepEqual(unreported.take(true), []);
    // As the stream quotes them: settled by the CLI's own record when there is one, else by what
    // the model was told; each record once.
    assert.deepEqual(unreported.settled("/bin/bash -lc 'sleep 5; true'"), { text: 'out z\n', exitCode: 0 });
    assert.deepEqual(unreported.settled("/bin/bash -lc 'sleep 99'"), { text: 'out k\n', exitCode: -1 });
    assert.deepEqual(unreported.settled(`/bin/bash -lc 'echo '"'"'a b'"'"'; sleep 12'`), { text: 'begin\n' });
    assert.equal(unreported.settled("/bin/bash -lc 'echo '\"'\"'a b'\"'\"'; sleep 12'"), null);
    assert.equal(unreported.settled("/bin/bash -lc 'unclosed"), null);
  } finally {
    fs.rmSync(home, { recursive: true, force: true });
  }
  const rows = [
    ["/bin/bash -lc 'echo a; sleep 1'", ['/bin/bash', '-lc', 'echo a; sleep 1']],
    [`a "b \\" \\$c" d\\ e  ''`, ['a', 'b " $c', 'd e', '']],
    ["it'", null],
    ['"open', null],
  ];
  for (const [text, words] of rows) assert.deepEqual(shellWords(text), words, text);
});

test('a failed CLI\'s reason is its last error line, without warnings, prefixes or backtrace', () => {
  const rows = [
    ['WARNING: no PATH aliases\nReading prompt from stdin...\nError: turn/start: turn/start failed: Input too long. (code -32602), data: {"a":1}\n\nStack backtrace:\n   0: <unknown>\n', 'Input too long.'],
    ['\x1b[2m2026-01-01T00:00:00Z\x1b[0m ERROR codex_core::client: stream disconnected\n', 'stream disconnected'],
    ['plain last words\n', 'plain last words'],
    ['WARNING: only a warning\n', null],
    ['', null],
  ];
  for (const [stderr, reason] of rows) assert.equal(cliFailure(stderr), reason, JSON.stringify(stderr));
});
