#!/bin/sh
# Builds everything and runs every test: scripts/test.sh
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
cd build && ctest --output-on-failure -j2
