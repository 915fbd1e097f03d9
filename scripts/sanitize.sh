#!/usr/bin/env bash
# Builds everything with one sanitizer and runs the tests under it (all but
# the 30-second wait, label slow):
#   address  AddressSanitizer with LeakSanitizer and UndefinedBehaviorSanitizer,
#            in build-asan/
#   thread   ThreadSanitizer, in build-tsan/
# Each build directory is reused. The first error ends the process that made
# it, and so fails its test. The node suites run with the sanitizer's runtime
# preloaded into node (tests/addon/CMakeLists.txt).
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
  address) build=build-asan ;;
  thread) build=build-tsan ;;
  *) echo "usage: $0 address|thread" >&2; exit 2 ;;
esac

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_WERROR=ON -DVANTREL_SANITIZER="$1" >/dev/null
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -LE slow
