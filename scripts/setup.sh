#!/bin/sh
# Installs what building and testing Scrivel needs on Debian 12, skipping
# what is already there. Run as root (or through sudo).
set -eu
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# Build and test: C++ toolchain (binutils' strip and objdump too), zlib and
# libdeflate (the Linux launcher inflates with it, found through pkg-config),
# GoogleTest, Mono's compiler and runtime (the runtime library and class
# library are what the single executable carries), NUnit. The runtime's
# native helper library is built from Debian's mono source package (fetched
# with apt-get source). gettext's tools, translate-toolkit and polib judge
# the PO files that the tool writes and reads.
PACKAGES="cmake g++ make binutils pkgconf zlib1g-dev libdeflate-dev libgtest-dev mono-devel mono-runtime
  libmono-corlib4.5-cil libmonosgen-2.0-1 libmono-profiler libnunit-cil-dev nunit-console
  util-linux bsdutils mount e2fsprogs dpkg-dev xz-utils debian-archive-keyring
  gettext translate-toolkit python3-polib"

# Windows cross build and its tests under Wine (Xvfb: a display for the
# consoles the launcher creates); pass --no-windows to skip. The Windows
# runtime is built from Debian's mono source package (fetched with apt-get
# source), with the C# tools of mono-devel and Mono.Cecil.
if [ "${1:-}" != "--no-windows" ]; then
  PACKAGES="$PACKAGES g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32
    binutils-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64 tmux xvfb
    patch python3-minimal libmono-cecil-private-cil libmono-system-drawing4.0-cil"
fi

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
fi
