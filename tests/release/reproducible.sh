#!/bin/bash
# Two fresh builds of the same sources give the same executables:
#
#   reproducible.sh [CMAKE OPTIONS...]
#
# Build one is made from the sources where they are, build two from a copy
# of them in another folder, into a build folder of another name, a little
# later, in another time zone (a day apart, so a date written into a file
# shows) and another locale. Both take the runtimes from the same cache. Then
#
# - each executable of build one is byte for byte that of build two; where
#   not, the archive entries that differ are named;
# - no file that goes into an executable (the executables themselves and the
#   files their archives are made of, read before compression) holds the
#   path of its build folder, of its sources, or of the runtimes' cache.
#
# Environment: SCRIVEL_SOURCE_DIR; REPRODUCIBLE_WORK, a folder of the test's
# own (emptied first; the build logs stay there); REPRODUCIBLE_TARGETS, the
# targets to build, separated by commas; LINUX_EXE and LINUX_LIST, the Linux
# executable and its configured archive list (the archive is the list's path
# without ".list") relative to a build folder; WINDOWS_ENV, the Windows
# build's scrivel-windows.env relative to it (empty without a Windows build).
set -u
src=$SCRIVEL_SOURCE_DIR
work=$REPRODUCIBLE_WORK
rm -rf "$work"
mkdir -p "$work"
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# The copy: the files git knows of, or that it would add, when the sources
# are a checkout; otherwise everything but build and release folders.
copy="$work/sources-copied-elsewhere"
mkdir -p "$copy"
if git -C "$src" rev-parse --git-dir >/dev/null 2>&1; then
    git -C "$src" ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' f; do [ -e "$src/$f" ] && printf '%s\0' "$f"; done |
        tar -C "$src" --null -T - -cf - | tar -C "$copy" -xf -
else
    tar -C "$src" --exclude=./build --exclude='./build-*' --exclude=./dist -cf - . | tar -C "$copy" -xf -
fi

# build <sources> <build folder> <time zone> <locale>
build() {
    local started=$SECONDS targets
    IFS=, read -r -a targets <<<"$REPRODUCIBLE_TARGETS"
    if ! TZ=$3 LC_ALL=$4 cmake -S "$1" -B "$2" "${options[@]}" >"$2.log" 2>&1 ||
        ! TZ=$3 LC_ALL=$4 cmake --build "$2" --target "${targets[@]}" -j2 >>"$2.log" 2>&1; then
        tail -n 30 "$2.log"
        fail "the build in $2 failed (log: $2.log)"
        exit 1
    fi
    echo "built $2 in $((SECONDS - started)) s"
}
options=("$@")
one="$work/one"
two="$work/the-second-build"
build "$src" "$one" UTC+12 C
build "$copy" "$two" UTC-14 C.UTF-8

# The executables and their lists, as "name<TAB>executable<TAB>list" per line.
shipped() {  # build folder
    echo -e "linux\t$1/$LINUX_EXE\t$1/$LINUX_LIST"
    if [ -n "$WINDOWS_ENV" ]; then
        (. "$1/$WINDOWS_ENV" && echo -e "windows\t$SCRIVEL_EXE\t$SCRIVEL_ARCHIVE_LIST")
    fi
}

# The entry names of a list, sorted.
entry_names() {
    grep -v '^#' "$1" | cut -f2 | sed '/^$/d' | LC_ALL=C sort
}

# The source of the entry named $2 in the list $1.
listed_source() {
    awk -F '\t' -v name="$2" '!/^#/ && $2 == name { print $1; exit }' "$1"
}

while IFS=$'\t' read -r name exe1 list1 _ exe2 list2; do
    if cmp -s "$exe1" "$exe2"; then
        echo "$name: the same bytes ($(sha256sum <"$exe1" | cut -c1-64))"
        continue
    fi
    size1=$(stat -c %s "$exe1") size2=$(stat -c %s "$exe2")
    if [ "$size1" != "$size2" ]; then
        fail "$name: the two builds differ in size: $size1 and $size2 bytes"
    else
        fail "$name: the two builds differ in $(cmp -l "$exe1" "$exe2" | wc -l) bytes," \
            "the first at byte $(cmp "$exe1" "$exe2" | sed -n 's/.* byte \([0-9]*\).*/\1/p')"
    fi
    # What differs: the archive's entries, or else the launcher around it.
    only=$(diff <(entry_names "$list1") <(entry_names "$list2") | sed -n 's/^[<>] //p' | tr '\n' ' ')
    [ -z "$only" ] || fail "$name: archive entries in one build only: $only"
    while IFS=$'\t' read -r source entry; do
        case "$source" in "" | \#*) continue ;; esac
        second=$(listed_source "$list2" "$entry")
        [ -z "$second" ] || cmp -s "$source" "$second" || fail "$name: archive entry $entry differs"
    done <"$list1"
    cmp -s "${list1%.list}" "${list2%.list}" && fail "$name: the archives are the same; the launcher differs"
done < <(paste <(shipped "$one") <(shipped "$two"))

# No path of the build: each file that makes up an executable, searched for
# the folders of its own build and for the cache the runtimes come from
# (scripts/mono-source/cached-build.sh), as the build scripts name it.
cache=${SCRIVEL_CACHE_DIR:-${XDG_CACHE_HOME:-${HOME:-/nonexistent}/.cache}/scrivel}
cache=$(cd "$cache" 2>/dev/null && pwd)
leaks=0
for pair in "$one|$src" "$two|$copy"; do
    tree=${pair%|*} sources=${pair#*|}
    while IFS=$'\t' read -r name exe list; do
        while IFS= read -r file; do
            [ -n "$file" ] || continue
            for path in "$tree" "$sources" ${cache:+"$cache"}; do
                if grep -q -a -F -- "$path" "$file"; then
                    fail "$name: $file holds $path"
                    leaks=$((leaks + 1))
                fi
            done
        done < <(echo "$exe"; grep -v '^#' "$list" | cut -f1)
    done < <(shipped "$tree")
done
[ "$leaks" -eq 0 ] && echo "no build, source or cache folder in the executables or the files of their archives"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed; the builds are in $work"
    exit 1
fi
rm -rf "$one" "$two" "$copy"
echo "all checks passed"
