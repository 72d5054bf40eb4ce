#!/usr/bin/env python3
"""Writes Pellamy.ico from its text drawing (res/Pellamy.ico.txt).

Usage: make_icon.py DRAWING OUTPUT

Every image becomes a 16-colour (4 bits per pixel) icon image: the drawing's palette, the
colour bitmap and the transparency mask, both stored bottom row first as icons require.
"""
import struct
import sys

TRANSPARENT = "."


def fail(drawing, number, message):
    sys.exit(f"{drawing}:{number}: {message}")


def read_drawing(path):
    palette = []  # (character, (r, g, b)) in palette order
    images = []   # (size, rows)
    with open(path, encoding="ascii") as source:
        for number, line in enumerate(source, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            words = line.split()
            if words[0] == "colour":
                if len(words) < 3 or len(words[1]) != 1 or len(words[2]) != 6:
                    fail(path, number, "expected: colour C RRGGBB")
                rgb = bytes.fromhex(words[2])
                palette.append((words[1], (rgb[0], rgb[1], rgb[2])))
            elif words[0] == "image":
                size = int(words[1]) if len(words) == 2 and words[1].isdigit() else 0
                if size % 2 or not 0 < size < 256:
                    fail(path, number, "an image size is even and below 256")
                images.append((size, []))
            elif images:
                size, rows = images[-1]
                if len(line) != size or len(rows) == size:
                    fail(path, number, f"the {size}-pixel image needs {size} rows of {size}")
                rows.append(line)
            else:
                fail(path, number, "a drawing row before any image line")
    if len(palette) != 16:
        sys.exit(f"{path}: a 4-bit icon needs 16 palette colours, not {len(palette)}")
    index = {character: i for i, (character, _) in enumerate(palette)}
    for size, rows in images:
        if len(rows) != size:
            sys.exit(f"{path}: the {size}-pixel image has {len(rows)} rows")
        unknown = set("".join(rows)) - set(index) - {TRANSPARENT}
        if unknown:
            sys.exit(f"{path}: characters not in the palette: {''.join(sorted(unknown))}")
    if not images:
        sys.exit(f"{path}: no image")
    return palette, index, images


def padded(row):
    """Pads one bitmap row to the 4-byte boundary that bitmaps use."""
    return row + bytes(-len(row) % 4)


def icon_image(palette, index, size, rows):
    colours = b""
    mask = b""
    for row in reversed(rows):  # bitmaps store the bottom row first
        pixels = [0 if c == TRANSPARENT else index[c] for c in row]
        colours += padded(bytes((pixels[x] << 4) | pixels[x + 1] for x in range(0, size, 2)))
        bits = [1 if c == TRANSPARENT else 0 for c in row]
        mask += padded(bytes(
            sum(bit << (7 - i) for i, bit in enumerate(bits[x:x + 8])) for x in range(0, size, 8)))
    # BITMAPINFOHEADER: the height counts the colour bitmap and the mask together.
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0,
                         len(colours) + len(mask), 0, 0, 0, 0)
    quads = b"".join(struct.pack("<BBBB", b, g, r, 0) for _, (r, g, b) in palette)
    return header + quads + colours + mask


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    palette, index, images = read_drawing(sys.argv[1])
    bodies = [icon_image(palette, index, size, rows) for size, rows in images]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    for (size, _), body in zip(images, bodies):
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 16, 0, 1, 4,
                                 len(body), offset)
        offset += len(body)
    with open(sys.argv[2], "wb") as output:
        output.write(directory + b"".join(bodies))


if __name__ == "__main__":
    main()
