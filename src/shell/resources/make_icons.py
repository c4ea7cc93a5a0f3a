#!/usr/bin/env python3
"""Draws the program's icons: two white arrows chasing each other round a blue tile, the sign of
a process that keeps two programs in step. Writes q9_exchange.ico (48, 32 and 16 pixels) and
q9_exchange_small.ico (16 pixels) beside this script."""
import math
import os
import struct

SAMPLES = 4  # supersampling per axis, for smooth edges


def coverage(size, inside):
    """Fraction of each pixel for which inside(x, y) holds, x and y in 0..1."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            hits = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    hits += inside(x, y)
            row.append(hits / (SAMPLES * SAMPLES))
        rows.append(row)
    return rows


def tile(x, y):
    r, m = 0.18, 0.04  # corner radius, margin
    cx = min(max(x, m + r), 1 - m - r)
    cy = min(max(y, m + r), 1 - m - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and m <= x <= 1 - m and m <= y <= 1 - m


def arrows(x, y):
    dx, dy = x - 0.5, y - 0.5
    radius = math.hypot(dx, dy)
    angle = math.degrees(math.atan2(dy, dx)) % 360
    # Two arcs, each a little less than half a turn, with a head at its leading end.
    for start in (20, 200):
        end = start + 130
        if 0.22 <= radius <= 0.31 and start <= angle <= end:
            return True
        head = math.radians(end)
        hx, hy = 0.5 + 0.265 * math.cos(head), 0.5 + 0.265 * math.sin(head)
        # Triangle pointing along the direction of travel.
        tx, ty = -math.sin(head), math.cos(head)
        nx, ny = math.cos(head), math.sin(head)
        u = (x - hx) * tx + (y - hy) * ty
        v = (x - hx) * nx + (y - hy) * ny
        if 0 <= u <= 0.16 and abs(v) <= 0.12 * (1 - u / 0.16):
            return True
    return False


def image(size):
    background = coverage(size, tile)
    foreground = coverage(size, arrows)
    pixels = []
    for y in range(size):
        for x in range(size):
            a = background[y][x]
            f = foreground[y][x] * a
            top = (0x2A, 0x5C, 0xB8)  # blue, lighter towards the top
            bottom = (0x16, 0x36, 0x7A)
            t = y / max(1, size - 1)
            base = [top[i] * (1 - t) + bottom[i] * t for i in range(3)]
            rgb = [base[i] * (1 - f) + 255 * f for i in range(3)]
            pixels.append((int(rgb[0] + 0.5), int(rgb[1] + 0.5), int(rgb[2] + 0.5),
                           int(255 * a + 0.5)))
    return pixels


def bmp_entry(size):
    pixels = image(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    body = bytearray()
    for y in reversed(range(size)):  # bottom-up rows
        for x in range(size):
            r, g, b, a = pixels[y * size + x]
            body += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    for y in reversed(range(size)):
        row = bytearray(mask_row)
        for x in range(size):
            if pixels[y * size + x][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        body += row
    return header + bytes(body)


def write_icon(path, sizes):
    entries = [bmp_entry(s) for s in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(sizes)))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, entries):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in entries:
        out += data
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    write_icon(os.path.join(here, "q9_exchange.ico"), [48, 32, 16])
    write_icon(os.path.join(here, "q9_exchange_small.ico"), [16])
