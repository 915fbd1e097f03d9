'use strict';
// The typed helpers over the stand-in store: a calendar filter reads those
// calendars and their events only, and all-day events carry their days as the
// process's time zone reads them.
const test = require('node:test');
const assert = require('node:assert/strict');
const vantrel = require('./vantrel_under_test.js');
const { useStore } = require('./standin_store.js');

const range = ['2026-03-01T00:00:00Z', '2026-04-01T00:00:00Z'];

test('a filter of some calendars lists those and reads their events only', async () => {
  useStore({
    calendars: [{ id: 'work' }, { id: 'home' }, { id: 'holidays' }],
    events: ['work', 'home', 'holidays'].map((calendar) =>
      ({ id: calendar, calendar, start: '2026-03-02T09:00:00Z', end: '2026-03-02T10:00:00Z' })),
  });
  const cases = [
    [['home'], 'home', 'home'],
    [['nowhere', 'holidays', 'work'], 'work holidays', 'work holidays'],
    [[], '', ''],
    [undefined, 'work home holidays', 'work home holidays'],
  ];
  for (const [calendars, listed, read] of cases) {
    const snapshot = await vantrel.readSnapshotAsync(...range, { calendars });
    const details = await vantrel.readDetailsAsync(...range, { calendars });
    assert.equal(snapshot.calendars.map((c) => c.id).join(' '), listed);
    assert.equal(snapshot.events.map((e) => e.calendarId).join(' '), read);
    assert.deepEqual(details.events.map((e) => e.id), snapshot.events.map((e) => e.id));
  }
  await assert.rejects(vantrel.readSnapshotAsync(...range, { calendars: 'home' }), TypeError);
});

// The store places an all-day event at the local midnights of its zone, and
// ends it at the next midnight or at the last second of its last day.
const allDay = [
  ['Europe/Berlin', '2026-03-04T23:00:00.000Z', '2026-03-05T23:00:00.000Z', '2026-03-05', '2026-03-05'],
  ['Europe/Berlin', '2026-03-09T23:00:00.000Z', '2026-03-11T22:59:59.000Z', '2026-03-10', '2026-03-11'],
  ['America/New_York', '2026-03-05T05:00:00.000Z', '2026-03-06T05:00:00.000Z', '2026-03-05', '2026-03-05'],
  // The day clocks move forward has 23 hours.
  ['America/New_York', '2026-03-08T05:00:00.000Z', '2026-03-09T04:00:00.000Z', '2026-03-08', '2026-03-08'],
  ['America/New_York', '2026-03-20T04:00:00.000Z', '2026-03-20T04:00:00.000Z', '2026-03-20', '2026-03-20'],
];

test('all-day events carry their first and last day in the process zone', async () => {
  const zone = process.env.TZ;
  try {
    for (const [tz, start, end, startDay, endDay] of allDay) {
      process.env.TZ = tz;
      useStore({
        calendars: [{ id: 'c' }],
        events: [{ calendar: 'c', start, end, allDay: true }, { calendar: 'c', start, end }],
      });
      const [days, timed] = (await vantrel.readSnapshotAsync(...range)).events;
      assert.deepEqual([days.startDay, days.endDay], [startDay, endDay], `${tz} ${start}`);
      assert.deepEqual([timed.startDay, timed.endDay], [undefined, undefined]);
      assert.equal(vantrel.readSnapshot(...range).events[0].startDay, startDay);
    }
  } finally {
    if (zone === undefined) delete process.env.TZ;
    else process.env.TZ = zone;
  }
});
