#!/bin/sh
# Runs an old and a new Text tool over the same inputs and counts where they
# differ:
#   bench/differential.sh OLD [N] [NEW]
# OLD and NEW are commits (their tool/ is compiled from `git archive`) or
# built Scrivel.exe files; NEW defaults to the working tree's tool/. The
# inputs are N cases (default 300) of the fuzzer's generators
# (bench/DifferentialCases.cs over tests/tool/Fuzz/), packages of the three
# bench generators, and samples/Demo.upk. Every input is extracted and
# compiled by each tool, its console output taken through a pipe and again
# under a pseudo-terminal of 80 columns (the progress bar drawn); the console
# output and every file left in the folder (text file, .clxi, anything else)
# are compared byte for byte. Each difference is listed with its old and new
# lines; a compile that the old tool called damaged and the new one refuses
# with the reason why import cannot rebuild the package is counted apart.
# The last line is "other differences: <count>" (0 expected); the exit code
# is 1 when that count is not 0. SCRIVEL_DIFFERENTIAL_KEEP=1 keeps the work
# folder (named on standard error) with every input and output.
set -eu
cd "$(dirname "$0")/.."
[ $# -ge 1 ] || { echo "usage: bench/differential.sh OLD [N] [NEW]" >&2; exit 2; }
OLD=$1
COUNT=${2:-300}
NEW=${3:-}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/scrivel-differential.XXXXXX")
if [ "${SCRIVEL_DIFFERENTIAL_KEEP:-}" = 1 ]; then
  echo "work folder: $WORK" >&2
else
  trap 'rm -rf "$WORK"' EXIT
fi

MCS="mcs -nologo -target:exe -langversion:7 -codepage:utf8 -noconfig -optimize+ -r:mscorlib.dll"

# tool WHICH NAME: the tool of a commit, a built file, or (empty) the working
# tree, as $WORK/tools/NAME/Scrivel.exe
tool() {
  out="$WORK/tools/$2"
  mkdir -p "$out"
  if [ -z "$1" ]; then
    # shellcheck disable=SC2046
    $MCS -out:"$out/Scrivel.exe" $(find tool -name '*.cs')
  elif [ -f "$1" ]; then
    cp "$1" "$out/Scrivel.exe"
  else
    git archive "$1" tool | tar -x -C "$out"
    # shellcheck disable=SC2046
    $MCS -out:"$out/Scrivel.exe" $(find "$out/tool" -name '*.cs')
  fi
}
tool "$OLD" old
tool "$NEW" new

# The inputs, each a folder with Pkg.upk and, where it has one, Pkg.txt.
mkdir -p "$WORK/cases" "$WORK/gen"
cp "$WORK/tools/new/Scrivel.exe" "$WORK/gen/"
$MCS -out:"$WORK/gen/DifferentialCases.exe" -r:"$WORK/gen/Scrivel.exe" bench/DifferentialCases.cs \
  tests/tool/PackageBuilder.cs tests/tool/PropertyWriter.cs tests/tool/Fuzz/RandomPackage.cs \
  tests/tool/Fuzz/FuzzRandom.cs tests/tool/Fuzz/PackageMutations.cs tests/tool/Fuzz/TextMutations.cs
mono "$WORK/gen/DifferentialCases.exe" "$WORK/cases" "$COUNT"
for g in GenerateExtractionPackage GenerateSharedRangePackage GenerateStructEndsPackage; do
  $MCS -out:"$WORK/gen/$g.exe" "bench/$g.cs"
  mkdir -p "$WORK/cases/$g"
done
mono "$WORK/gen/GenerateExtractionPackage.exe" "$WORK/cases/GenerateExtractionPackage/Pkg.upk" 2 200 >/dev/null
mono "$WORK/gen/GenerateSharedRangePackage.exe" "$WORK/cases/GenerateSharedRangePackage/Pkg.upk" 64 >/dev/null
mono "$WORK/gen/GenerateStructEndsPackage.exe" "$WORK/cases/GenerateStructEndsPackage/Pkg.upk" 40 1 >/dev/null
mkdir -p "$WORK/cases/Demo"
cp samples/Demo.upk "$WORK/cases/Demo/Pkg.upk"

# run TOOL DIR ARG WAY: the tool on ARG inside DIR, its console output in DIR.console
run() {
  if [ "$4" = pipe ]; then
    (cd "$2" && mono "$1" "$3" | cat >"../$(basename "$2").console")
  else
    (cd "$2" && TERM=xterm script -q -e -c "stty cols 80 rows 24; mono '$1' '$3'" /dev/null </dev/null \
      | cat >"../$(basename "$2").console") || true
  fi
}

for c in "$WORK"/cases/*; do
  name=$(basename "$c")
  for t in old new; do
    for way in pipe pty; do
      d="$WORK/$t/$name"
      mkdir -p "$d/extract-$way" "$d/compile-$way"
      cp "$c/Pkg.upk" "$d/extract-$way/"
      run "$WORK/tools/$t/Scrivel.exe" "$d/extract-$way" Pkg.upk "$way"
      cp "$c/Pkg.upk" "$d/compile-$way/"
      if [ -f "$c/Pkg.txt" ]; then
        cp "$c/Pkg.txt" "$d/compile-$way/"
      elif [ -f "$WORK/old/$name/extract-pipe/Pkg.txt" ]; then
        # A generated package is compiled from the text the old tool extracted.
        cp "$WORK/old/$name/extract-pipe/Pkg.txt" "$d/compile-$way/"
      else
        printf '\377\376x\000\r\000\n\000' >"$d/compile-$way/Pkg.txt"
      fi
      run "$WORK/tools/$t/Scrivel.exe" "$d/compile-$way" Pkg.txt "$way"
    done
  done
done

# Every file that differs, with the console lines that differ.
clearer=0 other=0
diff -rq "$WORK/old" "$WORK/new" 2>&1 | sed -n "s|^Files $WORK/old/\([^ ]*\) and .*|\1|p; s|^Only in $WORK/\(.*\)|only in \1|p" >"$WORK/differences"
while read -r f; do
  case "$f" in
    "only in "*) other=$((other + 1)); echo "$f"; continue ;;
  esac
  old=$(diff "$WORK/old/$f" "$WORK/new/$f" | tr -d '\r' | sed -n 's/^< //p')
  new=$(diff "$WORK/old/$f" "$WORK/new/$f" | tr -d '\r' | sed -n 's/^> //p')
  echo "$f"
  printf '  old: %s\n  new: %s\n' "$(echo "$old" | cut -c1-160)" "$(echo "$new" | cut -c1-160)"
  case "$f" in
    */compile-*.console)
      if [ "$old" = "The file Pkg.upk is damaged!" ] && echo "$new" | grep -qx \
        -e "The file Pkg.upk cannot be compiled: its tables are out of order!" \
        -e "The file Pkg.upk cannot be compiled: its export table is empty!"; then
        clearer=$((clearer + 1)); continue
      fi ;;
  esac
  other=$((other + 1))
done <"$WORK/differences"
inputs=$(ls "$WORK/cases" | wc -l)
echo "inputs: $inputs, runs: $((inputs * 8)), files compared: $(find "$WORK/old" -type f | wc -l)"
echo "clearer refusals of packages that import cannot rebuild: $clearer"
echo "other differences: $other"
[ "$other" -eq 0 ]
