#!/usr/bin/python3
"""Draws the launcher's artwork: the application icon (Zandrel.ico) and the start-up image (Splash.bmp).

Both results are committed, so a build needs no Python; run this again after changing the drawing:
    /usr/bin/python3 launcher/artwork/make_artwork.py [OUTPUT_DIR]   (default: launcher/resources)
Needs python3-pil and fonts-dejavu-core (Debian).
"""

import io
import struct
import sys
from pathlib import Path

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

FONT_DIR = Path("/usr/share/fonts/truetype/dejavu")
BOLD = FONT_DIR / "DejaVuSans-Bold.ttf"
REGULAR = FONT_DIR / "DejaVuSans.ttf"
LIGHT = FONT_DIR / "DejaVuSans-ExtraLight.ttf"

NAVY_TOP = (10, 27, 51)
NAVY_BOTTOM = (18, 52, 86)
BLUE_TOP = (41, 140, 230)
BLUE_BOTTOM = (10, 58, 112)
TEAL = (45, 212, 191)
GREEN = (132, 230, 120)
WHITE = (255, 255, 255)

# The pulse line of the logo, in units of the mark's width and height.
PULSE = [(0.10, 0.56), (0.33, 0.56), (0.42, 0.30), (0.54, 0.78), (0.63, 0.44), (0.69, 0.56), (0.90, 0.56)]

SPLASH_SIZE = (504, 199)
# The form shows the image in a 497 x 193 box: everything that matters stays inside it.
VISIBLE_SIZE = (497, 193)


def vertical_gradient(size, top, bottom):
    width, height = size
    column = Image.new("RGB", (1, height))
    for y in range(height):
        t = y / max(1, height - 1)
        column.putpixel((0, y), tuple(round(a + (b - a) * t) for a, b in zip(top, bottom)))
    return column.resize(size)


def horizontal_gradient(size, left, right):
    return vertical_gradient((size[1], size[0]), left, right).transpose(Image.Transpose.ROTATE_90).transpose(
        Image.Transpose.FLIP_TOP_BOTTOM)


def logo_mark(size):
    """The mark at `size` pixels square, RGBA, drawn 8 times larger and reduced for smooth edges.

    Small sizes get a thicker line and a larger corner share, so that the pulse still reads at 16 pixels.
    """
    scale = 8
    big = size * scale
    inset = {16: 0, 24: 1, 32: 1}.get(size, max(1, size // 24)) * scale
    radius = round(big * (0.22 if size > 24 else 0.18))
    tile = Image.new("RGBA", (big, big), (0, 0, 0, 0))

    mask = Image.new("L", (big, big), 0)
    ImageDraw.Draw(mask).rounded_rectangle((inset, inset, big - 1 - inset, big - 1 - inset), radius, fill=255)
    fill = vertical_gradient((big, big), BLUE_TOP, BLUE_BOTTOM).convert("RGBA")
    tile.paste(fill, (0, 0), mask)

    # A soft highlight over the upper half gives the tile some depth on large sizes.
    if size >= 32:
        shine = Image.new("L", (big, big), 0)
        ImageDraw.Draw(shine).ellipse((-big * 0.4, -big * 0.9, big * 1.4, big * 0.45), fill=38)
        shine = ImageChops.multiply(shine, mask)
        tile = Image.composite(Image.new("RGBA", (big, big), WHITE + (255,)), tile, shine)
        tile.putalpha(mask)

    stroke = round(big * {16: 0.115, 24: 0.10}.get(size, 0.085))
    points = [(inset + x * (big - 2 * inset), inset + y * (big - 2 * inset)) for x, y in PULSE]
    draw = ImageDraw.Draw(tile)
    draw.line(points, fill=WHITE + (255,), width=stroke, joint="curve")
    for end in (points[0], points[-1]):
        draw.ellipse((end[0] - stroke / 2, end[1] - stroke / 2, end[0] + stroke / 2, end[1] + stroke / 2),
                     fill=WHITE + (255,))
    if size >= 24:
        dot = stroke * 0.9
        cx, cy = points[-1]
        draw.ellipse((cx - dot, cy - dot, cx + dot, cy + dot), fill=GREEN + (255,))
    return tile.resize((size, size), Image.Resampling.LANCZOS)


def dib_header(width, height, bits, colours_used=0):
    # The height of an icon image counts the colour rows and the mask rows together.
    return struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0, 0, 0, 0, colours_used, 0)


def and_mask(alpha, width, height):
    stride = ((width + 31) // 32) * 4
    rows = []
    for y in reversed(range(height)):
        row = bytearray(stride)
        for x in range(width):
            if alpha[x, y] < 128:
                row[x // 8] |= 0x80 >> (x % 8)
        rows.append(bytes(row))
    return b"".join(rows)


def icon_image_32(image):
    width, height = image.size
    pixels = image.load()
    colour = bytearray()
    for y in reversed(range(height)):
        for x in range(width):
            r, g, b, a = pixels[x, y]
            colour += bytes((b, g, r, a))
    return dib_header(width, height, 32) + bytes(colour) + and_mask(image.getchannel("A").load(), width, height)


def icon_image_8(image):
    """256 colours: opaque where the mark covers at least half a pixel, edges blended onto a mid grey.

    Index 0 is black, kept for the transparent pixels (AND 1, XOR black leaves the screen as it is);
    the mark gets the other 255 entries.
    """
    width, height = image.size
    backdrop = Image.new("RGBA", image.size, (192, 192, 192, 255))
    flat = Image.alpha_composite(backdrop, image).convert("RGB")
    paletted = flat.quantize(colors=255, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    palette = paletted.getpalette()[: 255 * 3]
    palette += [0] * (255 * 3 - len(palette))
    quads = bytes(4) + b"".join(bytes((palette[i * 3 + 2], palette[i * 3 + 1], palette[i * 3], 0))
                                for i in range(255))
    stride = (width + 3) // 4 * 4
    indices = paletted.load()
    opaque = image.getchannel("A").load()
    colour = bytearray()
    for y in reversed(range(height)):
        row = bytearray(stride)
        for x in range(width):
            row[x] = indices[x, y] + 1 if opaque[x, y] >= 128 else 0
        colour += row
    return dib_header(width, height, 8, 256) + quads + bytes(colour) + and_mask(opaque, width, height)


def write_icon(path, sizes):
    images = []
    for size in sizes:
        mark = logo_mark(size)
        images.append((size, 8, icon_image_8(mark)))
    for size in sizes:
        images.append((size, 32, icon_image_32(logo_mark(size))))
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    directory = b""
    for size, bits, data in images:
        directory += struct.pack("<BBBBHHII", size, size, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    path.write_bytes(header + directory + b"".join(data for _, _, data in images))


def splash():
    width, height = SPLASH_SIZE
    image = vertical_gradient(SPLASH_SIZE, NAVY_TOP, NAVY_BOTTOM).convert("RGBA")

    # A faint grid on the right, like the chart area of a monitor.
    grid = Image.new("RGBA", SPLASH_SIZE, (0, 0, 0, 0))
    draw = ImageDraw.Draw(grid)
    for x in range(250, VISIBLE_SIZE[0], 18):
        draw.line((x, 0, x, height), fill=(255, 255, 255, 10))
    for y in range(10, height, 18):
        draw.line((250, y, VISIBLE_SIZE[0], y), fill=(255, 255, 255, 10))
    fade = horizontal_gradient(SPLASH_SIZE, (0, 0, 0), (255, 255, 255)).convert("L")
    grid.putalpha(ImageChops.multiply(grid.getchannel("A"), fade))
    image = Image.alpha_composite(image, grid)

    # The load trace across the chart area, with a soft glow.
    trace = [(250, 118), (290, 112), (318, 120), (340, 96), (356, 132), (372, 70), (388, 124), (404, 106),
             (430, 110), (452, 84), (470, 98), (496, 92)]
    glow = Image.new("RGBA", SPLASH_SIZE, (0, 0, 0, 0))
    ImageDraw.Draw(glow).line(trace, fill=TEAL + (150,), width=7, joint="curve")
    glow = glow.filter(ImageFilter.GaussianBlur(6))
    line = Image.new("RGBA", SPLASH_SIZE, (0, 0, 0, 0))
    ImageDraw.Draw(line).line(trace, fill=TEAL + (230,), width=2, joint="curve")
    fade_in = horizontal_gradient(SPLASH_SIZE, (0, 0, 0), (255, 255, 255)).convert("L").point(
        lambda v: min(255, max(0, (v - 110) * 3)))
    for layer in (glow, line):
        layer.putalpha(ImageChops.multiply(layer.getchannel("A"), fade_in))
        image = Image.alpha_composite(image, layer)

    # The mark and the name.
    mark = logo_mark(72)
    image.alpha_composite(mark, (28, 38))
    draw = ImageDraw.Draw(image)
    title = ImageFont.truetype(str(BOLD), 46)
    subtitle = ImageFont.truetype(str(REGULAR), 15)
    small = ImageFont.truetype(str(REGULAR), 11)
    draw.text((116, 30), "Zandrel", font=title, fill=WHITE)
    draw.text((119, 86), "SERVER MONITORING", font=subtitle, fill=(150, 230, 220))

    accent = horizontal_gradient((220, 3), TEAL, GREEN)
    image.paste(accent, (28, 128))

    # The footer: what is happening now, and the version.
    draw.text((28, 150), "Starting the configuration server\u2026", font=small, fill=(200, 214, 230))
    version = "Version 1.0"
    draw.text((VISIBLE_SIZE[0] - 14 - draw.textlength(version, font=small), 150), version, font=small,
              fill=(140, 160, 185))
    draw.text((28, 168), "\u00a9 Zandrel. All rights reserved.", font=small, fill=(110, 132, 160))
    return image.convert("RGB")


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "resources"
    out.mkdir(parents=True, exist_ok=True)
    write_icon(out / "Zandrel.ico", (48, 32, 24, 16))
    # Pillow writes RGB images as uncompressed 24-bit bitmaps, bottom-up.
    buffer = io.BytesIO()
    splash().save(buffer, format="BMP")
    (out / "Splash.bmp").write_bytes(buffer.getvalue())


if __name__ == "__main__":
    main()
