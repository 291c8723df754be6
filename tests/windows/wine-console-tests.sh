#!/bin/bash
# The real scrivel.exe on a Windows console under Wine: a console shows bytes
# in its own code page (437 here, as on a US Windows), so the tool's text must
# reach it as characters. A package whose name holds Cyrillic, Polish and
# Japanese letters is extracted and compiled:
#
# - dropped on the executable (the launcher creates its console), read off
#   that console's screen by detached_runner.exe --own-console;
# - from a command prompt (cmd /c start /wait in a console of the runner's
#   own, code page 437), read off that console afterwards.
#
# Each screen must show the name itself in the tool's lines and the bar as
# 31 shaded cells between its bars, on the row it had.
#
# The environment: as for wine-tool-tests.sh.
set -u
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/wine-env.sh" "$SCRIVEL_WINE_PREFIX"
wine_tool_test_start console-tool

wine_display "$WORK"
case $? in
    0) ;;
    77) exit 77 ;;
    *) fail "no virtual display"; finish ;;
esac

name="Диалоги Żółć 字幕"
package="$WORK/$name.upk"
cp "$SCRIVEL_SOURCE_DIR/samples/Demo.upk" "$package"
win_package="$(wine_path "$package")"
win_text="$(wine_path "$WORK/$name.txt")"
cells="$(printf '▒%.0s' $(seq 31))"

# The rows that must stand on the screen, each whole, for an extraction and a
# compilation of the package.
extracted=("File: $name.upk (6423388)"
    "Extracting subtitles: |$cells| 100%"
    "Text File $name.upk successfully extracted!"
    "..DONE..")
compiled=("Compiling subtitles |$cells| 100%"
    "File $name.clxi compiled successfully!"
    "..DONE..")

expect_screen() {  # what report expected-rows...
    local what="$1" report="$2" row
    shift 2
    expect_contains "$what: the console's code page" "$report" "runner: code page 437"
    sed -n '/^runner: the console shows:$/,/^runner: /p' "$report" >"$report.screen"
    for row in "$@"; do
        grep -qxF -- "$row" "$report.screen" || fail "$what: no row \"$row\" on the screen (see $report.screen)"
    done
}

# run NAME RUNNER-OPTIONS...: the runner's report in NAME.out
run() {
    local name="$1"
    shift
    timeout 150 wine "$RUNNER_EXE" "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" </dev/null
    expect_eq "$name: the runner's exit code" 0 "$?"
}

# Dropped on the executable: a console of its own, closed with a key.
run dropped-extract --own-console "$(wine_path "$SCRIVEL_EXE")" "$win_package"
expect_screen "dropped, extraction" "$WORK/dropped-extract.out" "${extracted[@]}"
expect_contains "dropped, extraction" "$WORK/dropped-extract.out" "runner: ended on a key"
[ -s "$WORK/$name.txt" ] || fail "dropped, extraction: no text file"
run dropped-compile --own-console "$(wine_path "$SCRIVEL_EXE")" "$win_text"
expect_screen "dropped, compilation" "$WORK/dropped-compile.out" "${compiled[@]}"
[ -s "$package.clxi" ] || fail "dropped, compilation: no compiled package"

# From a command prompt: the launcher attaches to the prompt's console.
rm -f "$WORK/$name.txt" "$package.clxi"
run prompt-extract --in-console 437 cmd /c start /wait "$(wine_path "$SCRIVEL_EXE")" "$win_package"
expect_screen "from a prompt, extraction" "$WORK/prompt-extract.out" "${extracted[@]}"
run prompt-compile --in-console 437 cmd /c start /wait "$(wine_path "$SCRIVEL_EXE")" "$win_text"
expect_screen "from a prompt, compilation" "$WORK/prompt-compile.out" "${compiled[@]}"
[ -s "$package.clxi" ] || fail "from a prompt, compilation: no compiled package"

finish
