#!/usr/bin/python3
"""Helpers of the sound-comparison benchmark (bench/sound_bench.sh).

    sound_render.py vgm IN.vgz OUT.wav [--seconds 61]
        Renders the first SECONDS of a VGM or VGZ file with Game Music Emu
        (Debian's libgme0, through ctypes) at 44100 Hz: no loop, no fade.
    sound_render.py wav IN.wav OUT.wav [--seconds 61]
        Keeps the first SECONDS of a WAV file.
    sound_render.py notes SONG.mid
        Prints the number of notes (note-ons with a velocity) in a MIDI file.

Both audio commands write a mono (mean of the channels) 32-bit float WAV,
which is what sound_compare.py reads fastest.
"""

import argparse
import ctypes
import sys
import warnings

import numpy as np
import scipy.io.wavfile

RATE = 44100


def write_mono(path, data):
    if data.ndim == 2:
        data = data.mean(axis=1)
    scipy.io.wavfile.write(path, RATE, data.astype(np.float32))


def render_vgm(src, dst, seconds):
    write_mono(dst, play_vgm(src, seconds))


def play_vgm(src, seconds, rate=RATE):
    """The first `seconds` of a VGM or VGZ file played by Game Music Emu at
    `rate` Hz, mono (the mean of the channels), in -1..1."""
    gme = ctypes.CDLL("libgme.so.0")
    gme.gme_open_file.restype = ctypes.c_char_p
    gme.gme_start_track.restype = ctypes.c_char_p
    gme.gme_play.restype = ctypes.c_char_p
    emu = ctypes.c_void_p()
    err = gme.gme_open_file(src.encode(), ctypes.byref(emu), rate)
    if err:
        raise ValueError(f"{src}: {err.decode()}")
    try:
        # Without this libgme ends a track after a few seconds of silence.
        gme.gme_ignore_silence(emu, 1)
        err = gme.gme_start_track(emu, 0)
        if err:
            raise ValueError(f"{src}: {err.decode()}")
        total = int(seconds * rate) * 2  # stereo shorts
        out = np.zeros(total, dtype=np.int16)
        block = rate * 2
        buf = (ctypes.c_short * block)()
        for start in range(0, total, block):
            count = min(block, total - start)
            err = gme.gme_play(emu, count, buf)
            if err:
                raise ValueError(f"{src}: {err.decode()}")
            out[start:start + count] = np.frombuffer(buf, dtype=np.int16, count=count)
    finally:
        gme.gme_delete(emu)
    return out.reshape(-1, 2).astype(np.float64).mean(axis=1) / 32768.0


def trim_wav(src, dst, seconds):
    with warnings.catch_warnings():
        # FluidSynth's float files carry a 'fact' chunk scipy does not read.
        warnings.simplefilter("ignore", scipy.io.wavfile.WavFileWarning)
        rate, data = scipy.io.wavfile.read(src)
    if rate != RATE:
        raise ValueError(f"{src}: {rate} Hz, expected {RATE}")
    data = data[: int(seconds * RATE)]
    if data.dtype.kind in "iu":
        data = data.astype(np.float64) / (np.iinfo(data.dtype).max + 1)
    write_mono(dst, data.astype(np.float64))


def count_notes(path):
    """Note-ons with a non-zero velocity, over all tracks of a standard MIDI
    file; raises ValueError on a file it cannot walk."""
    data = open(path, "rb").read()
    # RIFF MIDI (.rmi) wraps the same chunks.
    at = data.find(b"MThd")
    if at < 0:
        raise ValueError(f"{path}: not a MIDI file")
    pos, notes = at + 8 + int.from_bytes(data[at + 4:at + 8], "big"), 0
    while pos + 8 <= len(data):
        kind, size = data[pos:pos + 4], int.from_bytes(data[pos + 4:pos + 8], "big")
        end = min(pos + 8 + size, len(data))
        pos += 8
        if kind == b"MTrk":
            notes += track_notes(data, pos, end)
        pos = end
    return notes


def track_notes(data, pos, end):
    def varlen(p):
        value = 0
        while p < end:
            value = (value << 7) | (data[p] & 0x7F)
            p += 1
            if data[p - 1] < 0x80:
                break
        return value, p

    notes, status = 0, 0
    while pos < end:
        _, pos = varlen(pos)
        if pos >= end:
            break
        if data[pos] >= 0x80:
            status = data[pos]
            pos += 1
        if status in (0xF0, 0xF7):
            size, pos = varlen(pos)
            pos += size
        elif status == 0xFF:
            size, pos = varlen(pos + 1)
            pos += size
        elif status >= 0x80:
            size = 1 if 0xC0 <= status < 0xE0 else 2
            if status >> 4 == 0x9 and pos + 1 < end and data[pos + 1] > 0:
                notes += 1
            pos += size
        else:
            break  # data before any status byte: give up on this track
    return notes


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("command", choices=["vgm", "wav", "notes"])
    parser.add_argument("src")
    parser.add_argument("dst", nargs="?")
    parser.add_argument("--seconds", type=float, default=61.0)
    args = parser.parse_args()
    try:
        if args.command == "notes":
            print(count_notes(args.src))
        elif args.dst is None:
            parser.error("an output file is needed")
        elif args.command == "vgm":
            render_vgm(args.src, args.dst, args.seconds)
        else:
            trim_wav(args.src, args.dst, args.seconds)
    except (OSError, ValueError) as e:
        sys.exit(f"sound_render: {e}")


if __name__ == "__main__":
    main()
