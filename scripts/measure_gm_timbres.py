#!/usr/bin/python3
"""Tunes the brightness of each General MIDI program of the bank against
FluidSynth with FluidR3 GM, and prints the TIMBRE_STEPS table of
scripts/make_gm_bank.py.

    measure_gm_timbres.py FMTOOL [--sf2 FluidR3_GM.sf2] [--programs 0,24,...]

For each program: a one-channel song (velocity 100) plays 17 notes from 36 to
84 in steps of 3, each held 0.55 s. FluidSynth renders it as the sound bench
renders its reference (default reverb and chorus); FMTOOL convert renders it
with a bank written by make_gm_bank.py with trial steps, then Game Music Emu.
A trial's score is the sum of the four figures of bench/sound_compare.py
over the song (no time shift): chroma84 and chroma12, how alike the two
spectra are, folded into semitones over seven octaves and into pitch classes;
and onset and loudness, so that a brighter voice that loses level on its high
notes (partials past the player's band) or blurs its attacks does not win.

The search starts from the bank's steps and goes over the voice's knobs one
at a time, once round (--passes): each modulator's total level (steps of 4,
from -12 to +16: lower is brighter) and the feedback (-2 to +2). A step is
kept only when it raises the score by more than 0.005, so that noise does not
move the bank. The table printed holds what the search found; paste it into
make_gm_bank.py, run that, balance the trims (measure_gm_trims.py),
rebuild, and measure convert's part levels again (measure_gm_levels.py),
since a voice's brightness changes how loud it sounds. To measure afresh,
empty the table first.

Programs that convert plays on the squares (72-87) are left out. Scratch files
go to a temporary directory under /tmp. Run with /usr/bin/python3 (numpy,
scipy).
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bank_search  # noqa: E402
import make_gm_bank  # noqa: E402
import sound_compare  # noqa: E402

NOTES = [(36 + 3 * i, 0.6 * i, 0.55) for i in range(17)]  # key, start s, length s
SONG_S = 0.6 * 17 + 0.5
TL_TRIALS = (-12, -8, -4, 4, 8, 16)
FB_TRIALS = (-2, -1, 1, 2)
PASSES = 1
BETTER_BY = 0.005


def knobs(program):
    """The knobs of a program's voice: its modulators with a level, and the feedback."""
    voice = bank_search.voice(program)
    carriers = make_gm_bank.CARRIERS[voice.alg]
    mods = [label for label, o, c in zip(("M1", "C1", "M2", "C2"), voice.ops, carriers) if not c and o.tl < 127]
    return [(m, TL_TRIALS) for m in mods] + [("FB", FB_TRIALS)]


def search(work, program, fmtool, sf2, passes):
    """The program's timbre steps after the search, with its score before and after."""
    trial = bank_search.Trial(work, program, NOTES, SONG_S, "TIMBRE_STEPS", fmtool, sf2)

    def score(steps):
        figures = sound_compare.compare(trial.ref, trial.ours(steps), SONG_S, 0)
        return sum(figures[f] for f in sound_compare.FIGURES)

    start = dict(make_gm_bank.TIMBRE_STEPS.get(program, {}))
    return bank_search.climb(score, start, knobs(program), passes, BETTER_BY)


if __name__ == "__main__":
    bank_search.main(__doc__, "TIMBRE_STEPS", search, PASSES)
