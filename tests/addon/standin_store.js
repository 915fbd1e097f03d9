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

const addonPath = process.env.VANTREL_ADDON_PATH ||
  path.join(__dirname, '..', '..', 'build', 'addon', 'vantrel.node');

module.exports = { useStore, addonPath };
