#!/usr/bin/env python3
"""Draws the launcher's icon (a blue rounded tile with a white play arrow) at 16 and 32 pixels
and writes it as launcher/resources/launcher.ico. Run it again only to change the drawing."""
import struct
import sys


def pixel(x, y, size):
    """BGRA of one pixel, sampled 4x4 for smooth edges."""
    cover_tile = cover_arrow = 0
    radius = size * 0.22
    for sy in range(4):
        for sx in range(4):
            px = x + (sx + 0.5) / 4
            py = y + (sy + 0.5) / 4
            # Rounded tile: distance from the inner rectangle.
            dx = max(radius - px, 0, px - (size - radius))
            dy = max(radius - py, 0, py - (size - radius))
            if dx * dx + dy * dy <= radius * radius:
                cover_tile += 1
                # Arrow: triangle pointing right, centred.
                u = px / size
                v = py / size
                if 0.36 <= u <= 0.72 and abs(v - 0.5) <= (0.72 - u) * 0.62:
                    cover_arrow += 1
    a = cover_tile / 16
    w = cover_arrow / 16
    blue = (0xC8, 0x6A, 0x1E)  # B, G, R
    b, g, r = (round(c * (1 - w) + 255 * w) for c in blue)
    return bytes((b, g, r, round(255 * a)))


def image(size):
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        rows.append(b"".join(pixel(x, y, size) for x in range(size)))
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = bytes(mask_row * size)  # alpha decides; mask all opaque
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def main(path):
    sizes = (16, 32)
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "launcher/resources/launcher.ico")
