// Prints the path of the Claude CLI the tests use, installing it into the test cache first when
// the cache lacks it (for the app's own end-to-end tests, which are not node tests).
import { claudeBinary } from './agents.mjs';

process.stdout.write(`${claudeBinary()}\n`);
