#!/usr/bin/env bash
# Measures the memory of snapshots of a million events (EVENTS=... for another
# count) and prints the figures:
#   - the bridge's own peak for one exported snapshot, against the size of its
#     JSON text (bench/snapshot_memory.cpp; fails at 2.5 times the text or more);
#   - the resident memory of one Node process over repeated snapshot() calls
#     (bench/snapshot_rss.js; TIMES=... calls, default 30);
#   - the resident memory over 200 reads of 10,000 events through snapshot(),
#     snapshotAsync() and detailsAsync(), each parsed and dropped
#     (bench/read_loop_rss.js; fails when an async route grows unchecked).
# Builds optimised into build-memory/ (BUILD_DIR=... for another folder).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${BUILD_DIR:-build-memory}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVANTREL_WERROR=ON \
  "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" "-DCMAKE_C_FLAGS_RELEASE=-O2 -DNDEBUG" >/dev/null
cmake --build "$build" -j"$(nproc)" --target vantrel_snapshot_memory vantrel >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
"$build/bench/vantrel_snapshot_memory" --events "${EVENTS:-1000000}" \
  --keep-store "$work/store.json" || status=$?
echo
# The generated events all fall in 2026.
node --expose-gc bench/snapshot_rss.js --addon "$build/addon/vantrel.node" \
  --store "$work/store.json" --times "${TIMES:-30}" \
  --range 2025-12-01T00:00:00Z,2027-02-01T00:00:00Z || status=$?
echo
node bench/read_loop_rss.js --addon "$build/addon/vantrel.node" || status=$?
exit "$status"
