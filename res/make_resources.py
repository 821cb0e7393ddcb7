#!/usr/bin/env python3
"""Draws the player's bitmaps and icons and writes them beside this script.

bitmap/130.bmp  15 x 13  open folder picture (black where its mask is white)
bitmap/139.bmp  15 x 13  mask of 130: white outside, black inside, near-black outline
bitmap/136.bmp  15 x 15  compact disc picture (black outside the disc)
bitmap/137.bmp  15 x 15  mask of 136: black disc, white corners
icon/128.ico    32 x 32 and 16 x 16  the program's icon
icon/157.ico    16 x 16  the tray icon

Bitmaps are 24-bit, stored bottom-up. Run it again after changing a drawing:
    python3 res/make_resources.py
"""

import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
NEAR_BLACK = (1, 1, 1)
OLIVE = (127, 127, 1)
YELLOW = (255, 255, 1)

# The open folder, one character per pixel: '.' outside, 'o' outline and arrow, 'c' the
# chequered inside of the folder, 'f' its front.
FOLDER = [
    "..........ooo..",
    ".........o...o.",
    ".oooo.......ooo",
    "occcco.......o.",
    "occcccooooo....",
    "occcccccccco...",
    "occccoooooooooo",
    "occcoffffffffo.",
    "occoffffffffo..",
    "ocoffffffffo...",
    "ooffffffffo....",
    "offffffffo.....",
    "oooooooooo.....",
]

# Black pixels per row of the disc's mask, centred in 15 columns.
DISC_ROWS = [5, 9, 11, 13, 13, 15, 15, 15, 15, 15, 13, 13, 11, 9, 5]


def folder_pictures():
    picture, mask = [], []
    for y, row in enumerate(FOLDER):
        assert len(row) == 15, row
        picture_row, mask_row = [], []
        for x, ch in enumerate(row):
            if ch == ".":
                picture_row.append(BLACK)
                mask_row.append(WHITE)
            elif ch == "o":
                picture_row.append(NEAR_BLACK)
                mask_row.append(NEAR_BLACK)
            elif ch == "f":
                picture_row.append(OLIVE)
                mask_row.append(BLACK)
            else:
                picture_row.append(YELLOW if (x + y) % 2 == 0 else WHITE)
                mask_row.append(BLACK)
        picture.append(picture_row)
        mask.append(mask_row)
    return picture, mask


def in_disc(x, y):
    if not 0 <= y < 15:
        return False
    width = DISC_ROWS[y]
    left = (15 - width) // 2
    return left <= x < left + width


def reflection(angle):
    """Rainbow colour of the light on the disc's surface, or None off the two bands."""
    for centre in (135.0, 315.0):
        offset = (angle - centre + 540.0) % 360.0 - 180.0
        if abs(offset) <= 27.0:
            if offset < -9.0:
                return (0, 255, 255)
            if offset <= 9.0:
                return (0, 255, 0)
            return (255, 255, 0)
    return None


def disc_pictures():
    picture, mask = [], []
    for y in range(15):
        picture_row, mask_row = [], []
        for x in range(15):
            if not in_disc(x, y):
                picture_row.append(BLACK)
                mask_row.append(WHITE)
                continue
            mask_row.append(BLACK)
            dx, dy = x - 7, y - 7
            distance = math.hypot(dx, dy)
            edge = not all(in_disc(x + i, y + j) for i, j in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            if distance < 1.0:
                colour = (96, 96, 96)  # the centre hole
            elif distance < 2.3:
                colour = (240, 240, 240)  # the clear hub
            elif edge:
                colour = (128, 128, 128)
            else:
                angle = math.degrees(math.atan2(-dy, dx)) % 360.0
                colour = reflection(angle) or (192, 192, 192)
            picture_row.append(colour)
        picture.append(picture_row)
        mask.append(mask_row)
    return picture, mask


def write_bmp(path, rows):
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        pixels += line
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    offset = 14 + len(header)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as out:
        out.write(file_header + header + pixels)


FACE = (180, 200, 255)
BORDER = (90, 100, 127)
LED = (247, 255, 231)
MARKER = (200, 0, 0)


def inside_triangle(px, py, a, b, c):
    def side(p, q, r):
        return (p[0] - r[0]) * (q[1] - r[1]) - (q[0] - r[0]) * (p[1] - r[1])

    d1, d2, d3 = side((px, py), a, b), side((px, py), b, c), side((px, py), c, a)
    negative = d1 < 0 or d2 < 0 or d3 < 0
    positive = d1 > 0 or d2 > 0 or d3 > 0
    return not (negative and positive)


def program_icon(size):
    """A small player: button-coloured face, LED strip with the red marker, play triangle."""
    s = size / 16.0
    image = []
    for y in range(size):
        row = []
        for x in range(size):
            cx, cy = x + 0.5, y + 0.5
            corner = min(x, size - 1 - x) + min(y, size - 1 - y) < round(s)
            if corner:
                row.append(None)
            elif x < s or y < s or x >= size - s or y >= size - s:
                row.append(BORDER)
            elif 2 * s <= cx < size - 2 * s and 2 * s <= cy < 6 * s:
                if 3 * s <= cx < 5 * s and 3 * s <= cy < 5 * s:
                    row.append(MARKER)
                elif 7 * s <= cx < 13 * s and 3.5 * s <= cy < 4.5 * s:
                    row.append(BLACK)
                else:
                    row.append(LED)
            elif inside_triangle(cx, cy, (5 * s, 7.5 * s), (12.5 * s, 11 * s), (5 * s, 14.5 * s)):
                row.append(BLACK)
            else:
                row.append(FACE)
        image.append(row)
    return image


def tray_icon():
    """A round button with the play triangle, readable at 16 x 16."""
    image = []
    for y in range(16):
        row = []
        for x in range(16):
            cx, cy = x + 0.5, y + 0.5
            distance = math.hypot(cx - 8, cy - 8)
            if distance > 7.9:
                row.append(None)
            elif distance > 6.6:
                row.append(BORDER)
            elif inside_triangle(cx, cy, (5.5, 4), (12, 8), (5.5, 12)):
                row.append(BLACK)
            else:
                row.append(FACE)
        image.append(row)
    return image


def ico_image(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(rows):
        for pixel in row:
            colour += bytes((0, 0, 0, 0)) if pixel is None else bytes(
                (pixel[2], pixel[1], pixel[0], 255))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, pixel in enumerate(row):
            if pixel is None:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + colour + mask


def write_ico(path, images):
    blobs = [ico_image(rows) for rows in images]
    out = bytearray(struct.pack("<HHH", 0, 1, len(blobs)))
    offset = 6 + 16 * len(blobs)
    for rows, blob in zip(images, blobs):
        size = len(rows)
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    with open(path, "wb") as f:
        f.write(out)


def main():
    os.makedirs(os.path.join(HERE, "bitmap"), exist_ok=True)
    os.makedirs(os.path.join(HERE, "icon"), exist_ok=True)
    folder, folder_mask = folder_pictures()
    disc, disc_mask = disc_pictures()
    write_bmp(os.path.join(HERE, "bitmap", "130.bmp"), folder)
    write_bmp(os.path.join(HERE, "bitmap", "139.bmp"), folder_mask)
    write_bmp(os.path.join(HERE, "bitmap", "136.bmp"), disc)
    write_bmp(os.path.join(HERE, "bitmap", "137.bmp"), disc_mask)
    write_ico(os.path.join(HERE, "icon", "128.ico"), [program_icon(32), program_icon(16)])
    write_ico(os.path.join(HERE, "icon", "157.ico"), [tray_icon()])


if __name__ == "__main__":
    main()
