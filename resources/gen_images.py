#!/usr/bin/env python3
"""Draws the program's pictures and writes them as BMP and ICO files.

Usage: gen_images.py OUTPUT_DIR

Writes toolbar.bmp (bitmap 30), logo.bmp (bitmap 31), app.ico (icon 20), about.ico
(icon 21) and interface.ico (icon 22). Python standard library only; the output is the
same on every run, so the build may regenerate it at will.
"""
import os
import struct
import sys

# The 16 colours of the classic palette; the toolbar uses only these, so the toolbar
# control can map black, the greys and white onto the current system colours.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def palette256():
    cube = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    greys = [(v, v, v) for v in range(8, 248, 10)][:24]
    colours = VGA16 + cube + greys
    return (colours + [(0, 0, 0)] * 256)[:256]


# ---------------------------------------------------------------------------------------
# Shapes: predicates over pixel coordinates with a bounding box.


class Shape:
    def __init__(self, box, inside):
        self.box = box  # x0, y0, x1, y1
        self.inside = inside


def rect(x0, y0, x1, y1):
    return Shape((x0, y0, x1, y1), lambda x, y: x0 <= x < x1 and y0 <= y < y1)


def round_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return Shape((x0, y0, x1, y1), inside)


def ellipse(cx, cy, rx, ry):
    return Shape((cx - rx, cy - ry, cx + rx, cy + ry),
                 lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0)


def polygon(points):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]

    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return Shape((min(xs), min(ys), max(xs), max(ys)), inside)


def capsule(x0, y0, x1, y1, width):
    r = width / 2
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy or 1e-9

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= r * r
    return Shape((min(x0, x1) - r, min(y0, y1) - r, max(x0, x1) + r, max(y0, y1) + r),
                 inside)


def minus(a, b):
    return Shape(a.box, lambda x, y: a.inside(x, y) and not b.inside(x, y))


def scaled(shape_fn, scale):
    """A shape drawn on a 32-unit grid, scaled to the picture's size."""
    def make(*args):
        return shape_fn(*[a * scale for a in args])
    return make


# ---------------------------------------------------------------------------------------
# Canvas: RGB plus coverage, painted with supersampled shapes.


class Canvas:
    def __init__(self, width, height, background=(0, 0, 0), alpha=0.0):
        self.width, self.height = width, height
        self.rgb = [[background] * width for _ in range(height)]
        self.alpha = [[alpha] * width for _ in range(height)]

    def fill(self, shape, colour, samples=4):
        x0, y0, x1, y1 = shape.box
        step = 1.0 / samples
        for py in range(max(0, int(y0)), min(self.height, int(y1) + 1)):
            for px in range(max(0, int(x0)), min(self.width, int(x1) + 1)):
                hits = 0
                for sy in range(samples):
                    for sx in range(samples):
                        if shape.inside(px + (sx + 0.5) * step, py + (sy + 0.5) * step):
                            hits += 1
                if hits:
                    self.blend(px, py, colour, hits / (samples * samples))

    def blend(self, x, y, colour, coverage):
        old = self.rgb[y][x]
        old_alpha = self.alpha[y][x]
        new_alpha = coverage + old_alpha * (1 - coverage)
        if new_alpha <= 0:
            return
        mixed = tuple(
            round((c * coverage + o * old_alpha * (1 - coverage)) / new_alpha)
            for c, o in zip(colour, old))
        self.rgb[y][x] = mixed
        self.alpha[y][x] = new_alpha

    def put(self, x, y, colour):
        self.rgb[y][x] = colour
        self.alpha[y][x] = 1.0

    def paste(self, other, left, top):
        for y in range(other.height):
            for x in range(other.width):
                if other.alpha[y][x] > 0:
                    self.blend(left + x, top + y, other.rgb[y][x], other.alpha[y][x])


def nearest(colour, palette, cache):
    index = cache.get(colour)
    if index is None:
        r, g, b = colour
        index = min(range(len(palette)),
                    key=lambda i: (palette[i][0] - r) ** 2 * 3 + (palette[i][1] - g) ** 2 * 4
                    + (palette[i][2] - b) ** 2 * 2)
        cache[colour] = index
    return index


# ---------------------------------------------------------------------------------------
# File writers.


def row_bytes(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def pack_indices(indices, bpp):
    out = bytearray()
    if bpp == 8:
        out.extend(indices)
    elif bpp == 4:
        for i in range(0, len(indices), 2):
            high = indices[i]
            low = indices[i + 1] if i + 1 < len(indices) else 0
            out.append(high << 4 | low)
    elif bpp == 1:
        for i in range(0, len(indices), 8):
            byte = 0
            for bit, value in enumerate(indices[i:i + 8]):
                byte |= (value & 1) << (7 - bit)
            out.append(byte)
    return out


def pixel_rows(canvas, bpp, palette):
    """Bottom-up rows, padded to 32 bits, as a BMP or ICO stores them."""
    data = bytearray()
    stride = row_bytes(canvas.width * bpp)
    cache = {}
    for y in reversed(range(canvas.height)):
        if bpp == 24:
            row = bytearray()
            for r, g, b in canvas.rgb[y]:
                row.extend((b, g, r))
        else:
            indices = []
            for x in range(canvas.width):
                if canvas.alpha[y][x] < 0.5:
                    indices.append(0)
                else:
                    indices.append(nearest(canvas.rgb[y][x], palette, cache))
            row = pack_indices(indices, bpp)
        data.extend(row.ljust(stride, b'\0'))
    return bytes(data)


def info_header(width, height, bpp, image_size, colours):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bpp, 0, image_size, 2835, 2835,
                       colours, 0)


def palette_bytes(palette):
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette)


def write_bmp(path, canvas, bpp):
    palette = VGA16 if bpp == 4 else (palette256() if bpp == 8 else [])
    pixels = pixel_rows(canvas, bpp, palette)
    header = info_header(canvas.width, canvas.height, bpp, len(pixels), len(palette))
    offset = 14 + len(header) + 4 * len(palette)
    with open(path, 'wb') as out:
        out.write(struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset))
        out.write(header + palette_bytes(palette) + pixels)


def icon_image(canvas, bpp):
    palette = VGA16 if bpp == 4 else palette256()
    xor = pixel_rows(canvas, bpp, palette)
    mask = bytearray()
    stride = row_bytes(canvas.width)
    for y in reversed(range(canvas.height)):
        bits = [1 if canvas.alpha[y][x] < 0.5 else 0 for x in range(canvas.width)]
        mask.extend(pack_indices(bits, 1).ljust(stride, b'\0'))
    header = info_header(canvas.width, canvas.height * 2, bpp, len(xor) + len(mask),
                         len(palette))
    return header + palette_bytes(palette) + xor + bytes(mask)


def write_ico(path, images):
    """images: list of (canvas, bits per pixel)."""
    blobs = [(canvas, bpp, icon_image(canvas, bpp)) for canvas, bpp in images]
    offset = 6 + 16 * len(blobs)
    directory = bytearray(struct.pack('<HHH', 0, 1, len(blobs)))
    for canvas, bpp, blob in blobs:
        directory += struct.pack('<BBBBHHII', canvas.width % 256, canvas.height % 256,
                                 16 if bpp == 4 else 0, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
    with open(path, 'wb') as out:
        out.write(bytes(directory))
        for _, _, blob in blobs:
            out.write(blob)


# ---------------------------------------------------------------------------------------
# The toolbar strip: 16 x 16 pixel art, crisp, in the 16 classic colours.

PIXEL_COLOURS = {
    'k': (0, 0, 0), 'R': (128, 0, 0), 'G': (0, 128, 0), 'Y': (128, 128, 0),
    'B': (0, 0, 128), 'P': (128, 0, 128), 'T': (0, 128, 128), 's': (192, 192, 192),
    'g': (128, 128, 128), 'r': (255, 0, 0), 'e': (0, 255, 0), 'y': (255, 255, 0),
    'b': (0, 0, 255), 'm': (255, 0, 255), 'c': (0, 255, 255), 'w': (255, 255, 255),
}
BUTTON_FACE = (192, 192, 192)

QUIT = [  # a door and the arrow out of it
    "................",
    "..kkkkkkkkk.....",
    "..kwwwwwwwk.....",
    "..kwBBBBBwk.....",
    "..kwBBBBBwk.....",
    "..kwBBBBBwk..r..",
    "..kwBBBBBwk..rr.",
    "..kwBBByBwrrrrrr",
    "..kwBBByBwrrrrrr",
    "..kwBBBBBwk..rr.",
    "..kwBBBBBwk..r..",
    "..kwBBBBBwk.....",
    "..kwBBBBBwk.....",
    "..kwwwwwwwk.....",
    "..kkkkkkkkk.....",
    "................",
]
DOWNLOAD = [  # an arrow down into a memory chip
    "......GGGG......",
    "......GeeG......",
    "......GeeG......",
    "......GeeG......",
    "...GGGGeeGGGG...",
    "....GeeeeeeG....",
    ".....GeeeeG.....",
    "......GeeG......",
    ".......GG.......",
    "..g.g.g.g.g.g...",
    ".kkkkkkkkkkkkkk.",
    ".kBBBBBBBBBBBBk.",
    ".kBwBBBBBBBBBBk.",
    ".kkkkkkkkkkkkkk.",
    "..g.g.g.g.g.g...",
    "................",
]
INTERFACE = [  # a nine-pin serial connector on its cable
    "................",
    ".kkkkkkkkkkkkkk.",
    ".kwwwwwwwwwwwgk.",
    ".kwyywyywyywygk.",
    ".kwggggggggggk..",
    "..kwyywyywyygk..",
    "..kwgggggggggk..",
    "...kkkkkkkkkk...",
    ".......BB.......",
    ".......BB.......",
    "......BB........",
    ".....BB.........",
    ".....BB.........",
    "......BB........",
    ".......BB.......",
    ".......BB.......",
]
SYSTEM_INFORMATION = [  # a monitor with an "i" on its screen
    "................",
    ".kkkkkkkkkkkkkk.",
    ".kggggggggggggk.",
    ".kgBBBBBBBBBBgk.",
    ".kgBBBBwwBBBBgk.",
    ".kgBBBBBBBBBBgk.",
    ".kgBBBwwwBBBBgk.",
    ".kgBBBBwwBBBBgk.",
    ".kgBBBBwwBBBBgk.",
    ".kgBBBwwwwBBBgk.",
    ".kggggggggggggk.",
    ".kkkkkkkkkkkkkk.",
    "......kggk......",
    "....kkggggkk....",
    "....kkkkkkkk....",
    "................",
]
QUESTION_MARK = [  # drawn white on a blue disc for About
    "................",
    "................",
    "................",
    "................",
    "......www.......",
    ".....ww.ww......",
    "........ww......",
    ".......ww.......",
    "......ww........",
    "......ww........",
    "................",
    "......ww........",
    "......ww........",
    "................",
    "................",
    "................",
]


def pixel_art(rows):
    canvas = Canvas(16, 16, BUTTON_FACE, 1.0)
    for y, row in enumerate(rows):
        assert len(row) == 16 and len(rows) == 16
        for x, ch in enumerate(row):
            if ch != '.':
                canvas.put(x, y, PIXEL_COLOURS[ch])
    return canvas


def flag(stripes=None):
    """A waving-free flag on the button face: horizontal stripes, or the crosses."""
    canvas = Canvas(16, 16, BUTTON_FACE, 1.0)
    left, top, width, height = 1, 3, 14, 10
    for y in range(top - 1, top + height + 1):
        for x in range(left - 1, left + width + 1):
            canvas.put(x, y, PIXEL_COLOURS['g'])
    for y in range(height):
        for x in range(width):
            if stripes:
                colour = stripes[y * len(stripes) // height]
            else:
                colour = union_crosses(x, y, width, height)
            canvas.put(left + x, top + y, colour)
    return canvas


def union_crosses(x, y, width, height):
    fx, fy = (x + 0.5) / width, (y + 0.5) / height
    centre_x, centre_y = width // 2, height // 2
    if x in (centre_x - 1, centre_x) or y in (centre_y - 1, centre_y):
        return PIXEL_COLOURS['r']
    if x in (centre_x - 2, centre_x + 1) or y in (centre_y - 2, centre_y + 1):
        return PIXEL_COLOURS['w']
    if abs(fy - fx) < 0.09 or abs(fy - (1 - fx)) < 0.09:
        return PIXEL_COLOURS['w']
    return PIXEL_COLOURS['B']


def about_button():
    canvas = Canvas(16, 16, BUTTON_FACE, 1.0)
    canvas.fill(ellipse(8, 8, 7.5, 7.5), (0, 0, 0), samples=1)
    canvas.fill(ellipse(8, 8, 6.5, 6.5), (0, 0, 255), samples=1)
    for y, row in enumerate(QUESTION_MARK):
        for x, ch in enumerate(row):
            if ch != '.':
                canvas.put(x + 1, y, PIXEL_COLOURS[ch])
    return canvas


TOOLBAR_IMAGES = 31


def toolbar():
    pictures = {
        3: pixel_art(QUIT),
        8: pixel_art(SYSTEM_INFORMATION),
        12: flag([PIXEL_COLOURS['k'], PIXEL_COLOURS['r'], PIXEL_COLOURS['y']]),
        13: flag(),
        24: pixel_art(INTERFACE),
        29: about_button(),
        30: pixel_art(DOWNLOAD),
    }
    strip = Canvas(16 * TOOLBAR_IMAGES, 16, BUTTON_FACE, 1.0)
    for index, picture in pictures.items():
        strip.paste(picture, 16 * index, 0)
    return strip


# ---------------------------------------------------------------------------------------
# Icons, drawn on a 32-unit grid at any size.

DARK_BLUE = (10, 40, 110)
BLUE = (40, 90, 190)
YELLOW = (255, 210, 0)
DARK = (40, 40, 40)
GREY = (170, 170, 170)
LIGHT = (225, 225, 225)
DISPLAY = (60, 170, 90)


def app_icon(size):
    s = size / 32
    canvas = Canvas(size, size)
    canvas.fill(scaled(round_rect, s)(2, 2, 30, 30, 6), DARK_BLUE)
    canvas.fill(scaled(round_rect, s)(3.5, 3.5, 28.5, 28.5, 5), BLUE)
    bolt = [(19, 3), (8, 18), (15, 18), (12, 29), (25, 13), (18, 13), (22, 3)]
    canvas.fill(polygon([(x * s, y * s) for x, y in bolt]), YELLOW)
    return canvas


def about_icon(size):
    s = size / 32
    canvas = Canvas(size, size)
    canvas.fill(scaled(round_rect, s)(2, 5, 30, 28, 3), DARK)
    canvas.fill(scaled(round_rect, s)(3, 6, 29, 27, 2), LIGHT)
    canvas.fill(scaled(rect, s)(6, 9, 26, 17), DARK)
    canvas.fill(scaled(rect, s)(7, 10, 25, 16), DISPLAY)
    canvas.fill(scaled(rect, s)(9, 12, 19, 14), (20, 80, 40))
    for left in (7, 12, 17):
        canvas.fill(scaled(rect, s)(left, 20, left + 4, 24), GREY)
    canvas.fill(scaled(ellipse, s)(24, 22, 2, 2), (220, 30, 30))
    return canvas


def interface_icon(size):
    s = size / 32
    canvas = Canvas(size, size)
    canvas.fill(scaled(capsule, s)(16, 20, 16, 31, 5), DARK)
    outline = [(2, 6), (30, 6), (26, 21), (6, 21)]
    canvas.fill(polygon([(x * s, y * s) for x, y in outline]), DARK)
    inner = [(4, 7.5), (28, 7.5), (24.8, 19.5), (7.2, 19.5)]
    canvas.fill(polygon([(x * s, y * s) for x, y in inner]), GREY)
    for i in range(5):
        canvas.fill(scaled(ellipse, s)(8 + 4 * i, 11, 1.4, 1.4), YELLOW)
    for i in range(4):
        canvas.fill(scaled(ellipse, s)(10 + 4 * i, 16, 1.4, 1.4), YELLOW)
    return canvas


# ---------------------------------------------------------------------------------------
# The logo: "TQ VIII" on white, white being the colour left transparent when drawn.

LOGO_WIDTH, LOGO_HEIGHT = 200, 100
NAVY = (0, 45, 125)
RED = (200, 30, 30)


def logo():
    canvas = Canvas(LOGO_WIDTH, LOGO_HEIGHT, (255, 255, 255), 1.0)
    top, bottom = 16, 64
    x = 16
    # T
    canvas.fill(rect(x, top, x + 32, top + 10), NAVY)
    canvas.fill(rect(x + 11, top, x + 21, bottom), NAVY)
    x += 32 + 5
    # Q
    cx, cy = x + 20, (top + bottom) / 2
    canvas.fill(minus(ellipse(cx, cy, 20, 24), ellipse(cx, cy, 10.5, 14.5)), NAVY)
    canvas.fill(capsule(cx + 6, cy + 10, cx + 19, bottom + 3, 8), NAVY)
    x += 40 + 12
    # V
    canvas.fill(polygon([(x, top), (x + 11, top), (x + 18, bottom - 16), (x + 25, top),
                         (x + 36, top), (x + 23, bottom), (x + 13, bottom)]), NAVY)
    x += 36 + 5
    # III
    for _ in range(3):
        canvas.fill(rect(x, top, x + 10, bottom), NAVY)
        x += 14
    # the underline swoosh
    canvas.fill(round_rect(16, 74, 184, 82, 4), RED)
    canvas.fill(rect(16, 87, 184, 89), (150, 150, 150))
    return canvas


def main():
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    write_bmp(os.path.join(out_dir, 'toolbar.bmp'), toolbar(), 4)
    write_bmp(os.path.join(out_dir, 'logo.bmp'), logo(), 24)
    write_ico(os.path.join(out_dir, 'app.ico'),
              [(app_icon(size), bpp) for size in (16, 32, 48) for bpp in (4, 8)])
    write_ico(os.path.join(out_dir, 'about.ico'), [(about_icon(32), 4), (about_icon(32), 8)])
    write_ico(os.path.join(out_dir, 'interface.ico'),
              [(interface_icon(size), bpp) for size in (16, 32) for bpp in (4, 8)])


if __name__ == '__main__':
    main()
