#!/bin/bash
# Times the three jobs against their native floors (bench/floors), job and
# floor in turn, round after round, so that load on the machine falls on
# both alike:
#   extraction  build/scrivel PKG.upk       against io_floor extract
#   import      build/scrivel PKG.txt       against io_floor import
#   start       build/scrivel (no argument) against start_floor
# on a generated 100 MB package with 20,000 text exports and its text file
# with every line edited. Prints the medians and bests on standard error and
# on standard output exactly one line per job: "ratio <job> <median job /
# median floor>".
#   bench/ratios.sh [BUILD_DIR] [ROUNDS]   (default: build 7; at least 7)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
ROUNDS="${2:-7}"
if ! [[ "$ROUNDS" =~ ^[0-9]+$ ]] || (( ROUNDS < 7 )); then
  echo "ratios.sh: at least 7 rounds" >&2
  exit 2
fi
cmake --build "$BUILD" --target scrivel scrivel_tool benchmarks >/dev/null
SCRIVEL="$BUILD/scrivel"
FLOOR="$BUILD/bench/floors/io_floor"
START_FLOOR="$BUILD/bench/floors/start_floor"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/scrivel-ratios-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
mkdir -m 700 "$WORK/run" "$WORK/x" "$WORK/i"
# The launcher's working folder goes where the start floor unpacks.
export XDG_RUNTIME_DIR="$WORK/run"

fail() { echo "ratios.sh: $*" >&2; exit 1; }

mono "$BUILD/bench/GenerateExtractionPackage.exe" "$WORK/x/pkg.upk" 100 20000 >/dev/null
ln "$WORK/x/pkg.upk" "$WORK/i/pkg.upk"
"$SCRIVEL" "$WORK/x/pkg.upk" >/dev/null
[ -s "$WORK/x/pkg.txt" ] || fail "extraction wrote no text file"
TEXT_BYTES=$(stat -c %s "$WORK/x/pkg.txt")
# Every line edited, so that every text changes length.
iconv -f UTF-16 -t UTF-8 "$WORK/x/pkg.txt" | sed 's/\r$/ (edited)\r/' | iconv -f UTF-8 -t UTF-16LE \
  | { printf '\xff\xfe'; cat; } > "$WORK/i/pkg.txt"
"$SCRIVEL" "$WORK/i/pkg.txt" >/dev/null
[ -s "$WORK/i/pkg.upk.clxi" ] || fail "import wrote no compiled package"
OUT_BYTES=$(stat -c %s "$WORK/i/pkg.upk.clxi")

# Runs a command with its output discarded; appends its wall time in
# microseconds to the array named by the first argument.
timed() {
  local -n into=$1
  shift
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || fail "failed: $*"
  local end=$EPOCHREALTIME
  into+=($(( ${end/./} - ${start/./} )))
}

declare -a ext_job ext_floor imp_job imp_floor start_job start_floor warm
round() {
  local j=$1 f=$2 i=$3 g=$4 s=$5 t=$6
  rm -f "$WORK/x/pkg.txt" "$WORK/x/floor.txt"
  timed "$j" "$SCRIVEL" "$WORK/x/pkg.upk"
  timed "$f" "$FLOOR" extract "$WORK/x/pkg.upk" "$TEXT_BYTES" "$WORK/x/floor.txt"
  rm -f "$WORK/i/pkg.upk.clxi" "$WORK/i/floor.clxi"
  timed "$i" "$SCRIVEL" "$WORK/i/pkg.txt"
  timed "$g" "$FLOOR" import "$WORK/i/pkg.upk" "$WORK/i/pkg.txt" "$OUT_BYTES" "$WORK/i/floor.clxi"
  timed "$s" "$SCRIVEL"
  timed "$t" "$START_FLOOR" "$WORK/run/floor-unpacked"
}
round warm warm warm warm warm warm  # one warm-up round
for ((r = 0; r < ROUNDS; r++)); do
  round ext_job ext_floor imp_job imp_floor start_job start_floor
done

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
best() { printf '%s\n' "$@" | sort -n | head -1; }
report() {
  local name=$1
  local -n job=$2 floor=$3
  local jm jb fm fb
  jm=$(median "${job[@]}"); jb=$(best "${job[@]}")
  fm=$(median "${floor[@]}"); fb=$(best "${floor[@]}")
  awk -v n="$name" -v jm="$jm" -v jb="$jb" -v fm="$fm" -v fb="$fb" 'BEGIN {
    printf "%-10s job median %7.1f ms best %7.1f ms | floor median %7.1f ms best %7.1f ms | ratio of bests %.2f\n",
           n, jm / 1000, jb / 1000, fm / 1000, fb / 1000, jb / fb > "/dev/stderr"
    printf "ratio %s %.2f\n", n, jm / fm }'
}
echo "$ROUNDS rounds; package $(stat -c %s "$WORK/x/pkg.upk") bytes, text file $TEXT_BYTES bytes," \
     "compiled package $OUT_BYTES bytes; load:$(uptime | sed 's/.*load average//')" >&2
report extraction ext_job ext_floor
report import imp_job imp_floor
report start start_job start_floor
