#!/usr/bin/env python3
"""Converts an uncompressed 24- or 32-bit BMP into a PNG, with the standard library only.

    bmp_to_png.py in.bmp out.png
    bmp_to_png.py --strip out.png frame1.bmp frame2.bmp ...   (frames side by side, 4 px apart)
"""
import struct
import sys
import zlib


def read_bmp(path):
    data = open(path, "rb").read()
    if data[:2] != b"BM":
        raise ValueError("not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits not in (24, 32) or compression not in (0, 3):
        raise ValueError("only uncompressed 24- and 32-bit BMP files are handled")
    bottom_up = height > 0
    height = abs(height)
    stride = (width * bits // 8 + 3) & ~3
    rows = []
    for y in range(height):
        start = offset + (height - 1 - y if bottom_up else y) * stride
        row = bytearray()
        for x in range(width):
            b, g, r = data[start + x * bits // 8: start + x * bits // 8 + 3]
            row += bytes((r, g, b))
        rows.append(bytes(row))
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    raw = b"".join(b"\0" + row for row in rows)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    open(path, "wb").write(png)


def strip(frames, gap=4):
    height = max(h for _, h, _ in frames)
    width = sum(w for w, _, _ in frames) + gap * (len(frames) - 1)
    rows = []
    for y in range(height):
        row = bytearray()
        for i, (w, h, frame) in enumerate(frames):
            if i:
                row += b"\xff" * (3 * gap)
            row += frame[y] if y < h else b"\xff" * (3 * w)
        rows.append(bytes(row))
    return width, height, rows


if __name__ == "__main__":
    if sys.argv[1] == "--strip":
        write_png(sys.argv[2], *strip([read_bmp(path) for path in sys.argv[3:]]))
    else:
        write_png(sys.argv[2], *read_bmp(sys.argv[1]))
