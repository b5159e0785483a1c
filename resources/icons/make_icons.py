#!/usr/bin/env python3
"""Writes KESTREL's icon files (main.ico, copybutton.ico, stopbutton.ico) beside this script.

The pictures are drawn here from simple shapes and stored as classic BMP icon images: 16-colour
images in the standard VGA palette and, for the two button icons, a 256-colour image as well.
Run it again after changing a picture: python3 make_icons.py
"""
import os
import struct

VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255),
       (0, 255, 255), (255, 255, 255)]


def palette256():
    colours = list(VGA)
    for r in range(6):
        for g in range(6):
            for b in range(6):
                colours.append((r * 51, g * 51, b * 51))
    while len(colours) < 256:
        v = (len(colours) - 232) * 10 + 8
        colours.append((v, v, v))
    return colours[:256]


def nearest(palette, colour):
    r, g, b = colour
    return min(range(len(palette)), key=lambda i: (palette[i][0] - r) ** 2 * 3 + (palette[i][1] - g) ** 2 * 4 +
               (palette[i][2] - b) ** 2 * 2)


# ---- pictures: functions (x, y) in 0..1 → colour or None (transparent) ----

def inside_round_rect(x, y, left, top, right, bottom, radius):
    if x < left or x > right or y < top or y > bottom:
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def inside_polygon(x, y, points):
    inside = False
    j = len(points) - 1
    for i in range(len(points)):
        xi, yi = points[i]
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def folder_with_arrow(x, y):
    """The main icon: a yellow folder with a blue arrow pointing right into it."""
    dark = (128, 128, 0)
    if inside_polygon(x, y, [(0.35, 0.30), (0.70, 0.30), (0.70, 0.12), (0.98, 0.45), (0.70, 0.78),
                             (0.70, 0.60), (0.35, 0.60)]):
        return (0, 0, 255) if x > 0.38 and 0.33 < y < 0.57 or x > 0.72 else (0, 0, 128)
    if inside_round_rect(x, y, 0.04, 0.18, 0.40, 0.34, 0.04):
        return dark
    if inside_round_rect(x, y, 0.04, 0.26, 0.88, 0.90, 0.05):
        edge = x < 0.08 or x > 0.84 or y < 0.30 or y > 0.86
        return dark if edge else (255, 255, 0)
    return None


def copy_picture(x, y, wide):
    """The start button's picture: two sheets and a green arrow from the first to the second."""
    sx = (lambda v: v * 0.56 + 0.22) if wide else (lambda v: v)
    for left, top in ((0.04, 0.06), (0.56, 0.30)):
        if inside_round_rect(x, y, sx(left), top, sx(left + 0.38), top + 0.62, 0.02):
            border = x < sx(left) + 0.03 or x > sx(left + 0.38) - 0.03 or y < top + 0.04 or y > top + 0.58
            return (0, 0, 0) if border else (255, 255, 255)
    arrow = [(0.20, 0.68), (0.40, 0.68), (0.40, 0.56), (0.62, 0.78), (0.40, 1.0), (0.40, 0.88), (0.20, 0.88)]
    if inside_polygon(x, y, [(sx(px), py * 0.95) for px, py in arrow]):
        return (0, 128, 0)
    return None


def stop_picture(x, y, wide):
    """The stop button's picture: a red octagon with a white bar."""
    if wide:
        x = (x - 0.5) * (64 / 36) + 0.5
    o = 0.29
    octagon = [(o, 0.02), (1 - o, 0.02), (0.98, o), (0.98, 1 - o), (1 - o, 0.98), (o, 0.98), (0.02, 1 - o),
               (0.02, o)]
    if not inside_polygon(x, y, octagon):
        return None
    if 0.18 < x < 0.82 and 0.40 < y < 0.60:
        return (255, 255, 255)
    return (255, 0, 0)


# ---- ICO writing ----

def image(width, height, bits, picture):
    palette = VGA if bits == 4 else palette256()
    samples = 3
    pixels = []
    mask = []
    for row in range(height):
        line, mline = [], []
        for col in range(width):
            hits = []
            for sy in range(samples):
                for sx in range(samples):
                    c = picture((col + (sx + 0.5) / samples) / width, (row + (sy + 0.5) / samples) / height)
                    if c is not None:
                        hits.append(c)
            if len(hits) * 2 < samples * samples:
                line.append(0)
                mline.append(1)
            else:
                avg = tuple(sum(c[i] for c in hits) // len(hits) for i in range(3))
                line.append(nearest(palette, avg))
                mline.append(0)
        pixels.append(line)
        mask.append(mline)
    xor = b""
    for line in reversed(pixels):
        if bits == 4:
            data = bytes((line[i] << 4) | (line[i + 1] if i + 1 < width else 0) for i in range(0, width, 2))
        else:
            data = bytes(line)
        xor += data + b"\0" * ((-len(data)) % 4)
    andmask = b""
    for mline in reversed(mask):
        data = bytearray((width + 7) // 8)
        for col, m in enumerate(mline):
            if m:
                data[col // 8] |= 0x80 >> (col % 8)
        andmask += bytes(data) + b"\0" * ((-len(data)) % 4)
    colours = 1 << bits
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0, len(xor) + len(andmask), 0, 0,
                         colours, 0)
    pal = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette)
    return header + pal + xor + andmask


def write_ico(path, images):
    """images: list of (width, height, bits, picture)."""
    blobs = [image(w, h, bits, pic) for w, h, bits, pic in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (w, h, bits, _), blob in zip(images, blobs):
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 16 if bits == 4 else 0, 0, 1, bits, len(blob), offset)
        offset += len(blob)
    out += b"".join(blobs)
    with open(path, "wb") as f:
        f.write(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    write_ico(os.path.join(here, "main.ico"), [(32, 32, 4, folder_with_arrow), (16, 16, 4, folder_with_arrow)])
    for name, picture in (("copybutton.ico", copy_picture), ("stopbutton.ico", stop_picture)):
        write_ico(os.path.join(here, name), [
            (32, 32, 4, lambda x, y, p=picture: p(x, y, False)),
            (64, 36, 4, lambda x, y, p=picture: p(x, y, True)),
            (64, 36, 8, lambda x, y, p=picture: p(x, y, True)),
        ])


if __name__ == "__main__":
    main()
