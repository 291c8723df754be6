#!/bin/sh
# Reading and looking up large PO files against gettext's msgfmt -c on the
# same file, side by side: a 50 MB PO of about 150,000 subtitle entries, a
# PO of 10^6 entries and one whose single msgstr is 50 MB. Each side is a
# whole process (the tool's side: mono, reading the file, PoReader and
# PoLookup), the best of ROUNDS runs; peak memory is the largest resident
# set (GNU time). Targets: time within 3x of msgfmt -c, memory within 6x of
# the PO's size.
# Last, end to end: a package of about 150,000 texts (bench
# GenerateExtractionPackage), its template made by the tool (/po), every
# entry translated (PoBench translate), and that PO of about 50 MB compiled
# by the tool (Scrivel.exe Pkg.es.po: reading both files, the keys, the
# lookup, the rebuild and the .clxi written); its memory is measured
# against the PO and the package together (target: 6x).
#   bench/po.sh [BUILD_DIR] [ROUNDS]   (default: build, 3)
set -eu
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
ROUNDS="${2:-3}"
cmake --build "$BUILD" --target bench_po bench_GenerateExtractionPackage scrivel_tool >/dev/null
BENCH="$BUILD/bench/PoBench.exe"
WORK="${TMPDIR:-/tmp}/scrivel-bench-po-$$"
mkdir -p "$WORK"
trap 'rm -rf "$WORK"' EXIT

# best LABEL COMMAND...: the best time and the largest peak of ROUNDS runs, as "seconds kilobytes".
best() {
  label=$1
  shift
  secs="" kb=0
  i=0
  while [ "$i" -lt "$ROUNDS" ]; do
    /usr/bin/time -f '%e %M' -o "$WORK/time" "$@" >"$WORK/out" 2>"$WORK/err" || {
      echo "$label failed:" >&2
      cat "$WORK/err" >&2
      exit 1
    }
    s=$(tail -1 "$WORK/time" | cut -d' ' -f1)
    k=$(tail -1 "$WORK/time" | cut -d' ' -f2)
    if [ -z "$secs" ] || awk -v a="$s" -v b="$secs" 'BEGIN { exit !(a < b) }'; then secs=$s; fi
    [ "$k" -gt "$kb" ] && kb=$k
    i=$((i + 1))
  done
  echo "$secs $kb"
}

printf '%-22s %9s %9s %9s %7s %9s %9s %7s  %s\n' "PO" "size MB" "tool s" "msgfmt s" "ratio" "tool MB" "msgfmt MB" "x size" "tool said"
for kind in subtitles million msgstr; do
  po="$WORK/$kind.po"
  mono "$BENCH" generate "$po" "$kind"
  bytes=$(stat -c %s "$po")
  set -- $(best "tool on $kind" mono "$BENCH" read "$po")
  tool_s=$1 tool_kb=$2
  said=$(cat "$WORK/out")
  set -- $(best "msgfmt on $kind" msgfmt -c -o /dev/null "$po")
  fmt_s=$1 fmt_kb=$2
  awk -v k="$kind" -v b="$bytes" -v ts="$tool_s" -v tk="$tool_kb" -v fs="$fmt_s" -v fk="$fmt_kb" -v m="$said" 'BEGIN {
    printf "%-22s %9.1f %9.2f %9.2f %7.2f %9.0f %9.0f %7.2f  %s\n",
      k, b / 1048576, ts, fs, ts / fs, tk / 1024, fk / 1024, tk * 1024 / b, m }'
  rm -f "$po"
done

pkg="$WORK/Pkg.upk"
mono "$BUILD/bench/GenerateExtractionPackage.exe" "$pkg" 1 "${PO_BENCH_EXPORTS:-36000}" >/dev/null
mono "$BUILD/tool/Scrivel.exe" /po "$pkg" >/dev/null
mono "$BENCH" translate "$WORK/Pkg.pot" "$WORK/Pkg.es.po"
rm -f "$WORK/Pkg.pot"
po="$WORK/Pkg.es.po"
bytes=$(stat -c %s "$po")
package=$(stat -c %s "$pkg")
set -- $(best "tool compiling" mono "$BUILD/tool/Scrivel.exe" "$po")
tool_s=$1 tool_kb=$2
said=$(tr -d '\r' <"$WORK/out" | grep -v -e '^-' -e '^  ' -e '^Compiling' | tr '\n' ' ')
set -- $(best "msgfmt on the compiled PO" msgfmt -c -o /dev/null "$po")
fmt_s=$1 fmt_kb=$2
entries=$(grep -c '^msgctxt' "$po")
awk -v b="$bytes" -v p="$package" -v ts="$tool_s" -v tk="$tool_kb" -v fs="$fmt_s" -v fk="$fmt_kb" -v m="$said" -v n="$entries" 'BEGIN {
  printf "%-22s %9.1f %9.2f %9.2f %7.2f %9.0f %9.0f %7.2f  %s\n",
    "compile " n, b / 1048576, ts, fs, ts / fs, tk / 1024, fk / 1024, tk * 1024 / (b + p), m
  printf "(compile: package of %.1f MB; x size is against the PO and the package together)\n", p / 1048576 }'
