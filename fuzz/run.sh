#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS (default 60), seeded from
# the real corpus and the project's samples. Findings are left in build-fuzz/findings/.
#   fuzz/run.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
root=$PWD
out=$root/build-fuzz
CC=clang CXX=clang++ cmake -S fuzz -B "$out" -G Ninja >/dev/null
cmake --build "$out" -j2 >/dev/null

seeds=$out/seeds
rm -rf "$seeds" && mkdir -p "$seeds"/{document,compound,equation,textfile,docx,cli} "$out/findings" "$out/logs"
# The command-line target finds its language files through VELOTRIX_SHARE.
mkdir -p "$out/share/velotrix" && ln -sfn "$root/lang" "$out/share/velotrix/language"
export VELOTRIX_SHARE=$out/share
corpus=$root/../shared/corpus
if [ -d "$corpus/equations" ]; then
  /usr/bin/python3 - "$corpus" "$seeds" <<'PY'
import os, struct, sys
corpus, seeds = sys.argv[1], sys.argv[2]
try:
    import olefile
except ImportError:
    olefile = None
for line in open(os.path.join(corpus, "manifest.tsv")).read().splitlines()[1:]:
    name, cls, version, _ = line.split("\t")
    data = open(os.path.join(corpus, "equations", name), "rb").read()
    open(os.path.join(seeds, "compound", name), "wb").write(data)
    c = cls.encode() + b"\0"
    record = struct.pack("<III", 0x501, 2, len(c)) + c + struct.pack("<III", 0, 0, len(data)) + data
    doc = (b"{\\rtf1{\\object\\objemb{\\*\\objclass " + cls.encode() + b"}{\\*\\objdata " +
           record.hex().encode() + b"}{\\result{\\pict 00}}}}")
    open(os.path.join(seeds, "document", name + ".rtf"), "wb").write(doc)
    if olefile:
        native = olefile.OleFileIO(data).openstream("Equation Native").read()
        open(os.path.join(seeds, "equation", name), "wb").write(bytes([int(version) - 2]) + native[33:])
PY
fi
cp samples/*.rtf "$seeds/document/" 2>/dev/null || true
cp "$seeds"/document/* "$seeds/cli/" 2>/dev/null || true
cp lang/*/language.txt "$seeds/textfile/" 2>/dev/null || true
# .docx seeds: the sample package whole (first byte even) and its main part (odd).
for f in samples/*.docx; do
  [ -f "$f" ] || continue
  { printf '\x00'; cat "$f"; } >"$seeds/docx/$(basename "$f").whole"
  { printf '\x01'; unzip -p "$f" word/document.xml; } >"$seeds/docx/$(basename "$f").main" 2>/dev/null || true
  cp "$f" "$seeds/cli/"
done

status=0
for bin in "$out"/fuzz_*; do
  [ -f "$bin" ] && [ -x "$bin" ] || continue
  name=$(basename "$bin")
  kind=${name#fuzz_}
  if [ $# -gt 0 ] && [[ " $* " != *" $kind "* ]]; then continue; fi
  work=$out/corpus-$kind
  mkdir -p "$work"
  echo "== $name for ${seconds}s"
  if ! "$bin" "$work" "$seeds/$kind" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=65536 -artifact_prefix="$out/findings/$name-" -print_final_stats=1 2>"$out/logs/$name.log"; then
    status=1
    tail -n 40 "$out/logs/$name.log"
  fi
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$out/logs/$name.log" || true
done
exit $status
