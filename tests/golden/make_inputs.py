#!/usr/bin/env python3
"""Builds the golden input documents: one RTF document per real equation object of the
shared corpus, wrapped as the corpus README describes."""
import os, struct, sys, zlib

root = os.path.dirname(os.path.abspath(__file__))
corpus = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "../../../shared/corpus")
out = os.path.join(root, "in")

def png_1x1():
    """A white 1x1 PNG: the object's picture, as readers need a valid one to load it."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(b"\x00\xff\xff\xff")) + chunk(b"IEND", b""))

picture = png_1x1().hex().encode()
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
           lines.encode() + b"\r\n}{\\result{\\pict\\pngblip\\picw1\\pich1 " + picture + b"}}} after\\par\r\n}\r\n")
    open(os.path.join(out, name[:-4] + ".rtf"), "wb").write(doc)
