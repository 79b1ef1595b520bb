#!/usr/bin/env python3
"""Write examples/demo.mid, the example song converted by the README's demo command.

A short pop piece in A minor (about 44 seconds) arranged for fmroll's chips:

  MIDI ch 1  FM  program 0  bass line (eighth notes)
  MIDI ch 2  FM  program 1  lead melody (pitch bends, portamento in section B)
  MIDI ch 3  FM  program 2  electric piano, broken chords, panned left
  MIDI ch 4  FM  program 3  brass stabs on the off-beats, panned right
  MIDI ch 5  FM  program 4  string pad, one voice-led note per bar, centre
  MIDI ch 6  FM  program 5  bell accents, alternating left and right
  MIDI ch 7  square         sixteenth-note arpeggio (fades in during the intro)
  MIDI ch 8  square         counter-melody in half notes
  MIDI ch 9  square         quiet echo of the arpeggio
  MIDI ch 10 noise          kick / hi-hat / snare (the noise program changes per hit)

Form: intro (2 bars at 96 BPM), A (8 bars at 120), B (8 bars at 120),
C (4 bars at 128).  Controller 56 at the start of A marks the loop point,
so a player repeats A-B-C after the intro.

The output is deterministic: running the script twice gives the same bytes.
Usage: python3 scripts/make_demo_song.py [OUT.mid]   (default examples/demo.mid)
"""

import os
import sys

from smf_file import header_chunk, track_chunk, vlq

DIVISION = 480                  # ticks per quarter note in the file
QUARTER = DIVISION
SIXTEENTH = QUARTER // 4
EIGHTH = QUARTER // 2
BAR = 4 * QUARTER

# Both chips sound every note one octave above its MIDI number (note 69 plays
# at 880 Hz), so the score below is written at concert pitch and every pitched
# note is sent an octave lower.
CHIP_OCTAVE = 12

# MIDI channels, counted from 0.
BASS, LEAD, EPIANO, BRASS, STRINGS, BELL = range(6)
ARP, COUNTER, ECHO = 6, 7, 8
NOISE = 9
MARKER_CHANNEL = 15             # ignored by the converter except for the loop point

# Controllers the converter honours.
CC_PORTAMENTO_TIME = 5
CC_DATA_ENTRY = 6
CC_VOLUME = 7
CC_PAN = 10
CC_EXPRESSION = 11
CC_LOOP_POINT = 56
CC_RPN_LSB = 100
CC_RPN_MSB = 101

PAN_LEFT, PAN_CENTRE, PAN_RIGHT = 24, 64, 104

# Noise programs: (program & 4) selects white noise, (program & 3) the shift rate.
NOISE_KICK = 2                  # periodic noise, slow shift: a low buzz
NOISE_HAT = 4                   # white noise, fastest shift
NOISE_SNARE = 5                 # white noise, one step slower

# General MIDI drum keys, only so that the file also reads sensibly in a
# General MIDI player; the noise channel ignores the key.
KEY_KICK, KEY_SNARE, KEY_HAT = 36, 38, 42

# Sections: name, first bar, number of bars, tempo in BPM.  The tempos are
# chosen so that 60 000 000 / BPM is a whole number of microseconds that a
# reader can turn back into exactly the same BPM.
SECTIONS = [
    ("Intro", 0, 2, 96),
    ("A", 2, 8, 120),
    ("B", 10, 8, 120),
    ("C", 18, 4, 128),
]
LOOP_BAR = 2
TOTAL_BARS = 22
END_TICK = TOTAL_BARS * BAR

CHORDS = (["Am", "G"]
          + ["Am", "F", "C", "G"] * 2
          + ["F", "G", "Em", "Am", "F", "G", "E", "E"]
          + ["Am", "F", "Dm", "E"])
assert len(CHORDS) == TOTAL_BARS

PITCH_CLASS = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}


def note_number(name):
    """'C4' is 60, 'G#5' is 80."""
    pc = PITCH_CLASS[name[0]]
    rest = name[1:]
    if rest.startswith("#"):
        pc += 1
        rest = rest[1:]
    elif rest.startswith("b"):
        pc -= 1
        rest = rest[1:]
    return 12 * (int(rest) + 1) + pc


def chord_root(chord):
    """Pitch class of the chord's root."""
    return PITCH_CLASS[chord[0]]


def chord_intervals(chord):
    """Semitones above the root of the triad's three tones."""
    return (0, 3, 7) if chord.endswith("m") else (0, 4, 7)


def chord_tones_in(chord, low, high):
    """All tones of the chord between low and high inclusive, ascending."""
    pcs = {(chord_root(chord) + i) % 12 for i in chord_intervals(chord)}
    return [n for n in range(low, high + 1) if n % 12 in pcs]


def nearest_tone(chord, previous, low, high, avoid=None):
    """The chord tone in [low, high] closest to the previous note (voice leading)."""
    tones = [n for n in chord_tones_in(chord, low, high) if n != avoid]
    return min(tones, key=lambda n: (abs(n - previous), n))


def section_of(bar):
    for name, first, count, _ in SECTIONS:
        if first <= bar < first + count:
            return name
    raise ValueError(bar)


def bars_of(*names):
    return [bar for bar in range(TOTAL_BARS) if section_of(bar) in names]


# ---------------------------------------------------------------------------
# Writing the file


# Order of events that share a tick within one track: releases first, then
# settings, then new notes, so that a setting made together with a note is in
# force when the note starts and a note off never cuts the note that follows.
RELEASE, SETTING, START = 0, 1, 2


class Track:
    def __init__(self, name):
        self.name = name
        self.events = []        # (tick, order, sequence, bytes)
        self.note_end = {}      # channel -> tick where its last note ends

    def _add(self, tick, order, data):
        assert 0 <= tick <= END_TICK, (self.name, tick)
        self.events.append((tick, order, len(self.events), bytes(data)))

    def meta(self, tick, kind, payload):
        self._add(tick, SETTING, bytes([0xFF, kind]) + vlq(len(payload)) + payload)

    def tempo(self, tick, bpm):
        micros = 60_000_000 // bpm
        self.meta(tick, 0x51, micros.to_bytes(3, "big"))

    def cc(self, channel, tick, controller, value):
        self._add(tick, SETTING, [0xB0 | channel, controller, value])

    def program(self, channel, tick, program):
        self._add(tick, SETTING, [0xC0 | channel, program])

    def bend(self, channel, tick, amount):
        """Pitch bend, amount from -8192 to 8191, 0 being the centre."""
        raw = amount + 8192
        self._add(tick, SETTING, [0xE0 | channel, raw & 0x7F, raw >> 7])

    def note(self, channel, tick, key, length, velocity):
        # Each chip channel plays one note at a time and a note off releases
        # whatever sounds, so the notes of a channel must not overlap.
        assert length > 0 and tick >= self.note_end.get(channel, 0), (self.name, tick)
        self.note_end[channel] = tick + length
        self._add(tick, START, [0x90 | channel, key, velocity])
        self._add(tick + length, RELEASE, [0x80 | channel, key, 64])

    def chunk(self):
        body = bytearray(vlq(0) + b"\xFF\x03" + vlq(len(self.name)) + self.name.encode("ascii"))
        now = 0
        for tick, _, _, data in sorted(self.events):
            body += vlq(tick - now) + data
            now = tick
        body += vlq(0) + b"\xFF\x2F\x00"
        return track_chunk(body)


def smf_bytes(tracks):
    header = header_chunk(len(tracks), DIVISION)
    return header + b"".join(t.chunk() for t in tracks)


# ---------------------------------------------------------------------------
# The parts

def pitched(track, channel, tick, concert_key, length, velocity):
    track.note(channel, tick, concert_key - CHIP_OCTAVE, length, velocity)


def conductor():
    t = Track("fmroll demo")
    t.meta(0, 0x58, bytes([4, 2, 24, 8]))           # 4/4
    t.meta(0, 0x59, bytes([0, 1]))                  # A minor
    for name, first, _, bpm in SECTIONS:
        t.meta(first * BAR, 0x06, name.encode("ascii"))
        t.tempo(first * BAR, bpm)
    return t


def loop_marker():
    """Controller 56 after the intro: everything from here on repeats."""
    t = Track("Loop point")
    t.cc(MARKER_CHANNEL, LOOP_BAR * BAR, CC_LOOP_POINT, 0)
    return t


def fm_setup(t, channel, program, pan):
    t.program(channel, 0, program)
    t.cc(channel, 0, CC_VOLUME, 100)
    t.cc(channel, 0, CC_PAN, pan)


def bass():
    t = Track("Bass")
    fm_setup(t, BASS, 0, PAN_CENTRE)
    for bar, chord in enumerate(CHORDS):
        start = bar * BAR
        root = 36 + chord_root(chord)                  # C2 .. B2
        if section_of(bar) == "Intro":
            pitched(t, BASS, start, root, BAR - EIGHTH, 100)
            continue
        fifth = root + 7
        pattern = [root, root, root + 12, root, root, root + 12, root, fifth]
        for step, key in enumerate(pattern):
            accent = 112 if step in (0, 4) else 92
            pitched(t, BASS, start + step * EIGHTH, key, EIGHTH - 40, accent)
    return t


# Lead melody, one list per bar: (note name or None for a rest, length in sixteenths).
MELODY_A = [
    [("E5", 6), ("D5", 2), ("C5", 4), ("B4", 2), ("C5", 2)],
    [("A4", 8), (None, 2), ("A4", 2), ("C5", 2), ("F5", 2)],
    [("E5", 6), ("D5", 2), ("C5", 4), ("E5", 4)],
    [("D5", 12), (None, 4)],
    [("E5", 6), ("D5", 2), ("C5", 4), ("B4", 2), ("C5", 2)],
    [("A4", 4), ("C5", 4), ("F5", 4), ("E5", 2), ("D5", 2)],
    [("E5", 4), ("G5", 4), ("E5", 2), ("D5", 2), ("C5", 4)],
    [("B4", 4), ("C5", 2), ("D5", 10)],
]
MELODY_B = [
    [("A5", 6), ("G5", 2), ("F5", 4), ("E5", 4)],
    [("D5", 6), ("E5", 2), ("F5", 4), ("G5", 4)],
    [("E5", 6), ("D5", 2), ("B4", 4), ("E5", 4)],
    [("C5", 4), ("E5", 4), ("A5", 8)],
    [("A5", 6), ("G5", 2), ("F5", 4), ("A5", 4)],
    [("G5", 6), ("F5", 2), ("D5", 4), ("B4", 4)],
    [("B4", 4), ("E5", 4), ("G#5", 4), ("B5", 4)],
    [("B5", 12), (None, 4)],
]
MELODY_C = [
    [("E5", 4), ("A5", 4), ("G5", 2), ("E5", 2), ("C5", 4)],
    [("F5", 4), ("E5", 2), ("D5", 2), ("C5", 4), ("A4", 4)],
    [("D5", 4), ("F5", 4), ("A5", 4), ("G5", 2), ("F5", 2)],
    [("E5", 8), ("D5", 2), ("C5", 2), ("B4", 4)],
]


def bend_ramp(t, channel, start, end, frm, to, steps):
    """A straight pitch-bend glide from frm to to, in the given number of steps."""
    for i in range(1, steps + 1):
        tick = start + (end - start) * i // steps
        t.bend(channel, tick - tick % 10, frm + (to - frm) * i // steps)


def lead_bends(t):
    """Expressive bends, each returning to the centre before its note ends."""
    up, down = 8191, -8192          # a whole tone each way with the range of 2
    # A, bar 4: the held D5 rises to E5 and falls back.
    bar = (LOOP_BAR + 3) * BAR
    bend_ramp(t, LEAD, bar + 4 * SIXTEENTH, bar + 7 * SIXTEENTH, 0, up, 6)
    bend_ramp(t, LEAD, bar + 9 * SIXTEENTH, bar + 11 * SIXTEENTH, up, 0, 4)
    # A, bar 8: a slow vibrato on the last D5.
    bar = (LOOP_BAR + 7) * BAR
    for i, amount in enumerate([900, 0, -900, 0, 900, 0, -900, 0]):
        t.bend(LEAD, bar + 7 * SIXTEENTH + i * 80, amount)
    # B, bar 4: the A5 is scooped up from a semitone below.
    bar = 13 * BAR
    note_on = bar + 8 * SIXTEENTH
    t.bend(LEAD, note_on, -4096)
    bend_ramp(t, LEAD, note_on, note_on + EIGHTH, -4096, 0, 6)
    # B, bar 8: the long B5 sags to A5 and climbs back.
    bar = 17 * BAR
    bend_ramp(t, LEAD, bar + 4 * SIXTEENTH, bar + 8 * SIXTEENTH, 0, down, 8)
    bend_ramp(t, LEAD, bar + 8 * SIXTEENTH, bar + 11 * SIXTEENTH, down, 0, 6)


def lead():
    t = Track("Lead")
    fm_setup(t, LEAD, 1, PAN_CENTRE)
    # Pitch-bend range of two semitones (registered parameter 0/0), then the
    # null parameter so that stray data entry cannot change it again.
    t.cc(LEAD, 0, CC_RPN_MSB, 0)
    t.cc(LEAD, 0, CC_RPN_LSB, 0)
    t.cc(LEAD, 0, CC_DATA_ENTRY, 2)
    t.cc(LEAD, 0, CC_RPN_MSB, 127)
    t.cc(LEAD, 0, CC_RPN_LSB, 127)
    # Portamento glides the notes of section B; A and C are played clean.
    for name, first, _, _ in SECTIONS[1:]:
        t.cc(LEAD, first * BAR, CC_PORTAMENTO_TIME, 4 if name == "B" else 0)
    t.bend(LEAD, LOOP_BAR * BAR, 0)
    first_bars = {"A": 2, "B": 10, "C": 18}
    for section, melody in (("A", MELODY_A), ("B", MELODY_B), ("C", MELODY_C)):
        for i, notes in enumerate(melody):
            tick = (first_bars[section] + i) * BAR
            assert sum(n for _, n in notes) == 16, (section, i)
            for name, sixteenths in notes:
                length = sixteenths * SIXTEENTH
                if name is not None:
                    velocity = 118 if tick % QUARTER == 0 else 104
                    pitched(t, LEAD, tick, note_number(name), length - 20, velocity)
                tick += length
    lead_bends(t)
    return t


def epiano():
    t = Track("Electric piano")
    fm_setup(t, EPIANO, 2, PAN_LEFT)
    for bar, chord in enumerate(CHORDS):
        base = 52 + (chord_root(chord) - 4) % 12       # E3 .. D#4
        third = chord_intervals(chord)[1]
        shape = [0, 7, 12, 12 + third, 19, 12 + third, 12, 7]
        for step, offset in enumerate(shape):
            velocity = 96 if step % 4 == 0 else 78
            pitched(t, EPIANO, bar * BAR + step * EIGHTH, base + offset, EIGHTH - 20, velocity)
    return t


def brass():
    t = Track("Brass")
    fm_setup(t, BRASS, 3, PAN_RIGHT)
    for bar in bars_of("A", "B", "C"):
        if section_of(bar) == "A" and bar < LOOP_BAR + 4:
            continue                                    # brass enters halfway through A
        chord = CHORDS[bar]
        key = nearest_tone(chord, 72, 67, 79)
        for step in (6, 10, 14) if section_of(bar) == "C" else (6, 12):
            pitched(t, BRASS, bar * BAR + step * SIXTEENTH, key, 2 * SIXTEENTH - 30, 108)
    return t


def strings():
    t = Track("Strings")
    fm_setup(t, STRINGS, 4, PAN_CENTRE)
    previous = 64
    for bar, chord in enumerate(CHORDS):
        key = nearest_tone(chord, previous, 60, 72)
        pitched(t, STRINGS, bar * BAR, key, BAR, 84)
        previous = key
    return t


def bell():
    t = Track("Bell")
    fm_setup(t, BELL, 5, PAN_CENTRE)
    pans = [PAN_LEFT, PAN_RIGHT]
    hits = [0] + [bar for bar in bars_of("A", "B", "C") if bar % 2 == 0]
    for i, bar in enumerate(hits):
        tick = bar * BAR
        t.cc(BELL, tick, CC_PAN, PAN_CENTRE if bar == 0 else pans[i % 2])
        key = 84 + chord_root(CHORDS[bar])              # C6 .. B6
        pitched(t, BELL, tick, key, QUARTER + EIGHTH, 100 if bar == LOOP_BAR else 88)
    return t


def arpeggio_notes():
    """(tick, concert key) of the sixteenth-note arpeggio over the whole song."""
    notes = []
    for bar, chord in enumerate(CHORDS):
        tones = chord_tones_in(chord, 72, 92)[:5]
        walk = [0, 1, 2, 3, 4, 3, 2, 1] * 2
        for step, index in enumerate(walk):
            notes.append((bar * BAR + step * SIXTEENTH, tones[index]))
    return notes


def arpeggio():
    t = Track("Square arpeggio")
    t.program(ARP, 0, 0)
    # Fade in over the intro with expression (the square channels' only volume).
    for beat in range(8):
        t.cc(ARP, beat * QUARTER, CC_EXPRESSION, 32 + beat * 9)
    t.cc(ARP, LOOP_BAR * BAR, CC_EXPRESSION, 96)
    for tick, key in arpeggio_notes():
        pitched(t, ARP, tick, key, SIXTEENTH - 20, 100)
    return t


def echo():
    """The arpeggio again, three sixteenths later and much softer."""
    t = Track("Square echo")
    t.program(ECHO, 0, 0)
    t.cc(ECHO, 0, CC_EXPRESSION, 0)
    t.cc(ECHO, LOOP_BAR * BAR, CC_EXPRESSION, 56)
    delay = 3 * SIXTEENTH
    for tick, key in arpeggio_notes():
        start = tick + delay
        if LOOP_BAR * BAR <= start and start + SIXTEENTH <= END_TICK:
            pitched(t, ECHO, start, key, SIXTEENTH - 20, 100)
    return t


def counter_melody():
    """Half notes moving between chord tones, a step or two at a time."""
    t = Track("Square counter-melody")
    t.program(COUNTER, 0, 0)
    t.cc(COUNTER, 0, CC_EXPRESSION, 88)
    t.cc(COUNTER, LOOP_BAR * BAR, CC_EXPRESSION, 88)
    t.cc(COUNTER, 10 * BAR, CC_EXPRESSION, 104)        # louder in B, under the gliding lead
    t.cc(COUNTER, 18 * BAR, CC_EXPRESSION, 88)
    previous = 67
    for bar in bars_of("A", "B", "C"):
        chord = CHORDS[bar]
        for half in range(2):
            key = nearest_tone(chord, previous, 62, 76, avoid=previous if half else None)
            pitched(t, COUNTER, bar * BAR + half * 2 * QUARTER, key, 2 * QUARTER - 40, 100)
            previous = key
    return t


class Drummer:
    """Plays hits on the noise channel, changing its program only when needed."""

    SOUNDS = {
        "kick": (NOISE_KICK, KEY_KICK, SIXTEENTH - 30),
        "hat": (NOISE_HAT, KEY_HAT, SIXTEENTH // 2),
        "snare": (NOISE_SNARE, KEY_SNARE, SIXTEENTH - 10),
    }

    def __init__(self, track):
        self.t = track
        self.program = None

    def hit(self, tick, sound, loudness):
        program, key, length = self.SOUNDS[sound]
        if program != self.program:
            self.t.program(NOISE, tick, program)
            self.program = program
        self.t.cc(NOISE, tick, CC_EXPRESSION, loudness)
        self.t.note(NOISE, tick, key, length, 100)


def drums():
    t = Track("Noise drums")
    d = Drummer(t)
    t.program(NOISE, 0, NOISE_HAT)
    d.program = NOISE_HAT
    t.cc(NOISE, 0, CC_EXPRESSION, 64)
    # Intro: hi-hats for two beats, then a snare roll growing into section A.
    for step in range(0, 8, 2):
        d.hit(BAR + step * SIXTEENTH, "hat", 56)
    for step in range(8, 16):
        d.hit(BAR + step * SIXTEENTH, "snare", 48 + (step - 8) * 10)
    groove = {0: "kick", 2: "hat", 4: "snare", 6: "hat", 8: "kick", 10: "hat", 12: "snare", 14: "hat"}
    for bar in bars_of("A", "B", "C"):
        start = bar * BAR
        section = section_of(bar)
        last_of_section = bar + 1 in (10, 18, TOTAL_BARS)
        for step in range(16):
            tick = start + step * SIXTEENTH
            if last_of_section and step >= 12:
                d.hit(tick, "snare", 80 + (step - 12) * 12)
            elif step in groove:
                sound = groove[step]
                d.hit(tick, sound, {"kick": 120, "hat": 64, "snare": 112}[sound])
            elif section == "C" or (step == 15 and bar % 2):
                d.hit(tick, "hat", 40)
    return t


def build_song():
    tracks = [conductor(), loop_marker(), bass(), lead(), epiano(), brass(), strings(),
              bell(), arpeggio(), counter_melody(), echo(), drums()]
    return smf_bytes(tracks)


def song_seconds():
    seconds = 0.0
    for _, _, bars, bpm in SECTIONS:
        seconds += bars * 4 * 60.0 / bpm
    return seconds


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out = argv[1] if len(argv) > 1 else os.path.join(here, "..", "examples", "demo.mid")
    data = build_song()
    with open(out, "wb") as f:
        f.write(data)
    print(f"wrote {os.path.normpath(out)}: {len(data)} bytes, {song_seconds():.1f} s, "
          f"loop from {sum(b * 240.0 / bpm for _, first, b, bpm in SECTIONS if first < LOOP_BAR):.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
