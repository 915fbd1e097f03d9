// The ES module face of index.js: the same one loaded module, its functions as
// named exports and the whole object as the default export. Node cannot see
// the names of index.js by itself: a function added there is named here too.
import vantrel from './index.js';

export const {
  snapshot, snapshotAsync, detailsAsync, diagnostics, requestAccess, watchChanges, readSnapshot,
  readSnapshotAsync, readDetailsAsync, readDiagnostics, watchRange,
} = vantrel;
export default vantrel;
