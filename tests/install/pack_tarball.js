'use strict';
// Packs the checkout as `npm pack` does for a release (which builds the
// linux-x64 prebuild), from a copy of its source files, into the shared folder
// of the install tests.
const fs = require('node:fs');
const path = require('node:path');
const { work, source, tarball, run, copySource } = require('./install_work.js');

fs.rmSync(work, { recursive: true, force: true });
const copy = path.join(work, 'src');
copySource(copy);
// The packing needs the build tools of the checkout, not a second download.
fs.symlinkSync(path.join(source, 'node_modules'), path.join(copy, 'node_modules'));
const { stdout, seconds } = run('npm', ['pack', '--json', '--pack-destination', work], copy);
// The build's own output may come first.
const [packed] = JSON.parse(stdout.startsWith('[') ? stdout : stdout.slice(stdout.lastIndexOf('\n[\n') + 1));
fs.renameSync(path.join(work, packed.filename), tarball);
console.log(`packed in ${seconds.toFixed(0)} s: ${packed.entryCount} files, ` +
  `${packed.size} bytes (${packed.unpackedSize} unpacked)`);
for (const { path: file } of packed.files) console.log(`  ${file}`);
