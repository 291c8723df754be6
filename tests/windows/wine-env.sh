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
