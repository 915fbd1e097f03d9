'use strict';
// The native module's functions, unchanged, with typed helpers beside them that
// take Dates and parse the documents for the caller.

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

function withTypedHelpers(native) {
  return {
    ...native,
    readSnapshot(start, end) {
      return JSON.parse(native.snapshot(isoText(start), isoText(end)));
    },
    async readSnapshotAsync(start, end) {
      return JSON.parse(await native.snapshotAsync(isoText(start), isoText(end)));
    },
    readDiagnostics() {
      return JSON.parse(native.diagnostics());
    },
    async readDetailsAsync(start, end) {
      return JSON.parse(await native.detailsAsync(isoText(start), isoText(end)));
    },
  };
}

module.exports = { withTypedHelpers };
