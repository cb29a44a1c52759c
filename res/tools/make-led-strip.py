#!/usr/bin/env python3
"""Draws the LED lamp strip, res/led-strip.png: 48 x 128 pixels.

Three 16-pixel columns (on, off, disabled) and eight 16-pixel rows: round red,
green, yellow, blue, then square red, green, yellow, blue. On lamps are the
pure colours, off lamps their half-intensity shades, disabled lamps grey.
Magenta is the transparent key around the lamps. Standard library only.

Usage: make-led-strip.py [output.png]   (default: the strip next to this folder)
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from png import write_png  # noqa: E402

CELL = 16
MAGENTA = (255, 0, 255)
GREY = (128, 128, 128)
COLOURS = [(255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255)]


def lamp_colour(colour, state):
    if state == 0:
        return colour
    if state == 1:
        return tuple(c // 2 for c in colour)
    return GREY


def inside(shape, x, y):
    """Whether pixel (x, y) of a cell belongs to the lamp."""
    if shape == 1:  # square: one-pixel key border all round
        return 1 <= x <= 14 and 1 <= y <= 14
    dx, dy = x - 7.5, y - 7.5
    return dx * dx + dy * dy <= 6.8 * 6.8


def pixels():
    rows = []
    for y in range(8 * CELL):
        shape, colour = divmod(y // CELL, 4)
        row = []
        for x in range(3 * CELL):
            state = x // CELL
            if inside(shape, x % CELL, y % CELL):
                row.append(lamp_colour(COLOURS[colour], state))
            else:
                row.append(MAGENTA)
        rows.append(row)
    return rows


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "led-strip.png")
    rows = pixels()
    write_png(out, 3 * CELL, 8 * CELL, lambda x, y: rows[y][x] + (255,))


if __name__ == "__main__":
    main()
