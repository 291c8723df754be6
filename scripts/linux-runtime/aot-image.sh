#!/bin/sh
# Makes the precompiled image of one assembly for the Linux archive: the
# runtime library the archive carries, run as the runtime's command line by
# scrivel_aot_compiler (aot_compiler.c), compiles the methods the profile
# names ahead of time, and the result is stripped. The image is bound to
# that build of the runtime ("bind-to-runtime-version"): any other build
# refuses it and compiles the methods just in time instead.
#
#   aot-image.sh <scrivel_aot_compiler> <runtime library> <assembly> <profile> <output.so> <zero_alloc.so>
#
# The same inputs give the same bytes:
# - "deterministic" leaves the image's identifier (otherwise 16 random
#   bytes, which stack traces would also show) zero;
# - the runtime runs with zero_alloc.so preloaded, which zeroes every block
#   it allocates: the code generator leaves alignment gaps in the code
#   unwritten, and these would otherwise keep whatever memory held before;
# - MONO_CONSERVATIVE_HWCAP=1 makes the compiler assume no processor
#   features beyond the x86-64 baseline, so the image neither depends on
#   the build machine's processor nor is refused on an older one;
# - the compiler's settings come from the command line alone (no MONO_*
#   variable of the caller), its temporary files go to a folder of its own,
#   and no path or time ends up in the stripped image.
set -eu
compiler=$1 runtime=$2 assembly=$3 profile=$4 output=$5 zero_alloc=$6
for v in $(env | sed -n 's/^\(MONO_[A-Za-z0-9_]*\)=.*/\1/p'); do unset "$v"; done
tmp=$(mktemp -d "${TMPDIR:-/tmp}/scrivel-aot.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
log="$tmp/aot.log"
if ! TMPDIR="$tmp" LD_PRELOAD="$zero_alloc" MONO_CONSERVATIVE_HWCAP=1 \
     "$compiler" "$runtime" --aot=profile="$profile",profile-only,deterministic,bind-to-runtime-version,outfile="$tmp/image.so" \
     "$assembly" >"$log" 2>&1 \
   || [ ! -s "$tmp/image.so" ]; then
  cat "$log" >&2
  echo "aot-image.sh: no image of $assembly" >&2
  exit 1
fi
strip --strip-unneeded -o "$tmp/stripped.so" "$tmp/image.so"
# Replace the output only when it changed, so the archive is not rebuilt for nothing.
cmp -s "$tmp/stripped.so" "$output" 2>/dev/null || mv "$tmp/stripped.so" "$output"
sed -n 's/^\(Added [0-9]* methods from profile\|Compiled: .*\)\.*$/  \1/p' "$log"
