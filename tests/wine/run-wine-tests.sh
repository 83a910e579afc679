#!/usr/bin/env bash
# Tests the Windows converter module under Wine: wordhost.exe loads Korvanevlx.cnv as Word
# does, in a Wine prefix of its own whose registry holds an installation made here.
#
#   run-wine-tests.sh SOURCE_DIR WINDOWS_BUILD_DIR NATIVE_VELOTRIX [WINE]
#
# Exit 77 (skipped) when the cross compiler or Wine is missing.
set -uo pipefail

src=$1
winbuild=$2
velotrix=$3
wine=${4:-}
[ -n "$wine" ] || wine=$(command -v wine64 || command -v wine || ls /usr/lib/wine/wine64 2>/dev/null || true)
if ! command -v x86_64-w64-mingw32-g++ >/dev/null || [ -z "$wine" ] || [ ! -x "$wine" ]; then
  echo "skipped: needs x86_64-w64-mingw32-g++ and wine"
  exit 77
fi

# The module, the options module and the host, built with the cross compiler.
if [ ! -f "$winbuild/build.ninja" ]; then
  cmake -S "$src" -B "$winbuild" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
fi
cmake --build "$winbuild" --target Korvanevlx Korvanevlx64 wordhost -j2 >/dev/null || {
  echo "FAILED: cross build"; exit 1; }

work=$(mktemp -d)
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)
xvfb_pid=
cleanup() {
  [ -n "$wineserver" ] && WINEPREFIX="$work/prefix" "$wineserver" -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# Dialogs need a display: a private virtual one when none is given.
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
  Xvfb -displayfd 5 -nolisten tcp -screen 0 1024x768x24 5>"$work/display" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] && export DISPLAY=":$(head -n1 "$work/display")"
fi
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=${DISPLAY:-}
failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
w() { timeout 120 "$wine" "$@"; }
finish() { echo "$failures failed"; [ "$failures" -eq 0 ]; exit; }

# A prefix with the product installed under C:\vlx: Korvanevlx64.dll and the language
# files in C:\vlx\velotrix\, the machine-wide keys from the shipped .reg file with "path"
# pointing there.
w wineboot -i >/dev/null 2>&1
vlx="$WINEPREFIX/drive_c/vlx"
mkdir -p "$vlx/velotrix"
cp "$winbuild/Korvanevlx.cnv" "$winbuild/Korvanevlx64.dll" "$winbuild/wordhost.exe" "$vlx/"
cp "$winbuild/Korvanevlx64.dll" "$vlx/velotrix/"
[ -d "$src/lang" ] && cp -r "$src/lang" "$vlx/velotrix/language"
cp "$src/windows/install/korvane-machine.reg" "$vlx/machine.reg"
w regedit /S 'C:\vlx\machine.reg' >/dev/null 2>&1
reg() { w reg "$@" >/dev/null 2>&1; }
reg add 'HKLM\SOFTWARE\Wow6432Node\Korvane\velotrix' /v path /t REG_SZ /d 'C:\vlx' /f
# user NAME VALUE [NAME VALUE]...: DWORD settings of the current user; machine: machine-wide.
dwords() { local key=$1; shift; while [ $# -ge 2 ]; do reg add "$key" /v "$1" /t REG_DWORD /d "$2" /f; shift 2; done; }
user() { dwords 'HKCU\SOFTWARE\Korvane\velotrix' "$@"; }
machine() { dwords 'HKLM\SOFTWARE\Wow6432Node\Korvane\main' "$@"; }

# The document: the repository's sample, followed by every equation object of the shared
# corpus (when present) embedded as Word embeds them.
doc="$vlx/in.rtf"
corpus=${VELOTRIX_CORPUS:-$src/../shared/corpus}
python3 - "$src/samples/equations.rtf" "$corpus" >"$doc" <<'PY'
import os, struct, sys
sample, corpus = sys.argv[1], sys.argv[2]
text = open(sample, "rb").read().rstrip()
assert text.endswith(b"}")
body = b""
manifest = os.path.join(corpus, "manifest.tsv")
if os.path.exists(manifest):
    for line in open(manifest).read().splitlines()[1:]:
        fields = line.split("\t")
        if len(fields) < 2:
            continue
        native = open(os.path.join(corpus, "equations", fields[0]), "rb").read()
        cls = fields[1].encode()
        record = (struct.pack("<III", 0x501, 2, len(cls) + 1) + cls + b"\0" +
                  struct.pack("<III", 0, 0, len(native)) + native)
        hexed = record.hex()
        lines = b"".join(b"\r\n" + hexed[i:i + 128].encode() for i in range(0, len(hexed), 128))
        body += (b"\\pard " + fields[0].encode() + b": {\\object\\objemb{\\*\\objclass " + cls +
                 b"}\\objw1440\\objh480{\\*\\objdata " + lines +
                 b"\r\n}{\\result{\\pict\\wmetafile8\\picw100\\pich100 0100090000}}}\\par\r\n")
sys.stdout.buffer.write(text[:-1] + body + b"}")
PY
"$velotrix" "$doc" -o "$work/native.rtf" --no-stats 2>/dev/null
check "native velotrix converts the document" test -s "$work/native.rtf"
objects=$(grep -c 'objdata' "$doc")
echo "document: $(wc -c <"$doc") bytes, $objects equation objects"
if [ "$objects" -gt 0 ]; then
  check "native velotrix wrote Office Math" grep -q 'mmath' "$work/native.rtf"
fi

host() {  # host RUN ARGS...: converts C:\vlx\in.rtf to C:\vlx\RUN.rtf, logging to $work/RUN.log
  local run=$1 status
  shift
  w 'C:\vlx\wordhost.exe' 'C:\vlx\Korvanevlx.cnv' 'C:\vlx\in.rtf' "C:\\vlx\\$run.rtf" "$@" 2>&1 | tr -d '\r' >"$work/$run.log"
  status=${PIPESTATUS[0]}
  sed "s/^/  $run| /" "$work/$run.log"
  return "$status"
}

# 1. Unattended: server mode, no statistics. Exports, capability block, name lists, a
#    conversion identical to the native tool's, the result codes and the registration.
machine serverMode 1
user isStatistics 0 eqVersion 1
host out1 --chunk 37 --codes --register
status=$?
check "unattended run passes its checks" test "$status" -eq 0
check "all ten exports by ordinal" test "$(grep -c '^ok: ordinal' "$work/out1.log")" -eq 10
check "capability block bytes" grep -q '^capabilities: 11 00 06 01 19 00 00 00 04 02 03 00 03 03 00 02 04$' "$work/out1.log"
check "result codes -5, -8, -13" grep -q '^ok: an uncreatable file gives -13' "$work/out1.log"
check "registration keys" grep -q '^registered Path=C:\\vlx\\Korvanevlx.cnv' "$work/out1.log"
check "output identical to the native tool's" cmp -s "$vlx/out1.rtf" "$work/native.rtf"

if [ -z "$DISPLAY" ]; then
  echo "note: no display (install xvfb): the answered runs are skipped"
  finish
fi

# 2. Interactive, answered automatically: the options dialog, the AutoConvertTo warning
#    (its redirection made undeletable), the progress window and the statistics.
machine serverMode 0
user isStatistics 1 isProgressWin 1 eqVersion 0
host out2 --answer ok --hwnd --deny-autoconvert
status=$?
check "answered run passes its checks" test "$status" -eq 0
check "options dialog shown and confirmed" grep -q '^dialog: \[Korvane Velotrix options\]' "$work/out2.log"
check "statistics message" grep -q '^dialog: \[Korvane Math Utilities  statistics\] Equation format: Equation Editor 3.x \[[0-9]*\]' "$work/out2.log"
if grep -q '^ok: AutoConvertTo redirection made read-only' "$work/out2.log"; then
  check "AutoConvertTo warning shown" grep -q "^dialog: \[Korvane Math Utilities\] Cannot use Equation Editor 3.x format" "$work/out2.log"
  check "output written after OK" test -s "$vlx/out2.rtf"

  # 3. The same warning answered with Cancel: the run ends with an empty file.
  host out3 --answer cancel
  check "Cancel on the warning leaves an empty file" test -f "$vlx/out3.rtf" -a ! -s "$vlx/out3.rtf"
else
  echo "note: this Wine does not enforce key permissions; the AutoConvertTo warning is not reached"
fi

finish
