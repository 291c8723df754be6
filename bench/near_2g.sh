#!/bin/sh
# A compile whose output would pass 2 GB, and one that comes close to it,
# time and peak memory (GNU time) of each:
#   - Near2G: a generated package of 1.1 GB (20,000 exports, the sounds' data
#     in the rewritten exports) compiled from its own text file: the output,
#     the package and its rewritten exports once more, would be 2.2 GB;
#   - Fits: a package of 900 MB with the same text file and one surplus line
#     of 200 MB: the output, 1.9 GB, fits, but the sizes alone cannot tell.
# Built in a folder under /tmp (about 5 GB while it runs).
#   bench/near_2g.sh [BUILD_DIR] [TOOL] [ROUNDS]   (TOOL: a Scrivel.exe; default BUILD_DIR/tool/Scrivel.exe)
set -eu
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
TOOL="${2:-$BUILD/tool/Scrivel.exe}"
ROUNDS="${3:-2}"
cmake --build "$BUILD" --target scrivel_tool benchmarks >/dev/null
WORK=$(mktemp -d /tmp/scrivel-bench-2g.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

mono "$BUILD/bench/GenerateExtractionPackage.exe" "$WORK/Near2G.upk" 1100 20000 >/dev/null
mono "$TOOL" "$WORK/Near2G.upk" >/dev/null
mono "$BUILD/bench/GenerateExtractionPackage.exe" "$WORK/Fits.upk" 900 20000 >/dev/null
mono "$TOOL" "$WORK/Fits.upk" >/dev/null
{ cat "$WORK/Fits.txt"; head -c 200000000 /dev/zero | tr '\0' a | iconv -f UTF-8 -t UTF-16LE; } >"$WORK/more.txt"
mv "$WORK/more.txt" "$WORK/Fits.txt"
printf 'tool: %s\n' "$TOOL"
for round in $(seq "$ROUNDS"); do
  for name in Near2G Fits; do
    rm -f "$WORK/$name.upk.clxi"
    sync
    /usr/bin/time -f '%e %U %S %M' -o "$WORK/time" mono "$TOOL" "$WORK/$name.txt" >"$WORK/out" 2>&1 || true
    said=$(tr -d '\r' <"$WORK/out" | grep -v -e '^--' -e 'Scrivel  -' -e 'Ostrel' -e '^\.\.DONE' -e '^$' | tail -1 | cut -c1-70)
    written=$(stat -c %s "$WORK/$name.upk.clxi" 2>/dev/null || echo 0)
    awk -v n="$name" -v t="$(tail -1 "$WORK/time")" -v w="$written" -v m="$said" 'BEGIN {
      split(t, f, " ")
      printf "%-7s %6.2f s (user %5.2f, system %5.2f) %6.0f MiB peak, output %6.0f MiB  %s\n",
        n, f[1], f[2], f[3], f[4] / 1024, w / 1048576, m }'
  done
done
