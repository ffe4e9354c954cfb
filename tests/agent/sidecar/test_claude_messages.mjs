// Stored Claude conversations and account limits in the protocol's shapes.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { historyMessages, usageMetrics, toBlocks, notRunReasons, DENIED_MESSAGE, NOT_ANSWERED, STOPPED_RUNNING } from '../../../resources/sidecar/src/claude-messages.mjs';

const msg = (type, content, extra = {}) => ({ type, message: { role: type, content }, parent_tool_use_id: null, ...extra });

test('history keeps what the user saw: no command echoes, no sub-agent talk, no answer the CLI made up, tool results with the assistant', () => {
  const stored = [
    msg('user', 'This session is being continued from a previous conversation that ran out of context.\nSummary: …'),
    msg('user', '<command-name>/compact</command-name>'),
    msg('user', '<local-command-stdout>Compacted </local-command-stdout>'),
    msg('user', [{ type: 'text', text: 'list files' }, { type: 'image', source: {} }]),
    msg('assistant', [{ type: 'thinking', thinking: 'hmm', signature: 's' }, { type: 'tool_use', id: 't1', name: 'Bash', input: { command: 'ls' } }]),
    msg('assistant', [{ type: 'text', text: 'inner' }], { parent_tool_use_id: 't0' }),
    msg('user', [{ type: 'tool_result', tool_use_id: 't1', content: [{ type: 'text', text: 'a.txt' }] }]),
    msg('system', 'ignored'),
    msg('assistant', []),
    msg('user', 'a very long question'),
    msg('assistant', [{ type: 'text', text: 'Prompt is too long' }], { isApiErrorMessage: true, error: 'invalid_request' }),
    // A turn stopped before any answer, and one cut by a crash: on resuming, the CLI fills the gap
    // with a placeholder of its own (as stored by CLI 2.1).
    msg('user', 'stopped at once'),
    msg('user', [{ type: 'text', text: '[Request interrupted by user]' }]),
    msg('user', 'cut by a crash'),
    { type: 'assistant', message: { role: 'assistant', model: '<synthetic>', content: [{ type: 'text', text: 'No response requested.' }] },
      parent_tool_use_id: null, isApiErrorMessage: false },
    msg('user', 'again'),
    msg('assistant', [{ type: 'text', text: 'Back' }]),
  ];
  assert.deepEqual(historyMessages(stored), [
    { role: 'assistant', blocks: [{ type: 'text', text: '✦ Conversation compacted — context freed, earlier messages summarized.' }] },
    { role: 'user', blocks: [{ type: 'text', text: 'list files' }] },
    { role: 'assistant', blocks: [{ type: 'thinking', text: 'hmm' }, { type: 'tool_use', id: 't1', name: 'Bash', input: { command: 'ls' } }] },
    { role: 'assistant', blocks: [{ type: 'tool_result', toolUseId: 't1', text: 'a.txt' }] },
    { role: 'user', blocks: [{ type: 'text', text: 'a very long question' }], noAnswer: 'Prompt is too long' },
    { role: 'user', blocks: [{ type: 'text', text: 'stopped at once' }], noAnswer: 'interrupted' },
    { role: 'user', blocks: [{ type: 'text', text: 'cut by a crash' }] },
    { role: 'user', blocks: [{ type: 'text', text: 'again' }] },
    { role: 'assistant', blocks: [{ type: 'text', text: 'Back' }] },
  ]);
});

test('a result says which call it answers and how that call ended; the CLI\'s interrupt notes are no message', () => {
  const result = (id, text, isError) => ({ type: 'tool_result', tool_use_id: id, content: text, ...(isError ? { is_error: true } : {}) });
  assert.deepEqual(toBlocks([
    result('ok', 'fine'),
    result('failed', 'Exit code 1\nno such file', true),
    result('refused', DENIED_MESSAGE, true),
    result('ruled', 'Permission to use Bash has been denied.', true),
    result('cut', '[Request interrupted by user for tool use]', true),
    result('asked', 'Tool permission request failed: AbortError: Stream closed', true),
    result('gone', "[Tool call interrupted: the session ended before this call's result was recorded]", true),
    { type: 'server_tool_use', id: 's1', name: 'web_search', input: { query: 'q' } },
  ], { denied: new Set(['ruled']) }), [
    { type: 'tool_result', toolUseId: 'ok', text: 'fine' },
    { type: 'tool_result', toolUseId: 'failed', text: 'Exit code 1\nno such file', isError: true },
    { type: 'tool_result', toolUseId: 'refused', text: DENIED_MESSAGE, isError: true, reason: 'denied' },
    { type: 'tool_result', toolUseId: 'ruled', text: 'Permission to use Bash has been denied.', isError: true, reason: 'denied' },
    { type: 'tool_result', toolUseId: 'cut', text: '[Request interrupted by user for tool use]', isError: true, reason: 'interrupted' },
    { type: 'tool_result', toolUseId: 'asked', text: 'Tool permission request failed: AbortError: Stream closed', isError: true, reason: 'interrupted' },
    { type: 'tool_result', toolUseId: 'gone', text: "[Tool call interrupted: the session ended before this call's result was recorded]", isError: true, reason: 'interrupted' },
    { type: 'tool_use', id: 's1', name: 'web_search', input: { query: 'q' }, settled: true },
  ]);
  // The CLI's metadata beside the results says how a call ended without running, live and read
  // back: a rule's refusal, and a call stopped while it ran, which the CLI words as a rejection.
  const stopped = "The user doesn't want to proceed with this tool use. … Correction to the text above: this call was stopped while running";
  const meta = [{ id: 'r1', non_execution_kind: 'permission-rule', refused_by: 'rule' }, { id: 'b1', non_execution_kind: 'user-rejected' },
    { id: 'x1', non_execution_kind: 'something-new' }, null, { non_execution_kind: 'user-rejected' }];
  assert.deepEqual(toBlocks([result('r1', 'Permission to use Bash with command rm -rf build has been denied.', true), result('b1', stopped, true),
    result('x1', 'odd', true)], { notRun: notRunReasons(meta) }).map((b) => b.reason), ['denied', 'interrupted', undefined]);
  assert.deepEqual(notRunReasons('garbage'), new Map());
  // Read back, a refusal is known by its words or that metadata; the note of an interrupt is left out.
  assert.deepEqual(historyMessages([
    msg('user', 'write it'),
    msg('assistant', [{ type: 'tool_use', id: 'w1', name: 'Write', input: { file_path: '/a', content: 'x' } }]),
    msg('user', [result('w1', DENIED_MESSAGE, true)]),
    msg('user', [result('r1', 'Permission denied.', true)], { tool_result_meta: meta }),
    msg('user', [{ type: 'text', text: '[Request interrupted by user]' }]),
  ]), [
    { role: 'user', blocks: [{ type: 'text', text: 'write it' }] },
    { role: 'assistant', blocks: [{ type: 'tool_use', id: 'w1', name: 'Write', input: { file_path: '/a', content: 'x' } }] },
    { role: 'assistant', blocks: [{ type: 'tool_result', toolUseId: 'w1', text: DENIED_MESSAGE, isError: true, reason: 'denied' }] },
    { role: 'assistant', blocks: [{ type: 'tool_result', toolUseId: 'r1', text: 'Permission denied.', isError: true, reason: 'denied' }] },
  ]);
});

test('plan limits: known windows with a utilisation, in a fixed order', () => {
  assert.deepEqual(usageMetrics(null), []);
  assert.deepEqual(usageMetrics({
    seven_day: { utilization: 12, resets_at: '2026-01-09T00:00:00Z' },
    five_hour: { utilization: 80.5, resets_at: null },
    seven_day_opus: { utilization: null, resets_at: null },
    seven_day_oauth_apps: { utilization: 3, resets_at: null },
  }), [
    { label: 'Current session', percent: 80.5 },
    { label: 'Current week (all models)', percent: 12, resetsAt: '2026-01-09T00:00:00Z' },
  ]);
});

// A permission request withdrawn by an interrupt (the user's Stop, or the app ending with the card
// open) is stored in words of a refusal nobody made: it reads as not answered. A call stopped while
// it ran starts with the same words and then corrects them: it reads as stopped while running,
// never as not run. A refusal, a call that failed, and the same words on a call that was not cut
// keep their own text.
test('a request withdrawn by an interrupt reads as not answered, a call stopped while running as such, never as the user\'s refusal', () => {
  const rejected = "The user doesn't want to proceed with this tool use. The tool use was rejected (eg. if it was a file edit, the new_string was NOT written to the file). STOP what you are doing and wait for the user to tell you how to proceed.";
  // As the CLI (2.1.337) words a Bash call stopped while it ran.
  const stopped = `${rejected} Correction to the text above: this call was stopped while running, not refused before it ran. It may have run in part or in full, and its changes may have been written. No permission prompt was involved.`;
  const result = (id, text, isError) => ({ type: 'tool_result', tool_use_id: id, content: text, ...(isError ? { is_error: true } : {}) });
  const rows = [
    { id: 'cut', result: result('cut', rejected, true), meta: 'user-rejected', want: { text: NOT_ANSWERED, isError: true, reason: 'interrupted' } },
    { id: 'stopped', result: result('stopped', stopped, true), meta: 'user-rejected', want: { text: STOPPED_RUNNING, isError: true, reason: 'interrupted' } },
    { id: 'refused', result: result('refused', DENIED_MESSAGE, true), want: { text: DENIED_MESSAGE, isError: true, reason: 'denied' } },
    { id: 'ruled', result: result('ruled', rejected, true), meta: 'permission-rule', want: { text: rejected, isError: true, reason: 'denied' } },
    { id: 'failed', result: result('failed', 'Exit code 1', true), want: { text: 'Exit code 1', isError: true } },
    { id: 'said', result: result('said', rejected, false), want: { text: rejected } },
  ];
  for (const row of rows) {
    const notRun = notRunReasons(row.meta ? [{ id: row.id, non_execution_kind: row.meta }] : []);
    assert.deepEqual(toBlocks([row.result], { notRun }), [{ type: 'tool_result', toolUseId: row.id, ...row.want }], row.id);
    // Read back from a stored conversation the same way.
    const stored = [msg('assistant', [{ type: 'tool_use', id: row.id, name: 'Bash', input: {} }]),
      msg('user', [row.result], row.meta ? { tool_result_meta: [{ id: row.id, non_execution_kind: row.meta }] } : {})];
    assert.deepEqual(historyMessages(stored)[1].blocks, [{ type: 'tool_result', toolUseId: row.id, ...row.want }], row.id);
  }
});
