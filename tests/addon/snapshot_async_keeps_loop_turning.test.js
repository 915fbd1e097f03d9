'use strict';
// snapshotAsync() reads on a thread of the pool: the JavaScript thread, which
// in Electron's main process draws nothing while it is busy, stays free.
const test = require('node:test');
const assert = require('node:assert/strict');
const vantrel = require('./vantrel_under_test.js');
const { useStore } = require('./standin_store.js');

test('an interval timer keeps firing while a long snapshotAsync() is pending', async () => {
  // Big enough that parsing and reading it takes many timer periods; the
  // stand-in parses a new document on first use, inside the call.
  const events = [];
  for (let i = 0; i < 100_000; ++i) {
    events.push({ id: `event-${i}`, calendar: 'c', title: `Event ${i} / "quoted"`,
      location: i % 3 ? 'Room 4' : null, start: 1772442000 + i * 60, end: 1772442000 + i * 60 + 30 });
  }
  useStore({ status: 3, calendars: [{ id: 'c', title: 'C', source: 'S' }], events });
  const start = '2026-03-01T00:00:00Z';
  const end = '2026-12-01T00:00:00Z';

  let ticks = 0;
  const timer = setInterval(() => { ++ticks; }, 1);
  let ticksWhilePending;
  const pending = vantrel.snapshotAsync(start, end).then((json) => {
    ticksWhilePending = ticks;
    return json;
  });
  const json = await pending;
  clearInterval(timer);

  // A call that read on the JavaScript thread would let no timer fire before
  // its promise settles.
  assert.ok(ticksWhilePending >= 5, `the timer fired ${ticksWhilePending} times`);
  assert.equal(JSON.parse(json).events.length, 100_000);
  assert.equal(json, vantrel.snapshot(start, end));
});
