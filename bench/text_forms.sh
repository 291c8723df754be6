#!/bin/sh
# Peak memory of a compile against the size of its inputs (the package plus
# the text file), for a long line in every form of text file the tool reads
# and for a package whose name table is mostly one-character names:
#   - one line of about 100 MiB (ASCII letters) as the first line of the
#     sample package's text, in UTF-16LE with and without its mark, UTF-16BE,
#     UTF-8 and UTF-32 of both byte orders (marks as the tool reads them);
#   - 100 MiB of "{\n}" (the escaped line feed) as that line, UTF-8 and UTF-16LE;
#   - a package of about 100 MiB whose name table holds 7.5 million
#     one-character names, extracted and compiled.
# Each run prints its seconds, its peak (maximum resident set, GNU time) and
# the ratio of the peak to the inputs, and the tool's last message (each
# compile must succeed).
#   bench/text_forms.sh [BUILD_DIR] [TOOL] [MEBIBYTES]
# TOOL is a Scrivel.exe (run with mono) or the single executable (run as it
# is); default BUILD_DIR/scrivel. MEBIBYTES (default 100) sizes the inputs.
set -eu
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
TOOL="${2:-$BUILD/scrivel}"
MIB="${3:-100}"
cmake --build "$BUILD" --target benchmarks >/dev/null
WORK=$(mktemp -d "${TMPDIR:-/tmp}/scrivel-bench-forms.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
BYTES=$((MIB * 1048576))

tool() {
  case "$TOOL" in
    *.exe) mono "$TOOL" "$@" ;;
    *) "$TOOL" "$@" ;;
  esac
}

# mark FORM: the byte-order mark of a form (none for UTF-16LE without one).
mark() {
  case "$1" in
    utf16le) printf '\377\376' ;;
    utf16be) printf '\376\377' ;;
    utf8) printf '\357\273\277' ;;
    utf32le) printf '\377\376\000\000' ;;
    utf32be) printf '\000\000\376\377' ;;
  esac
}

# run LABEL FILE...: the tool on the last FILE; the ratio is to all FILEs' bytes.
run() {
  label=$1
  shift
  bytes=0
  for f in "$@"; do bytes=$((bytes + $(stat -c %s "$f"))); last=$f; done
  case "$TOOL" in
    *.exe) /usr/bin/time -f '%e %M' -o "$WORK/time" mono "$TOOL" "$last" >"$WORK/out" 2>&1 || true ;;
    *) /usr/bin/time -f '%e %M' -o "$WORK/time" "$TOOL" "$last" >"$WORK/out" 2>&1 || true ;;
  esac
  said=$(tr -d '\r' <"$WORK/out" | grep -v -e '^--' -e 'Scrivel  -' -e 'Ostrel' -e '^\.\.DONE' -e '^$' | tail -1 | cut -c1-60)
  awk -v l="$label" -v b="$bytes" -v t="$(tail -1 "$WORK/time")" -v m="$said" 'BEGIN {
    split(t, f, " ")
    printf "%-26s %7.1f MiB %6.2f s %6.0f MiB peak  ratio %4.2f  %s\n", l, b / 1048576, f[1], f[2] / 1024, f[2] * 1024 / b, m }'
}

# The sample package's text with its first line replaced by the UTF-8 bytes
# of standard input, as UTF-8 without a mark.
first_line() {
  cat
  printf '\r\n'
  iconv -f UTF-16 -t UTF-8 "$WORK/sample.txt" | tail -n +2
}

cp samples/Demo.upk "$WORK/Demo.upk"
tool "$WORK/Demo.upk" >/dev/null
printf 'tool: %s\n' "$TOOL"

cp "$WORK/Demo.txt" "$WORK/sample.txt"
# FORM ENCODING BYTES-PER-CHARACTER
for form in "utf16le UTF-16LE 2" "utf16le-nomark UTF-16LE 2" "utf16be UTF-16BE 2" "utf8 UTF-8 1" \
            "utf32le UTF-32LE 4" "utf32be UTF-32BE 4"; do
  set -- $form
  { mark "$1"
    head -c $((BYTES / $3)) /dev/zero | tr '\0' a | first_line | iconv -f UTF-8 -t "$2"
  } >"$WORK/Demo.txt"
  run "line, $1" "$WORK/Demo.upk" "$WORK/Demo.txt"
done

for form in "utf8 UTF-8 1" "utf16le UTF-16LE 2"; do
  set -- $form
  { mark "$1"
    yes '{\n}' | tr -d '\n' | head -c $(($BYTES / $3)) | first_line | iconv -f UTF-8 -t "$2"
  } >"$WORK/Demo.txt"
  run "escapes line, $1" "$WORK/Demo.upk" "$WORK/Demo.txt"
done
rm -f "$WORK"/Demo.* "$WORK/sample.txt"

# A package of one-character names: 14 bytes each.
mono "$BUILD/bench/GenerateExtractionPackage.exe" "$WORK/names.upk" 1 200 $((BYTES / 14)) >/dev/null
run "names, extract" "$WORK/names.upk"
run "names, compile" "$WORK/names.upk" "$WORK/names.txt"
