'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const vantrel = require('../../index.js');
const { useStore } = require('./standin_store.js');

test('diagnostics report the permission and identity of the process', () => {
  useStore({
    status: 3,
    bundleIdentifier: 'com.tavimo.app',
    executablePath: '/Applications/Tavimo.app/Contents/MacOS/Tavimo',
  });
  assert.equal(vantrel.diagnostics(),
    '{"bundleId":"com.tavimo.app","canRead":true,' +
    '"executablePath":"\\/Applications\\/Tavimo.app\\/Contents\\/MacOS\\/Tavimo",' +
    '"status":"full-access"}');
});

test('diagnostics follow the status and fall back for absent values', () => {
  const cases = [
    [{ status: 2, executablePath: null, arguments: ['/usr/bin/electron', 'x'] },
      { bundleId: 'unknown', canRead: false, executablePath: '/usr/bin/electron', status: 'denied' }],
    [{ status: 4, executablePath: null, arguments: [] },
      { bundleId: 'unknown', canRead: false, executablePath: 'unknown', status: 'add-events-only' }],
    [{ status: 9, bundleIdentifier: 'com.github.Electron', executablePath: '/e' },
      { bundleId: 'com.github.Electron', canRead: false, executablePath: '/e', status: 'unknown-9' }],
  ];
  for (const [document, expected] of cases) {
    useStore(document);
    assert.deepEqual(JSON.parse(vantrel.diagnostics()), expected);
  }
});

test('arguments to diagnostics are ignored', () => {
  useStore({ status: 0, bundleIdentifier: 'id', executablePath: '/p' });
  assert.equal(vantrel.diagnostics('ignored', 1, {}), vantrel.diagnostics());
});
