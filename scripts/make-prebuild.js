'use strict';
// Run by `npm pack` and by a git install (the package's prepare step): builds
// vantrel.node as an install does and places it in prebuilds/, where the
// loader finds it, so that the tarball installs without building. On macOS
// the module is universal (arm64 and x86_64) and serves both architectures.
// Prebuilds already in prebuilds/ (the macOS workflow's, for instance) stay.
const { spawnSync } = require('node:child_process');
const path = require('node:path');
const options = require('../binding-options.js');

const root = path.join(__dirname, '..');
const universal = process.platform === 'darwin';

function run(script, args) {
  const result = spawnSync(process.execPath, [require.resolve(script), ...args],
    { cwd: root, stdio: 'inherit' });
  if (result.status !== 0) process.exit(result.status ?? 1);
}

const buildOptions = ['--out', 'build/Release', '--CDVANTREL_ADDON_ONLY=ON'];
if (universal) buildOptions.push('--CDCMAKE_OSX_ARCHITECTURES=arm64;x86_64');
// Configured afresh every time, so that an earlier install's single-architecture
// configuration never decides what is packed.
run('cmake-js/bin/cmake-js', ['configure', ...buildOptions]);
run('cmake-js/bin/cmake-js', ['build', '--out', 'build/Release', '--parallel', '2']);
for (const arch of universal ? ['arm64', 'x64'] : [process.arch]) {
  run('pkg-prebuilds/bin/copy.mjs', ['--baseDir', 'build/Release', '--source', `${options.name}.node`,
    '--name', options.name, '--napi_version', String(Math.max(...options.napi_versions)),
    '--arch', arch]);
}
