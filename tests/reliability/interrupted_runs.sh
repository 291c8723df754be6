#!/bin/bash
# The single executable ended by SIGTERM and by SIGINT at points spread over
# its run: as soon as the working folder exists, as each of the archive's
# files appears while it is unpacked, as soon as the tool has printed its
# first line, and after fixed delays. At each point the process is frozen
# (SIGSTOP) to see where it stands, then sent the signal and let go. It must
# end by that signal, and leave no working folder (nor a spare one) behind;
# the text files it was extracting are each either absent or whole. The run
# is given many packages, so that the tool's part lasts long enough to be
# hit at several points too. Then every other signal the launcher cleans
# up on, once each while the tool runs. Last, a compile killed (SIGKILL,
# SIGTERM) while it writes a large output.
set -u
. "$(dirname "$0")/common.sh"
make_scratch

TEMP="$SCRATCH/temp"
make_launcher_temp "$TEMP"
WORK_FOLDER="$TEMP/ScrivelTempFiles"
PACKAGES="$SCRATCH/packages"
mkdir -p "$PACKAGES"

# What a whole run writes, for comparison.
REFERENCE="$SCRATCH/reference"
mkdir -p "$REFERENCE"
cp "$DEMO_PACKAGE" "$REFERENCE/Demo.upk"
(cd "$REFERENCE" && "$MONO" "$SCRIVEL_TOOL" Demo.upk >/dev/null 2>&1)
[ -s "$REFERENCE/Demo.txt" ] || { fail "setup: no reference text file"; finish "no figures"; }
REFERENCE_SUM="$(cksum <"$REFERENCE/Demo.txt")"
PACKAGE_COUNT=20
ARGS=()
TEMPLATE="$SCRATCH/template"
mkdir -p "$TEMPLATE"
for i in $(seq 1 $PACKAGE_COUNT); do
    ARGS+=("Demo$i.upk")
    cp "$DEMO_PACKAGE" "$TEMPLATE/Demo$i.upk"
done
TOOL_SIZE=$(stat -c %s "$SCRIVEL_TOOL")

# The kill points: "folder", "file:<path in the folder>", "lines:<n>" (the
# tool has printed n lines), "delay:<seconds after the start>".
POINTS=(folder file:etc/mono/config file:lib/libmono-native.so file:lib/mscorlib.dll
    file:libmonosgen-2.0.so.1 file:Scrivel.exe lines:1 lines:15 lines:30 lines:50
    delay:0.05 delay:0.1 delay:0.2 delay:0.4)

# Where a frozen run stands: unpacking (the tool's assembly, the last file
# of the archive, not yet whole), tool (its output begun, not finished),
# finished, or between (unpacked, the tool not yet printing).
phase_of_frozen_run() {
    local out="$1"
    if grep -q '\.\.DONE\.\.' "$out" 2>/dev/null; then
        echo finished
    elif [ -s "$out" ]; then
        echo tool
    elif [ "$(stat -c %s "$WORK_FOLDER/Scrivel.exe" 2>/dev/null || echo 0)" -ne "$TOOL_SIZE" ]; then
        echo unpacking
    else
        echo between
    fi
}

# wait_for POINT PID: returns when the run reaches the point, or has ended.
wait_for() {
    local point="$1" pid="$2"
    case "$point" in
        folder) until [ -e "$WORK_FOLDER" ] || ! kill -0 "$pid" 2>/dev/null; do :; done ;;
        file:*) until [ -e "$WORK_FOLDER/${point#file:}" ] || ! kill -0 "$pid" 2>/dev/null; do :; done ;;
        lines:*)
            local printed=()
            until [ "${#printed[@]}" -ge "${point#lines:}" ] || ! kill -0 "$pid" 2>/dev/null; do
                mapfile -t printed <"$OUT"
            done
            ;;
        delay:*) sleep "${point#delay:}" ;;
    esac
}

# The packages' text files that are there, and how many of them are whole.
count_texts() {
    local sums
    sums="$(cd "$PACKAGES" && for t in Demo*.txt; do [ -e "$t" ] && cksum <"$t"; done)"
    TEXTS=0
    WHOLE=0
    [ -n "$sums" ] || return 0
    TEXTS=$(printf '%s\n' "$sums" | wc -l)
    WHOLE=$(printf '%s\n' "$sums" | grep -cxF "$REFERENCE_SUM")
}

declare -A HITS
RUNS=0
LOST=0
FOLDERS_LEFT=0
TEMPORARY_LEFT=0
RERUNS=0
TEMPORARY_AFTER_RERUN=0
for signal in TERM INT; do
    number=$(kill -l "$signal")
    for point in "${POINTS[@]}"; do
        what="SIG$signal at $point"
        rm -rf "$PACKAGES"
        cp -r "$TEMPLATE" "$PACKAGES"
        OUT="$SCRATCH/out"
        : >"$OUT"
        # SIGINT is ignored in a background job of a script unless reset.
        (cd "$PACKAGES" && XDG_RUNTIME_DIR="$TEMP" exec env --default-signal=INT "$SCRIVEL_EXE" "${ARGS[@]}") \
            >"$OUT" 2>"$SCRATCH/err" &
        pid=$!
        wait_for "$point" "$pid"
        kill -STOP "$pid" 2>/dev/null
        phase="$(phase_of_frozen_run "$OUT")"
        kill -"$signal" "$pid" 2>/dev/null
        kill -CONT "$pid" 2>/dev/null
        wait "$pid"
        rc=$?
        RUNS=$((RUNS + 1))
        HITS[$signal,$phase]=$((${HITS[$signal,$phase]:-0} + 1))
        case "$phase" in
            finished)
                # Its work done, it may still be ended by the signal while it shuts down.
                [ "$rc" -eq 0 ] || [ "$rc" -eq $((128 + number)) ] ||
                    fail "$what (finished): exit code $rc"
                ;;
            *) expect_eq "$what ($phase): ended by the signal" $((128 + number)) "$rc" ;;
        esac
        left="$(ls -A "$TEMP" | grep -v '^ScrivelTempFiles\.lock$')"
        if [ -n "$left" ]; then
            FOLDERS_LEFT=$((FOLDERS_LEFT + 1))
            fail "$what ($phase): left in the temporary directory: $left"
        fi
        count_texts
        if [ "$WHOLE" -ne "$TEXTS" ]; then
            LOST=$((LOST + TEXTS - WHOLE))
            fail "$what ($phase): $((TEXTS - WHOLE)) damaged text files"
        fi
        # A kill during the write itself may leave the tool's hidden
        # temporary file (never a text file half-written); the next run that
        # writes the same file removes it.
        temporary="$(ls -A "$PACKAGES" | grep -c '^\.Demo[0-9]*\.txt\..*\.tmp$')"
        TEMPORARY_LEFT=$((TEMPORARY_LEFT + temporary))
        if [ "$temporary" -gt 0 ]; then
            (cd "$PACKAGES" && XDG_RUNTIME_DIR="$TEMP" "$SCRIVEL_EXE" "${ARGS[@]}" >/dev/null 2>&1)
            RERUNS=$((RERUNS + 1))
            temporary="$(ls -A "$PACKAGES" | grep -c '^\.Demo[0-9]*\.txt\..*\.tmp$')"
            TEMPORARY_AFTER_RERUN=$((TEMPORARY_AFTER_RERUN + temporary))
            expect_eq "$what ($phase): temporary files after the next run" 0 "$temporary"
            count_texts
            expect_eq "$what ($phase): whole text files after the next run" "$PACKAGE_COUNT" "$WHOLE"
        fi
        unexpected="$(ls -A "$PACKAGES" | grep -v -E -e '^Demo[0-9]+\.(upk|txt)$' -e '^\.Demo[0-9]+\.txt\..*\.tmp$')"
        expect_eq "$what ($phase): other files beside the packages" "" "$unexpected"
        rm -rf "$WORK_FOLDER"
    done
    # Every file's appearance lies inside the unpacking, and the first line
    # of output inside the tool's run: both phases must have been hit.
    [ "${HITS[$signal,unpacking]:-0}" -ge 3 ] || fail "SIG$signal: only ${HITS[$signal,unpacking]:-0} kills while unpacking"
    [ "${HITS[$signal,tool]:-0}" -ge 3 ] || fail "SIG$signal: no kill while the tool ran"
done

# The other signals whose default action ends the process, and that the
# runtime does not take for itself, each sent once while the tool runs (the
# runtime has installed its own handlers by then): each must end the run as
# it would have, and the working folder go. No core files: some of them dump
# core by default.
ulimit -c 0
OTHER_SIGNALS=(HUP USR1 USR2 ALRM VTALRM PROF XCPU XFSZ PWR STKFLT IO TRAP SYS)
for signal in "${OTHER_SIGNALS[@]}"; do
    number=$(kill -l "$signal")
    rm -rf "$PACKAGES"
    cp -r "$TEMPLATE" "$PACKAGES"
    OUT="$SCRATCH/out"
    : >"$OUT"
    (cd "$PACKAGES" && XDG_RUNTIME_DIR="$TEMP" exec "$SCRIVEL_EXE" "${ARGS[@]}") >"$OUT" 2>"$SCRATCH/err" &
    pid=$!
    wait_for lines:1 "$pid"
    kill -"$signal" "$pid" 2>/dev/null
    wait "$pid"
    rc=$?
    RUNS=$((RUNS + 1))
    expect_eq "SIG$signal while the tool runs: ended by the signal" $((128 + number)) "$rc"
    left="$(ls -A "$TEMP" | grep -v '^ScrivelTempFiles\.lock$')"
    if [ -n "$left" ]; then
        FOLDERS_LEFT=$((FOLDERS_LEFT + 1))
        fail "SIG$signal while the tool runs: left in the temporary directory: $left"
    fi
    rm -rf "$WORK_FOLDER"
done

# ---- a compile killed while it writes its output ---------------------------------

# The sample package compiled from a text file whose lines are made so long
# that the output comes to about 37 MB, written as the compile goes, about
# 3 MB at a time. Each run is killed once its output, found among the
# process's open files, holds 1 MB: the output is an unnamed file, and the
# folder must hold the inputs alone afterwards. With the process's descriptors hidden in /proc (an empty
# tmpfs over /proc/<pid>/fd, in a private mount namespace) the output cannot
# be named from its descriptor: it is a named hidden temporary file instead,
# which the kill leaves behind and the next compile of the same file, run
# there too, removes.
BIG="$SCRATCH/big"
mkdir -p "$BIG"
cp "$DEMO_PACKAGE" "$BIG/Demo.upk"
(cd "$BIG" && "$MONO" "$SCRIVEL_TOOL" Demo.upk >/dev/null 2>&1)
lines=$(iconv -f UTF-16 -t UTF-8 "$BIG/Demo.txt" | wc -l)
lengthen "$BIG/Demo.txt" $((20000000 / lines))
FD_HIDDEN=(unshare -m sh -c 'mount -t tmpfs none "/proc/$$/fd" && exec "$0" "$@"')
if [ "$(id -u)" -eq 0 ] && "${FD_HIDDEN[@]}" true 2>/dev/null; then
    PLACES=(folder fd-hidden)
else
    PLACES=(folder)
    echo "SKIPPED: descriptors hidden in /proc: needs root and a private mount namespace"
fi

# output_written PID: the size and the name of the file of the folder that
# PID has open for writing its output, if any.
output_written() {
    local link
    link="$(find "/proc/$1/fd" -mindepth 1 \( -lname "$WRITING/.*" -o -lname "$WRITING/#*" \) -printf '%p\n' 2>/dev/null | head -n 1)"
    [ -n "$link" ] && stat -L -c '%s' "$link" 2>/dev/null && readlink "$link"
}

KILLED_COMPILES=0
KILL_LEFTOVERS=""
for place in "${PLACES[@]}"; do
    prefix=()
    [ "$place" = fd-hidden ] && prefix=("${FD_HIDDEN[@]}")
    for signal in KILL TERM; do
        what="SIG$signal while the output is written ($place)"
        WRITING="$SCRATCH/writing"
        rm -rf "$WRITING"
        cp -r "$BIG" "$WRITING"
        (cd "$WRITING" && XDG_RUNTIME_DIR="$TEMP" exec "${prefix[@]}" "$SCRIVEL_EXE" Demo.txt) >"$SCRATCH/out" 2>&1 &
        pid=$!
        seen=()
        while kill -0 "$pid" 2>/dev/null; do
            mapfile -t seen < <(output_written "$pid")
            [ "${#seen[@]}" -eq 2 ] && [ "${seen[0]}" -ge 1000000 ] && break
        done
        kill -"$signal" "$pid" 2>/dev/null
        wait "$pid"
        rc=$?
        KILLED_COMPILES=$((KILLED_COMPILES + 1))
        expect_eq "$what: ended by the signal" $((128 + $(kill -l "$signal"))) "$rc"
        written="${seen[1]:-none}"
        left="$(ls -A "$WRITING" | grep -v -x -e Demo.upk -e Demo.txt)"
        KILL_LEFTOVERS="$KILL_LEFTOVERS SIG$signal/$place=${written##*/}:$(echo $left)"
        if [ "$place" = folder ]; then
            [[ "$written" == "$WRITING/#"*" (deleted)" ]] || fail "$what: written into $written, not an unnamed file"
            expect_eq "$what: left in the folder" "" "$left"
        else
            [[ "$written" == "$WRITING/.Demo.upk.clxi."*".tmp" ]] || fail "$what: written into $written, not a named temporary file"
            expect_eq "$what: left in the folder" "${written##*/}" "$left"
            out="$(cd "$WRITING" && XDG_RUNTIME_DIR="$TEMP" "${prefix[@]}" "$SCRIVEL_EXE" Demo.txt 2>&1)"
            [[ "$out" == *"File Demo.clxi compiled successfully!"* ]] || fail "$what: the next compile failed: $out"
            expect_eq "$what: the next compile, left in the folder" "Demo.upk.clxi" "$(ls -A "$WRITING" | grep -v -x -e Demo.upk -e Demo.txt)"
        fi
        left="$(ls -A "$TEMP" | grep -v '^ScrivelTempFiles\.lock$')"
        [ -z "$left" ] || [ "$signal" = KILL ] || fail "$what: left in the temporary directory: $left"
        rm -rf "$WORK_FOLDER" "$WRITING"
    done
done

summary=""
for signal in TERM INT; do
    for phase in unpacking between tool finished; do
        summary="$summary SIG$signal/$phase=${HITS[$signal,$phase]:-0}"
    done
done
finish "interrupted runs: $RUNS runs killed ($summary, ${#OTHER_SIGNALS[@]} by other signals ), $KILLED_COMPILES compiles killed while writing (written into:left behind$KILL_LEFTOVERS ), $LOST outputs damaged, $FOLDERS_LEFT working folders left, $TEMPORARY_LEFT temporary files left and $TEMPORARY_AFTER_RERUN of them still there after $RERUNS next runs"
