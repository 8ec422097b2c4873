#!/usr/bin/env python3
"""Writes resources/velmora.ico: the Java launcher's icon "IDI_ICON1", one 32x32 image in 16
colours, in the same form as the installer's (tools/make_icon.py writes the file):

    python3 tools/make_launcher_icon.py [output]

The picture is a steaming cup on a saucer, with a small green start arrow on the cup.
"""
import sys
from pathlib import Path

from make_icon import TRANSPARENT, Canvas, icon_bytes

BLACK, DARK_RED, GREEN, LIGHT_GREY, GREY, RED, WHITE = 0, 1, 2, 7, 8, 9, 15


def draw():
    canvas = Canvas()
    rect, img = canvas.rect, canvas.img
    # Steam: three wavy strands above the cup.
    for x0 in (9, 14, 19):
        for i, y in enumerate(range(2, 11)):
            img[y][x0 + (1 if i % 4 in (1, 2) else 0)] = GREY
    # Cup: outline, body and a lighter rim, with a handle on the right.
    rect(5, 12, 24, 26, BLACK)
    rect(6, 13, 23, 25, WHITE)
    rect(6, 13, 23, 14, LIGHT_GREY)
    rect(24, 15, 28, 22, BLACK)
    rect(25, 16, 27, 21, TRANSPARENT)
    rect(25, 16, 25, 21, BLACK)
    # Start arrow on the cup.
    for i in range(5):
        rect(11 + i, 15 + i, 11 + i, 23 - i, GREEN)
    # Saucer.
    rect(2, 27, 29, 29, BLACK)
    rect(3, 27, 28, 28, DARK_RED)
    rect(4, 27, 27, 27, RED)
    return img


def main():
    default = Path(__file__).resolve().parent.parent / "resources" / "velmora.ico"
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else default
    out.write_bytes(icon_bytes(draw()))


if __name__ == "__main__":
    main()
