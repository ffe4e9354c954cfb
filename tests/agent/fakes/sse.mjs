// Small HTTP server core shared by the fake model servers: JSON bodies in, server-sent events out.
import http from 'node:http';

export function sseEvent(res, name, data) {
  if (!res.writableEnded) res.write(`event: ${name}\ndata: ${JSON.stringify(data)}\n\n`);
}

// Starts a server on 127.0.0.1. `handle(req, body, res)` answers one request (body parsed when JSON).
export function startServer(handle, port = 0) {
  const open = new Set();
  const server = http.createServer((req, res) => {
    open.add(res);
    res.on('close', () => open.delete(res));
    const chunks = [];
    req.on('data', (c) => chunks.push(c));
    req.on('end', () => {
      let body = null;
      const text = Buffer.concat(chunks).toString('utf8');
      try { body = text ? JSON.parse(text) : null; } catch { body = text; }
      Promise.resolve(handle(req, body, res)).catch((e) => {
        if (!res.headersSent) res.writeHead(500, { 'content-type': 'application/json' });
        res.end(JSON.stringify({ error: { message: String(e?.message ?? e) } }));
      });
    });
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', () => resolve({
      server,
      port: server.address().port,
      close: () => new Promise((r) => { for (const res of open) res.destroy(); server.close(() => r()); }),
    }));
  });
}

export function beginStream(res) {
  res.writeHead(200, { 'content-type': 'text/event-stream', 'cache-control': 'no-cache', connection: 'keep-alive' });
}

// Command-line use: --port N --script file.json [--log file.jsonl] [--context-limit TOKENS];
// prints the port as {"port":N}.
export function cliArgs(argv) {
  const args = { port: 0, script: null, log: null, contextLimit: 0 };
  for (let i = 0; i < argv.length; i++) {
    if (argv[i] === '--port') args.port = Number(argv[++i]);
    else if (argv[i] === '--script') args.script = argv[++i];
    else if (argv[i] === '--log') args.log = argv[++i];
    else if (argv[i] === '--context-limit') args.contextLimit = Number(argv[++i]);
  }
  return args;
}

// The requests a fake received, with a way to wait for one that matches.
export class RequestLog extends Array {
  static get [Symbol.species]() { return Array; }
  constructor() { super(); this.waiters = []; }
  add(entry) {
    this.push(entry);
    for (const w of this.waiters.slice()) if (w.match(entry)) { this.waiters.splice(this.waiters.indexOf(w), 1); w.resolve(entry); }
  }
  // Resolves with the first request, already received or still to come, that matches.
  waitFor(match = () => true) {
    const seen = this.find(match);
    return seen ? Promise.resolve(seen) : new Promise((resolve) => this.waiters.push({ match, resolve }));
  }
}
