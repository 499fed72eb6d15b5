#!/usr/bin/env python3
"""Draws the removal program's images: the header picture (bitmap 104,
204 x 60, 8 bits per pixel) and the program icons (32 x 32 and 16 x 16,
16 colours). Writes resources/header.bmp, resources/program.ico and
resources/small.ico next to this script's folder. Standard library only."""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "resources")

# The 16 colours of the standard VGA palette, in that order, as (r, g, b).
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, GREY, BLUE, WHITE = 0, 4, 7, 8, 12, 15

# A 5 x 7 pixel font with the letters of the product's name.
FONT = {
    "Q": ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    "u": ["00000", "00000", "10001", "10001", "10001", "10011", "01101"],
    "e": ["00000", "00000", "01110", "10001", "11111", "10000", "01110"],
    "n": ["00000", "00000", "10110", "11001", "10001", "10001", "10001"],
    "m": ["00000", "00000", "11010", "10101", "10101", "10101", "10101"],
    "a": ["00000", "00000", "01110", "00001", "01111", "10001", "01111"],
    "r": ["00000", "00000", "10110", "11001", "10000", "10000", "10000"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "5": ["11111", "10000", "11110", "00001", "00001", "10001", "01110"],
    "8": ["01110", "10001", "10001", "01110", "10001", "10001", "01110"],
    " ": ["00000"] * 7,
}


def canvas(width, height, colour):
    """A picture as rows of palette indexes, top row first."""
    return [[colour] * width for _ in range(height)]


def fill(pic, x, y, w, h, colour):
    """Fills a rectangle, clipped to the picture."""
    for row in range(max(y, 0), min(y + h, len(pic))):
        for col in range(max(x, 0), min(x + w, len(pic[0]))):
            pic[row][col] = colour


def frame(pic, x, y, w, h, colour):
    """Draws the one-pixel outline of a rectangle."""
    fill(pic, x, y, w, 1, colour)
    fill(pic, x, y + h - 1, w, 1, colour)
    fill(pic, x, y, 1, h, colour)
    fill(pic, x + w - 1, y, 1, h, colour)


def text(pic, x, y, string, scale, colour):
    """Draws a string in the pixel font, each font pixel scale x scale."""
    for char in string:
        for row, bits in enumerate(FONT[char]):
            for col, bit in enumerate(bits):
                if bit == "1":
                    fill(pic, x + col * scale, y + row * scale, scale, scale, colour)
        x += 6 * scale


def printer(pic, x, y, unit):
    """Draws a printer: paper tray on top, body with a slot, paper out."""
    fill(pic, x + 3 * unit, y, 10 * unit, 4 * unit, WHITE)
    frame(pic, x + 3 * unit, y, 10 * unit, 4 * unit, GREY)
    fill(pic, x, y + 4 * unit, 16 * unit, 6 * unit, SILVER)
    frame(pic, x, y + 4 * unit, 16 * unit, 6 * unit, BLACK)
    fill(pic, x + 2 * unit, y + 8 * unit, 12 * unit, max(unit // 2, 1), BLACK)
    fill(pic, x + 12 * unit, y + 5 * unit, unit, unit, BLUE)
    fill(pic, x + 3 * unit, y + 10 * unit, 10 * unit, 4 * unit, WHITE)
    frame(pic, x + 3 * unit, y + 10 * unit, 10 * unit, 4 * unit, GREY)


def bmp_bytes(pic, bits):
    """A bottom-up BITMAPINFOHEADER image with the VGA palette (no file header)."""
    height, width = len(pic), len(pic[0])
    colours = 256 if bits == 8 else 16
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, 0, 0, 0, colours, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in VGA)
    palette += b"\0\0\0\0" * (colours - len(VGA))
    rows = b""
    for line in reversed(pic):
        if bits == 8:
            data = bytes(line)
        else:
            data = bytes((line[i] << 4) | line[i + 1] for i in range(0, width, 2))
        rows += data + b"\0" * (-len(data) % 4)
    return header, palette, rows


def write_bitmap(path, pic):
    """Writes an uncompressed 8 bits per pixel BMP file."""
    header, palette, rows = bmp_bytes(pic, 8)
    offset = 14 + len(header) + len(palette)
    with open(path, "wb") as out:
        out.write(struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset))
        out.write(header + palette + rows)


def icon_image(pic):
    """One 16-colour icon image: header with doubled height, palette, colour and mask rows."""
    header, palette, rows = bmp_bytes(pic, 4)
    size = len(pic)
    header = header[:8] + struct.pack("<i", size * 2) + header[12:]
    mask_row = b"\0" * (((size + 31) // 32) * 4)
    return header + palette + rows + mask_row * size


def write_icon(path, pics):
    """Writes an ICO file holding one 16-colour image per picture, in order."""
    images = [icon_image(pic) for pic in pics]
    offset = 6 + 16 * len(images)
    with open(path, "wb") as out:
        out.write(struct.pack("<HHH", 0, 1, len(images)))
        for pic, image in zip(pics, images):
            size = len(pic)
            out.write(struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset))
            offset += len(image)
        out.write(b"".join(images))


def header_picture():
    """The header band: white, a blue rule, the product name and a printer."""
    pic = canvas(204, 60, WHITE)
    fill(pic, 0, 0, 204, 4, NAVY)
    fill(pic, 0, 56, 204, 4, NAVY)
    text(pic, 6, 23, "Quenmar T58", 2, NAVY)
    printer(pic, 150, 9, 3)
    return pic


def icon_picture(size, ground):
    """An icon: a printer on a plain ground."""
    pic = canvas(size, size, ground)
    printer(pic, 0, size // 8, size // 16)
    return pic


def main():
    write_bitmap(os.path.join(OUT, "header.bmp"), header_picture())
    write_icon(os.path.join(OUT, "program.ico"), [icon_picture(32, WHITE), icon_picture(16, WHITE)])
    write_icon(os.path.join(OUT, "small.ico"), [icon_picture(32, NAVY), icon_picture(16, NAVY)])


if __name__ == "__main__":
    main()
