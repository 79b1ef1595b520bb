#!/usr/bin/env python3
"""Write a full 128-voice FM bank in the OPM text format, for benchmarking fmroll.

Programs 0-127 are filled in sixteen families of eight, loosely following the
General MIDI groups (pianos, chromatic percussion, organs, ... effects), so that
the benchmark song's program changes reach voices of every kind.  The voices are
random within per-family limits but deterministic (a fixed seed), and every
value lies in the range of its chip register:

  @:N name
  LFO: LFRQ AMD PMD WF NFRQ                      (all 0 here)
  CH: PAN FL CON AMS PMS SLOT NE                 (pan 192 = both speakers, slots 120 = all four)
  M1: / C1: / M2: / C2:  AR D1R D2R RR D1L TL KS MUL DT1 DT2 AMS-EN

Usage: python3 bench/make_bench_bank.py OUT.opm [--seed N]
"""

import argparse
import random
import sys

# Operator lines in the order they are written, and the algorithms (CON) in
# which each of them is a carrier, i.e. heard directly rather than modulating.
OPERATORS = ["M1", "C1", "M2", "C2"]
CARRIERS = {
    0: {"C2"}, 1: {"C2"}, 2: {"C2"}, 3: {"C2"},
    4: {"C1", "C2"},
    5: {"C1", "M2", "C2"}, 6: {"C1", "M2", "C2"},
    7: {"M1", "C1", "M2", "C2"},
}

# name, algorithms to pick from, percussive envelope, modulator multiples, modulator TL range
FAMILIES = [
    ("Piano", [0, 2, 3, 4], True, [1, 2, 3, 4], (24, 44)),
    ("Chromatic", [4, 5, 7], True, [3, 5, 7, 9, 11, 14], (20, 40)),
    ("Organ", [5, 6, 7], False, [1, 2, 3, 4, 6, 8], (10, 30)),
    ("Guitar", [0, 1, 2, 3], True, [1, 2, 3, 5], (22, 40)),
    ("Bass", [0, 1, 2, 3, 4], True, [0, 1, 2], (18, 36)),
    ("Strings", [2, 3, 4, 5], False, [1, 2, 3], (28, 46)),
    ("Ensemble", [4, 5, 6], False, [1, 2, 4], (26, 44)),
    ("Brass", [2, 3, 4], False, [1, 2], (20, 36)),
    ("Reed", [0, 2, 3, 4], False, [1, 2, 3, 4], (24, 42)),
    ("Pipe", [4, 5, 6, 7], False, [1, 2, 4], (30, 50)),
    ("Synth lead", [0, 1, 2, 3, 4], False, [1, 2, 3, 4, 5], (16, 34)),
    ("Synth pad", [4, 5, 6], False, [1, 2, 3, 4], (28, 48)),
    ("Synth FX", [0, 1, 4, 5, 6, 7], False, [1, 3, 5, 7, 9, 13], (18, 40)),
    ("Ethnic", [0, 2, 3, 4, 5], True, [1, 2, 3, 5, 7], (22, 40)),
    ("Percussive", [0, 4, 5, 7], True, [1, 3, 5, 9, 15], (16, 36)),
    ("Sound effect", [0, 1, 2, 3, 4, 5, 6, 7], False, [0, 1, 5, 10, 15], (10, 40)),
]
assert len(FAMILIES) * 8 == 128


def operator_values(rng, is_carrier, percussive, multiples, modulator_tl):
    """The eleven values of one operator line."""
    if percussive:
        ar = rng.randint(28, 31)
        d1r = rng.randint(6, 16)
        d2r = rng.randint(2, 8)
        rr = rng.randint(5, 10)
        d1l = rng.randint(2, 9)
    else:
        ar = rng.randint(16, 31)
        d1r = rng.randint(0, 6)
        d2r = rng.randint(0, 2)
        rr = rng.randint(4, 9)
        d1l = rng.randint(0, 3)
    if is_carrier:
        tl = rng.randint(0, 10)
        mul = rng.choice([1, 1, 1, 2])
    else:
        tl = rng.randint(*modulator_tl)
        mul = rng.choice(multiples)
    ks = rng.randint(0, 3 if percussive else 1)
    dt1 = rng.choice([0, 0, 1, 2, 3, 5, 6, 7])
    dt2 = 0
    ams_en = 128 if rng.random() < 0.1 else 0
    return [ar, d1r, d2r, rr, d1l, tl, ks, mul, dt1, dt2, ams_en]


def voice_text(rng, program):
    family, algorithms, percussive, multiples, modulator_tl = FAMILIES[program // 8]
    con = rng.choice(algorithms)
    fl = rng.randint(0, 7)
    lines = [
        f"@:{program} {family} {program % 8 + 1}",
        "LFO: 0 0 0 0 0",
        f"CH: 192 {fl} {con} 0 0 120 0",
    ]
    for op in OPERATORS:
        values = operator_values(rng, op in CARRIERS[con], percussive, multiples, modulator_tl)
        lines.append(f"{op}: " + " ".join(f"{v:3d}" for v in values))
    return "\n".join(lines) + "\n"


def bank_text(seed):
    rng = random.Random(seed)
    parts = [f"// fmroll benchmark bank: 128 generated voices (seed {seed})\n"
             "//       AR D1R D2R  RR D1L  TL  KS MUL DT1 DT2 AMS-EN\n"]
    for program in range(128):
        if program % 8 == 0:
            parts.append(f"\n// {FAMILIES[program // 8][0]}\n")
        parts.append("\n" + voice_text(rng, program))
    return "".join(parts)


def main(argv):
    parser = argparse.ArgumentParser(description="Write a 128-voice OPM bank for benchmarks.")
    parser.add_argument("out", help="path of the .opm file to write")
    parser.add_argument("--seed", type=int, default=2151, help="random seed (default 2151)")
    args = parser.parse_args(argv[1:])
    text = bank_text(args.seed)
    with open(args.out, "w", newline="\n") as f:
        f.write(text)
    print(f"wrote {args.out}: 128 voices, {len(text)} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
