#!/usr/bin/env python3
"""Independent check of the crash reporter's PNG files, with Python's standard library:
chunk order and CRCs, the IDAT zlib header and Adler-32, and every pixel's palette index
against the mapping the encoder promises (nearest entry by the sum of absolute differences,
lowest index on ties, decided per 15-bit cell by the first pixel met from the top; for 16
greys the nearest grey level)."""
import struct
import sys
import zlib
from pathlib import Path

GREYS = [0, 28, 52, 73, 92, 109, 125, 140, 155, 170, 185, 199, 213, 227, 241, 255]


def chunks(data):
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "signature"
    at = 8
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        crc, = struct.unpack(">I", data[at + 8 + length:at + 12 + length])
        assert crc == zlib.crc32(kind + body), "CRC of " + kind.decode()
        yield kind, body
        at += 12 + length


def check(folder, name):
    png = (folder / (name + ".png")).read_bytes()
    rgb = (folder / (name + ".rgb")).read_bytes()
    filled = int((folder / (name + ".k")).read_text())
    parts = list(chunks(png))
    assert [k for k, _ in parts] == [b"IHDR", b"PLTE", b"IDAT", b"IEND"], "chunk order"
    width, height, depth, colour, comp, filt, inter = struct.unpack(">IIBBBBB", parts[0][1])
    palette, idat = parts[1][1], parts[2][1]
    assert (colour, comp, filt, inter) == (3, 0, 0, 0)
    assert depth == (8 if len(palette) == 768 else 4)
    assert idat[:2] == b"\x78\x01", "zlib header"
    raw = zlib.decompressobj(-15).decompress(idat[2:-4])
    assert struct.unpack(">I", idat[-4:])[0] == zlib.adler32(raw), "Adler-32"
    assert zlib.decompress(idat) == raw
    entries = [tuple(palette[i:i + 3]) for i in range(0, len(palette), 3)][:filled]
    row = width + 1 if depth == 8 else (width + 1) // 2 + 1
    assert len(raw) == height * row, "image data size"
    cache = {}
    for y in range(height):
        line = raw[y * row:(y + 1) * row]
        assert line[0] == 0, "filter byte"
        for x in range(width):
            r, g, b = rgb[(y * width + x) * 3:(y * width + x) * 3 + 3]
            if depth == 8:
                got = line[1 + x]
                key = (r >> 3) + (g >> 3) * 32 + (b >> 3) * 1024
                if key not in cache:
                    dist = [abs(r - e[0]) + abs(g - e[1]) + abs(b - e[2]) for e in entries]
                    cache[key] = dist.index(min(dist))
                want = cache[key]
            else:
                assert r == g == b, "grey pixels"
                byte = line[1 + x // 2]
                got = byte >> 4 if x % 2 == 0 else byte & 15
                dist = [abs(r - level) for level in GREYS]
                want = dist.index(min(dist))
            assert got == want, f"{name}: pixel {x},{y} has index {got}, expected {want}"
        if depth == 4 and width % 2:
            assert line[-1] & 15 == 0, "low bits of the last byte"
    return width * height


def main():
    folder = Path(sys.argv[1])
    names = sorted(p.stem for p in folder.glob("*.png"))
    assert names, "no samples"
    for name in names:
        pixels = check(folder, name)
        print(f"{name}: {pixels} pixels checked")
    print(f"{len(names)} passed, 0 failed")


if __name__ == "__main__":
    main()
