#!/bin/bash
# PO files with the real scrivel.exe under Wine, against the Linux
# executable on the same files:
#
#   wine-po-tests.sh
#
# /po makes templates of the demo package and generated ones, and a PO file
# of an edited text file; .po arguments (any case, Foo.es.po finding Foo.upk)
# compile, a damaged PO file is refused on its line and the run goes on. The
# templates, PO files, compiled packages and console output must be the same
# bytes on both, in a folder and under names with Polish, Japanese and Greek
# letters.
#
# The environment: as for wine-tool-tests.sh.
set -u
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/wine-env.sh" "$SCRIVEL_WINE_PREFIX"
wine_tool_test_start po

MONO_PATH="$SCRIVEL_TOOL_DIR" mono "$SAME_PACKAGES_EXE" "$WORK/generated" 2 ||
    fail "the package generator failed"
folder="Napisy 字幕 Υπότιτλοι"
make_tree() {  # root
    mkdir -p "$1/$folder"
    cp "$SCRIVEL_SOURCE_DIR/samples/Demo.upk" "$1/$folder/Dialogi łódź.upk"
    cp "$SCRIVEL_SOURCE_DIR/samples/Demo.upk" "$1/$folder/Edited.upk"
    cp "$WORK/generated/Random01.upk" "$1/$folder/Random01.upk"
    cp "$WORK/generated/Random02.upk" "$1/$folder/Random02.upk"
    printf 'msgid "a\\q"\nmsgstr ""\n' >"$1/$folder/Edited.broken.po"
}
make_tree "$WORK/linux"
make_tree "$WORK/windows"

# run_both NAME ARGS...: both executables on the same paths (relative to each
# tree, or options as they are); the console outputs must be the same.
run_both() {
    local name="$1"
    shift
    tree_arguments "$@"
    run_linux "${linux_args[@]}" >"$WORK/$name.linux" 2>&1 </dev/null
    timeout 120 wine start /wait /b "$(wine_path "$SCRIVEL_EXE")" "${windows_args[@]}" \
        >"$WORK/$name.windows" 2>"$WORK/$name.windows.err" </dev/null
    expect_eq "$name: Windows exit code" 0 "$?"
    cmp -s "$WORK/$name.linux" "$WORK/$name.windows" ||
        fail "$name: the console output differs (see $name.linux and $name.windows)"
}

expect_same_outputs() {  # what pattern
    local file count=0
    while IFS= read -r -d '' file; do
        count=$((count + 1))
        cmp -s "$file" "$WORK/windows/${file#"$WORK/linux/"}" || fail "$1: ${file#"$WORK/linux/"} differs"
    done < <(find "$WORK/linux" -name "$2" -print0)
    [ "$count" -gt 0 ] || fail "$1: the Linux run wrote no $2 file"
    expect_eq "$1: number of $2 files" "$count" "$(find "$WORK/windows" -name "$2" | wc -l)"
}

# Templates, with /po first, last and twice; and the text files to edit.
f="$folder"
run_both extract "$f/Edited.upk" "$f/Random02.upk"
run_both templates /po "$f/Dialogi łódź.upk" "$f/Random01.upk" /po "$f/Random02.upk"
expect_same_outputs "templates" "*.pot"
expect_contains "templates" "$WORK/templates.windows" "PO template Dialogi łódź.pot successfully extracted!"
expect_contains "demo keys" "$WORK/windows/$f/Dialogi łódź.pot" 'msgctxt "Wave_Nowhere:Subtitles[1].Text"'

# A PO file from an edited text file: every line starts with letters of three scripts.
for root in "$WORK/linux" "$WORK/windows"; do
    for t in Edited Random02; do
        { printf '\xff\xfe'; tail -c +3 "$root/$f/$t.txt" | iconv -f UTF-16LE -t UTF-8 |
            sed -e 's/^\(.\)/Ż日Ω \1/' | iconv -f UTF-8 -t UTF-16LE; } >"$root/$f/$t.edited"
        mv "$root/$f/$t.edited" "$root/$f/$t.txt"
    done
done
run_both translate "$f/Edited.txt" "$f/Random02.txt" /po
expect_same_outputs "PO files from text files" "*.po"
expect_contains "PO file" "$WORK/translate.windows" "PO file Edited.po successfully written!"

# A language's PO made from the template (its msgstr filled), compiled beside
# the damaged one and the upper-case one.
for root in "$WORK/linux" "$WORK/windows"; do
    sed -e '3,$ s/^msgstr ""$/msgstr "Ż日Ω"/' "$root/$f/Dialogi łódź.pot" >"$root/$f/Dialogi łódź.es.po"
    mv "$root/$f/Random02.po" "$root/$f/Random02.PO"
done
run_both compile "$f/Dialogi łódź.es.po" "$f/Edited.broken.po" "$f/Random02.PO" "$f/Edited.po"
expect_same_outputs "compiled packages" "*.clxi"
expect_contains "compile" "$WORK/compile.windows" "File Dialogi łódź.upk.clxi compiled successfully!"
expect_contains "refusal" "$WORK/compile.windows" "The file Edited.broken.po is not a valid PO file: line 1: unknown escape sequence!"
expect_contains "compile" "$WORK/compile.windows" "File Edited.upk.clxi compiled successfully!"

finish
