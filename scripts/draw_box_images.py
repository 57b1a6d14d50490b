#!/usr/bin/env python3
"""Draws the crash dialog's button images and its big icon into crash/ui/images/ as 32-bit
BMP files with straight (not premultiplied) alpha, bottom-up, without a colour table: once
linked as BITMAP resources they are a 40-byte header and size x size x 4 bytes of pixels.

The images are kept in the tree; run this only to change them:
    python3 scripts/draw_box_images.py
"""

import math
import os
import struct
import sys

SAMPLES = 4  # sub-pixels per pixel and direction, for smooth edges


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy or 1)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def inside_polygon(px, py, pts):
    inside = False
    j = len(pts) - 1
    for i in range(len(pts)):
        xi, yi = pts[i]
        xj, yj = pts[j]
        if (yi > py) != (yj > py) and px < (xj - xi) * (py - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


# Shapes: functions of a point (in pixel units, 0..size) that say whether it is covered.
def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r0, r1, gap_from=None, gap_to=None):
    def f(x, y):
        d = math.hypot(x - cx, y - cy)
        if not r0 <= d <= r1:
            return False
        if gap_from is None:
            return True
        a = math.degrees(math.atan2(-(y - cy), x - cx)) % 360
        return not (gap_from <= a <= gap_to)
    return f


def line(ax, ay, bx, by, w):
    return lambda x, y: seg_dist(x, y, ax, ay, bx, by) <= w / 2


def polygon(*pts):
    return lambda x, y: inside_polygon(x, y, pts)


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


def draw(size, layers):
    """layers: (shape, (r, g, b, a)) painted in order, later over earlier."""
    pixels = []
    for row in range(size):
        out_row = []
        for col in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = col + (sx + 0.5) / SAMPLES
                    y = row + (sy + 0.5) / SAMPLES
                    c = (0, 0, 0, 0)
                    for shape, colour in layers:
                        if shape(x, y):
                            c = colour
                    a = c[3] / 255.0
                    for k in range(3):
                        acc[k] += c[k] * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if alpha > 0:
                rgb = [min(255, round(acc[k] / acc[3])) for k in range(3)]
            else:
                rgb = [0, 0, 0]
            out_row.append((rgb[0], rgb[1], rgb[2], round(alpha * 255)))
        pixels.append(out_row)
    return pixels


def write_bmp(path, pixels):
    size = len(pixels)
    data = bytearray()
    for row in reversed(pixels):  # bottom-up
        for r, g, b, a in row:
            data += bytes((b, g, r, a))
    header = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 32, 0, len(data), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(data), 0, 0, 14 + len(header))
    with open(path, "wb") as f:
        f.write(file_header + header + data)


BLUE = (40, 96, 200, 255)
DARK = (60, 60, 70, 255)
GREY = (150, 150, 150, 255)
LIGHT = (250, 250, 250, 255)
GREEN = (40, 160, 60, 255)
RED = (205, 45, 45, 255)
PAPER = (255, 255, 255, 255)
ORANGE = (235, 150, 30, 255)


def images():
    yield "send", [  # an envelope
        (rect(1.5, 3.5, 14.5, 12.5), DARK),
        (rect(2.5, 4.5, 13.5, 11.5), PAPER),
        (line(2.5, 4.5, 8, 9, 1.3), DARK),
        (line(13.5, 4.5, 8, 9, 1.3), DARK),
    ]
    yield "save", [  # a disk
        (polygon((1.5, 1.5), (12.5, 1.5), (14.5, 3.5), (14.5, 14.5), (1.5, 14.5)), BLUE),
        (rect(4, 1.5, 11.5, 6), PAPER),
        (rect(9, 2.5, 10.5, 5), DARK),
        (rect(3.5, 9, 12.5, 14.5), LIGHT),
    ]
    yield "print", [  # a printer with a sheet
        (rect(4, 1.5, 12, 6), PAPER),
        (minus(rect(4, 1.5, 12, 6), rect(5, 2.5, 11, 6)), DARK),
        (rect(1.5, 6, 14.5, 11.5), DARK),
        (rect(12, 7.5, 13, 8.5), GREEN),
        (rect(4, 9.5, 12, 14.5), PAPER),
        (minus(rect(4, 9.5, 12, 14.5), rect(5, 9.5, 11, 13.5)), DARK),
    ]
    yield "show", [  # a sheet under a magnifier
        (rect(2, 1.5, 11, 14.5), DARK),
        (rect(3, 2.5, 10, 13.5), PAPER),
        (line(4.5, 5, 8.5, 5, 1), GREY),
        (line(4.5, 7.5, 8.5, 7.5, 1), GREY),
        (line(4.5, 10, 7, 10, 1), GREY),
        (ring(10.5, 9.5, 2.6, 4.0), BLUE),
        (line(13, 12.5, 15, 14.8, 2.2), BLUE),
    ]
    yield "continue", [  # a right arrow
        (polygon((2, 6), (8.5, 6), (8.5, 2.5), (14.5, 8), (8.5, 13.5), (8.5, 10), (2, 10)), GREEN),
    ]
    yield "restart", [  # a circular arrow
        (ring(8, 8.5, 3.6, 6.0, 20, 95), BLUE),
        (polygon((8.2, 0.6), (13.5, 3.2), (8.2, 6.6)), BLUE),
    ]
    yield "close", [  # a cross
        (line(3, 3, 13, 13, 3.2), RED),
        (line(13, 3, 3, 13, 3.2), RED),
    ]
    yield "cantContinue", [  # the arrow, greyed
        (polygon((2, 6), (8.5, 6), (8.5, 2.5), (14.5, 8), (8.5, 13.5), (8.5, 10), (2, 10)), GREY),
    ]
    yield "big", [  # a warning sign
        (polygon((16, 1.5), (31, 29.5), (1, 29.5)), (120, 70, 10, 255)),
        (polygon((16, 4.2), (28.6, 28), (3.4, 28)), ORANGE),
        (polygon((14.3, 10), (17.7, 10), (16.8, 21), (15.2, 21)), (40, 30, 20, 255)),
        (circle(16, 24.5, 1.8), (40, 30, 20, 255)),
    ]


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "crash", "ui", "images")
    os.makedirs(folder, exist_ok=True)
    for name, layers in images():
        size = 32 if name == "big" else 16
        write_bmp(os.path.join(folder, "vxi" + name + ".bmp"), draw(size, layers))
    return 0


if __name__ == "__main__":
    sys.exit(main())
