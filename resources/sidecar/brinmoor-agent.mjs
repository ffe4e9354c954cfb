// Sidecar for Claude chat panes and the Claude usage monitor, on the Claude Agent SDK. It runs the
// Claude Code executable the user installed (the start command's "claudePath").
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { query, listSessions, getSessionMessages } from '@anthropic-ai/claude-agent-sdk';
import { runSidecar, errorText, reaperPath, spawnThroughReaper, childrenOf, descendants, snapshot, snapshotDescendants, sameProcess,
  endProcesses, underSessionReaper, programOf, handOverAtEnd } from './src/protocol.mjs';
import { toBlocks, notRunReasons, inputTokens, historyMessages, usageMetrics, madeByCli, DENIED_MESSAGE } from './src/claude-messages.mjs';

const MODES = new Set(['default', 'acceptEdits', 'bypassPermissions', 'plan', 'dontAsk', 'auto']);
const EFFORTS = new Set(['low', 'medium', 'high', 'xhigh', 'max']);
// The CLI is started through it, so that a CLI that dies takes its commands with it.
const REAPER = reaperPath(path.dirname(fileURLToPath(import.meta.url)));
// Below the session's reaper, what the session's commands left running can be handed to it when
// the CLI has to be ended (endUnresponsive).
const HANDS_OVER = underSessionReaper(REAPER);
const STDERR_TAIL = 2048;
// What a stopped turn says when the CLI did not answer the interrupt and had to be ended.
const ENDED_MESSAGE = 'Claude Code did not respond to Stop and had to be ended. Your next message starts it again on this conversation.';

// An endless prompt stream that the turns feed one user message at a time.
class Inbox {
  constructor() { this.items = []; this.wake = null; this.done = false; }
  push(item) { this.items.push(item); this.wake?.(); }
  end() { this.done = true; this.wake?.(); }
  async *[Symbol.asyncIterator]() {
    for (;;) {
      while (this.items.length) yield this.items.shift();
      if (this.done) return;
      await new Promise((r) => { this.wake = r; });
      this.wake = null;
    }
  }
}

runSidecar((core) => {
  let start = null;
  let conversation = null; // the running query of a chat session
  let inbox = null;
  let usageQuery = null; // a usage-only sidecar's query: it never receives a prompt
  let mode = 'default';
  let model;
  let sessionId = null;
  let contextWindow = 0;
  let lastContextTokens = 0; // the prompt size of the latest model call
  let turn = null; // the command whose answer is streaming
  let refusal = null; // why the API refused the turn's request, as the CLI said it
  const denied = new Set(); // calls refused in this run, by id: their results say so
  let stderrTail = ''; // what the CLI wrote last to standard error
  let cli = null; // the conversation's process (the reaper, or the CLI itself)
  let leftBefore = []; // what ran below the CLI when the current turn began (snapshot)
  let reopen = false; // the CLI is to be started again between turns, for a setting it reads at start

  // `onSpawn` learns of each process started for these options.
  function baseOptions(onSpawn = () => {}) {
    const opts = {
      cwd: start.cwd || process.cwd(),
      permissionMode: mode,
      stderr: (text) => core.log(text.trimEnd()),
      env: { ...process.env },
    };
    if (start.claudePath) opts.pathToClaudeCodeExecutable = start.claudePath;
    // Started here (through the reaper when there is one), so that a CLI that stops answering
    // can be ended.
    opts.spawnClaudeCodeProcess = (how) => {
      stderrTail = '';
      const child = spawnThroughReaper(REAPER, how, (text) => {
        stderrTail = (stderrTail + text).slice(-STDERR_TAIL);
        opts.stderr(text);
      });
      onSpawn(child);
      return child;
    };
    if (mode === 'bypassPermissions') opts.allowDangerouslySkipPermissions = true;
    return opts;
  }

  async function canUseTool(tool, input, { signal, toolUseID }) {
    if (tool === 'AskUserQuestion') {
      const questions = Array.isArray(input?.questions) ? input.questions : [];
      const answers = await core.ask('question', { questions }, signal);
      // No answer at all: the turn was stopped or ended while the card was open, and the CLI must
      // not go on to ask the model again (as for a permission request).
      if (!answers || !Object.keys(answers).length)
        return { behavior: 'deny', message: 'The user skipped the question.', ...(answers ? {} : { interrupt: true }) };
      return { behavior: 'allow', updatedInput: { ...input, answers } };
    }
    const decision = await core.ask('permission', { tool, input: input ?? {} }, signal);
    if (decision === 'allow') return { behavior: 'allow', updatedInput: input };
    if (decision && toolUseID) denied.add(toolUseID);
    return { behavior: 'deny', message: DENIED_MESSAGE, ...(decision ? {} : { interrupt: true }) };
  }

  // Closes the conversation's CLI between turns so that the next turn opens it again on the same
  // conversation, with what it reads only at start. What the session's commands left running
  // below it is handed on to the session first (below the session's reaper), not ended with it.
  function closeForReopen() {
    const q = conversation;
    if (!q) return;
    reopen = false;
    if (HANDS_OVER && cli) handOverAtEnd(cli.pid);
    const input = inbox;
    q.endedByUs = true;
    ended(q);
    input?.end();
    q.close();
  }

  function openConversation() {
    inbox = new Inbox();
    // The user's own settings, project instructions and permission rules apply as in the terminal.
    const opts = { ...baseOptions((child) => { cli = child; }), canUseTool, includePartialMessages: true, settingSources: ['user', 'project', 'local'] };
    if (start.resume) opts.resume = start.resume;
    if (model) opts.model = model;
    if (EFFORTS.has(start.effort)) opts.effort = start.effort;
    conversation = query({ prompt: inbox, options: opts });
    consume(conversation).catch(() => {});
    conversation.supportedCommands?.()
      .then((list) => core.emit('commands', {
        commands: list.map((c) => c.name).filter((n) => typeof n === 'string').map((n) => n.replace(/^\//, '')) }))
      .catch(() => {});
  }

  async function consume(q) {
    try {
      for await (const m of q) onMessage(m);
      if (q.endedByUs) return ended(q);
      core.failAllTurns('Claude Code ended the session.');
    } catch (e) {
      if (q.endedByUs) return ended(q);
      // Said once even between turns, so the pane shows why its agent is gone.
      const message = exitText(errorText(e));
      if (core.turnActive) core.failAllTurns(message);
      else core.emit('error', { message });
    }
    core.shutdown('the agent ended');
  }

  // A conversation whose CLI was ended here: the next turn opens it again on the same session.
  function ended(q) {
    if (conversation !== q) return;
    conversation = null;
    inbox = null;
    leftBefore = [];
    turn = null;
    if (sessionId) start = { ...start, resume: sessionId };
  }

  // The CLI's own process (below the reaper, or the conversation's process itself).
  const cliProcess = (child) => (REAPER ? programOf(child.pid) : child.pid);

  // Ends a CLI that did not answer an interrupt (hung, or stopped), and with it the command it
  // runs: SIGKILL reaches a stopped process too. Below the session's reaper, what the CLI runs that
  // the turn started is that command (SIGTERM first, then SIGKILL); what earlier turns left running
  // (a server, a job in the background) is handed on to the session through the CLI's reaper,
  // and lives as long as the session. Otherwise, through the reaper, the CLI alone is killed and the
  // reaper ends everything below it before it exits; without it, the CLI's tree as it is now.
  async function endUnresponsive() {
    const q = conversation;
    const child = cli;
    if (!q || !child || child.exitCode !== null || child.signalCode !== null) return null;
    q.endedByUs = true;
    inbox?.end();
    const exited = new Promise((r) => child.once('exit', r));
    const program = HANDS_OVER ? cliProcess(child) : null;
    if (program) {
      const command = snapshot(descendants(program)).filter((p) => !leftBefore.some((b) => sameProcess(b, p)));
      handOverAtEnd(child.pid);
      try { process.kill(program, 'SIGKILL'); } catch { /* gone */ }
      await endProcesses(command);
    } else if (REAPER) {
      for (const pid of childrenOf(child.pid)) try { process.kill(pid, 'SIGKILL'); } catch { /* gone */ }
    } else {
      const tree = new Set([child.pid, ...descendants(child.pid)]);
      await endProcesses(snapshotDescendants().filter((p) => tree.has(p.pid)), 0);
    }
    await Promise.race([exited, new Promise((r) => setTimeout(r, 5000).unref?.())]);
    try { child.kill('SIGKILL'); } catch { /* gone */ }
    ended(q);
    return ENDED_MESSAGE;
  }

  function onMessage(m) {
    switch (m.type) {
      case 'system':
        if (m.subtype === 'init') {
          // An init without an id says nothing about the conversation; passing it on would cut
          // the pane's link to the one it is in.
          if (typeof m.session_id !== 'string' || !m.session_id) return;
          sessionId = m.session_id;
          core.emit('session', { id: m.session_id, model: m.model });
        } else if (m.subtype === 'compact_boundary') {
          lastContextTokens = 0;
          core.emit('compacted', { preTokens: m.compact_metadata?.pre_tokens ?? 0 });
        } else if (m.subtype === 'permission_denied') {
          // Refused by a rule or the mode, without asking: its result says so too.
          if (typeof m.tool_use_id === 'string') denied.add(m.tool_use_id);
        } else if (m.subtype === 'api_retry') {
          // The turn waits on a retry: the pane shows it instead of a silent "Working…".
          core.emit('status', { text: retryText(m) });
        }
        return;
      case 'assistant': {
        if (m.parent_tool_use_id) return;
        // A request the API refused (a prompt too long, an overloaded or failed call) comes back
        // as an assistant message the CLI made up: it is why the turn failed, not an answer.
        if (m.is_api_error_message || (m.error && m.message?.model === '<synthetic>')) {
          refusal = toBlocks(m.message?.content).filter((b) => b.type === 'text').map((b) => b.text).join('\n').trim() || null;
          return;
        }
        // Its other made-up answers are placeholders ("No response requested."), never the model's.
        if (madeByCli(m.message)) return;
        const u = m.message?.usage;
        core.emit('assistant', { blocks: toBlocks(m.message?.content), tokensIn: inputTokens(u), tokensOut: u?.output_tokens ?? 0 });
        if (u) {
          lastContextTokens = inputTokens(u);
          core.emit('context', { tokens: lastContextTokens, ...(contextWindow ? { window: contextWindow } : {}) });
        }
        return;
      }
      case 'user': {
        if (m.parent_tool_use_id || m.isReplay) return;
        const blocks = toBlocks(m.message?.content, { denied, notRun: notRunReasons(m.tool_result_meta) })
          .filter((b) => b.type === 'tool_result');
        if (blocks.length) core.emit('assistant', { blocks, tokensIn: 0, tokensOut: 0 });
        return;
      }
      case 'stream_event': {
        const e = m.event;
        if (m.parent_tool_use_id) return;
        if (e?.type === 'message_delta' && e.usage)
          core.emit('tokens', { tokensIn: inputTokens(e.usage), tokensOut: e.usage.output_tokens ?? 0 });
        return;
      }
      case 'result': {
        for (const mu of Object.values(m.modelUsage ?? {}))
          if (mu?.contextWindow > contextWindow) contextWindow = mu.contextWindow;
        const fields = {
          costUsd: m.total_cost_usd ?? 0,
          isError: !!m.is_error,
          tokensIn: inputTokens(m.usage),
          tokensOut: m.usage?.output_tokens ?? 0,
          durationMs: m.duration_ms ?? 0,
        };
        if (contextWindow) core.emit('context', { tokens: lastContextTokens, window: contextWindow });
        // A refused request ends its turn as an error the pane shows, in the CLI's words.
        const failure = m.is_error && m.subtype === 'success' ? refusal ?? (typeof m.result === 'string' ? m.result.trim() : '') : '';
        refusal = null;
        if (failure) core.endTurn('error', { message: failure }, turn);
        else core.endTurn('result', fields, turn);
        turn = null;
        if (reopen) closeForReopen();
        return;
      }
      default:
    }
  }

  // The SDK adds the CLI's last words on standard error to its exit errors only for a process it
  // started itself: for one started through the reaper they are added here, in its form.
  function exitText(message) {
    const tail = stderrTail.trim();
    if (!tail || message.includes('. stderr: ') || !/^Claude Code process (exited with code|terminated by signal) \S+$/.test(message)) return message;
    return `${message}. stderr: ${tail}`;
  }

  function retryText(m) {
    const why = m.error_status ? `${m.error === 'overloaded' ? 'overloaded' : 'error'} ${m.error_status}`
      : m.error === 'unknown' || !m.error ? 'no connection' : String(m.error).replace(/_/g, ' ');
    const attempt = Number.isInteger(m.attempt) && Number.isInteger(m.max_retries) ? ` ${m.attempt}/${m.max_retries}` : '';
    const wait = Number.isFinite(m.retry_delay_ms) ? ` in ${Math.max(1, Math.round(m.retry_delay_ms / 1000))} s` : '';
    return `Retrying${attempt}${wait} (${why})`;
  }

  function userMessage(text) {
    return { type: 'user', message: { role: 'user', content: text }, parent_tool_use_id: null, origin: { kind: 'human' } };
  }

  return {
    start(cmd) {
      start = cmd;
      if (!REAPER) core.log('brinmoor-reaper is missing: a command may outlive its CLI');
      if (MODES.has(cmd.permissionMode)) mode = cmd.permissionMode;
      if (typeof cmd.model === 'string' && cmd.model) model = cmd.model;
      // The usage monitor's start names no "binPath": it must never open a conversation.
      if (typeof cmd.binPath === 'string' || cmd.resume) openConversation();
    },
    async runTurn(cmd) {
      if (!conversation) openConversation();
      // What runs below the CLI now was left running by earlier turns: ending a CLI that stops
      // answering in this turn ends only what the turn started.
      const program = cli && cli.exitCode === null && cli.signalCode === null ? cliProcess(cli) : null;
      leftBefore = program ? snapshot(descendants(program)) : [];
      turn = cmd;
      if (cmd.cmd === 'compact') return inbox.push(userMessage('/compact'));
      const content = [];
      for (const a of Array.isArray(cmd.attachments) ? cmd.attachments : []) {
        if (typeof a?.data !== 'string' || !a.data) continue;
        content.push({ type: 'image', source: { type: 'base64', media_type: a.mediaType || 'image/png', data: a.data } });
      }
      const text = typeof cmd.text === 'string' ? cmd.text : '';
      if (text) content.push({ type: 'text', text });
      inbox.push(userMessage(content.length === 1 && text ? text : content));
    },
    async interrupt() { await conversation?.interrupt(); },
    endUnresponsive,
    async setPermissionMode(next) {
      if (!MODES.has(next)) return core.log(`unknown permission mode ${next}`);
      if (!conversation) { mode = next; return; }
      const answer = await conversation.setPermissionMode(next);
      mode = answer?.mode ?? next; // the CLI may keep another mode than the one asked for
    },
    async setModel(next) {
      const wanted = next || undefined;
      if (!conversation) { model = wanted; return; }
      try {
        await conversation.setModel(wanted);
        model = wanted;
      } catch (e) {
        // Requests keep going out with the old model: the pane must show that one, and why.
        core.emit('model_refused', { model: model ?? '', message: `Couldn't switch to ${next || 'the default model'}: ${errorText(e)}` });
      }
    },
    // Applied to the running CLI; one that cannot take it mid-session is started again (between
    // turns) on the same conversation with it, as a new conversation would be.
    async setEffort(next) {
      start = { ...start, effort: EFFORTS.has(next) ? next : undefined };
      if (!conversation) return;
      try {
        await conversation.applyFlagSettings({ effortLevel: start.effort ?? null });
      } catch (e) {
        core.log(`the CLI did not take the effort (${errorText(e)}): it starts again on this conversation`);
        reopen = true;
        if (!core.turnActive) closeForReopen();
      }
    },
    async history(cmd) {
      const id = cmd.sessionId || sessionId;
      if (!id) return [];
      return historyMessages(await getSessionMessages(id, { dir: cmd.cwd || start?.cwd }));
    },
    async listSessions(cmd) {
      const list = await listSessions({ dir: cmd.cwd || start?.cwd });
      return list
        .sort((a, b) => b.lastModified - a.lastModified)
        .map((s) => ({ id: s.sessionId, summary: s.customTitle || s.summary || s.firstPrompt || '(untitled)', lastModified: s.lastModified }));
    },
    async usage() {
      let q = conversation;
      if (!q) {
        // A prompt stream that never yields: the CLI answers control requests and starts no turn.
        if (!usageQuery) {
          const idle = new Inbox();
          usageQuery = query({ prompt: idle, options: { ...baseOptions(), persistSession: false } });
          usageQuery.idle = idle;
          const mine = usageQuery;
          // When the CLI goes away, the next request starts a new one.
          (async () => { try { for await (const _ of mine); } catch { /* reported per request */ } if (usageQuery === mine) usageQuery = null; })();
        }
        q = usageQuery;
      }
      const account = await q.accountInfo().catch(() => ({}));
      const report = await q.usage_EXPERIMENTAL_MAY_CHANGE_DO_NOT_RELY_ON_THIS_API_YET({ skipBehaviors: true }).catch(() => null);
      const result = { available: !!report?.rate_limits_available, metrics: usageMetrics(report?.rate_limits) };
      if (account?.email) result.email = account.email;
      const plan = report?.subscription_type || account?.subscriptionType;
      if (plan) result.subscription = plan;
      return result;
    },
    async close() {
      inbox?.end();
      usageQuery?.idle.end();
      conversation?.close();
      usageQuery?.close();
    },
  };
});
