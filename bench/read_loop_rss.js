'use strict';
// Resident memory over a loop of reads, made as an app makes them: each
// document awaited, parsed and dropped, no collection forced, the RSS sampled
// after every read. Each route runs in a process of its own over the same
// stand-in store: snapshot(), snapshotAsync() and detailsAsync(). The async
// routes hand V8 strings whose characters live outside its heap, which the
// collector must be told of; fails (exit status 1) when the growth of either
// (its highest RSS above the RSS before the loop) is more than 3 times that of
// snapshot() and more than 150 MB.
//
//   node bench/read_loop_rss.js --addon build/addon/vantrel.node \
//        [--store STORE.json] [--events 10000] [--reads 200]
//
// Without --store, writes one of --events events, each with a paragraph of
// notes, an organizer and three attendees (the snapshot about 2.2 MB).

const childProcess = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const kRoutes = ['snapshot', 'snapshotAsync', 'detailsAsync'];
const kRange = ['2026-01-01T00:00:00Z', '2027-01-01T00:00:00Z'];
const kParagraph =
  'Agenda for the weekly review: the open items from last week, the numbers of the quarter ' +
  'and the plan for the launch. Please read the notes in the shared folder before the call.\n' +
  'Join Zoom Meeting: https://us02web.zoom.us/j/81234567890?pwd=QWxhZGRpbjpvcGVuIHNlc2FtZQ';

function parseArguments(argv) {
  const options = { addon: null, store: null, events: 10000, reads: 200, route: null };
  for (let i = 0; i < argv.length; i += 2) {
    const value = argv[i + 1];
    if (argv[i] === '--addon') options.addon = value;
    else if (argv[i] === '--store') options.store = value;
    else if (argv[i] === '--events') options.events = Number(value);
    else if (argv[i] === '--reads') options.reads = Number(value);
    else if (argv[i] === '--route') options.route = value;
  }
  if (!options.addon || !(options.reads >= 10) || !(options.events >= 1)) {
    throw new Error('usage: read_loop_rss.js --addon PATH [--store STORE.json] ' +
                    '[--events N] [--reads N >= 10]');
  }
  return options;
}

// Events every 50 minutes through 2026; the dash makes every document UTF-16.
function writeStore(file, count) {
  const person = (n) => ({ name: `Person ${n}`, url: `mailto:person${n}@example.com`,
                           status: 1 + n % 4, role: 1 + n % 2, type: 1 });
  const events = [];
  for (let i = 0; i < count; ++i) {
    const start = 1767225600 + i * 3000;
    events.push({
      id: `4F1C2D3E-0000-4000-8000-${100000000000 + i}`, calendar: 'work',
      title: `Weekly review \u2014 ${i}`, location: 'Room 4', start, end: start + 1800,
      notes: kParagraph, timeZone: 'Europe/Berlin', status: 1, recurring: i % 3 === 0,
      organizer: person(i), attendees: [person(i), person(i + 1), person(i + 2)],
    });
  }
  fs.writeFileSync(file, JSON.stringify({
    status: 3, calendars: [{ id: 'work', title: 'Work', source: 'iCloud' }], events,
  }));
}

// One route's loop, in this process: RSS in bytes before it (after a first
// read that parses and caches the store), after it, and at its highest.
async function runRoute(options) {
  process.env.VANTREL_STANDIN_STORE = options.store;
  const vantrel = require(path.resolve(options.addon));
  const read = {
    snapshot: async () => vantrel.snapshot(...kRange),
    snapshotAsync: () => vantrel.snapshotAsync(...kRange),
    detailsAsync: () => vantrel.detailsAsync(...kRange),
  }[options.route];
  const length = (await read()).length;
  const before = process.memoryUsage.rss();
  let highest = before;
  for (let i = 0; i < options.reads; ++i) {
    if (typeof JSON.parse(await read()) !== 'object') throw new Error('no document');
    highest = Math.max(highest, process.memoryUsage.rss());
  }
  const after = process.memoryUsage.rss();
  process.stdout.write(JSON.stringify({ length, before, after, highest }));
}

function megabytes(bytes) {
  return (bytes / 1e6).toFixed(1).padStart(8);
}

function main() {
  const options = parseArguments(process.argv.slice(2));
  if (options.route) return runRoute(options);
  let work = null;
  if (!options.store) {
    work = fs.mkdtempSync(path.join(os.tmpdir(), 'vantrel-read-loop-'));
    options.store = path.join(work, 'store.json');
    writeStore(options.store, options.events);
  }
  try {
    const growth = {};  // at the highest, above the RSS before the loop
    console.log(`${options.reads} reads of ${options.store}, each parsed and dropped, ` +
                'in a process of its own per route (RSS in MB)');
    console.log('route             M chars  before   after highest  growth');
    for (const route of kRoutes) {
      const child = childProcess.spawnSync(process.execPath,
        [__filename, '--addon', options.addon, '--store', options.store,
         '--reads', String(options.reads), '--route', route],
        { encoding: 'utf8', stdio: ['ignore', 'pipe', 'inherit'], maxBuffer: 1 << 20 });
      if (child.status !== 0) throw new Error(`${route}: the loop failed`);
      const figures = JSON.parse(child.stdout);
      growth[route] = figures.highest - figures.before;
      console.log(`${route.padEnd(16)}${megabytes(figures.length)}${megabytes(figures.before)}` +
                  `${megabytes(figures.after)}${megabytes(figures.highest)}${megabytes(growth[route])}`);
    }
    for (const route of ['snapshotAsync', 'detailsAsync']) {
      if (growth[route] > 3 * Math.max(growth.snapshot, 0) && growth[route] > 150e6) {
        console.error(`${route}: grew ${megabytes(growth[route])} MB, more than 3 times ` +
                      'snapshot() and more than 150 MB: the engine is not told of its strings');
        process.exitCode = 1;
      }
    }
  } finally {
    if (work) fs.rmSync(work, { recursive: true, force: true });
  }
  return undefined;
}

Promise.resolve().then(main).catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
