#!/usr/bin/python3
"""Fits the envelope of each General MIDI program of the bank to FluidSynth
with FluidR3 GM, and prints the ENVELOPE_STEPS table of
scripts/make_gm_bank.py.

    measure_gm_envelopes.py FMTOOL [--sf2 FluidR3_GM.sf2] [--programs 0,24,...]

For each program: a one-channel song (velocity 100) plays notes 48, 60 and 72,
each held 1.5 s and followed by 1 s of rest. FluidSynth renders it dry (no
reverb, no chorus), so that the instrument's own envelope is measured; FMTOOL
convert renders it with a bank written by make_gm_bank.py with trial steps,
then Game Music Emu. A note's envelope is its level (RMS over 10 ms, every
10 ms) in dB under its loudest, floored at 40 dB under; a trial's score is
minus the mean distance in dB between the two renderings' envelopes over the
three notes: how alike the attacks, the decays while held and the releases
are, whatever the levels (measure_gm_levels.py balances those).

The search starts from the bank's steps and goes over the knobs one at a
time, once round (--passes): the attack rate of every operator, the
carriers' first and second decay rates and first decay level (-4 to +4
steps), and their release rate (-2 to +2). A step is kept only when it brings
the envelopes closer by more than 0.25 dB. The table printed holds what the
search found; paste it into make_gm_bank.py, run that, balance the trims
(measure_gm_trims.py), rebuild, and measure convert's part levels again.

Programs that convert plays on the squares (72-87, whose envelopes the
renderer shapes) are left out. Scratch files go to a temporary directory under
/tmp. Run with /usr/bin/python3 (numpy, scipy).
"""

import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bank_search  # noqa: E402
import make_gm_bank  # noqa: E402

RATE = bank_search.RATE
NOTE_S, REST_S = 1.5, 1.0
NOTES = [(key, i * (NOTE_S + REST_S), NOTE_S) for i, key in enumerate((48, 60, 72))]
SONG_S = len(NOTES) * (NOTE_S + REST_S)
STEP = RATE // 100
FLOOR_DB = 40.0
RATE_TRIALS = (-4, -2, 2, 4)
KNOBS = [("AR", RATE_TRIALS), ("D1R", RATE_TRIALS), ("D1L", RATE_TRIALS), ("D2R", RATE_TRIALS),
         ("RR", (-2, -1, 1, 2))]
PASSES = 1
BETTER_BY = 0.25


def envelopes(audio):
    """Each note's level every 10 ms, in dB under its loudest, floored."""
    frames = len(audio) // STEP
    db = 10 * np.log10((audio[: frames * STEP] ** 2).reshape(frames, STEP).mean(axis=1) + 1e-20)
    per_note = int((NOTE_S + REST_S) * RATE) // STEP
    out = []
    for _, start, _ in NOTES:
        note = db[int(start * RATE) // STEP:][:per_note]
        out.append(np.maximum(note - note.max(), -FLOOR_DB))
    return np.concatenate(out)


def search(work, program, fmtool, sf2, passes):
    """The program's envelope steps after the search, with its score before and after."""
    trial = bank_search.Trial(work, program, NOTES, SONG_S, "ENVELOPE_STEPS", fmtool, sf2, bank_search.DRY)
    ref = envelopes(trial.ref)

    def score(steps):
        return -float(np.abs(envelopes(trial.ours(steps)) - ref).mean())

    start = dict(make_gm_bank.ENVELOPE_STEPS.get(program, {}))
    return bank_search.climb(score, start, KNOBS, passes, BETTER_BY)


if __name__ == "__main__":
    bank_search.main(__doc__, "ENVELOPE_STEPS", search, PASSES)
