// Points Codex at the fake Responses server (openai-server.mjs): $CODEX_HOME/config.toml with a
// custom provider (the built-in one would try WebSockets first) and no plugins, apps or analytics,
// so Codex talks to nothing but the fake. Run it with FAKE_OPENAI_KEY set (any value).
//
// Module: writeCodexConfig(codexHome, serverUrl, { retries }). Standalone: node codex-config.mjs <codex
// home> <server url>. `retries` ({ stream, request }) caps how often Codex tries again after a failed
// request before it gives up the turn (its defaults take about 20 s of retrying).
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

export function writeCodexConfig(codexHome, serverUrl, { retries } = {}) {
  fs.mkdirSync(codexHome, { recursive: true });
  const caps = retries ? `stream_max_retries = ${retries.stream}\nrequest_max_retries = ${retries.request}\n` : '';
  fs.writeFileSync(path.join(codexHome, 'config.toml'), `model = "gpt-5"
model_provider = "fake"
[model_providers.fake]
name = "fake"
base_url = "${serverUrl}/v1"
wire_api = "responses"
env_key = "FAKE_OPENAI_KEY"
supports_websockets = false
${caps}[features]
plugins = false
remote_plugin = false
apps = false
[analytics]
enabled = false
`);
}

if (process.argv[1] && import.meta.url === pathToFileURL(process.argv[1]).href) {
  const [codexHome, serverUrl] = process.argv.slice(2);
  if (!codexHome || !serverUrl) {
    console.error('usage: codex-config.mjs <codex home> <server url>');
    process.exit(2);
  }
  writeCodexConfig(codexHome, serverUrl);
}
