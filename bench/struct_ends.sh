#!/bin/sh
# Times import of a 100 MB package whose property list opens 1,024 structs
# that never end, then holds "None" tags up to its size, against the same
# package without the structs.
#   bench/struct_ends.sh [BUILD_DIR] [TOOL]   (default: build, BUILD_DIR/tool/Scrivel.exe)
set -eu
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
cmake --build "$BUILD" --target scrivel_tool benchmarks >/dev/null
TOOL="${2:-$BUILD/tool/Scrivel.exe}"
WORK="${TMPDIR:-/tmp}/scrivel-bench-structs-$$"
rm -rf "$WORK"
mkdir -p "$WORK"
trap 'rm -rf "$WORK"' EXIT

now() { date +%s.%N; }
timed() {
  t0=$(now); "$@" >/dev/null 2>&1; t1=$(now)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }'
}
min() { printf '%s\n' "$@" | sort -g | head -1; }

for structs in 0 1024; do
  mono "$BUILD/bench/GenerateStructEndsPackage.exe" "$WORK/s$structs.upk" "$structs" >/dev/null
  mono "$TOOL" "$WORK/s$structs.upk" >/dev/null
  runs=""
  for i in 1 2 3; do
    rm -f "$WORK/s$structs.upk.clxi"
    runs="$runs $(timed mono "$TOOL" "$WORK/s$structs.txt")"
  done
  test -f "$WORK/s$structs.upk.clxi" || { echo "s$structs.txt was not compiled" >&2; exit 1; }
  eval "best$structs=$(min $runs)"
  printf 'import, %4s structs: %s s (best %s s)\n' "$structs" "$runs" "$(min $runs)"
done
printf 'ratio (target: at most 1.5): %.2f\n' "$(awk -v a="$best1024" -v b="$best0" 'BEGIN { print a / b }')"
