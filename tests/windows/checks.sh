# The checks the Wine test scripts share; sourced after WORK is set. Each
# failed check prints one line and is counted; finish ends the script with
# the verdict.

FAILURES=0
fail() {
    echo "FAILED: $*"
    FAILURES=$((FAILURES + 1))
}

expect_eq() {  # what expected actual
    if [ "$2" != "$3" ]; then
        fail "$1"
        echo "  expected: $2"
        echo "  actual:   $3"
    fi
}

expect_same_lines() {  # what expected-file actual-file
    if ! diff -u "$2" "$3" >"$WORK/diff.txt"; then
        fail "$1"
        cat "$WORK/diff.txt"
    fi
}

expect_contains() {  # what file text
    grep -qF -- "$3" "$2" || fail "$1: no \"$3\" in $(basename "$2")"
}

expect_lacks() {  # what file text
    ! grep -qF -- "$3" "$2" 2>/dev/null || fail "$1: \"$3\" in $(basename "$2")"
}

finish() {
    if [ "$FAILURES" -eq 0 ]; then
        echo "all checks passed"
        exit 0
    fi
    echo "$FAILURES check(s) failed; logs in $WORK"
    exit 1
}
