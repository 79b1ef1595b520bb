#!/usr/bin/env python3
"""Write the small seed files of the fuzz corpora under fuzz/corpus/.

Each seed is a short, valid input that reaches one corner of the program: the
fuzzers mutate them into the malformed files that matter. The output is
deterministic. Usage: python3 fuzz/make_seeds.py (from anywhere).
"""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def track(*events):
    """events: (delta, bytes) pairs; an end-of-track meta event is added."""
    body = b"".join(vlq(d) + bytes(e) for d, e in events) + b"\x00\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(body)) + body


def smf(fmt, division, *tracks):
    return b"MThd" + struct.pack(">IHHH", 6, fmt, len(tracks), division) + b"".join(tracks)


def tempo(us):
    return [0xFF, 0x51, 0x03, us >> 16 & 0xFF, us >> 8 & 0xFF, us & 0xFF]


def bend(ch, value):
    raw = value + 8192
    return [0xE0 | ch, raw & 0x7F, raw >> 7]


SMF_SEEDS = {
    "one_note.mid": smf(0, 48, track((0, [0x90, 60, 100]), (48, [0x80, 60, 0]))),
    # A tempo track and two note tracks, with a tempo change mid-song.
    "format1_tempo.mid": smf(
        1, 96,
        track((0, tempo(500000)), (192, tempo(600000)), (96, tempo(400000))),
        track((0, [0xC0, 1]), (0, [0x90, 64, 90]), (96, [0x80, 64, 0]), (0, [0x90, 67, 80]), (96, [0x90, 67, 0])),
        track((48, [0x91, 48, 127]), (144, [0x81, 48, 64])),
    ),
    # Running status across a text meta event and a sysex, and bends on an FM channel.
    "running_status.mid": smf(
        0, 480,
        track((0, [0x92, 60, 100]), (0, [0xFF, 0x01, 3] + list(b"abc")), (10, [62, 100]),
              (0, [0xF0, 3, 0x7E, 0x09, 0xF7]), (10, [64, 100]),
              (0, bend(2, 4000)), (20, bend(2, -8192)), (20, bend(2, 0)), (240, [0x82, 60, 0])),
    ),
    # Controllers: pitch-bend range through RPN 0, portamento, volume, pan, expression, loop point.
    "controllers.mid": smf(
        0, 48,
        track((0, [0xB0, 101, 0]), (0, [0xB0, 100, 0]), (0, [0xB0, 6, 24]), (0, [0xB0, 5, 8]),
              (0, [0xB0, 7, 100]), (0, [0xB0, 10, 20]), (0, [0xB0, 11, 90]), (0, [0xB0, 56, 0]),
              (0, [0x90, 60, 110]), (24, [0x90, 72, 110]), (0, bend(0, 8191)), (24, [0x80, 72, 0]),
              (0, [0xB3, 10, 127]), (0, [0x93, 50, 40]), (12, [0xA3, 50, 3]), (0, [0xD3, 9]), (12, [0x83, 50, 0])),
    ),
    # The square-wave channels and the noise channel with its programs.
    "dcsg.mid": smf(
        0, 48,
        track((0, [0x96, 45, 100]), (0, [0x97, 110, 60]), (0, [0x98, 20, 1]), (0, bend(6, 3000)),
              (0, [0xC9, 5]), (0, [0x99, 36, 127]), (12, [0xC9, 2]), (0, [0x99, 38, 100]),
              (12, [0x86, 45, 0]), (0, [0x87, 110, 0]), (0, [0x98, 20, 0]), (12, [0x89, 38, 0])),
    ),
    # SMPTE timing (bit 15 set): its low 15 bits are read as ticks per quarter note.
    "smpte_division.mid": smf(0, 0xE728, track((0, [0x90, 60, 100]), (400, [0x80, 60, 0]))),
    # Only meta events: no channel message at all.
    "meta_only.mid": smf(0, 48, track((0, tempo(1)), (5, [0xFF, 0x03, 4] + list(b"name")))),
}

OPM_SEEDS = {
    "one_voice.opm": (
        "@:5 Example bass\n"
        "LFO: 0 0 0 0 0\n"
        "CH: 192 5 4 0 0 120 0\n"
        "M1: 28 5 0 6 1 35 1 2 3 0 0\n"
        "C1: 31 8 2 7 2 0 1 1 0 0 128\n"
    ),
    "comments.opm": (
        "// a bank with comments everywhere\r\n"
        "/* block\n comment */@:/* here too */1//\r\n"
        "LFO: 1 2 3 4 5 // trailing\n"
        "  6\n"
        "CH: 64 1-2 3 4 5 6 7 8\n"
        "C2:\t1 2 3 4 5 6 7 8 9 10 11\n"
        "M2: 1 2 3 4 5 6 7 8 9 10\n"
        "/* unterminated"
    ),
    "clamped_programs.opm": (
        "@:200\nLFO: 0 0 0 0 0\nCH: 0 0 0 0 0 0 0\nM1: 0 0 0 0 0 0 0 0 0 0 0\n"
        "@:-3 low\nLFO: 1\nCH: 1\nC1: 1\n"
        "@:2147483647\nLFO: -2147483648 0 0 0 0\nCH: 0 0 0 0 0 0 0\nC2: 1 1 1 1 1 1 1 1 1 1 1 1 1\n"
    ),
}


def write(directory, name, data):
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), "wb") as f:
        f.write(data)


def main():
    for name, data in SMF_SEEDS.items():
        write(os.path.join(HERE, "corpus", "fuzz_smf"), name, data)
        write(os.path.join(HERE, "corpus", "fuzz_render"), name, data)
    for name, text in OPM_SEEDS.items():
        write(os.path.join(HERE, "corpus", "fuzz_opm"), name, text.encode("ascii"))


if __name__ == "__main__":
    main()
