// A fake OpenAI Responses API on 127.0.0.1 that streams scripted answers, for running the real Codex
// CLI with no model service. Each POST /v1/responses takes the next scripted reply:
//   { text, reasoning, call: { name, arguments }, usage: { input_tokens, output_tokens }, hold, drop, error }
// `call` asks the CLI to run a function tool (arguments: an object); `hold` streams the start of the
// reply and keeps the response open until the client leaves; `drop` starts the stream and ends it
// before the response completes (the CLI reconnects); `error` is { status, message }. Past the
// script's end every request gets the text "OK". Replies may be functions of the request body.
// Standalone: node openai-server.mjs --port 0 --script replies.json [--log requests.jsonl]
import fs from 'node:fs';
import { startServer, sseEvent, beginStream, cliArgs, RequestLog } from './sse.mjs';

// Outputs of the function calls that a request hands back to the model.
export function callOutputs(body) {
  return (Array.isArray(body?.input) ? body.input : []).filter((i) => i?.type === 'function_call_output')
    .map((i) => ({ callId: i.call_id, output: typeof i.output === 'string' ? i.output : JSON.stringify(i.output) }));
}

let seq = 0;
function streamReply(res, reply, model) {
  const id = `resp_fake_${++seq}`;
  const usage = { input_tokens: 10, output_tokens: 5, ...(reply.usage ?? {}) };
  const base = { id, object: 'response', created_at: Math.floor(Date.now() / 1000), model, status: 'in_progress', output: [] };
  let n = 0;
  const ev = (type, data) => sseEvent(res, type, { type, sequence_number: n++, ...data });
  beginStream(res);
  ev('response.created', { response: base });
  ev('response.in_progress', { response: base });
  if (reply.drop) return res.end();
  const output = [];
  const item = (added, during, done) => {
    const output_index = output.length;
    ev('response.output_item.added', { output_index, item: added });
    during(output_index);
    ev('response.output_item.done', { output_index, item: done });
    output.push(done);
  };
  if (reply.reasoning) {
    const rid = `rs_fake_${seq}`;
    const summary = [{ type: 'summary_text', text: reply.reasoning }];
    item({ id: rid, type: 'reasoning', summary: [] }, (output_index) => {
      ev('response.reasoning_summary_part.added', { item_id: rid, output_index, summary_index: 0, part: { type: 'summary_text', text: '' } });
      ev('response.reasoning_summary_text.delta', { item_id: rid, output_index, summary_index: 0, delta: reply.reasoning });
      ev('response.reasoning_summary_text.done', { item_id: rid, output_index, summary_index: 0, text: reply.reasoning });
      ev('response.reasoning_summary_part.done', { item_id: rid, output_index, summary_index: 0, part: summary[0] });
    }, { id: rid, type: 'reasoning', summary });
  }
  if (reply.text) {
    const mid = `msg_fake_${seq}`;
    const part = { type: 'output_text', text: reply.text, annotations: [] };
    const during = (output_index) => {
      const at = { item_id: mid, output_index, content_index: 0 };
      ev('response.content_part.added', { ...at, part: { ...part, text: '' } });
      ev('response.output_text.delta', { ...at, delta: reply.text });
      if (reply.hold) return;
      ev('response.output_text.done', { ...at, text: reply.text });
      ev('response.content_part.done', { ...at, part });
    };
    if (reply.hold) {
      ev('response.output_item.added', { output_index: 0, item: { id: mid, type: 'message', role: 'assistant', status: 'in_progress', content: [] } });
      return during(0); // left open: the client ends it
    }
    item({ id: mid, type: 'message', role: 'assistant', status: 'in_progress', content: [] }, during,
      { id: mid, type: 'message', role: 'assistant', status: 'completed', content: [part] });
  }
  if (reply.call) {
    const fid = `fc_fake_${seq}`;
    const call_id = reply.call.callId ?? `call_fake_${seq}`;
    const args = JSON.stringify(reply.call.arguments ?? {});
    item({ id: fid, type: 'function_call', status: 'in_progress', call_id, name: reply.call.name, arguments: '' }, (output_index) => {
      ev('response.function_call_arguments.delta', { item_id: fid, output_index, delta: args });
      ev('response.function_call_arguments.done', { item_id: fid, output_index, arguments: args });
    }, { id: fid, type: 'function_call', status: 'completed', call_id, name: reply.call.name, arguments: args });
  }
  ev('response.completed', { response: { ...base, status: 'completed', output, usage: {
    input_tokens: usage.input_tokens, input_tokens_details: { cached_tokens: 0 },
    output_tokens: usage.output_tokens, output_tokens_details: { reasoning_tokens: 0 },
    total_tokens: usage.input_tokens + usage.output_tokens } } });
  res.end();
}

export async function startOpenAIServer({ replies = [], port = 0, log = null } = {}) {
  const queue = [...replies];
  const requests = new RequestLog();
  const handle = (req, body, res) => {
    const url = new URL(req.url, 'http://127.0.0.1');
    if (req.method !== 'POST' || !url.pathname.endsWith('/responses')) {
      res.writeHead(200, { 'content-type': 'application/json' });
      return res.end(JSON.stringify({ object: 'list', data: [], models: [] }));
    }
    requests.add({ body });
    if (log) fs.appendFileSync(log, `${JSON.stringify({ body })}\n`);
    let reply = queue.length ? queue.shift() : { text: 'OK' };
    if (typeof reply === 'function') reply = reply(body);
    if (reply.error) {
      res.writeHead(reply.error.status ?? 500, { 'content-type': 'application/json' });
      return res.end(JSON.stringify({ error: { type: 'server_error', message: reply.error.message ?? 'Server error' } }));
    }
    streamReply(res, reply, body?.model ?? 'gpt-5');
  };
  const srv = await startServer(handle, port);
  return { port: srv.port, url: `http://127.0.0.1:${srv.port}`, requests, push: (...more) => queue.push(...more), close: srv.close };
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const args = cliArgs(process.argv.slice(2));
  const script = args.script ? JSON.parse(fs.readFileSync(args.script, 'utf8')) : {};
  const srv = await startOpenAIServer({ replies: Array.isArray(script) ? script : script.replies ?? [], port: args.port, log: args.log });
  process.stdout.write(`${JSON.stringify({ port: srv.port })}\n`);
  process.on('SIGTERM', () => srv.close().then(() => process.exit(0)));
}
