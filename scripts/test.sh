#!/bin/sh
# Builds everything and runs every test: scripts/test.sh [build folder]
# (default build/; scripts/release.sh builds in a folder of its own).
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
scripts/setup.sh
# Configure quietly; its output is shown when it fails or warns.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >"$log" 2>&1; then
  cat "$log" >&2
  echo "scripts/test.sh: configuring the build failed" >&2
  exit 1
fi
if grep -q "^CMake Warning" "$log"; then
  cat "$log" >&2
fi
cmake --build "$build" -j"$(nproc)"
cd "$build" && ctest --output-on-failure -j2
