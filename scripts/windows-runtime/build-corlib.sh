#!/bin/sh
# Compiles the Windows-profile class library (mscorlib.dll) of an unpacked
# mono source tree with Debian's own C# compiler:
#
#   build-corlib.sh <source-tree>
#
# The result is <source-tree>/mcs/class/lib/net_4_x-win32/mscorlib.dll.
# Debian's /usr/lib/mono/4.5/mscorlib.dll is the Unix profile: on Windows
# every file and time call of it fails for want of a native helper library
# that has no Windows build. This one calls the Windows API directly.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../mono-source/version.sh"
src=$(cd "$1" && pwd)
mcs=$src/mcs

if [ ! -f "$src/.corlib-patched" ]; then
  patch -d "$src" -p1 --forward <"$here/corlib-mcs.patch"
  touch "$src/.corlib-patched"
fi

# What configure writes for a native build of the class libraries; the
# corlib version must match the runtime's (MONO_CORLIB_VERSION in configure).
corlib_version=$(sed -n 's/^MONO_CORLIB_VERSION=\([0-9A-F-]*\)$/\1/p' "$src/configure.ac")
[ -n "$corlib_version" ] || { echo "no MONO_CORLIB_VERSION in configure.ac" >&2; exit 1; }
cat >"$mcs/build/config.make" <<CONFIG
RUNTIME = mono
VERSION = $MONO_UPSTREAM
MONO_VERSION = $MONO_UPSTREAM
MONO_CORLIB_VERSION = $corlib_version
BUILD_PLATFORM = linux
HOST_PLATFORM ?= win32
STANDALONE_CSC_LOCATION = /usr/lib/mono/4.5/mcs.exe
MCS_MODE = 1
DISABLE_MCS_DOCS = yes
CONFIG

# The build tools the class library's makefiles run: three compiled from
# the tree, three taken from Debian's mono-devel.
tools=$mcs/class/lib/build
mkdir -p "$tools"
for t in resgen ilasm sn; do
  cp "/usr/lib/mono/4.5/$t.exe" "$tools/"
done
cecil=$(ls /usr/lib/mono/gac/Mono.Cecil/0.11.*/Mono.Cecil.dll | head -n 1)
compile() {  # tool-folder output [mcs options...]
  dir=$mcs/tools/$1 output=$2
  shift 2
  (cd "$dir" && mcs -nologo -warn:0 -out:"$tools/$output" "$@" $(grep -v '^#' "$output.sources"))
}
compile gensources gensources.exe -r:System.Core
compile resx2sr resx2sr.exe -unsafe -r:System.Drawing -r:System.Xml
compile cil-stringreplacer cil-stringreplacer.exe -r:"$cecil"

make -C "$mcs/class/corlib" PROFILE=net_4_x HOST_PLATFORM=win32 BOOTSTRAP_MCS=mcs \
  ../../class/lib/net_4_x-win32/mscorlib.dll
