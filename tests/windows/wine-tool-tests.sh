#!/bin/bash
# The real scrivel.exe (the Windows runtime built from Debian's source, and
# the Text tool) under Wine, against the Linux executable on the same files:
#
#   wine-tool-tests.sh
#
# Extraction and compilation must give byte for byte the same text files,
# compiled packages and console output on both, for the demo package and
# generated ones, in folders and under names with Polish, Japanese and Greek
# letters and blanks, several files in one run; refusals give their lines;
# /silent prints nothing; the exit code is 0; only what the runtime holds
# stays in the working folder, and the next start removes it. Settings of
# the runtime in the environment (MONO_*) change nothing.
#
# The environment: SCRIVEL_WINDOWS_ENV, SCRIVEL_WINE_PREFIX, SCRIVEL_TEST_WORK
# as for wine-tests.sh; SCRIVEL_LINUX_EXE the Linux executable;
# SAME_PACKAGES_EXE and SCRIVEL_TOOL_DIR the package generator and the folder
# of the Scrivel.exe it references; SCRIVEL_SOURCE_DIR the source tree.
set -u
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/wine-env.sh" "$SCRIVEL_WINE_PREFIX"
wine_tool_test_start tool

TEMP_DIR="$(wine_temp_dir)"
WORK_FOLDER="$TEMP_DIR/ScrivelTempFiles"

# ---- the archive ---------------------------------------------------------------------

# It unpacks into exactly the files of its list, byte for byte, and nothing
# but the runtime folder's layout (mono.dll, lib\, etc\) and the tool; its class
# library is the Windows one: the Unix one calls a native helper library
# (System.Native) that has no Windows build, and every file operation fails.
archive_list="$(dirname "$SCRIVEL_ARCHIVE")/$(basename "$SCRIVEL_ARCHIVE").windows.txt"
[ -f "$archive_list" ] || archive_list="$(find "$(dirname "$SCRIVEL_EXE")" -name '*.windows.txt' | head -n 1)"
python3 - "$SCRIVEL_ARCHIVE" "$archive_list" >"$WORK/archive.txt" 2>&1 <<'PYTHON' || fail "archive: $(cat "$WORK/archive.txt")"
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
assert data[:4] == b"ARCH", "no archive magic"
count, = struct.unpack_from("<i", data, 4)
pos, entries = 8, {}
for _ in range(count):
    n, = struct.unpack_from("<i", data, pos)
    name = data[pos + 4:pos + 4 + n].decode("utf-8")
    size, packed = struct.unpack_from("<ii", data, pos + 4 + n)
    pos += 12 + n
    entries[name] = zlib.decompress(data[pos:pos + packed])
    assert len(entries[name]) == size, name + ": wrong size"
    pos += packed
assert pos == len(data), "bytes after the last entry"
listed = {}
for line in open(sys.argv[2], encoding="utf-8"):
    line = line.rstrip("\n")
    if line and not line.startswith("#"):
        source, name = line.split("\t")
        listed[name] = open(source, "rb").read()
assert sorted(entries) == sorted(listed), "entries %s, listed %s" % (sorted(entries), sorted(listed))
for name in entries:
    assert entries[name] == listed[name], name + " differs from its source"
strays = [n for n in entries if n not in ("mono.dll", "Scrivel.exe") and not n.startswith(("lib\\", "etc\\"))]
assert not strays, "entries outside the runtime folder's layout: %s" % strays
corlib = entries["lib\\mscorlib.dll"]
assert b"System.Native" not in corlib, "the archive carries the Unix class library"
assert b"kernel32" in corlib.lower(), "the class library does not call the Windows API"
print(" ".join(sorted(entries)))
PYTHON

# The same tree of inputs for each platform.
folders=("Zażółć gęślą jaźń" "日本語 フォルダ" "Ελληνικά αρχεία")
MONO_PATH="$SCRIVEL_TOOL_DIR" mono "$SAME_PACKAGES_EXE" "$WORK/generated" 6 ||
    fail "the package generator failed"
make_tree() {  # root
    mkdir -p "$1/${folders[0]}" "$1/${folders[1]}" "$1/${folders[2]}"
    cp "$SCRIVEL_SOURCE_DIR/samples/Demo.upk" "$1/${folders[0]}/Napisy łódź.upk"
    cp "$WORK/generated/Random01.upk" "$1/${folders[1]}/字幕 一.upk"
    cp "$WORK/generated/Random02.upk" "$1/${folders[1]}/Random02.UPK"
    cp "$WORK/generated/Random03.upk" "$1/${folders[2]}/Υπότιτλοι γ.upk"
    cp "$WORK/generated/Random04.upk" "$1/${folders[2]}/Random04.upk"
    cp "$WORK/generated/Random05.upk" "$1/${folders[2]}/Random05.upk"
    cp "$WORK/generated/Random06.upk" "$1/${folders[0]}/Random06.upk"
    # Damaged: the demo package cut short.
    head -c 300 "$SCRIVEL_SOURCE_DIR/samples/Demo.upk" >"$1/${folders[0]}/Uszkodzony.upk"
}
printf '<configuration>\n<dllmap dll="kernel32.dll" target="absent.dll"/>\n</configuration>\n' \
    >"$WORK/hostile.config"
make_tree "$WORK/linux"
make_tree "$WORK/windows"

# run_both NAME SUFFIX-FILES...: runs both executables on the given paths
# (relative to each tree), output to NAME.linux and NAME.windows.
run_both() {
    local name="$1"
    shift
    tree_arguments "$@"
    run_linux "${linux_args[@]}" >"$WORK/$name.linux" 2>&1 </dev/null
    expect_eq "$name: Linux exit code" 0 "$?"
    # A runtime configuration of the environment that would break every file
    # operation, were it read instead of the bundled one.
    MONO_CONFIG="$(wine_path "$WORK/hostile.config")" \
        timeout 120 wine start /wait /b "$(wine_path "$SCRIVEL_EXE")" "${windows_args[@]}" \
        >"$WORK/$name.windows" 2>"$WORK/$name.windows.err" </dev/null
    expect_eq "$name: Windows exit code" 0 "$?"
    expect_eq "$name: nothing on the Windows error stream" "" "$(cat "$WORK/$name.windows.err")"
    cmp -s "$WORK/$name.linux" "$WORK/$name.windows" ||
        fail "$name: the console output differs (see $name.linux and $name.windows)"
    # Only what the runtime holds is left: mono.dll and the folder of the
    # assemblies it mapped.
    if [ -e "$WORK_FOLDER" ]; then
        local left
        left="$(cd "$WORK_FOLDER" && find . -type f ! -name mono.dll ! -path './lib/*' | tr '\n' ' ')"
        expect_eq "$name: files left in the working folder" "" "$left"
    fi
    expect_eq "$name: spare working folders" "" "$(ls -A "$TEMP_DIR" | grep '^ScrivelTempFiles-')"
}

# Every output file of both trees, compared byte for byte.
expect_same_outputs() {  # what pattern
    local file count=0
    while IFS= read -r -d '' file; do
        local relative="${file#"$WORK/linux/"}"
        count=$((count + 1))
        cmp -s "$file" "$WORK/windows/$relative" || fail "$1: $relative differs"
    done < <(find "$WORK/linux" -name "$2" -print0)
    [ "$count" -gt 0 ] || fail "$1: the Linux run wrote no $2 file"
    expect_eq "$1: number of $2 files" "$count" "$(find "$WORK/windows" -name "$2" | wc -l)"
}

# ---- extraction, several files and a refusal in one run -------------------------

f0="${folders[0]}" f1="${folders[1]}" f2="${folders[2]}"
run_both extract "$f0/Napisy łódź.upk" "$f1/字幕 一.upk" "$f1/Random02.UPK" "$f2/Υπότιτλοι γ.upk" \
    "$f2/Random04.upk" "$f2/Random05.upk" "$f0/Random06.upk" "$f0/Uszkodzony.upk"
expect_same_outputs "extraction" "*.txt"
expect_contains "extraction" "$WORK/extract.windows" "Text File Napisy łódź.upk successfully extracted!"
expect_contains "damaged package" "$WORK/extract.windows" "The file Uszkodzony.upk is damaged!"
expect_contains "extraction" "$WORK/extract.windows" "..DONE.."

# ---- compilation of edited text files ------------------------------------------------

# Every line edited, with letters of the three scripts, in both trees.
edit_text() {  # file
    local edited
    edited="$(mktemp)"
    { printf '\xff\xfe'; tail -c +3 "$1" | iconv -f UTF-16LE -t UTF-8 |
        sed -e 's/^\(.\)/Ż日Ω \1/' | iconv -f UTF-8 -t UTF-16LE; } >"$edited"
    cp "$edited" "$1"
    cp "$edited" "$WORK/windows/${1#"$WORK/linux/"}"
    rm -f "$edited"
}
while IFS= read -r -d '' text; do edit_text "$text"; done < <(find "$WORK/linux" -name '*.txt' -print0)
# A text file whose package is missing.
cp "$WORK/linux/$f2/Random04.txt" "$WORK/linux/$f2/Bez paczki.txt"
cp "$WORK/windows/$f2/Random04.txt" "$WORK/windows/$f2/Bez paczki.txt"

# Random02.txt's package is Random02.UPK: found in any case on both; Linux
# names the result after the package as it is, Windows (whose file system
# ignores case) after the text file: Random02.upk.clxi.
run_both compile "$f0/Napisy łódź.txt" "$f1/字幕 一.txt" "$f1/Random02.txt" "$f2/Υπότιτλοι γ.txt" \
    "$f2/Random04.txt" "$f2/Bez paczki.txt" "$f2/Random05.txt" "$f0/Random06.txt"
mv "$WORK/windows/$f1/Random02.upk.clxi" "$WORK/windows/$f1/Random02.UPK.clxi" ||
    fail "compilation: Windows wrote no Random02.upk.clxi"
expect_same_outputs "compilation" "*.clxi"
expect_contains "compilation" "$WORK/compile.windows" "File Napisy łódź.clxi compiled successfully!"
expect_contains "missing package" "$WORK/compile.windows" "File Bez paczki.upk was not found!"

# ---- silent mode ---------------------------------------------------------------------

rm -f "$WORK/windows/$f0/Napisy łódź.txt"
run_both silent "$f0/Napisy łódź.upk" /silent
expect_eq "silent mode: output" "" "$(cat "$WORK/silent.windows")"
cmp -s "$WORK/linux/$f0/Napisy łódź.txt" "$WORK/windows/$f0/Napisy łódź.txt" ||
    fail "silent mode: the text file differs"

# ---- settings of the runtime in the environment --------------------------------------

# Each would make the runtime print its option list instead of running the
# tool, log its work on the console, or refuse to start; the name may be in
# any case on Windows. Each run must print what the Linux run without it does.
run_linux "$WORK/linux/$f0/Napisy łódź.upk" >"$WORK/settings.linux" 2>&1 </dev/null
for setting in MONO_DEBUG=bogus MONO_LOG_LEVEL=debug MONO_THREADS_SUSPEND=bogus mono_debug=bogus; do
    rm -f "$WORK/windows/$f0/Napisy łódź.txt"
    env "$setting" timeout 120 wine start /wait /b "$(wine_path "$SCRIVEL_EXE")" \
        "$(wine_path "$WORK/windows/$f0/Napisy łódź.upk")" >"$WORK/setting.windows" 2>"$WORK/setting.err" </dev/null
    expect_eq "$setting: exit code" 0 "$?"
    expect_eq "$setting: nothing on the error stream" "" "$(cat "$WORK/setting.err")"
    cmp -s "$WORK/settings.linux" "$WORK/setting.windows" ||
        fail "$setting: the console output differs (see settings.linux and setting.windows)"
    cmp -s "$WORK/linux/$f0/Napisy łódź.txt" "$WORK/windows/$f0/Napisy łódź.txt" ||
        fail "$setting: the text file differs"
done

finish
