#!/usr/bin/env python3
"""Draws the program icon and writes it as a Windows .ico file.

The picture: a blue tile holding the outline of a large photograph, the same photograph shrunk
into its lower left corner, and an arrow from the large corner towards the small one. Every size
is drawn at its own resolution with 4 x 4 supersampling (3 x 3 at 256 px), so the small sizes stay
sharp. Images are 32-bit with straight alpha: 16, 32 and 48 px as DIBs with their AND masks, 256 px
as PNG, which is how Windows stores that size.

Usage: draw_icon.py OUTPUT.ico
"""

import math
import struct
import sys
import zlib

SIZES = (16, 32, 48, 256)


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return (x0, y0, x1, y1), inside


def frame(x0, y0, x1, y1, r, width):
    _, outer = rounded_rect(x0, y0, x1, y1, r)
    _, inner = rounded_rect(x0 + width, y0 + width, x1 - width, y1 - width, max(r - width, 0))
    return (x0, y0, x1, y1), lambda x, y: outer(x, y) and not inner(x, y)


def polygon(points):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]

    def inside(x, y):
        hit = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                hit = not hit
            j = i
        return hit
    return (min(xs), min(ys), max(xs), max(ys)), inside


def circle(cx, cy, r):
    return (cx - r, cy - r, cx + r, cy + r), lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def thick_line(x0, y0, x1, y1, width):
    length = math.hypot(x1 - x0, y1 - y0)
    nx, ny = -(y1 - y0) / length * width / 2, (x1 - x0) / length * width / 2
    return polygon([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)])


# Layers from back to front, in unit coordinates (0..1, y downwards): shape, colour, shading.
def sky(y):
    top, bottom = (0x3A, 0x8E, 0xDB), (0x12, 0x4A, 0x8C)
    return tuple(round(a + (b - a) * y) for a, b in zip(top, bottom))


LAYERS = [
    (rounded_rect(0.03, 0.03, 0.97, 0.97, 0.16), None, 255),
    (frame(0.16, 0.14, 0.86, 0.84, 0.05, 0.045), (0xFF, 0xFF, 0xFF), 150),
    (rounded_rect(0.12, 0.48, 0.56, 0.90, 0.03), (0xFF, 0xFF, 0xFF), 255),
    (rounded_rect(0.16, 0.52, 0.52, 0.86, 0.015), (0xBF, 0xE3, 0xF7), 255),
    (circle(0.43, 0.61, 0.055), (0xF5, 0xA6, 0x23), 255),
    (polygon([(0.16, 0.86), (0.29, 0.66), (0.38, 0.78), (0.43, 0.72), (0.52, 0.86)]),
     (0x2E, 0x8B, 0x57), 255),
    (thick_line(0.80, 0.20, 0.64, 0.36, 0.075), (0xFF, 0xFF, 0xFF), 255),
    (polygon([(0.56, 0.44), (0.57, 0.27), (0.73, 0.43)]), (0xFF, 0xFF, 0xFF), 255),
]


def over(dst, rgb, alpha):
    """Straight-alpha source-over of one colour with coverage alpha (0..1) onto dst (r,g,b,a 0..1)."""
    dr, dg, db, da = dst
    out_a = alpha + da * (1 - alpha)
    if out_a <= 0:
        return (0.0, 0.0, 0.0, 0.0)
    mix = lambda s, d: (s * alpha + d * da * (1 - alpha)) / out_a
    return (mix(rgb[0] / 255, dr), mix(rgb[1] / 255, dg), mix(rgb[2] / 255, db), out_a)


def render(size):
    samples = 3 if size > 64 else 4
    pixels = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]
    for (bounds, inside), colour, opacity in LAYERS:
        x_from = max(int(bounds[0] * size) - 1, 0)
        x_to = min(int(bounds[2] * size) + 2, size)
        y_from = max(int(bounds[1] * size) - 1, 0)
        y_to = min(int(bounds[3] * size) + 2, size)
        for py in range(y_from, y_to):
            for px in range(x_from, x_to):
                hits = 0
                for sy in range(samples):
                    y = (py + (sy + 0.5) / samples) / size
                    for sx in range(samples):
                        if inside((px + (sx + 0.5) / samples) / size, y):
                            hits += 1
                if hits:
                    rgb = colour if colour else sky((py + 0.5) / size)
                    coverage = hits / (samples * samples) * opacity / 255
                    pixels[py][px] = over(pixels[py][px], rgb, coverage)
    return [[tuple(round(c * 255) for c in p) for p in row] for row in pixels]


def dib_entry(size, pixels):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            rows += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(rows) + bytes(mask)


def png_entry(size, pixels):
    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data +
                struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))
    return (b'\x89PNG\r\n\x1a\n' +
            chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(bytes(raw), 9)) +
            chunk(b'IEND', b''))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = []
    for size in SIZES:
        pixels = render(size)
        images.append((size, png_entry(size, pixels) if size >= 256 else dib_entry(size, pixels)))
    directory = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        side = 0 if size >= 256 else size
        directory += struct.pack('<BBBBHHII', side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], 'wb') as out:
        out.write(directory + b''.join(data for _, data in images))


if __name__ == '__main__':
    main()
