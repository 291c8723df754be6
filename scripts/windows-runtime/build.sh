#!/bin/sh
# Builds the Windows runtime folder that scrivel.exe carries, from Debian's
# own mono source package, and copies it into <output>:
#
#   <output>/mono.dll            the runtime (64-bit, mingw-w64, stripped)
#   <output>/lib/mscorlib.dll    the class library of the Windows profile
#   <output>/etc/mono/config     an empty runtime configuration
#
#   build.sh <output>
#
# The result is cached in $SCRIVEL_CACHE_DIR (default
# ${XDG_CACHE_HOME:-$HOME/.cache}/scrivel), keyed by the source version and a
# hash of this folder's scripts and patch, so later builds on the same machine
# copy it in seconds. Without a cache it takes about 10 minutes on two cores.
#
# Needs: apt-get, dpkg-dev, xz-utils, patch, make, python3, the mingw-w64
# gcc (-win32 variant) and Debian's mono-devel (mcs, the build tools
# resgen, ilasm and sn, and Mono.Cecil); scripts/setup.sh installs them.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/version.sh"
[ $# -eq 1 ] || { echo "usage: $0 <output-folder>" >&2; exit 2; }
out=$1

key=$(cd "$here" && cat version.sh fetch-source.sh build.sh build-corlib.sh corlib-mcs.patch \
      | sha256sum | cut -c1-16)
cache=${SCRIVEL_CACHE_DIR:-${XDG_CACHE_HOME:-${HOME:-/nonexistent}/.cache}/scrivel}
if ! mkdir -p "$cache" 2>/dev/null || [ ! -w "$cache" ]; then
  # No usable cache: build beside the output, and build again next time.
  cache=$(dirname "$out")/.windows-runtime-cache
  mkdir -p "$cache"
fi
cache=$(cd "$cache" && pwd)
entry="$cache/windows-runtime-$MONO_UPSTREAM-$key"

build() {
  work="$cache/work-$key"
  log="$work/build.log"
  rm -rf "$work" "$entry.new"
  mkdir -p "$work"
  echo "Building the Windows runtime from Debian's mono $MONO_DEBIAN_VERSION" \
       "(about 10 minutes; log: $log)"
  started=$(date +%s)
  # Not in a condition: the shell would ignore "set -e" inside the steps.
  set +e
  (run_steps) >"$log" 2>&1
  status=$?
  set -e
  if [ "$status" -ne 0 ]; then
    echo "The Windows runtime could not be built; the last lines of $log:" >&2
    tail -n 30 "$log" >&2
    exit 1
  fi
  mv "$entry.new" "$entry"
  rm -rf "$work"
  echo "Windows runtime built in $(( $(date +%s) - started )) s; cached in $entry"
}

run_steps() {
  set -ex
  "$here/fetch-source.sh" "$work"
  src="$work/mono-$MONO_UPSTREAM"
  jobs=$(nproc 2>/dev/null || echo 1)

  # The runtime library, configured out of tree for 64-bit Windows. Neither
  # the time of the build nor the folders it ran in go into the library, so
  # that it does not depend on when, where or by whom it was built.
  mkdir -p "$work/runtime"
  cd "$work/runtime"
  "$src/configure" --host=x86_64-w64-mingw32 \
    CC=x86_64-w64-mingw32-gcc-win32 CXX=x86_64-w64-mingw32-g++-win32 \
    --disable-boehm --with-mcs-docs=no --disable-mcs-build --disable-nls \
    --with-sigaltstack=no --disable-btls --disable-support-build \
    --with-ikvm-native=no --disable-static --enable-static-gcc-libs \
    --disable-llvm --without-x LDFLAGS=-Wl,--no-insert-timestamp \
    CFLAGS="-g -O2 -ffile-prefix-map=$src=mono-$MONO_UPSTREAM -ffile-prefix-map=$work=."
  for dir in eglib arch utils cil sgen metadata; do
    make -C "mono/$dir" -j"$jobs"
  done
  # The generated headers are made only by "make all" unless named; the
  # machine description generator is run with python3 (configure asks for
  # "python", which Debian 12 does not have).
  make -C mono/mini -j"$jobs" \
    GENMDESC_PRG="python3 $src/mono/mini/genmdesc.py TARGET_AMD64 $src/mono/mini" \
    version.h cpu-amd64.h libmonosgen-2.0.la

  "$here/build-corlib.sh" "$src"

  mkdir -p "$entry.new/lib" "$entry.new/etc/mono"
  x86_64-w64-mingw32-strip -o "$entry.new/mono.dll" mono/mini/.libs/libmonosgen-2.0.dll
  # strip writes the time of day into the PE header: zero it again.
  header=$(od -An -tu4 -j60 -N4 "$entry.new/mono.dll" | tr -d ' ')
  printf '\000\000\000\000' | dd of="$entry.new/mono.dll" bs=1 seek=$((header + 8)) conv=notrunc
  cp "$src/mcs/class/lib/net_4_x-win32/mscorlib.dll" "$entry.new/lib/mscorlib.dll"
  # The tool needs no library mappings on Windows; the file is there so that
  # the configuration the launcher names is ours and complete.
  printf '<configuration>\n</configuration>\n' >"$entry.new/etc/mono/config"
}

# One build at a time per cache; a second caller waits and then copies.
exec 9>"$cache/windows-runtime.lock"
flock 9
complete() {
  [ -f "$entry/mono.dll" ] && [ -f "$entry/lib/mscorlib.dll" ] && [ -f "$entry/etc/mono/config" ]
}
complete || { rm -rf "$entry"; build; }

mkdir -p "$out/lib" "$out/etc/mono"
for f in mono.dll lib/mscorlib.dll etc/mono/config; do
  # Copy only what changed, so the archive is not rebuilt for nothing.
  cmp -s "$entry/$f" "$out/$f" || cp "$entry/$f" "$out/$f"
done
