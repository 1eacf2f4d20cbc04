#!/usr/bin/env python3
"""Draws the loader's icon (a parcel with a downward arrow over a teal disc) and writes it as a
32x32 and a 16x16 image with a 16-colour palette: every byte of the stub counts, and this is
under a sixth of a true-colour icon. Run again to regenerate resources/quovldr.ico."""
import math, struct, sys

PALETTE = [(0, 0, 0), (0x1f, 0x7a, 0x8c), (0x14, 0x52, 0x5e), (0xf2, 0xc1, 0x4e),
           (0xc9, 0x8f, 0x1e), (0xff, 0xff, 0xff)] + [(0, 0, 0)] * 10
CLEAR = None

def colour_at(size, x, y):
    c = (size - 1) / 2.0
    u, v = (x - c) / size, (y - c) / size
    r = math.hypot(u, v)
    col = CLEAR
    if r < 0.48:
        col = 2 if r > 0.43 else 1                 # teal disc with a darker rim
    if -0.26 < u < 0.26 and 0.02 < v < 0.30:       # the parcel
        col = 4 if abs(u) < 0.03 else 3
    if abs(u) < 0.06 and -0.36 < v < -0.08:        # the arrow's shaft
        col = 5
    if -0.08 <= v < 0.02 and abs(u) < (0.02 - v) * 1.6:   # and its head
        col = 5
    return col

def image(size):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(bytes((b, g, r, 0)) for (r, g, b) in PALETTE)
    xor_rows, and_rows = [], []
    for y in reversed(range(size)):                # bottom-up rows
        cols = [colour_at(size, x, y) for x in range(size)]
        nibbles = [0 if c is None else c for c in cols]
        row = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor_rows.append(row + bytes((-len(row)) % 4))
        bits = 0
        mask = bytearray()
        for i, c in enumerate(cols):
            bits = (bits << 1) | (1 if c is None else 0)
            if i % 8 == 7:
                mask.append(bits)
                bits = 0
        and_rows.append(bytes(mask) + bytes((-len(mask)) % 4))
    return header + palette + b''.join(xor_rows) + b''.join(and_rows)

def main(path):
    sizes = [32, 16]
    images = [image(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s, s, 16, 0, 1, 4, len(img), offset)
        offset += len(img)
    open(path, 'wb').write(out + b''.join(images))

if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'resources/quovldr.ico')
