#!/bin/sh
# Builds the native helper library of the Linux runtime, libmono-native.so
# (every file, folder and time call of the class library goes through it),
# from Debian's own mono source package, and copies it into <output>:
#
#   build.sh <output>          writes <output>/libmono-native.so
#
# Debian's build of it (/usr/lib/libmono-native.so.0.0.0) also holds the
# GSSAPI (Kerberos) bindings of the class library's network authentication,
# and so needs libgssapi_krb5.so.2 and five more Kerberos libraries: where
# they are missing it cannot be loaded and no file can be opened. This build
# leaves those bindings out; the result needs only the C library. It also
# leaves out arc4random, which would raise the C library it needs to 2.36.
#
# The result is cached (scripts/mono-source/cached-build.sh), keyed by the
# source version and a hash of the scripts it runs. Without a cache it takes about 4 minutes on
# two cores (most of it the download and the configure run).
#
# Needs: apt-get, dpkg-dev, xz-utils, debian-archive-keyring, make, gcc and
# binutils; scripts/setup.sh installs them.
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

  # configure turns the GSSAPI bindings on when it can compile
  # <gssapi/gssapi_ext.h>; a header of that name that cannot be compiled,
  # found first, keeps them off even where libkrb5-dev is installed.
  mkdir -p "$work/no-gssapi/gssapi"
  echo '#error the GSSAPI bindings are left out' >"$work/no-gssapi/gssapi/gssapi_ext.h"

  # Debian's own compiler flags, as its package build uses them; the source
  # and work folders, which the library's assertions name, written as
  # relative paths, so that the result does not depend on where the cache is.
  mkdir -p "$work/runtime"
  cd "$work/runtime"
  "$src/configure" --disable-boehm --with-mcs-docs=no --disable-mcs-build \
    --disable-nls --disable-btls --disable-support-build --with-ikvm-native=no \
    --disable-llvm --without-x --disable-static \
    ac_cv_func_arc4random=no ac_cv_func_arc4random_buf=no \
    CFLAGS="$(dpkg-buildflags --get CFLAGS) -ffile-prefix-map=$src=mono-$MONO_UPSTREAM -ffile-prefix-map=$work=." \
    CPPFLAGS="-I$work/no-gssapi $(dpkg-buildflags --get CPPFLAGS)" \
    LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
  grep -q '^/\* #undef ENABLE_GSS \*/' config.h
  make -C mono/native -j"$jobs"

  mkdir -p "$entry.new"
  strip --strip-unneeded -o "$entry.new/libmono-native.so" mono/native/.libs/libmono-native.so.0.0.0
  # Nothing beyond the C library's own libraries.
  needed=$(objdump -p "$entry.new/libmono-native.so" | sed -n 's/^ *NEEDED *//p' \
           | grep -Ev '^(libc\.so\.6|libm\.so\.6|libdl\.so\.2|libpthread\.so\.0|librt\.so\.1)$' || true)
  [ -z "$needed" ] || { echo "libmono-native.so needs $needed" >&2; exit 1; }
}

CACHED_FILES="libmono-native.so"
cached_build linux-runtime "libmono-native.so" 4 "$1" "$here/build.sh"
