'use strict';
// Finds vantrel.node beside this file, in prebuilds/<platform>-<architectures>/:
// shipped in the package, or placed there by a build from source
// (install_native_module.js). A folder for exactly this architecture comes
// before one that serves several (the universal macOS module,
// darwin-arm64+x64). Nothing in the environment redirects it.
const fs = require('node:fs');
const path = require('node:path');

const buildNeeds = 'CMake 3.20 or later and a C++20 compiler (Xcode command-line tools on ' +
  'macOS; on Linux also nlohmann-json, Debian package nlohmann-json3-dev)';

function nativeModulePath(root, platform = process.platform, arch = process.arch) {
  let folders = [];
  try {
    folders = fs.readdirSync(path.join(root, 'prebuilds'));
  } catch {
    // No prebuilds at all: the error below says what to do.
  }
  const serving = folders.filter((folder) => {
    const [system, architectures = ''] = folder.split(/-(.*)/s);
    return system === platform && architectures.split('+').includes(arch);
  }).sort((a, b) => a.split('+').length - b.split('+').length);
  return serving.map((folder) => path.join(root, 'prebuilds', folder, 'vantrel.node'))
    .find((file) => fs.existsSync(file));
}

// Whether `root` is the vantrel package's own folder. A bundler that inlined
// this file puts `root` at the bundle's folder instead, where no build helps.
function isPackageFolder(root) {
  try {
    return JSON.parse(fs.readFileSync(path.join(root, 'package.json'), 'utf8')).name === 'vantrel';
  } catch {
    return false;
  }
}

function loadNativeModule(root) {
  const found = nativeModulePath(root);
  if (found) return require(found);
  const missing = `vantrel has no native module for ${process.platform}-${process.arch} in ` +
    `${path.join(root, 'prebuilds')}.`;
  if (!isPackageFolder(root)) {
    throw new Error(`${missing} ${root} is not the vantrel package's folder: vantrel was bundled ` +
      'into this file. Leave it to `require` at run time instead: mark `vantrel` external in the ' +
      "bundler (esbuild `external: ['vantrel']`, webpack `externals: { vantrel: 'commonjs " +
      "vantrel' }`, Vite `build.rollupOptions.external: ['vantrel']`), and keep it in the app's " +
      '`dependencies`.');
  }
  throw new Error(`${missing} Build it with \`npm rebuild vantrel\` (under pnpm, first allow ` +
    'its build with `pnpm approve-builds`, then `pnpm rebuild vantrel`); that needs ' +
    `${buildNeeds}.`);
}

module.exports = { loadNativeModule, nativeModulePath, buildNeeds };
