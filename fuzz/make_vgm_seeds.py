#!/usr/bin/env python3
"""Write the seed files of the fuzz_vgm_info corpus under fuzz/corpus/.

Small VGM files of several versions and shapes, plain and gzip, named without the .vgm/.vgz the
repository ignores: each reaches a
corner of the reader (a loop, a GD3 tag, a data block and DAC writes, a 1.71
header, other chips). Deterministic. Usage: python3 fuzz/make_vgm_seeds.py
"""

import gzip
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "fuzz_vgm_info")


def vgm(commands, version=0x150, header=0x40, loop_at=None, gd3=b"", clocks=None):
    """A VGM file; loop_at is an index into commands (bytes) for the loop point."""
    h = bytearray(header)
    h[0:4] = b"Vgm "
    struct.pack_into("<I", h, 0x08, version)
    struct.pack_into("<I", h, 0x0C, 3579545)
    if version >= 0x110:
        struct.pack_into("<I", h, 0x2C, 7670453)
    if version >= 0x150:
        struct.pack_into("<I", h, 0x34, header - 0x34)
    for off, clock in (clocks or {}).items():
        struct.pack_into("<I", h, off, clock)
    data = bytes(commands)
    waits = sum_waits(data)
    struct.pack_into("<I", h, 0x18, waits)
    if loop_at is not None:
        struct.pack_into("<I", h, 0x1C, header + loop_at - 0x1C)
        struct.pack_into("<I", h, 0x20, waits - sum_waits(data[:loop_at]))
    body = bytes(h) + data
    if gd3:
        struct.pack_into("<I", h, 0x14, len(body) - 0x14)
        body = bytes(h) + data + gd3
    out = bytearray(body)
    struct.pack_into("<I", out, 0x04, len(out) - 4)
    return bytes(out)


def sum_waits(data):
    lengths = {0x50: 2, 0x52: 3, 0x53: 3, 0x61: 3, 0x62: 1, 0x63: 1, 0x66: 1, 0xE0: 5, 0x4F: 2}
    i = total = 0
    while i < len(data):
        c = data[i]
        if c == 0x61:
            total += data[i + 1] | data[i + 2] << 8
        elif c == 0x62:
            total += 735
        elif c == 0x63:
            total += 882
        elif 0x70 <= c <= 0x7F:
            total += (c & 15) + 1
        elif 0x80 <= c <= 0x8F:
            total += c & 15
        if c == 0x66:
            break
        if c == 0x67:
            i += 7 + struct.unpack_from("<I", data, i + 3)[0]
        else:
            i += lengths.get(c, 1)
    return total


def gd3(*texts):
    texts = list(texts) + [""] * (11 - len(texts))
    body = b"".join(t.encode("utf-16-le") + b"\0\0" for t in texts)
    return b"Gd3 " + struct.pack("<II", 0x100, len(body)) + body


FM_NOTE = [0x52, 0xB0, 0x07, 0x52, 0x4C, 0x00, 0x52, 0xA4, 0x22, 0x52, 0xA0, 0x69, 0x52, 0x28, 0xF0]
SQUARE = [0x50, 0x8E, 0x50, 0x0F, 0x50, 0x90]
NOISE = [0x50, 0xE4, 0x50, 0xF0]


def main():
    os.makedirs(OUT, exist_ok=True)
    seeds = {
        "fm_loop": vgm(FM_NOTE + [0x62, 0x62] + [0x52, 0x28, 0x00, 0x61, 0x00, 0x10, 0x66], loop_at=len(FM_NOTE) + 2),
        "psg": vgm(SQUARE + NOISE + [0x63, 0x50, 0x9F, 0x50, 0xFF, 0x7F, 0x66], version=0x101),
        "tagged": vgm(FM_NOTE + [0x62, 0x66], gd3=gd3("Title", "", "Game", "", "Sega Mega Drive / Genesis", "",
                                                         "Author", "", "2024/01/01", "fmroll", "notes\nline 2")),
        "dac": vgm([0x67, 0x66, 0x00, 0x04, 0, 0, 0, 0x80, 0x90, 0xA0, 0xB0, 0x52, 0x2B, 0x80,
                        0xE0, 0, 0, 0, 0, 0x81, 0x82, 0x83, 0x80, 0x66]),
        "v171": vgm(FM_NOTE + [0x62, 0xA0, 0x07, 0x38, 0x66], version=0x171, header=0x100,
                        clocks={0x74: 1789772, 0xE0: 3579545}),
        "v100": vgm(SQUARE + [0x62, 0x66], version=0x100),
    }
    seeds["fm_loop_gzip"] = gzip.compress(seeds["fm_loop"], mtime=0)
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
