#!/usr/bin/env python3
"""Draws the program's icon rdxmon.png (a recorder chart: two pen traces on a
grid, in a rounded dark-blue case). Standard library only; run it again after
a change and keep the PNG it writes beside it."""
import math
import struct
import sys
import zlib

SIZE = 128          # pixels of the finished icon
SS = 4              # supersampling per axis, for smooth edges
N = SIZE * SS

CASE = (31, 59, 92)
BEZEL = (70, 110, 150)
PAPER = (246, 248, 240)
GRID = (190, 205, 190)
PEN1 = (200, 40, 40)
PEN2 = (30, 130, 60)


def inside_rounded(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def trace(t, phase, amp, base):
    return base + amp * math.sin(2 * math.pi * (1.3 * t + phase)) * (0.6 + 0.4 * math.cos(5 * t))


def colour_at(x, y):
    # x, y in icon pixels (floating).
    if not inside_rounded(x, y, 2, 2, 126, 126, 18):
        return None
    if not inside_rounded(x, y, 14, 14, 114, 114, 6):
        return CASE
    if not inside_rounded(x, y, 18, 18, 110, 110, 4):
        return BEZEL
    t = (x - 18) / 92.0
    for base, phase, amp, pen in ((50, 0.0, 16, PEN1), (80, 0.35, 12, PEN2)):
        # distance to the trace, along y, scaled by its slope
        yv = trace(t, phase, amp, base)
        dy = (trace(t + 0.002, phase, amp, base) - yv) / (0.002 * 92.0)
        if abs(y - yv) / math.sqrt(1 + dy * dy) <= 2.2:
            return pen
    gx = (x - 18) % 23
    gy = (y - 18) % 23
    if gx < 1.0 or gy < 1.0:
        return GRID
    return PAPER


def main(path):
    rows = []
    for py in range(SIZE):
        row = bytearray([0])  # filter type 0
        for px in range(SIZE):
            r = g = b = a = 0
            for sy in range(SS):
                for sx in range(SS):
                    c = colour_at(px + (sx + 0.5) / SS, py + (sy + 0.5) / SS)
                    if c is not None:
                        r += c[0]; g += c[1]; b += c[2]; a += 1
            if a:
                row += bytes((r // a, g // a, b // a, 255 * a // (SS * SS)))
            else:
                row += bytes((0, 0, 0, 0))
        rows.append(bytes(row))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "rdxmon.png")
