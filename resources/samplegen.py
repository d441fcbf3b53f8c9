#!/usr/bin/env python3
"""Writes sample.bmp, the program's built-in sample picture (resource 157): a lake
landscape at dusk, 190 x 190 pixels, 8 bits per pixel with its own palette.

Run from this folder: python3 samplegen.py. The output is committed; the build embeds it.
"""
import math
import struct

W = H = 190


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def ramp(stops, n):
    """n colours spread along the given (position, colour) stops."""
    out = []
    for k in range(n):
        t = k / (n - 1)
        for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
            if p0 <= t <= p1:
                out.append(mix(c0, c1, (t - p0) / (p1 - p0)))
                break
    return out


SKY = [(0.0, (38, 52, 120)), (0.55, (118, 120, 190)), (0.8, (236, 150, 130)), (1.0, (255, 205, 140))]
SUN = [(0.0, (255, 170, 90)), (0.6, (255, 225, 150)), (1.0, (255, 250, 225))]
FAR = [(0.0, (60, 60, 110)), (1.0, (140, 120, 160))]
NEAR = [(0.0, (18, 40, 30)), (0.5, (40, 90, 50)), (1.0, (110, 150, 70))]
WATER = [(0.0, (20, 30, 70)), (0.5, (90, 90, 150)), (1.0, (240, 180, 140))]
SHORE = [(0.0, (50, 40, 30)), (1.0, (170, 140, 90))]

PALETTE = (ramp(SKY, 64) + ramp(SUN, 24) + ramp(FAR, 32) + ramp(NEAR, 56) + ramp(WATER, 56)
           + ramp(SHORE, 24))
assert len(PALETTE) == 256

SUN_X, SUN_Y, SUN_R = 128.0, 92.0, 16.0
HORIZON = 118


def far_ridge(x):
    return 96 + 10 * math.sin(x * 0.045 + 1.0) + 5 * math.sin(x * 0.13)


def near_ridge(x):
    return 112 + 14 * math.sin(x * 0.03 - 0.6) + 4 * math.sin(x * 0.21 + 2.0)


def sky(x, y):
    d = math.hypot(x - SUN_X, y - SUN_Y)
    if d < SUN_R:
        return mix(SUN[2][1], SUN[1][1], d / SUN_R)
    glow = max(0.0, 1.0 - (d - SUN_R) / 70.0) ** 2
    base = mix(SKY[0][1], SKY[-1][1], (y / HORIZON) ** 1.4)
    return mix(base, SUN[0][1], glow * 0.55)


def colour(x, y):
    if y < HORIZON:
        if y > near_ridge(x):
            shade = (y - near_ridge(x)) / 30.0 + 0.15 * math.sin(x * 0.3 + y * 0.2)
            return mix((110, 150, 70), (18, 40, 30), shade)
        if y > far_ridge(x):
            return mix((140, 120, 160), (60, 60, 110), (y - far_ridge(x)) / 25.0)
        return sky(x, y)
    if y > 170 - 6 * math.sin(x * 0.05):
        return mix((170, 140, 90), (50, 40, 30), (y - 160) / 30.0 + 0.08 * math.sin(x * 0.11 + y * 0.3))
    # The lake mirrors the sky, darker and rippled.
    ripple = 2.5 * math.sin(y * 0.9 + x * 0.05)
    mirror = 2 * HORIZON - y
    c = sky(x + ripple, max(0, mirror))
    return mix(mix(c, (90, 90, 150), 0.3), (20, 30, 70), 0.15 + (y - HORIZON) / 120.0)


BAYER = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def nearest(c):
    best, bi = 1e18, 0
    for i, p in enumerate(PALETTE):
        d = (c[0] - p[0]) ** 2 + (c[1] - p[1]) ** 2 + (c[2] - p[2]) ** 2
        if d < best:
            best, bi = d, i
    return bi


def main():
    stride = (W + 3) & ~3
    rows = []
    for y in range(H - 1, -1, -1):  # bottom-up
        row = bytearray(stride)
        for x in range(W):
            d = (BAYER[y % 4][x % 4] - 7.5) * 0.9
            c = tuple(v + d for v in colour(x, y))
            row[x] = nearest(c)
        rows.append(bytes(row))
    palette = b"".join(struct.pack("<BBBB", round(b), round(g), round(r), 0)
                       for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    pixels = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    with open("sample.bmp", "wb") as f:
        f.write(header + info + palette + pixels)


if __name__ == "__main__":
    main()
