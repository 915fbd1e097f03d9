#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; then runs them again
# under the address sanitizer (with leak and undefined behaviour checks) and
# the thread sanitizer, and each fuzz target for a minute. With --quick, only
# the plain build and its tests.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=false
case "${1:-}" in
  --quick) quick=true ;;
  "") ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac

scripts/install-deps.sh
scripts/build.sh build
ctest --test-dir build --output-on-failure -j"$(nproc)"
if "$quick"; then
  exit 0
fi
scripts/sanitize.sh address
scripts/sanitize.sh thread
scripts/fuzz.sh --ci
