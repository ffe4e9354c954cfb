// Bundles each sidecar with its npm dependencies into one self-contained .mjs file.
// node build.mjs <node_modules folder> <output folder>
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const [modules, outDir] = process.argv.slice(2).map((p) => path.resolve(p));
const here = path.dirname(fileURLToPath(import.meta.url));
const esbuild = await import(pathToFileURL(path.join(modules, 'esbuild-wasm', 'lib', 'main.js')).href);

await esbuild.build({
  entryPoints: ['brinmoor-agent.mjs', 'codex-agent.mjs'].map((f) => path.join(here, f)),
  outdir: outDir,
  outExtension: { '.js': '.mjs' },
  bundle: true,
  platform: 'node',
  format: 'esm',
  target: 'node18',
  nodePaths: [modules],
  logLevel: 'warning',
  legalComments: 'none',
  // Bundled CommonJS code still calls require() for Node's own modules.
  banner: { js: "import { createRequire as __brinmoorRequire } from 'node:module'; const require = __brinmoorRequire(import.meta.url);" },
});
