'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { inspect } = require('node:util');
const vantrel = require('../../index.js');
const { useStore } = require('./standin_store.js');

const isPending = (promise) => inspect(promise).includes('<pending>');

async function rejection(promise) {
  try {
    await promise;
  } catch (error) {
    assert.equal(Object.getPrototypeOf(error), Error.prototype);
    assert.equal(error.code, undefined);
    return error.message;
  }
  assert.fail('the promise resolved');
}

test('an answer known at once still settles on a later turn', async () => {
  useStore({ status: 3 });
  const granted = vantrel.requestAccess();
  assert.ok(isPending(granted));
  assert.equal(await granted, true);

  useStore({ status: 0, request: { granted: true, thread: 'caller' } });
  const answeredInsideTheCall = vantrel.requestAccess();
  assert.ok(isPending(answeredInsideTheCall));
  assert.equal(await answeredInsideTheCall, true);
});

test('restricted and denied reject at once with the denial message', async () => {
  const cases = [
    [{ status: 1 }, /^Calendar access was not granted \(restricted\)\. In System Settings/],
    [{ status: 2 }, /^Calendar access was not granted \(denied\)\. In System Settings/],
    [{ status: 2, bundleIdentifier: 'com.github.Electron' },
      /^Calendar access was not granted \(denied\)\. This window is the development Electron app/],
  ];
  for (const [document, message] of cases) {
    useStore(document);
    const request = vantrel.requestAccess();
    assert.ok(isPending(request));
    assert.match(await rejection(request), message);
  }
});

test('a grant answered on another thread resolves the promise', async () => {
  useStore({ status: 0, request: { granted: true, delayMs: 20 } });
  const request = vantrel.requestAccess();
  assert.ok(isPending(request));
  assert.equal(await request, true);
  assert.equal(JSON.parse(vantrel.diagnostics()).status, 'full-access');
});

test('a refusal rejects with the message for the status it leaves', async () => {
  useStore({ status: 0, request: { granted: false } });
  assert.match(await rejection(vantrel.requestAccess()),
    /^Calendar access was not granted \(denied\)\./);

  useStore({ status: 4, request: { granted: false, statusAfter: 0 } });
  assert.match(await rejection(vantrel.requestAccess()),
    /^Calendar access was not granted \(not-determined\)\. Approve the macOS Calendar dialog/);
});

test("a request that fails rejects with the request's error text", async () => {
  const text = 'The operation couldn’t be completed. (EKErrorDomain error 29.)';
  useStore({ status: 0, request: { granted: false, error: text } });
  assert.equal(await rejection(vantrel.requestAccess()), text);

  useStore({ status: 0, request: { granted: false, error: text, thread: 'caller' } });
  assert.equal(await rejection(vantrel.requestAccess()), text);

  // Whole, and never empty.
  useStore({ status: 0, request: { granted: false, error: 'boom \u0000 x' } });
  assert.equal(await rejection(vantrel.requestAccess()), 'boom \uFFFD x');
  useStore({ status: 0, request: { granted: false, error: '' } });
  assert.match(await rejection(vantrel.requestAccess()),
    /^Calendar access was not granted \(denied\)\./);
});

test('many concurrent requests all settle, each with its own answer', async () => {
  useStore({ status: 2 });
  const denied = Array.from({ length: 40 }, () => vantrel.requestAccess());
  useStore({ status: 0, request: { granted: true, delayMs: 5 } });
  const granted = Array.from({ length: 40 }, () => vantrel.requestAccess());
  assert.ok([...denied, ...granted].every(isPending));

  const outcomes = await Promise.allSettled([...denied, ...granted]);
  for (const outcome of outcomes.slice(0, 40)) {
    assert.match(outcome.reason.message, /^Calendar access was not granted \(denied\)/);
  }
  assert.deepEqual(outcomes.slice(40).map((o) => o.value), Array(40).fill(true));
});
