'use strict';
// A worker thread that ends while its access requests are still waiting
// unloads the module and deletes their thread-safe functions; the answers
// still arrive afterwards, on the calendar store's threads. Run in a child
// process, since a fault here kills the process.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const { spawnSync } = require('node:child_process');

test('answers for a worker that has ended are dropped safely', () => {
  const child = spawnSync(process.execPath,
    [path.join(__dirname, 'worker_ends_with_request_pending_child.js')], {
      env: process.env,
      timeout: 120_000,
      killSignal: 'SIGKILL',
    });
  const stderr = child.stderr.toString();
  assert.equal(child.signal, null, stderr);
  assert.equal(child.status, 0, stderr);
  assert.equal(child.stdout.toString(), 'survived');
});
