#!/bin/bash
# Faults while writing: the text file (extraction) and the compiled package
# (import) written onto a full file system (no free space, so the write fails
# midway; no free inode, so the file cannot even be created) and into a
# read-only folder, with and without an earlier output in place; through the
# single executable and through the tool run directly by the system's
# runtime. Every fault must give exactly the output of a successful run with
# the success line replaced by one line naming the file, and leave the folder
# byte for byte as it was: no partial, empty or temporary file, an earlier
# output intact. Last, the launcher's own temporary directory full: the run
# goes on in the next place, and nothing is left in the full one.
set -u
. "$(dirname "$0")/common.sh"
require_root
make_scratch

LAUNCHER_TEMP="$SCRATCH/launcher-temp"
make_launcher_temp "$LAUNCHER_TEMP"

# run_tool RUNNER FOLDER ARGUMENTS...: runs the tool in FOLDER; its standard
# output in OUT, standard error in ERR, exit code in RC.
run_tool() {
    local runner="$1" dir="$2"
    shift 2
    if [ "$runner" = launcher ]; then
        OUT="$(cd "$dir" && XDG_RUNTIME_DIR="$LAUNCHER_TEMP" "$SCRIVEL_EXE" "$@" 2>"$SCRATCH/err")"
    else
        OUT="$(cd "$dir" && "$MONO" "$SCRIVEL_TOOL" "$@" 2>"$SCRATCH/err")"
    fi
    RC=$?
    ERR="$(cat "$SCRATCH/err")"
}

# ---- inputs large enough that a write can fail halfway ---------------------------

# Big.upk: the sample package with every text made about 20000 letters
# longer (made by the tool itself: import of a lengthened text file); Big.txt:
# what extracting it gives (about 480 KB).
SRC="$SCRATCH/src"
mkdir -p "$SRC"
cp "$DEMO_PACKAGE" "$SRC/Big.upk"
run_tool mono "$SRC" Big.upk
[ -s "$SRC/Big.txt" ] || { fail "setup: the sample package gives no text file"; finish "no figures"; }
lengthen "$SRC/Big.txt" 20000
run_tool mono "$SRC" Big.txt
mv "$SRC/Big.upk.clxi" "$SRC/Big.upk" || { fail "setup: the lengthened package was not compiled"; finish "no figures"; }
rm "$SRC/Big.txt"
run_tool mono "$SRC" Big.upk
TEXT_SIZE=$(stat -c %s "$SRC/Big.txt")
[ "$TEXT_SIZE" -gt 300000 ] || fail "setup: the text file is only $TEXT_SIZE bytes"

# The outputs a successful run prints and writes, per runner and output.
declare -A REFERENCE_OUT EXPECTED_OUT OUTPUT_SIZE
for runner in launcher mono; do
    ref="$SCRATCH/ref-$runner"
    mkdir -p "$ref"
    cp "$SRC/Big.upk" "$ref/"
    run_tool "$runner" "$ref" Big.upk
    REFERENCE_OUT[$runner,text]="$OUT"
    cmp -s "$ref/Big.txt" "$SRC/Big.txt" || fail "setup: $runner extracts another text file"
    run_tool "$runner" "$ref" Big.txt
    REFERENCE_OUT[$runner,package]="$OUT"
    OUTPUT_SIZE[package]=$(stat -c %s "$ref/Big.upk.clxi")
done
OUTPUT_SIZE[text]=$TEXT_SIZE

success_line() {
    case "$1" in
        text) echo "Text File Big.upk successfully extracted!" ;;
        package) echo "File Big.clxi compiled successfully!" ;;
    esac
}
failure_line() {
    case "$1" in
        text) echo "The file Big.txt could not be written!" ;;
        package) echo "The file Big.upk.clxi could not be written!" ;;
    esac
}
for key in "${!REFERENCE_OUT[@]}"; do
    output="${key#*,}"
    reference="${REFERENCE_OUT[$key]}"
    success="$(success_line "$output")"
    [[ "$reference" == *"$success"$'\r\n'* ]] || fail "setup: $key: no \"$success\" in a successful run"
    EXPECTED_OUT[$key]="${reference/"$success"/"$(failure_line "$output")"}"
done

# ---- the faults -------------------------------------------------------------------

# fault_folder FAULT DIR: makes DIR, already holding the inputs, unwritable in
# the way FAULT says.
fault_folder() {
    local fault="$1" dir="$2" output="$3"
    case "$fault" in
        full)
            # Room for a part of the output only: the write starts and fails.
            local avail
            avail=$(free_bytes "$dir")
            head -c $((avail - 65536)) /dev/zero >"$dir/.filler" 2>/dev/null
            avail=$(free_bytes "$dir")
            [ "$avail" -gt 0 ] && [ "$avail" -lt "${OUTPUT_SIZE[$output]}" ] ||
                fail "setup: $avail bytes free for an output of ${OUTPUT_SIZE[$output]}"
            ;;
        no-inode)
            local i=0
            while { : >"$dir/.inode$i"; } 2>/dev/null; do i=$((i + 1)); done
            ;;
        read-only)
            mount -o remount,ro "$dir" || fail "setup: cannot remount $dir read-only"
            ;;
    esac
}

CASES=0
LOST=0
case_number=0
for runner in launcher mono; do
    for output in text package; do
        for fault in full no-inode read-only; do
            for earlier in none kept; do
                case_number=$((case_number + 1))
                what="$runner, $output, $fault, earlier output $earlier"
                dir="$SCRATCH/case$case_number"
                mount_tmpfs "$dir" "size=2m,nr_inodes=64"
                cp "$SRC/Big.upk" "$dir/"
                if [ "$output" = text ]; then
                    args=(Big.upk)
                    [ "$earlier" = kept ] && printf 'an earlier text file' >"$dir/Big.txt"
                else
                    args=(Big.txt)
                    cp "$SRC/Big.txt" "$dir/"
                    [ "$earlier" = kept ] && printf 'an earlier compiled package' >"$dir/Big.upk.clxi"
                fi
                fault_folder "$fault" "$dir" "$output"
                before="$(listing "$dir")"
                run_tool "$runner" "$dir" "${args[@]}"
                CASES=$((CASES + 1))
                expect_eq "$what: exit code" 0 "$RC"
                expect_eq "$what: console output" "${EXPECTED_OUT[$runner,$output]}" "$OUT"
                expect_eq "$what: standard error" "" "$ERR"
                after="$(listing "$dir")"
                if [ "$before" != "$after" ]; then
                    LOST=$((LOST + 1))
                    fail "$what: the folder changed"
                    diff <(echo "$before") <(echo "$after") | head -10
                fi
                umount -l "$dir"
            done
        done
    done
done

# ---- a compile that outgrows the room at any point -----------------------------------

# The output (about 1.4 MB) is written through a buffer of 1 MB: the room
# may run out while the buffer is written, at the final flush or when the
# file is closed; each must give the one "could not be written" line.
HUGE="$SCRATCH/huge"
mkdir -p "$HUGE"
cp "$DEMO_PACKAGE" "$HUGE/Huge.upk"
run_tool mono "$HUGE" Huge.upk
lengthen "$HUGE/Huge.txt" 60000
for kb in 1700 1900 2100 2300 2500 2700 2900; do
    dir="$SCRATCH/room$kb"
    mount_tmpfs "$dir" "size=${kb}k"
    cp "$HUGE/Huge.upk" "$HUGE/Huge.txt" "$dir/"
    before="$(listing "$dir")"
    run_tool launcher "$dir" Huge.txt
    CASES=$((CASES + 1))
    what="compile into ${kb} KB"
    last="$(printf '%s' "$OUT" | tr -d '\r' | grep -v '^\.\.DONE\.\.$' | tail -n 1)"
    if [ -e "$dir/Huge.upk.clxi" ]; then
        expect_eq "$what: the output fitted, and says so" "File Huge.clxi compiled successfully!" "$last"
        rm "$dir/Huge.upk.clxi"
    else
        expect_eq "$what: the last line" "The file Huge.upk.clxi could not be written!" "$last"
    fi
    [ "$before" = "$(listing "$dir")" ] || { LOST=$((LOST + 1)); fail "$what: the folder changed"; }
    umount -l "$dir"
done

# ---- the launcher's temporary directory full -----------------------------------------

# A private runtime directory too small for the runtime: the run goes on in
# $TMPDIR, and the full place is left as it was, but for the lock file.
dir="$SCRATCH/package-folder"
mkdir -p "$dir"
cp "$SRC/Big.upk" "$dir/"
full_temp="$SCRATCH/full-temp"
mount_tmpfs "$full_temp" "size=1m,mode=0700"
next_temp="$SCRATCH/next-temp"
make_launcher_temp "$next_temp"
OUT="$(cd "$dir" && XDG_RUNTIME_DIR="$full_temp" TMPDIR="$next_temp" "$SCRIVEL_EXE" Big.upk 2>"$SCRATCH/err")"
RC=$?
ERR="$(cat "$SCRATCH/err")"
CASES=$((CASES + 1))
what="launcher, full temporary directory"
expect_eq "$what: exit code" 0 "$RC"
expect_eq "$what: the run goes on in the next place" "${REFERENCE_OUT[launcher,text]}" "$OUT"
expect_eq "$what: standard error" "" "$ERR"
cmp -s "$dir/Big.txt" "$SRC/Big.txt" || fail "$what: the text file differs"
expect_eq "$what: left in the full place" "ScrivelTempFiles.lock" "$(ls -A "$full_temp")"
expect_eq "$what: left in the next place" "ScrivelTempFiles.lock" "$(ls -A "$next_temp")"

finish "write faults: $CASES cases run, $CASES faults injected, $LOST outputs lost or damaged"
