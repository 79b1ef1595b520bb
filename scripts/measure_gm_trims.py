#!/usr/bin/python3
"""Balances the loudness of the General MIDI bank's programs against one
another as fmroll plays them, and prints the TRIMS table of
scripts/make_gm_bank.py.

    measure_gm_trims.py FMROLL [--rounds 3]

For each program: notes 48, 60 and 72 at velocity 100, each alone, rendered
by FMROLL with a bank written by make_gm_bank.py and played by Game Music Emu.
A program's level is the mean over its notes of the RMS (dB) of each note's
loudest 0.2 s within its first second (held 1 s), as
tests/player/gm_bank_test.cpp reads it: so a swell counts at its full level. Each
round moves every program's trim by the total-level steps (0.75 dB each) that
bring its level to the median of all programs; a few rounds settle what the
chip's limits and rounding leave. Last, a program whose six-voice chord at
velocity 127 (notes 48 55 60 64 67 72 on six channels, as the player test
plays it) would clip is made a step softer until it does not: a fast-decaying
sound balanced by its loudest 0.2 s starts louder than that. Run it after changing the envelopes or the
brightness of voices, paste the table into make_gm_bank.py, run that, and
measure convert's part levels again (measure_gm_levels.py). Scratch files go
to a temporary directory under /tmp. Run with /usr/bin/python3 (numpy, scipy).
"""

import argparse
import os
import subprocess
import sys
import tempfile

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bank_search  # noqa: E402
import make_gm_bank  # noqa: E402
import measure_gm_levels as levels  # noqa: E402
import smf_file  # noqa: E402
import sound_render  # noqa: E402

RATE = bank_search.RATE
NOTES = [(48, 0.0, 1.0), (60, 2.0, 1.0), (72, 4.0, 1.0)]  # key, start s, length s
WINDOW_S, WITHIN_S, WINDOW_STEP_S = 0.2, 1.0, 0.05
STEP_DB = 0.75
CHORD = (48, 55, 60, 64, 67, 72)
CHORD_S = 0.3
CLIP = 0.97  # of full scale: the chord's peak stays under it


def play(work, song, seconds, fmroll):
    """`song` (MIDI bytes) as fmroll plays it with the bank as
    make_gm_bank.TRIMS now sets it, mono."""
    with open(os.path.join(work, "bank.opm"), "w") as f:
        f.write(make_gm_bank.render())
    with open(os.path.join(work, "song.mid"), "wb") as f:
        f.write(song)
    subprocess.run([fmroll, "bank.opm", "song.mid"], cwd=work, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wav = os.path.join(work, "song.wav")
    sound_render.render_vgm(os.path.join(work, "test.vgm"), wav, seconds)
    return levels.read_mono(wav)


def chord_song(program):
    body = bytearray()
    for ch in range(len(CHORD)):
        body += smf_file.vlq(0) + bytes([0xC0 | ch, program])
    for ch, key in enumerate(CHORD):
        body += smf_file.vlq(0) + bytes([0x90 | ch, key, 127])
    body += smf_file.vlq(levels.TICKS_PER_S) + bytes([0xFF, 0x2F, 0])
    return smf_file.header_chunk(1, levels.DIVISION, file_format=0) + smf_file.track_chunk(body)


def level_db(work, program, fmroll):
    """The program's mean level over NOTES."""
    audio = play(work, levels.song_bytes(0, program, NOTES), NOTES[-1][1] + WITHIN_S, fmroll)
    offsets = np.arange(0, WITHIN_S - WINDOW_S + 1e-9, WINDOW_STEP_S)
    return float(np.mean([max(levels.level_db(audio, [start + t], WINDOW_S) for t in offsets)
                          for _, start, _ in NOTES]))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("fmroll")
    ap.add_argument("--rounds", type=int, default=3)
    args = ap.parse_args()
    fmroll = os.path.abspath(args.fmroll)
    with tempfile.TemporaryDirectory(prefix="gm-trims-", dir="/tmp") as work:
        for r in range(args.rounds):
            found = {p: level_db(work, p, fmroll) for p in range(128)}
            median = float(np.median(list(found.values())))
            moved = 0
            for p, db in found.items():
                steps = int(round((db - median) / STEP_DB))
                if steps:
                    make_gm_bank.TRIMS[p] = make_gm_bank.TRIMS.get(p, 0) + steps
                    moved += 1
            spread = max(found.values()) - min(found.values())
            print(f"round {r + 1}: median {median:.1f} dB, spread {spread:.1f} dB, {moved} programs moved", flush=True)
        for p in range(128):
            while make_gm_bank.TRIMS.get(p, 0) < 127 and \
                    np.abs(play(work, chord_song(p), CHORD_S, fmroll)).max() >= CLIP:
                make_gm_bank.TRIMS[p] = make_gm_bank.TRIMS.get(p, 0) + 1
                print(f"program {p}: a step softer, {make_gm_bank.TRIMS[p]}, so that its chord does not clip")
    trims = {p: t for p, t in sorted(make_gm_bank.TRIMS.items()) if t}
    print(bank_search.format_table("TRIMS", trims, str))


if __name__ == "__main__":
    main()
