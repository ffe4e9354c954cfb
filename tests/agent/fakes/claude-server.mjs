// A fake Anthropic Messages API on 127.0.0.1 that streams scripted answers, for running the real
// Claude Code CLI with no model service. Each main-loop request takes the next scripted reply:
//   { text, thinking, tool: { name, input, id }, usage: { input_tokens, output_tokens }, hold, error }
// `hold` streams the start of the reply and then keeps the response open until the client leaves
// (a turn that can be interrupted); `error` is { status, type, message }. Past the script's end every
// request gets the text "OK". Replies may also be functions of the request body (module use).
// With `contextLimit` (tokens, counted as a quarter of the request's characters), a model request
// over it is refused the way the real API refuses an over-long prompt (400, "prompt is too long").
// Standalone: node claude-server.mjs --port 0 --script replies.json [--log requests.jsonl]
//             [--context-limit TOKENS]
import fs from 'node:fs';
import { startServer, sseEvent, beginStream, cliArgs, RequestLog } from './sse.mjs';

const textOf = (content) => typeof content === 'string' ? content
  : Array.isArray(content) ? content.map((c) => c?.text ?? '').join('\n') : '';

export function requestKind(body) {
  if (!body || typeof body !== 'object') return 'other';
  const all = JSON.stringify(body.messages ?? []);
  if (body.output_format || body.output_config?.format) return 'title';
  if (all.includes('Do NOT call any tools') && all.includes('<summary>')) return 'compact';
  return Array.isArray(body.tools) && body.tools.length ? 'main' : 'side';
}

// The tool results the model received in the latest user message of a request.
export function toolResults(body) {
  const last = [...(body?.messages ?? [])].reverse().find((m) => m.role === 'user');
  return (Array.isArray(last?.content) ? last.content : []).filter((c) => c.type === 'tool_result')
    .map((c) => ({ id: c.tool_use_id, isError: !!c.is_error, text: textOf(c.content) }));
}

let toolSeq = 0;
function streamReply(res, reply, model) {
  const usage = { input_tokens: 10, output_tokens: 5, cache_read_input_tokens: 0, cache_creation_input_tokens: 0, ...(reply.usage ?? {}) };
  beginStream(res);
  sseEvent(res, 'message_start', { type: 'message_start', message: {
    id: `msg_fake_${Date.now()}_${toolSeq++}`, type: 'message', role: 'assistant', model, content: [],
    stop_reason: null, stop_sequence: null, usage: { ...usage, output_tokens: 1 } } });
  let index = 0;
  const block = (start, deltas) => {
    sseEvent(res, 'content_block_start', { type: 'content_block_start', index, content_block: start });
    for (const delta of deltas) sseEvent(res, 'content_block_delta', { type: 'content_block_delta', index, delta });
    sseEvent(res, 'content_block_stop', { type: 'content_block_stop', index });
    index++;
  };
  if (reply.thinking) block({ type: 'thinking', thinking: '', signature: '' },
    [{ type: 'thinking_delta', thinking: reply.thinking }, { type: 'signature_delta', signature: 'fake-signature' }]);
  if (reply.text) block({ type: 'text', text: '' }, [{ type: 'text_delta', text: reply.text }]);
  if (reply.hold) return; // left open: the client ends it
  if (reply.tool) block({ type: 'tool_use', id: reply.tool.id ?? `toolu_fake_${toolSeq++}`, name: reply.tool.name, input: {} },
    [{ type: 'input_json_delta', partial_json: JSON.stringify(reply.tool.input ?? {}) }]);
  sseEvent(res, 'message_delta', { type: 'message_delta', delta: { stop_reason: reply.tool ? 'tool_use' : 'end_turn', stop_sequence: null },
    usage: { output_tokens: usage.output_tokens } });
  sseEvent(res, 'message_stop', { type: 'message_stop' });
  res.end();
}

// The real API's answer to a prompt over the model's context window.
export function promptTooLong(tokens, limit) {
  return { status: 400, type: 'invalid_request_error', message: `prompt is too long: ${tokens} tokens > ${limit} maximum` };
}

export async function startClaudeServer({ replies = [], port = 0, log = null, contextLimit = 0 } = {}) {
  const queue = [...replies];
  const requests = new RequestLog();
  const handle = (req, body, res) => {
    const url = new URL(req.url, 'http://127.0.0.1');
    if (req.method !== 'POST' || url.pathname !== '/v1/messages') {
      res.writeHead(200, { 'content-type': 'application/json' });
      return res.end(url.pathname === '/v1/models' ? JSON.stringify({ data: [], has_more: false }) : '{"input_tokens":10}');
    }
    const kind = requestKind(body);
    requests.add({ kind, body });
    if (log) fs.appendFileSync(log, `${JSON.stringify({ kind, body })}\n`);
    let reply;
    const tokens = Math.ceil(JSON.stringify(body ?? '').length / 4);
    if (contextLimit > 0 && tokens > contextLimit) {
      reply = { error: promptTooLong(tokens, contextLimit) };
    } else if (kind === 'main') {
      reply = queue.length ? queue.shift() : { text: 'OK' };
      if (typeof reply === 'function') reply = reply(body);
    } else if (kind === 'compact') {
      reply = { text: '<analysis>Short talk.</analysis><summary>The user and the assistant talked briefly.</summary>', usage: { input_tokens: 50, output_tokens: 20 } };
    } else if (kind === 'title') {
      reply = { text: '{"title":"Fake session"}' };
    } else {
      reply = { text: 'OK' };
    }
    if (reply.error) {
      res.writeHead(reply.error.status ?? 529, { 'content-type': 'application/json' });
      return res.end(JSON.stringify({ type: 'error', error: { type: reply.error.type ?? 'overloaded_error', message: reply.error.message ?? 'Overloaded' } }));
    }
    streamReply(res, reply, body?.model ?? 'claude-fake');
  };
  const srv = await startServer(handle, port);
  return {
    port: srv.port,
    url: `http://127.0.0.1:${srv.port}`,
    requests,
    mainRequests: () => requests.filter((r) => r.kind === 'main'),
    push: (...more) => queue.push(...more),
    close: srv.close,
  };
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const args = cliArgs(process.argv.slice(2));
  const script = args.script ? JSON.parse(fs.readFileSync(args.script, 'utf8')) : {};
  const srv = await startClaudeServer({ replies: Array.isArray(script) ? script : script.replies ?? [], port: args.port, log: args.log,
    contextLimit: args.contextLimit });
  process.stdout.write(`${JSON.stringify({ port: srv.port })}\n`);
  process.on('SIGTERM', () => srv.close().then(() => process.exit(0)));
}
