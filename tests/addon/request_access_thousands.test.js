'use strict';
// Thousands of access requests at once, answered on the calling thread and on
// thousands of threads of the store, while the JavaScript thread keeps
// pointing the store variable elsewhere: every promise settles once, with the
// answer of the store it asked.
const test = require('node:test');
const assert = require('node:assert/strict');
const vantrel = require('./vantrel_under_test.js');
const { useStore } = require('./standin_store.js');

const perBatch = 2000;

async function outcomes(promises) {
  return Promise.all(promises.map((p) => p.then((value) => value, (error) => error.message)));
}

test('thousands of requests settle with the answer of the store they asked', async () => {
  // Answered 50 ms later, each on a thread of its own, with the status left at
  // 4: the message names "add-events-only", whatever the variable names by then.
  useStore({ status: 0, request: { granted: false, statusAfter: 4, delayMs: 50 } });
  const later = Array.from({ length: perBatch }, () => vantrel.requestAccess());

  const denied = useStore({ status: 2 });
  const deniedAtOnce = Array.from({ length: perBatch }, () => vantrel.requestAccess());
  const granted = useStore({ status: 0, request: { granted: true, thread: 'caller' } });
  const grantedAtOnce = Array.from({ length: perBatch }, () => vantrel.requestAccess());
  // Rewrites the environment while the answering threads run.
  for (let i = 0; i < 5000; ++i) process.env.VANTREL_STANDIN_STORE = i % 2 ? denied : granted;

  const [a, b, c] = await Promise.all([later, deniedAtOnce, grantedAtOnce].map(outcomes));
  for (const message of a) assert.match(message, /^Calendar access was not granted \(add-events-only\)\./);
  for (const message of b) assert.match(message, /^Calendar access was not granted \(denied\)\./);
  assert.deepEqual(c, Array(perBatch).fill(true));
});
