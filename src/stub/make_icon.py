#!/usr/bin/env python3
"""Writes the stub's icon "MainIcon": a package box with a down arrow, drawn
in 16x16 and 32x32 pixels with an alpha channel (32-bit DIB images in an .ico
container). Generated at build time so that the repository holds no binary."""
import struct
import sys


def pixel(x, y, n):
    """Colour (b, g, r, a) of the pixel at x, y (top-left origin) in an n x n image."""
    s = n / 32.0
    margin = int(3 * s)
    if x < margin or y < margin or x >= n - margin or y >= n - margin:
        return (0, 0, 0, 0)
    edge = x == margin or y == margin or x == n - margin - 1 or y == n - margin - 1
    if edge:
        return (0x60, 0x30, 0x10, 0xFF)
    cx = n / 2.0 - 0.5
    shaft = abs(x - cx) <= 2.5 * s and int(8 * s) <= y <= int(17 * s)
    head_top, head_bottom = int(16 * s), int(24 * s)
    head = head_top <= y <= head_bottom and abs(x - cx) <= (head_bottom - y) + 0.5
    if shaft or head:
        return (0xFF, 0xFF, 0xFF, 0xFF)
    shade = 0xD0 - int(0x50 * y / n)
    return (shade, 0x80, 0x20, 0xFF)


def image(n):
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in range(n - 1, -1, -1):  # bottom-up
        rows.append(b"".join(bytes(pixel(x, y, n)) for x in range(n)))
    mask_row = ((n + 31) // 32) * 4
    mask = b"\0" * (mask_row * n)  # transparency comes from the alpha channel
    return header + b"".join(rows) + mask


def main():
    sizes = (16, 32)
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
