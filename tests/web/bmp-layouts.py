#!/usr/bin/env python3
"""Rewrites every 32-bit BMP of a data folder in another layout, in turn an
uncompressed 24-bit picture, a top-down 8-bit one with a palette and a 5-6-5
bit-field 16-bit one, so that the web build's own BMP reader is held to the
native SDL's on the layouts designers' editors write.
    bmp-layouts.py FOLDER
"""
import glob
import struct
import sys

FILE_HEADER = 14
INFO_HEADER = 40


def read(path):
    data = open(path, "rb").read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    bits, compression = struct.unpack_from("<HI", data, 28)
    assert bits == 32, path
    masks = struct.unpack_from("<III", data, 54) if compression == 3 else (0xFF0000, 0xFF00, 0xFF)

    def channel(pixel, mask):
        shift = (mask & -mask).bit_length() - 1
        return ((pixel & mask) >> shift) * 255 // (mask >> shift)

    rows = []
    for y in range(abs(height)):
        at = offset + 4 * width * (y if height < 0 else abs(height) - 1 - y)
        pixels = struct.unpack_from("<%dI" % width, data, at)
        rows.append([tuple(channel(p, m) for m in masks) for p in pixels])
    return width, rows


def write(path, width, rows, bits, compression, extra, lines, colours=0):
    """lines: the pixel rows' bytes as stored, each padded to 4 bytes."""
    body = b"".join(line + b"\0" * (-len(line) % 4) for line in lines)
    offset = FILE_HEADER + INFO_HEADER + len(extra)
    height = -len(rows) if bits == 8 else len(rows)  # the 8-bit one top-down
    head = b"BM" + struct.pack("<IHHI", offset + len(body), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", INFO_HEADER, width, height, 1, bits, compression,
                       len(body), 2835, 2835, colours, 0)
    open(path, "wb").write(head + info + extra + body)


def rewrite(path, layout):
    width, rows = read(path)
    colours = sorted({c for row in rows for c in row})
    if layout == 8 and len(colours) <= 256:
        index = {c: i for i, c in enumerate(colours)}
        palette = b"".join(bytes((c[2], c[1], c[0], 0)) for c in colours)
        lines = [bytes(index[c] for c in row) for row in rows]
        write(path, width, rows, 8, 0, palette, lines, len(colours))
    elif layout == 16:
        masks = struct.pack("<III", 0xF800, 0x07E0, 0x001F)
        lines = [b"".join(struct.pack("<H", (r >> 3) << 11 | (g >> 2) << 5 | b >> 3)
                          for r, g, b in row) for row in reversed(rows)]
        write(path, width, rows, 16, 3, masks, lines)
    else:
        lines = [b"".join(bytes((b, g, r)) for r, g, b in row) for row in reversed(rows)]
        write(path, width, rows, 24, 0, b"", lines)


for number, bmp in enumerate(sorted(glob.glob(sys.argv[1] + "/*.bmp"))):
    rewrite(bmp, (24, 8, 16)[number % 3])
