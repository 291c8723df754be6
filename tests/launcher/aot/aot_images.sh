#!/bin/sh
# The precompiled images, as the runtime's own trace shows them:
# - the single executable's runtime loads both images from the working
#   folder and runs the tool's code from them, and looks for none anywhere
#   else (the system's cache of images among them);
# - launchers whose archives carry images that do not fit (another build's
#   image beside the tool, the core library's made by another build of the
#   runtime; files that are no library) have them refused by the runtime,
#   and the tool runs as well as ever: output and files byte for byte those
#   of the single executable.
#
#   aot_images.sh <scrivel> <stale launcher> <corrupt launcher> <Demo.upk>
set -u
scrivel=$1 stale=$2 corrupt=$3 demo=$4
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
scratch=$(mktemp -d "${TMPDIR:-/tmp}/scrivel-aot-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# run NAME LAUNCHER: extraction of the demo package and the compile of its
# text file in $scratch/NAME/files, console output in NAME/console; then
# the extraction again in NAME/traced with the runtime's trace of
# precompiled code, which it prints among the tool's output, in NAME/trace.
run() {
  for d in files temp traced; do mkdir -p "$scratch/$1/$d"; done
  chmod 700 "$scratch/$1/temp"
  cp "$demo" "$scratch/$1/files/Demo.upk"
  cp "$demo" "$scratch/$1/traced/Demo.upk"
  for arg in Demo.upk Demo.txt; do
    (cd "$scratch/$1/files" && XDG_RUNTIME_DIR="$scratch/$1/temp" "$2" "$arg" 2>&1)
  done >"$scratch/$1/console"
  (cd "$scratch/$1/traced" && XDG_RUNTIME_DIR="$scratch/$1/temp" SCRIVEL_KEEP_MONO_ENV=1 \
    MONO_LOG_LEVEL=debug MONO_LOG_MASK=aot "$2" Demo.upk 2>&1) | grep -o 'Mono: .*' >"$scratch/$1/trace"
}
has() { grep -qF -- "$2" "$scratch/$1/trace" || fail "$1: the trace lacks \"$2\""; }
# Every image the runtime looked for is in the working folder, never in the
# system's cache of images or anywhere else.
only_in_work() {
  grep -o "AOT: image '[^']*'" "$scratch/$1/trace" | grep -v "AOT: image '$scratch/$1/temp/ScrivelTempFiles/" \
    | sed "s/^/FAILED: $1: looked for an image outside the working folder: /" | grep . && failures=$((failures + 1))
}
same_as_plain() {
  cmp -s "$scratch/plain/console" "$scratch/$1/console" || fail "$1: the output differs from a plain run's"
  for f in Demo.txt Demo.upk.clxi; do
    cmp -s "$scratch/plain/files/$f" "$scratch/$1/files/$f" || fail "$1: $f differs from a plain run's"
  done
}

run plain "$scrivel"
[ -s "$scratch/plain/files/Demo.upk.clxi" ] || fail "plain: no compiled package"
grep -q 'Mono: ' "$scratch/plain/console" && fail "plain: the runtime traced without being asked"

run used "$scrivel"
work="$scratch/used/temp/ScrivelTempFiles"
has used "AOT: image '$work/lib/mscorlib.dll.so' found."
has used "AOT: image '$work/Scrivel.exe.so' found."
has used "AOT: FOUND method tool.Scrivel:Main (string[])"
has used "AOT: FOUND method tool.PropertyWalker:"
has used "AOT: FOUND method string:Concat (string,string)"
only_in_work used
grep -q 'unusable' "$scratch/used/trace" && fail "used: an image was refused"
same_as_plain used

run stale "$stale"
work="$scratch/stale/temp/ScrivelTempFiles"
has stale "AOT: module $work/Scrivel.exe.so is unusable: doesn't match assembly."
has stale "AOT: module $work/lib/mscorlib.dll.so is unusable: compiled against runtime version"
grep -q "AOT: FOUND method" "$scratch/stale/trace" && fail "stale: code of a refused image ran"
only_in_work stale
same_as_plain stale

run corrupt "$corrupt"
work="$scratch/corrupt/temp/ScrivelTempFiles"
has corrupt "AOT: image '$work/lib/mscorlib.dll.so' not found:"
has corrupt "AOT: image '$work/Scrivel.exe.so' not found:"
grep -q "AOT: FOUND method" "$scratch/corrupt/trace" && fail "corrupt: code of a refused image ran"
only_in_work corrupt
same_as_plain corrupt

[ "$failures" -eq 0 ] && echo "precompiled images: used from the working folder; stale and damaged ones refused"
[ "$failures" -eq 0 ]
