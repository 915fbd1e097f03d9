'use strict';
// The snapshot job as JavaScript sees it, for the same stand-in documents that
// vantrel_bench writes (--write-store) or that anyone hands it:
//   - the V8 route: objects built from the platform's values, toISOString,
//     JSON.stringify and a pass that escapes slashes;
//   - the module's snapshot() over the stand-in store, whose document is
//     parsed once by a warm-up call and cached, so that its parsing is outside
//     the figure;
//   - V8 making a string of the finished document alone, the part of
//     snapshot() that no work of the bridge can shorten;
//   - the JavaScript thread's part of snapshotAsync(): its call and its
//     completion (making the string), the bridge itself running on the pool;
//   - snapshotAsync() end to end, from the call until its promise settles.
// Both must give the same bytes. Times are the process's CPU time, the least
// of several runs, as in vantrel_bench.
//
//   node --expose-gc bench/node_routes.js --addon build/addon/vantrel.node \
//        [--summary FILE] STORE.json...

const fs = require('node:fs');
const { performance } = require('node:perf_hooks');

function parseArguments(argv) {
  const options = { addon: null, summary: null, stores: [] };
  for (let i = 0; i < argv.length; ++i) {
    if (argv[i] === '--addon') options.addon = argv[++i];
    else if (argv[i] === '--summary') options.summary = argv[++i];
    else options.stores.push(argv[i]);
  }
  if (!options.addon || options.stores.length === 0) {
    throw new Error('usage: node_routes.js --addon PATH [--summary FILE] STORE.json...');
  }
  return options;
}

function seconds(value) {
  return typeof value === 'number' ? value : Date.parse(value) / 1000;
}

// "#" and six upper-case hex digits, as the bridge writes a calendar's colour.
function hexColor(components) {
  if (!Array.isArray(components) || components.length === 0) return '#6C4CF0';
  const grey = components.length < 3;
  const channel = (value) => {
    if (!(value > 0)) return 0;
    if (value >= 1) return 255;
    return Math.trunc(value * 255);
  };
  const hex = (value) => channel(value).toString(16).toUpperCase().padStart(2, '0');
  const [r, g, b] = grey ? [components[0], components[0], components[0]] : components;
  return `#${hex(r)}${hex(g)}${hex(b)}`;
}

// The general-purpose route, written as JavaScript code would write it.

// The document's white space and line breaks (Unicode Zs, Zl, Zp, U+0009 to
// U+000D and U+0085): String.prototype.trim() strips U+FEFF and keeps U+0085.
const edgeSpace =
  /^[\t-\r \u0085\u00A0\u1680\u2000-\u200A\u2028\u2029\u202F\u205F\u3000]+|[\t-\r \u0085\u00A0\u1680\u2000-\u200A\u2028\u2029\u202F\u205F\u3000]+$/g;
const trimDocumentSpace = (text) => text.replace(edgeSpace, '');

function v8Snapshot(document) {
  const calendars = (document.calendars || []).map((calendar) => ({
    color: hexColor(calendar.color),
    id: calendar.id ?? '',
    name: calendar.title ?? '',
    sourceName: calendar.source ?? '',
  }));
  const events = [];
  for (const event of document.events || []) {
    const startMs = seconds(event.start) * 1000;
    const title = event.title == null ? '' : trimDocumentSpace(event.title);
    // Keys in sorted order, as the document wants them.
    const record = {
      calendarId: event.calendar,
      endIso: new Date(Math.round(seconds(event.end) * 1000)).toISOString(),
      id: `${event.id ?? ''}::${Math.trunc(startMs)}`,
      isAllDay: event.allDay === true,
    };
    if (event.location != null) record.location = trimDocumentSpace(event.location);
    record.startIso = new Date(Math.round(startMs)).toISOString();
    record.title = title === '' ? 'Untitled event' : title;
    events.push(record);
  }
  return JSON.stringify({ calendars, events }).replaceAll('/', '\\/');
}

// A range holding every event, as vantrel_bench chooses it.
function rangeOf(document) {
  let first = Infinity;
  let last = -Infinity;
  for (const event of document.events || []) {
    const start = seconds(event.start);
    first = Math.min(first, start);
    last = Math.max(last, start);
  }
  if (first === Infinity) first = last = 1767225600;
  return [
    new Date((Math.floor(first) - 1) * 1000).toISOString(),
    new Date((Math.ceil(last) + 1) * 1000).toISOString(),
  ];
}

// The least CPU time of `runs` calls, in nanoseconds.
function fastestRun(runs, work) {
  let best = Infinity;
  for (let run = 0; run < runs; ++run) {
    if (global.gc) global.gc();
    const before = process.cpuUsage();
    const result = work();
    const used = process.cpuUsage(before);
    best = Math.min(best, (used.user + used.system) * 1000);
    if (typeof result !== 'string') throw new Error('no document');
  }
  return best;
}

// CPU time of this process's main (JavaScript) thread in nanoseconds, from
// Linux's per-thread accounting: the scheduler's own count in nanoseconds, or
// else utime + stime in 10 ms ticks; null where there is neither.
function jsThreadCpuNs() {
  const task = `/proc/self/task/${process.pid}`;
  try {
    return Number(fs.readFileSync(`${task}/schedstat`, 'utf8').split(' ')[0]);
  } catch {}
  try {
    const stat = fs.readFileSync(`${task}/stat`, 'utf8');
    const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
    return (Number(fields[11]) + Number(fields[12])) * 1e7;
  } catch {
    return null;
  }
}

// The least wall time of `runs` awaited calls, in nanoseconds.
async function fastestAwaitedRun(runs, work) {
  let best = Infinity;
  for (let run = 0; run < runs; ++run) {
    if (global.gc) global.gc();
    const before = process.hrtime.bigint();
    if (typeof await work() !== 'string') throw new Error('no document');
    best = Math.min(best, Number(process.hrtime.bigint() - before));
  }
  return best;
}

// The JavaScript thread's CPU time for one awaited call, in nanoseconds: for
// snapshotAsync, its call and its completion (making the string), while the
// snapshot itself runs on the pool. Calls are batched so that each measurement
// spans many of the clock's 10 ms ticks; the least of `runs` batches counts.
// Without per-thread accounting, the event loop's busy (wall) time instead.
async function fastestJsThreadRun(runs, events, work) {
  const batch = Math.max(1, Math.ceil(200_000 / Math.max(1, events)));
  let best = Infinity;
  for (let run = 0; run < runs; ++run) {
    if (global.gc) global.gc();
    const cpuBefore = jsThreadCpuNs();
    const before = performance.eventLoopUtilization();
    for (let i = 0; i < batch; ++i) {
      if (typeof await work() !== 'string') throw new Error('no document');
    }
    const cpuAfter = jsThreadCpuNs();
    const used = cpuBefore === null || cpuAfter === null
      ? performance.eventLoopUtilization(before).active * 1e6
      : cpuAfter - cpuBefore;
    best = Math.min(best, used / batch);
  }
  return best;
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const module = require(require('node:path').resolve(options.addon));
  const results = [];
  for (const store of options.stores) {
    const text = fs.readFileSync(store, 'utf8');
    const bytesOfStore = Buffer.byteLength(text);
    const document = JSON.parse(text);
    const events = (document.events || []).length;
    const [startIso, endIso] = rangeOf(document);
    process.env.VANTREL_STANDIN_STORE = store;

    const fromModule = module.snapshot(startIso, endIso);  // parses and caches the store
    if (v8Snapshot(document) !== fromModule) {
      throw new Error(`${store}: the V8 route and snapshot() give different documents`);
    }
    const documentBytes = Buffer.byteLength(fromModule);
    const runs = events >= 1_000_000 ? 2 : events >= 100_000 ? 4 : 8;
    const v8 = fastestRun(runs, () => v8Snapshot(document));
    const snapshot = fastestRun(runs, () => module.snapshot(startIso, endIso));
    // What any snapshot() pays after the bridge's work: V8 making its string
    // of the finished UTF-8 document, as napi_create_string_utf8 does.
    const bytes = Buffer.from(fromModule, 'utf8');
    const stringOnly = fastestRun(runs, () => bytes.toString('utf8'));
    if (await module.snapshotAsync(startIso, endIso) !== fromModule) {
      throw new Error(`${store}: snapshotAsync() and snapshot() give different documents`);
    }
    const asyncJsThread = await fastestJsThreadRun(runs, events,
      () => module.snapshotAsync(startIso, endIso));
    const asyncEndToEnd = await fastestAwaitedRun(runs,
      () => module.snapshotAsync(startIso, endIso));
    for (const [stage, ns] of [
      ['v8_route', v8],
      ['module_snapshot', snapshot],
      ['v8_string_of_document', stringOnly],
      ['module_snapshot_async_js_thread', asyncJsThread],
      ['module_snapshot_async', asyncEndToEnd],
    ]) {
      results.push({
        stage,
        events,
        nsPerEvent: ns / Math.max(1, events),
        mbPerSecond: documentBytes / (ns / 1e9) / 1e6,
        bytesPerEvent: documentBytes / Math.max(1, events),
      });
    }
    console.log(`${store}: ${events} events, ${bytesOfStore} bytes of store, ` +
                `same document from both routes; V8 route ${(v8 / events).toFixed(1)} ns/event, ` +
                `snapshot() ${(snapshot / events).toFixed(1)} ns/event, ` +
                `snapshotAsync() on the JavaScript thread ${(asyncJsThread / 1e3).toFixed(0)} µs a call, ` +
                `end to end ${(asyncEndToEnd / events).toFixed(1)} ns/event`);
  }
  if (options.summary) fs.writeFileSync(options.summary, JSON.stringify({ results }));
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
