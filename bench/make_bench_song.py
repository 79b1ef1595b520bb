#!/usr/bin/env python3
"""Write a large, dense MIDI file for benchmarking fmroll.

The song is random but deterministic (a fixed seed): the same arguments always
give the same bytes.  At full scale it lasts about 20 minutes, holds more than
200 000 events on all 16 MIDI channels and takes about 1.7 MB.  It exercises
everything the converter reads:

  channels 1-6   FM lines: notes from 32nds to quarters, program changes, pan,
                 portamento, bend-range changes (RPN 0/0), pitch-bend sweeps
  channels 7-9   square-wave lines: notes 45-100, expression, pitch bends
  channel 10     noise drums: a program change (noise mode) on many hits
  channels 11-16 chords, key and channel pressure, controllers, bends (all of
                 which the converter reads and then ignores)

plus tempo changes (steps and accelerando ramps), text meta events, system
exclusive messages, a loop point (controller 56), running status and note on
with velocity 0 used as note off on some tracks.

--scale S makes the song S times as long with the same density, so
--scale 0.25 gives a quarter of the duration and about a quarter of the events.

Usage: python3 bench/make_bench_song.py OUT.mid [--scale 0.25] [--seed N]
"""

import argparse
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from smf_file import header_chunk, track_chunk, vlq  # noqa: E402

DIVISION = 480
QUARTER = DIVISION
BAR = 4 * QUARTER
FULL_SECONDS = 20 * 60

# Every time stamp is a multiple of this many ticks, so that the converter's
# quantisation to 48 ticks per quarter note loses nothing.
GRID = DIVISION // 48

CC_MODULATION = 1
CC_PORTAMENTO_TIME = 5
CC_DATA_ENTRY = 6
CC_VOLUME = 7
CC_PAN = 10
CC_EXPRESSION = 11
CC_LOOP_POINT = 56
CC_SUSTAIN = 64
CC_RPN_LSB = 100
CC_RPN_MSB = 101

NOTE_OFF, NOTE_ON, KEY_PRESSURE, CONTROL, PROGRAM, CHANNEL_PRESSURE, BEND = (
    0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0)

GM_RESET = bytes([0x7E, 0x7F, 0x09, 0x01, 0xF7])



# Order of events sharing a tick in one track: releases, then settings, then notes.
RELEASE, SETTING, START = 0, 1, 2


class Track:
    """Events of one track, encoded at the end with or without running status.

    A track with zero_velocity_off writes its note offs as note ons of
    velocity 0, as many sequencers do (it then pairs well with running status).
    """

    def __init__(self, name, running_status=False, zero_velocity_off=False):
        self.name = name
        self.running_status = running_status
        self.zero_velocity_off = zero_velocity_off
        self.events = []        # (tick, order, sequence, status, data bytes)

    def _add(self, tick, order, status, data):
        self.events.append((tick, order, len(self.events), status, bytes(data)))

    def meta(self, tick, kind, payload):
        self._add(tick, SETTING, 0xFF, bytes([kind]) + vlq(len(payload)) + payload)

    def sysex(self, tick, payload):
        self._add(tick, SETTING, 0xF0, vlq(len(payload)) + payload)

    def tempo(self, tick, bpm):
        self.meta(tick, 0x51, (60_000_000 // bpm).to_bytes(3, "big"))

    def channel(self, tick, kind, channel, *data):
        self._add(tick, SETTING, kind | channel, data)

    def bend(self, tick, channel, amount):
        raw = max(-8192, min(8191, amount)) + 8192
        self._add(tick, SETTING, BEND | channel, (raw & 0x7F, raw >> 7))

    def note(self, tick, channel, key, length, velocity):
        self._add(tick, START, NOTE_ON | channel, (key, velocity))
        if self.zero_velocity_off:
            self._add(tick + length, RELEASE, NOTE_ON | channel, (key, 0))
        else:
            self._add(tick + length, RELEASE, NOTE_OFF | channel, (key, 64))

    def event_count(self):
        return len(self.events)

    def chunk(self):
        body = bytearray(b"\x00\xFF\x03" + vlq(len(self.name)) + self.name.encode("ascii"))
        now = 0
        running = None
        for tick, _, _, status, data in sorted(self.events):
            body += vlq(tick - now)
            now = tick
            if status >= 0xF0:
                body.append(status)
                running = None              # meta and system exclusive end a running status
            elif status != running or not self.running_status:
                body.append(status)
                running = status
            body += data
        body += b"\x00\xFF\x2F\x00"
        return track_chunk(body)


def snap(ticks):
    return ticks - ticks % GRID


class Song:
    def __init__(self, rng):
        self.rng = rng
        self.conductor = Track("Benchmark song")
        self.tracks = []
        for ch in range(16):
            # A mix of encodings, as files from different sequencers would have.
            self.tracks.append(Track(f"Channel {ch + 1}",
                                     running_status=ch % 4 == 0,
                                     zero_velocity_off=ch % 4 == 2))
        self.pitch = [60] * 16          # random-walk position of each melodic line
        self.bend_range = [12] * 16


def bend_sweep(song, t, ch, start, length):
    """A smooth bend away from the centre and back, ending exactly at the centre."""
    rng = song.rng
    depth = rng.choice([-8192, -4096, -1024, 1024, 4096, 8191])
    steps = rng.randrange(8, 24)
    for i in range(1, steps + 1):
        phase = i / steps
        amount = int(depth * (1 - abs(2 * phase - 1)))
        t.bend(snap(start + length * i // steps), ch, amount)


def melodic_line(song, ch, bar_start, low, high, steps, velocity_low):
    """A random walk of notes filling one bar; returns the note starts."""
    rng = song.rng
    t = song.tracks[ch]
    starts = []
    tick = bar_start
    end = bar_start + BAR
    while tick < end:
        step = min(rng.choice(steps), end - tick)
        song.pitch[ch] = max(low, min(high, song.pitch[ch] + rng.randint(-5, 5)))
        if rng.random() < 0.9:
            length = max(GRID, snap(step - rng.randrange(0, step // 2 + 1)))
            t.note(tick, ch, song.pitch[ch], length, rng.randint(velocity_low, 127))
            starts.append(tick)
        tick += step
    return starts


def fm_bar(song, ch, bar_start):
    rng = song.rng
    t = song.tracks[ch]
    if rng.random() < 0.4:
        t.channel(bar_start, PROGRAM, ch, rng.randrange(128))
    if rng.random() < 0.2:
        t.channel(bar_start, CONTROL, ch, CC_PAN, rng.choice([0, 20, 63, 64, 65, 100, 127]))
    if rng.random() < 0.15:
        t.channel(bar_start, CONTROL, ch, CC_PORTAMENTO_TIME, rng.choice([0, 0, 2, 4, 8, 16]))
    if rng.random() < 0.04:
        # Bend range by registered parameter 0/0, then the null parameter.
        t.channel(bar_start, CONTROL, ch, CC_RPN_MSB, 0)
        t.channel(bar_start, CONTROL, ch, CC_RPN_LSB, 0)
        t.channel(bar_start, CONTROL, ch, CC_DATA_ENTRY, rng.choice([1, 2, 2, 7, 12, 24]))
        t.channel(bar_start, CONTROL, ch, CC_RPN_MSB, 127)
        t.channel(bar_start, CONTROL, ch, CC_RPN_LSB, 127)
    if rng.random() < 0.1:
        t.channel(bar_start, CONTROL, ch, rng.choice([CC_MODULATION, CC_VOLUME, CC_SUSTAIN]),
                  rng.randrange(128))
    starts = melodic_line(song, ch, bar_start, 24 + 6 * ch, 72 + 5 * ch,
                          [60, 60, 120, 120, 120, 240], 40)
    # At most one sweep in each half of the bar, so that sweeps never overlap.
    for first_beat in (0, 2):
        low = bar_start + first_beat * QUARTER
        window = [s for s in starts if low <= s < low + QUARTER]
        if window and rng.random() < 0.6:
            bend_sweep(song, t, ch, rng.choice(window), QUARTER)


def tone_bar(song, ch, bar_start):
    rng = song.rng
    t = song.tracks[ch]
    for beat in range(4):
        if rng.random() < 0.6:
            t.channel(bar_start + beat * QUARTER, CONTROL, ch, CC_EXPRESSION, rng.randrange(40, 128))
    if rng.random() < 0.05:
        t.channel(bar_start, PROGRAM, ch, rng.randrange(128))
    starts = melodic_line(song, ch, bar_start, 45, 100, [60, 120, 120, 120], 1)
    window = [s for s in starts if s < bar_start + 3 * QUARTER]
    if window and rng.random() < 0.4:
        bend_sweep(song, t, ch, rng.choice(window), QUARTER // 2)


def noise_bar(song, ch, bar_start):
    rng = song.rng
    t = song.tracks[ch]
    for step in range(16):
        tick = bar_start + step * (BAR // 16)
        if rng.random() < 0.1:
            continue
        if rng.random() < 0.35:
            t.channel(tick, PROGRAM, ch, rng.randrange(8))
        t.channel(tick, CONTROL, ch, CC_EXPRESSION, rng.randrange(32, 128))
        t.note(tick, ch, rng.choice([36, 38, 42, 46, 49]), rng.choice([30, 60, 90]), 100)


def ignored_bar(song, ch, bar_start):
    """Channels 11-16: chords, pressure, controllers and bends."""
    rng = song.rng
    t = song.tracks[ch]
    if rng.random() < 0.1:
        t.channel(bar_start, PROGRAM, ch, rng.randrange(128))
    beat = QUARTER
    for tick in range(bar_start, bar_start + BAR, beat):
        root = rng.randrange(48, 72)
        for interval in (0, 4, 7):
            t.note(tick, ch, root + interval, beat - 20, rng.randint(30, 127))
            if rng.random() < 0.2:
                t.channel(tick + beat // 2, KEY_PRESSURE, ch, root + interval, rng.randrange(128))
        t.channel(tick + beat // 4, CHANNEL_PRESSURE, ch, rng.randrange(128))
        if rng.random() < 0.3:
            t.channel(tick, CONTROL, ch, rng.choice([CC_MODULATION, CC_VOLUME, CC_PAN, CC_EXPRESSION]),
                      rng.randrange(128))
    if rng.random() < 0.3:
        bend_sweep(song, t, ch, bar_start, QUARTER)


def channel_bar(song, ch, bar_start):
    if ch < 6:
        fm_bar(song, ch, bar_start)
    elif ch < 9:
        tone_bar(song, ch, bar_start)
    elif ch == 9:
        noise_bar(song, ch, bar_start)
    else:
        ignored_bar(song, ch, bar_start)


def conductor_bar(song, bar, bar_start, bpm):
    """Tempo changes: usually a step every few bars, sometimes a ramp over one bar."""
    rng = song.rng
    c = song.conductor
    if bar % 16 == 0:
        c.meta(bar_start, 0x06, f"Section {bar // 16 + 1}".encode("ascii"))
    if bar % 32 == 5:
        c.sysex(bar_start, GM_RESET)
    if bar % 6 != 0:
        return bpm
    target = rng.randrange(90, 181)
    if rng.random() < 0.3:
        for beat in range(1, 5):
            c.tempo(bar_start + (beat - 1) * QUARTER, bpm + (target - bpm) * beat // 4)
    else:
        c.tempo(bar_start, target)
    return target


def build(scale, seed):
    rng = random.Random(seed)
    song = Song(rng)
    c = song.conductor
    c.meta(0, 0x58, bytes([4, 2, 24, 8]))
    c.sysex(0, GM_RESET)
    for ch in range(16):
        t = song.tracks[ch]
        t.channel(0, PROGRAM, ch, ch if ch != 9 else 4)
        t.channel(0, CONTROL, ch, CC_VOLUME, 100)
        t.channel(0, CONTROL, ch, CC_EXPRESSION, 100)
    song.tracks[0].channel(4 * BAR, CONTROL, 0, CC_LOOP_POINT, 0)

    target = FULL_SECONDS * scale
    seconds = 0.0
    bpm = 120
    c.tempo(0, bpm)
    bar = 0
    while seconds < target:
        bar_start = bar * BAR
        before = bpm
        bpm = conductor_bar(song, bar, bar_start, bpm)
        # Time of this bar: a ramp changes the tempo at each beat.
        ramp = [(tick, 60_000_000 // int.from_bytes(data[2:5], "big"))
                for tick, _, _, status, data in c.events[-4:]
                if status == 0xFF and data[0] == 0x51 and tick >= bar_start]
        beat_bpm = [before] * 4
        for tick, value in ramp:
            for beat in range((tick - bar_start) // QUARTER, 4):
                beat_bpm[beat] = value
        seconds += sum(60.0 / b for b in beat_bpm)
        for ch in range(16):
            channel_bar(song, ch, bar_start)
        bar += 1
    return song, bar, seconds


def smf_bytes(song):
    tracks = [song.conductor] + song.tracks
    header = header_chunk(len(tracks), DIVISION)
    return header + b"".join(t.chunk() for t in tracks), sum(t.event_count() for t in tracks)


def main(argv):
    parser = argparse.ArgumentParser(description="Write a dense benchmark MIDI file.")
    parser.add_argument("out", help="path of the MIDI file to write")
    parser.add_argument("--scale", type=float, default=1.0,
                        help="length relative to the full 20-minute song (default 1)")
    parser.add_argument("--seed", type=int, default=2612, help="random seed (default 2612)")
    args = parser.parse_args(argv[1:])
    if not 0 < args.scale <= 16:
        parser.error("--scale must be above 0 and at most 16")
    song, bars, seconds = build(args.scale, args.seed)
    data, events = smf_bytes(song)
    with open(args.out, "wb") as f:
        f.write(data)
    print(f"wrote {args.out}: {len(data)} bytes, {events} events, {bars} bars, "
          f"{seconds / 60:.1f} minutes")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
