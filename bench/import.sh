#!/bin/sh
# Times import of a text file into a generated 100 MB package with 20,000
# rewritten exports against copying the package file once with cp, in the
# same run and on the same disk.
#   bench/import.sh [BUILD_DIR] [MEGABYTES] [EXPORTS]   (default: build 100 20000)
set -eu
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
MB="${2:-100}"
EXPORTS="${3:-20000}"
cmake --build "$BUILD" --target scrivel_tool benchmarks >/dev/null
WORK="${TMPDIR:-/tmp}/scrivel-bench-import-$$"
rm -rf "$WORK"
mkdir -p "$WORK"
trap 'rm -rf "$WORK"' EXIT
PKG="$WORK/pkg.upk"
TOOL="$BUILD/tool/Scrivel.exe"
mono "$BUILD/bench/GenerateExtractionPackage.exe" "$PKG" "$MB" "$EXPORTS" >/dev/null

# The text file to import: the package's own lines, each one edited so that
# every text changes length and every rewritten export really changes.
mono "$TOOL" "$PKG" >/dev/null
iconv -f UTF-16 -t UTF-8 "$WORK/pkg.txt" | sed 's/\r$/ (edited)\r/' | iconv -f UTF-8 -t UTF-16 > "$WORK/edited.txt"
mv "$WORK/edited.txt" "$WORK/pkg.txt"
lines=$(iconv -f UTF-16 -t UTF-8 "$WORK/pkg.txt" | wc -l)

now() { date +%s.%N; }
# Seconds taken by a command, its output discarded.
timed() {
  t0=$(now); "$@" >/dev/null 2>&1; t1=$(now)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }'
}
min() { printf '%s\n' "$@" | sort -g | head -1; }

copies=""
runs=""
for i in 1 2 3; do
  rm -f "$WORK/copy.upk" "$PKG.clxi"
  copies="$copies $(timed cp "$PKG" "$WORK/copy.upk")"
  runs="$runs $(timed mono "$TOOL" "$WORK/pkg.txt")"
done
best_copy=$(min $copies)
best=$(min $runs)
startup=$(min "$(timed mono "$TOOL")" "$(timed mono "$TOOL")" "$(timed mono "$TOOL")")

# The floor: the same reads and a flushed output of the compiled length,
# without any parsing (bench/floors/io_floor).
out_len=$(stat -c %s "$PKG.clxi")
floors=""
for i in 1 2 3; do
  floors="$floors $(timed "$BUILD/bench/floors/io_floor" import "$PKG" "$WORK/pkg.txt" "$out_len" "$WORK/floor.out")"
  rm -f "$WORK/floor.out"
done
best_floor=$(min $floors)

# The compiled package must hold the edited lines. Its spoken texts and
# comments, 8-bit in the generated package, are UTF-16 once compiled, a form
# in which they are no texts: it gives back every other line.
cp "$PKG.clxi" "$WORK/check.upk"
mono "$TOOL" "$WORK/check.upk" >/dev/null
iconv -f UTF-16 -t UTF-8 "$WORK/pkg.txt" \
  | grep -v -e "^Keep moving, we're almost there (" -e "^Guard, to the player" \
  | iconv -f UTF-8 -t UTF-16 > "$WORK/expected.txt"
if ! cmp -s "$WORK/expected.txt" "$WORK/check.txt"; then
  echo "the compiled package does not extract to the imported lines" >&2
  exit 1
fi

printf 'package:                %s bytes\n' "$(stat -c %s "$PKG")"
printf 'compiled package:       %s bytes\n' "$(stat -c %s "$PKG.clxi")"
printf 'text file:              %s lines\n' "$lines"
printf 'cp runs:               %s s\n' "$copies"
printf 'cp (best):              %.3f s\n' "$best_copy"
printf 'tool start-up alone:    %.3f s\n' "$startup"
printf 'import runs:           %s s\n' "$runs"
printf 'import (best):          %.3f s\n' "$best"
printf 'floor runs:            %s s\n' "$floors"
printf 'floor (best):           %.3f s\n' "$best_floor"
printf 'ratio to cp:            %.1f (target: at most 3)\n' "$(awk -v a="$best" -v b="$best_copy" 'BEGIN { print a / b }')"
printf 'ratio to floor:         %.1f\n' "$(awk -v a="$best" -v b="$best_floor" 'BEGIN { print a / b }')"
