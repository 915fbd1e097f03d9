'use strict';
// The real EventKit job's check: the fixture calendar read through
// vantrel-command, snapshot() and snapshotAsync() must give the same document,
// and hold exactly the expected calendar and events. Each read keeps the
// store's order, but EventKit promises none from one query to the next, so
// the documents are compared parsed, with calendars and events in a fixed
// order. Run with TZ=UTC: all-day events follow the time zone of the reading
// process.
//
//   node compare_with_fixture.js FIXTURE.json ADDON.node VANTREL-COMMAND
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { spawnSync } = require('node:child_process');

const [fixtureFile, addonFile, command] = process.argv.slice(2);
const fixture = JSON.parse(fs.readFileSync(fixtureFile, 'utf8'));
const vantrel = require(require('node:path').resolve(addonFile));
// Six years: two windows of EventKit's four-year cap.
const start = '2026-01-01T00:00:00Z';
const end = '2032-01-01T00:00:00Z';

function event(key, title, startIso, endIso, extra = {}) {
  return {
    calendarId: fixture.calendarId,
    endIso,
    id: `${fixture.ids[key]}::${Date.parse(startIso)}`,
    isAllDay: false,
    ...extra,
    startIso,
    title,
  };
}

const expected = [
  ...['02', '09', '16', '23'].map((day) => event('weekly', 'Weekly sync',
    `2026-03-${day}T09:00:00.000Z`, `2026-03-${day}T10:00:00.000Z`)),
  event('allDay', 'Holiday', '2026-03-10T00:00:00.000Z', '2026-03-10T23:59:59.000Z',
    { isAllDay: true }),
  event('titled', 'Caf\u00e9 \u2615\ufe0f "quoted" a/b\\c \u{1F4C5}',
    '2026-03-11T14:30:00.000Z', '2026-03-11T15:00:00.000Z'),
  event('located', 'Planning', '2026-03-12T08:00:00.000Z', '2026-03-12T09:15:00.000Z',
    { location: 'Room 4 / Floor 2' }),
  event('later', 'Five years on', '2031-06-02T10:00:00.000Z', '2031-06-02T11:00:00.000Z'),
];

const byId = (a, b) => (a.id < b.id ? -1 : a.id > b.id ? 1 : 0);
// By id, and whole where two share one.
const byIdThenText = (a, b) => byId(a, b) || byId({ id: JSON.stringify(a) }, { id: JSON.stringify(b) });
const inFixedOrder = (json) => {
  const document = JSON.parse(json);
  return { ...document, calendars: [...document.calendars].sort(byIdThenText),
    events: [...document.events].sort(byIdThenText) };
};

async function main() {
  const run = spawnSync(command, [start, end]);
  assert.equal(run.status, 0, `vantrel-command: ${run.stderr}`);
  const fromCommand = run.stdout.toString('utf8');
  const fromSnapshot = vantrel.snapshot(start, end);
  const fromAsync = await vantrel.snapshotAsync(start, end);
  const document = inFixedOrder(fromCommand);
  assert.deepEqual(inFixedOrder(fromSnapshot), document, 'snapshot() and vantrel-command differ');
  assert.deepEqual(inFixedOrder(fromAsync), document, 'snapshotAsync() and vantrel-command differ');
  const calendar = document.calendars.find((c) => c.id === fixture.calendarId);
  assert.ok(calendar, 'the fixture calendar is missing');
  assert.equal(calendar.name, 'Vantrel CI');
  assert.equal(typeof calendar.sourceName, 'string');
  // Red as sRGB; a round trip through the store may move a channel by a step.
  const [r, g, b] = [1, 3, 5].map((at) => parseInt(calendar.color.slice(at, at + 2), 16));
  assert.ok(r >= 0xFD && g <= 2 && b <= 2, `colour ${calendar.color}`);

  const events = document.events.filter((e) => e.calendarId === fixture.calendarId).map((e) => {
    // The end of an all-day day may be reported as its last second or as the
    // next midnight.
    if (e.isAllDay && e.endIso === '2026-03-11T00:00:00.000Z') return { ...e, endIso: '2026-03-10T23:59:59.000Z' };
    return e;
  });
  assert.deepEqual(events, expected.sort(byId));
  console.log(`the fixture calendar read whole: ${events.length} events, the same three ways`);
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
