#!/usr/bin/env python3
"""Draws the loader's icon (a box with a downward arrow over a teal disc) and writes it as a
32x32 and 16x16 32-bit .ico. Run again to regenerate resources/quovldr.ico."""
import math, struct, sys

def draw(size):
    px = []
    c = (size - 1) / 2.0
    for y in range(size):
        row = []
        for x in range(size):
            u, v = (x - c) / size, (y - c) / size
            r = math.hypot(u, v)
            col = (0, 0, 0, 0)
            if r < 0.48:
                col = (0x1f, 0x7a, 0x8c, 255)           # teal disc
                if r > 0.43:
                    col = (0x14, 0x52, 0x5e, 255)       # darker rim
            # a box (the package) in the lower half
            if -0.26 < u < 0.26 and 0.02 < v < 0.30:
                col = (0xf2, 0xc1, 0x4e, 255)
                if abs(u) < 0.03:
                    col = (0xc9, 0x8f, 0x1e, 255)
            # an arrow coming down into the box
            if abs(u) < 0.06 and -0.36 < v < -0.08:
                col = (0xff, 0xff, 0xff, 255)
            if -0.08 <= v < 0.02 and abs(u) < (0.02 - v) * 1.6:
                col = (0xff, 0xff, 0xff, 255)
            row.append(col)
        px.append(row)
    return px

def bmp_entry(size):
    px = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    data = b''.join(bytes((b, g, r, a)) for row in reversed(px) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b''.join(
        bytes(mask_row) for _ in range(size))  # alpha carries transparency
    return header + data + mask

def main(path):
    sizes = [32, 16]
    images = [bmp_entry(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    out += b''.join(images)
    open(path, 'wb').write(out)

if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'resources/quovldr.ico')
