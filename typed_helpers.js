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
  return {
    ...vantrel,
    readSnapshot(start, end) {
      return JSON.parse(vantrel.snapshot(isoText(start), isoText(end)));
    },
    async readSnapshotAsync(start, end) {
      return JSON.parse(await vantrel.snapshotAsync(isoText(start), isoText(end)));
    },
    readDiagnostics() {
      return JSON.parse(vantrel.diagnostics());
    },
    async readDetailsAsync(start, end) {
      return JSON.parse(await vantrel.detailsAsync(isoText(start), isoText(end)));
    },
  };
}

module.exports = { withTypedHelpers };
