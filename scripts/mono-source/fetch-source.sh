#!/bin/sh
# Fetches and unpacks Debian's own mono source package, pinned to the version
# that Debian 12 ships, into <dir>/mono-<version>.
#
#   fetch-source.sh <dir>
#
# The system's apt configuration has no deb-src entry and is left alone: a
# private sources file and list folder under <dir> are handed to apt instead.
# Needs apt-get and dpkg-source (dpkg-dev); downloads about 117 MB.
set -eu
. "$(dirname "$0")/version.sh"
dir=$1
mkdir -p "$dir/apt/lists/partial"
dir=$(cd "$dir" && pwd)
src="$dir/mono-$MONO_UPSTREAM"
if [ -f "$src/.unpacked" ]; then
  exit 0
fi

key=/usr/share/keyrings/debian-archive-keyring.gpg
cat > "$dir/apt/sources.list" <<SOURCES
deb-src [signed-by=$key] http://deb.debian.org/debian bookworm main
deb-src [signed-by=$key] http://deb.debian.org/debian bookworm-updates main
deb-src [signed-by=$key] http://deb.debian.org/debian-security bookworm-security main
SOURCES

set -- -o Dir::Etc::sourcelist="$dir/apt/sources.list" -o Dir::Etc::sourceparts=/dev/null \
       -o Dir::State::Lists="$dir/apt/lists" -o APT::Sandbox::User=root -qq
apt-get "$@" update
rm -rf "$src"
(cd "$dir" && apt-get "$@" --download-only source "mono=$MONO_DEBIAN_VERSION")
dsc=$(ls "$dir"/mono_*.dsc)
# apt checked the files against the signed archive index when it fetched
# them; dpkg-source checks them again against the .dsc.
dpkg-source -x "$dsc" "$src" >"$dir/dpkg-source.log" 2>&1 || { cat "$dir/dpkg-source.log" >&2; exit 1; }
touch "$src/.unpacked"
