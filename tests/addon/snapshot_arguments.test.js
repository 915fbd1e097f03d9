'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const vantrel = require('./vantrel_under_test.js');
const { useStore } = require('./standin_store.js');

const kTwoStrings = 'snapshot(startIso, endIso) requires two strings.';
const kDetailsTwoStrings = 'detailsAsync(startIso, endIso) requires two strings.';
const kBadDates = 'Vantrel requires a start and end ISO date.';
const start = '2026-03-02T00:00:00Z';
const end = '2026-03-03T00:00:00Z';

function isPlainError(message) {
  return (error) => {
    assert.equal(Object.getPrototypeOf(error), Error.prototype);
    assert.equal(error.message, message);
    assert.match(error.code, /^ERR_VANTREL_[A-Z_]+$/);
    return true;
  };
}

// snapshot() throws it, and snapshotAsync() and detailsAsync() reject with the
// same text (each its own for its arguments) instead of throwing.
async function assertFailsWith(args, message) {
  assert.throws(() => vantrel.snapshot(...args), isPlainError(message));
  for (const [name, own] of [['snapshotAsync', kTwoStrings], ['detailsAsync', kDetailsTwoStrings]]) {
    let pending;
    assert.doesNotThrow(() => { pending = vantrel[name](...args); });
    await assert.rejects(pending, isPlainError(message === kTwoStrings ? own : message));
  }
}

test('arguments that are not two strings are refused before the core', async () => {
  // A store whose every read fails: only the module's own check can answer.
  useStore({ status: 3, calendars: 'not a list' });
  const cases = [
    [],
    [start],
    [1, 2],
    [start, 2],
    [1, end],
    [start, null],
    [undefined, end],
    [start, { toString: () => end }],
  ];
  for (const args of cases) {
    await assertFailsWith(args, kTwoStrings);
  }
});

test('a string holding a NUL is refused, not cut short into a valid date', async () => {
  useStore({ status: 3 });
  await assertFailsWith([`${start}\0junk`, end], kTwoStrings);
  await assertFailsWith([start, `${end}\0`], kTwoStrings);
});

test('dates the core rejects throw its text', async () => {
  useStore({ status: 3 });
  const cases = [
    [end, start],
    [start, start],
    ['2026-03-02', '2026-03-03'],
    ['2026-03-02T00:00:00', end],
    ['', end],
    [` ${start}`, end],
  ];
  for (const [from, to] of cases) {
    await assertFailsWith([from, to], kBadDates);
  }
});

test('arguments past the second are ignored', async () => {
  useStore({ status: 3, calendars: [{ id: 'c', title: 'C', source: 'S' }] });
  assert.equal(vantrel.snapshot(start, end, 'extra', 42), vantrel.snapshot(start, end));
  assert.equal(await vantrel.snapshotAsync(start, end, 'extra', 42), vantrel.snapshot(start, end));
});

test('without full access the denial message is thrown and nothing is asked', async () => {
  useStore({ status: 0, request: { granted: true } });
  assert.throws(() => vantrel.snapshot(start, end), {
    message: /^Calendar access was not granted \(not-determined\)\./,
  });
  for (const read of [vantrel.snapshotAsync, vantrel.detailsAsync]) {
    await assert.rejects(read(start, end), { message: /^Calendar access was not granted \(not-determined\)\./ });
  }
  assert.equal(JSON.parse(vantrel.diagnostics()).status, 'not-determined');
  useStore({ status: 2, bundleIdentifier: 'com.github.Electron' });
  assert.throws(() => vantrel.snapshot(start, end), {
    message: /^Calendar access was not granted \(denied\)\. This window is the development Electron app/,
  });
});

test('readSnapshot, readSnapshotAsync and readDetailsAsync take Dates as their ISO texts and parse the documents', async () => {
  useStore({
    status: 3,
    calendars: [{ id: 'c', title: 'C', source: 'S' }],
    events: [{ id: 'e', calendar: 'c', title: 'T', start: '2026-03-02T09:00:00Z', end: '2026-03-02T10:00:00Z',
      organizer: { name: 'Ana', url: 'mailto:ana@example.com' } }],
  });
  const details = await vantrel.readDetailsAsync(new Date(start), new Date(end));
  assert.deepEqual(details, JSON.parse(await vantrel.detailsAsync(start, end)));
  assert.deepEqual(details.events.map((event) => event.id), ['e::1772442000000']);
  assert.equal(details.events[0].organizer.email, 'ana@example.com');
  await assert.rejects(vantrel.readDetailsAsync(new Date(end), new Date(start)), isPlainError(kBadDates));
  const expected = JSON.parse(vantrel.snapshot(start, end));
  assert.equal(expected.events.length, 1);
  assert.deepEqual(vantrel.readSnapshot(new Date(start), new Date(end)), expected);
  assert.deepEqual(vantrel.readSnapshot(start, new Date(end)), expected);
  const otherRealm = require('node:vm').runInNewContext('(text) => new Date(text)');
  assert.deepEqual(vantrel.readSnapshot(otherRealm(start), otherRealm(end)), expected);
  assert.throws(() => vantrel.readSnapshot(new Date('nonsense'), end), isPlainError(kBadDates));
  assert.throws(() => vantrel.readSnapshot(new Date(end), new Date(start)), isPlainError(kBadDates));
  assert.throws(() => vantrel.readSnapshot(Date.parse(start), end), isPlainError(kTwoStrings));
  assert.deepEqual(await vantrel.readSnapshotAsync(new Date(start), end), expected);
  await assert.rejects(vantrel.readSnapshotAsync(new Date('nonsense'), end), isPlainError(kBadDates));
  await assert.rejects(vantrel.readSnapshotAsync(start), isPlainError(kTwoStrings));
});
