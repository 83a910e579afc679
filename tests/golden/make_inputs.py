#!/usr/bin/env python3
"""Builds the golden input documents: one RTF document per real equation object of the
shared corpus, wrapped as the corpus README describes."""
import os, struct, sys

root = os.path.dirname(os.path.abspath(__file__))
corpus = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "../../../shared/corpus")
out = os.path.join(root, "in")
os.makedirs(out, exist_ok=True)
for line in open(os.path.join(corpus, "manifest.tsv")).read().splitlines()[1:]:
    name, cls, _version, _size = line.split("\t")
    data = open(os.path.join(corpus, "equations", name), "rb").read()
    c = cls.encode() + b"\0"
    record = struct.pack("<III", 0x501, 2, len(c)) + c + struct.pack("<III", 0, 0, len(data)) + data
    hexed = record.hex()
    lines = "\r\n".join(hexed[i:i + 128] for i in range(0, len(hexed), 128))
    doc = (b"{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Times New Roman;}}\r\n\\pard before "
           b"{\\object\\objemb{\\*\\objclass " + cls.encode() + b"}\\objw1440\\objh480{\\*\\objdata \r\n" +
           lines.encode() + b"\r\n}{\\result{\\pict\\wmetafile8 0100}}} after\\par\r\n}\r\n")
    open(os.path.join(out, name[:-4] + ".rtf"), "wb").write(doc)
