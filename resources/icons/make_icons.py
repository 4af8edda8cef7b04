#!/usr/bin/env python3
"""Draws the installer's two icons, 32 by 32 pixels in the 16 standard colours,
and writes them as .ico files next to this script.

    main.ico    icon 1, the main window's class icon: a speech bubble with a V
    dialog.ico  icon 2, drawn in the installation dialog: a box taking in a
                green arrow

Run it again after changing a drawing; the .ico files are committed.
"""
import os
import struct

# The 16-colour palette, as the display shows it.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GRAY, RED, LIME, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(8, 16)
SIZE = 32


def canvas():
    return [[None] * SIZE for _ in range(SIZE)]  # None is transparent


def fill_rect(img, x0, y0, x1, y1, colour):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            img[y][x] = colour


def line(img, x0, y0, x1, y1, colour, width=1):
    steps = max(abs(x1 - x0), abs(y1 - y0))
    for i in range(steps + 1):
        x = x0 + round((x1 - x0) * i / steps)
        y = y0 + round((y1 - y0) * i / steps)
        for dx in range(width):
            img[y][x + dx] = colour


def outline(img, colour):
    """Paints every transparent pixel next to a drawn one."""
    edge = []
    for y in range(SIZE):
        for x in range(SIZE):
            if img[y][x] is not None:
                continue
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                nx, ny = x + dx, y + dy
                if 0 <= nx < SIZE and 0 <= ny < SIZE and img[ny][nx] is not None:
                    edge.append((x, y))
                    break
    for x, y in edge:
        img[y][x] = colour


def speech_bubble():
    img = canvas()
    # Rounded body.
    for y in range(3, 22):
        inset = {3: 3, 4: 1, 20: 1, 21: 3}.get(y, 0)
        for x in range(2 + inset, 30 - inset):
            img[y][x] = WHITE
    # Tail towards the lower left.
    for i in range(7):
        for x in range(7, 13 - i):
            img[22 + i][x - i // 2] = WHITE
    outline(img, BLACK)
    # Shade along the bottom and right edge for depth.
    for y in range(5, 21):
        img[y][28] = SILVER
    for x in range(5, 28):
        img[20][x] = SILVER
    # The letter V in blue, with a navy edge.
    line(img, 9, 6, 15, 18, BLUE, 3)
    line(img, 21, 6, 16, 18, BLUE, 3)
    line(img, 8, 6, 14, 18, NAVY)
    line(img, 23, 6, 18, 18, NAVY)
    return img


def box_with_arrow():
    img = canvas()
    # Box front and open top.
    fill_rect(img, 5, 17, 26, 29, OLIVE)
    fill_rect(img, 5, 17, 26, 18, YELLOW)
    fill_rect(img, 6, 20, 25, 20, MAROON)
    # Flaps.
    for i in range(5):
        img[16 - i][5 - i // 2 + 1] = YELLOW
        img[16 - i][26 + i // 2 - 1] = YELLOW
        line(img, 6 - i // 2, 16 - i, 9, 16 - i, YELLOW)
        line(img, 22, 16 - i, 25 + i // 2, 16 - i, YELLOW)
    # Green arrow pointing down into the box.
    fill_rect(img, 13, 1, 18, 11, LIME)
    for i in range(7):
        line(img, 9 + i, 12 + i, 22 - i, 12 + i, LIME)
    outline(img, BLACK)
    # Darker side of the arrow shaft.
    fill_rect(img, 17, 2, 18, 11, GREEN)
    return img


def ico_bytes(img):
    """A one-image .ico: BITMAPINFOHEADER, palette, 4-bit XOR rows and the
    1-bit AND mask, both bottom-up and padded to 32 bits."""
    xor_rows, and_rows = [], []
    for row in reversed(img):
        nibbles = [0 if c is None else c for c in row]
        xor_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2)))
        bits = 0
        for c in row:
            bits = (bits << 1) | (1 if c is None else 0)
        and_rows.append(struct.pack(">I", bits))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0,
                         len(b"".join(xor_rows)) + len(b"".join(and_rows)), 0, 0, 16, 0)
    image = header + palette + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 22)
    return directory + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, drawing in (("main.ico", speech_bubble), ("dialog.ico", box_with_arrow)):
        with open(os.path.join(here, name), "wb") as f:
            f.write(ico_bytes(drawing()))


if __name__ == "__main__":
    main()
