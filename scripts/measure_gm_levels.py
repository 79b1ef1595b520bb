#!/usr/bin/python3
"""Measures how loud FluidSynth with FluidR3 GM plays each General MIDI program
and drum key against how loud fmtool convert plays them, and prints the trims
(dB) that fmtool/render/part_levels.cpp holds.

    measure_gm_levels.py FMTOOL [--sf2 FluidR3_GM.sf2] [--write-cpp part_levels.cpp]
    measure_gm_levels.py --zero-cpp part_levels.cpp

For each program 0-127: a one-channel song (velocity 100, CC7 100, CC11 127)
plays notes 48, 60 and 72, each held 1.5 s with 0.5 s of rest. For each drum
key 35-81: three hits on channel 10, 0.5 s each with 0.5 s of rest. Each song is
rendered by FluidSynth (no reverb, no chorus) and by FMTOOL convert then Game
Music Emu (bench/sound_render.py). A part's level is the power mean over its
notes of the RMS (dB) of each note's first second (of each hit's first 0.5 s):
long enough for a pad or a bowed string to have swelled in, short enough that a
decaying sound counts as heard. The trim of a program or key is

    (FluidR3 level - median FluidR3 program level)
        - (our level - median of our program levels)

so drums are measured against the melodic medians too, which also sets the
kit's balance against the melodic parts. Trims are clamped to -18..+12 dB.

FMTOOL must play without trims: each test song's loudest note is at the
chips' full level, so a raised part would be clipped and measured wrong. To
measure again, zero the tables (--zero-cpp), build fmtool, measure with it and
--write-cpp, build again. Scratch files go to a temporary directory under /tmp.
Run with /usr/bin/python3 (numpy, scipy).
"""

import argparse
import datetime
import os
import subprocess
import sys
import tempfile
import warnings

import numpy as np
import scipy.io.wavfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "bench"))
import smf_file  # noqa: E402
import sound_render  # noqa: E402

RATE = 44100
DIVISION = 480  # ticks per quarter note; at 120 bpm, 960 ticks a second
TICKS_PER_S = 960
PROGRAMS = range(128)
DRUM_KEYS = range(35, 82)
MELODIC_NOTES = [(48, 0.0, 1.5), (60, 2.0, 1.5), (72, 4.0, 1.5)]  # key, start s, length s
DRUM_HITS = [(0.0, 0.5), (1.0, 0.5), (2.0, 0.5)]
MELODIC_WINDOW_S = 1.0
DRUM_WINDOW_S = 0.5
SONG_S = 6.0
TRIM_MIN, TRIM_MAX = -18.0, 12.0
SILENT_DB = -120.0


def song_bytes(channel, program, notes):
    """A format-0 MIDI file: tempo 120, program, CC7 100, CC11 127, then `notes`
    as (key, start s, length s) at velocity 100."""
    ev = [(0, bytes([0xFF, 0x51, 3, 0x07, 0xA1, 0x20])),
          (0, bytes([0xC0 | channel, program])),
          (0, bytes([0xB0 | channel, 7, 100])),
          (0, bytes([0xB0 | channel, 11, 127]))]
    for key, start, length in notes:
        ev.append((round(start * TICKS_PER_S), bytes([0x90 | channel, key, 100])))
        ev.append((round((start + length) * TICKS_PER_S), bytes([0x80 | channel, key, 0])))
    ev.sort(key=lambda e: e[0])  # stable: note-offs stay before note-ons of the same tick
    body = bytearray()
    now = 0
    for tick, data in ev:
        body += smf_file.vlq(tick - now) + data
        now = tick
    body += smf_file.vlq(TICKS_PER_S // 2) + bytes([0xFF, 0x2F, 0])
    return smf_file.header_chunk(1, DIVISION, file_format=0) + smf_file.track_chunk(body)


def read_mono(path):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", scipy.io.wavfile.WavFileWarning)
        rate, data = scipy.io.wavfile.read(path)
    if rate != RATE:
        raise ValueError(f"{path}: {rate} Hz")
    data = data.astype(np.float64)
    return data.mean(axis=1) if data.ndim == 2 else data


def level_db(audio, starts, window_s):
    """Power mean over `starts` of the mean square of each note's first `window_s`."""
    n = int(window_s * RATE)
    powers = []
    for s in starts:
        seg = audio[int(s * RATE): int(s * RATE) + n]
        powers.append(float(np.mean(seg ** 2)) if len(seg) else 0.0)
    p = float(np.mean(powers))
    return 10 * np.log10(p) if p > 0 else SILENT_DB


def render_both(work, name, midi, starts, window_s, fmtool, sf2):
    mid = os.path.join(work, name + ".mid")
    with open(mid, "wb") as f:
        f.write(midi)
    ref = os.path.join(work, name + ".fluid.wav")
    subprocess.run(["fluidsynth", "-ni", "-q", "-R", "0", "-C", "0", "-g", "0.2", "-O", "float",
                    "-r", str(RATE), "-F", ref, sf2, mid],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    vgz = os.path.join(work, name + ".vgz")
    subprocess.run([fmtool, "convert", mid, "-o", vgz], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    ours = os.path.join(work, name + ".ours.wav")
    sound_render.render_vgm(vgz, ours, SONG_S + 0.5)
    return level_db(read_mono(ref), starts, window_s), level_db(read_mono(ours), starts, window_s)


def format_table(name, size, values):
    lines = [f"constexpr double {name}[{size}] = {{"]
    for i in range(0, len(values), 8):
        # A trim that rounds to zero is written 0.0, never -0.0.
        lines.append("    " + ", ".join(f"{v:.1f}" if round(v, 1) else "0.0" for v in values[i:i + 8]) + ",")
    lines.append("};")
    return "\n".join(lines)


def write_cpp(cpp, programs, drums, counts):
    """Replaces the measured tables of part_levels.cpp; `counts` None writes zeros."""
    if counts is None:
        note = "// Zero until scripts/measure_gm_levels.py measures them.\n"
        programs, drums = [0.0] * len(PROGRAMS), [0.0] * len(DRUM_KEYS)
    else:
        note = (f"// Measured by scripts/measure_gm_levels.py on {datetime.date.today().isoformat()} "
                f"against FluidSynth with\n"
                f"// FluidR3 GM: each program's notes 48, 60, 72 (each drum key's hits) at velocity\n"
                f"// 100, level = power mean of the RMS of each note's first second (each hit's first\n"
                f"// 0.5 s); trim = (FluidR3's level - FluidR3's median program level) - (ours - our\n"
                f"// median program level), clamped to -18..+12 dB ({counts}).\n")
    replace_section(cpp, "// BEGIN measured tables", "// END measured tables",
                    f"{note}{format_table('kProgramTrimDb', len(programs), programs)}\n\n"
                    f"// Keys 35 to 81.\n{format_table('kDrumTrimDb', len(drums), drums)}")


def replace_section(cpp, begin, end, body):
    """Replaces what lies between the marker lines `begin` and `end` of `cpp` with `body`."""
    text = open(cpp).read()
    head, rest = text.split(begin, 1)
    _, tail = rest.split(end, 1)
    with open(cpp, "w") as f:
        f.write(f"{head}{begin}\n{body}\n{end}{tail}")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("fmtool", nargs="?")
    ap.add_argument("--sf2", default="/usr/share/sounds/sf2/FluidR3_GM.sf2")
    ap.add_argument("--write-cpp", help="fmtool/render/part_levels.cpp: replace its measured tables")
    ap.add_argument("--zero-cpp", help="fmtool/render/part_levels.cpp: set its tables to zero, and stop")
    args = ap.parse_args()
    if args.zero_cpp:
        write_cpp(args.zero_cpp, None, None, None)
        print(f"wrote zero tables in {args.zero_cpp}")
        return
    if not args.fmtool:
        ap.error("FMTOOL is needed to measure")
    fmtool = os.path.abspath(args.fmtool)

    melodic, drums = {}, {}
    with tempfile.TemporaryDirectory(prefix="gm-levels-", dir="/tmp") as work:
        starts = [s for _, s, _ in MELODIC_NOTES]
        for p in PROGRAMS:
            melodic[p] = render_both(work, f"p{p}", song_bytes(0, p, MELODIC_NOTES), starts,
                                     MELODIC_WINDOW_S, fmtool, args.sf2)
        starts = [s for s, _ in DRUM_HITS]
        for k in DRUM_KEYS:
            hits = [(k, s, length) for s, length in DRUM_HITS]
            drums[k] = render_both(work, f"d{k}", song_bytes(9, 0, hits), starts, DRUM_WINDOW_S, fmtool, args.sf2)

    ref_median = float(np.median([r for r, _ in melodic.values()]))
    our_median = float(np.median([o for _, o in melodic.values()]))
    print(f"median program level: FluidR3 {ref_median:.1f} dB, ours {our_median:.1f} dB")
    clamped, unheard = [], []

    def trim(label, ref, ours):
        if ref <= SILENT_DB or ours <= SILENT_DB:
            unheard.append(label)
            return 0.0
        t = (ref - ref_median) - (ours - our_median)
        if not TRIM_MIN <= t <= TRIM_MAX:
            clamped.append(f"{label} {t:+.1f}")
        return float(np.clip(t, TRIM_MIN, TRIM_MAX))

    program_trims = [trim(f"program {p}", *melodic[p]) for p in PROGRAMS]
    drum_trims = [trim(f"key {k}", *drums[k]) for k in DRUM_KEYS]
    print("what  FluidR3 dB  ours dB  trim dB")
    for p in PROGRAMS:
        print(f"program {p:3d}  {melodic[p][0]:7.1f}  {melodic[p][1]:7.1f}  {program_trims[p]:+6.1f}")
    for i, k in enumerate(DRUM_KEYS):
        print(f"key {k:2d}       {drums[k][0]:7.1f}  {drums[k][1]:7.1f}  {drum_trims[i]:+6.1f}")
    print("clamped to -18..+12 dB: " + (", ".join(clamped) if clamped else "none"))
    print("silent in one render, trim 0: " + (", ".join(unheard) if unheard else "none"))
    print(format_table("kProgramTrimDb", 128, program_trims))
    print(format_table("kDrumTrimDb", len(drum_trims), drum_trims))
    if args.write_cpp:
        counts = f"{len(clamped)} clamped" + (f", {len(unheard)} unheard left at 0" if unheard else "")
        write_cpp(args.write_cpp, program_trims, drum_trims, counts)
        print(f"wrote {args.write_cpp}")


if __name__ == "__main__":
    main()
