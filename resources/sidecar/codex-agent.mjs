// Sidecar for Codex chat panes and the Codex usage monitor, on the Codex SDK. It runs the codex
// executable the user installed (the start command's "binPath"); each user message is one
// `codex exec` turn on the same thread.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { Codex } from '@openai/codex-sdk';
import { runSidecar, errorText, snapshotDescendants, endProcesses, reaperPath, underSessionReaper, childrenOf, isReaper,
  leftRunningBelow, handOverAtEnd } from './src/protocol.mjs';
import { rolloutMessages, rolloutSessions, accountUsage, toolUse, RolloutFollower, UnreportedCalls, cliFailure, commandEnd } from './src/codex-store.mjs';

// The SDK runs `codex exec`, which has no way to put an approval to the user and answer it, so
// the pane's permission mode picks the sandbox instead. "Ask before running" therefore runs
// read-only: nothing is changed without the user, who switches to a writing mode to allow it.
const SANDBOX = { plan: 'read-only', default: 'read-only', acceptEdits: 'workspace-write', bypassPermissions: 'danger-full-access' };
const EFFORTS = new Set(['minimal', 'low', 'medium', 'high', 'xhigh']);
// The efforts of the table both providers share that Codex has no level of its own for, and the
// nearest one it takes: "Max" asks for Codex's highest, not for its default (below "High").
const NEAREST_EFFORT = { max: 'xhigh' };
// What a pane's effort asks Codex for; none (Codex's default) for an effort it has no level near.
const codexEffort = (asked) => EFFORTS.has(asked) ? asked : NEAREST_EFFORT[asked];
// Each turn's codex is started through it, so that a codex that dies takes its commands with it.
const REAPER = reaperPath(path.dirname(fileURLToPath(import.meta.url)));
// Below the session's reaper, what a turn leaves running on its own is handed to it (see start).
const HANDS_OVER = underSessionReaper(REAPER);

// A call's result, naming the call; a failed or refused one says so.
function result(item, text, failed) {
  const block = { type: 'tool_result', toolUseId: item.id, text };
  if (item.status === 'declined') return { ...block, isError: true, reason: 'denied' };
  return failed ? { ...block, isError: true } : block;
}

// Thread items to the protocol's blocks. A command shows as its call when it starts and its output
// when it ends; other tools come whole when completed.
export function itemBlocks(kind, item, seen) {
  switch (item.type) {
    case 'agent_message':
      return kind === 'completed' ? [{ type: 'text', text: item.text ?? '' }] : [];
    case 'reasoning':
      return kind === 'completed' ? [{ type: 'thinking', text: item.text ?? '' }] : [];
    case 'command_execution': {
      const blocks = [];
      if (!seen.has(item.id)) {
        seen.add(item.id);
        blocks.push(toolUse(item.id, 'shell', { command: item.command ?? '' }));
      }
      if (kind === 'completed') {
        const failed = item.status === 'failed' || (typeof item.exit_code === 'number' && item.exit_code !== 0);
        const code = typeof item.exit_code === 'number' && item.exit_code !== 0 ? `\n(exit code ${item.exit_code})` : '';
        blocks.push(result(item, `${item.aggregated_output ?? ''}${code}`, failed));
      }
      return blocks;
    }
    case 'file_change':
      if (kind !== 'completed') return [];
      return [
        { type: 'tool_use', id: item.id, name: 'Edit', input: { file_path: item.changes?.[0]?.path ?? '', changes: item.changes ?? [] } },
        result(item, (item.changes ?? []).map((c) => `${c.kind} ${c.path}`).join('\n') || item.status, item.status === 'failed'),
      ];
    case 'mcp_tool_call': {
      if (kind !== 'completed') return [];
      const text = item.error?.message ?? (item.result?.content ?? []).map((c) => c?.text ?? '').join('\n');
      return [{ type: 'tool_use', id: item.id, name: `mcp__${item.server}__${item.tool}`, input: item.arguments ?? {} },
        result(item, text, item.status === 'failed' || !!item.error)];
    }
    // A search and a to-do list give no result of their own: complete as they come.
    case 'web_search':
      return kind === 'completed' ? [{ type: 'tool_use', id: item.id, name: 'WebSearch', input: { query: item.query ?? '' }, settled: true }] : [];
    case 'todo_list':
      return kind === 'completed' ? [{ type: 'tool_use', id: item.id, name: 'TodoWrite', settled: true,
        input: { todos: (item.items ?? []).map((t) => ({ content: t.text, status: t.completed ? 'completed' : 'pending' })) } }] : [];
    default:
      return [];
  }
}

// The SDK's error for a codex process that failed holds all the CLI wrote to standard error,
// warnings first: the pane shows the CLI's own reason, which comes last.
function failureText(e) {
  const text = errorText(e);
  const exited = /^Codex Exec exited with (code (-?\d+)|signal (\w+)): ?([\s\S]*)$/.exec(text);
  if (!exited) return text;
  return cliFailure(exited[4]) ?? `Codex exited with ${exited[2] !== undefined ? `code ${exited[2]}` : `signal ${exited[3]}`}.`;
}

runSidecar((core) => {
  let codex = null;
  let start = null;
  let thread = null;
  let threadId = null;
  let mode = 'default';
  let model;
  let effort;
  let abort = null;

  function threadOptions() {
    const opts = {
      workingDirectory: start.cwd || process.cwd(),
      skipGitRepoCheck: true,
      sandboxMode: SANDBOX[mode] ?? 'workspace-write',
      approvalPolicy: 'never',
    };
    if (model) opts.model = model;
    if (effort) opts.modelReasoningEffort = effort;
    return opts;
  }

  // Settings apply from the next turn on: a new Thread object on the same conversation.
  function currentThread() {
    if (!thread) thread = threadId ? codex.resumeThread(threadId, threadOptions()) : codex.startThread(threadOptions());
    return thread;
  }

  async function imageInputs(attachments) {
    const files = [];
    if (!attachments.length) return { inputs: [], dir: null };
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'brinmoor-codex-'));
    attachments.forEach((a, i) => {
      if (typeof a?.data !== 'string' || !a.data) return;
      const ext = (a.mediaType || 'image/png').split('/')[1]?.replace(/[^a-z0-9]/gi, '') || 'png';
      const file = path.join(dir, `image-${i + 1}.${ext}`);
      fs.writeFileSync(file, Buffer.from(a.data, 'base64'));
      files.push({ type: 'local_image', path: file });
    });
    return { inputs: files, dir };
  }

  // Stops the turn under way. Aborting ends the turn's codex process, but a command it started can
  // outlive it (in full access, a compound command's programs run on, orphaned, in the project
  // folder): the turn's tree, as it was when asked, is ended too. Not what a command of the turn
  // had already left running on its own (a server it started and went on from): below the
  // session's reaper, the turn's reaper is told to hand that on, as after a turn that ended well.
  async function abortTurn() {
    if (!abort) return;
    const kept = new Set();
    if (HANDS_OVER) {
      for (const reaper of childrenOf(process.pid).filter((pid) => isReaper(pid, REAPER))) {
        for (const pid of [reaper, ...leftRunningBelow(reaper)]) kept.add(pid);
        handOverAtEnd(reaper);
      }
    }
    const tree = snapshotDescendants().filter((p) => !kept.has(p.pid));
    abort.abort();
    await endProcesses(tree);
  }

  async function runUserTurn(cmd) {
    const begun = Date.now();
    const text = typeof cmd.text === 'string' ? cmd.text : '';
    const { inputs, dir } = await imageInputs(Array.isArray(cmd.attachments) ? cmd.attachments : []);
    const input = inputs.length ? [...(text ? [{ type: 'text', text }] : []), ...inputs] : text;
    abort = new AbortController();
    const seen = new Set();
    // Commands the event stream leaves out come from the rollout, before the event that follows
    // them, so that they stand where they ran.
    const follower = new RolloutFollower(threadId);
    const unreported = new UnreportedCalls(follower);
    const showUnreported = (last = false) => {
      const blocks = unreported.take(last);
      if (blocks.length) core.emit('assistant', { blocks, tokensIn: 0, tokensOut: 0 });
    };
    // Commands shown started and not finished, by item id: a command past its yield time runs on
    // unseen by the stream, which never finishes it if the turn ends first (the CLI then stops it).
    const open = new Map();
    // Their end, once codex has exited (and with it everything it started): each gets its outcome
    // from the rollout, or is marked as ended with the turn, never while it could still run.
    const settleOpen = () => {
      if (!open.size) return;
      showUnreported(true);
      const blocks = [...open].map(([id, command]) => {
        const known = unreported.settled(command);
        return commandEnd(id, known?.text, known?.exitCode);
      });
      open.clear();
      core.emit('assistant', { blocks, tokensIn: 0, tokensOut: 0 });
    };
    let ended = false;
    let ending = null; // the turn's end as codex reported it, held back while a command of it was open
    const endTurn = (kind, fields) => {
      if (open.size) ending = [kind, fields];
      else ended = core.endTurn(kind, fields, cmd);
    };
    let lastNotice = null; // the latest stream error: a retry notice unless the turn ends without result
    try {
      const { events } = await currentThread().runStreamed(input, { signal: abort.signal });
      for await (const e of events) {
        if (e.type === 'thread.started') {
          if (typeof e.thread_id !== 'string' || !e.thread_id) continue;
          threadId = e.thread_id;
          follower.follow(threadId);
          core.emit('session', { id: e.thread_id, ...(model ? { model } : {}) });
        } else if (e.type === 'item.started' || e.type === 'item.updated' || e.type === 'item.completed') {
          if (e.type !== 'item.updated') showUnreported();
          if (e.item.type === 'command_execution') {
            if (e.type === 'item.completed') open.delete(e.item.id);
            else open.set(e.item.id, e.item.command ?? '');
          }
          const blocks = itemBlocks(e.type.slice(5), e.item, seen);
          if (blocks.length) core.emit('assistant', { blocks, tokensIn: 0, tokensOut: 0 });
          if (e.item.type === 'error') core.log(`codex: ${e.item.message}`);
        } else if (e.type === 'turn.completed') {
          showUnreported(true);
          const u = e.usage ?? {};
          core.emit('tokens', { tokensIn: u.input_tokens ?? 0, tokensOut: u.output_tokens ?? 0 });
          endTurn('result', { costUsd: 0, isError: false, tokensIn: u.input_tokens ?? 0,
            tokensOut: u.output_tokens ?? 0, durationMs: Date.now() - begun });
        } else if (e.type === 'turn.failed') {
          showUnreported(true);
          endTurn('error', { message: e.error?.message || 'The turn failed.' });
        } else if (e.type === 'error') {
          // Codex reports its reconnects ("Reconnecting... 2/5", "Reconnecting... waiting for
          // network", for as long as the network is gone) this way and then goes on: the turn
          // still ends with its own result, or with turn.failed. The pane shows each while it
          // lasts, instead of a silent "Working…".
          lastNotice = e.message || 'Codex reported an error.';
          core.log(`codex: ${lastNotice}`);
          core.emit('status', { text: lastNotice });
        }
      }
      settleOpen();
      if (ending) ended = core.endTurn(...ending, cmd);
      if (!ended) showUnreported(true);
      if (!ended) core.endTurn('error', { message: abort.signal.aborted ? 'Interrupted' : lastNotice ?? 'Codex ended the turn without a result.' }, cmd);
    } catch (e) {
      settleOpen();
      showUnreported(true);
      core.endTurn(...(ending ?? ['error', { message: abort.signal.aborted ? 'Interrupted' : failureText(e) }]), cmd);
    } finally {
      abort = null;
      if (dir) fs.rmSync(dir, { recursive: true, force: true });
    }
  }

  return {
    start(cmd) {
      start = cmd;
      if (typeof cmd.permissionMode === 'string') mode = cmd.permissionMode;
      if (typeof cmd.model === 'string' && cmd.model) model = cmd.model;
      effort = codexEffort(cmd.effort);
      // A usage-only sidecar needs no codex process at all: the usage comes from the CLI's own files.
      if (cmd.usageOnly === true) return;
      if (typeof cmd.resume === 'string' && cmd.resume) {
        threadId = cmd.resume;
        core.emit('session', { id: threadId, ...(model ? { model } : {}) });
      }
      const opts = {};
      if (typeof cmd.binPath === 'string' && cmd.binPath) {
        // The SDK names the executable and passes its own arguments: the reaper is told the CLI's
        // path through its environment, and takes it out before codex starts. Each turn is a codex
        // of its own: below the sidecar's own reaper, one that ends well hands on what it left
        // running (a server it started), which then lives as long as the pane's session, as in a
        // Claude pane; one that fails or is killed takes its commands with it.
        const handOver = HANDS_OVER ? { BRINMOOR_REAPER_HAND_OVER: '1' } : {};
        if (REAPER) Object.assign(opts, { codexPathOverride: REAPER, env: { ...process.env, BRINMOOR_REAPER_PROGRAM: cmd.binPath, ...handOver } });
        else opts.codexPathOverride = cmd.binPath;
      }
      if (!REAPER) core.log('brinmoor-reaper is missing: a command may outlive its codex');
      codex = new Codex(opts);
    },
    async runTurn(cmd) {
      if (start?.usageOnly === true) return core.endTurn('error', { message: 'This sidecar only reports usage.' });
      // Codex compacts on its own; a request for it ends at once so the turn count stays right.
      if (cmd.cmd === 'compact') return core.endTurn('result', { costUsd: 0, isError: false, tokensIn: 0, tokensOut: 0, durationMs: 0 });
      await runUserTurn(cmd);
    },
    interrupt() { return abortTurn(); },
    setPermissionMode(next) { mode = next; thread = null; },
    setModel(next) { model = next || undefined; thread = null; },
    // Read for each turn's codex, like the model: nothing needs to restart for it.
    setEffort(next) { effort = codexEffort(next); thread = null; },
    history(cmd) { return rolloutMessages(cmd.sessionId || threadId); },
    listSessions(cmd) { return rolloutSessions(cmd.cwd || start?.cwd); },
    usage() { return accountUsage(); },
    close() { return abortTurn(); },
  };
});
