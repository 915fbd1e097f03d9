#!/usr/bin/env bash
# Builds everything with one sanitizer and runs the tests under it (all but
# the 30-second wait, label slow, and the calendar service's, whose libraries
# are not instrumented):
#   address  AddressSanitizer with LeakSanitizer and UndefinedBehaviorSanitizer,
#            in build-asan/ (preset asan)
#   thread   ThreadSanitizer, in build-tsan/ (preset tsan)
# Each build directory is reused. The first error ends the process that made
# it, and so fails its test. The node suites run with the sanitizer's runtime
# preloaded into node (tests/addon/CMakeLists.txt).
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
  address) preset=asan ;;
  thread) preset=tsan ;;
  *) echo "usage: $0 address|thread" >&2; exit 2 ;;
esac

# The builds, their folders and the sanitizers' options are presets
# (CMakePresets.json).
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)"
ctest --preset "$preset" -j"$(nproc)"
