'use strict';
// watchRange over the stand-in store rewritten step by step: one call per step
// with exactly what changed in the range, none for a change outside it, an
// Error while access is gone and a call once it is back.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const vantrel = require('./vantrel_under_test.js');
const { useStore } = require('./standin_store.js');

const settleMs = 1000; // past a burst's quiet time and a re-read
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

const event = (id, title, start, end, extra = {}) =>
  ({ id, calendar: 'work', title, start: `2026-03-${start}:00Z`, end: `2026-03-${end}:00Z`, ...extra });
const calendars = [{ id: 'work', title: 'Work', color: [0, 0, 1] }, { id: 'home', title: 'Home' }];
const base = [
  event('standup', 'Standup', '02T09:00', '02T09:30'),
  event('plan', 'Planning', '03T10:00', '03T11:00'),
  event('weekly', 'Weekly', '02T14:00', '02T15:00'),
  event('weekly', 'Weekly', '09T14:00', '09T15:00'),
  event('offsite', 'Offsite', '', '', { start: '2026-04-01T09:00:00Z', end: '2026-04-01T10:00:00Z' }),
];
const moved = (events, at, changes) => events.map((e, i) => (i === at ? { ...e, ...changes } : e));

// Each step's store, and the one call it must give ('' for none).
const steps = [];
let events = base;
const step = (next, expected, extra = {}) => {
  events = next;
  steps.push({ document: { calendars, events, ...extra }, expected });
};
step(base, '+Standup +Planning +Weekly +Weekly calendars');
step([...base, event('lunch', 'Lunch', '04T12:00', '04T13:00')], '+Lunch');
step(moved(events, 1, { start: '2026-03-03T12:00:00Z', end: '2026-03-03T13:00:00Z' }),
  '~Planning@03-03T10:00>Planning@03-03T12:00');
step(moved(events, 0, { title: 'Daily standup' }), '~Standup@03-02T09:00>Daily standup@03-02T09:00');
step(moved(events, 3, { start: '2026-03-10T16:00:00Z', end: '2026-03-10T17:00:00Z',
  occurrenceDate: '2026-03-09T14:00:00Z' }), '~Weekly@03-09T14:00>Weekly@03-10T16:00');
// Two occurrences moved at once and listed the other way round: only their
// occurrence dates tell which is which.
step([events[0], events[1], { ...events[3], start: '2026-03-11T16:00:00Z', end: '2026-03-11T17:00:00Z' },
  { ...events[2], start: '2026-03-03T08:00:00Z', end: '2026-03-03T09:00:00Z' }, ...events.slice(4)],
'~Weekly@03-10T16:00>Weekly@03-11T16:00 ~Weekly@03-02T14:00>Weekly@03-03T08:00');
step(events.filter((e) => e.id !== 'lunch'), '-Lunch');
const recoloured = [{ ...calendars[0], color: [1, 0, 0] }, calendars[1]];
steps.push({ document: { calendars: recoloured, events }, expected: 'calendars' });
steps.push({ document: { calendars: recoloured, events, status: 2 }, expected: 'error' });
steps.push({ document: { calendars: recoloured, events, status: 3 }, expected: 'nothing' });
steps.push({ document: { calendars: recoloured, events: moved(events, 4, { title: 'Off' }) }, expected: '' });

const at = (e) => `${e.title}@${e.startIso.slice(5, 16)}`;
function summary(error, change) {
  if (error) return error instanceof Error ? 'error' : 'not an Error';
  const parts = [...change.added.map((e) => `+${e.title}`), ...change.removed.map((e) => `-${e.title}`),
    ...change.changed.map(({ before, after }) => `~${at(before)}>${at(after)}`)];
  if (change.calendarsChanged) parts.push('calendars');
  return parts.join(' ') || 'nothing';
}

test('one call per step with exactly what changed in the range', {
  skip: process.platform !== 'linux' && 'the stand-in watches on Linux only',
}, async () => {
  const file = useStore(steps[0].document);
  const calls = [];
  const stop = vantrel.watchRange(new Date('2026-03-02T00:00:00Z'), '2026-03-16T00:00:00Z',
    (error, change) => calls.push(summary(error, change)), { calendars: ['work', 'home'] });
  try {
    for (const [i, { document, expected }] of steps.entries()) {
      if (i > 0) fs.writeFileSync(file, JSON.stringify(document));
      await sleep(settleMs);
      assert.deepEqual(calls, expected ? [expected] : [], `step ${i}`);
      calls.length = 0;
    }
  } finally {
    stop();
  }
});
