'use strict';
// The native module's functions, unchanged, with typed helpers beside them that
// take Dates and parse the documents for the caller.

function isoText(value) {
  if (!(value instanceof Date)) return value;
  // An invalid Date has no ISO text; its "Invalid Date" is refused by the
  // bridge with the same message as any other bad date.
  return Number.isNaN(value.getTime()) ? String(value) : value.toISOString();
}

function withTypedHelpers(native) {
  return {
    ...native,
    readSnapshot(start, end) {
      return JSON.parse(native.snapshot(isoText(start), isoText(end)));
    },
    readDiagnostics() {
      return JSON.parse(native.diagnostics());
    },
  };
}

module.exports = { withTypedHelpers };
