#!/usr/bin/env bash
# Builds and runs the snapshot benchmark: the core's stages and the exported
# call against the nlohmann-json route (vantrel_bench), and the module's
# snapshot() against the V8 route (bench/node_routes.js), over the same events,
# then prints one table with the ratios; then the details of a range against its
# snapshot over the stand-in store (vantrel_details_bench); and, where the build
# has the desktop's calendar service, a year of it through the bridge against
# the service's own calls (vantrel_calendar_service_bench). Takes a few minutes.
#
#   scripts/bench.sh                 10,000, 100,000 and 1,000,000 generated events
#   SIZES=10000 scripts/bench.sh     other counts
#   STORE=doc.json scripts/bench.sh  the events of a stand-in store document
#   BUILD_DIR=... scripts/bench.sh   another build folder (default build-bench)
#
# Optimised at -O2, as the deliverables are built (preset benchmark). Further
# arguments go to Google Benchmark (e.g. --benchmark_filter=encoding).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${BUILD_DIR:-build-bench}
sizes=${SIZES:-10000,100000,1000000}

cmake --preset benchmark -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target vantrel_bench vantrel >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bench="$build/bench/vantrel_bench"

stores=()
if [ -n "${STORE:-}" ]; then
  "$bench" --store "$STORE" --summary "$work/native.json" "$@"
  stores=("$STORE")
else
  "$bench" --events "$sizes" --summary "$work/native.json" "$@"
  for count in ${sizes//,/ }; do
    "$bench" --events "$count" --write-store "$work/store-$count.json"
    stores+=("$work/store-$count.json")
  done
fi
echo
node --expose-gc --max-old-space-size=16384 bench/node_routes.js \
  --addon "$build/addon/vantrel.node" --summary "$work/node.json" "${stores[@]}"
echo
node bench/print_table.js "$work/native.json" "$work/node.json"
echo
cmake --build "$build" -j"$(nproc)" --target vantrel_details_bench >/dev/null
"$build/bench/vantrel_details_bench" --events 10000
echo
# The bridge over the desktop's calendar service against the service's own
# calls, on a private instance of the service (builds with its headers only).
if cmake --build "$build" --target help | grep -q vantrel_calendar_service_bench; then
  cmake --build "$build" -j"$(nproc)" --target vantrel_calendar_service_bench >/dev/null
  service="$build/bench/vantrel_calendar_service_bench"
  mkdir "$work/service"
  "$service" --write-store "$work/service" 1000 10000
  # The service's own chatter on its way down is not the benchmark's.
  tests/calendar_service/run_with_private_service.sh "$work/service" "$service" 1000 10000 \
    2>"$work/service.log" || { cat "$work/service.log" >&2; exit 1; }
fi
