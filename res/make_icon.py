#!/usr/bin/env python3
"""Writes Kestrune.ico: a firmware arrow dropping into a chip.

The picture is drawn on a 16 x 16 grid and scaled by whole pixels to 32 and
48, so every edge stays sharp at the sizes the shell actually shows.
Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

NAVY = (0x1B, 0x3A, 0x5C, 255)
EDGE = (0x2E, 0x5E, 0x8E, 255)
ORANGE = (0xF5, 0xA6, 0x23, 255)
CHIP = (0xEC, 0xEC, 0xEC, 255)
PIN = (0xA8, 0xB4, 0xC0, 255)
CLEAR = (0, 0, 0, 0)

# One character per pixel: . clear, n navy, e lighter edge, o arrow, c chip, p pin.
GRID = [
    ".eeeeeeeeeeeeee.",
    "ennnnnnnnnnnnnne",
    "ennnnnnoonnnnnne",
    "ennnnnnoonnnnnne",
    "ennnnnnoonnnnnne",
    "ennnnnnoonnnnnne",
    "ennnoooooooonnne",
    "ennnnoooooonnnne",
    "ennnnnoooonnnnne",
    "ennnnnnoonnnnnne",
    "ennnccccccccnnne",
    "ennpccccccccpnne",
    "ennnccccccccnnne",
    "ennpccccccccpnne",
    "ennnccccccccnnne",
    ".eeeeeeeeeeeeee.",
]
PALETTE = {".": CLEAR, "n": NAVY, "e": EDGE, "o": ORANGE, "c": CHIP, "p": PIN}


def pixels(size):
    scale = size // 16
    return [[PALETTE[GRID[y // scale][x // scale]] for x in range(size)] for y in range(size)]


def dib(size):
    rows = pixels(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(rows):  # bottom-up
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + bytes(xor) + bytes(mask)


def main():
    sizes = (16, 32, 48)
    images = [dib(s) for s in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(sizes)))
    offset = 6 + 16 * len(sizes)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
