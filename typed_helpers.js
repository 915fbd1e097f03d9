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
// (or macOS's) own, whose case is what the function failed at.
const kReadTexts = new Map([
  ['snapshot(startIso, endIso) requires two strings.', 'ERR_VANTREL_ARGUMENT'],
  ['detailsAsync(startIso, endIso) requires two strings.', 'ERR_VANTREL_ARGUMENT'],
  ['Vantrel requires a start and end ISO date.', 'ERR_VANTREL_DATE'],
  ['The macOS Vantrel returned an invalid response.', 'ERR_VANTREL_TOO_LONG'],
]);
const kNotGranted = /^Calendar access was not granted(?: \(([^)]*)\))?\./;

function withCode(error, otherwise, native) {
  if (error === null || typeof error !== 'object' || typeof error.message !== 'string') return error;
  const { message } = error;
  const denied = kNotGranted.exec(message);
  if (denied) {
    error.code = 'ERR_VANTREL_NOT_GRANTED';
    error.status = denied[1] ?? currentStatus(native);
  } else if (message === 'watchChanges(listener) requires a function.') {
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

function withTypedHelpers(native) {
  // Each function keeps its name; a failure gets its code, `otherwise` for a
  // text of the store's or macOS's own. One that returns a promise rejects
  // (and never throws), as the native one does.
  const coded = (name, otherwise, returnsPromise = false) => {
    const call = native[name];
    const wrapped = returnsPromise
      ? async (...args) => {
        try {
          return await call(...args);
        } catch (error) {
          throw withCode(error, otherwise, native);
        }
      }
      : (...args) => {
        try {
          return call(...args);
        } catch (error) {
          throw withCode(error, otherwise, native);
        }
      };
    return Object.defineProperty(wrapped, 'name', { value: name });
  };
  const vantrel = {
    ...native,
    snapshot: coded('snapshot', 'ERR_VANTREL_STORE_FAILED'),
    snapshotAsync: coded('snapshotAsync', 'ERR_VANTREL_STORE_FAILED', true),
    detailsAsync: coded('detailsAsync', 'ERR_VANTREL_STORE_FAILED', true),
    diagnostics: coded('diagnostics', 'ERR_VANTREL_DIAGNOSTICS'),
    requestAccess: coded('requestAccess', 'ERR_VANTREL_REQUEST_FAILED', true),
    watchChanges: coded('watchChanges', 'ERR_VANTREL_CANNOT_WATCH'),
  };
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
