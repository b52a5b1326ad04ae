#!/usr/bin/env python3
"""Packs a 24-bit PNG (8 bits per channel, RGB, not interlaced) into the
skin run format the Windows program decodes at start-up, much faster than
a PNG decoder and smaller than the PNG:

    "SKR1", u16 width, u16 height, u16 colours, colours x (B, G, R),
    then u16 tokens, little-endian, covering the pixels row by row, top first:
      top 3 bits 0-5: colour (low 13 bits) repeated 1-6 times (top bits + 1);
      top 3 bits 6:   colour (low 13 bits) repeated 7 + the next u16 times;
      top 3 bits 7:   the pixels above repeated, 1 + the low 13 bits of them.

    pack-skin.py IN.png OUT
"""
import struct
import sys
import zlib


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    width, height, depth, colour, _, _, interlace = header
    if (depth, colour, interlace) != (8, 2, 0):
        sys.exit(f"{path}: want 8-bit RGB, not interlaced")
    raw, row, prev, rows = zlib.decompress(idat), width * 3, bytearray(width * 3), []
    for y in range(height):
        start = y * (row + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + row])
        for i in range(row):
            a = line[i - 3] if i >= 3 else 0
            b, c = prev[i], (prev[i - 3] if i >= 3 else 0)
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    pixels = [r[x * 3:x * 3 + 3] for r in rows for x in range(width)]
    return width, height, [p[2:3] + p[1:2] + p[0:1] for p in pixels]  # B, G, R


def pack(width, height, pixels):
    colours = sorted(set(pixels))
    if len(colours) > 8192:
        sys.exit(f"{len(colours)} colours: at most 8192 fit")
    index = {c: i for i, c in enumerate(colours)}
    out = bytearray(b"SKR1" + struct.pack("<HHH", width, height, len(colours)) + b"".join(colours))
    i, n = 0, len(pixels)
    while i < n:
        above = 0
        if i >= width:
            while i + above < n and above < 8192 and pixels[i + above] == pixels[i + above - width]:
                above += 1
        same = 1
        while i + same < n and same < 7 + 65535 and pixels[i + same] == pixels[i]:
            same += 1
        if above and above >= same:
            out += struct.pack("<H", 0xE000 | (above - 1))
            i += above
        elif same <= 6:
            out += struct.pack("<H", ((same - 1) << 13) | index[pixels[i]])
            i += same
        else:
            out += struct.pack("<HH", 0xC000 | index[pixels[i]], same - 7)
            i += same
    return bytes(out)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: pack-skin.py IN.png OUT")
    packed = pack(*read_png(sys.argv[1]))
    with open(sys.argv[2], "wb") as f:
        f.write(packed)
