#!/usr/bin/env python3
"""Draws the program icon and writes it as a 64x64 32-bit icon file.

The picture: a blue rounded tile holding a film strip with a play triangle,
and a chain link across the lower right corner (videos collected as links).

File layout (16 958 bytes): 6-byte icon header, one 16-byte directory entry,
then the image: a 40-byte bitmap header (height 128: colour plus mask), the
64x64 BGRA pixels bottom-up, and the 1-bit AND mask (64 rows of 8 bytes).

Usage: make_icon.py [output path]   (default: clipdex.ico next to this script)
"""
import math
import os
import struct
import sys

SIZE = 64
SUB = 4  # supersampling per axis


def rounded_rect(x, y, x0, y0, x1, y1, r):
    """Signed distance to a rounded rectangle (negative inside)."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r
    dx, dy = abs(x - cx) - hx, abs(y - cy) - hy
    outside = math.hypot(max(dx, 0), max(dy, 0))
    inside = min(max(dx, dy), 0)
    return outside + inside - r


def triangle(x, y, pts):
    """Negative inside the triangle pts (counter-clockwise or clockwise)."""
    d = []
    for i in range(3):
        (ax, ay), (bx, by) = pts[i], pts[(i + 1) % 3]
        ex, ey = bx - ax, by - ay
        length = math.hypot(ex, ey)
        d.append(((x - ax) * ey - (y - ay) * ex) / length)
    if all(v <= 0 for v in d) or all(v >= 0 for v in d):
        return -min(abs(v) for v in d)
    return 1.0


def ring(x, y, x0, y0, x1, y1, r, width, angle, centre):
    """A rounded-rectangle outline rotated by angle about centre."""
    ca, sa = math.cos(-angle), math.sin(-angle)
    px, py = x - centre[0], y - centre[1]
    rx, ry = px * ca - py * sa + centre[0], px * sa + py * ca + centre[1]
    return abs(rounded_rect(rx, ry, x0, y0, x1, y1, r)) - width / 2


def lerp(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def over(dst, src, alpha):
    """Composites an RGB colour with the given coverage over an RGBA pixel."""
    r, g, b, a = dst
    out_a = alpha + a * (1 - alpha)
    if out_a <= 0:
        return (0.0, 0.0, 0.0, 0.0)
    mix = lambda s, d: (s * alpha + d * a * (1 - alpha)) / out_a
    return (mix(src[0], r), mix(src[1], g), mix(src[2], b), out_a)


LINK_CENTRE = (45.0, 47.0)
LINK_ANGLE = -math.pi / 4


def sample(x, y):
    """RGBA (0..1 floats) of the picture at point (x, y), y downwards."""
    px = (0.0, 0.0, 0.0, 0.0)
    # Tile with a vertical gradient.
    if rounded_rect(x, y, 1, 1, 63, 63, 12) <= 0:
        px = over(px, lerp((0.24, 0.52, 0.93), (0.09, 0.22, 0.55), y / SIZE), 1.0)
    # Film strip with sprocket holes and a light frame in the middle.
    if rounded_rect(x, y, 5, 9, 59, 41, 3) <= 0:
        px = over(px, (0.10, 0.11, 0.14), 1.0)
        for i in range(7):
            hx = 8 + i * 7.5
            for hy in (11.5, 35.5):
                if rounded_rect(x, y, hx, hy, hx + 4, hy + 3, 1) <= 0:
                    px = over(px, (0.95, 0.95, 0.92), 1.0)
        if rounded_rect(x, y, 14, 16, 50, 34, 2) <= 0:
            px = over(px, lerp((0.98, 0.98, 1.0), (0.82, 0.86, 0.93), (y - 16) / 18), 1.0)
    # Play triangle.
    if triangle(x, y, [(27, 18.5), (27, 31.5), (38.5, 25)]) <= 0:
        px = over(px, (0.90, 0.16, 0.14), 1.0)
    # Chain link: two interlocked rounded rings at 45 degrees, outlined.
    first = (31, 42, 47, 52, 5)
    second = (43, 42, 59, 52, 5)
    for box, front in ((first, False), (second, True)):
        edge = ring(x, y, *box, 6.5, LINK_ANGLE, LINK_CENTRE)
        body = ring(x, y, *box, 4.0, LINK_ANGLE, LINK_CENTRE)
        if edge <= 0:
            px = over(px, (0.08, 0.12, 0.22), 1.0)
        if body <= 0:
            px = over(px, (0.93, 0.95, 0.98) if front else (0.78, 0.82, 0.88), 1.0)
    return px


def render():
    pixels = []
    for row in range(SIZE):
        line = []
        for col in range(SIZE):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SUB):
                for sx in range(SUB):
                    r, g, b, a = sample(col + (sx + 0.5) / SUB, row + (sy + 0.5) / SUB)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SUB * SUB
            a = acc[3] / n
            if a > 0:
                rgb = [c / acc[3] for c in acc[:3]]
            else:
                rgb = [0.0, 0.0, 0.0]
            line.append(tuple(int(round(v * 255)) for v in rgb) + (int(round(a * 255)),))
        pixels.append(line)
    return pixels


def icon_file(pixels):
    colour = bytearray()
    mask = bytearray()
    for row in reversed(pixels):  # bottom-up
        bits = 0
        mask_row = bytearray()
        for col, (r, g, b, a) in enumerate(row):
            colour += bytes((b, g, r, a))
            bits = (bits << 1) | (1 if a == 0 else 0)
            if col % 8 == 7:
                mask_row.append(bits)
                bits = 0
        mask += mask_row  # 8 bytes: already a multiple of 4
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    image = header + colour + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "clipdex.ico")
    data = icon_file(render())
    assert len(data) == 16958, len(data)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
