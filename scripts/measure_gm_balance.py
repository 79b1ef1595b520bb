#!/usr/bin/python3
"""Measures how loud each General MIDI program plays against the other parts
of real songs, in fmtool convert and in FluidSynth with FluidR3 GM, and
writes the in-song corrections that fmtool/render/part_levels.cpp adds to
its program trims.

    measure_gm_balance.py FMTOOL [SONG.mid ...] [--corpus DIR] [--jobs N]
                          [--work DIR] [--write-cpp part_levels.cpp]

measure_gm_levels.py balances the programs on single notes; in a song a
part also plays chords, short notes and long ones, over and under the
others. This measures the balance where it is heard. For each song (its first
62 s; by default every song of scripts/fetch_corpus.sh's corpus) and each of
its channels with at least 8 notes there:
  - FluidSynth renders the song with that channel's notes alone, as the sound
    bench renders its reference (reverb and chorus, gain 0.2);
  - FMTOOL convert renders the song with every other channel's notes at
    velocity 1, silent on the chips but still taking their channels, so the
    part plays where it plays in the whole song (but for the voices it would
    share: the allocator gives them to the loudest, which it now is); after
    the minute measured, each other channel plays its loudest note once (the
    drums: each key's loudest), which keeps the song's gain what it is with
    all parts;
  - and both render the whole song.
Levels are mean squares over 2 s windows of the first 60 s (ours rendered by
Game Music Emu at 11025 Hz: a level needs no more, and the chip runs four
times faster). The whole song gives the offset between the two renderings:
the median difference over the windows where both sound. A part's error is
its level in ours plus that offset minus its level in FluidSynth, summed over
the windows where FluidSynth's part sounds (within 30 dB of its loudest).

A program's correction is minus the mean of its parts' errors, weighted by
their windows, shrunk by n / (n + 2) for n parts (a program of one song
moves a third of the way) and clamped to +-6 dB; the drum channel's parts
give one correction for every drum key. Measure the single-note trims first
(measure_gm_levels.py), build, then measure this with that fmtool and the
in-song tables at zero (--zero-cpp), write it and build again.

Scratch files and FluidSynth's renders (kept for the next run) go to --work.
Run with /usr/bin/python3 (numpy, scipy).
"""

import argparse
import bisect
import datetime
import glob
import os
import subprocess
import sys
from multiprocessing import Pool

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "bench"))
import measure_gm_levels  # noqa: E402
import smf_file  # noqa: E402
import sound_compare  # noqa: E402
import sound_render  # noqa: E402

SECONDS = 60
CUT_S = 62.0
WINDOW_S = 2
OURS_RATE = 11025
MIN_NOTES = 8
HEARD_DB = 30.0
CLAMP_DB = 6.0
SHRINK = 2
DRUMS = 9
BEGIN, END = "// BEGIN in-song balance", "// END in-song balance"


def note_on(event, channel=None):
    return (event[0] & 0xF0) == 0x90 and len(event) == 3 and event[2] > 0 and \
        (channel is None or (event[0] & 0x0F) == channel)


def tick_at(division, tracks, seconds):
    """The tick `seconds` into the song, by its tempo map."""
    if division & 0x8000:  # SMPTE: frames a second x ticks a frame
        return int(seconds * (256 - (division >> 8)) * (division & 0xFF))
    tempos = []
    for track in tracks:
        tick = 0
        for delta, event in track:
            tick += delta
            if event[:2] == b"\xff\x51" and len(event) >= 6:
                tempos.append((tick, int.from_bytes(event[3:6], "big")))
    marks = [(0, 0.0, 500000)]  # tick, second, microseconds a quarter note from there
    for tick, tempo in sorted(tempos):
        t0, s0, u0 = marks[-1]
        marks.append((tick, s0 + (tick - t0) * u0 / 1e6 / division, tempo))
    t0, s0, u0 = marks[bisect.bisect_right([m[1] for m in marks], seconds) - 1]
    return t0 + int((seconds - s0) * 1e6 * division / u0)


def cut(division, tracks, seconds):
    """The tracks up to `seconds`, each ending there and the first silencing
    every channel there: FluidSynth renders on while a note is held."""
    end = tick_at(division, tracks, seconds)
    silence = b"".join(bytes([0xB0 | c, 120, 0, 0xB0 | c, 123, 0]) for c in range(16))
    out = []
    for number, track in enumerate(tracks):
        kept, tick = [], 0
        for delta, event in track:
            if tick + delta >= end or event[:2] == b"\xff\x2f":
                break
            tick += delta
            kept.append((delta, event))
        if number == 0:
            kept += [(end - tick if c == 0 else 0, silence[6 * c:6 * c + 3]) for c in range(16)]
            kept += [(0, silence[6 * c + 3:6 * c + 6]) for c in range(16)]
            tick = end
        kept.append((end - tick, b"\xff\x2f\x00"))
        out.append(kept)
    return out


def alone(tracks, channel):
    """Only `channel`'s notes sound: the other channels' notes go, each
    handing its delta to the next event kept."""
    out = []
    for track in tracks:
        kept, carry = [], 0
        for delta, event in track:
            carry += delta
            if (event[0] & 0xF0) in (0x80, 0x90) and (event[0] & 0x0F) != channel:
                continue
            kept.append((carry, event))
            carry = 0
        out.append(kept)
    return out


def hushed(division, tracks, channel):
    """Every other channel's notes at velocity 1; after the measured minute,
    each other channel plays its loudest velocity once (the drums: each key's
    loudest, as each key has its own trim), so that the song's gain is what
    it is with every part, but unheard in the levels."""
    loudest = {}
    for track in tracks:
        for _, e in track:
            if note_on(e) and (e[0] & 0x0F) != channel:
                other = (e[0] & 0x0F, e[1] if (e[0] & 0x0F) == DRUMS else 0)
                loudest[other] = max(loudest.get(other, (0, 0)), (e[2], e[1]))
    out = [[(d, bytes([e[0], e[1], 1]) if note_on(e) and (e[0] & 0x0F) != channel else e)
            for d, e in track] for track in tracks]
    on, off = tick_at(division, tracks, SECONDS + 0.5), tick_at(division, tracks, SECONDS + 1.0)
    gain_notes = []
    for (other, _), (velocity, key) in sorted(loudest.items()):
        gain_notes += [(on, bytes([0x90 | other, key, velocity])), (off, bytes([0x80 | other, key, 0]))]
    # Into the first track, in time order, before the silence the cut ends it with.
    timed, tick = [], 0
    for delta, event in out[0][:-1]:
        tick += delta
        timed.append((tick, event))
    end = tick + out[0][-1][0]
    timed = sorted(timed + gain_notes, key=lambda x: x[0])
    track, tick = [], 0
    for when, event in timed:
        track.append((when - tick, event))
        tick = when
    out[0] = track + [(end - tick, b"\xff\x2f\x00")]
    return out


def levels(samples, rate):
    w = WINDOW_S * rate
    return np.array([np.mean(samples[i * w:(i + 1) * w] ** 2) for i in range(len(samples) // w)])


def ours_levels(vgz):
    return levels(sound_render.play_vgm(vgz, SECONDS, OURS_RATE), OURS_RATE)


def fluid_levels(mid, wav, sf2):
    if not os.path.exists(wav):
        full = wav + ".full.wav"
        # A file with no notes can keep FluidSynth going: the time limit ends it.
        subprocess.run(["timeout", "120", "fluidsynth", "-ni", "-q", "-g", "0.2", "-O", "float", "-r",
                        str(sound_render.RATE), "-F", full, sf2, mid],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            sound_render.trim_wav(full, wav, SECONDS)
        finally:
            if os.path.exists(full):
                os.remove(full)
    return levels(sound_compare.read_mono(wav, SECONDS), sound_render.RATE)


def convert_levels(fmtool, mid):
    vgz = mid[:-4] + ".vgz"
    subprocess.run([fmtool, "convert", mid, "-o", vgz], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return ours_levels(vgz)


def measure_part(args):
    """(song, channel, program, FluidSynth levels, our levels); channel -1 is the whole song."""
    path, channel, program, fmtool, sf2, work = args
    file_format, division, tracks = smf_file.read_file(path)
    tracks = cut(division, tracks, CUT_S)
    base = os.path.join(work, f"{os.path.basename(path)[:-4]}.{channel}")
    try:
        if channel < 0:
            smf_file.write_file(base + ".mid", file_format, division, tracks)
            return path, channel, program, fluid_levels(base + ".mid", base + ".ref.wav", sf2), \
                convert_levels(fmtool, base + ".mid")
        smf_file.write_file(base + ".ref.mid", file_format, division, alone(tracks, channel))
        smf_file.write_file(base + ".mid", file_format, division, hushed(division, tracks, channel))
        return path, channel, program, fluid_levels(base + ".ref.mid", base + ".ref.wav", sf2), \
            convert_levels(fmtool, base + ".mid")
    except (OSError, ValueError, subprocess.CalledProcessError) as e:
        print(f"{base}: {e}", file=sys.stderr)
        return path, channel, program, None, None


def parts_of(path):
    """(channel, program) of each channel with MIN_NOTES notes in the song's
    first CUT_S seconds; program 128 for the drums."""
    _, division, tracks = smf_file.read_file(path)
    program, notes, timed = {}, {}, []
    for track in cut(division, tracks, CUT_S):
        tick = 0
        for order, (delta, event) in enumerate(track):
            tick += delta
            timed.append((tick, order, event))
    for _, _, e in sorted(timed, key=lambda x: (x[0], x[1])):
        if e[0] >= 0xF0:
            continue
        channel = e[0] & 0x0F
        # A channel's program is the one its first note plays.
        if (e[0] & 0xF0) == 0xC0 and len(e) == 2 and channel not in notes:
            program[channel] = e[1]
        if note_on(e):
            notes[channel] = notes.get(channel, 0) + 1
    parts = [(c, 128 if c == DRUMS else program.get(c, 0)) for c, n in sorted(notes.items()) if n >= MIN_NOTES]
    return parts if len(parts) >= 2 else []


def part_error(ref, ours, offset):
    n = min(len(ref), len(ours))
    ref, ours = ref[:n], ours[:n]
    if n == 0 or ref.max() <= 0:
        return None, 0
    heard = ref > ref.max() * 10 ** (-HEARD_DB / 10)
    return 10 * np.log10(ours[heard].sum() + 1e-20) + offset - 10 * np.log10(ref[heard].sum()), int(heard.sum())


def song_offset(ref, ours):
    n = min(len(ref), len(ours))
    ref, ours = ref[:n], ours[:n]
    if n == 0:
        return None
    both = (ref > ref.max() * 1e-3) & (ours > ours.max() * 1e-3)
    return float(np.median(10 * np.log10(ref[both]) - 10 * np.log10(ours[both]))) if both.any() else None


def corrections(results):
    """Per program (128: the drums): (correction dB, parts, mean error dB)."""
    whole = {path: song_offset(r, o) for path, channel, _, r, o in results if channel < 0 and r is not None}
    errors = {}
    for path, channel, program, ref, ours in results:
        if channel < 0 or ref is None or whole.get(path) is None:
            continue
        error, weight = part_error(ref, ours, whole[path])
        if error is not None and weight:
            errors.setdefault(program, []).append((error, weight))
    out = {}
    for program, parts in errors.items():
        e = np.array([x for x, _ in parts])
        w = np.array([x for _, x in parts], dtype=float)
        mean = float((e * w).sum() / w.sum())
        shrunk = -mean * len(parts) / (len(parts) + SHRINK)
        out[program] = (float(np.clip(shrunk, -CLAMP_DB, CLAMP_DB)), len(parts), mean)
    return out


def write_cpp(cpp, found, songs):
    """Replaces the in-song tables of part_levels.cpp; `found` None writes zeros."""
    if found is None:
        note = "// Zero until scripts/measure_gm_balance.py measures them.\n"
        programs, drums = [0.0] * 128, 0.0
    else:
        note = (f"// Measured by scripts/measure_gm_balance.py on {datetime.date.today().isoformat()} over "
                f"{songs} songs: minus each\n// program's mean error in its songs against FluidSynth with "
                f"FluidR3 GM, shrunk by\n// n / (n + {SHRINK}) for n parts, clamped to +-{CLAMP_DB:.0f} dB "
                f"(0 for a program in no song).\n")
        programs = [found[p][0] if p in found else 0.0 for p in range(128)]
        drums = found[128][0] if 128 in found else 0.0
    drum_value = f"{drums:.1f}" if round(drums, 1) else "0.0"
    # All zero, the table is written empty (C++ zero-fills it).
    table = (measure_gm_levels.format_table("kProgramInSongDb", 128, programs) if any(round(v, 1) for v in programs)
             else "constexpr double kProgramInSongDb[128] = {};")
    measure_gm_levels.replace_section(cpp, BEGIN, END,
                                      f"{note}{table}\nconstexpr double kDrumsInSongDb = {drum_value};")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("fmtool", nargs="?")
    ap.add_argument("songs", nargs="*")
    ap.add_argument("--corpus", default=os.path.expanduser("~/.cache/fmroll/corpus"))
    ap.add_argument("--sf2", default="/usr/share/sounds/sf2/FluidR3_GM.sf2")
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    ap.add_argument("--work", default="/tmp/gm-balance")
    ap.add_argument("--write-cpp", help="fmtool/render/part_levels.cpp: replace its in-song tables")
    ap.add_argument("--zero-cpp", help="fmtool/render/part_levels.cpp: set its in-song tables to zero, and stop")
    args = ap.parse_args()
    if args.zero_cpp:
        write_cpp(args.zero_cpp, None, 0)
        print(f"wrote zero in-song tables in {args.zero_cpp}")
        return
    if not args.fmtool:
        ap.error("FMTOOL is needed to measure")
    fmtool = os.path.abspath(args.fmtool)
    os.makedirs(args.work, exist_ok=True)
    songs = args.songs or sorted(glob.glob(os.path.join(args.corpus, "*.mid")))
    jobs = []
    for path in songs:
        try:
            parts = parts_of(path)
        except (OSError, ValueError) as e:
            print(f"{path}: {e}", file=sys.stderr)
            continue
        if parts:
            jobs.append((path, -1, -1, fmtool, args.sf2, args.work))
            jobs += [(path, c, p, fmtool, args.sf2, args.work) for c, p in parts]
    with Pool(args.jobs) as pool:
        results = pool.map(measure_part, jobs, chunksize=1)
    found = corrections(results)
    measured = len({r[0] for r in results if r[1] < 0 and r[3] is not None})
    print(f"{measured} songs, {sum(n for _, n, _ in found.values())} parts")
    print("program  parts  mean error dB  correction dB")
    for program in sorted(found):
        correction, n, mean = found[program]
        name = "drums" if program == 128 else f"{program:5d}"
        print(f"{name:>7}  {n:5d}  {mean:+13.1f}  {correction:+13.1f}")
    if args.write_cpp:
        write_cpp(args.write_cpp, found, measured)
        print(f"wrote {args.write_cpp}")


if __name__ == "__main__":
    main()
