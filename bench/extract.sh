#!/bin/sh
# Times extraction of a generated 100 MB package with 20,000 text-class
# exports against reading the same file once from disk.
#   bench/extract.sh [BUILD_DIR]   (default: build)
set -eu
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
cmake --build "$BUILD" --target scrivel_tool benchmarks >/dev/null
WORK="${TMPDIR:-/tmp}/scrivel-bench-extract"
rm -rf "$WORK"
mkdir -p "$WORK"
PKG="$WORK/pkg.upk"
mono "$BUILD/bench/GenerateExtractionPackage.exe" "$PKG" 100 20000

now() { date +%s.%N; }
# Seconds taken by a command, its output discarded.
timed() {
  t0=$(now); "$@" >/dev/null 2>&1; t1=$(now)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }'
}
min() { printf '%s\n' "$@" | sort -g | head -1; }

# The file was just written, so even the first read may come from the page
# cache: "first read" is cold-ish at best.
first_cat=$(timed cat "$PKG")
warm_cat=$(min "$(timed cat "$PKG")" "$(timed cat "$PKG")" "$(timed cat "$PKG")")
# The tool's start-up alone, without a file: a floor for any run.
startup=$(min "$(timed mono "$BUILD/tool/Scrivel.exe")" "$(timed mono "$BUILD/tool/Scrivel.exe")" "$(timed mono "$BUILD/tool/Scrivel.exe")")
runs=""
for i in 1 2 3; do
  rm -f "$WORK/pkg.txt"
  runs="$runs $(timed mono "$BUILD/tool/Scrivel.exe" "$PKG")"
done
best=$(min $runs)
lines=$(iconv -f UTF-16 -t UTF-8 "$WORK/pkg.txt" | wc -l)

printf 'package:              %s bytes\n' "$(stat -c %s "$PKG")"
printf 'text file:            %s lines\n' "$lines"
printf 'cat, first read:      %.3f s\n' "$first_cat"
printf 'cat, warm (best of 3): %.3f s\n' "$warm_cat"
printf 'tool start-up alone:  %.3f s\n' "$startup"
printf 'extraction runs:     %s s\n' "$runs"
printf 'extraction (best):    %.3f s\n' "$best"
printf 'ratio to warm read:   %.1f\n' "$(awk -v a="$best" -v b="$warm_cat" 'BEGIN { print a / b }')"
printf 'ratio to first read:  %.1f\n' "$(awk -v a="$best" -v b="$first_cat" 'BEGIN { print a / b }')"
rm -rf "$WORK"
