'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const vantrel = require('./vantrel_under_test.js');
const { useStore, addonPath } = require('./standin_store.js');

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

// The module reads the store's variable through process.env, under Node's own
// lock, so workers sharing the environment may rewrite it meanwhile; getenv
// there read freed memory and crashed. Run in a child, since that kills it.
test('diagnostics while workers rewrite the shared environment', () => {
  const child = require('node:child_process').spawnSync(process.execPath, ['--eval', `
    const { Worker, SHARE_ENV } = require('node:worker_threads');
    const vantrel = require(process.env.VANTREL_ADDON_PATH_FOR_CHILD);
    // New names grow the environment, which moves it in memory.
    const writer = \`
      const name = (j) => 'VANTREL_TEST_' + require('node:worker_threads').workerData + '_' + j;
      for (let i = 0; ; ++i) {
        process.env[name(i % 64)] = 'x'.repeat(i % 200);
        if (i % 64 === 63) for (let j = 0; j < 64; ++j) delete process.env[name(j)];
      }\`;
    const workers = [1, 2].map((n) =>
      new Worker(writer, { eval: true, env: SHARE_ENV, workerData: n }));
    const first = vantrel.diagnostics();
    for (let i = 0; i < 20000; ++i) {
      if (vantrel.diagnostics() !== first) throw new Error('diagnostics changed');
    }
    for (const worker of workers) worker.terminate();
    process.stdout.write('survived');
  `], {
    env: { ...process.env, VANTREL_ADDON_PATH_FOR_CHILD: addonPath },
    timeout: 120_000,
    killSignal: 'SIGKILL',
  });
  const stderr = child.stderr.toString();
  assert.equal(child.signal, null, stderr);
  assert.equal(child.status, 0, stderr);
  assert.equal(child.stdout.toString(), 'survived');
});
