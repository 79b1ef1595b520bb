#!/usr/bin/python3
"""Measures how fast each General MIDI program dies away after its key is let
go, in FluidSynth with FluidR3 GM and in fmtool convert, and prints the
RELEASE_STEPS table of scripts/make_gm_bank.py.

    measure_gm_releases.py FMTOOL [--sf2 FluidR3_GM.sf2]

For each program 0-127: notes 48, 60 and 72, each alone in a song (velocity
100), held 1 s. A note's release is the time from its end until its level
(RMS over 10 ms) falls 20 dB under its level over the last 50 ms it was held.
FluidSynth plays dry (no reverb, no chorus), so that the instrument's own
release is measured. The step of a program is

    round(log2(our median release / FluidR3's median release))

clamped to -3..+3: each step of a carrier's release rate makes its release
about twice as fast. Programs that convert plays on the squares (72-87,
whose release the renderer shapes) keep their release, and so do those whose
sound has died away before the key is let go in either player (a release
under 30 ms). Measure with an fmtool built
with the bank as it is: the steps printed are to be added to the table's.
Run with /usr/bin/python3 (numpy, scipy).
"""

import argparse
import os
import subprocess
import sys
import tempfile

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "bench"))
import measure_gm_levels as levels  # noqa: E402
import sound_render  # noqa: E402

RATE = levels.RATE
NOTES = (48, 60, 72)
HELD_S = 1.0
SQUARE_PROGRAMS = range(72, 88)
SHORTEST_MS = 30.0
MAX_STEPS = 3


def release_ms(audio):
    """Milliseconds from the key's release at HELD_S until the level falls
    20 dB under the level of the last 50 ms held; the whole tail when it
    never does."""
    n = RATE // 100
    level = np.sqrt(np.convolve(audio ** 2, np.ones(n) / n, "same"))
    end = int(HELD_S * RATE)
    held = level[end - RATE // 20: end].mean()
    below = np.nonzero(level[end:] < 0.1 * held)[0]
    return (below[0] if len(below) else len(level) - end) * 1000.0 / RATE


def measure(work, program, fmtool, sf2):
    """FluidR3's and our median release of `program` over NOTES."""
    ref, ours = [], []
    for key in NOTES:
        mid = os.path.join(work, "p.mid")
        with open(mid, "wb") as f:
            f.write(levels.song_bytes(0, program, [(key, 0.0, HELD_S)]))
        fluid = os.path.join(work, "fluid.wav")
        subprocess.run(["fluidsynth", "-ni", "-q", "-R", "0", "-C", "0", "-g", "0.2", "-O", "float",
                        "-r", str(RATE), "-F", fluid, sf2, mid],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        vgz = os.path.join(work, "p.vgz")
        subprocess.run([fmtool, "convert", mid, "-o", vgz], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wav = os.path.join(work, "ours.wav")
        sound_render.render_vgm(vgz, wav, HELD_S + 1.5)
        ref.append(release_ms(levels.read_mono(fluid)[: int((HELD_S + 1.5) * RATE)]))
        ours.append(release_ms(levels.read_mono(wav)))
    return float(np.median(ref)), float(np.median(ours))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("fmtool")
    ap.add_argument("--sf2", default="/usr/share/sounds/sf2/FluidR3_GM.sf2")
    args = ap.parse_args()
    fmtool = os.path.abspath(args.fmtool)
    steps = {}
    print("program  FluidR3 ms  ours ms  step")
    with tempfile.TemporaryDirectory(prefix="gm-releases-", dir="/tmp") as work:
        for p in range(128):
            ref, ours = measure(work, p, fmtool, args.sf2)
            step = 0
            if p not in SQUARE_PROGRAMS and min(ref, ours) >= SHORTEST_MS:
                step = int(np.clip(round(np.log2(ours / ref)), -MAX_STEPS, MAX_STEPS))
            if step:
                steps[p] = step
            print(f"{p:7d}  {ref:10.0f}  {ours:7.0f}  {step:+4d}")
    print("RELEASE_STEPS = {" + ", ".join(f"{p}: {s}" for p, s in steps.items()) + "}")


if __name__ == "__main__":
    main()
