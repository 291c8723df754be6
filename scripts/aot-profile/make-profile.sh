#!/bin/bash
# Records which methods the Text tool runs and writes them as the profile
# that limits the precompiled images the Linux archive carries:
#
#   scripts/aot-profile/make-profile.sh [BUILD_DIR]   (default: build)
#
# writes bundle/aot/scrivel.aotprofile and, for review, the sorted list of
# its methods, bundle/aot/scrivel-methods.txt. Rerun it when the tool
# changes and commit both; a method missing from the profile is compiled
# just in time as before, so a stale profile costs time, never correctness.
#
# The runs, each under the runtime's AOT profiler with precompiled code
# off (so that every method is compiled just in time, and so recorded):
# no arguments; the demo package extracted and its text file compiled,
# with warnings; every refusal of the driver that a file can cause (missing,
# unsupported, zero bytes, damaged, compressed, another game, fewer lines,
# not UTF-16, several packages in different case, a name too long, an
# output that cannot be written, an invalid PO file, ...) and generated
# packages of the fuzzer, damaged ones among them; a PO file compiled with
# every kind of entry it warns about; the PO paths (/po Foo.upk, /po
# Foo.txt, a PO file that exists). The file runs are made twice, through a
# pipe and under a terminal of 80 columns (the progress bar drawn).
# Needs Debian's libmono-profiler (scripts/setup.sh installs it).
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$(pwd)
BUILD="${1:-build}"
OUT=bundle/aot
cmake --build "$BUILD" --target scrivel_tool >/dev/null
TOOL=$(cd "$BUILD/tool" && pwd)/Scrivel.exe
[ -f /usr/lib/libmono-profiler-aot.so ] || { echo "make-profile.sh: libmono-profiler is missing: run scripts/setup.sh" >&2; exit 1; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/scrivel-aot-profile.XXXXXX")
# SCRIVEL_PROFILE_KEEP=1 keeps the work folder, with each run's console output.
if [ "${SCRIVEL_PROFILE_KEEP:-}" = 1 ]; then
  echo "work folder: $WORK" >&2
else
  trap 'rm -rf "$WORK"' EXIT
fi
mkdir -p "$WORK/files" "$WORK/po" "$WORK/profiles" "$WORK/gen"
MCS="mcs -nologo -langversion:7 -codepage:utf8 -optimize+"

# The runtime's settings come from the command line alone.
for v in $(env | sed -n 's/^\(MONO_[A-Za-z0-9_]*\)=.*/\1/p'); do unset "$v"; done

# profiled NAME WAY ARGS...: the tool on ARGS in the current folder, its
# profile in profiles/NAME.aotprofile; WAY is pipe or pty. The profiler
# writes its file at the end and may then crash on its way out: the exit
# status is no sign, the profile is checked when it is merged.
profiled() {
  local name=$1 way=$2
  shift 2
  local run=(env MONO_DEBUG=no-gdb-backtrace timeout -s KILL 300 mono -O=-aot
             "--profile=aot:output=$WORK/profiles/$name.aotprofile" "$TOOL" "$@")
  if [ "$way" = pipe ]; then
    ("${run[@]}" 2>&1 | cat >"$WORK/$name.console") 2>/dev/null || true
  else
    (TERM=xterm script -q -e -c "stty cols 80 rows 24; $(printf '%q ' "${run[@]}")" /dev/null </dev/null \
      | cat >"$WORK/$name.console") 2>/dev/null || true
  fi
  [ -s "$WORK/profiles/$name.aotprofile" ] || { echo "make-profile.sh: run $name wrote no profile" >&2; exit 1; }
}

utf16() { iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; }; }

# ---- the inputs ---------------------------------------------------------------
cd "$WORK/files"
cp "$ROOT/samples/Demo.upk" Demo.upk
mono "$TOOL" Demo.upk >/dev/null
mv Demo.txt Base.txt
demo_upk() { for n in "$@"; do cp Demo.upk "$n.upk"; done; }
demo_upk Edited Bom Surplus Fewer Utf8 Carriage RO Es Bad Crlf One
iconv -f UTF-16 -t UTF-8 Base.txt | sed '1s/^\xef\xbb\xbf//; 1s/\r$/ (edited)\r/' | utf16 >Edited.txt
iconv -f UTF-16LE -t UTF-8 Base.txt | sed '1s/^\xef\xbb\xbf//' >Utf8.txt                 # no mark: not UTF-16
{ printf '\xef\xbb\xbf'; cat Utf8.txt; } >Bom.txt
{ iconv -f UTF-16 -t UTF-8 Base.txt; printf 'one more\r\nand another\r\n'; } | utf16 >Surplus.txt
iconv -f UTF-16 -t UTF-8 Base.txt | head -2 | utf16 >Fewer.txt
iconv -f UTF-16 -t UTF-8 Base.txt | sed '2s/^/line\rbreak /' | utf16 >Carriage.txt
cp Base.txt RO.txt
mkdir RO.upk.clxi && : >RO.upk.clxi/x                                         # output cannot be written
cp Base.txt Case.txt; cp Demo.upk CASE.upk; cp Demo.upk case.UPK               # several in other case
cp Base.txt One.txt; mv One.upk ONE.UPK                                        # one in other case
long=$(printf 'L%.0s' $(seq 248))
cp Base.txt "$long.txt"; cp Demo.upk "$long.upk"                              # .clxi name too long
: >Empty.txt; : >Empty.upk                                                    # zero bytes
printf 'not a package at all' >NotPackage.upk
head -c 200 Demo.upk >Truncated.upk                                           # damaged
cp Demo.upk Compressed.upk; printf '\x01' | dd of=Compressed.upk bs=1 seek=32 conv=notrunc status=none
cp Demo.upk Other.upk; printf '\x00\x00' | dd of=Other.upk bs=1 seek=4 conv=notrunc status=none
mkdir Folder.upk; echo x >notes.doc; echo x >Foo.pot
cat >Es.es.po <<'PO'
msgid ""
msgstr ""
"Content-Type: text/plain; charset=UTF-8\n"

msgctxt "Cue_LastNight.SoundNodeWave_3:SpokenText"
msgid "Where were you last night?"
msgstr "¿Dónde estabas \"anoche\"?\t\x41\101"

#, fuzzy
msgctxt "Wave_Nowhere:Subtitles[1].Text"
msgid "You could have called."
msgstr "Podrías haber llamado."

msgctxt "Wave_Gate:SpokenText"
msgid "The gate stays open."
msgstr "La puerta."

msgctxt "Nobody:Text"
msgid "x"
msgstr "y"

msgctxt "Wave_Nowhere:SpokenText"
msgid "a"
msgid_plural "b"
msgstr[0] "c"
msgstr[1] "d"

msgctxt "Wave_Nowhere:Subtitles[0].Text"
msgid ""
"Nowhere you need to know about.\n"
"Leave it."
msgstr ""
"Ninguna parte.\n"
"Déjalo."

#~ msgid "old"
#~ msgstr "viejo"
PO
{ printf '\xef\xbb\xbf'; sed 's/$/\r/' Es.es.po; } >Crlf.po
printf 'msgid "a"\nmsgstr "\\q"\n' >Bad.po
files=(Demo.upk Base.txt Edited.txt Bom.txt Surplus.txt Fewer.txt Utf8.txt Carriage.txt RO.txt Case.txt One.txt
       "$long.txt" Empty.txt Empty.upk NotPackage.upk Truncated.upk Compressed.upk Other.upk Folder.upk notes.doc
       Foo.pot Missing.upk Missing.txt Es.es.po Crlf.po Bad.po)

# Packages of the fuzzer's generators, damaged ones among them: all
# extracted first, then compiled, for a compile may end the run.
cp "$TOOL" "$WORK/gen/"
$MCS -target:exe -out:"$WORK/gen/DifferentialCases.exe" -r:"$WORK/gen/Scrivel.exe" "$ROOT/bench/DifferentialCases.cs" \
  "$ROOT/tests/tool/PackageBuilder.cs" "$ROOT/tests/tool/PropertyWriter.cs" "$ROOT/tests/tool/Fuzz/RandomPackage.cs" \
  "$ROOT/tests/tool/Fuzz/FuzzRandom.cs" "$ROOT/tests/tool/Fuzz/PackageMutations.cs" "$ROOT/tests/tool/Fuzz/TextMutations.cs"
mono "$WORK/gen/DifferentialCases.exe" "$WORK/gen/cases" 60
for c in "$WORK"/gen/cases/*; do
  n=Fuzz$(basename "$c")
  cp "$c/Pkg.upk" "$n.upk"; cp "$c/Pkg.txt" "$n.txt"
  files+=("$n.upk")
done
for c in "$WORK"/gen/cases/*; do
  files+=("Fuzz$(basename "$c").txt")
done

# ---- the runs -----------------------------------------------------------------
profiled none-pipe pipe
profiled none-pty pty
cp -a "$WORK/files" "$WORK/files-pty"
profiled files-pipe pipe "${files[@]}"
cd "$WORK/files-pty"
profiled files-pty pty "${files[@]}"
cd "$WORK/po"
cp "$WORK/files/Demo.upk" "$WORK/files/Base.txt" .
mv Base.txt Demo.txt
profiled po-pipe pipe /po Demo.upk Demo.txt Demo.txt
rm -f Demo.pot Demo.po
profiled po-pty pty Demo.upk /po Demo.txt

cd "$ROOT"
$MCS -target:exe -out:"$WORK/gen/MergeProfiles.exe" scripts/aot-profile/MergeProfiles.cs
mkdir -p "$OUT"
mono "$WORK/gen/MergeProfiles.exe" "$OUT/scrivel.aotprofile" "$OUT/scrivel-methods.txt" "$WORK"/profiles/*.aotprofile
echo "methods of the tool: $(grep -c '^Scrivel:' "$OUT/scrivel-methods.txt"), of the core library: $(grep -c '^mscorlib:' "$OUT/scrivel-methods.txt")"
