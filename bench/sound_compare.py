#!/usr/bin/python3
"""Compare how a rendered song sounds against a reference rendering.

    sound_compare.py REF.wav TEST.wav [--seconds 60] [--max-shift-ms 150]
                     [--slow-ppm PPM] [--csv LABEL | --json LABEL] [--header]

Prints four figures over the first SECONDS of both files, each 1.0 for a
perfect match:

  chroma12  pitch-class similarity: mean cosine of 12-bin chroma vectors
  chroma84  the same over 84 semitone bins (C1..B7), so octave and register
            errors show
  onset     rhythm: Pearson correlation of the onset-strength envelopes
  loudness  loudness over time: Pearson correlation of the frame levels in dB

Definitions (all at 44100 Hz, after a mono mixdown, the mean of the channels;
other rates are resampled):
  - Frames every 1024 samples (23.2 ms), the first window starting at 0 and
    the last ending by SECONDS; audio past the end of a file is silence.
  - Pitch: Hann window of 4096 samples (92.9 ms), magnitude spectrum (not
    power, which lets the loudest partial drown the rest) folded into
    84 semitone bands (MIDI 24..107, centred on 440 Hz tuning) with
    triangular weights one semitone wide, widened to the FFT bin spacing
    where that is coarser (the low octaves); chroma12 sums the 84 bands per
    pitch class. Cosine per frame, mean over the frames kept.
  - Level: mean square of the Hann-windowed 4096-sample frame, in dB.
  - Onset strength: Hann window of 2048 samples, power in 54 bands of a
    sixth of an octave from 32.7 Hz, in dB floored 80 dB under the file's
    loudest band; the half-wave-rectified difference from the frame 1024
    samples earlier, averaged over the bands.
  - Silence: a frame is near-silent in a file when its level is more than
    40 dB under that file's loudest frame, or under -90 dB full scale.
    Frames near-silent in both files are left out of all four figures; the
    others all count (a frame of digital silence has cosine 0 with anything).
    Levels are floored 40 dB under the loudest frame for the loudness
    correlation.
  - Time shift: the test may be moved by one whole-file shift of up to
    +-MAX_SHIFT_MS in steps of 256 samples (5.8 ms; for 150 ms, 25 steps
    or 145.1 ms); the shift that gives the highest mean of the four figures
    is used for all four, and reported (positive: the test sounds later than
    the reference). Frames that a
    negative shift would take from before the start of the test are left
    out.
  - Player drift (--slow-ppm, for diagnosis only, off by default): a test
    recorded by a player that keeps time PPM parts per million slow is
    played back that much faster before anything else (linear
    interpolation), so that the figures show the rendering, not the
    player's clock. Game Music Emu 0.6.3 at 44100 Hz plays every VGM with a
    YM2612 490 ppm slow (29 ms a minute).
"""

import argparse
import json
import sys
import warnings

import numpy as np
import scipy.io.wavfile
import scipy.signal
import scipy.sparse

RATE = 44100
HOP = 1024            # frame step of the figures
FINE = 256            # step of the shift search; HOP is a multiple of it
PITCH_WINDOW = 4096
ONSET_WINDOW = 2048
SILENCE_DB = 40.0     # near-silent: this far under the file's loudest frame
ONSET_RANGE_DB = 80.0
FLOOR_DB = -90.0      # near-silent in any file: under -90 dB full scale


def read_mono(path, seconds):
    """The first `seconds` of a WAV file as mono float64 at RATE."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", scipy.io.wavfile.WavFileWarning)
        rate, data = scipy.io.wavfile.read(path)
    if data.dtype.kind in "iu":
        info = np.iinfo(data.dtype)
        data = (data.astype(np.float64) - (info.max + info.min + 1) / 2) / (info.max + 1)
    data = data.astype(np.float64)
    if data.ndim == 2:
        data = data.mean(axis=1)
    data = data[: int(np.ceil(seconds * rate)) + 1]
    if rate != RATE:
        data = scipy.signal.resample_poly(data, RATE, rate)
    return data[: int(seconds * RATE)]


def band_weights(window, first_midi, bands, per_octave):
    """bins x bands matrix gathering an rfft power spectrum into log-spaced
    bands: each FFT bin spreads over the bands with triangular weights as wide
    as one band or as the bin itself, whichever is wider, and sums to about 1."""
    freqs = np.fft.rfftfreq(window, 1.0 / RATE)[1:]
    fmin = 440.0 * 2.0 ** ((first_midi - 69) / 12.0)
    pos = per_octave * np.log2(freqs / fmin)
    step = RATE / window
    lower = np.maximum(freqs - step / 2, step / 4)
    width = np.maximum(1.0, per_octave * np.log2((freqs + step / 2) / lower))
    tri = np.maximum(0.0, 1.0 - np.abs(pos[None, :] - np.arange(bands)[:, None]) / width[None, :])
    # Transposed and sparse: spectra are rows, and most weights are zero.
    return scipy.sparse.csr_matrix(np.hstack([np.zeros((bands, 1)), tri / width[None, :]]).T)


PITCH_BANDS = band_weights(PITCH_WINDOW, 24, 84, 12)
ONSET_BANDS = band_weights(ONSET_WINDOW, 24, 54, 6)


def frame_power(x, centres, window):
    """Hann-windowed power spectra of the frames centred on `centres`."""
    hann = scipy.signal.get_window("hann", window)
    pad = window
    padded = np.concatenate([np.zeros(pad), x, np.zeros(pad)])
    starts = np.clip(centres - window // 2 + pad, 0, len(padded) - window)
    inside = (centres - window // 2 + pad >= 0) & (centres + window // 2 + pad <= len(padded))
    view = np.lib.stride_tricks.sliding_window_view(padded, window)
    frames = view[starts] * hann
    frames[~inside] = 0.0
    power = np.abs(np.fft.rfft(frames, axis=1)) ** 2
    return power, (frames ** 2).sum(axis=1) / (hann ** 2).sum()


def features(x, step, frames, first):
    """Per-frame features every `step` samples, the first frame centred on
    sample `first`: 84-band pitch magnitudes, level in dB and onset band levels in dB."""
    pitch, level, onset = [], [], []
    for start in range(0, frames, 512):
        centres = (np.arange(start, min(start + 512, frames)) * step + first).astype(np.int64)
        power, mean_square = frame_power(x, centres, PITCH_WINDOW)
        pitch.append(np.sqrt(power) @ PITCH_BANDS)
        level.append(10 * np.log10(mean_square + 1e-20))
        onset.append(10 * np.log10(frame_power(x, centres, ONSET_WINDOW)[0] @ ONSET_BANDS + 1e-20))
    onset = np.vstack(onset)
    return np.vstack(pitch), np.concatenate(level), np.maximum(onset, onset.max() - ONSET_RANGE_DB)


def flux(bands, lag):
    """Onset strength: rectified rise of each band from `lag` frames earlier."""
    rise = np.maximum(0.0, bands - np.vstack([bands[:lag], bands[:-lag]]))
    rise[:lag] = 0.0
    return rise.mean(axis=1)


def cosines(a, b):
    """Cosine of each pair of rows; 0 where either row is all zero."""
    dot = (a * b).sum(axis=1)
    norm = np.sqrt((a * a).sum(axis=1) * (b * b).sum(axis=1))
    return np.where(norm > 0, dot / np.maximum(norm, 1e-300), 0.0)


def correlation(a, b):
    a = a - a.mean()
    b = b - b.mean()
    denom = np.sqrt((a * a).sum() * (b * b).sum())
    return float((a * b).sum() / denom) if denom > 0 else 0.0


def quiet(level):
    """Frames near-silent: far under the loudest frame, or under the floor."""
    return level < max(level.max() - SILENCE_DB, FLOOR_DB)


def speed_up(x, ppm):
    """`x` played back `ppm` parts per million faster."""
    at = np.arange(int(len(x) / (1 + ppm * 1e-6))) * (1 + ppm * 1e-6)
    return np.interp(at, np.arange(len(x)), x)


def compare(ref, test, seconds, max_shift_ms):
    """The four figures, with the shift used, the frames counted and the
    seconds of the reference that are not near-silent."""
    # Frames from the first whole window to the last that ends within `seconds`.
    n = (int(seconds * RATE) - PITCH_WINDOW) // HOP + 1
    first = PITCH_WINDOW // 2
    ratio = HOP // FINE
    steps = int(max_shift_ms / 1000.0 * RATE) // FINE
    r_pitch, r_level, r_onset = features(ref, HOP, n, first)
    # The test on the fine grid, from `steps` fine frames before the first:
    # test frame i under shift j is fine frame ratio * i + j + steps.
    t_pitch, t_level, t_onset = features(test, FINE, ratio * n + 2 * steps + 1, first - steps * FINE)
    r_flux, t_flux = flux(r_onset, 1), flux(t_onset, ratio)
    r_quiet, t_quiet = quiet(r_level), quiet(t_level)
    r_level = np.maximum(r_level, r_level.max() - SILENCE_DB)
    t_level = np.maximum(t_level, t_level.max() - SILENCE_DB)
    best = (-np.inf, dict.fromkeys(FIGURES, 0.0), 0, 0)
    for j in range(-steps, steps + 1):
        pick = ratio * np.arange(n) + j + steps
        # Frames both near-silent are left out, as are those the shift takes
        # before the start of the test.
        keep = ~(r_quiet & t_quiet[pick]) & (pick >= steps)
        if not keep.any():
            continue
        pick = pick[keep]
        rp, tp = r_pitch[keep], t_pitch[pick]
        figures = {
            "chroma12": float(cosines(chroma(rp), chroma(tp)).mean()),
            "chroma84": float(cosines(rp, tp).mean()),
            "onset": correlation(r_flux[keep], t_flux[pick]),
            "loudness": correlation(r_level[keep], t_level[pick]),
        }
        if sum(figures.values()) > best[0]:
            best = (sum(figures.values()), figures, j, int(keep.sum()))
    _, figures, j, kept = best
    figures["shift_ms"] = round(j * FINE * 1000.0 / RATE, 1)
    figures["frames"] = kept
    figures["ref_sound_s"] = round(float((~r_quiet).sum()) * HOP / RATE, 1)
    return figures


def chroma(pitch):
    """Fold the 84 semitone bands into 12 pitch classes."""
    return pitch.reshape(-1, 7, 12).sum(axis=1)


FIGURES = ["chroma12", "chroma84", "onset", "loudness"]
FIELDS = FIGURES + ["shift_ms", "frames", "ref_sound_s"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("ref")
    parser.add_argument("test")
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--max-shift-ms", type=float, default=150.0)
    parser.add_argument("--slow-ppm", type=float, default=0.0,
                        help="the test's player keeps time this many ppm slow: undo that first")
    parser.add_argument("--csv", metavar="LABEL", help="print one CSV row: LABEL then the figures")
    parser.add_argument("--json", metavar="LABEL", help="print one JSON object with the label")
    parser.add_argument("--header", action="store_true", help="print the CSV header first")
    args = parser.parse_args()
    try:
        ref = read_mono(args.ref, args.seconds)
        test = read_mono(args.test, (args.seconds + args.max_shift_ms / 1000.0) * (1 + args.slow_ppm * 1e-6))
        if args.slow_ppm:
            test = speed_up(test, args.slow_ppm)
    except (OSError, ValueError) as e:
        sys.exit(f"sound_compare: {e}")
    figures = compare(ref, test, args.seconds, args.max_shift_ms)
    if args.csv is not None:
        if args.header:
            print(",".join(["label"] + FIELDS))
        print(",".join([args.csv] + [str(round(figures[k], 4)) for k in FIELDS]))
    elif args.json is not None:
        print(json.dumps({"label": args.json, **figures}))
    else:
        print(" ".join(f"{k} {figures[k]}" for k in FIELDS))


if __name__ == "__main__":
    main()
