'use strict';
// Hostile JavaScript values in each argument position, each with the one
// outcome it gets: refused by the module before the core, refused by the core
// with its date text, or a snapshot. The functions without arguments ignore
// whatever they are given.
const test = require('node:test');
const assert = require('node:assert/strict');
const vantrel = require('./vantrel_under_test.js');
const { useStore, addonPath } = require('./standin_store.js');

const kTwoStrings = 'snapshot(startIso, endIso) requires two strings.';
const kBadDates = 'Vantrel requires a start and end ISO date.';
const start = '2026-03-01T00:00:00Z';
const end = '2026-04-01T00:00:00Z';
const empty = '{"calendars":[],"events":[]}';
const hundredMB = 100_000_000;

function outcome(call) {
  try {
    return call();
  } catch (error) {
    assert.equal(Object.getPrototypeOf(error), Error.prototype);
    return error.message;
  }
}

test('values that are not strings are refused in either position', () => {
  useStore({ status: 3 });
  const values = [42, NaN, -0, 10n, {}, [], [start], Symbol('date'), () => start, true, null,
    undefined, new String(start), { toString: () => start }, new Date(start)];
  for (const value of values) {
    assert.equal(outcome(() => vantrel.snapshot(value, end)), kTwoStrings, String(typeof value));
    assert.equal(outcome(() => vantrel.snapshot(start, value)), kTwoStrings, String(typeof value));
  }
});

test('hostile strings get the answer of the date they hold', () => {
  useStore({ status: 3 });
  const cases = [
    ['a lone high surrogate', '\uD800', kBadDates],
    ['a date ending in a lone low surrogate', `${start}\uDC00`, kBadDates],
    ['a date with a lone surrogate inside', '2026-03-01T00:00:00\uD800Z', kBadDates],
    ['an emoji', `${start}\u{1F4C5}`, kBadDates],
    ['full-width digits', '\uFF12026-03-01T00:00:00Z', kBadDates],
    ['the empty string', '', kBadDates],
    ['100 MB of fraction digits', `2026-03-01T00:00:00.${'9'.repeat(hundredMB)}Z`, empty],
    ['100 MB of junk', 'x'.repeat(hundredMB), kBadDates],
    ['year 0000', '0000-01-01T00:00:00Z', empty],
    ['year 10000', '10000-01-01T00:00:00Z', kBadDates],
    ['offset +24:00', '2026-03-01T00:00:00+24:00', kBadDates],
    ['offset +23:59', '2026-03-01T00:00:00+23:59', empty],
    ['leap second', '2026-03-01T23:59:60Z', kBadDates],
  ];
  for (const [what, text, expected] of cases) {
    assert.equal(outcome(() => vantrel.snapshot(text, end)), expected, what);
  }
  assert.equal(outcome(() => vantrel.snapshot('1969-12-31T00:00:00Z', '1970-01-01T00:00:00.001Z')),
    empty, 'negative instants');
  assert.equal(outcome(() => vantrel.snapshot(start, `${end}${'Z'.repeat(hundredMB)}`)), kBadDates,
    '100 MB end');
});

// An unusable document fails every read with the text that names the file and
// what is wrong, while its status stays the default (full access); no document
// at all reads as restricted. One line on stderr says either. Run in a child,
// whose stderr the test can read.
test('store documents that cannot be used, or none, fail at once, saying why', () => {
  const fs = require('node:fs');
  const { execFileSync, spawnSync } = require('node:child_process');
  const pipe = `${useStore({})}.pipe`;
  execFileSync('mkfifo', [pipe]);
  const large = useStore({ status: 3 });
  fs.truncateSync(large, 100 * 2 ** 30);
  const cases = [
    [pipe, 'is not a regular file but a named pipe'],
    [large, 'is too large: 107374182400 bytes, and the stand-in reads at most 1073741824 bytes'],
    [useStore({ status: '0' }), 'status: expected an integer, found "0"'],
    ['', null],
  ];
  // Unset, a build with the desktop's calendar service reads that instead; kept off any bus here.
  const unset = new RegExp('^(stand-in store: VANTREL_STANDIN_STORE is unset or empty, so every answer ' +
    'is that of a store with no calendars whose access is restricted; set it to the path of a ' +
    'stand-in store document|calendar service: there is no session bus .*restricted\\. Set ' +
    'VANTREL_STANDIN_STORE to read a stand-in store document instead)\\.\\n$');
  const restricted = /^Calendar access was not granted \(restricted\)\. In System Settings/;
  for (const [file, problem] of cases) {
    const child = spawnSync(process.execPath, ['--eval', `
      const vantrel = require(${JSON.stringify(addonPath)});
      let snapshot;
      try { vantrel.snapshot('${start}', '${end}'); } catch (error) { snapshot = error.message; }
      const { status } = JSON.parse(vantrel.diagnostics());
      vantrel.requestAccess().catch((error) => error.message).then((request) => {
        process.stdout.write(JSON.stringify([snapshot, status, request]));
      });
    `], {
      env: { ...process.env, VANTREL_STANDIN_STORE: file, DBUS_SESSION_BUS_ADDRESS: 'unix:path=/nonexistent' },
      timeout: 60_000,
    });
    assert.equal(child.status, 0, child.stderr.toString());
    const [snapshot, status, request] = JSON.parse(child.stdout.toString());
    if (problem) {
      assert.deepEqual([snapshot, status, request], [`stand-in store ${file}: ${problem}`, 'full-access', true]);
    } else {
      assert.match(snapshot, restricted);
      assert.equal(status, 'restricted');
      assert.match(request, restricted);
    }
    if (problem) assert.equal(child.stderr.toString(), `stand-in store ${file}: ${problem}\n`);
    else assert.match(child.stderr.toString(), unset);
  }
});

test('the functions without arguments ignore hostile ones', async () => {
  useStore({ status: 3 });
  const hostile = [Symbol('x'), 10n, { valueOf() { throw new Error('read'); } }, '\uD800'];
  assert.equal(vantrel.diagnostics(...hostile), vantrel.diagnostics());
  assert.equal(await vantrel.requestAccess(...hostile), true);
});
