#!/bin/bash
# Tests of the Windows executable, run by ctest on the host build
# (tests/windows/CMakeLists.txt):
#
#   wine-tests.sh CASE
#
# CASE is one of: pe, i686, start, stop, unpack, arguments, console,
# dropped, folder, failures, version. The environment names the builds and folders:
#   SCRIVEL_WINDOWS_ENV   scrivel-windows.env written by the Windows build
#   SCRIVEL_WINE_PREFIX   the tests' Wine prefix
#   SCRIVEL_TEST_WORK     a folder for logs and outputs
#   PE_CHECK              the host's PE checker
#   SCRIVEL_SOURCE_DIR, SCRIVEL_I686_BUILD_DIR, SCRIVEL_HOST_ARCHIVE_BUILDER
#                         for the 32-bit build (case i686)
#
# The launchers run under Wine as from a command prompt (start /wait /b); a
# stand-in runtime (fake_mono.cpp) logs what the launcher asks of it.
set -u
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
case_name="${1:-}"
. "$here/wine-env.sh" "$SCRIVEL_WINE_PREFIX"
. "$SCRIVEL_WINDOWS_ENV"

WORK="$SCRIVEL_TEST_WORK/$case_name"
rm -rf "$WORK"
mkdir -p "$WORK"

. "$here/checks.sh"

# ---- running the launcher -----------------------------------------------------

TEMP_DIR="$(wine_temp_dir)"
WIN_USER="$(basename "$(dirname "$TEMP_DIR")")"
WORK_FOLDER="$TEMP_DIR/ScrivelTempFiles"
WIN_WORK_FOLDER="C:\\users\\$WIN_USER\\Temp\\ScrivelTempFiles"

# run_launcher EXE NAME [ARGUMENTS...]: runs EXE as from a command prompt;
# the stand-in runtime logs to $WORK/NAME.log, the output goes to NAME.out
# and NAME.err, the exit code to RC.
run_launcher() {
    local exe="$1" name="$2"
    shift 2
    rm -f "$WORK/$name.log"
    SCRIVEL_FAKE_MONO_LOG="$(wine_path "$WORK/$name.log")" \
        timeout 60 wine start /wait /b "$(wine_path "$exe")" "$@" \
        >"$WORK/$name.out" 2>"$WORK/$name.err" </dev/null
    RC=$?
    touch "$WORK/$name.log"
}

# run_detached NAME [--temp DIR] EXE [ARGUMENTS...]: as a desktop start
# would, without a console (through detached_runner.exe).
run_detached() {
    local name="$1"
    shift
    rm -f "$WORK/$name.log"
    SCRIVEL_FAKE_MONO_LOG="$(wine_path "$WORK/$name.log")" \
        timeout 60 wine "$RUNNER_EXE" "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" </dev/null
    RC=$?
    touch "$WORK/$name.log"
}

# The file and folder lines the stand-in runtime writes for a folder that
# holds exactly the entries of an archive list (source<TAB>name per line).
expected_listing() {
    local source name crc size parent
    while IFS=$'\t' read -r source name; do
        case "$source" in "" | \#*) continue ;; esac
        read -r crc size _ < <(cksum "$source")
        printf '%s\tfile %s %s %s\n' "$name" "$name" "$size" "$crc"
        parent="$name"
        while [[ "$parent" == *\\* ]]; do
            parent="${parent%\\*}"
            printf '%s\tdir %s\n' "$parent" "$parent"
        done
    done <"$1" | LC_ALL=C sort -u -t $'\t' -k1,1 | cut -f2-
}

expected_lookups() {
    local n
    for n in mono_set_dirs mono_set_assemblies_path mono_config_parse mono_set_defaults \
        mono_jit_init_version mono_parse_default_optimizations mono_domain_assembly_open \
        mono_jit_exec; do
        echo "lookup $n"
    done
}

# expected_calls FOLDER ASSEMBLY-STATE [ARGC]: the calls up to the opening of
# the tool and, with ARGC, its execution.
expected_calls() {
    local w="$1"
    echo "call mono_set_dirs \"$w\\lib\" \"$w\\etc\""
    echo "call mono_set_assemblies_path \"$w\\lib\""
    echo "call mono_config_parse \"$w\\etc\\mono\\config\""
    echo "call mono_parse_default_optimizations (null)"
    echo "call mono_set_defaults 0 default-flags"
    echo "call mono_jit_init_version \"Scrivel.exe\" \"v4.0.30319\""
    echo "call mono_domain_assembly_open domain \"$w\\Scrivel.exe\" $2"
    [ $# -ge 3 ] && echo "call mono_jit_exec domain assembly $3"
    return 0
}

# The arguments the tool received, one per line, from a log.
tool_arguments() {
    grep -E '^argv\[[0-9]+\]=' "$1" | tail -n +2 | sed -E 's/^argv\[[0-9]+\]=//'
}

# What is left in the working folder after a run: nothing, or only the
# runtime library, which stays loaded until the process ends.
expect_folder_cleared() {  # what [folder]
    local folder="${2:-$WORK_FOLDER}"
    [ -e "$folder" ] || return 0
    local left
    left="$(cd "$folder" && find . -mindepth 1 | LC_ALL=C sort | tr '\n' ' ')"
    expect_eq "$1: working folder after the run" "./mono.dll " "$left"
}

# ---- the cases --------------------------------------------------------------------

case_pe() {
    "$PE_CHECK" "$SCRIVEL_EXE" --machine x86_64 --archive "$SCRIVEL_ARCHIVE" || fail "scrivel.exe"
    "$PE_CHECK" "$TEST_FULL_EXE" --machine x86_64 --archive "$TEST_FULL_ARCHIVE" || fail "full"
    "$PE_CHECK" "$TEST_NO_RUNTIME_EXE" --machine x86_64 --archive "$TEST_NO_RUNTIME_ARCHIVE" ||
        fail "without runtime"
    "$PE_CHECK" "$TEST_NO_TOOL_EXE" --machine x86_64 --archive "$TEST_NO_TOOL_ARCHIVE" ||
        fail "without tool"
    "$PE_CHECK" "$TEST_NOT_ARCHIVE_EXE" --machine x86_64 --archive "$TEST_NOT_ARCHIVE_FILE" ||
        fail "not an archive"
    "$PE_CHECK" "$TEST_NO_ARCHIVE_EXE" --machine x86_64 --no-archive || fail "without archive"
    # The checker must see what is wrong with a console program that has no
    # icon, no manifest and no archive, and with a wrong archive.
    "$PE_CHECK" "$RUNNER_EXE" --machine x86_64 --no-archive >"$WORK/runner.txt"
    expect_eq "checker on a console program" 1 $?
    expect_contains "checker" "$WORK/runner.txt" "not built for the GUI subsystem"
    expect_contains "checker" "$WORK/runner.txt" "icon group 107 is missing"
    expect_contains "checker" "$WORK/runner.txt" "expected exactly one manifest, found 0"
    "$PE_CHECK" "$TEST_FULL_EXE" --machine i386 --archive "$TEST_NO_TOOL_ARCHIVE" >"$WORK/wrong.txt"
    expect_eq "checker on a wrong archive" 1 $?
    expect_contains "checker" "$WORK/wrong.txt" "RCDATA 129 differs"
    expect_contains "checker" "$WORK/wrong.txt" "the machine type is not i386"
    finish
}

case_i686() {
    local dir="$SCRIVEL_I686_BUILD_DIR"
    if ! cmake -S "$SCRIVEL_SOURCE_DIR" -B "$dir" \
        -DCMAKE_TOOLCHAIN_FILE="$SCRIVEL_SOURCE_DIR/cmake/mingw-w64-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release \
        -DSCRIVEL_HOST_ARCHIVE_BUILDER="$SCRIVEL_HOST_ARCHIVE_BUILDER" >"$WORK/configure.log" 2>&1; then
        tail -20 "$WORK/configure.log"
        fail "32-bit configuration"
        finish
    fi
    if ! cmake --build "$dir" --target scrivel_test_no_archive -j2 >"$WORK/build.log" 2>&1; then
        grep -E 'error|Error' "$WORK/build.log" | head -20
        fail "32-bit build"
        finish
    fi
    "$PE_CHECK" "$dir/tests/windows/scrivel_test_no_archive.exe" --machine i386 --no-archive ||
        fail "32-bit executable"
    finish
}

case_unpack() {
    rm -rf "$WORK_FOLDER"
    run_launcher "$TEST_FULL_EXE" run Package.upk /silent
    local log="$WORK/run.log"
    expect_eq "exit code" 0 "$RC"
    expect_eq "the runtime library is loaded from the working folder" \
        "attach $WIN_WORK_FOLDER" "$(grep '^attach ' "$log")"
    expected_lookups >"$WORK/lookups.expected"
    grep '^lookup ' "$log" >"$WORK/lookups.actual"
    expect_same_lines "the eight look-ups, in order" "$WORK/lookups.expected" "$WORK/lookups.actual"
    expected_listing "$TEST_FULL_LIST" >"$WORK/files.expected"
    grep -E '^(file|dir) ' "$log" >"$WORK/files.actual"
    expect_same_lines "the unpacked files, byte for byte" "$WORK/files.expected" "$WORK/files.actual"
    expected_calls "$WIN_WORK_FOLDER" found 2 >"$WORK/calls.expected"
    grep -E '^(call|UNEXPECTED) ' "$log" >"$WORK/calls.actual"
    expect_same_lines "the eight calls, in order, with their arguments" \
        "$WORK/calls.expected" "$WORK/calls.actual"
    expect_eq "the tool's arguments" "Package.upk" "$(tool_arguments "$log")"
    expect_contains "the vector" "$log" "argv[2] null"
    expect_contains "element 0 is the launcher's own path" "$log" \
        "argv[0]=$(wine_path "$TEST_FULL_EXE")"
    # The look-ups come after loading and before the first call.
    expect_eq "order of load, look-ups and calls" "attach lookup call" \
        "$(grep -oE '^(attach|lookup|call)' "$log" | uniq | tr '\n' ' ' | sed 's/ $//')"
    expect_folder_cleared "after a run"
    finish
}

# check_arguments NAME EXPECTED-FILE [ARGUMENTS...]
check_arguments() {
    local name="$1" expected="$2"
    shift 2
    run_launcher "$TEST_FULL_EXE" "$name" "$@"
    expect_eq "$name: exit code" 0 "$RC"
    tool_arguments "$WORK/$name.log" >"$WORK/$name.args"
    expect_same_lines "$name: the tool's arguments" "$expected" "$WORK/$name.args"
}

case_arguments() {
    local none="$WORK/none.expected"
    : >"$none"
    check_arguments no-arguments "$none"
    check_arguments silent-alone "$none" /silent
    printf '%s\n' Package.upk >"$WORK/one.expected"
    check_arguments package-silent "$WORK/one.expected" Package.upk /silent
    printf '%s\n' /silent Package.upk >"$WORK/first.expected"
    check_arguments silent-first "$WORK/first.expected" /silent Package.upk
    printf '%s\n' Package.upk /silent >"$WORK/twice.expected"
    check_arguments silent-twice "$WORK/twice.expected" Package.upk /silent /silent
    printf '%s\n' /SILENT >"$WORK/capitals.expected"
    check_arguments capitals "$WORK/capitals.expected" /SILENT
    # The runtime sees no MONO_* variable, in whatever case, through the
    # process's environment or the C runtime's copy, unless
    # SCRIVEL_KEEP_MONO_ENV=1 keeps them.
    local settings=(MONO_DEBUG=bogus MONO_LOG_LEVEL=debug mono_threads_suspend=bogus)
    (export "${settings[@]}" && run_launcher "$TEST_FULL_EXE" settings-dropped /silent)
    expect_eq "settings dropped" "" "$(grep '^env ' "$WORK/settings-dropped.log")"
    (export "${settings[@]}" SCRIVEL_KEEP_MONO_ENV=1 && run_launcher "$TEST_FULL_EXE" settings-kept /silent)
    expect_eq "settings kept" "$(printf 'env %s MONO_DEBUG=bogus\nenv %s MONO_LOG_LEVEL=debug\nenv %s mono_threads_suspend=bogus\n' \
        crt crt crt process process process)" "$(grep '^env ' "$WORK/settings-kept.log" | LC_ALL=C sort)"
    # Blanks, quotes, the command interpreter's special characters, letters
    # outside any one code page, an empty argument and trailing backslashes
    # arrive exactly as given.
    local special=("C:\\My Files\\Dialogue 01.upk" 'say "hi"' 'Tom & Jerry' '100%' '%PATH%'
        'a^b' 'Zażółć gęślą jaźń' '日本語の字幕.txt' 'Ελληνικά' '' 'ends with\' 'x\"y')
    printf '%s\n' "${special[@]}" >"$WORK/special.expected"
    check_arguments special "$WORK/special.expected" "${special[@]}" /silent
    finish
}

case_console() {
    if ! command -v tmux >/dev/null; then
        echo "tmux is missing: the console test needs it (run scripts/setup.sh)"
        exit 77
    fi
    local script="$WORK/console.sh" socket="scrivel-wine-$$"
    cat >"$script" <<EOF
. "$here/wine-env.sh" "$SCRIVEL_WINE_PREFIX"
run() {
    local label="\$1"
    shift
    echo "=== begin \$label"
    SCRIVEL_FAKE_MONO_LOG='$(wine_path "$WORK")\\'"\$label.log" wine "$RUNNER_EXE" "\$@"
    echo "=== end \$label rc=\$?"
}
exe='$(wine_path "$TEST_FULL_EXE")'
run console "\$exe" Package.upk
run silent "\$exe" Package.upk /silent
run capitals "\$exe" /SILENT
run failure '$(wine_path "$TEST_NO_ARCHIVE_EXE")'
run failure-silent '$(wine_path "$TEST_NO_ARCHIVE_EXE")' /silent
echo "=== all done"
exec sleep 300
EOF
    tmux -L "$socket" new-session -d -s wine -x 220 -y 60 "bash '$script'" </dev/null >/dev/null 2>&1
    local pane="$WORK/pane.txt" waited=0
    while :; do
        tmux -L "$socket" capture-pane -p -J -S - -t wine >"$pane" 2>/dev/null
        grep -q '^=== all done' "$pane" && break
        if [ "$waited" -ge 120 ]; then
            fail "the console runs did not finish within 120 s"
            break
        fi
        sleep 1
        waited=$((waited + 1))
    done
    tmux -L "$socket" kill-server >/dev/null 2>&1
    section() { sed -n "/^=== begin $1\$/,/^=== end $1 /p" "$pane" >"$WORK/$1.pane"; }
    for s in console silent capitals failure failure-silent; do section "$s"; done

    # Attached to the console of the program that started it, the tool's
    # output through the standard output handle and through the C runtime's
    # stdout both appear there.
    expect_contains "console mode" "$WORK/console.pane" "fake runtime: 1 argument(s)"
    expect_contains "console mode" "$WORK/console.pane" "  [Package.upk]"
    expect_contains "console mode" "$WORK/console.pane" "fake runtime: C stdout reaches the console"
    expect_contains "console mode" "$WORK/console.pane" "=== end console rc=0"
    expect_lacks "console mode: a run without failures reports none" "$WORK/console.pane" "Scrivel:"
    # Attached or silent, the launcher never asks for a key (a run that
    # waited for one would not have ended above).
    for s in console silent failure failure-silent; do
        expect_lacks "$s: no prompt" "$WORK/$s.pane" "Press any key"
    done
    # Silent: the tool runs, but nothing reaches the console.
    expect_lacks "silent mode" "$WORK/silent.pane" "fake runtime"
    expect_contains "silent mode" "$WORK/silent.pane" "=== end silent rc=0"
    expect_eq "silent mode: the tool ran" "Package.upk" "$(tool_arguments "$WORK/silent.log")"
    expect_contains "capitals are not the switch" "$WORK/capitals.pane" "  [/SILENT]"
    # A launcher failure is reported on the console, and only there.
    expect_contains "failure in console mode" "$WORK/failure.pane" "Scrivel: the executable carries no archive"
    expect_contains "failure in console mode" "$WORK/failure.pane" "=== end failure rc=0"
    expect_lacks "failure in silent mode" "$WORK/failure-silent.pane" "Scrivel:"
    expect_contains "failure in silent mode" "$WORK/failure-silent.pane" "=== end failure-silent rc=0"
    finish
}

# A start from the desktop or by drag and drop: no console to attach to, so
# the launcher creates one, which must stay open until a key is pressed.
# Wine's consoles need a display for that: a virtual one (Xvfb).
case_dropped() {
    wine_display "$WORK"
    case $? in
        0) ;;
        77) exit 77 ;;
        *) fail "no virtual display"; finish ;;
    esac

    # name | expected report of the runner | runner options and arguments
    local runs=(
        "created|the console shows:;Press any key to close this window.;still waiting after Shift;ended on a key;exit code 0|$TEST_FULL_EXE Package.upk"
        "created-failure|Scrivel: the executable carries no archive;Press any key to close this window.;ended on a key|$TEST_NO_ARCHIVE_EXE Package.upk"
        "created-exit|Press any key to close this window.;ended on a key;exit code 0|$TEST_FULL_EXE Package.upk"
        "silent|ended without a prompt;exit code 0|$TEST_FULL_EXE Package.upk /silent"
        "input-pipe|ended without a prompt;exit code 0|--input-pipe $TEST_FULL_EXE Package.upk"
    )
    local run name expected words line lines i
    for run in "${runs[@]}"; do
        IFS='|' read -r name expected words <<<"$run"
        read -r -a words <<<"$words"
        for i in "${!words[@]}"; do
            [[ "${words[$i]}" == /*.exe ]] && words[$i]="$(wine_path "${words[$i]}")"
        done
        [ "$name" = created-exit ] && export SCRIVEL_FAKE_MONO_EXIT=3
        run_detached "$name" --own-console "${words[@]}"
        unset SCRIVEL_FAKE_MONO_EXIT
        IFS=';' read -r -a lines <<<"$expected"
        for line in "${lines[@]}"; do expect_contains "$name" "$WORK/$name.out" "$line"; done
    done
    expect_contains "created: the tool's output stays on the screen" "$WORK/created.out" "  [Package.upk]"
    grep -A1 -x -F "..DONE.." "$WORK/created.out" | grep -qx -F "Press any key to close this window." ||
        fail "created: the prompt does not stand on a line of its own after the tool's output"
    expect_contains "created-exit: the tool ended the process itself" "$WORK/created-exit.log" "exit 3"
    expect_folder_cleared "created consoles"
    finish
}

case_folder() {
    local expected="$WORK/files.expected"
    expected_listing "$TEST_FULL_LIST" >"$expected"

    # A folder left over with files, folders and a read-only file in it.
    rm -rf "$WORK_FOLDER"
    mkdir -p "$WORK_FOLDER/old/deeper" "$WORK_FOLDER/lib"
    echo stale >"$WORK_FOLDER/stale.txt"
    echo stale >"$WORK_FOLDER/old/deeper/file.txt"
    echo stale >"$WORK_FOLDER/lib/mscorlib.dll"
    echo stale >"$WORK_FOLDER/read-only.txt"
    chmod a-w "$WORK_FOLDER/read-only.txt"
    run_launcher "$TEST_FULL_EXE" leftover Package.upk /silent
    expect_eq "leftover folder: exit code" 0 "$RC"
    grep -E '^(file|dir) ' "$WORK/leftover.log" >"$WORK/leftover.files"
    expect_same_lines "leftover folder: only the archive's files" "$expected" "$WORK/leftover.files"
    expect_folder_cleared "leftover folder"

    # The runtime library the previous run could not delete.
    run_launcher "$TEST_FULL_EXE" again Package.upk /silent
    grep -E '^(file|dir) ' "$WORK/again.log" >"$WORK/again.files"
    expect_same_lines "second run: only the archive's files" "$expected" "$WORK/again.files"

    # A leftover folder with a file that cannot be deleted (immutable on the
    # host's file system, as a file held open is on Windows): the run uses a
    # spare folder beside it, and a later run removes both once they can go.
    rm -rf "$WORK_FOLDER"
    mkdir -p "$WORK_FOLDER/lib"
    echo held >"$WORK_FOLDER/lib/held.dll"
    if chattr +i "$WORK_FOLDER/lib/held.dll" 2>/dev/null; then
        run_launcher "$TEST_FULL_EXE" undeletable Package.upk /silent
        chattr -i "$WORK_FOLDER/lib/held.dll"
        expect_eq "undeletable: exit code" 0 "$RC"
        local attach spare_prefix="attach $WIN_WORK_FOLDER-"
        attach="$(grep '^attach ' "$WORK/undeletable.log")"
        [[ "$attach" == "$spare_prefix"* && "${attach#"$spare_prefix"}" =~ ^[0-9]+-1$ ]] ||
            fail "undeletable: not run from a spare folder: $attach"
        grep -E '^(file|dir) ' "$WORK/undeletable.log" >"$WORK/undeletable.files"
        expect_same_lines "undeletable: the archive unpacked" "$expected" "$WORK/undeletable.files"
        expect_eq "undeletable: the held file stays" "held" "$(cat "$WORK_FOLDER/lib/held.dll")"
        run_launcher "$TEST_FULL_EXE" deletable-again Package.upk /silent
        expect_eq "deletable again: run from the usual folder" "attach $WIN_WORK_FOLDER" \
            "$(grep '^attach ' "$WORK/deletable-again.log")"
        expect_eq "deletable again: spare folders left" "" \
            "$(ls -A "$TEMP_DIR" | grep '^ScrivelTempFiles-')"
        expect_folder_cleared "deletable again"
    else
        echo "(no immutable files on this file system: the undeletable folder is not tested)"
    fi

    # A file where the folder belongs.
    rm -rf "$WORK_FOLDER"
    echo "not a folder" >"$WORK_FOLDER"
    run_launcher "$TEST_FULL_EXE" file-in-place Package.upk /silent
    expect_eq "file in place: exit code" 0 "$RC"
    grep -E '^(file|dir) ' "$WORK/file-in-place.log" >"$WORK/file-in-place.files"
    expect_same_lines "file in place: the archive unpacked" "$expected" "$WORK/file-in-place.files"
    [ -f "$WORK_FOLDER" ] && fail "file in place: the file is still there"

    # A temporary directory whose name has letters outside the ANSI code page.
    local name="Zażółć ąę ŁŚ"
    mkdir -p "$TEMP_DIR/$name"
    rm -rf "$TEMP_DIR/$name/ScrivelTempFiles"
    local win_temp="C:\\users\\$WIN_USER\\Temp\\$name"
    run_detached letters --temp "$win_temp" "$(wine_path "$TEST_FULL_EXE")" Package.upk /silent
    expect_eq "letters: exit code" 0 "$RC"
    expect_eq "letters: loaded from the working folder" \
        "attach $win_temp\\ScrivelTempFiles" "$(grep '^attach ' "$WORK/letters.log")"
    grep -E '^(file|dir) ' "$WORK/letters.log" >"$WORK/letters.files"
    expect_same_lines "letters: the archive unpacked" "$expected" "$WORK/letters.files"
    expected_calls "$win_temp\\ScrivelTempFiles" found 2 >"$WORK/letters.calls.expected"
    grep -E '^call ' "$WORK/letters.log" >"$WORK/letters.calls"
    expect_same_lines "letters: the runtime gets the paths in UTF-8" \
        "$WORK/letters.calls.expected" "$WORK/letters.calls"
    expect_folder_cleared "letters" "$TEMP_DIR/$name/ScrivelTempFiles"
    echo "(the ANSI code page under Wine: $(sed -n 's/^codepage //p' "$WORK/letters.log"))"

    # A link in the folder's place or inside it is at most removed itself,
    # never followed: what it points at stays. (Wine cannot remove a link
    # to a folder that has content; the launcher then uses a spare folder.)
    local outside="$WORK/outside"
    mkdir -p "$outside/inner"
    echo precious >"$outside/precious.txt"
    echo precious >"$outside/inner/precious.txt"
    rm -rf "$WORK_FOLDER"
    ln -s "$outside" "$WORK_FOLDER"
    run_launcher "$TEST_FULL_EXE" link-in-place Package.upk /silent
    expect_eq "link in place: exit code" 0 "$RC"
    [ -f "$outside/precious.txt" ] && [ -f "$outside/inner/precious.txt" ] ||
        fail "link in place: the folder it points at was emptied"
    rm -f "$WORK_FOLDER"
    mkdir -p "$WORK_FOLDER"
    ln -s "$outside" "$WORK_FOLDER/lib"
    run_launcher "$TEST_FULL_EXE" link-inside Package.upk /silent
    expect_eq "link inside: exit code" 0 "$RC"
    [ -f "$outside/precious.txt" ] && [ -f "$outside/inner/precious.txt" ] ||
        fail "link inside: the folder it points at was emptied"
    rm -rf "$WORK_FOLDER"
    finish
}

case_failures() {
    # No runtime library in the archive: nothing of the runtime runs, the
    # folder goes.
    run_launcher "$TEST_NO_RUNTIME_EXE" no-runtime Package.upk /silent
    expect_eq "without runtime: exit code" 0 "$RC"
    [ -s "$WORK/no-runtime.log" ] && fail "without runtime: a runtime library was loaded"
    [ -e "$WORK_FOLDER" ] && fail "without runtime: the working folder is still there"

    # No tool: the runtime is set up, the assembly is not found, nothing runs.
    run_launcher "$TEST_NO_TOOL_EXE" no-tool Package.upk /silent
    expect_eq "without tool: exit code" 0 "$RC"
    expected_calls "$WIN_WORK_FOLDER" missing >"$WORK/no-tool.expected"
    grep -E '^(call|UNEXPECTED) ' "$WORK/no-tool.log" >"$WORK/no-tool.calls"
    expect_same_lines "without tool: the calls" "$WORK/no-tool.expected" "$WORK/no-tool.calls"
    expect_folder_cleared "without tool"

    # A block that is not an archive: nothing unpacked, the folder goes.
    run_launcher "$TEST_NOT_ARCHIVE_EXE" not-archive Package.upk /silent
    expect_eq "not an archive: exit code" 0 "$RC"
    [ -s "$WORK/not-archive.log" ] && fail "not an archive: a runtime library was loaded"
    [ -e "$WORK_FOLDER" ] && fail "not an archive: the working folder is still there"

    # No archive at all: the empty folder stays until the next start.
    run_launcher "$TEST_NO_ARCHIVE_EXE" no-archive Package.upk /silent
    expect_eq "without archive: exit code" 0 "$RC"
    [ -d "$WORK_FOLDER" ] || fail "without archive: no empty working folder"
    expect_eq "without archive: the folder is empty" "" "$(ls -A "$WORK_FOLDER" 2>/dev/null)"

    # A temporary directory too small for the runtime library (a small file
    # system, reached through Z:): one line says that space ran out, and the
    # place is left as it was, but for the lock file.
    local full="$WORK/full-temp"
    mkdir -p "$full"
    if mount -t tmpfs -o size=256k tmpfs "$full" 2>/dev/null; then
        local temp
        temp="$(wine_path "$full")"
        SCRIVEL_FAKE_MONO_LOG="$(wine_path "$WORK/full-temp.log")" timeout 60 \
            wine cmd /c "set TEMP=$temp&& set TMP=$temp&& $(wine_path "$TEST_FULL_EXE") Package.upk" \
            >"$WORK/full-temp.out" 2>"$WORK/full-temp.err" </dev/null
        expect_eq "full temporary directory: exit code" 0 "$?"
        expect_eq "full temporary directory: the line" \
            "Scrivel: %TEMP%: no space left in $temp for the working folder" "$(tr -d '\r' <"$WORK/full-temp.err")"
        expect_eq "full temporary directory: what is left" "ScrivelTempFiles.lock" "$(ls -A "$full")"
        [ -s "$WORK/full-temp.log" ] && fail "full temporary directory: a runtime library was loaded"
        umount -l "$full"
    else
        echo "(no small file system could be mounted: the full temporary directory is not tested)"
    fi

    # The tool ends the process itself (exit): the folder still goes, and
    # the exit code is 0.
    SCRIVEL_FAKE_MONO_EXIT=3 run_launcher "$TEST_FULL_EXE" tool-exit Package.upk /silent
    expect_eq "tool calls exit: exit code" 0 "$RC"
    expect_contains "tool calls exit" "$WORK/tool-exit.log" "exit 3"
    expect_folder_cleared "tool calls exit"
    finish
}

# The version resource as the file's properties show it: the numbers of
# VERSION with a fourth 0, read back through the version library.
case_version() {
    local v
    v="$(tr -d ' \r\n' <"$SCRIVEL_SOURCE_DIR/VERSION").0"
    printf '%s\n' "FILEVERSION $v" "PRODUCTVERSION $v" "FILETYPE 1" "Translation 0409 04b0" \
        "FileDescription=Scrivel subtitle tool" "FileVersion=$v" "InternalName=scrivel" \
        "OriginalFilename=scrivel.exe" "ProductName=Scrivel" "ProductVersion=$v" >"$WORK/expected.txt"
    wine "$VERSION_PROBE_EXE" "$(wine_path "$SCRIVEL_EXE")" >"$WORK/scrivel.txt" 2>"$WORK/scrivel.err" </dev/null
    expect_eq "probe on scrivel.exe: exit code" 0 "$?"
    tr -d '\r' <"$WORK/scrivel.txt" >"$WORK/actual.txt"
    expect_same_lines "the version resource of scrivel.exe" "$WORK/expected.txt" "$WORK/actual.txt"
    # The probe must tell a file without one.
    wine "$VERSION_PROBE_EXE" "$(wine_path "$RUNNER_EXE")" >"$WORK/runner.txt" 2>&1 </dev/null
    expect_eq "probe on a program without a version resource: exit code" 1 "$?"
    expect_contains "probe on a program without a version resource" "$WORK/runner.txt" "no version resource"
    finish
}

case "$case_name" in
    start) wine_start ;;
    stop) wine_stop ;;
    pe | i686 | unpack | arguments | console | dropped | folder | failures | version) "case_$case_name" ;;
    *)
        echo "usage: $0 pe|i686|start|stop|unpack|arguments|console|dropped|folder|failures|version" >&2
        exit 2
        ;;
esac
