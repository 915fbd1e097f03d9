#!/usr/bin/env bash
# Runs each fuzz target of tests/fuzz under libFuzzer (clang, with the address,
# leak and undefined behaviour checks): `--ci` for a minute each, or the given
# number of seconds each (default 600).
#
# Builds into build-fuzz/ (preset fuzzing) and reuses it. What a run learns is
# kept in build-fuzz/corpus/<target>/ for the next run; the seed corpus in
# tests/fuzz/corpus/ is only read. An input that breaks a target is saved in
# build-fuzz/crashes/ and the script fails: copy it into the seed corpus with
# the fix, and every build replays it as a test from then on.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=600
case "${1:-}" in
  --ci) seconds=60 ;;
  "") ;;
  *[!0-9]* | 0) echo "usage: $0 [--ci | SECONDS]" >&2; exit 2 ;;
  *) seconds=$1 ;;
esac

build=build-fuzz
targets=(parse_iso_fuzzer json_writer_fuzzer snapshot_export_fuzzer conference_link_fuzzer)
cmake --preset fuzzing >/dev/null
cmake --build --preset fuzzing -j"$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
mkdir -p "$build/crashes"
summary=()
status=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  log="$build/$target.log"
  mkdir -p "$corpus"
  echo "== $target: $seconds s"
  if "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/crashes/$target-" \
      "$corpus" "tests/fuzz/corpus/$target" >"$log" 2>&1; then
    outcome=clean
  else
    outcome="FAILED (see $log and $build/crashes/)"
    status=1
    tail -n 40 "$log" >&2
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  summary+=("$(printf '%-24s %12s executions  %5s inputs in corpus  %s' \
    "$target" "${runs:-?}" "$(find "$corpus" -type f | wc -l)" "$outcome")")
done
printf '%s\n' "${summary[@]}"
exit "$status"
