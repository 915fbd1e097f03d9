'use strict';
// Scenarios for the stand-in calendar store: each call writes a new document
// and points VANTREL_STANDIN_STORE at it, so the next operation reads it. An
// access answer already on its way keeps the document it was asked of.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const directory = fs.mkdtempSync(path.join(os.tmpdir(), 'vantrel-addon-test-'));
process.on('exit', () => fs.rmSync(directory, { recursive: true, force: true }));
let written = 0;

function useStore(document) {
  const file = path.join(directory, `store-${++written}.json`);
  fs.writeFileSync(file, JSON.stringify(document));
  process.env.VANTREL_STANDIN_STORE = file;
  return file;
}

// The module ctest names, else the package's own, as `npm ci` or `npm rebuild`
// in this checkout built it.
const addonPath = process.env.VANTREL_ADDON_PATH ||
  require('../../load_native_module.js').nativeModulePath(path.join(__dirname, '..', '..'));
if (!addonPath) {
  throw new Error('No module to test: `npm ci` (or `npm rebuild`) builds the package\'s own, ' +
    'or VANTREL_ADDON_PATH names one.');
}

module.exports = { useStore, addonPath };
