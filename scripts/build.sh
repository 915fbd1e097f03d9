#!/usr/bin/env bash
# Configures (preset development) and builds everything into build/ (or the
# folder given).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
cmake --preset development -B "$build" "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
