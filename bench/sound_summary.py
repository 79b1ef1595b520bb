#!/usr/bin/python3
"""Means and worst songs of a sound-comparison run (bench/sound_bench.sh).

    sound_summary.py BEFORE.csv [AFTER.csv] [--min-sound 5] [--worst 10]
                     [--markdown]

Prints the songs skipped and why, the mean of each figure for the yardstick
(TimGM6mb against FluidR3) and for the conversion (fmtool convert against
FluidR3) of each run given, over the songs measured in every run, and the
WORST songs of the last run per figure. With --markdown, tables instead,
with one row per song.
"""

import argparse
import csv
import sys

FIGURES = ["chroma12", "chroma84", "onset", "loudness"]


def load(path, min_sound):
    """{song: row} of the measured songs, and {song: reason} of the others."""
    measured, skipped = {}, {}
    with open(path, newline="") as f:
        for row in csv.DictReader(f):
            if row["status"] != "ok":
                skipped[row["song"]] = row["status"]
            elif float(row["ref_sound_s"]) < min_sound:
                skipped[row["song"]] = f"skipped: {row['ref_sound_s']} s of sound in the reference"
            else:
                measured[row["song"]] = row
    return measured, skipped


def mean(values):
    return sum(values) / len(values) if values else float("nan")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("runs", nargs="+", help="sound.csv of one run, or of a run before and one after")
    parser.add_argument("--min-sound", type=float, default=5.0)
    parser.add_argument("--worst", type=int, default=10)
    parser.add_argument("--markdown", action="store_true")
    args = parser.parse_args()
    try:
        runs = [load(path, args.min_sound) for path in args.runs]
    except (OSError, KeyError, ValueError) as e:
        sys.exit(f"sound_summary: {e}")
    songs = sorted(set.intersection(*(set(m) for m, _ in runs)))
    skipped = {}
    for _, s in runs:
        skipped.update(s)
    names = ["convert"] if len(runs) == 1 else ["before", "after"] + [f"run {i}" for i in range(3, len(runs) + 1)]
    columns = [("yardstick", runs[0][0], "y_")] + [(n, m, "c_") for n, (m, _) in zip(names, runs)]

    def fig(row, prefix, figure):
        return float(row[prefix + figure])

    print(f"{len(songs)} songs measured, {len(skipped)} skipped")
    for song, why in sorted(skipped.items()):
        print(f"  {song}: {why}")
    if args.markdown:
        print("\n| | " + " | ".join(FIGURES) + " |\n|---|" + "---|" * len(FIGURES))
    else:
        print("means" + "".join(f"{f:>10}" for f in FIGURES))
    for label, rows, prefix in columns:
        values = [mean([fig(rows[s], prefix, f) for s in songs]) for f in FIGURES]
        if args.markdown:
            print(f"| {label} | " + " | ".join(f"{v:.3f}" for v in values) + " |")
        else:
            print(f"  {label:<10}" + "".join(f"{v:>10.3f}" for v in values))

    last, prefix = columns[-1][1], "c_"
    for f in FIGURES:
        worst = sorted(songs, key=lambda s: fig(last[s], prefix, f))[: args.worst]
        print(f"\nworst {len(worst)} for {f} ({columns[-1][0]} against the reference):")
        for s in worst:
            print(f"  {fig(last[s], prefix, f):.3f}  {s}  (yardstick {fig(runs[0][0][s], 'y_', f):.3f})")

    if args.markdown:
        head = [f"{label} {f}" for label, _, _ in columns for f in FIGURES]
        print("\n| song | " + " | ".join(head) + " | shift ms |\n|---|" + "---|" * (len(head) + 1))
        for s in songs:
            cells = [f"{fig(rows[s], p, f):.3f}" for _, rows, p in columns for f in FIGURES]
            print(f"| {s} | " + " | ".join(cells) + f" | {last[s]['c_shift_ms']} |")


if __name__ == "__main__":
    main()
