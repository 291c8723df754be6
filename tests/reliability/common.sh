# Shared by the reliability tests (sourced, not run). The environment names
# what they work on (set by tests/reliability/CMakeLists.txt):
#   SCRIVEL_EXE     the single executable
#   SCRIVEL_TOOL    the Text tool's assembly, run directly by MONO
#   MONO            the system's runtime
#   DEMO_PACKAGE    the sample package
#   RELIABILITY_WORK  a folder for this test's scratch files
#
# A test that cannot set up its faults here (no root, no mount, no immutable
# files) ends with SKIP_CODE and says why.

SKIP_CODE=77
FAILURES=0
CLEANUPS=()

fail() {
    echo "FAILED: $*"
    FAILURES=$((FAILURES + 1))
}

skip() {
    echo "SKIPPED: $*"
    exit "$SKIP_CODE"
}

expect_eq() {  # what expected actual
    if [ "$2" != "$3" ]; then
        fail "$1"
        echo "  expected: $(printf '%s' "$2" | od -An -c | head -c 600)"
        echo "  actual:   $(printf '%s' "$3" | od -An -c | head -c 600)"
    fi
}

# Commands run when the script ends, last registered first (unmounts before
# the scratch folder goes).
on_exit() {
    CLEANUPS=("$1" "${CLEANUPS[@]}")
}

run_cleanups() {
    local c
    for c in "${CLEANUPS[@]}"; do eval "$c" >/dev/null 2>&1; done
}
trap run_cleanups EXIT

# A fresh scratch folder for this script under RELIABILITY_WORK.
make_scratch() {
    mkdir -p "$RELIABILITY_WORK"
    SCRATCH="$(mktemp -d "$RELIABILITY_WORK/run.XXXXXX")" || exit 1
    on_exit "rm -rf '$SCRATCH'"
}

require_root() {
    [ "$(id -u)" -eq 0 ] || skip "needs root to mount file systems or mark files immutable"
}

# mount_tmpfs DIR OPTIONS: a small file system of its own at DIR, unmounted at
# the end. Skips the test when mounting is not permitted.
mount_tmpfs() {
    mkdir -p "$1"
    mount -t tmpfs -o "$2" tmpfs "$1" 2>/dev/null || skip "mounting a tmpfs is not permitted here"
    on_exit "umount -l '$1'"
}

# Free bytes on the file system that holds DIR.
free_bytes() {
    df --output=avail -B1 "$1" | tail -n 1 | tr -d ' '
}

# Every file under DIR with its size and checksum, hidden ones included, one
# per line: what a fault must leave exactly as it was.
listing() {
    (cd "$1" && { find . -mindepth 1 -printf '%y %p %s\n'; find . -type f -exec cksum {} +; } | LC_ALL=C sort)
}

# lengthen FILE LETTERS: every line of the text file FILE (UTF-16) made LETTERS longer.
lengthen() {
    local filler
    filler="$(printf '%*s' "$2" '' | tr ' ' 'x')"
    {
        printf '\377\376'
        iconv -f UTF-16 -t UTF-8 "$1" | tr -d '\r' | while IFS= read -r line; do
            printf '%s %s\r\n' "$line" "$filler"
        done | iconv -f UTF-8 -t UTF-16LE
    } >"$1.long"
    mv "$1.long" "$1"
}

# A private temporary directory for the launcher's working folder.
make_launcher_temp() {
    mkdir -p "$1"
    chmod 700 "$1"
}

finish() {
    echo "$1"
    if [ "$FAILURES" -eq 0 ]; then
        echo "all checks passed"
        exit 0
    fi
    echo "$FAILURES check(s) failed"
    exit 1
}
