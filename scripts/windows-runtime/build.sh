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
# The result is cached (scripts/mono-source/cached-build.sh), keyed by the
# source version and a hash of the scripts and the patch, so later builds on
# the same machine copy it in a second. Without a cache it takes about 10
# minutes on two cores.
#
# Needs: apt-get, dpkg-dev, xz-utils, patch, make, python3, the mingw-w64
# gcc (-win32 variant) and Debian's mono-devel (mcs, the build tools
# resgen, ilasm and sn, and Mono.Cecil); scripts/setup.sh installs them.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
mono_source=$(cd "$here/../mono-source" && pwd)
. "$mono_source/cached-build.sh"
[ $# -eq 1 ] || { echo "usage: $0 <output-folder>" >&2; exit 2; }

run_steps() {
  set -ex
  "$mono_source/fetch-source.sh" "$work"
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
  # strip writes the time of day into the PE header, and a checksum over
  # it: zero both again (a library needs no checksum).
  header=$(od -An -tu4 -j60 -N4 "$entry.new/mono.dll" | tr -d ' ')
  for field in 8 88; do
    printf '\000\000\000\000' | dd of="$entry.new/mono.dll" bs=1 seek=$((header + field)) conv=notrunc
  done
  cp "$src/mcs/class/lib/net_4_x-win32/mscorlib.dll" "$entry.new/lib/mscorlib.dll"
  # The tool needs no library mappings on Windows; the file is there so that
  # the configuration the launcher names is ours and complete.
  printf '<configuration>\n</configuration>\n' >"$entry.new/etc/mono/config"
}

CACHED_FILES="mono.dll lib/mscorlib.dll etc/mono/config"
cached_build windows-runtime "the Windows runtime" 10 "$1" \
  "$here/build.sh" "$here/build-corlib.sh" "$here/corlib-mcs.patch"
