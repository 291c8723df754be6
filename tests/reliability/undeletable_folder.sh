#!/bin/bash
# The single executable when the working folder an earlier run left cannot
# be deleted (a file in it, or the folder itself, made immutable: what a file
# held open is on Windows; root cannot delete past it either). The run must
# still work, from a spare folder beside the stale one, print exactly what a
# normal run prints, and leave no spare folder; a run killed while it works
# from a spare folder leaves none either; once the stale folders can be
# deleted, the next run removes them all.
set -u
. "$(dirname "$0")/common.sh"
require_root
make_scratch

TEMP="$SCRATCH/temp"
make_launcher_temp "$TEMP"
WORK_FOLDER="$TEMP/ScrivelTempFiles"
probe="$SCRATCH/probe"
: >"$probe"
chattr +i "$probe" 2>/dev/null || skip "files cannot be made immutable on $(df --output=fstype "$SCRATCH" | tail -n 1) here"
chattr -i "$probe"

PACKAGES="$SCRATCH/packages"
REFERENCE="$SCRATCH/reference"
mkdir -p "$PACKAGES" "$REFERENCE"
cp "$DEMO_PACKAGE" "$REFERENCE/Demo.upk"
EXPECTED="$(cd "$REFERENCE" && XDG_RUNTIME_DIR="$TEMP" "$SCRIVEL_EXE" Demo.upk 2>&1)"
[[ "$EXPECTED" == *"successfully extracted!"* ]] || fail "setup: a normal run does not extract: $EXPECTED"

IMMUTABLE=()
immutable() {
    chattr +i "$1" || fail "setup: cannot make $1 immutable"
    IMMUTABLE+=("$1")
    on_exit "chattr -i '$1'"
}
release_all() {
    local path
    for path in "${IMMUTABLE[@]}"; do chattr -i "$path"; done
    IMMUTABLE=()
}

# Names in the temporary directory besides the lock file, one line.
left_in_temp() {
    ls -A "$TEMP" | grep -v '^ScrivelTempFiles\.lock$' | LC_ALL=C sort | tr '\n' ' '
}

# run_case WHAT EXPECTED-LEFT: one run on a copy of the package.
run_case() {
    rm -rf "$PACKAGES"/*
    cp "$DEMO_PACKAGE" "$PACKAGES/Demo.upk"
    local out rc
    out="$(cd "$PACKAGES" && XDG_RUNTIME_DIR="$TEMP" "$SCRIVEL_EXE" Demo.upk 2>&1)"
    rc=$?
    RUNS=$((RUNS + 1))
    expect_eq "$1: exit code" 0 "$rc"
    expect_eq "$1: what it prints" "$EXPECTED" "$out"
    cmp -s "$PACKAGES/Demo.txt" "$REFERENCE/Demo.txt" || fail "$1: the text file differs"
    expect_eq "$1: left in the temporary directory" "$2" "$(left_in_temp)"
}
RUNS=0

# A file inside the stale folder.
mkdir -p "$WORK_FOLDER/lib"
echo held >"$WORK_FOLDER/lib/held.dll"
immutable "$WORK_FOLDER/lib/held.dll"
run_case "immutable file inside" "ScrivelTempFiles "
expect_eq "immutable file inside: the file stays" "held" "$(cat "$WORK_FOLDER/lib/held.dll")"

# The stale folder itself, and a spare folder a killed run could not clear.
release_all
rm -rf "$WORK_FOLDER"
mkdir -p "$WORK_FOLDER" "$TEMP/ScrivelTempFiles-4242-1"
echo old >"$WORK_FOLDER/Scrivel.exe"
echo old >"$TEMP/ScrivelTempFiles-4242-1/Scrivel.exe"
immutable "$WORK_FOLDER"
immutable "$TEMP/ScrivelTempFiles-4242-1/Scrivel.exe"
run_case "immutable folder and spare" "ScrivelTempFiles ScrivelTempFiles-4242-1 "

# Killed while working from a spare folder: the spare goes all the same.
for signal in TERM INT; do
    rm -rf "$PACKAGES"/*
    cp "$DEMO_PACKAGE" "$PACKAGES/Demo.upk"
    out="$SCRATCH/out"
    : >"$out"
    (cd "$PACKAGES" && XDG_RUNTIME_DIR="$TEMP" exec env --default-signal=INT "$SCRIVEL_EXE" Demo.upk) >"$out" 2>&1 &
    pid=$!
    until compgen -G "$TEMP/ScrivelTempFiles-$pid-*/lib" >/dev/null || ! kill -0 "$pid" 2>/dev/null; do :; done
    kill -"$signal" "$pid" 2>/dev/null
    wait "$pid"
    rc=$?
    RUNS=$((RUNS + 1))
    expect_eq "SIG$signal from a spare folder: ended by the signal" $((128 + $(kill -l "$signal"))) "$rc"
    expect_eq "SIG$signal from a spare folder: left in the temporary directory" \
        "ScrivelTempFiles ScrivelTempFiles-4242-1 " "$(left_in_temp)"
done

# Deletable again: the next run clears everything.
release_all
run_case "deletable again" ""

finish "undeletable working folder: $RUNS runs (2 beside folders that cannot be deleted, 2 killed while working from a spare folder, 1 once they can be deleted)"
