#!/bin/bash
# A Wine environment of the tests' own, headless, in the build tree.
#
#   tests/windows/wine-env.sh PREFIX start   create the prefix once, start a
#                                            persistent wine server for it
#   tests/windows/wine-env.sh PREFIX stop    stop that server
#
# Sourced (". wine-env.sh PREFIX"), it only sets the environment that every
# Wine call of the tests uses.
#
# Every Wine call sends its output to files and reads /dev/null: Wine's
# background services inherit the standard handles and keep a pipe open long
# after the program ended, which would hang whoever reads the pipe.

wine_env() {
    export WINEPREFIX="$1"
    export WINEDEBUG=-all
    export WINEARCH=win64
    # No prompts to install components, no windows: there is no display.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    unset DISPLAY WAYLAND_DISPLAY
    # Arguments with letters outside ASCII reach Wine as UTF-8.
    export LC_ALL=C.UTF-8
}

wine_start() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "creating the Wine prefix $WINEPREFIX (once; takes a while)"
        if ! wine wineboot --init >"$WINEPREFIX.boot.log" 2>&1 </dev/null; then
            echo "wineboot failed; see $WINEPREFIX.boot.log"
            return 1
        fi
        wineserver -w >/dev/null 2>&1 </dev/null
    fi
    # A persistent server makes each test's Wine start fast.
    wineserver -p >/dev/null 2>&1 </dev/null
    # The user's temporary directory must exist for the launcher.
    if [ -z "$(wine_temp_dir)" ]; then
        echo "the Wine prefix has no user temporary directory"
        return 1
    fi
    echo "Wine prefix ready: $WINEPREFIX"
}

wine_stop() {
    wineserver -k >/dev/null 2>&1 </dev/null
    return 0
}

# The Unix path of the user's temporary directory inside the prefix
# (C:\users\<user>\Temp).
wine_temp_dir() {
    local d
    for d in "$WINEPREFIX"/drive_c/users/*/Temp; do
        case "$d" in
            */users/Public/*) ;;
            *) [ -d "$d" ] && { echo "$d"; return 0; } ;;
        esac
    done
    return 1
}

# The start of a test of the real scrivel.exe: its build's environment, the
# skip when it carries the stand-in runtime, a fresh WORK folder named
# NAME under SCRIVEL_TEST_WORK, and the shared checks.
wine_tool_test_start() {  # name
    . "$SCRIVEL_WINDOWS_ENV"
    if [ -z "$SCRIVEL_WITH_RUNTIME" ]; then
        echo "SKIPPED: scrivel.exe carries the stand-in runtime (configured with SCRIVEL_WINDOWS_RUNTIME_BUILD=OFF)"
        exit 77
    fi
    WORK="$SCRIVEL_TEST_WORK/$1"
    rm -rf "$WORK"
    mkdir -p "$WORK"
    mkdir -m 700 "$WORK/linux-runtime-dir"
    . "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
}

# run_linux ARGS...: the Linux executable, with a working folder of this
# test's own, so that runs of other tests at the same time never make it
# wait (and say so).
run_linux() {
    XDG_RUNTIME_DIR="$WORK/linux-runtime-dir" "$SCRIVEL_LINUX_EXE" "$@"
}

# tree_arguments ARGS...: the same arguments for the two trees of a
# comparison, $WORK/linux and $WORK/windows: paths relative to each tree
# made whole (the Windows ones through Z:), options as they are; in the
# arrays linux_args and windows_args.
tree_arguments() {
    local arg
    linux_args=()
    windows_args=()
    for arg in "$@"; do
        case "$arg" in
            /*) linux_args+=("$arg"); windows_args+=("$arg") ;;
            *) linux_args+=("$WORK/linux/$arg"); windows_args+=("$(wine_path "$WORK/windows/$arg")") ;;
        esac
    done
}

# A virtual display (Xvfb) for the rest of the calling script, which Wine's
# created consoles need; stopped when the script exits. Returns 77 when Xvfb
# is missing, 1 when it gives no display.
wine_display() {  # folder for its log
    if ! command -v Xvfb >/dev/null; then
        echo "Xvfb is missing: a created console needs a display under Wine (run scripts/setup.sh)"
        return 77
    fi
    local display_file="$1/display" waited=0
    rm -f "$display_file"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >"$1/xvfb.log" 2>&1 &
    WINE_DISPLAY_PID=$!
    trap 'kill $WINE_DISPLAY_PID 2>/dev/null' EXIT
    while [ ! -s "$display_file" ] && [ "$waited" -lt 100 ]; do sleep 0.1; waited=$((waited + 1)); done
    if [ ! -s "$display_file" ]; then
        echo "Xvfb gave no display within 10 s (see $1/xvfb.log)"
        return 1
    fi
    export DISPLAY=":$(cat "$display_file")"
}

# Z:\ is the Unix root: the Windows form of an absolute Unix path.
wine_path() {
    local p="$1"
    echo "Z:${p//\//\\}"
}

if [ $# -ge 1 ]; then
    wine_env "$1"
fi
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    if [ $# -ne 2 ]; then
        echo "usage: $0 PREFIX start|stop" >&2
        exit 2
    fi
    case "$2" in
        start) wine_start ;;
        stop) wine_stop ;;
        *) echo "usage: $0 PREFIX start|stop" >&2; exit 2 ;;
    esac
fi
