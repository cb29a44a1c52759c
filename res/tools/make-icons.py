#!/usr/bin/env python3
"""Draws the program icon (128) and the tray icon (133) at the usual sizes.

A rounded square with a sine trace and a lamp: blue for the program, green
for the tray. Run from anywhere: writes into res/icons/.
"""
import math
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from png import write_png  # noqa: E402

OUT = os.path.join(os.path.dirname(__file__), "..", "icons")
SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
SUPER = 4  # supersampling per axis for smooth edges


def inside(u, v, back):
    """Colour of the point (u, v) in 0..1 unit coordinates, or None."""
    r = 0.18  # corner radius
    cu = min(max(u, r), 1 - r)
    cv = min(max(v, r), 1 - r)
    if (u - cu) ** 2 + (v - cv) ** 2 > r * r or not (0 <= u <= 1 and 0 <= v <= 1):
        return None
    # The lamp in the top-right corner.
    if (u - 0.76) ** 2 + (v - 0.24) ** 2 < 0.11 ** 2:
        return (255, 210, 40, 255)
    # The sine trace across the middle.
    y = 0.58 - 0.22 * math.sin((u - 0.1) / 0.8 * 2 * math.pi)
    if 0.1 <= u <= 0.9 and abs(v - y) < 0.055:
        return (255, 255, 255, 255)
    # A faint base line.
    if 0.1 <= u <= 0.9 and abs(v - 0.58) < 0.012:
        return (255, 255, 255, 120)
    return back


def draw(path, size, back):
    def pixel(x, y):
        acc = [0, 0, 0, 0]
        for sy in range(SUPER):
            for sx in range(SUPER):
                u = (x + (sx + 0.5) / SUPER) / size
                v = (y + (sy + 0.5) / SUPER) / size
                c = inside(u, v, back)
                if c is None:
                    continue
                a = c[3]
                for i in range(3):
                    acc[i] += c[i] * a
                acc[3] += a
        n = SUPER * SUPER
        if acc[3] == 0:
            return (0, 0, 0, 0)
        return (acc[0] // acc[3], acc[1] // acc[3], acc[2] // acc[3], acc[3] // n)

    write_png(path, size, size, pixel)


def main():
    os.makedirs(OUT, exist_ok=True)
    for size in SIZES:
        draw(os.path.join(OUT, f"vantor-{size}.png"), size, (30, 90, 170, 255))
        draw(os.path.join(OUT, f"vantor-tray-{size}.png"), size, (20, 130, 80, 255))


if __name__ == "__main__":
    main()
