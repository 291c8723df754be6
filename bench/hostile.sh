#!/bin/sh
# Time and peak memory of the tool on hostile and large inputs, each as a
# ratio to the input's size (the package, plus the text file for a compile):
#   - packages whose exports all share one serial range (1.68 MB and 5 MB),
#     extracted and compiled;
#   - a 100 MB text file of one-character lines compiled into the sample package;
#   - the normal 100 MB package of bench/extract.sh, extracted and compiled.
# Peak memory is the maximum resident set of the process (GNU time); the
# tool's start-up alone is measured too and shown as the floor.
#   bench/hostile.sh [BUILD_DIR] [TOOL_EXE]   (default: build, BUILD_DIR/tool/Scrivel.exe)
# SCRIVEL_BENCH_TIMEOUT (seconds, default 900) ends a run that takes longer.
set -eu
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
TOOL="${2:-$BUILD/tool/Scrivel.exe}"
LIMIT="${SCRIVEL_BENCH_TIMEOUT:-900}"
cmake --build "$BUILD" --target scrivel_tool benchmarks >/dev/null
WORK="${TMPDIR:-/tmp}/scrivel-bench-hostile-$$"
mkdir -p "$WORK"
trap 'rm -rf "$WORK"' EXIT

# run LABEL INPUT_BYTES ARGUMENT: one run of the tool, one line of figures
# and the tool's last message.
run() {
  label=$1 bytes=$2 said=""
  shift 2
  /usr/bin/time -f '%e %M' -o "$WORK/time" timeout "$LIMIT" mono "$TOOL" "$@" >"$WORK/out" 2>&1 || true
  secs=$(tail -1 "$WORK/time" | cut -d' ' -f1); kb=$(tail -1 "$WORK/time" | cut -d' ' -f2)
  if grep -q 'non-zero status 124' "$WORK/time"; then said="(ended after $LIMIT s)"; fi
  [ -n "${said:-}" ] || said=$(tr -d '\r' <"$WORK/out" | grep -v -e '^--' -e 'Scrivel  -' -e 'Ostrel' -e '^File: ' | grep -v '^\.\.DONE' | tail -1 | cut -c1-60)
  awk -v l="$label" -v b="$bytes" -v s="$secs" -v k="$kb" -v f="$floor_kb" -v m="$said" 'BEGIN {
    mb = b / 1048576
    printf "%-32s %8.2f MB %8.2f s %7.2f s/MB %8.0f MB peak %6.1fx input %6.1fx above start-up  %s\n",
      l, mb, s, s / mb, k / 1024, k * 1024 / b, (k - f) * 1024 / b, m }'
}

size() { stat -c %s "$1"; }

/usr/bin/time -f '%e %M' -o "$WORK/time" mono "$TOOL" >/dev/null
floor_kb=$(cut -d' ' -f2 "$WORK/time")
printf 'tool: %s\nstart-up alone: %s MB peak\n\n' "$TOOL" "$((floor_kb / 1024))"

for k in 1720 5120; do
  p="$WORK/shared$k.upk"
  entries=$(mono "$BUILD/bench/GenerateSharedRangePackage.exe" "$p" "$k" | cut -d' ' -f1)
  run "shared range, extract" "$(size "$p")" "$p"
  # One line for each entry's text.
  { printf '\377\376'; yes x | head -n "$entries" | sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE; } >"$WORK/shared$k.txt"
  run "shared range, compile" "$(($(size "$p") + $(size "$WORK/shared$k.txt")))" "$WORK/shared$k.txt"
  rm -f "$WORK"/shared$k.*
done

# 100 MB of one-character lines (UTF-8 with its mark) for the sample package.
cp samples/Demo.upk "$WORK/lines.upk"
{ printf '\357\273\277'; yes a | head -c $((100 * 1048576 - 3)); } >"$WORK/lines.txt"
run "100 MB of 1-char lines, compile" "$(($(size "$WORK/lines.txt") + $(size "$WORK/lines.upk")))" "$WORK/lines.txt"
rm -f "$WORK"/lines.*

p="$WORK/pkg.upk"
mono "$BUILD/bench/GenerateExtractionPackage.exe" "$p" 100 20000 >/dev/null
run "normal 100 MB, extract" "$(size "$p")" "$p"
run "normal 100 MB, compile" "$(($(size "$p") + $(size "$WORK/pkg.txt")))" "$WORK/pkg.txt"
