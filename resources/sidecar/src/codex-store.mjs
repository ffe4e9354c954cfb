// What the Codex CLI keeps on disk: conversation rollouts under $CODEX_HOME/sessions and the sign-in in
// $CODEX_HOME/auth.json. The Codex SDK offers no reader for them, so the sidecar reads them itself.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

export const codexHome = () => process.env.CODEX_HOME || path.join(os.homedir(), '.codex');

// Every rollout file, newest first.
export function rolloutFiles(home = codexHome()) {
  const found = [];
  const walk = (dir, depth) => {
    let entries;
    try { entries = fs.readdirSync(dir, { withFileTypes: true }); } catch { return; }
    for (const e of entries) {
      const full = path.join(dir, e.name);
      if (e.isDirectory() && depth < 4) walk(full, depth + 1);
      else if (e.isFile() && /^rollout-.*\.jsonl$/.test(e.name)) {
        try { found.push({ file: full, mtime: fs.statSync(full).mtimeMs }); } catch { /* vanished */ }
      }
    }
  };
  walk(path.join(home, 'sessions'), 0);
  return found.sort((a, b) => b.mtime - a.mtime);
}

function readLines(file) {
  let text;
  try { text = fs.readFileSync(file, 'utf8'); } catch { return []; }
  const out = [];
  for (const line of text.split('\n')) {
    if (!line.trim()) continue;
    try { out.push(JSON.parse(line)); } catch { /* a line being written */ }
  }
  return out;
}

// Text the CLI adds to a conversation on its own (instructions, environment) is no user message.
const isContextText = (t) => /^\s*<(environment_context|user_instructions|permissions instructions|turn_aborted)/.test(t) || /^# AGENTS\.md/.test(t);

function contentText(content) {
  if (typeof content === 'string') return content;
  if (!Array.isArray(content)) return '';
  return content.filter((c) => typeof c?.text === 'string').map((c) => c.text).join('\n');
}

function parseArgs(text) {
  try { const v = JSON.parse(text); return v && typeof v === 'object' ? v : { arguments: text }; } catch { return { arguments: text }; }
}

// A stored conversation as the app's history messages. A command left running past its yield time
// reads as it ended (the CLI records that, under the call's id, once the command has exited or was
// stopped with its turn), and the model's polls of it (write_stdin) are no cards, as live.
export function rolloutMessages(threadId, home = codexHome()) {
  const hit = rolloutFiles(home).find((f) => f.file.endsWith(`${threadId}.jsonl`));
  if (!hit) return [];
  const messages = [];
  const polls = new Set();
  const left = new Map(); // call id → its output when the model was told it still ran
  const endLeft = () => {
    for (const [id, text] of left) messages.push({ role: 'assistant', blocks: [commandEnd(id, text)] });
    left.clear();
  };
  for (const rec of readLines(hit.file)) {
    const item = rec.payload ?? {};
    if (rec.type === 'event_msg' && item.type === 'item_completed' && left.has(item.item?.id)) {
      const done = item.item;
      messages.push({ role: 'assistant', blocks: [commandEnd(done.id, done.aggregated_output ?? left.get(done.id), done.exit_code)] });
      left.delete(done.id);
      continue;
    }
    if (rec.type !== 'response_item') continue;
    if (item.type === 'message') {
      const text = contentText(item.content);
      if (!text.trim() || item.role === 'developer' || item.role === 'system') continue;
      if (item.role === 'user' && isContextText(text)) continue;
      if (item.role === 'user') endLeft();
      messages.push({ role: item.role === 'user' ? 'user' : 'assistant', blocks: [{ type: 'text', text }] });
    } else if (item.type === 'reasoning') {
      const text = (item.summary ?? []).map((s) => s?.text ?? '').join('\n');
      if (text.trim()) messages.push({ role: 'assistant', blocks: [{ type: 'thinking', text }] });
    } else if (item.type === 'function_call' && item.name === 'write_stdin') {
      polls.add(item.call_id);
    } else if (item.type === 'function_call' || item.type === 'custom_tool_call' || item.type === 'local_shell_call') {
      const input = item.type === 'local_shell_call' ? { command: (item.action?.command ?? []).join(' ') } : parseArgs(item.arguments ?? item.input ?? '');
      messages.push({ role: 'assistant', blocks: [toolUse(item.call_id ?? item.id ?? '', item.name ?? 'shell', input)] });
    } else if (item.type === 'function_call_output' || item.type === 'custom_tool_call_output') {
      const id = item.call_id ?? item.id;
      if (polls.has(id)) continue;
      const out = typeof item.output === 'string' ? item.output : contentText(item.output?.content ?? item.output);
      const { text, exitCode, running } = commandResult(out);
      if (running && id) {
        left.set(id, text);
        continue;
      }
      messages.push({ role: 'assistant', blocks: [{ type: 'tool_result', ...(id ? { toolUseId: id } : {}), text,
        ...(exitCode ? { isError: true } : {}) }] });
    }
  }
  endLeft();
  return messages;
}

// The CLI stores a command's result wrapped for the model: a JSON object {output, metadata} from
// older versions, or header lines ("Chunk ID: …", "Wall time: …", "Process exited with code 0")
// over "Output:". A live turn shows only the output and a non-zero exit code, so does a restored
// one. Anything else (a tool's own text) is kept as it stands.
const wrapperHeader = /^(Chunk ID: |Wall time: |Process exited with code |Process running with session ID |Original token count: |Exit code: |Total output lines: )/;
const exitNote = (code) => (Number.isInteger(code) && code !== 0 ? `\n(exit code ${code})` : '');

// The result as shown, and the command's exit code (0 when the record names none); `running` when
// the CLI handed the model what the command had written so far and left it running (a command past
// its yield time).
export function commandResult(text) {
  const shown = (output, code, running = false) => ({ text: output + exitNote(code), exitCode: Number.isInteger(code) ? code : 0,
    ...(running ? { running } : {}) });
  if (text.startsWith('{')) {
    try {
      const v = JSON.parse(text);
      if (typeof v?.output === 'string') return shown(v.output, v.metadata?.exit_code);
    } catch { /* not the JSON form */ }
  }
  const lines = text.split('\n');
  const at = lines.findIndex((l) => l === 'Output:' || l.startsWith('Output: '));
  if (at < 1 || !lines.slice(0, at).every((l) => wrapperHeader.test(l))) return { text, exitCode: 0 };
  const head = lines.slice(0, at).join('\n');
  const code = /(?:^|\n)(?:Process exited with code |Exit code: )(-?\d+)/.exec(head);
  const body = [lines[at].slice('Output:'.length).trimStart(), ...lines.slice(at + 1)].join('\n').replace(/^\n/, '');
  return shown(body, code ? Number(code[1]) : undefined, /(?:^|\n)Process running with session ID /.test(head));
}

// The result of a command that ran on past its yield time, once its end is known: its output and
// exit code when it exited on its own; without one (none known, or -1: the CLI stopped it when its
// turn ended) it ended with the turn, which the pane reads as interrupted.
export function commandEnd(id, text = '', exitCode = null) {
  if (Number.isInteger(exitCode) && exitCode >= 0)
    return { type: 'tool_result', toolUseId: id, text: text + exitNote(exitCode), ...(exitCode ? { isError: true } : {}) };
  return { type: 'tool_result', toolUseId: id, text: `${text}${text && !text.endsWith('\n') ? '\n' : ''}(ended with the turn)`,
    isError: true, reason: 'interrupted' };
}

// Codex's shell tools shown under the app's names, so their summaries read like Claude's.
export function toolUse(id, name, input) {
  if (name === 'exec_command' || name === 'shell' || name === 'container.exec') {
    const cmd = input.cmd ?? input.command;
    return { type: 'tool_use', id, name: 'Bash', input: { command: Array.isArray(cmd) ? cmd.join(' ') : String(cmd ?? '') } };
  }
  return { type: 'tool_use', id, name, input };
}

// The rollout file of a thread, looked for by name in the dated folders, newest first (with
// `newestOnly`, in the newest folder alone, where a thread started now is written); null if none.
function findRollout(threadId, home, newestOnly = false) {
  const suffix = `-${threadId}.jsonl`;
  const walk = (dir, depth) => {
    let entries;
    try { entries = fs.readdirSync(dir, { withFileTypes: true }); } catch { return null; }
    for (const e of entries.sort((a, b) => (a.name < b.name ? 1 : -1))) {
      if (e.isFile() && e.name.startsWith('rollout-') && e.name.endsWith(suffix)) return path.join(dir, e.name);
      if (e.isDirectory() && depth < 4 && (!newestOnly || /^\d+$/.test(e.name))) {
        const hit = walk(path.join(dir, e.name), depth + 1);
        if (hit || newestOnly) return hit;
      }
    }
    return null;
  };
  return walk(path.join(home, 'sessions'), 0);
}

// Follows a thread's rollout as the CLI writes it, record by record, from where the file ended
// when the follower was made (from its start for a thread whose file is not there yet).
export class RolloutFollower {
  constructor(threadId, home = codexHome()) {
    this.home = home;
    this.threadId = threadId ?? null;
    this.file = null;
    this.pos = 0;
    this.rest = '';
    this.find(true);
  }
  // A thread started by this turn gets its id (and its file) once the CLI names it.
  follow(threadId) {
    if (this.threadId === threadId) return;
    this.threadId = threadId;
    this.file = null;
    this.find(false);
  }
  // A thread resumed is looked for everywhere, once; one started now, whose file appears some time
  // after it is named, in the newest folder each time until it is there, and everywhere once more
  // at the end of the turn (`everywhere`).
  find(skipExisting, everywhere = skipExisting) {
    if (this.file || !this.threadId) return;
    const file = findRollout(this.threadId, this.home, !everywhere);
    if (!file) return;
    this.file = file;
    try { this.pos = skipExisting ? fs.statSync(file).size : 0; } catch { this.pos = 0; }
  }
  // The records written since the last call; a line still being written waits for the next.
  // `last`: the turn has ended, and a file not found yet is looked for everywhere.
  records(last = false) {
    this.find(false, last);
    if (!this.file) return [];
    let fd;
    let text = '';
    try {
      fd = fs.openSync(this.file, 'r');
      const size = fs.fstatSync(fd).size;
      if (size > this.pos) {
        const buf = Buffer.alloc(size - this.pos);
        const got = fs.readSync(fd, buf, 0, buf.length, this.pos);
        this.pos += got;
        text = buf.subarray(0, got).toString('utf8');
      }
    } catch { return []; } finally { if (fd !== undefined) fs.closeSync(fd); }
    const lines = (this.rest + text).split('\n');
    this.rest = lines.pop();
    const out = [];
    for (const line of lines) {
      if (!line.trim()) continue;
      try { out.push(JSON.parse(line)); } catch { /* not a record: skipped */ }
    }
    return out;
  }
}

const SHELL_TOOLS = new Set(['exec_command', 'shell', 'container.exec']);

// The words of a command line as a POSIX shell splits them (quotes and backslashes undone), or
// null for one with an unclosed quote. The CLI's event stream shows a command as one quoted line
// ("/bin/bash -lc 'echo a; sleep 1'"), its rollout as the words or the bare script.
export function shellWords(line) {
  const words = [];
  let word = null;
  for (let i = 0; i < line.length; i++) {
    const c = line[i];
    if (c === ' ' || c === '\t' || c === '\n') {
      if (word !== null) words.push(word);
      word = null;
    } else if (c === "'") {
      const end = line.indexOf("'", i + 1);
      if (end < 0) return null;
      word = (word ?? '') + line.slice(i + 1, end);
      i = end;
    } else if (c === '"') {
      word ??= '';
      for (i++; i < line.length && line[i] !== '"'; i++) {
        if (line[i] === '\\' && '"\\$`\n'.includes(line[i + 1] ?? '')) i++;
        word += line[i];
      }
      if (i >= line.length) return null;
    } else if (c === '\\') {
      word = (word ?? '') + (line[++i] ?? '');
    } else {
      word = (word ?? '') + c;
    }
  }
  if (word !== null) words.push(word);
  return words;
}

// Commands the CLI ran without telling its event stream: it reports no item for a command the
// sandbox refused ("Read-only file system"), though the call and its failure are in the rollout
// and went to the model. Each such call, once its output is written, comes back once as a call
// and its result. A call the stream did show has an item of its own in the rollout (written before
// its output), under the call's id.
//
// A command still running when the model was told so (past its yield time) is no such call: the
// stream showed it when it started, and it is left to that card. What the rollout says of it (the
// output so far, and its end once recorded) is kept for settled().
export class UnreportedCalls {
  constructor(follower) {
    this.follower = follower;
    this.calls = new Map();
    this.reported = new Set();
    this.running = []; // { cmd, text }: commands left running, as the model was told
    this.ended = [];   // the CLI's records of commands that ended, in order
  }
  take(last = false) {
    const blocks = [];
    for (const rec of this.follower.records(last)) {
      const p = rec.payload ?? {};
      if (rec.type === 'event_msg' && p.type === 'item_completed' && typeof p.item?.id === 'string') {
        this.reported.add(p.item.id);
        if (p.item.type === 'CommandExecution' && Array.isArray(p.item.command)) this.ended.push(p.item);
      } else if (rec.type === 'response_item' && p.type === 'function_call' && SHELL_TOOLS.has(p.name) && p.call_id) {
        this.calls.set(p.call_id, p);
      } else if (rec.type === 'response_item' && p.type === 'local_shell_call' && p.call_id) {
        this.calls.set(p.call_id, p);
      } else if (rec.type === 'response_item' && p.type === 'function_call_output' && this.calls.has(p.call_id)) {
        const call = this.calls.get(p.call_id);
        this.calls.delete(p.call_id);
        if (this.reported.has(p.call_id)) continue;
        this.reported.add(p.call_id);
        const input = call.type === 'local_shell_call' ? { command: (call.action?.command ?? []).join(' ') } : parseArgs(call.arguments ?? '');
        const out = typeof p.output === 'string' ? p.output : contentText(p.output?.content ?? p.output);
        const { text, exitCode, running } = commandResult(out);
        if (running) {
          this.running.push({ cmd: String(input.cmd ?? input.command ?? ''), text });
          continue;
        }
        blocks.push(toolUse(p.call_id, call.name ?? 'shell', input),
          { type: 'tool_result', toolUseId: p.call_id, text, ...(exitCode ? { isError: true } : {}) });
      }
    }
    return blocks;
  }
  // How a command the event stream showed, as `command`, and never finished ended, as far as the
  // rollout read so far tells: { text, exitCode } once the CLI recorded that it exited (-1 or none:
  // it was stopped with the turn), else { text } with what it had written when the model was told
  // it still ran; null when the rollout says nothing of it. Each record answers once, in order.
  settled(command) {
    const words = shellWords(command);
    if (!words) return null;
    const at = this.ended.findIndex((i) => i.command.length === words.length && i.command.every((w, n) => w === words[n]));
    if (at >= 0) {
      const [item] = this.ended.splice(at, 1);
      return { text: item.aggregated_output ?? '', exitCode: Number.isInteger(item.exit_code) ? item.exit_code : -1 };
    }
    const script = words.length === 3 && /^-l?c$/.test(words[1]) ? words[2] : command;
    const yielded = this.running.findIndex((r) => r.cmd === script || r.cmd === command);
    return yielded >= 0 ? { text: this.running.splice(yielded, 1)[0].text } : null;
  }
}

// Why the CLI failed, from what it wrote to standard error: the last line that says something (its
// error comes last, after warnings, notices and before a stack backtrace), without the "Error:"
// and call-site prefixes and the structured detail after it; null when nothing is left.
export function cliFailure(stderr) {
  const lines = [];
  for (let line of String(stderr ?? '').split('\n')) {
    // eslint-disable-next-line no-control-regex
    line = line.replace(/\x1b\[[0-9;]*[A-Za-z]/g, '').trim();
    if (/^stack backtrace:?$/i.test(line)) break;
    if (!line || /^(WARNING|WARN|note|hint)\b/i.test(line) || /^Reading (prompt|additional input) from stdin/.test(line)) continue;
    lines.push(line);
  }
  const errors = lines.filter((l) => /^(\S+\s+)?(Error|ERROR)\b/.test(l));
  let line = (errors.length ? errors : lines).at(-1);
  if (!line) return null;
  line = line.replace(/^\S*\d\S*\s+(?=ERROR\b)/, '').replace(/^(Error|ERROR)\b:?\s*/, '');
  for (let prev = null; prev !== line;) { prev = line; line = line.replace(/^[\w./-]+(?:::[\w./-]+)*(?: failed)?: (?=\S)/, ''); }
  line = line.replace(/,?\s*data: [{[].*$/, '').replace(/\s*\(code -?\d+\)\s*$/, '').trim();
  return line || null;
}

// Conversations started in `cwd`, newest first.
export function rolloutSessions(cwd, home = codexHome()) {
  const items = [];
  for (const { file, mtime } of rolloutFiles(home)) {
    const lines = readLines(file);
    const meta = lines.find((r) => r.type === 'session_meta')?.payload;
    if (!meta?.id || (cwd && path.resolve(meta.cwd ?? '') !== path.resolve(cwd))) continue;
    const first = lines.find((r) => r.type === 'response_item' && r.payload?.type === 'message' && r.payload.role === 'user'
      && !isContextText(contentText(r.payload.content)));
    const summary = first ? contentText(first.payload.content).trim().split('\n')[0].slice(0, 120) : '';
    items.push({ id: meta.id, summary: summary || '(untitled)', lastModified: mtime });
  }
  return items;
}

function jwtClaims(token) {
  try { return JSON.parse(Buffer.from(String(token).split('.')[1], 'base64url').toString('utf8')); } catch { return {}; }
}

const windowLabel = (minutes) => minutes === 300 ? '5-hour limit' : minutes === 10080 ? 'Weekly limit'
  : minutes >= 1440 ? `${Math.round(minutes / 1440)}-day limit` : `${Math.round(minutes / 60)}-hour limit`;

// The account's plan limits as the CLI last recorded them. Only a ChatGPT sign-in has plan limits.
export function accountUsage(home = codexHome()) {
  let auth = null;
  try { auth = JSON.parse(fs.readFileSync(path.join(home, 'auth.json'), 'utf8')); } catch { /* not signed in */ }
  const idToken = auth?.tokens?.id_token;
  if (!idToken) return { available: false, metrics: [] };
  const claims = jwtClaims(idToken);
  const result = { available: true, metrics: [] };
  if (typeof claims.email === 'string') result.email = claims.email;
  const plan = claims['https://api.openai.com/auth']?.chatgpt_plan_type;
  if (typeof plan === 'string') result.subscription = plan;
  for (const { file } of rolloutFiles(home).slice(0, 20)) {
    const limits = readLines(file).reverse().find((r) => r.type === 'event_msg' && r.payload?.type === 'token_count' && r.payload.rate_limits)?.payload.rate_limits;
    if (!limits) continue;
    for (const w of [limits.primary, limits.secondary]) {
      if (!w || typeof w.used_percent !== 'number') continue;
      const metric = { label: windowLabel(w.window_minutes ?? 0), percent: w.used_percent };
      const resets = typeof w.resets_at === 'number' ? w.resets_at * 1000
        : typeof w.resets_in_seconds === 'number' ? fs.statSync(file).mtimeMs + w.resets_in_seconds * 1000 : null;
      if (resets) metric.resetsAt = new Date(resets).toISOString();
      result.metrics.push(metric);
    }
    break;
  }
  return result;
}
