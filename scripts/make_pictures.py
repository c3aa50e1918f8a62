#!/usr/bin/env python3
"""Draws the program's pictures into config/res/pictures:
250.png, the program's icon (a touch panel with a fingertip's ripple), and 217.png,
the touch-disabled picture (a palm on the panel and a warning sign): plain shapes,
rasterised here with 4x4 supersampling, written as RGBA PNG with zlib only.
2098.gif and 2099.gif, the noise-level log's two 50x50 animations ("Keep touch
black mark.": a finger presses on the black mark and the touch ripples; "Finish
sampling, please remove your finger!!!": the finger lifts away and an arrow points
up): indexed frames with their own delays and disposal methods, written as GIF89a
with the LZW encoder below."""
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


# The animations: indexed pictures on one global colour table.
PALETTE = ["#FFFFFF", "#000000", "#F3C9A5", "#B9825E", "#FBE6D8", "#2ABADD", "#1E9E3A", "#FF00FF"]
WHITE, BLACK, SKIN, SKIN_EDGE, NAIL, RIPPLE, ARROW, CLEAR = range(8)
MARK = (25, 38, 7)  # the black mark: centre and radius


class Indexed:
    """A picture of colour-table indices; a pixel takes a shape's index when most
    of its 4x4 samples lie inside the shape (no blending in a colour table)."""

    def __init__(self, w, h, index):
        self.w, self.h = w, h
        self.px = [[index] * w for _ in range(h)]

    def fill(self, inside, index):
        for y in range(self.h):
            for x in range(self.w):
                if sum(inside(x + (i + 0.5) / 4, y + (j + 0.5) / 4) for i in range(4) for j in range(4)) >= 8:
                    self.px[y][x] = index

    def crop(self, left, top, width, height):
        part = Indexed(width, height, 0)
        part.px = [row[left:left + width] for row in self.px[top:top + height]]
        return part


def finger(c, cx, tip):
    """A finger seen from behind, pointing down at the panel, its tip at y = tip."""
    c.fill(lambda x, y: (abs(x - cx) <= 6 and y <= tip - 6) or (x - cx) ** 2 + (y - tip + 6) ** 2 <= 36, SKIN_EDGE)
    c.fill(lambda x, y: (abs(x - cx) <= 5 and y <= tip - 6) or (x - cx) ** 2 + (y - tip + 6) ** 2 <= 25, SKIN)
    c.fill(lambda x, y: abs(x - cx) <= 3 and tip - 9 <= y <= tip - 4, NAIL)
    c.fill(rect(cx - 4, tip - 22, cx + 4, tip - 21), SKIN_EDGE)  # a knuckle's crease


def mark(c):
    c.fill(disc(*MARK), BLACK)


def up_arrow(c):
    c.fill(rect(39, 14, 43, 32), ARROW)
    c.fill(triangle((34.5, 16), (47.5, 16), (41, 7)), ARROW)


def scene(tip=None, arrow=False):
    c = Indexed(50, 50, WHITE)
    mark(c)
    if tip is not None:
        finger(c, 25, tip)
    if arrow:
        up_arrow(c)
    return c


def ripple(radius, box):
    """A ring round the pressed mark on a clear ground, cut where the finger lies."""
    c = Indexed(50, 50, CLEAR)
    cx, cy, _ = MARK
    c.fill(lambda x, y: ring(cx, cy, radius, 2)(x, y) and not (abs(x - 25) <= 6 and y <= 40), RIPPLE)
    return c.crop(*box)


def lzw(pixels, min_code_size):
    """GIF's variable-length LZW: codes from min_code_size + 1 up to 12 bits,
    packed from the least significant bit, a clear code first and whenever the
    table is full, the end code last."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    out, acc, bits = bytearray(), 0, 0

    def emit(code, size):
        nonlocal acc, bits
        acc |= code << bits
        bits += size
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8

    def reset():
        return {}, end + 1, min_code_size + 1

    table, next_code, size = reset()
    emit(clear, size)
    prefix = pixels[0]
    for k in pixels[1:]:
        if (prefix, k) in table:
            prefix = table[(prefix, k)]
            continue
        emit(prefix, size)
        if next_code < 4096:
            table[(prefix, k)] = next_code
            next_code += 1
            # The decoder adds this entry one code later, so the code size
            # grows once the entry after it no longer fits.
            if next_code > (1 << size) and size < 12:
                size += 1
        else:
            emit(clear, size)
            table, next_code, size = reset()
        prefix = k
    emit(prefix, size)
    emit(end, size)
    if bits:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data):
    return b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255] for i in range(0, len(data), 255)) + b"\0"


def gif(path, frames, comment):
    """frames: (picture, left, top, delay in 1/100 s, disposal method, transparent index or None)."""
    bits = max(2, (len(PALETTE) - 1).bit_length())
    table = b"".join(bytes(hexrgb(h)) for h in PALETTE) + b"\0\0\0" * ((1 << bits) - len(PALETTE))
    w, h = frames[0][0].w, frames[0][0].h
    data = b"GIF89a" + struct.pack("<HHBBB", w, h, 0x80 | (bits - 1) << 4 | (bits - 1), WHITE, 0) + table
    data += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"  # loop for ever
    data += b"\x21\xFE" + sub_blocks(comment.encode("ascii"))
    for picture, left, top, delay, disposal, transparent in frames:
        flags = disposal << 2 | (transparent is not None)
        data += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, flags, delay, transparent or 0, 0)
        data += b"\x2C" + struct.pack("<HHHHB", left, top, picture.w, picture.h, 0)
        data += bytes([bits]) + sub_blocks(lzw([i for row in picture.px for i in row], bits))
    with open(path, "wb") as f:
        f.write(data + b"\x3B")


def gif2098(path):
    """Keep touch black mark: the finger comes down on the mark and the touch ripples."""
    column = (17, 0, 16, 48)  # the finger's column, the mark included
    small, large = (12, 25, 27, 25), (7, 20, 37, 30)
    gif(path, [
        (scene(tip=22), 0, 0, 40, 1, None),
        (scene(tip=41).crop(*column), 17, 0, 30, 1, None),
        (ripple(11, small), 12, 25, 15, 3, CLEAR),
        (ripple(17, large), 7, 20, 15, 3, CLEAR),
        (scene(tip=41), 0, 0, 30, 2, None),
    ], "Keep touch black mark.")


def gif2099(path):
    """Finish sampling, please remove your finger: the finger lifts off the mark."""
    column = (17, 0, 31, 48)  # the finger's column and the arrow
    gif(path, [
        (scene(tip=41), 0, 0, 40, 1, None),
        (scene(tip=31, arrow=True).crop(*column), 17, 0, 20, 1, None),
        (scene(tip=19, arrow=True).crop(*column), 17, 0, 20, 2, None),
        (scene(arrow=True), 0, 0, 60, 1, None),
    ], "Finish sampling, please remove your finger!!!")


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    icon250().png(os.path.join(OUT, "250.png"))
    picture217().png(os.path.join(OUT, "217.png"))
    gif2098(os.path.join(OUT, "2098.gif"))
    gif2099(os.path.join(OUT, "2099.gif"))
