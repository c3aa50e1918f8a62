#!/usr/bin/env python3
"""Draws the program's pictures of the touch notifications into config/res/pictures:
250.png, the program's icon (a touch panel with a fingertip's ripple), and 217.png,
the touch-disabled picture (a palm on the panel and a warning sign). Plain shapes,
rasterised here with 4x4 supersampling, written as RGBA PNG with zlib only."""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "config", "res", "pictures")


def hexrgb(h):
    return tuple(int(h[i:i + 2], 16) for i in (1, 3, 5))


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [[(0, 0, 0, 0)] * w for _ in range(h)]

    def fill(self, inside, color, alpha=255):
        r, g, b = hexrgb(color)
        for y in range(self.h):
            for x in range(self.w):
                hits = sum(inside(x + (i + 0.5) / 4, y + (j + 0.5) / 4) for i in range(4) for j in range(4))
                if not hits:
                    continue
                a = alpha * hits / 16 / 255
                pr, pg, pb, pa = self.px[y][x]
                pa /= 255
                oa = a + pa * (1 - a)
                mix = lambda s, d: int(round((s * a + d * pa * (1 - a)) / oa)) if oa else 0
                self.px[y][x] = (mix(r, pr), mix(g, pg), mix(b, pb), int(round(oa * 255)))

    def png(self, path):
        raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in self.px)
        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
        data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0))
        data += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
        with open(path, "wb") as f:
            f.write(data)


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, width):
    return lambda x, y: (r - width / 2) ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= (r + width / 2) ** 2


def triangle(a, b, c):
    def side(p, q, x, y):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])
    def inside(x, y):
        s1, s2, s3 = side(a, b, x, y), side(b, c, x, y), side(c, a, x, y)
        return (s1 >= 0 and s2 >= 0 and s3 >= 0) or (s1 <= 0 and s2 <= 0 and s3 <= 0)
    return inside


def icon250():
    c = Canvas(32, 32)
    c.fill(rect(2, 4, 30, 26), "#0A2448")
    c.fill(rect(4, 6, 28, 24), "#12407F")
    c.fill(rect(6, 8, 26, 22), "#2ABADD")
    c.fill(disc(16, 15, 2.3), "#FFFFFF")
    c.fill(ring(16, 15, 4.8, 1.2), "#FFFFFF")
    c.fill(rect(11, 26, 21, 28), "#0A2448")
    return c


def picture217():
    c = Canvas(64, 64)
    c.fill(rect(4, 8, 52, 44), "#12407F")
    c.fill(rect(6, 10, 50, 42), "#2ABADD")
    # A palm: four fingers and the heel of the hand.
    for i, top in enumerate((20, 16, 17, 22)):
        c.fill(rect(19 + 6 * i, top, 23.5 + 6 * i, 36), "#F3C9A5")
        c.fill(disc(21.25 + 6 * i, top, 2.25), "#F3C9A5")
    c.fill(rect(19, 32, 41.5, 44), "#F3C9A5")
    c.fill(disc(30, 44, 11), "#F3C9A5")
    # The warning sign.
    c.fill(triangle((46, 34), (60, 60), (32, 60)), "#7A5A00")
    c.fill(triangle((46, 37.5), (57.5, 58.5), (34.5, 58.5)), "#F1B400")
    c.fill(rect(45, 44, 47, 53), "#000000")
    c.fill(rect(45, 55, 47, 57), "#000000")
    return c


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    icon250().png(os.path.join(OUT, "250.png"))
    picture217().png(os.path.join(OUT, "217.png"))
