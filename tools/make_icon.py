#!/usr/bin/env python3
"""Draws the program's icon (32 x 32, 16 colours): a globe watched by a pulse line.

Writes app/res/linkvigil.ico. Run again after changing the picture and commit both.
"""
import math
import struct
import sys

# The standard 16-colour palette, as (blue, green, red, reserved).
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128),
    (128, 128, 0), (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0),
    (0, 255, 255), (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255),
]  # (red, green, blue) by index
BLACK, NAVY, DARK_GREEN, TEAL, MAROON = 0, 1, 2, 3, 4
GREY, BLUE, LIME, CYAN, WHITE = 8, 9, 10, 11, 15

SIZE = 32


def draw():
    """Returns a SIZE x SIZE grid of palette indices, None for transparent."""
    grid = [[None] * SIZE for _ in range(SIZE)]
    cx, cy, r = 15.5, 15.5, 13.5
    for y in range(SIZE):
        for x in range(SIZE):
            d = math.hypot(x - cx, y - cy)
            if d <= r:
                grid[y][x] = BLUE if d < r - 1.2 else NAVY
    # Meridians and parallels of the globe.
    for y in range(SIZE):
        for x in range(SIZE):
            if grid[y][x] != BLUE:
                continue
            dx, dy = x - cx, y - cy
            half_width = math.sqrt(max(r * r - dy * dy, 0.0))
            if abs(abs(dx) - half_width * 0.5) < 0.6 or abs(dx) < 0.6:
                grid[y][x] = TEAL
            if abs(dy) < 0.6 or abs(abs(dy) - 7.0) < 0.6:
                grid[y][x] = TEAL
    # The pulse line across the globe: flat, a spike up and down, flat again.
    pulse = [16] * 8 + [12, 7, 4, 10, 20, 26, 21, 16] + [16] * 16
    for x in range(2, 30):
        y0, y1 = pulse[x - 1], pulse[x]
        for y in range(min(y0, y1), max(y0, y1) + 1):
            for t in (y, y + 1):
                if 0 <= t < SIZE:
                    grid[t][x] = LIME if t == y else DARK_GREEN
    return grid


def ico_bytes(grid):
    xor_rows, and_rows = [], []
    for y in reversed(range(SIZE)):  # bitmaps are stored bottom-up
        row = grid[y]
        nibbles = [0 if c is None else c for c in row]
        xor_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2)))
        mask = 0
        for x, c in enumerate(row):
            mask = (mask << 1) | (1 if c is None else 0)
        and_rows.append(mask.to_bytes(4, "big"))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    pixels = b"".join(xor_rows) + b"".join(and_rows)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, len(pixels), 0, 0, 16, 0)
    image = header + palette + pixels
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "app/res/linkvigil.ico"
    with open(out, "wb") as f:
        f.write(ico_bytes(draw()))
