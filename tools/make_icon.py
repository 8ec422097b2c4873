#!/usr/bin/env python3
"""Writes resources/installer.ico: the stub's icon "IDI_ICON1", one 32x32 image in 16
colours (4 bits per pixel). Standard library only, so the file is the same on every run:

    python3 tools/make_icon.py [output]

The picture is a closed parcel (the package) with a green arrow pointing down into it.
"""
import struct
import sys
from pathlib import Path

SIZE = 32

# The standard 16-colour palette, as (blue, green, red, reserved) quads.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]  # (red, green, blue)
BLACK, DARK_YELLOW, GREEN, LIGHT_GREY, GREY, YELLOW, WHITE = 0, 3, 2, 7, 8, 11, 15
TRANSPARENT = None


class Canvas:
    """A SIZE x SIZE picture, rows top to bottom; None marks a transparent pixel."""

    def __init__(self):
        self.img = [[TRANSPARENT] * SIZE for _ in range(SIZE)]

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.img[y][x] = colour


def draw():
    canvas = Canvas()
    rect = canvas.rect
    # Parcel: outline, body, lid and tape.
    rect(3, 12, 28, 30, BLACK)
    rect(4, 13, 27, 29, DARK_YELLOW)
    rect(4, 13, 27, 16, YELLOW)
    rect(4, 17, 27, 17, BLACK)
    rect(14, 13, 17, 29, LIGHT_GREY)
    rect(14, 17, 17, 17, GREY)
    # Arrow: shaft and head, outlined.
    rect(13, 1, 18, 9, BLACK)
    rect(14, 1, 17, 8, GREEN)
    for i in range(6):
        rect(9 + i, 8 + i, 22 - i, 8 + i, BLACK)
        if 10 + i <= 21 - i:
            rect(10 + i, 8 + i, 21 - i, 8 + i, GREEN)
    return canvas.img


def icon_bytes(img):
    xor_rows, and_rows = [], []
    for row in reversed(img):  # bitmaps are stored bottom-up
        nibbles = [0 if p is TRANSPARENT else p for p in row]
        xor_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2)))
        mask = 0
        for p in row:
            mask = (mask << 1) | (1 if p is TRANSPARENT else 0)
        and_rows.append(struct.pack(">I", mask))  # 32 bits: already a 4-byte-aligned row
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    xor, and_mask = b"".join(xor_rows), b"".join(and_rows)
    # BITMAPINFOHEADER: the height counts the colour and mask bitmaps together.
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 4, 0,
                         len(xor) + len(and_mask), 0, 0, 16, 0)
    image = header + palette + xor + and_mask
    # ICONDIR (reserved, type 1 = icon, one image) and its ICONDIRENTRY.
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    default = Path(__file__).resolve().parent.parent / "resources" / "installer.ico"
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else default
    out.write_bytes(icon_bytes(draw()))


if __name__ == "__main__":
    main()
