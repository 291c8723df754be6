#!/bin/sh
# The C library the single executable needs: the highest GLIBC_ version that
# the launcher and the libraries of its archive require. Printed, and checked
# against the version README.md states ("glibc X.Y or later", each time it
# does); every library they name must be one of the C library's own or
# libgcc_s.
#
#   libc_version.sh <executable> <configured archive list> <README.md>
set -u
exe=$1 list=$2 readme=$3
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# The executable and every ELF file of the list (sources before the TAB).
files=$(printf '%s\n' "$exe"; grep -v '^#' "$list" | cut -f1 | while read -r f; do
          [ -f "$f" ] && [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = '177ELF' ] && echo "$f"; done)
highest=0 from=""
while IFS= read -r f; do
  dump=$(objdump -p "$f" 2>/dev/null) || { fail "$f: not readable"; continue; }
  for lib in $(printf '%s\n' "$dump" | sed -n 's/^ *NEEDED *//p'); do
    case $lib in
      libc.so.6|libm.so.6|libdl.so.2|libpthread.so.0|librt.so.1|libresolv.so.2|libgcc_s.so.1|ld-linux*) ;;
      *) fail "$(basename "$f") needs $lib" ;;
    esac
  done
  version=$(printf '%s\n' "$dump" | grep -o 'GLIBC_[0-9][0-9.]*' | sed 's/GLIBC_//' | sort -V | tail -n 1)
  echo "$(basename "$f"): glibc ${version:-(none)}"
  if [ -n "$version" ] && [ "$(printf '%s\n%s\n' "$highest" "$version" | sort -V | tail -n 1)" = "$version" ] \
     && [ "$version" != "$highest" ]; then
    highest=$version from=$(basename "$f")
  fi
done <<FILES
$files
FILES
echo "The executable needs glibc $highest or later ($from)"

# Every statement, wherever README makes one.
stated=$(sed -n 's/.*glibc \([0-9][0-9.]*\) or later.*/\1/p' "$readme" | sort -u | tr '\n' ' ')
[ "$stated" = "$highest " ] || fail "README.md states glibc ${stated:-(nothing)}, the executable needs $highest"
[ "$failures" -eq 0 ]
