// Stored Claude conversations and account limits in the protocol's shapes.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { historyMessages, usageMetrics } from '../../../resources/sidecar/src/claude-messages.mjs';

const msg = (type, content, extra = {}) => ({ type, message: { role: type, content }, parent_tool_use_id: null, ...extra });

test('history keeps what the user saw: no command echoes, no sub-agent talk, tool results with the assistant', () => {
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
  ];
  assert.deepEqual(historyMessages(stored), [
    { role: 'assistant', blocks: [{ type: 'text', text: '✦ Conversation compacted — context freed, earlier messages summarized.' }] },
    { role: 'user', blocks: [{ type: 'text', text: 'list files' }] },
    { role: 'assistant', blocks: [{ type: 'thinking', text: 'hmm' }, { type: 'tool_use', id: 't1', name: 'Bash', input: { command: 'ls' } }] },
    { role: 'assistant', blocks: [{ type: 'tool_result', text: 'a.txt' }] },
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
