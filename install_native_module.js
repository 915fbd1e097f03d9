'use strict';
// The package's install step, and with --pack the step of `npm pack`. Keeps
// the native module that fits this machine and otherwise builds one from
// source with cmake-js: a checkout's own (a development dependency), or one
// fetched for that build alone, so that an app whose install finds the
// module gets no build tools at all. A checkout always builds, so that its
// module follows its sources; --pack builds for macOS one universal module
// (arm64 and x86_64).
const fs = require('node:fs');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { nativeModulePath, buildNeeds } = require('./load_native_module.js');

const root = __dirname;
const packing = process.argv.includes('--pack');
const universal = packing && process.platform === 'darwin';
// Electron's tools ask for an architecture through npm's configuration.
const arch = process.env.npm_config_arch || process.arch;
const folder = `${process.platform}-${universal ? 'arm64+x64' : arch}`;
const out = path.join('build', 'Release');
// A checkout holds what the package leaves out, the presets among them.
const checkout = fs.existsSync(path.join(root, 'CMakePresets.json'));

function needsBuild() {
  if (packing || checkout || /^(true|1)$/.test(process.env.npm_config_build_from_source ?? '')) {
    return true;
  }
  return !nativeModulePath(root, process.platform, arch);
}

function fail(message) {
  console.error(`vantrel: ${message}`);
  process.exit(1);
}

// The cmake-js of the development dependencies: a checkout's own, else
// fetched into npm's cache for this build only.
function cmakeJs() {
  const version = require('./package.json').devDependencies['cmake-js'];
  const own = path.join(root, 'node_modules', 'cmake-js');
  try {
    if (require(path.join(own, 'package.json')).version === version) {
      return [process.execPath, path.join(own, 'bin', 'cmake-js')];
    }
  } catch {
    // Not installed here.
  }
  const npmCli = process.env.npm_execpath;
  const npm = npmCli && /npm-cli\.js$/.test(npmCli) ? [process.execPath, npmCli] : ['npm'];
  return [...npm, 'exec', '--yes', `--package=cmake-js@${version}`, '--', 'cmake-js'];
}

function run(command, args) {
  const result = spawnSync(command[0], [...command.slice(1), ...args], { cwd: root, stdio: 'inherit' });
  if (result.status !== 0) {
    fail(`the build from source failed (see above). It needs ${buildNeeds}.`);
  }
}

if (!needsBuild()) process.exit(0);
if (spawnSync('cmake', ['--version'], { stdio: 'ignore' }).status !== 0) {
  fail(`no module fits ${process.platform}-${arch}, and building one needs ${buildNeeds}; ` +
    'cmake was not found.');
}
const cmake = cmakeJs();
const options = ['--out', out, '--CDVANTREL_ADDON_ONLY=ON'];
if (universal) {
  options.push('--CDCMAKE_OSX_ARCHITECTURES=arm64;x86_64');
} else if (process.env.npm_config_arch) {
  options.push(`--arch=${process.env.npm_config_arch}`);
}
// Configured afresh every time, so an earlier build's architectures never
// decide what is built now.
run(cmake, ['configure', ...options]);
run(cmake, ['build', '--out', out, '--parallel', '2']);

const prebuilds = path.join(root, 'prebuilds');
fs.mkdirSync(prebuilds, { recursive: true });
if (packing) {
  // What a machine built before for itself must not be packed beside it.
  for (const old of fs.readdirSync(prebuilds)) {
    if (old.startsWith(`${process.platform}-`)) fs.rmSync(path.join(prebuilds, old), { recursive: true });
  }
}
fs.mkdirSync(path.join(prebuilds, folder), { recursive: true });
fs.copyFileSync(path.join(root, out, 'vantrel.node'), path.join(prebuilds, folder, 'vantrel.node'));
// An app's copy keeps the module alone: its packager would ship the build tree.
if (!checkout) {
  fs.rmSync(path.join(root, 'build'), { recursive: true, force: true });
}
