#!/bin/sh
# Installs what is missing, builds everything, and runs the single executable
# on the demo package: scripts/demo.sh
# The package is copied to build/demo first, so the repository stays clean.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
mkdir -p build/demo
cp samples/Demo.upk build/demo/Demo.upk
rm -f build/demo/Demo.txt
build/scrivel build/demo/Demo.upk
echo
if [ -f build/demo/Demo.txt ]; then
  echo "--- build/demo/Demo.txt (UTF-16, shown here as UTF-8) ---"
  iconv -f UTF-16 -t UTF-8 build/demo/Demo.txt | tr -d '\r'
fi
