#!/usr/bin/env python3
"""Draws quillmark's own icons, bitmaps and cursor and writes them next to this script.

    python3 resources/art/make-artwork.py

Everything is drawn here from simple shapes; the output files are committed, so the build
does not need Python. Icons are .ico files with PNG images, the cursor a .cur file, and the
bitmap resources packed DIBs (header, palette, bottom-up rows) as the resource loader reads
them.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# ---- palette of the artwork
OUTLINE = (44, 52, 64)
BLUE = (58, 110, 165)
BLUE_LIGHT = (120, 170, 220)
SKY = (150, 200, 240)
GREEN = (60, 160, 80)
GREEN_DARK = (30, 110, 50)
RED = (210, 70, 60)
RED_DARK = (150, 40, 35)
FOLDER = (238, 190, 80)
FOLDER_DARK = (190, 135, 40)
PAPER = (250, 250, 245)
GREY = (170, 174, 180)
GREY_DARK = (110, 114, 120)
SILVER = (215, 218, 222)
MAGENTA = (255, 0, 255)


class Canvas:
    """RGBA picture with anti-aliased polygon fills and round strokes."""

    def __init__(self, w, h, bg=(0, 0, 0, 0)):
        self.w, self.h = w, h
        self.px = [list(bg) for _ in range(w * h)]

    def blend(self, x, y, rgb, cover, alpha=1.0):
        if cover <= 0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        a = min(1.0, cover) * alpha
        p = self.px[y * self.w + x]
        da = p[3] / 255.0
        oa = a + da * (1 - a)
        if oa <= 0:
            return
        for i in range(3):
            p[i] = (rgb[i] * a + p[i] * da * (1 - a)) / oa
        p[3] = oa * 255.0

    def polygon(self, pts, rgb, alpha=1.0, aa=True):
        """Even-odd fill; aa=False gives crisp pixels (one sample at the centre)."""
        n = 4 if aa else 1
        ys = [p[1] for p in pts]
        y0, y1 = max(0, int(math.floor(min(ys)))), min(self.h - 1, int(math.ceil(max(ys))))
        edges = list(zip(pts, pts[1:] + pts[:1]))
        for y in range(y0, y1 + 1):
            cover = {}
            for sy in range(n):
                fy = y + (sy + 0.5) / n
                xs = []
                for (ax, ay), (bx, by) in edges:
                    if (ay <= fy < by) or (by <= fy < ay):
                        xs.append(ax + (fy - ay) * (bx - ax) / (by - ay))
                xs.sort()
                for i in range(0, len(xs) - 1, 2):
                    # samples at x + (k + 0.5) / n inside [xs[i], xs[i+1])
                    a = math.ceil(xs[i] * n - 0.5)
                    b = math.ceil(xs[i + 1] * n - 0.5)
                    for s in range(max(a, 0), min(b, self.w * n)):
                        cover[s // n] = cover.get(s // n, 0) + 1
            for x, c in cover.items():
                self.blend(x, y, rgb, c / (n * n), alpha)

    def rect(self, x, y, w, h, rgb, alpha=1.0, aa=True):
        self.polygon([(x, y), (x + w, y), (x + w, y + h), (x, y + h)], rgb, alpha, aa)

    def ellipse(self, cx, cy, rx, ry, rgb, alpha=1.0, aa=True, steps=48):
        pts = [(cx + rx * math.cos(2 * math.pi * i / steps), cy + ry * math.sin(2 * math.pi * i / steps))
               for i in range(steps)]
        self.polygon(pts, rgb, alpha, aa)

    def rounded(self, x, y, w, h, r, rgb, alpha=1.0):
        pts = []
        for cx, cy, a0 in ((x + w - r, y + r, -90), (x + w - r, y + h - r, 0),
                           (x + r, y + h - r, 90), (x + r, y + r, 180)):
            for i in range(7):
                a = math.radians(a0 + 15 * i)
                pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
        self.polygon(pts, rgb, alpha)

    def stroke(self, lines, width, rgb, alpha=1.0):
        """Round-capped strokes along polylines (lists of points), by distance."""
        segs = []
        for line in lines:
            segs += list(zip(line, line[1:])) if len(line) > 1 else [(line[0], line[0])]
        r = width / 2.0
        xs = [p[0] for s in segs for p in s]
        ys = [p[1] for s in segs for p in s]
        x0, x1 = max(0, int(min(xs) - r - 1)), min(self.w - 1, int(max(xs) + r + 1))
        y0, y1 = max(0, int(min(ys) - r - 1)), min(self.h - 1, int(max(ys) + r + 1))
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                px, py = x + 0.5, y + 0.5
                best = 1e9
                for (ax, ay), (bx, by) in segs:
                    dx, dy = bx - ax, by - ay
                    ll = dx * dx + dy * dy
                    t = 0 if ll == 0 else max(0, min(1, ((px - ax) * dx + (py - ay) * dy) / ll))
                    d = math.hypot(px - ax - t * dx, py - ay - t * dy)
                    best = min(best, d)
                self.blend(x, y, rgb, max(0.0, min(1.0, r + 0.5 - best)), alpha)

    def outlined(self, shape, fill, outline=OUTLINE, **kw):
        """Draws shape (a polygon point list) filled and with a one-pixel outline."""
        self.polygon(shape, outline)
        self.polygon(inset(shape, 1.0), fill)


def inset(pts, d):
    """Moves every corner of a convex-ish polygon d pixels towards the centroid's side."""
    cx = sum(p[0] for p in pts) / len(pts)
    cy = sum(p[1] for p in pts) / len(pts)
    out = []
    for x, y in pts:
        out.append((x + (d if x < cx else -d if x > cx else 0), y + (d if y < cy else -d if y > cy else 0)))
    return out


def box(x, y, w, h):
    return [(x, y), (x + w, y), (x + w, y + h), (x, y + h)]


def arc(cx, cy, rx, ry, a0, a1, steps=16):
    return [(cx + rx * math.cos(math.radians(a0 + (a1 - a0) * i / steps)),
             cy + ry * math.sin(math.radians(a0 + (a1 - a0) * i / steps))) for i in range(steps + 1)]


# ---- file writers

def png_bytes(c):
    raw = b""
    for y in range(c.h):
        raw += b"\0" + bytes(int(round(v)) for p in c.px[y * c.w:(y + 1) * c.w] for v in p)
    def chunk(t, d):
        return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", c.w, c.h, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write_ico(name, canvases, cursor_hotspot=None):
    """An icon (or cursor, with a hot spot) file holding one PNG per size."""
    kind = 2 if cursor_hotspot else 1
    images = [png_bytes(c) for c in canvases]
    out = struct.pack("<HHH", 0, kind, len(images))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        a, b = cursor_hotspot if cursor_hotspot else (1, 32)
        out += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, a, b, len(data), offset)
        offset += len(data)
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(out + b"".join(images))


def quantize(c, fixed=()):
    """Palette of at most 256 colours (the fixed ones first) and the index of every pixel."""
    counts = {}
    for p in c.px:
        key = tuple(int(round(v)) >> 2 << 2 for v in p[:3])
        counts[key] = counts.get(key, 0) + 1
    palette = list(fixed) + [k for k, _ in sorted(counts.items(), key=lambda kv: -kv[1]) if k not in fixed]
    palette = palette[:256]
    cache = {}
    idx = []
    for p in c.px:
        rgb = tuple(int(round(v)) for v in p[:3])
        if rgb not in cache:
            cache[rgb] = min(range(len(palette)), key=lambda i: sum((palette[i][k] - rgb[k]) ** 2 for k in range(3)))
        idx.append(cache[rgb])
    palette += [(0, 0, 0)] * (256 - len(palette))
    return palette, idx


def write_dib8(name, c, fixed=()):
    """A packed 8-bit DIB: 40-byte header, 256 palette entries, rows bottom-up."""
    palette, idx = quantize(c, fixed)
    stride = (c.w + 3) & ~3
    header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h, 1, 8, 0, stride * c.h, 2835, 2835, 0, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    rows = b""
    for y in range(c.h - 1, -1, -1):
        rows += bytes(idx[y * c.w:(y + 1) * c.w]) + b"\0" * (stride - c.w)
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(header + pal + rows)


# ---- shapes shared by several pictures

def folder(c, x, y, w, h, open_=False, aa=True):
    tab = [(x, y + 2), (x + w * 0.4, y + 2), (x + w * 0.5, y), (x + w * 0.5, y + 2)]
    c.polygon([(x, y + 1), (x + w * 0.45, y + 1), (x + w * 0.55, y + 3), (x + w, y + 3),
               (x + w, y + h), (x, y + h)], OUTLINE, aa=aa)
    c.polygon([(x + 1, y + 2), (x + w * 0.45 - 0.5, y + 2), (x + w * 0.55 - 0.5, y + 4),
               (x + w - 1, y + 4), (x + w - 1, y + h - 1), (x + 1, y + h - 1)], FOLDER_DARK, aa=aa)
    if open_:
        c.polygon([(x + 2, y + h * 0.45), (x + w + 1, y + h * 0.45), (x + w - 2, y + h), (x, y + h)], OUTLINE, aa=aa)
        c.polygon([(x + 3, y + h * 0.45 + 1), (x + w - 0.2, y + h * 0.45 + 1), (x + w - 2.6, y + h - 1),
                   (x + 1.2, y + h - 1)], FOLDER, aa=aa)
    else:
        c.rect(x + 1, y + 5, w - 2, h - 6, FOLDER, aa=aa)
    del tab


def photo(c, x, y, w, h):
    c.rect(x, y, w, h, OUTLINE)
    c.rect(x + 1, y + 1, w - 2, h - 2, SKY)
    c.polygon([(x + 1, y + h - 1), (x + w * 0.45, y + h * 0.45), (x + w * 0.7, y + h * 0.7),
               (x + w * 0.8, y + h * 0.6), (x + w - 1, y + h * 0.8), (x + w - 1, y + h - 1)], GREEN)
    c.ellipse(x + w * 0.75, y + h * 0.28, w * 0.1 + 0.5, w * 0.1 + 0.5, (250, 210, 70))


def arrow(c, x, y, w, h, rgb, dark, left=False):
    """A fat arrow pointing right (or left) inside the box."""
    m = y + h / 2
    pts = [(x, m - h * 0.2), (x + w * 0.5, m - h * 0.2), (x + w * 0.5, y), (x + w, m),
           (x + w * 0.5, y + h), (x + w * 0.5, m + h * 0.2), (x, m + h * 0.2)]
    if left:
        pts = [(2 * x + w - px, py) for px, py in pts]
    c.polygon(pts, dark)
    c.polygon(inset_arrow(pts, left), rgb)


def inset_arrow(pts, left):
    # Shrinks the arrow by about one pixel so that the darker copy shows as its edge.
    cx = sum(p[0] for p in pts) / len(pts)
    cy = sum(p[1] for p in pts) / len(pts)
    return [(px + (cx - px) * 0.22, py + (cy - py) * 0.22) for px, py in pts]


# ---- icons

def icon_app(size):
    c = Canvas(size, size)
    s = size / 16.0
    c.rounded(0.5 * s, 1.5 * s, 15 * s, 13 * s, 2 * s, OUTLINE)
    c.rounded(1.5 * s, 2.5 * s, 13 * s, 11 * s, 1.4 * s, SKY)
    c.polygon([(1.5 * s, 13.5 * s), (6 * s, 7 * s), (9 * s, 10 * s), (11 * s, 8.5 * s), (14.5 * s, 12 * s),
               (14.5 * s, 13.5 * s)], GREEN)
    # the stamp: a round seal in the corner with a quill across it
    c.ellipse(11 * s, 5.5 * s, 3.6 * s, 3.6 * s, RED_DARK)
    c.ellipse(11 * s, 5.5 * s, 2.8 * s, 2.8 * s, RED)
    c.stroke([[(8.5 * s, 9.5 * s), (13.8 * s, 1.6 * s)]], max(1.0, 0.9 * s), PAPER)
    return c


def icon_open():
    c = Canvas(16, 16)
    folder(c, 0.5, 2.5, 15, 12, open_=True)
    return c


def icon_tab_input():
    c = Canvas(16, 16)
    c.rect(5, 1, 10, 8, OUTLINE)
    c.rect(6, 2, 8, 6, BLUE_LIGHT)
    photo(c, 1, 5, 11, 9)
    return c


def icon_tab_position():
    c = Canvas(16, 16)
    photo(c, 0.5, 1.5, 15, 13)
    c.rect(8.5, 8.5, 6, 5, OUTLINE)
    c.rect(9.5, 9.5, 4, 3, RED)
    c.stroke([[(4, 6), (4, 11)], [(1.5, 8.5), (6.5, 8.5)]], 1.0, OUTLINE)
    return c


def icon_tab_output():
    c = Canvas(16, 16)
    photo(c, 0.5, 1.5, 11, 9)
    arrow(c, 6.5, 8, 9, 7.5, GREEN, GREEN_DARK)
    return c


def icon_arrow(w, h, count, rgb, dark, left):
    c = Canvas(w, h)
    if count == 1:
        arrow(c, 1, 2, w - 2, h - 4, rgb, dark, left)
    else:
        aw = (w - 2) * 0.62
        arrow(c, 1 if not left else w - 1 - aw, 2, aw, h - 4, rgb, dark, left)
        arrow(c, w - 1 - aw if not left else 1, 2, aw, h - 4, rgb, dark, left)
    return c


def icon_new_folder():
    c = Canvas(16, 16)
    folder(c, 0.5, 3.5, 13, 11)
    c.ellipse(12, 5, 3.6, 3.6, GREEN_DARK)
    c.stroke([[(12, 3), (12, 7)], [(10, 5), (14, 5)]], 1.4, PAPER)
    return c


def icon_start():
    c = Canvas(16, 16)
    c.polygon([(3, 1.5), (14.5, 8), (3, 14.5)], GREEN_DARK)
    c.polygon([(4.2, 3.6), (12.3, 8), (4.2, 12.4)], GREEN)
    return c


def icon_stop():
    c = Canvas(16, 16)
    c.rounded(2, 2, 12, 12, 2, RED_DARK)
    c.rounded(3, 3, 10, 10, 1.4, RED)
    return c


# ---- cursor 144: a colour picker (pipette) whose tip is the hot spot at (1, 30)

def cursor_picker():
    c = Canvas(32, 32)
    body = [(1, 31), (2.5, 26.5), (15, 14), (18, 17), (5.5, 29.5)]
    c.polygon(body, PAPER)
    c.stroke([body + [body[0]]], 1.2, OUTLINE)
    c.polygon([(15, 11), (21, 17), (19, 19), (13, 13)], OUTLINE)
    c.ellipse(23.5, 8.5, 5, 5, OUTLINE)
    c.ellipse(23.5, 8.5, 3.8, 3.8, GREY_DARK)
    c.polygon([(3, 27.5), (8, 22.5), (10, 24.5), (5, 29.5)], BLUE)
    return c


# ---- bitmap 130: nine 16 x 15 pictures on magenta, drawn without smoothing so that the
# magenta key stays exact

def strip():
    c = Canvas(16 * 9, 15, bg=MAGENTA + (255,))

    def at(i):
        return 16 * i

    def drive_box(x, y=6, h=6, colour=GREY):
        c.rect(x + 1, y, 14, h, OUTLINE, aa=False)
        c.rect(x + 2, y + 1, 12, h - 2, colour, aa=False)

    # 0 hard disk
    x = at(0)
    drive_box(x)
    c.rect(x + 11, 9, 2, 1, (80, 220, 90), aa=False)
    c.rect(x + 3, 9, 6, 1, GREY_DARK, aa=False)
    # 1 floppy
    x = at(1)
    c.rect(x + 2, 1, 12, 13, OUTLINE, aa=False)
    c.rect(x + 3, 2, 10, 11, BLUE, aa=False)
    c.rect(x + 5, 2, 6, 4, SILVER, aa=False)
    c.rect(x + 9, 3, 1, 2, OUTLINE, aa=False)
    c.rect(x + 4, 8, 8, 5, PAPER, aa=False)
    # 2 CD-ROM: a drive with a disc above it
    x = at(2)
    drive_box(x, 9, 5)
    c.ellipse(x + 8, 5.5, 5.5, 5.0, OUTLINE, aa=False)
    c.ellipse(x + 8, 5.5, 4.5, 4.0, SILVER, aa=False)
    c.ellipse(x + 8, 5.5, 1.5, 1.5, OUTLINE, aa=False)
    c.rect(x + 9, 3, 2, 1, PAPER, aa=False)
    # 3 network drive: drive box on a cable
    x = at(3)
    drive_box(x, 2, 6)
    c.rect(x + 11, 5, 2, 1, (80, 220, 90), aa=False)
    c.rect(x + 7, 8, 2, 4, OUTLINE, aa=False)
    c.rect(x + 2, 12, 12, 2, OUTLINE, aa=False)
    # 4 RAM disk: a memory chip
    x = at(4)
    for k in range(5):
        c.rect(x + 3 + 2 * k, 3, 1, 2, GREY_DARK, aa=False)
        c.rect(x + 3 + 2 * k, 11, 1, 2, GREY_DARK, aa=False)
    c.rect(x + 1, 5, 14, 6, OUTLINE, aa=False)
    c.rect(x + 2, 6, 12, 4, GREEN_DARK, aa=False)
    c.rect(x + 3, 7, 4, 2, (40, 40, 40), aa=False)
    # 5 closed folder, 6 open folder
    folder(c, at(5) + 1, 2, 14, 12, aa=False)
    folder(c, at(6) + 1, 2, 13, 12, open_=True, aa=False)
    # 7 desktop: a monitor showing a wallpaper
    x = at(7)
    c.rect(x + 1, 1, 14, 10, OUTLINE, aa=False)
    c.rect(x + 2, 2, 12, 8, BLUE_LIGHT, aa=False)
    c.polygon([(x + 2, 10), (x + 7, 5), (x + 10, 8), (x + 14, 6), (x + 14, 10)], GREEN, aa=False)
    c.rect(x + 6, 11, 4, 2, OUTLINE, aa=False)
    c.rect(x + 4, 13, 8, 1, OUTLINE, aa=False)
    # 8 computer: a monitor on a case
    x = at(8)
    c.rect(x + 3, 0, 10, 8, OUTLINE, aa=False)
    c.rect(x + 4, 1, 8, 6, BLUE, aa=False)
    c.rect(x + 1, 9, 14, 5, OUTLINE, aa=False)
    c.rect(x + 2, 10, 12, 3, SILVER, aa=False)
    c.rect(x + 10, 11, 3, 1, GREY_DARK, aa=False)
    c.rect(x + 3, 11, 1, 1, (80, 220, 90), aa=False)
    return c


# ---- bitmap 153: the splash, 385 x 236, with the name

GLYPHS = {
    # Strokes of lower-case letters on a grid: x 0..w, baseline y 0, x-height 1, ascender
    # 1.6, descender -0.6 (y grows upwards here and is flipped when drawn).
    "q": (1.0, [arc(0.5, 0.5, 0.5, 0.5, 0, 360, 28), [(1.0, 1.0), (1.0, -0.6)]]),
    "u": (1.0, [[(0, 1)] + arc(0.5, 0.5, 0.5, 0.5, 180, 360, 14)[::-1][::-1] + [], [(1.0, 1.0), (1.0, 0)]]),
    "i": (0.0, [[(0, 0), (0, 1)], [(0, 1.45)]]),
    "l": (0.0, [[(0, 0), (0, 1.6)]]),
    "m": (1.5, [[(0, 0), (0, 1)], arc(0.375, 0.625, 0.375, 0.375, 180, 0, 12) + [(0.75, 0)],
                arc(1.125, 0.625, 0.375, 0.375, 180, 0, 12) + [(1.5, 0)]]),
    "a": (1.0, [arc(0.5, 0.5, 0.5, 0.5, 0, 360, 28), [(1.0, 1.0), (1.0, 0)]]),
    "r": (0.65, [[(0, 0), (0, 1)], arc(0.55, 0.45, 0.55, 0.55, 180, 80, 10)]),
    "k": (0.8, [[(0, 0), (0, 1.6)], [(0.8, 1.0), (0, 0.4)], [(0.3, 0.65), (0.85, 0)]]),
}
# "u" is an upturned arc: an arc whose y grows downwards from the top, flipped below.
GLYPHS["u"] = (1.0, [[(0, 1)] + [(0.5 - 0.5 * math.cos(math.radians(a)), 0.5 - 0.5 * math.sin(math.radians(a)))
                                  for a in range(0, 181, 12)] + [(1.0, 1.0)], [(1.0, 1.0), (1.0, 0)]])


def text_lines(word, x, baseline, size, gap):
    lines = []
    for ch in word:
        w, strokes = GLYPHS[ch]
        for s in strokes:
            lines.append([(x + px * size, baseline - py * size) for px, py in s])
        x += w * size + gap
    return lines, x


def splash():
    W, H = 385, 236
    c = Canvas(W, H)
    top, bottom = (32, 62, 104), (40, 120, 150)
    for y in range(H):
        t = y / (H - 1)
        rgb = tuple(top[i] + (bottom[i] - top[i]) * t for i in range(3))
        for x in range(W):
            c.px[y * W + x] = list(rgb) + [255]
    # a fanned stack of three pictures at the left, the front one stamped
    for k, (dx, dy, ang) in enumerate(((-26, 6, -14), (-8, -2, -4), (14, -4, 7))):
        cx, cy, w, h = 192 + dx, 74 + dy, 112, 82
        a = math.radians(ang)
        corners = [(-w / 2, -h / 2), (w / 2, -h / 2), (w / 2, h / 2), (-w / 2, h / 2)]
        rot = lambda p: (cx + p[0] * math.cos(a) - p[1] * math.sin(a), cy + p[0] * math.sin(a) + p[1] * math.cos(a))
        c.polygon([rot((px * 1.0, py * 1.0)) for px, py in corners], (20, 30, 45), alpha=0.35)
        c.polygon([rot(p) for p in corners], PAPER)
        inner = [(-w / 2 + 6, -h / 2 + 6), (w / 2 - 6, -h / 2 + 6), (w / 2 - 6, h / 2 - 6), (-w / 2 + 6, h / 2 - 6)]
        c.polygon([rot(p) for p in inner], SKY)
        hills = [(-w / 2 + 6, h / 2 - 6), (-w / 2 + 6, 8), (-18, -12), (8, 10), (24, 0), (w / 2 - 6, 16),
                 (w / 2 - 6, h / 2 - 6)]
        c.polygon([rot(p) for p in hills], GREEN)
        c.ellipse(*rot((26, -20)), 8, 8, (250, 210, 70))
        if k == 2:
            sx, sy = rot((30, 22))
            c.ellipse(sx, sy, 17, 17, RED_DARK, alpha=0.85)
            c.ellipse(sx, sy, 13.5, 13.5, RED, alpha=0.85)
            c.stroke([[(sx - 9, sy + 9), (sx + 11, sy - 13)]], 2.2, PAPER)
    # the name
    size, gap = 33, 11
    lines, end = text_lines("quillmark", 0, 0, size, gap)
    x0 = (W - (end - gap)) / 2
    lines = [[(x0 + px, 196 + py) for px, py in line] for line in lines]
    c.stroke([[(px + 2, py + 2) for px, py in line] for line in lines], 7, (15, 25, 40), alpha=0.5)
    c.stroke(lines, 7, PAPER)
    c.stroke([[(x0, 222), (x0 + end - gap, 222)]], 2.0, FOLDER)
    return c


def main():
    write_ico("app.ico", [icon_app(16), icon_app(32), icon_app(48)])
    write_ico("open.ico", [icon_open()])
    write_ico("tab-input.ico", [icon_tab_input()])
    write_ico("tab-position.ico", [icon_tab_position()])
    write_ico("tab-output.ico", [icon_tab_output()])
    write_ico("add-selected.ico", [icon_arrow(17, 17, 1, GREEN, GREEN_DARK, False)])
    write_ico("remove-selected.ico", [icon_arrow(17, 17, 1, RED, RED_DARK, True)])
    write_ico("add-all.ico", [icon_arrow(20, 18, 2, GREEN, GREEN_DARK, False)])
    write_ico("remove-all.ico", [icon_arrow(20, 18, 2, RED, RED_DARK, True)])
    write_ico("new-folder.ico", [icon_new_folder()])
    write_ico("start.ico", [icon_start()])
    write_ico("stop.ico", [icon_stop()])
    write_ico("picker.cur", [cursor_picker()], cursor_hotspot=(1, 30))
    write_dib8("folders.dib", strip(), fixed=(MAGENTA,))
    write_dib8("splash.dib", splash())


if __name__ == "__main__":
    main()
