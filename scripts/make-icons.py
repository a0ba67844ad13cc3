#!/usr/bin/env python3
"""Draws the program's seven 16 x 16 icons and writes them as .ico files into resources/.

Each file holds the picture twice: 32 bits per pixel with alpha, and 24 bits per pixel with a
transparency mask for older displays. Run it again after changing a drawing.
"""
import math
import os
import struct
import sys

SIZE = 16


class Canvas:
    def __init__(self):
        self.px = [[(0, 0, 0, 0)] * SIZE for _ in range(SIZE)]

    def set(self, x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.px[y][x] = c if len(c) == 4 else (*c, 255)

    def fill(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.set(x, y0, c)
            self.set(x, y1, c)
        for y in range(y0, y1 + 1):
            self.set(x0, y, c)
            self.set(x1, y, c)

    def line(self, x0, y0, x1, y1, c):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            self.set(round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps), c)


INK = (40, 40, 48)
PAPER = (250, 250, 246)
BLUE = (40, 90, 180)
GREEN = (30, 150, 60)
RED = (200, 40, 30)
YELLOW = (240, 190, 60)
DARK_YELLOW = (170, 120, 20)
GREY = (120, 124, 130)
LIGHT = (200, 204, 210)


def page(c, x0, y0, x1, y1):
    c.fill(x0, y0, x1, y1, PAPER)
    c.frame(x0, y0, x1, y1, INK)
    for y in range(y0 + 3, y1 - 1, 2):
        c.line(x0 + 2, y, x1 - 2, y, LIGHT)


def insert_import():  # a page and an arrow going into it
    c = Canvas()
    page(c, 5, 1, 14, 14)
    c.fill(0, 7, 5, 8, GREEN)
    for i in range(4):
        c.line(6 + i, 4 + i, 6 + i, 11 - i, GREEN)
    return c


def quit_icon():  # a red disc with a white cross
    c = Canvas()
    for y in range(SIZE):
        for x in range(SIZE):
            if math.hypot(x - 7.5, y - 7.5) <= 7.2:
                c.set(x, y, RED)
    for i in range(5, 11):
        c.set(i, i, (255, 255, 255))
        c.set(i + 1, i, (255, 255, 255))
        c.set(15 - i, i, (255, 255, 255))
        c.set(14 - i, i, (255, 255, 255))
    return c


def save_import():  # a diskette
    c = Canvas()
    c.fill(1, 1, 14, 14, BLUE)
    c.frame(1, 1, 14, 14, INK)
    c.fill(4, 2, 11, 6, PAPER)
    c.fill(9, 3, 10, 5, BLUE)
    c.fill(3, 9, 12, 14, LIGHT)
    c.line(4, 11, 11, 11, GREY)
    return c


def folder(c, y_shift=0):
    c.fill(1, 3 + y_shift, 6, 4 + y_shift, DARK_YELLOW)
    c.fill(1, 5 + y_shift, 14, 13, YELLOW)
    c.frame(1, 5 + y_shift, 14, 13, DARK_YELLOW)


def open_library():  # a folder with a book
    c = Canvas()
    folder(c)
    c.fill(5, 1, 10, 9, BLUE)
    c.frame(5, 1, 10, 9, INK)
    c.line(6, 3, 9, 3, PAPER)
    c.fill(1, 8, 14, 13, YELLOW)
    c.frame(1, 8, 14, 13, DARK_YELLOW)
    return c


def copy_import():  # two pages
    c = Canvas()
    page(c, 1, 1, 9, 11)
    page(c, 6, 4, 14, 14)
    return c


def open_dll():  # a cog wheel
    c = Canvas()
    for y in range(SIZE):
        for x in range(SIZE):
            dx, dy = x - 7.5, y - 7.5
            r = math.hypot(dx, dy)
            a = math.atan2(dy, dx)
            tooth = math.cos(8 * a) > 0.2
            if r <= 5.2 or (tooth and r <= 7.4):
                c.set(x, y, GREY)
            if 1.6 < r <= 2.8:
                c.set(x, y, (0, 0, 0, 0))
            if r <= 1.6:
                c.set(x, y, LIGHT)
    return c


def project():  # a table sheet on a folder
    c = Canvas()
    folder(c)
    c.fill(4, 6, 15, 15, PAPER)
    c.frame(4, 6, 15, 15, INK)
    c.fill(5, 7, 14, 8, GREEN)
    for y in (10, 12):
        c.line(5, y, 14, y, LIGHT)
    c.line(8, 9, 8, 14, LIGHT)
    return c


ICONS = [
    ("insert_import.ico", insert_import),  # image 0
    ("quit.ico", quit_icon),  # image 1
    ("save_import.ico", save_import),  # image 2
    ("open_library.ico", open_library),  # image 3
    ("copy_import.ico", copy_import),  # image 4
    ("open_dll.ico", open_dll),  # image 5
    ("project.ico", project),  # image 6
]


def and_mask(c):
    rows = b""
    for y in reversed(range(SIZE)):
        bits = 0
        for x in range(SIZE):
            if c.px[y][x][3] < 128:
                bits |= 1 << (15 - x)
        rows += struct.pack(">H", bits) + b"\0\0"  # rows padded to 32 bits
    return rows


def dib(c, bpp):
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, bpp, 0, 0, 0, 0, 0, 0)
    pixels = b""
    for y in reversed(range(SIZE)):
        for x in range(SIZE):
            r, g, b, a = c.px[y][x]
            if bpp == 32:
                pixels += bytes((b, g, r, a))
            else:
                pixels += bytes((b, g, r) if a >= 128 else (0, 0, 0))
        # 24-bit rows of 48 bytes are already a multiple of 4
    return header + pixels + and_mask(c)


def ico(c):
    images = [(32, dib(c, 32)), (24, dib(c, 24))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for bpp, data in images:
        out += struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, bpp, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return out


def main():
    folder_out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "resources")
    for name, draw in ICONS:
        with open(os.path.join(folder_out, name), "wb") as f:
            f.write(ico(draw()))


if __name__ == "__main__":
    main()
