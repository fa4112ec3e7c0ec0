#!/usr/bin/env python3
"""Draws the client's built-in splash picture (505 x 395, RGB PNG) to the path given.

The picture is the product's own artwork: a deep-blue field fading to teal, a round emblem with a
stylised ledger (a sheet with ruled lines and a check mark) and a light band at the foot where the
start-up animation may run. Run it again only to change the artwork; the PNG is kept in the tree.
"""
import math
import struct
import sys
import zlib

W, H = 505, 395


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def clamp01(v):
    return 0.0 if v < 0 else 1.0 if v > 1 else v


def rounded_rect_cover(x, y, left, top, right, bottom, r):
    # Coverage (0..1) of a pixel centre by a rounded rectangle, anti-aliased over one pixel.
    cx = min(max(x, left + r), right - r)
    cy = min(max(y, top + r), bottom - r)
    d = math.hypot(x - cx, y - cy) - r
    if left + r <= x <= right - r or top + r <= y <= bottom - r:
        d = max(left - x, x - right, top - y, y - bottom)
    return clamp01(0.5 - d)


def segment_cover(x, y, ax, ay, bx, by, width):
    dx, dy = bx - ax, by - ay
    t = clamp01(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)) if dx or dy else 0.0
    d = math.hypot(x - (ax + t * dx), y - (ay + t * dy)) - width / 2
    return clamp01(0.5 - d)


def pixel(x, y):
    top, bottom = (16, 42, 92), (12, 120, 132)
    c = mix(top, bottom, y / (H - 1))
    # A soft light from the upper left.
    glow = math.exp(-((x - 120) ** 2 + (y - 60) ** 2) / (2 * 170.0 ** 2)) * 0.18
    c = mix(c, (255, 255, 255), glow)
    # Emblem: a ring and a disc.
    ex, ey, er = W / 2, 150, 82
    d = math.hypot(x - ex, y - ey)
    c = mix(c, (255, 255, 255), clamp01(er + 6 - d + 0.5) * 0.16)
    c = mix(c, (244, 248, 252), clamp01(er - d + 0.5))
    # The ledger sheet on the disc.
    c = mix(c, (22, 74, 140), rounded_rect_cover(x, y, ex - 38, ey - 50, ex + 38, ey + 50, 7))
    c = mix(c, (250, 252, 255), rounded_rect_cover(x, y, ex - 33, ey - 45, ex + 33, ey + 45, 5))
    for i in range(5):
        ly = ey - 30 + i * 14
        c = mix(c, (150, 176, 206), segment_cover(x, y, ex - 22, ly, ex + (22 if i % 2 else 8), ly, 3))
    check = (
        segment_cover(x, y, ex + 4, ey + 28, ex + 16, ey + 40, 7)
        + segment_cover(x, y, ex + 16, ey + 40, ex + 44, ey + 6, 7)
    )
    c = mix(c, (232, 120, 30), clamp01(check))
    # Title bars (abstract, no lettering) and the light band at the foot.
    c = mix(c, (255, 255, 255), rounded_rect_cover(x, y, W / 2 - 110, 258, W / 2 + 110, 270, 6) * 0.92)
    c = mix(c, (255, 255, 255), rounded_rect_cover(x, y, W / 2 - 70, 280, W / 2 + 70, 287, 3.5) * 0.55)
    if y >= 318:
        c = mix(c, (236, 242, 248), clamp01(y - 318 + 0.5) * 0.9)
    for i in range(3):
        c = mix(c, (12, 120, 132), segment_cover(x, y, W / 2 - 24 + i * 24, 356, W / 2 - 24 + i * 24, 356, 9))
    return bytes(int(round(v)) for v in c)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def main():
    rows = b"".join(b"\x00" + b"".join(pixel(x + 0.5, y + 0.5) for x in range(W)) for y in range(H))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(rows, 9))
    png += chunk(b"IEND", b"")
    with open(sys.argv[1], "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main()
