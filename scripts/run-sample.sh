#!/usr/bin/env bash
# Installs what is missing, builds vantrel-command alone, and prints the
# snapshot of March 2026 from the sample stand-in store.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# The same configuration as scripts/build.sh, but only the program it runs.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)" --target vantrel-command
VANTREL_STANDIN_STORE=samples/standin-store.json \
  build/cli/vantrel-command 2026-03-01T00:00:00Z 2026-04-01T00:00:00Z
# The program ends its output without a newline; end the line for the terminal.
echo
