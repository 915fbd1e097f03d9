'use strict';
// The real EventKit job (.github/workflows/macos.yml): a watch must hear an
// event that another process adds to the fixture calendar. From a plain
// `node`, whose main thread runs libuv, the module turns the main thread's
// run loop, which carries EventKit's notification; from Electron's main
// process (run by `electron`), Electron's own Cocoa run loop carries it.
//
//   node watch_hears_added_event.js VANTREL_NODE FIXTURE_PROGRAM FIXTURE_JSON
//   electron watch_hears_added_event.js VANTREL_NODE FIXTURE_PROGRAM FIXTURE_JSON
const path = require('node:path');
const { execFileSync } = require('node:child_process');

const electron = process.versions.electron ? require('electron') : null;
const host = electron ? `Electron ${process.versions.electron} (${process.type} process)` : 'node';
const [addonPath, fixtureProgram, fixtureJson] = process.argv.slice(-3);
const patienceMs = 10_000;

// Electron's main process lives until it is told to end.
const finish = (code) => (electron ? electron.app.exit(code) : (process.exitCode = code));

function watch() {
  const vantrel = require(path.resolve(addonPath));
  const { calendarId } = require(path.resolve(fixtureJson));
  let added = 0;
  let timer;
  const stop = vantrel.watchChanges(() => {
    console.log(`${host}: the listener ran ${Date.now() - added} ms after the event was added`);
    stop();
    clearTimeout(timer);
    finish(0);
  });
  timer = setTimeout(() => {
    stop();
    console.error(`${host}: no call within ${patienceMs} ms of adding an event: ` +
                  'EKEventStoreChangedNotification did not reach the watch');
    finish(1);
  }, patienceMs);
  added = Date.now();
  execFileSync(fixtureProgram, ['add-event', calendarId], { stdio: 'inherit' });
}

if (electron) {
  electron.app.whenReady().then(watch).catch((error) => {
    console.error(error);
    finish(1);
  });
} else {
  watch();
}
