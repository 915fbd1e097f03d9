'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { inspect } = require('node:util');
const vantrel = require('./vantrel_under_test.js');
const { useStore } = require('./standin_store.js');

const isPending = (promise) => inspect(promise).includes('<pending>');

async function rejection(promise) {
  try {
    await promise;
  } catch (error) {
    assert.equal(Object.getPrototypeOf(error), Error.prototype);
    assert.match(error.code, /^ERR_VANTREL_[A-Z_]+$/);
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

  // The wait for a grant the status shows late holds neither this thread nor
  // the call: it returns while the status still lags.
  useStore({ status: 0, request: { granted: true, thread: 'caller', statusLagMs: 1500 } });
  const lagging = vantrel.requestAccess();
  assert.equal(JSON.parse(vantrel.diagnostics()).status, 'not-determined');
  assert.equal(await lagging, true);
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

test('a grant the status shows late resolves once snapshot() can read', async () => {
  // The second shows only once the main thread's run loop turns, which in a
  // plain node the module does while the request is pending.
  for (const late of [{ statusLagMs: 400 }, { untilMainTurn: true }]) {
    useStore({ status: 0, request: { granted: true, delayMs: 20, ...late }, calendars: [] });
    assert.equal(await vantrel.requestAccess(), true);
    assert.equal(vantrel.snapshot('2026-03-01T00:00:00Z', '2026-04-01T00:00:00Z'),
      '{"calendars":[],"events":[]}');
  }
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

// On macOS the permission belongs to the process, so a second copy of the
// module (another path, loaded apart) sees what the first was granted.
test('a grant through one copy of the module is seen by another', async () => {
  const fs = require('node:fs');
  const path = require('node:path');
  const { addonPath } = require('./standin_store.js');
  const copyPath = path.join(fs.mkdtempSync(path.join(require('node:os').tmpdir(), 'vantrel-')),
    'copy.node');
  fs.copyFileSync(addonPath, copyPath);
  const copy = require(copyPath);
  assert.notEqual(copy, vantrel);

  useStore({ status: 0, request: { granted: true, delayMs: 5 } });
  assert.equal(JSON.parse(copy.diagnostics()).status, 'not-determined');
  assert.equal(await vantrel.requestAccess(), true);
  assert.equal(JSON.parse(copy.diagnostics()).status, 'full-access');
  assert.equal(await copy.requestAccess(), true);
  fs.rmSync(path.dirname(copyPath), { recursive: true, force: true });
});
