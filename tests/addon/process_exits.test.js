'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const { spawnSync } = require('node:child_process');

test('a process exits by itself once its requests have settled', () => {
  // The time limit only stops a child that hangs; it is not what is tested.
  const child = spawnSync(process.execPath, [path.join(__dirname, 'request_access_child.js')], {
    env: process.env,
    timeout: 60_000,
    killSignal: 'SIGKILL',
  });
  assert.equal(child.signal, null, 'the child did not exit: a thread-safe function holds its loop');
  assert.equal(child.status, 0, child.stderr.toString());
  assert.deepEqual(JSON.parse(child.stdout.toString()), [
    true,
    'Calendar access was not granted (denied)',
    true, true, true,
    'refused',
  ]);
});

test('a process exits by itself with a watch running, whose listener threw', {
  skip: process.platform !== 'linux' && 'the stand-in watches its document on Linux only',
}, () => {
  const child = spawnSync(process.execPath, [path.join(__dirname, 'watch_changes_child.js')], {
    env: process.env,
    timeout: 60_000,
    killSignal: 'SIGKILL',
  });
  assert.equal(child.signal, null, 'the child did not exit: the watch holds its loop');
  assert.equal(child.status, 0, child.stderr.toString());
  assert.deepEqual(JSON.parse(child.stdout.toString()), ['listener 1', 'listener 2']);
});
