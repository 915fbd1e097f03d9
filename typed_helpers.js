'use strict';
// The native module's functions with a stable `code` on every error they throw
// or reject with (the message stays as it was), and typed helpers beside them
// that take Dates and parse the documents for the caller.

const { isDate } = require('node:util').types;

// A Date of any realm (a vm context's, say), read by this realm's methods.
function isoText(value) {
  if (!isDate(value)) return value;
  // An invalid Date has no ISO text; its "Invalid Date" is refused by the
  // bridge with the same message as any other bad date.
  return Number.isNaN(Date.prototype.getTime.call(value))
    ? 'Invalid Date'
    : Date.prototype.toISOString.call(value);
}

// The texts are fixed, so each names its case; any other text is the store's
// (or macOS's) own, whose case is what the function was doing.
const kReadTexts = new Map([
  ['Vantrel requires a start and end ISO date.', 'ERR_VANTREL_DATE'],
  ['The macOS Vantrel returned an invalid response.', 'ERR_VANTREL_TOO_LONG'],
]);
const kNotGranted = /^Calendar access was not granted(?: \(([^)]*)\))?\./;
// "snapshot(startIso, endIso) requires two strings.", and each function's own.
const kArguments = /^\w+\([\w, ]*\) requires [\w ]+\.$/;

function withCode(error, otherwise, native) {
  if (error === null || typeof error !== 'object' || typeof error.message !== 'string') return error;
  const { message } = error;
  const denied = kNotGranted.exec(message);
  if (denied) {
    error.code = 'ERR_VANTREL_NOT_GRANTED';
    error.status = denied[1] ?? currentStatus(native);
  } else if (kArguments.test(message)) {
    error.code = 'ERR_VANTREL_ARGUMENT';
  } else if (message.startsWith('Calendar changes cannot be watched')) {
    error.code = 'ERR_VANTREL_CANNOT_WATCH';
  } else {
    error.code = kReadTexts.get(message) ?? otherwise;
  }
  return error;
}

// A refusal without a label: the status of this moment stands in.
function currentStatus(native) {
  try {
    return JSON.parse(native.diagnostics()).status;
  } catch {
    return 'unknown';
  }
}

// The code of a text of the store's or macOS's own, by what the function does.
function otherwiseFor(name) {
  if (name === 'diagnostics') return 'ERR_VANTREL_DIAGNOSTICS';
  if (name === 'requestAccess') return 'ERR_VANTREL_REQUEST_FAILED';
  return name.startsWith('watch') ? 'ERR_VANTREL_CANNOT_WATCH' : 'ERR_VANTREL_STORE_FAILED';
}

// An argument the helpers refuse themselves, coded as the module's are.
function argumentError(message) {
  return Object.assign(new TypeError(message), { code: 'ERR_VANTREL_ARGUMENT' });
}

// The calendars an options object names, as the JSON text the bridge takes;
// null for every calendar.
function calendarIdsText(options) {
  const calendars = options === undefined || options === null ? undefined : options.calendars;
  if (calendars === undefined || calendars === null) return null;
  if (!Array.isArray(calendars) || !calendars.every((id) => typeof id === 'string')) {
    throw argumentError('options.calendars must be an array of calendar ids (strings).');
  }
  return JSON.stringify(calendars);
}

function twoDigits(number) {
  return String(number).padStart(2, '0');
}

// The day of an instant in this process's time zone, as YYYY-MM-DD.
function localDay(milliseconds) {
  const date = new Date(milliseconds);
  return `${String(date.getFullYear()).padStart(4, '0')}-${twoDigits(date.getMonth() + 1)}-${twoDigits(date.getDate())}`;
}

// All-day events are placed at the local midnights of the zone the store reads
// them in, so their days are read in this process's zone. The store ends the
// last day at the next midnight or at its last second: the millisecond before
// the end is on the last day either way.
function withDays(document) {
  for (const event of document.events) {
    if (!event.isAllDay) continue;
    const start = Date.parse(event.startIso);
    event.startDay = localDay(start);
    event.endDay = localDay(Math.max(start, Date.parse(event.endIso) - 1));
  }
  return document;
}

// Runs the listener so that its exception is reported as an uncaught one
// without ending the watch.
function callListener(listener, error, change) {
  try {
    listener(error, change);
  } catch (thrown) {
    process.nextTick(() => {
      throw thrown;
    });
  }
}

// The item identifier part of an occurrence key ("<identifier>::<ms>").
function itemOf(key) {
  return key.slice(0, key.lastIndexOf('::'));
}

// What changed from one read of the range to the next. Events are matched by
// item identifier and occurrence date first, so an occurrence moved within or
// out of its series is one change; then what is left by item identifier alone,
// in order, since a single event's occurrence date is its start and moves
// with it.
function rangeChange(previous, snapshot, keys) {
  const before = previous.snapshot.events;
  const pairedBefore = new Array(before.length).fill(-1);
  const pairedAfter = new Array(snapshot.events.length).fill(-1);
  for (const keyOf of [(key) => key, itemOf]) {
    const waiting = new Map(); // key -> { list of unpaired earlier events, next }
    before.forEach((_, i) => {
      if (pairedBefore[i] >= 0) return;
      const key = keyOf(previous.keys[i]);
      if (!waiting.has(key)) waiting.set(key, { list: [], next: 0 });
      waiting.get(key).list.push(i);
    });
    snapshot.events.forEach((_, j) => {
      const queue = pairedAfter[j] < 0 && waiting.get(keyOf(keys[j]));
      if (!queue || queue.next === queue.list.length) return;
      const i = queue.list[queue.next++];
      pairedBefore[i] = j;
      pairedAfter[j] = i;
    });
  }
  const added = [];
  const changed = [];
  snapshot.events.forEach((event, j) => {
    const i = pairedAfter[j];
    if (i < 0) added.push(event);
    else if (JSON.stringify(before[i]) !== JSON.stringify(event)) changed.push({ before: before[i], after: event });
  });
  const removed = before.filter((_, i) => pairedBefore[i] < 0);
  const calendarsChanged =
    JSON.stringify(previous.snapshot.calendars) !== JSON.stringify(snapshot.calendars);
  return { added, removed, changed, calendarsChanged, snapshot };
}

function watchRange(native, start, end, listener, options) {
  if (typeof listener !== 'function') {
    throw argumentError('watchRange(start, end, listener) requires a function.');
  }
  const startIso = isoText(start);
  const endIso = isoText(end);
  const calendars = calendarIdsText(options);
  let stopped = false;
  let reading = false;
  let wanted = false;
  let last = null; // the last good read: { snapshot, keys }
  let failed = false;

  const deliver = (text) => {
    const snapshot = JSON.parse(text);
    const keys = snapshot.occurrences;
    delete snapshot.occurrences;
    withDays(snapshot);
    const change = last
      ? rangeChange(last, snapshot, keys)
      : { added: snapshot.events.slice(), removed: [], changed: [], calendarsChanged: true, snapshot };
    const quiet = last && !failed && !change.calendarsChanged && change.added.length === 0 &&
      change.removed.length === 0 && change.changed.length === 0;
    last = { snapshot, keys };
    failed = false;
    if (!quiet) callListener(listener, null, change);
  };

  // One read at a time; changes heard meanwhile give one more read after it.
  const read = async () => {
    wanted = true;
    if (reading) return;
    reading = true;
    while (wanted && !stopped) {
      wanted = false;
      try {
        const text = await native.rangeWatchReadAsync(startIso, endIso, calendars);
        if (!stopped) deliver(text);
      } catch (error) {
        if (stopped) break;
        failed = true;
        callListener(listener, error instanceof Error ? error : new Error(String(error)), null);
      }
    }
    reading = false;
  };

  const stopChanges = native.watchChanges(read);
  read();
  return function stop() {
    if (stopped) return;
    stopped = true;
    stopChanges();
  };
}

// The module's own reads that only the helpers call.
const kInternal = ['snapshotOfCalendarsAsync', 'detailsOfCalendarsAsync', 'rangeWatchReadAsync',
  'unavailableReason'];

function withTypedHelpers(native) {
  // Every function of the native module, under its own name: what it throws,
  // or what its promise rejects with, gets its code; the rest passes as it is.
  const vantrel = { ...native };
  for (const [name, call] of Object.entries(native)) {
    if (typeof call !== 'function') continue;
    const coded = (error) => withCode(error, otherwiseFor(name), native);
    vantrel[name] = Object.defineProperty((...args) => {
      let result;
      try {
        result = call(...args);
      } catch (error) {
        throw coded(error);
      }
      return result instanceof Promise ? result.catch((error) => { throw coded(error); }) : result;
    }, 'name', { value: name });
  }
  const exported = { ...vantrel };
  for (const name of kInternal) delete exported[name];
  return {
    ...exported,
    readSnapshot(start, end) {
      return withDays(JSON.parse(vantrel.snapshot(isoText(start), isoText(end))));
    },
    async readSnapshotAsync(start, end, options) {
      const calendars = calendarIdsText(options);
      const text = calendars === null
        ? await vantrel.snapshotAsync(isoText(start), isoText(end))
        : await vantrel.snapshotOfCalendarsAsync(isoText(start), isoText(end), calendars);
      return withDays(JSON.parse(text));
    },
    readDiagnostics() {
      const diagnostics = JSON.parse(vantrel.diagnostics());
      if (diagnostics.status !== 'full-access') {
        const reason = vantrel.unavailableReason();
        if (reason !== undefined) diagnostics.reason = reason;
      }
      return diagnostics;
    },
    async readDetailsAsync(start, end, options) {
      const calendars = calendarIdsText(options);
      const text = calendars === null
        ? await vantrel.detailsAsync(isoText(start), isoText(end))
        : await vantrel.detailsOfCalendarsAsync(isoText(start), isoText(end), calendars);
      return JSON.parse(text);
    },
    watchRange(start, end, listener, options) {
      return watchRange(vantrel, start, end, listener, options);
    },
  };
}

module.exports = { withTypedHelpers };
