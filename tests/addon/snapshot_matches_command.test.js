'use strict';
// The module and vantrel-command serve the same document: their answers must
// be the same bytes.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const vantrel = require('./vantrel_under_test.js');
const { useStore } = require('./standin_store.js');

const command = process.env.VANTREL_COMMAND_PATH;
const skip = command ? false : 'VANTREL_COMMAND_PATH is not set';

function runCommand(start, end) {
  const run = spawnSync(command, [start, end], { env: process.env });
  assert.equal(run.error, undefined);
  return run;
}

function snapshotOrError(start, end) {
  try {
    return { json: vantrel.snapshot(start, end) };
  } catch (error) {
    return { error: error.message };
  }
}

async function snapshotAsyncOrError(start, end) {
  try {
    return { json: await vantrel.snapshotAsync(start, end) };
  } catch (error) {
    return { error: error.message };
  }
}

const calendars = [
  { id: 'work', title: 'Work', source: 'iCloud', color: [0.1, 0.6, 0.9, 1] },
  { id: 'home', title: 'Zuhause – Küche', source: 'Local', color: null },
  { id: 'grey', title: 'Grey "quoted" \\ back/slash', source: null, color: [0.5] },
];
const events = [
  { id: 'e1', calendar: 'work', title: '  Planning\n', location: 'Room 4',
    start: '2026-03-02T09:00:00Z', end: '2026-03-02T10:00:00Z' },
  { id: 'e2', calendar: 'home', title: null, location: '',
    start: '2026-03-01T23:00:00Z', end: '2026-03-02T23:00:00Z', allDay: true },
  { id: 'e3', calendar: 'grey', title: 'Tab\there 東京', start: 1772460000.25, end: 1772463600 },
  { id: 'outside', calendar: 'work', title: 'Later', start: '2026-04-01T09:00:00Z',
    end: '2026-04-01T10:00:00Z' },
];

test('snapshots are byte for byte what vantrel-command prints', { skip }, async () => {
  useStore({ status: 3, calendars, events });
  const ranges = [
    ['2026-03-01T00:00:00Z', '2026-03-31T00:00:00Z'],
    ['2026-03-02T10:00:00+01:00', '2026-03-02T09:30:00.000Z'],
    ['2026-05-01T00:00:00Z', '2026-05-02T00:00:00Z'],
  ];
  for (const [start, end] of ranges) {
    const run = runCommand(start, end);
    assert.equal(run.status, 0, run.stderr.toString());
    assert.deepEqual(Buffer.from(vantrel.snapshot(start, end), 'utf8'), run.stdout);
    assert.deepEqual(Buffer.from(await vantrel.snapshotAsync(start, end), 'utf8'), run.stdout);
  }
});

test('failures carry the same text as vantrel-command', { skip }, async () => {
  const cases = [
    [{ status: 2 }, '2026-03-01T00:00:00Z', '2026-03-02T00:00:00Z'],
    [{ status: 1, bundleIdentifier: 'com.github.Electron' }, '2026-03-01T00:00:00Z', '2026-03-02T00:00:00Z'],
    [{ status: 3 }, '2026-03-02T00:00:00Z', '2026-03-01T00:00:00Z'],
  ];
  for (const [document, start, end] of cases) {
    useStore(document);
    const run = runCommand(start, end);
    assert.equal(run.status, 1);
    assert.deepEqual(snapshotOrError(start, end), { error: run.stderr.toString('utf8') });
    assert.deepEqual(await snapshotAsyncOrError(start, end), { error: run.stderr.toString('utf8') });
  }
});

test('snapshotAsync resolves with the string snapshot() returns, whatever its characters', async () => {
  const cases = {
    'ASCII only': ['Planning', 'Work'],
    'Latin-1 only': ['Café für Zoë ±½', 'Größe'],
    'two-byte': ['東京 – Kyōto', 'Ω'],
    'surrogate pairs': ['📅 Review 𝄞', '😀'],
    'Latin-1, then two-byte at the end': ['Café', 'Zoë', '東京'],
  };
  for (const [kind, [title, calendarTitle, lastTitle = title]] of Object.entries(cases)) {
    const event = (id, day, text) => ({ id, calendar: 'c', title: text.repeat(20),
      start: `2026-03-0${day}T09:00:00Z`, end: `2026-03-0${day}T10:00:00Z` });
    useStore({ status: 3, calendars: [{ id: 'c', title: calendarTitle, source: 'Local' }],
      events: [event('e1', 1, title), event('e2', 2, title), event('e3', 3, lastTitle)] });
    const json = vantrel.snapshot('2026-03-01T00:00:00Z', '2026-03-04T00:00:00Z');
    assert.equal(await vantrel.snapshotAsync('2026-03-01T00:00:00Z', '2026-03-04T00:00:00Z'), json, kind);
  }
});

test('the snapshot is the JSON document of the store', () => {
  useStore({ status: 3, calendars, events });
  const snapshot = JSON.parse(vantrel.snapshot('2026-03-02T00:00:00Z', '2026-03-03T00:00:00Z'));
  assert.deepEqual(snapshot.calendars.map((c) => c.name),
    ['Work', 'Zuhause – Küche', 'Grey "quoted" \\ back/slash']);
  assert.deepEqual(snapshot.events.map((e) => [e.id, e.title, e.location]), [
    ['e1::1772442000000', 'Planning', 'Room 4'],
    ['e2::1772406000000', 'Untitled event', ''],
    ['e3::1772460000250', 'Tab\there 東京', undefined],
  ]);
});
