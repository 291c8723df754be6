#!/bin/bash
# Times the single executable against the tool run by the system's installed
# Mono, which has its own precompiled image of the core library:
#   build/scrivel ARG          against   mono build/tool/Scrivel.exe ARG
# on samples/Demo.upk and on a generated 100 MB package with 20,000 text
# exports, each extracted and its text file (every line edited for the large
# one) compiled back. A sample is one extraction plus one compile; the two
# sides alternate, which one goes first changing every round, so load on the
# machine falls on both alike. Medians and bests of wall and CPU time
# (user + system) go to standard error; standard output has exactly two
# lines, "ratio installed-demo <v>" and "ratio installed-100mb <v>", each the
# median wall time of the single executable over that of mono.
#   bench/installed.sh [BUILD_DIR] [ROUNDS]   (default: build 9; at least 5)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
ROUNDS="${2:-9}"
if ! [[ "$ROUNDS" =~ ^[0-9]+$ ]] || (( ROUNDS < 5 )); then
  echo "installed.sh: at least 5 rounds" >&2
  exit 2
fi
command -v mono >/dev/null || { echo "installed.sh: no installed mono" >&2; exit 1; }
cmake --build "$BUILD" --target scrivel scrivel_tool benchmarks >/dev/null
SCRIVEL="$BUILD/scrivel"
TOOL="$BUILD/tool/Scrivel.exe"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/scrivel-installed-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
mkdir -m 700 "$WORK/run" "$WORK/demo" "$WORK/big"
# The launcher's working folder goes into the bench's own folder.
export XDG_RUNTIME_DIR="$WORK/run"

fail() { echo "installed.sh: $*" >&2; exit 1; }

cp samples/Demo.upk "$WORK/demo/pkg.upk"
mono "$TOOL" "$WORK/demo/pkg.upk" >/dev/null
mono "$BUILD/bench/GenerateExtractionPackage.exe" "$WORK/big/pkg.upk" 100 20000 >/dev/null
mono "$TOOL" "$WORK/big/pkg.upk" >/dev/null
for d in demo big; do
  [ -s "$WORK/$d/pkg.txt" ] || fail "extraction of the $d package wrote no text file"
done
# Every line of the large one edited, so that every text changes length.
iconv -f UTF-16 -t UTF-8 "$WORK/big/pkg.txt" | sed 's/\r$/ (edited)\r/' | iconv -f UTF-8 -t UTF-16LE \
  | { printf '\xff\xfe'; cat; } > "$WORK/big/edited.txt"
ln "$WORK/big/pkg.upk" "$WORK/big/edited.upk"
cp "$WORK/demo/pkg.txt" "$WORK/demo/edited.txt"
ln "$WORK/demo/pkg.upk" "$WORK/demo/edited.upk"

# Milliseconds of CPU (user + system) of the children between two snapshots
# of bash's `times` (its second line), taken by the shell itself so that
# nothing but the timed runs falls between them.
cpu_between() {
  awk 'FNR == 2 {
    t = 0
    for (i = 1; i <= 2; i++) { split($i, p, "m"); sub("s", "", p[2]); t += p[1] * 60000 + p[2] * 1000 }
    v[++n] = t }
  END { printf "%d", v[2] - v[1] + 0.5 }' "$1" "$2"
}

# One sample: extraction of DIR/pkg.upk, then the compile of DIR/edited.txt,
# by the command given; appends wall (µs) and CPU (ms) times to the arrays
# named by the first two arguments.
sample() {
  local -n wall_into=$1 cpu_into=$2
  local dir=$3
  shift 3
  rm -f "$dir/pkg.txt" "$dir/edited.upk.clxi"
  local start end
  times >"$WORK/times0"
  start=$EPOCHREALTIME
  "$@" "$dir/pkg.upk" >/dev/null 2>&1 || fail "failed: $* $dir/pkg.upk"
  "$@" "$dir/edited.txt" >/dev/null 2>&1 || fail "failed: $* $dir/edited.txt"
  end=$EPOCHREALTIME
  times >"$WORK/times1"
  [ -s "$dir/pkg.txt" ] && [ -s "$dir/edited.upk.clxi" ] || fail "no output from: $*"
  wall_into+=($(( ${end/./} - ${start/./} )))
  cpu_into+=($(cpu_between "$WORK/times0" "$WORK/times1"))
}

declare -a dw dc mw mc bw bc nw nc warm warmc
# Round r: the single executable first on even rounds, mono first on odd;
# the warm-up round keeps nothing.
round() {
  local r=$1 d i=0
  local -a into=(dw dc mw mc bw bc nw nc)
  [ "$2" = warm ] && into=(warm warmc warm warmc warm warmc warm warmc)
  for d in demo big; do
    if (( r % 2 == 0 )); then
      sample "${into[i]}" "${into[i + 1]}" "$WORK/$d" "$SCRIVEL"
      sample "${into[i + 2]}" "${into[i + 3]}" "$WORK/$d" mono "$TOOL"
    else
      sample "${into[i + 2]}" "${into[i + 3]}" "$WORK/$d" mono "$TOOL"
      sample "${into[i]}" "${into[i + 1]}" "$WORK/$d" "$SCRIVEL"
    fi
    i=$((i + 4))
  done
}
round 0 warm
for ((r = 0; r < ROUNDS; r++)); do
  round "$r" keep
done

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
best() { printf '%s\n' "$@" | sort -n | head -1; }
report() {
  local name=$1
  local -n sw=$2 sc=$3 iw=$4 ic=$5
  awk -v n="$name" -v swm="$(median "${sw[@]}")" -v swb="$(best "${sw[@]}")" \
      -v iwm="$(median "${iw[@]}")" -v iwb="$(best "${iw[@]}")" \
      -v scm="$(median "${sc[@]}")" -v icm="$(median "${ic[@]}")" 'BEGIN {
    printf "%-17s scrivel wall median %7.1f ms best %7.1f ms, CPU median %6.0f ms | mono wall median %7.1f ms best %7.1f ms, CPU median %6.0f ms | CPU ratio %.2f\n",
           n, swm / 1000, swb / 1000, scm, iwm / 1000, iwb / 1000, icm, scm / icm > "/dev/stderr"
    printf "ratio %s %.2f\n", n, swm / iwm }'
}
echo "$ROUNDS rounds, one extraction and one compile each; demo $(stat -c %s "$WORK/demo/pkg.upk") bytes," \
     "large package $(stat -c %s "$WORK/big/pkg.upk") bytes; $(mono --version | head -1 | cut -c1-60);" \
     "load:$(uptime | sed 's/.*load average//')" >&2
report installed-demo dw dc mw mc
report installed-100mb bw bc nw nc
