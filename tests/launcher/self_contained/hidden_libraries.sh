#!/bin/sh
# The single executable on a system that has the C library and nothing else:
# in a mount namespace of its own, every shared library under the library
# folders except the C library's own and libgcc_s reads as empty, and the
# system's runtime folders are empty. There it must extract the demo package
# and compile the text file back exactly as it does with the libraries in
# place. Exit 77 where mount namespaces are not permitted.
#
# Environment: SCRIVEL_EXE, HIDE_LIBRARIES (the helper), CONTROL (a program
# that needs zlib), DEMO_PACKAGE.
set -u
work=$(mktemp -d "${TMPDIR:-/tmp}/scrivel-self-contained.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# The library folders, each once (on merged-/usr systems /lib is /usr/lib).
roots=$(for d in /lib /lib64 /usr/lib /usr/lib64 /usr/local/lib; do
          [ -d "$d" ] && (cd -P "$d" && pwd); done | sort -u)
# shellcheck disable=SC2086
find $roots -xdev \( -name '*.so' -o -name '*.so.*' \) -type f 2>/dev/null \
  | grep -Ev '/(ld-linux[^/]*|lib(c|m|mvec|dl|pthread|rt|resolv|util|anl|nsl|nss_[a-z0-9]+|BrokenLocale|thread_db|c_malloc_debug|memusage|pcprofile|gcc_s)\.so(\.[0-9.]+)?)$' \
  >"$work/hidden.list"
for d in /usr/lib/mono /usr/local/lib/mono /etc/mono; do
  [ -d "$d" ] && echo "$d" >>"$work/hidden.list"
done
echo "hiding $(wc -l <"$work/hidden.list") libraries and folders"

# run <name> [hide]: the demo package extracted and its text file compiled,
# in one run, in a folder of its own; what it printed goes to <name>/out.
run() {
  mkdir -p "$work/$1/temp" && chmod 700 "$work/$1/temp"
  cp "$DEMO_PACKAGE" "$work/$1/Demo.upk"
  if [ $# -gt 1 ]; then
    (cd "$work/$1" && XDG_RUNTIME_DIR="$work/$1/temp" \
       "$HIDE_LIBRARIES" "$work/hidden.list" "$SCRIVEL_EXE" Demo.upk Demo.txt >out 2>&1)
  else
    (cd "$work/$1" && XDG_RUNTIME_DIR="$work/$1/temp" "$SCRIVEL_EXE" Demo.upk Demo.txt >out 2>&1)
  fi
}

"$HIDE_LIBRARIES" "$work/hidden.list" "$CONTROL" >"$work/control" 2>&1
status=$?
[ "$status" -eq 77 ] && { cat "$work/control"; echo "SKIPPED"; exit 77; }
grep -q 'error while loading shared libraries' "$work/control" \
  || fail "a program that needs zlib did not fail to load ($status): the libraries were not hidden"

run normal
run hidden hide || fail "the run without the system's libraries ended with $?"
grep -q 'successfully extracted!' "$work/normal/out" && grep -q 'compiled successfully!' "$work/normal/out" \
  || fail "the normal run did not extract and compile: $(cat "$work/normal/out")"
for f in out Demo.txt Demo.upk.clxi; do
  cmp "$work/normal/$f" "$work/hidden/$f" || fail "$f differs without the system's libraries"
done
[ "$failures" -eq 0 ] || { echo "--- without the system's libraries:"; cat "$work/hidden/out"; exit 1; }
echo "same output, text file and compiled package without the system's libraries"
