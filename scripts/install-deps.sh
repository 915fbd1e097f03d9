#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, skipping what
# is already there. Run as root, or with sudo available.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make pkg-config nlohmann-json3-dev libgtest-dev libgmock-dev
          libbenchmark-dev clang libclang-rt-14-dev binutils ccache git
          libc6-dev-arm64-cross libstdc++-12-dev-arm64-cross
          # The desktop's calendar service, its headers, and what its tests
          # run it with: a private session bus and a filtering proxy.
          evolution-data-server libecal2.0-dev libedataserver1.2-dev dbus dbus-daemon
          xdg-dbus-proxy)
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
# Node.js may come from outside Debian's packages; only ask for it when absent.
command -v node >/dev/null 2>&1 || missing+=(nodejs)
command -v npm >/dev/null 2>&1 || missing+=(npm)
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The npm packages of package.json (the Node-API headers, the package's build
# tools, the workflow validator, and the install tests' TypeScript, attw and
# pnpm), without building.
if [ -f package.json ] && ! node -e '
  const { dependencies, devDependencies } = require("./package.json");
  const present = (name) => require("fs").existsSync(`node_modules/${name}/package.json`);
  process.exit(Object.keys({ ...dependencies, ...devDependencies }).every(present) ? 0 : 1);
'; then
  npm ci --ignore-scripts --no-audit --no-fund
fi
