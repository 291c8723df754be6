#!/usr/bin/env python3
"""Draws the launcher's application icon and writes it as an .ico file.

The icon holds two 32x32 images of one picture, a speech bubble with three
lines of text and a pen: one with 16 colours (4 bits per pixel, the standard
Windows palette) and one with 256 colours (8 bits per pixel, the same 16
colours followed by shades for the bubble). The result is committed as
scrivel.ico; run this again only to change the picture:

    python3 launcher/windows/make_icon.py launcher/windows/scrivel.ico
"""
import struct
import sys

SIZE = 32

# The standard 16-colour palette, as (red, green, blue).
PALETTE16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_BLUE, GREY, LIGHT_GREY, YELLOW, WHITE = 0, 4, 8, 7, 11, 15
DARK_RED = 1

# Picture as characters, top row first; "." is transparent.
#   o outline, w bubble, t text line, p pen body, n pen tip, s shade
PICTURE = [
    "................................",
    "................................",
    "....oooooooooooooooooooooo......",
    "...owwwwwwwwwwwwwwwwwwwwwwo.....",
    "..owwwwwwwwwwwwwwwwwwwwwwwwo....",
    "..owwwwwwwwwwwwwwwwwwwwwwwwos...",
    "..owwttttttttttttttttttwwwwos...",
    "..owwttttttttttttttttttwwwwos...",
    "..owwwwwwwwwwwwwwwwwwwwwwwwos...",
    "..owwwwwwwwwwwwwwwwwwwwwwwwos...",
    "..owwttttttttttttttwwwwwwwwos...",
    "..owwttttttttttttttwwwwwwwwos...",
    "..owwwwwwwwwwwwwwwwwwwwwwwwos...",
    "..owwwwwwwwwwwwwwwwwwwwwwwwos...",
    "..owwttttttttttwwwwwwwwwwwwos...",
    "..owwttttttttttwwwwwwwwwwwwos...",
    "..owwwwwwwwwwwwwwwwwwwwwwwwos...",
    "...owwwwwwwwwwwwwwwwwwwwwwos....",
    "....oooowwwoooooooooooooooss....",
    ".......owwos.ssssssssssssss.....",
    "......owwos..............pp.....",
    ".....owwos..............pppp....",
    ".....oos...............pppp.....",
    "......................pppp......",
    ".....................pppp.......",
    "....................pppp........",
    "...................pppp.........",
    "..................pppp..........",
    ".................nnpp...........",
    ".................nnn............",
    ".................n..............",
    "................................",
]

COLOURS_4BPP = {"o": BLACK, "w": WHITE, "t": DARK_BLUE, "s": GREY,
                "p": YELLOW, "n": DARK_RED}


def palette256():
    """The 16 standard colours, then a ramp from deep blue to white for the
    8-bit image."""
    colours = list(PALETTE16)
    for i in range(240):
        level = i * 255 // 239
        colours.append((level, level, 128 + level // 2))
    return colours


def colours_8bpp(row):
    """Per-row colours of the 8-bit image: the bubble shades from pale blue at
    the top to white at the bottom, so that the larger palette shows."""
    bubble = 16 + 208 + row // 2
    return {"o": 16 + 10, "w": bubble, "t": 16 + 40, "s": GREY,
            "p": YELLOW, "n": DARK_RED}


def pixel_rows(bits):
    """Pixel indexes and transparency, top row first."""
    rows = []
    for y, line in enumerate(PICTURE):
        assert len(line) == SIZE, "row %d has %d columns" % (y, len(line))
        colours = COLOURS_4BPP if bits == 4 else colours_8bpp(y)
        rows.append([(colours[c], False) if c != "." else (0, True)
                     for c in line])
    assert len(rows) == SIZE
    return rows


def pack_row(indexes, bits):
    """One row of the colour bitmap, padded to a multiple of 4 bytes."""
    out = bytearray()
    if bits == 8:
        out.extend(indexes)
    else:
        for i in range(0, len(indexes), 2):
            out.append((indexes[i] << 4) | indexes[i + 1])
    while len(out) % 4:
        out.append(0)
    return bytes(out)


def pack_mask_row(transparent):
    """One row of the 1-bit mask (1 = transparent), padded to 4 bytes."""
    out = bytearray()
    for i in range(0, len(transparent), 8):
        byte = 0
        for bit, t in enumerate(transparent[i:i + 8]):
            if t:
                byte |= 0x80 >> bit
        out.append(byte)
    while len(out) % 4:
        out.append(0)
    return bytes(out)


def image(bits):
    """A device-independent bitmap as an icon image: header with doubled
    height, palette, colour rows bottom-up, mask rows bottom-up."""
    palette = PALETTE16 if bits == 4 else palette256()
    rows = pixel_rows(bits)
    colour = b"".join(pack_row([i for i, _ in r], bits) for r in reversed(rows))
    mask = b"".join(pack_mask_row([t for _, t in r]) for r in reversed(rows))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, bits, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + table + colour + mask


def icon_file():
    images = [(4, image(4)), (8, image(8))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for bits, data in images:
        colour_count = 16 if bits == 4 else 0
        out += struct.pack("<BBBBHHII", SIZE, SIZE, colour_count, 0, 1, bits,
                           len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUTPUT.ico")
    with open(sys.argv[1], "wb") as f:
        f.write(icon_file())
