'use strict';
// The real EventKit job (.github/workflows/macos.yml): a watch started from a
// plain `node` must hear an event that another process adds to the fixture
// calendar. A plain node runs libuv, not a Cocoa run loop, on its main thread,
// so this is where it shows whether EventKit's notification still arrives.
//
//   node watch_hears_added_event.js VANTREL_NODE FIXTURE_PROGRAM FIXTURE_JSON
const path = require('node:path');
const { execFileSync } = require('node:child_process');

const [addonPath, fixtureProgram, fixtureJson] = process.argv.slice(2);
const vantrel = require(path.resolve(addonPath));
const { calendarId } = require(path.resolve(fixtureJson));
const patienceMs = 10_000;

let added = 0;
let timer;
const stop = vantrel.watchChanges(() => {
  console.log(`the listener ran ${Date.now() - added} ms after the event was added`);
  stop();
  clearTimeout(timer);
});
timer = setTimeout(() => {
  stop();
  console.error(`no call within ${patienceMs} ms of adding an event: EKEventStoreChangedNotification ` +
                'did not reach a watch in a process whose main thread runs no run loop');
  process.exitCode = 1;
}, patienceMs);
added = Date.now();
execFileSync(fixtureProgram, ['add-event', calendarId], { stdio: 'inherit' });
