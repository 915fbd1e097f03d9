'use strict';
// The module's tests under the oldest Node that package.json's engines claims,
// fetched from the npm registry as the node-<system>-<architecture> package.
const fs = require('node:fs');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { work, source, run } = require('./install_work.js');

const claim = require(path.join(source, 'package.json')).engines.node;
const oldest = /^>=(\d+\.\d+\.\d+)$/.exec(claim)?.[1];
if (!oldest) throw new Error(`engines.node "${claim}" is not ">=x.y.z": say here which Node is oldest`);
const folder = path.join(work, `node-${oldest}`);
fs.rmSync(work, { recursive: true, force: true });
fs.mkdirSync(folder, { recursive: true });
process.on('exit', () => fs.rmSync(work, { recursive: true, force: true }));
const name = `node-${process.platform}-${process.arch}@${oldest}`;
const [packed] = JSON.parse(run('npm', ['pack', name, '--json'], folder).stdout);
run('tar', ['-xzf', packed.filename], folder);
const node = path.join(folder, 'package', 'bin', 'node');

const tests = path.join(source, 'tests', 'addon');
const files = fs.readdirSync(tests).filter((file) => file.endsWith('.test.js'))
  .map((file) => path.join(tests, file));
const result = spawnSync(node, ['--test', ...files], { stdio: 'inherit' });
process.exitCode = result.status ?? 1;
