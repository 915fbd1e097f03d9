'use strict';
// Every fenced js, cjs and mjs block of the README and of docs/, run as
// written: each as a file of its own in a new folder whose 'vantrel' is the
// module under test, over the sample store. A block must end by itself. A
// block headed with a file name (```js preload.js) is that file of the
// folder, for the blocks after it; main.js runs as Electron starts an app,
// with a fake 'electron' (fake_electron.js).
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { addonPath } = require('./standin_store.js');

const root = path.join(__dirname, '..', '..');
const extensions = { js: '.cjs', javascript: '.cjs', cjs: '.cjs', mjs: '.mjs' };

function examplesOf(file) {
  const found = [];
  let open = null;
  fs.readFileSync(path.join(root, file), 'utf8').split('\n').forEach((line, index) => {
    const fence = /^\s*```\s*(\S*)\s*(\S*)/.exec(line);
    if (!fence) {
      open?.code.push(line);
    } else if (open) {
      if (open.extension || open.file) found.push(open);
      open = null;
    } else {
      open = { name: `${file}:${index + 1}`, extension: extensions[fence[1]], file: fence[2], code: [] };
    }
  });
  return found;
}

const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'vantrel-examples-'));
process.on('exit', () => fs.rmSync(folder, { recursive: true, force: true }));
const shim = path.join(folder, 'node_modules', 'vantrel');
fs.mkdirSync(shim, { recursive: true });
fs.writeFileSync(path.join(shim, 'package.json'), JSON.stringify({
  name: 'vantrel', exports: { '.': { import: './index.mjs', require: './index.js' } } }));
fs.writeFileSync(path.join(shim, 'index.js'),
  `module.exports = require(${JSON.stringify(path.join(__dirname, 'vantrel_under_test.js'))});\n`);
fs.copyFileSync(path.join(root, 'index.mjs'), path.join(shim, 'index.mjs'));
fs.mkdirSync(path.join(folder, 'node_modules', 'electron'));
fs.writeFileSync(path.join(folder, 'node_modules', 'electron', 'index.js'),
  `module.exports = require(${JSON.stringify(path.join(__dirname, 'fake_electron.js'))});\n`);

const documents = ['README.md', ...fs.readdirSync(path.join(root, 'docs'))
  .filter((file) => file.endsWith('.md')).sort().map((file) => path.join('docs', file))];
const examples = documents.flatMap(examplesOf).filter(({ file, code }) => {
  if (file) fs.writeFileSync(path.join(folder, file), code.join('\n'));
  return !file || file === 'main.js';
});

test('the README has examples to run', () => {
  assert.ok(examples.filter(({ name }) => name.startsWith('README.md:')).length >= 5);
});

for (const [number, { name, extension, file: named, code }] of examples.entries()) {
  const watches = code.some((line) => /watchChanges\(|watchRange\(/.test(line));
  const skip = watches && process.platform !== 'linux' && 'the stand-in watches on Linux only';
  test(name, { skip }, () => {
    const file = path.join(folder, named || `example-${number}${extension}`);
    fs.writeFileSync(file, code.join('\n'));
    const run = spawnSync(process.execPath, [file], {
      cwd: folder,
      encoding: 'utf8',
      timeout: 30000,
      env: {
        ...process.env,
        VANTREL_ADDON_PATH: path.resolve(addonPath),
        VANTREL_STANDIN_STORE: path.join(root, 'samples', 'standin-store.json'),
      },
    });
    assert.equal(run.status, 0, `${name} failed:\n${run.stdout}${run.stderr}${run.error ?? ''}`);
  });
}
