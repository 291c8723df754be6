#!/bin/bash
# The single executable ended by SIGTERM and by SIGINT at points spread over
# its run: as soon as the working folder exists, as each of the archive's
# files appears while it is unpacked, as soon as the tool has printed its
# first line, and after fixed delays. At each point the process is frozen
# (SIGSTOP) to see where it stands, then sent the signal and let go. It must
# end by that signal, and leave no working folder (nor a spare one) behind;
# the text files it was extracting are each either absent or whole. The run
# is given many packages, so that the tool's part lasts long enough to be
# hit at several points too. Last, every other signal the launcher cleans
# up on, once each while the tool runs.
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

summary=""
for signal in TERM INT; do
    for phase in unpacking between tool finished; do
        summary="$summary SIG$signal/$phase=${HITS[$signal,$phase]:-0}"
    done
done
finish "interrupted runs: $RUNS runs killed ($summary, ${#OTHER_SIGNALS[@]} by other signals ), $LOST outputs damaged, $FOLDERS_LEFT working folders left, $TEMPORARY_LEFT temporary files left and $TEMPORARY_AFTER_RERUN of them still there after $RERUNS next runs"
