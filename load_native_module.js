'use strict';
// Finds vantrel.node beside this file: a local build (build/Release, from the
// install step) or the prebuilt one for this platform (prebuilds/). Nothing in
// the environment redirects it.
const loadBinding = require('pkg-prebuilds');
const options = require('./binding-options.js');

function loadNativeModule(root) {
  const found = loadBinding.resolve(root, options, false, false);
  if (!found) {
    throw new Error(
      `vantrel has no native module for ${process.platform}-${process.arch}: no prebuilt ` +
      `one in ${root}/prebuilds and no local build in ${root}/build/Release. Build it with ` +
      '`npm rebuild vantrel` (or `pnpm rebuild vantrel` where install scripts are blocked); ' +
      'that needs CMake 3.20 or later and a C++20 compiler (Xcode command-line tools on ' +
      'macOS; on Linux also nlohmann-json, Debian package nlohmann-json3-dev).');
  }
  return require(found);
}

module.exports = { loadNativeModule };
