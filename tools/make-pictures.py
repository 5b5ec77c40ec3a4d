#!/usr/bin/env python3
#
# make-pictures.py - draws the picture resources of QVXLiveUpdate.
#
# Writes, into resources/ next to this tools/ folder:
#   side.bmp    163 x 290, 24 bpp BI_RGB  - side banner of the wizard window
#   side32.bmp  164 x 290, 32 bpp BI_RGB  - the same banner, one pixel wider
#   app.ico     16, 32, 48 (32 bpp DIB) and 256 (PNG) - the program icon
#
# The pictures are drawn procedurally instead of being kept only as opaque
# binaries, so that they can be reviewed, tweaked and rebuilt on any machine
# that has a bare Python 3: only the standard library is used (zlib and
# struct write the PNG), no argument is taken, and the output is the same,
# byte for byte, on every run.
#
# Drawing model: every shape is a signed distance function measured in
# pixels; a shape covers a pixel by clamp(0.5 - distance), which gives
# exact coverage on pixel-aligned straight edges and smooth antialiasing on
# curves and diagonals, without supersampling.  Soft shapes use a wider
# smoothstep ramp instead.  Gradients get a tiny ordered dither so that they
# do not band in 8 bits per channel.
#
# The 24-bit banner is loaded with LR_LOADMAP3DCOLORS, which replaces the
# exact greys RGB(128,128,128), (192,192,192) and (223,223,223) with the
# system 3-D colours; the palette is blue/teal so these never occur, and a
# final pass nudges any such pixel anyway.

import math
import os
import struct
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT_DIR = os.path.join(ROOT, "resources")

# Greys that LR_LOADMAP3DCOLORS would remap.
MAPPED_GREYS = (128, 192, 223)

# 4x4 Bayer matrix, thresholds in (0, 1).
BAYER4 = [[(v + 0.5) / 16.0 for v in row] for row in
          ((0, 8, 2, 10), (12, 4, 14, 6), (3, 11, 1, 9), (15, 7, 13, 5))]


# ---------------------------------------------------------------- helpers

def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def smoothstep(e0, e1, x):
    t = clamp((x - e0) / (e1 - e0))
    return t * t * (3.0 - 2.0 * t)


def mix(a, b, t):
    return (a[0] + (b[0] - a[0]) * t,
            a[1] + (b[1] - a[1]) * t,
            a[2] + (b[2] - a[2]) * t)


def hexrgb(s):
    return (int(s[0:2], 16) / 255.0, int(s[2:4], 16) / 255.0,
            int(s[4:6], 16) / 255.0)


def gradient(stops, t):
    """stops: list of (position, rgb), positions ascending in [0, 1]."""
    t = clamp(t)
    for i in range(1, len(stops)):
        p0, c0 = stops[i - 1]
        p1, c1 = stops[i]
        if t <= p1:
            return mix(c0, c1, smoothstep(0.0, 1.0, (t - p0) / (p1 - p0)))
    return stops[-1][1]


def over(dst, src, a):
    """Blend colour src with opacity a over the opaque colour dst."""
    if a <= 0.0:
        return dst
    return mix(dst, src, a)


def cover(d):
    """Hard edge, one pixel of antialiasing."""
    return clamp(0.5 - d)


def soft(d, width):
    """Soft edge, 'width' pixels on each side of the outline."""
    return 1.0 - smoothstep(-width, width, d)


# Signed distance functions (negative inside).

def sd_circle(px, py, cx, cy, r):
    return math.hypot(px - cx, py - cy) - r


def sd_ring(px, py, cx, cy, r, w):
    return abs(math.hypot(px - cx, py - cy) - r) - w * 0.5


def sd_arc(px, py, cx, cy, r, w, gap):
    """Ring with an opening of +/- gap radians around 'straight up', with
    round caps."""
    dx, dy = px - cx, py - cy
    ang = math.atan2(dx, -dy)          # 0 = up, clockwise positive
    if abs(ang) >= gap:
        return abs(math.hypot(dx, dy) - r) - w * 0.5
    ex = r * math.sin(gap) * (1.0 if ang >= 0 else -1.0)
    ey = -r * math.cos(gap)
    return math.hypot(dx - ex, dy - ey) - w * 0.5


def sd_round_box(px, py, x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) * 0.5, (y0 + y1) * 0.5
    hx, hy = (x1 - x0) * 0.5 - r, (y1 - y0) * 0.5 - r
    qx, qy = abs(px - cx) - hx, abs(py - cy) - hy
    out = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return out + min(max(qx, qy), 0.0) - r


def sd_polygon(px, py, pts):
    n = len(pts)
    d = (px - pts[0][0]) ** 2 + (py - pts[0][1]) ** 2
    s = 1.0
    j = n - 1
    for i in range(n):
        xi, yi = pts[i]
        xj, yj = pts[j]
        ex, ey = xj - xi, yj - yi
        wx, wy = px - xi, py - yi
        t = clamp((wx * ex + wy * ey) / (ex * ex + ey * ey))
        bx, by = wx - ex * t, wy - ey * t
        dd = bx * bx + by * by
        if dd < d:
            d = dd
        c1 = py >= yi
        c2 = py < yj
        c3 = ex * wy > ey * wx
        if (c1 and c2 and c3) or (not c1 and not c2 and not c3):
            s = -s
        j = i
    return s * math.sqrt(d)


def arrow_polygon(cx, tip, head_base, bottom, head_half, shaft_half):
    """Upward arrow, clockwise from the tip."""
    return [(cx, tip),
            (cx + head_half, head_base),
            (cx + shaft_half, head_base),
            (cx + shaft_half, bottom),
            (cx - shaft_half, bottom),
            (cx - shaft_half, head_base),
            (cx - head_half, head_base)]


def sd_wave(px, py, base, amp, freq, phase):
    """Area below the curve y = base + amp * sin(freq * x + phase)."""
    yw = base + amp * math.sin(freq * px + phase)
    slope = amp * freq * math.cos(freq * px + phase)
    return (yw - py) / math.sqrt(1.0 + slope * slope)


def quantize(v, x, y):
    """Float channel in [0, 1] to a byte, with ordered dither."""
    q = int(v * 255.0 + BAYER4[y & 3][x & 3])
    return 0 if q < 0 else 255 if q > 255 else q


class Lcg:
    """Tiny deterministic generator (independent of the random module)."""

    def __init__(self, seed):
        self.s = seed & 0xFFFFFFFF

    def next(self):
        self.s = (self.s * 1664525 + 1013904223) & 0xFFFFFFFF
        return self.s / 4294967296.0


# ---------------------------------------------------------------- banner

BANNER_STOPS = [
    (0.00, hexrgb("0a1f4d")),   # deep navy
    (0.45, hexrgb("114a8c")),   # ocean blue
    (0.80, hexrgb("138296")),   # blue teal
    (1.00, hexrgb("1aa89f")),   # teal
]
WHITE = (1.0, 1.0, 1.0)
GLOW = hexrgb("8fe3ff")
SHADOW = hexrgb("06142f")


def banner_pixels(w, h):
    """Return rows (top-down) of (r, g, b) byte tuples."""
    cx = w * 0.5                        # emblem centre
    cy = 104.0
    ring_r = 46.0

    # Arrow of the emblem; its tip pokes out through the gap of the ring.
    arrow = arrow_polygon(cx, cy - 56.0, cy - 14.0, cy + 28.0, 22.0, 8.0)

    # Decorative big circles (centre x relative to width, y, radius, alpha).
    discs = [(w * 0.95, 18.0, 78.0, 0.055),
             (w * 0.02, 246.0, 96.0, 0.050),
             (w * 0.15, 20.0, 34.0, 0.035)]
    # Concentric thin arcs around a point off the right edge.
    arcs_c = (w + 36.0, 196.0)
    arcs = [(56.0, 0.16), (76.0, 0.11), (96.0, 0.075), (116.0, 0.05)]

    # Small rising dots above and around the emblem.
    rnd = Lcg(20240611)
    dots = []
    while len(dots) < 22:
        x = rnd.next() * w
        y = 8.0 + rnd.next() * 200.0
        r = 0.8 + rnd.next() * 1.8
        a = 0.18 + rnd.next() * 0.35
        if math.hypot(x - cx, y - cy) < ring_r + 10.0:
            continue
        dots.append((x, y, r, a))

    # Waves at the bottom: base, amplitude, frequency, phase, alpha.
    waves = [(222.0, 7.0, 2.0 * math.pi * 1.1 / w, 0.6, 0.060),
             (240.0, 6.0, 2.0 * math.pi * 0.8 / w, 2.4, 0.075),
             (258.0, 5.0, 2.0 * math.pi * 1.3 / w, 4.1, 0.090),
             (274.0, 4.0, 2.0 * math.pi * 0.9 / w, 1.2, 0.100)]

    rows = []
    for y in range(h):
        py = y + 0.5
        row = []
        for x in range(w):
            px = x + 0.5

            # Background: vertical gradient, slightly tilted.
            t = (py / h) + 0.06 * (px / w - 0.5)
            col = gradient(BANNER_STOPS, t)

            # Soft glow behind the emblem.
            dg = math.hypot(px - cx, py - cy)
            if dg < 110.0:
                glow = 1.0 - smoothstep(0.0, 110.0, dg)
                col = over(col, GLOW, 0.16 * glow)

            for (dx, dy, dr, da) in discs:
                d = sd_circle(px, py, dx, dy, dr)
                if d < 2.0:
                    col = over(col, WHITE, da * cover(d))

            da_r = math.hypot(px - arcs_c[0], py - arcs_c[1])
            for (ar, aa) in arcs:
                d = abs(da_r - ar) - 0.6
                if d < 1.5:
                    col = over(col, WHITE, aa * cover(d))

            if py > 200.0:
                for (wb, wa, wf, wp, walpha) in waves:
                    d = sd_wave(px, py, wb, wa, wf, wp)
                    if d < 1.5:
                        col = over(col, WHITE, walpha * cover(d))

            for (ox, oy, orr, oa) in dots:
                if abs(px - ox) < 4.0 and abs(py - oy) < 4.0:
                    d = sd_circle(px, py, ox, oy, orr)
                    col = over(col, WHITE, oa * cover(d))

            # Emblem.
            if dg < ring_r + 16.0 or (abs(px - cx) < 30.0 and py < cy):
                # Translucent disc with a rim.
                d = sd_circle(px, py, cx, cy, ring_r - 7.0)
                col = over(col, WHITE, 0.10 * cover(d))
                d = sd_arc(px, py, cx, cy, ring_r, 4.0, math.radians(30.0))
                col = over(col, WHITE, 0.85 * cover(d))
                # Arrow: soft shadow, then the arrow itself.
                d = sd_polygon(px, py - 3.0, arrow)
                col = over(col, SHADOW, 0.35 * soft(d, 3.5))
                d = sd_polygon(px, py, arrow)
                if d < 1.0:
                    # A faint vertical shade on the arrow for depth.
                    shade = mix(WHITE, hexrgb("d8f3ff"),
                                clamp((py - (cy - 56.0)) / 86.0))
                    col = over(col, shade, cover(d))

            row.append((quantize(col[0], x, y), quantize(col[1], x, y),
                        quantize(col[2], x, y)))
        rows.append(row)
    return avoid_mapped_greys(rows)


def avoid_mapped_greys(rows):
    out = []
    for row in rows:
        new = []
        for (r, g, b) in row:
            if r == g == b and r in MAPPED_GREYS:
                b += 1
            new.append((r, g, b))
        out.append(new)
    return out


def write_bmp(path, rows, bpp):
    h = len(rows)
    w = len(rows[0])
    bpp_bytes = bpp // 8
    stride = (w * bpp_bytes + 3) & ~3
    pad = b"\0" * (stride - w * bpp_bytes)
    data = bytearray()
    for row in reversed(rows):              # bottom-up
        for (r, g, b) in row:
            if bpp == 32:
                # BI_RGB 32 bpp: the fourth byte is documented as unused.
                # It is written as 0, the conventional value: code that
                # looks for per-pixel alpha (AlphaBlend users, 32-bit image
                # lists) treats an all-zero fourth byte as "no alpha" and
                # draws the picture opaque, whereas 0xFF would be accepted
                # as real alpha by some and not by others.
                data += bytes((b, g, r, 0))
            else:
                data += bytes((b, g, r))
        data += pad
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bpp, 0, len(data),
                       2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0,
                       14 + len(info))
    with open(path, "wb") as f:
        f.write(head + info + bytes(data))


# ---------------------------------------------------------------- icon

ICON_STOPS = [
    (0.00, hexrgb("1a4fa8")),
    (0.55, hexrgb("1577b0")),
    (1.00, hexrgb("16b3a3")),
]


def icon_geometry(s):
    """Shapes of the icon at size s.  Small sizes are laid out by hand on
    the pixel grid so that the arrow stays crisp."""
    if s == 16:
        return dict(box=(0, 0, 16, 16, 3.0),
                    arrow=arrow_polygon(8, 2, 8, 14, 6, 2),
                    ring=None, shadow=0.0)
    if s == 32:
        return dict(box=(1, 1, 31, 31, 6.0),
                    arrow=arrow_polygon(16, 5, 15, 27, 10, 4),
                    ring=None, shadow=1.0)
    if s == 48:
        return dict(box=(1, 1, 47, 47, 9.0),
                    arrow=arrow_polygon(24, 8, 21, 36, 10, 4),
                    ring=(24, 25, 16, 2.5, 38.0), shadow=1.5)
    k = s / 256.0
    return dict(box=(8 * k, 8 * k, 248 * k, 248 * k, 52 * k),
                arrow=arrow_polygon(128 * k, 42 * k, 112 * k, 198 * k,
                                    54 * k, 20 * k),
                ring=(128 * k, 136 * k, 82 * k, 12 * k, 36.0),
                shadow=5 * k)


def icon_pixels(s):
    """Return rows (top-down) of (r, g, b, a) byte tuples."""
    g = icon_geometry(s)
    bx0, by0, bx1, by1, br = g["box"]
    rows = []
    for y in range(s):
        py = y + 0.5
        row = []
        for x in range(s):
            px = x + 0.5
            dbox = sd_round_box(px, py, bx0, by0, bx1, by1, br)
            alpha = cover(dbox)
            if alpha <= 0.0:
                row.append((0, 0, 0, 0))
                continue
            # Diagonal gradient, top-left to bottom-right.
            t = ((px - bx0) / (bx1 - bx0) * 0.35 +
                 (py - by0) / (by1 - by0) * 0.65)
            col = gradient(ICON_STOPS, t)
            # Gloss on the upper half.
            if s >= 32:
                gl = 1.0 - smoothstep(by0, (by0 + by1) * 0.55, py)
                col = over(col, WHITE, 0.12 * gl)
            # Subtle darker rim to separate the tile from light backgrounds.
            # (cover(-d - w) is 1 on the outer w pixels of the tile)
            if s >= 32:
                rim = max(1.0, s / 110.0)
                col = over(col, SHADOW, 0.30 * cover(-dbox - rim))
            if g["ring"]:
                rcx, rcy, rr, rw, gap = g["ring"]
                d = sd_arc(px, py, rcx, rcy, rr, rw, math.radians(gap))
                col = over(col, WHITE, 0.60 * cover(d))
            if g["shadow"] > 0.0:
                d = sd_polygon(px, py - g["shadow"], g["arrow"])
                col = over(col, SHADOW, 0.30 * soft(d, max(g["shadow"], 0.8)))
            d = sd_polygon(px, py, g["arrow"])
            col = over(col, WHITE, cover(d))
            a = int(alpha * 255.0 + 0.5)
            row.append((int(col[0] * 255.0 + 0.5), int(col[1] * 255.0 + 0.5),
                        int(col[2] * 255.0 + 0.5), a))
        rows.append(row)
    return rows


def icon_dib(rows):
    """BITMAPINFOHEADER + BGRA pixels + AND mask, as stored in an .ico."""
    s = len(rows)
    xor = bytearray()
    for row in reversed(rows):
        for (r, g, b, a) in row:
            xor += bytes((b, g, r, a))
    # AND mask: 1 = transparent.  Used only where alpha is not honoured;
    # pixels less than half covered are dropped there.
    mask_stride = ((s + 31) // 32) * 4
    andm = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (r, g, b, a) in enumerate(row):
            if a < 128:
                line[x >> 3] |= 0x80 >> (x & 7)
        andm += line
    info = struct.pack("<IiiHHIIiiII", 40, s, s * 2, 1, 32, 0,
                       len(xor) + len(andm), 0, 0, 0, 0)
    return info + bytes(xor) + bytes(andm)


def png_chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data +
            struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def icon_png(rows):
    s = len(rows)
    raw = bytearray()
    for row in rows:
        raw.append(0)                       # filter: none
        for px in row:
            raw += bytes(px)
    ihdr = struct.pack(">IIBBBBB", s, s, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) +
            png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
            png_chunk(b"IEND", b""))


def write_ico(path, sizes):
    images = []
    for s in sizes:
        rows = icon_pixels(s)
        images.append((s, icon_png(rows) if s >= 256 else icon_dib(rows)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, blob in images:
        dim = 0 if s >= 256 else s
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob),
                           offset)
        offset += len(blob)
    for _, blob in images:
        out += blob
    with open(path, "wb") as f:
        f.write(out)


# ---------------------------------------------------------------- main

def main():
    os.makedirs(OUT_DIR, exist_ok=True)
    write_bmp(os.path.join(OUT_DIR, "side.bmp"), banner_pixels(163, 290), 24)
    write_bmp(os.path.join(OUT_DIR, "side32.bmp"), banner_pixels(164, 290), 32)
    write_ico(os.path.join(OUT_DIR, "app.ico"), (16, 32, 48, 256))


if __name__ == "__main__":
    main()
