#!/usr/bin/env python3
"""Draws the program's icon: a globe watched by a pulse line, in 16 colours.

One image for each size Windows asks for: 16 x 16 (title bar, lists), 32 x 32 (the standard
size) and 48 x 48 (Explorer's medium icons, and the standard size at 150 % scaling). Each is
drawn for its size with lines one pixel wide, not scaled from another: a 16-pixel globe has
fewer lines, a 48-pixel one more. Writes app/res/linkvigil.ico. Run again after changing the
picture and commit both.
"""
import math
import struct
import sys

# The standard 16-colour palette, as (red, green, blue) by index.
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128),
    (128, 128, 0), (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0),
    (0, 255, 255), (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255),
]
BLACK, NAVY, DARK_GREEN, TEAL, MAROON = 0, 1, 2, 3, 4
GREY, BLUE, LIME, CYAN, WHITE = 8, 9, 10, 11, 15

SIZES = (16, 32, 48)

# The pulse on the 32-pixel grid: its height at each column (flat, a spike up and down, flat).
PULSE_32 = [16] * 8 + [12, 7, 4, 10, 20, 26, 21, 16] + [16] * 16


def pulse_at(x32):
    """The pulse's height on the 32-pixel grid at column x32, between columns linearly."""
    left = min(int(math.floor(x32)), len(PULSE_32) - 1)
    right = min(left + 1, len(PULSE_32) - 1)
    t = x32 - left
    return PULSE_32[left] * (1 - t) + PULSE_32[right] * t


def draw(size):
    """Returns a size x size grid of palette indices, None for transparent."""
    k = size / 32
    grid = [[None] * size for _ in range(size)]
    centre, r = (size - 1) / 2, 13.5 * k
    for y in range(size):
        for x in range(size):
            d = math.hypot(x - centre, y - centre)
            if d <= r:
                grid[y][x] = BLUE if d < r - 1.2 else NAVY
    # Meridians and parallels, one pixel wide: the 16-pixel globe keeps the equator and the
    # central meridian, the 48-pixel one adds a meridian and a parallel on each side.
    meridians = [0.0] if size <= 16 else [0.0, 0.5] if size <= 32 else [0.0, 0.4, 0.75]
    parallels = [0.0] if size <= 16 else [0.0, 7.0 * k] if size <= 32 else [0.0, 5.0 * k, 10.0 * k]
    for y in range(size):
        for x in range(size):
            if grid[y][x] != BLUE:
                continue
            dx, dy = x - centre, y - centre
            half_width = math.sqrt(max(r * r - dy * dy, 0.0))
            if any(abs(abs(dx) - half_width * m) < 0.6 for m in meridians):
                grid[y][x] = TEAL
            if any(abs(abs(dy) - p) < 0.6 for p in parallels):
                grid[y][x] = TEAL
    # The pulse line across the globe, with a dark shadow below it where there is room.
    shadow = size > 16
    first, last = round(2 * k), round(30 * k)
    previous = round(pulse_at(first / k - 1 / k) * k)
    for x in range(first, last):
        height = round(pulse_at(x / k) * k)
        for y in range(min(previous, height), max(previous, height) + 1):
            for t in ((y, y + 1) if shadow else (y,)):
                if 0 <= t < size:
                    grid[t][x] = LIME if t == y else DARK_GREEN
        previous = height
    return grid


def image_bytes(grid):
    """One image of an icon resource: header, palette, 4-bit colours, then the mask."""
    size = len(grid)
    mask_row_bytes = (size + 31) // 32 * 4
    xor_rows, and_rows = [], []
    for y in reversed(range(size)):  # bitmaps are stored bottom-up
        row = grid[y]
        nibbles = [0 if c is None else c for c in row]
        xor_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2)))
        mask = 0
        for c in row:
            mask = (mask << 1) | (1 if c is None else 0)
        mask <<= mask_row_bytes * 8 - size
        and_rows.append(mask.to_bytes(mask_row_bytes, "big"))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    pixels = b"".join(xor_rows) + b"".join(and_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(pixels), 0, 0, 16, 0)
    return header + palette + pixels


def ico_bytes(grids):
    images = [image_bytes(grid) for grid in grids]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    for grid, image in zip(grids, images):
        size = len(grid)
        directory += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return directory + b"".join(images)


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "app/res/linkvigil.ico"
    with open(out, "wb") as f:
        f.write(ico_bytes([draw(size) for size in SIZES]))
