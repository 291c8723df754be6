#!/bin/bash
# Makes a release from a clean checkout:
#
#   scripts/release.sh
#
# Refuses a tree with changes that are not committed (files git does not
# know of included, ignored ones excepted), builds everything afresh in
# build-release/, runs every test there (scripts/test.sh), and writes dist/:
#
#   scrivel-<version>-windows-x86_64.exe   the Windows executable
#   scrivel-<version>-linux-x86_64         the Linux executable
#   SHA256SUMS                             their checksums, for sha256sum -c
#   RELEASE.md                             what they are, what they need and
#                                          carry, how to check them
#
# <version> is the content of VERSION. The same commit gives the same bytes
# in any folder, at any time, on a machine with the same Debian packages.
set -eu
cd "$(dirname "$0")/.."
started=$SECONDS

refuse() {
    echo "scripts/release.sh: $*" >&2
    exit 1
}

git rev-parse --verify -q HEAD >/dev/null 2>&1 ||
    refuse "not a git checkout with a commit: a release is made from a commit"
changes=$(git status --porcelain --untracked-files=all)
if [ -n "$changes" ]; then
    refuse "the tree has $(wc -l <<<"$changes") uncommitted change(s), the first: $(head -n 1 <<<"$changes" | cut -c4-); commit or remove them first"
fi
version=$(tr -d ' \r\n' <VERSION)
[[ "$version" =~ ^(0|[1-9][0-9]*)\.(0|[1-9][0-9]*)\.(0|[1-9][0-9]*)$ ]] ||
    refuse "VERSION holds \"$version\", not MAJOR.MINOR.PATCH"
commit=$(git rev-parse HEAD)

# A build of its own, from nothing, and every test on it.
build=build-release
rm -rf "$build" dist
scripts/test.sh "$build" || refuse "the build or a test failed (above); dist/ is not written"

linux_exe=$build/scrivel
linux_list=$build/bundle/scrivel.arch.list
windows_env=$build/windows/scrivel-windows.env
[ -f "$linux_exe" ] && [ -f "$linux_list" ] || refuse "the build made no $linux_exe"
[ -f "$windows_env" ] || refuse "the build made no Windows executable (x86_64-w64-mingw32-g++ missing?)"
SCRIVEL_EXE="" SCRIVEL_ARCHIVE_LIST="" SCRIVEL_WITH_RUNTIME=""
. "$windows_env"
[ -n "$SCRIVEL_WITH_RUNTIME" ] ||
    refuse "scrivel.exe carries the tests' stand-in runtime (SCRIVEL_WINDOWS_RUNTIME_BUILD=OFF?)"

windows_name=scrivel-$version-windows-x86_64.exe
linux_name=scrivel-$version-linux-x86_64
mkdir dist
cp "$SCRIVEL_EXE" "dist/$windows_name"
cp "$linux_exe" "dist/$linux_name"
chmod 755 "dist/$linux_name"
chmod 644 "dist/$windows_name"
(cd dist && sha256sum "$windows_name" "$linux_name" >SHA256SUMS)

# ---- RELEASE.md ---------------------------------------------------------------

# The C library the Linux executable needs, from the symbol versions of the
# launcher and of the libraries its archive carries.
glibc=$(sh tests/launcher/self_contained/libc_version.sh "$linux_exe" "$linux_list" README.md |
        sed -n 's/^The executable needs glibc \([0-9.]*\) or later.*/\1/p')
[ -n "$glibc" ] || refuse "the C library the Linux executable needs could not be found"

. scripts/mono-source/version.sh

# origin <source file>: where an archive entry comes from, as one line.
origin() {
    local file=$1 real package dir outside=0
    real=$(realpath "$file")
    case "$real" in
        "$PWD/$build"/*) ;;
        "$PWD"/*) echo "these sources: \`${real#"$PWD"/}\`"; return ;;
        *) outside=1 ;;
    esac
    if package=$(dpkg-query -S "$real" 2>/dev/null || dpkg-query -S "$file" 2>/dev/null); then
        package=${package%%:*}
        dpkg-query -W -f='Debian package `${Package}` ${Version} (source package `${source:Package}` ${source:Version})' \
            "$package"
        echo
        return
    fi
    if [ "$outside" = 1 ]; then
        echo "\`$real\` of the build machine"
        return
    fi
    # A runtime built from Debian's mono source (scripts/<name>/build.sh)
    # leaves .built in its output folder.
    dir=$(dirname "$real")
    while [ "$dir" != "$PWD/$build" ]; do
        if [ -f "$dir/.built" ]; then
            echo "built by \`scripts/$(basename "$dir")\` from Debian's source package \`mono\` $MONO_DEBIAN_VERSION"
            return
        fi
        dir=$(dirname "$dir")
    done
    case "$real" in
        *.dll.so|*.exe.so)
            echo "precompiled by the build with the carried runtime from \`$(basename "${real%.so}")\`, limited to the methods of \`bundle/aot/scrivel.aotprofile\`"
            return ;;
    esac
    echo "made from these sources by the build (\`${real#"$PWD/$build"/}\`)"
}

# entries <configured archive list>: a table of the archive's entries.
entries() {
    echo "| Entry | From |"
    echo "|---|---|"
    local source name
    while IFS=$'\t' read -r source name; do
        case "$source" in "" | \#*) continue ;; esac
        echo "| \`$name\` | $(origin "$source") |"
    done <"$1"
}

{
    cat <<EOF
# Scrivel $version

Made by \`scripts/release.sh\` from commit $commit.

| File | What it is |
|---|---|
| \`$windows_name\` | Scrivel for 64-bit Windows: one program, nothing to install. Drop a package (\`.upk\`), a text file (\`.txt\`) or a PO file (\`.po\`) on it. Its file properties show version $version.0. |
| \`$linux_name\` | Scrivel for 64-bit Linux: one program that needs only the C library, glibc $glibc or later. Make it executable (\`chmod +x $linux_name\`) and run it with the files as arguments. |
| \`SHA256SUMS\` | the SHA-256 checksums of the two programs |

## Checking a download

Each line of \`SHA256SUMS\` is a checksum and a file name; the checksum of
the file you downloaded must be the one on its line (upper or lower case
makes no difference).

- Windows, in a command prompt in the download folder:
  \`certutil -hashfile $windows_name SHA256\`;
  or in PowerShell: \`Get-FileHash .\\$windows_name\` (SHA-256 is its default).
- Linux, in the download folder: \`sha256sum -c --ignore-missing SHA256SUMS\`
  prints \`$linux_name: OK\`.

The same commit built again with \`scripts/release.sh\` on Debian 12 with the
same packages gives the same bytes, and so the same \`SHA256SUMS\`.

## What the programs carry

Each program carries an archive that it unpacks into a working folder on
every start: the Mono runtime and the Text tool.

### $windows_name

EOF
    entries "$SCRIVEL_ARCHIVE_LIST"
    cat <<EOF

### $linux_name

EOF
    entries "$linux_list"
} >dist/RELEASE.md

echo
echo "dist/ for Scrivel $version (commit $commit), made in $((SECONDS - started)) s:"
(cd dist && cat SHA256SUMS && sha256sum -c --quiet SHA256SUMS)
