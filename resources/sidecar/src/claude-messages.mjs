// The Claude Agent SDK's messages in the shapes of the app's line protocol.

// What the sidecar answers the CLI for a call the user refused, and what the CLI itself puts in the
// result of a call cut by an interrupt: a stored conversation tells them apart by these words.
export const DENIED_MESSAGE = 'The user denied this action.';
const INTERRUPTED = /^\[Request interrupted by user/;
// What the CLI stores for a call whose permission request was still open when its conversation
// went (the app quit, the sidecar died), and what it adds on resuming for a call whose process
// went while it ran: nobody refused either, their turn was cut.
const CALL_CUT = /^(Tool permission request failed\b|\[Tool call interrupted\b)/;

// What the CLI stores for a call whose permission request was withdrawn by an interrupt: the
// user's Stop, and equally the app's end with the card open (the sidecar interrupts the turn as
// it ends). Its words read as a refusal nobody made: the pane says what happened instead.
const WITHDRAWN = /^The user doesn't want to proceed with this tool use\b/;
export const NOT_ANSWERED = 'Not run: the turn ended before this request was answered (stopped, or the app ended).';
// A call stopped while it ran gets the same first words, and then the CLI's correction: it may
// well have run, and the pane must not say otherwise.
const STOPPED_WHILE_RUNNING = /\bthis call was stopped while running\b/i;
export const STOPPED_RUNNING = 'Stopped while running: it may have run in part or in full, and its changes may have been written.';

// How the CLI says, beside a result (`tool_result_meta`, live and stored), that its call never
// ran to its end: refused by the user or a rule before it ran, or stopped while it ran (an
// interrupt, which the CLI words as a rejection and then corrects).
const NOT_RUN = { 'permission-rule': 'denied', 'user-rejected': 'interrupted' };

// The reasons a message's `tool_result_meta` gives, by call id.
export function notRunReasons(meta) {
  const reasons = new Map();
  if (!Array.isArray(meta)) return reasons;
  for (const m of meta)
    if (typeof m?.id === 'string' && Object.hasOwn(NOT_RUN, m.non_execution_kind)) reasons.set(m.id, NOT_RUN[m.non_execution_kind]);
  return reasons;
}

// SDK content blocks to the protocol's blocks; anything the app cannot show is left out. `denied`
// holds the ids of calls refused in this run (by the user or a permission rule); `notRun` the
// reasons the message's own metadata gives (notRunReasons).
export function toBlocks(content, { denied, notRun } = {}) {
  if (typeof content === 'string') return content ? [{ type: 'text', text: content }] : [];
  if (!Array.isArray(content)) return [];
  const blocks = [];
  for (const b of content) {
    if (!b || typeof b !== 'object') continue;
    if (b.type === 'text') blocks.push({ type: 'text', text: b.text ?? '' });
    else if (b.type === 'thinking') blocks.push({ type: 'thinking', text: b.thinking ?? '' });
    else if (b.type === 'tool_use')
      blocks.push({ type: 'tool_use', id: b.id ?? '', name: b.name ?? 'tool', input: b.input ?? {} });
    // The service runs these itself, within the same message: no result of ours follows.
    else if (b.type === 'server_tool_use')
      blocks.push({ type: 'tool_use', id: b.id ?? '', name: b.name ?? 'tool', input: b.input ?? {}, settled: true });
    else if (b.type === 'tool_result') blocks.push(resultBlock(b, denied, notRun));
  }
  return blocks;
}

function resultBlock(b, denied, notRun) {
  const text = resultText(b.content);
  const block = { type: 'tool_result', text };
  if (typeof b.tool_use_id === 'string' && b.tool_use_id) block.toolUseId = b.tool_use_id;
  if (b.is_error === true) {
    block.isError = true;
    const said = notRun?.get(b.tool_use_id);
    if (CALL_CUT.test(text)) block.reason = 'interrupted';
    else if (said) block.reason = said;
    else if (INTERRUPTED.test(text)) block.reason = 'interrupted';
    else if (denied?.has(b.tool_use_id) || text.startsWith(DENIED_MESSAGE)) block.reason = 'denied';
    if (block.reason === 'interrupted' && WITHDRAWN.test(text)) block.text = STOPPED_WHILE_RUNNING.test(text) ? STOPPED_RUNNING : NOT_ANSWERED;
  }
  return block;
}

function resultText(content) {
  if (typeof content === 'string') return content;
  if (!Array.isArray(content)) return '';
  return content.filter((c) => c?.type === 'text').map((c) => c.text).join('\n');
}

export const inputTokens = (u) => (u?.input_tokens ?? 0) + (u?.cache_read_input_tokens ?? 0) + (u?.cache_creation_input_tokens ?? 0);

const COMMAND_ECHO = /^\s*<(command-name|command-message|local-command-stdout|local-command-stderr)>/;
const SUMMARY_START = 'This session is being continued from a previous conversation';
const COMPACTED = '✦ Conversation compacted — context freed, earlier messages summarized.';

// An assistant message the CLI wrote itself, not the model: its answer for a refused request, or a
// placeholder ("No response requested.") where a cut turn left a question without an answer.
export const madeByCli = (message) => message?.model === '<synthetic>';

// Messages of a stored conversation, as the app's history events carry them. A user message whose
// turn ended with no answer says why when the store tells ("noAnswer"): "interrupted", or the
// error that refused its request.
export function historyMessages(stored) {
  const out = [];
  const noAnswer = (why) => {
    const last = out.at(-1);
    if (why && last?.role === 'user' && !last.noAnswer) last.noAnswer = why;
  };
  const textOf = (blocks) => blocks.filter((b) => b.type === 'text').map((b) => b.text).join('\n').trim();
  for (const m of stored) {
    if (m.type !== 'user' && m.type !== 'assistant') continue;
    if (m.parent_tool_use_id) continue;
    // A request the API refused (a prompt too long, an overloaded call) is stored as an answer the
    // CLI made up; it said why the turn failed and is no answer of the model's. Its other made-up
    // answers are placeholders that say nothing.
    if (m.type === 'assistant' && (m.isApiErrorMessage || madeByCli(m.message))) {
      if (m.isApiErrorMessage) noAnswer(textOf(toBlocks(m.message?.content)) || 'the request failed');
      continue;
    }
    let blocks = toBlocks(m.message?.content, { notRun: notRunReasons(m.tool_result_meta) });
    if (m.type === 'user') {
      // Slash-command bookkeeping is the CLI's, not the user's words; a compaction summary shows as
      // the notice the pane showed when it happened.
      // The CLI's note of an interrupt is no message of the user's either: the app tells a cut
      // turn by what is missing after it, and says it was interrupted.
      if (blocks.some((b) => b.type === 'text' && INTERRUPTED.test(b.text))) noAnswer('interrupted');
      blocks = blocks.filter((b) => b.type !== 'text' || (!COMMAND_ECHO.test(b.text) && !INTERRUPTED.test(b.text)));
      if (blocks.length === 1 && blocks[0].type === 'text' && blocks[0].text.startsWith(SUMMARY_START)) {
        out.push({ role: 'assistant', blocks: [{ type: 'text', text: COMPACTED }] });
        continue;
      }
    }
    if (!blocks.length) continue;
    // A tool result travels in a user message but belongs to the assistant's side of the talk.
    const role = m.type === 'user' && blocks.every((b) => b.type !== 'tool_result') ? 'user' : 'assistant';
    out.push({ role, blocks });
  }
  return out;
}

export function usageMetrics(limits) {
  const labels = { five_hour: 'Current session', seven_day: 'Current week (all models)',
    seven_day_opus: 'Current week (Opus)', seven_day_sonnet: 'Current week (Sonnet)' };
  const metrics = [];
  for (const [key, label] of Object.entries(labels)) {
    const w = limits?.[key];
    if (!w || typeof w.utilization !== 'number') continue;
    metrics.push({ label, percent: w.utilization, ...(w.resets_at ? { resetsAt: w.resets_at } : {}) });
  }
  return metrics;
}

