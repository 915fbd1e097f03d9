// The JSON documents of the bridge: compact, keys sorted, "\/" for a slash,
// control characters escaped, everything else raw UTF-8. Written in one pass
// into a buffer sized exactly beforehand.
#pragma once

#include <cstddef>
#include <string>

#include "bridge_records.h"

namespace vantrel {

// Exact length of the snapshot's JSON text. Throws BridgeFailure::invalidArguments
// when a text is not valid UTF-8.
std::size_t snapshotJsonSize(const BridgeSnapshot& snapshot);

// Writes exactly snapshotJsonSize(snapshot) bytes at `out`; returns the end.
char* writeSnapshotJson(const BridgeSnapshot& snapshot, char* out);

std::string encodeSnapshot(const BridgeSnapshot& snapshot);

// The snapshot's JSON as a NUL-terminated text from malloc, for handing out
// across the C boundary without a further copy; nullptr when out of memory.
char* encodeSnapshotToMallocText(const BridgeSnapshot& snapshot);

// Same rules as the snapshot. Throws BridgeFailure::invalidArguments on
// text that is not valid UTF-8.
std::string encodeDiagnostics(const BridgeDiagnostics& diagnostics);

}  // namespace vantrel
