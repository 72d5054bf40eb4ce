#!/usr/bin/env python3
"""Writes an icon file from its text drawing (res/NAME.ico.txt).

Usage: make_icon.py DRAWING OUTPUT

An OUTPUT whose name ends in .svg gets a shape drawing as a scalable image instead, for the
Linux programs' icon theme.

A drawing is one of two kinds. Pixel drawings ("colour" and "image" lines, Pellamy.ico.txt)
become 16-colour (4 bits per pixel) icon images: the drawing's palette, the colour bitmap and
the transparency mask, both stored bottom row first as icons require. Shape drawings ("sizes"
and shape lines, Inbox.ico.txt) are drawn at each size they name, smoothed, as 32-bit images
whose alpha channel carries the smoothing; the largest of them as PNGs, which keeps the
programs small.
"""
import math
import struct
import sys
import zlib

TRANSPARENT = "."
SAMPLES = 8  # per pixel and axis: how finely a shape drawing's edges are smoothed
PNG_SIZE = 32  # from this size on, images are stored as PNGs, which Windows reads from Vista on


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


def read_shapes(path):
    """A shape drawing: the sizes, and the shapes bottom first on a square of 16 units."""
    arity = {"box": 5, "line": 5, "disc": 3}  # the numbers before the colour
    sizes, shapes = [], []
    with open(path, encoding="ascii") as source:
        for number, line in enumerate(source, 1):
            words = line.split("#")[0].split()
            if not words:
                continue
            if words[0] == "sizes":
                sizes = [int(word) for word in words[1:] if word.isdigit()]
                if len(sizes) != len(words) - 1 or not all(0 < size < 256 for size in sizes):
                    fail(path, number, "expected: sizes N... (each below 256)")
            elif words[0] in arity and len(words) == arity[words[0]] + 2 and len(words[-1]) == 6:
                try:
                    shapes.append((words[0], [float(word) for word in words[1:-1]],
                                   tuple(bytes.fromhex(words[-1]))))
                except ValueError:
                    fail(path, number, "a shape's numbers and RRGGBB colour")
            else:
                fail(path, number, "expected: box X0 Y0 X1 Y1 RADIUS RRGGBB, "
                                   "line X0 Y0 X1 Y1 WIDTH RRGGBB or disc X Y RADIUS RRGGBB")
    if not sizes or not shapes:
        sys.exit(f"{path}: a shape drawing needs its sizes and at least one shape")
    return sizes, shapes


def covers(shape, x, y):
    kind, numbers, _ = shape
    if kind == "box":  # a rectangle with rounded corners
        x0, y0, x1, y1, radius = numbers
        dx = max(x0 + radius - x, 0, x - (x1 - radius))
        dy = max(y0 + radius - y, 0, y - (y1 - radius))
        return x0 <= x <= x1 and y0 <= y <= y1 and dx * dx + dy * dy <= radius * radius
    if kind == "line":  # a stroke with round ends
        x0, y0, x1, y1, width = numbers
        length2 = (x1 - x0) ** 2 + (y1 - y0) ** 2
        t = max(0, min(1, ((x - x0) * (x1 - x0) + (y - y0) * (y1 - y0)) / length2)) if length2 else 0
        return math.hypot(x - x0 - t * (x1 - x0), y - y0 - t * (y1 - y0)) <= width / 2
    cx, cy, radius = numbers
    return math.hypot(x - cx, y - cy) <= radius


def png_image(pixels, size):
    """A PNG of 32-bit pixels (top row first, b g r a), as Windows Vista and later read icon
    images; a fraction of the bitmap's size."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + b"".join(bytes((r, g, b, a)) for b, g, r, a in pixels[row * size:(row + 1) * size])
                    for row in range(size))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def shape_image(shapes, size):
    """One 32-bit image: each pixel the mean of its samples' colours, its alpha their cover.
    From PNG_SIZE on it is stored as a PNG."""
    pixels = []  # top row first, (b, g, r, a)
    for row in range(size):
        for column in range(size):
            total, found = [0, 0, 0], 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (column + (sx + 0.5) / SAMPLES) * 16 / size
                    y = (row + (sy + 0.5) / SAMPLES) * 16 / size
                    top = next((shape for shape in reversed(shapes) if covers(shape, x, y)), None)
                    if top:
                        found += 1
                        total = [t + c for t, c in zip(total, top[2])]
            r, g, b = (round(t / found) if found else 0 for t in total)
            pixels.append((b, g, r, round(255 * found / SAMPLES ** 2)))
    if size >= PNG_SIZE:
        return png_image(pixels, size)
    colours = b"".join(bytes(pixel) for row in reversed(range(size))
                       for pixel in pixels[row * size:(row + 1) * size])
    mask = b""  # for programs that ignore alpha: a pixel nothing covers is transparent
    for row in reversed(range(size)):
        bits = [1 if pixel[3] == 0 else 0 for pixel in pixels[row * size:(row + 1) * size]]
        mask += padded(bytes(
            sum(bit << (7 - i) for i, bit in enumerate(bits[x:x + 8])) for x in range(0, size, 8)))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0,
                         len(colours) + len(mask), 0, 0, 0, 0)
    return header + colours + mask


def svg_image(shapes):
    """The shapes as SVG on the same 16-unit square, bottom first as they are drawn."""
    elements = []
    for kind, numbers, (r, g, b) in shapes:
        colour = f"#{r:02x}{g:02x}{b:02x}"
        if kind == "box":
            x0, y0, x1, y1, radius = numbers
            elements.append(f'<rect x="{x0:g}" y="{y0:g}" width="{x1 - x0:g}" height="{y1 - y0:g}" '
                            f'rx="{radius:g}" fill="{colour}"/>')
        elif kind == "line":
            x0, y0, x1, y1, width = numbers
            elements.append(f'<line x1="{x0:g}" y1="{y0:g}" x2="{x1:g}" y2="{y1:g}" stroke="{colour}" '
                            f'stroke-width="{width:g}" stroke-linecap="round"/>')
        else:
            cx, cy, radius = numbers
            elements.append(f'<circle cx="{cx:g}" cy="{cy:g}" r="{radius:g}" fill="{colour}"/>')
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">\n'
            + "".join(f"  {element}\n" for element in elements) + "</svg>\n")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="ascii") as source:
        shaped = any(line.split()[:1] == ["sizes"] for line in source)
    if sys.argv[2].endswith(".svg"):
        if not shaped:
            sys.exit(f"{sys.argv[1]}: only a shape drawing makes an SVG image")
        with open(sys.argv[2], "w", encoding="ascii") as output:
            output.write(svg_image(read_shapes(sys.argv[1])[1]))
        return
    if shaped:
        sizes, shapes = read_shapes(sys.argv[1])
        images = [(size, 0, 32, shape_image(shapes, size)) for size in sizes]
    else:
        palette, index, drawings = read_drawing(sys.argv[1])
        images = [(size, 16, 4, icon_image(palette, index, size, rows)) for size, rows in drawings]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    for size, colours, bits, body in images:
        directory += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bits, len(body), offset)
        offset += len(body)
    with open(sys.argv[2], "wb") as output:
        output.write(directory + b"".join(body for *_, body in images))


if __name__ == "__main__":
    main()
