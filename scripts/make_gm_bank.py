#!/usr/bin/env python3
"""Write banks/gm.opm, the General MIDI bank: one YM2612 voice for each of the
128 General MIDI programs, designed family by family.

Each family below has its envelope shapes (`env`) and, where the family shares
one, a template function; each voice names its algorithm, feedback and four
operators. Carrier total levels are written before the voice's `trim` is added,
so a voice can be made louder or softer without touching its timbre.

The output is deterministic: running the script twice gives the same bytes.
The bank's player test (tests/player/gm_bank_test.cpp) measures every program
through the converter and Game Music Emu; after changing a voice, run the
script, rebuild and run that test, which names every program and note that
leaves its bounds and prints its figures family by family.

Usage: python3 scripts/make_gm_bank.py [OUT.opm]   (default banks/gm.opm)
"""

import copy
import os
import sys
from collections import namedtuple

# One operator: the eleven values of an operator line, in file order.
Op = namedtuple("Op", "ar d1r d2r rr d1l tl ks mul dt am")
Env = namedtuple("Env", "ar d1r d2r rr d1l ks")


def env(ar, d1r, d2r, rr, d1l, ks=1):
    return Env(ar, d1r, d2r, rr, d1l, ks)


def op(tl, mul, shape, dt=0, am=0, **change):
    """An operator at total level `tl` and frequency multiple `mul` with the
    envelope `shape`; keyword arguments replace single envelope values."""
    e = shape._replace(**change)
    return Op(e.ar, e.d1r, e.d2r, e.rr, e.d1l, tl, e.ks, mul, dt, am)


OFF = Op(31, 0, 0, 15, 15, 127, 0, 1, 0, 0)  # an operator that is not heard

# Which operators are carriers (heard) in each algorithm, in M1, C1, M2, C2 order.
CARRIERS = {
    0: (False, False, False, True),
    1: (False, False, False, True),
    2: (False, False, False, True),
    3: (False, False, False, True),
    4: (False, True, False, True),
    5: (False, True, True, True),
    6: (False, True, True, True),
    7: (True, True, True, True),
}


class Voice:
    def __init__(self, name, idea, alg, fb, m1, c1, m2, c2, ams=0, pms=0, trim=0):
        self.name, self.idea = name, idea
        self.alg, self.fb, self.ams, self.pms = alg, fb, ams, pms
        self.ops = [m1, c1, m2, c2]
        self.trim = trim
        self.envelope = {}  # steps added to the attack rate ("AR") and the carriers' "D1R", "D2R", "D1L", "RR"
        self.timbre = {}  # steps added to the modulators' TL ("M1" ...) and to the feedback ("FB")

    def feedback(self):
        """The feedback with its timbre step; a step never makes it 7, which
        turns the operator into noise, in a voice not made with it."""
        return max(0, min(max(self.fb, 6), self.fb + self.timbre.get("FB", 0)))

    def stepped(self, name, value, low, high):
        return max(low, min(high, value + self.envelope.get(name, 0)))

    def lines(self, program):
        out = ["// %d %s: %s" % (program, self.name, self.idea),
               "@:%d %s" % (program, self.name),
               "LFO: 0 0 0 0 0",
               "CH: 192 %d %d %d %d 120 0" % (self.feedback(), self.alg, self.ams, self.pms)]
        for label, o, carrier in zip(("M1", "C1", "M2", "C2"), self.ops, CARRIERS[self.alg]):
            if o.tl < 127:
                o = o._replace(ar=self.stepped("AR", o.ar, 1, 31))
            if not carrier and o.tl < 127:
                o = o._replace(tl=max(0, min(126, o.tl + self.timbre.get(label, 0))))
            if carrier and o.tl < 127:
                o = o._replace(tl=max(0, min(126, o.tl + self.trim)), d1r=self.stepped("D1R", o.d1r, 0, 31),
                               d2r=self.stepped("D2R", o.d2r, 0, 31), d1l=self.stepped("D1L", o.d1l, 0, 15),
                               rr=self.stepped("RR", o.rr, 0, 15))
            values = (o.ar, o.d1r, o.d2r, o.rr, o.d1l, o.tl, o.ks, o.mul, o.dt, 0, 128 if o.am else 0)
            out.append("%s: %s" % (label, " ".join(str(v) for v in values)))
        return out


# ---------------------------------------------------------------------------
# Pianos: two modulator-carrier pairs (algorithm 4). The first pair is the
# string body, the second adds a hammer or tine partial that dies away first.
# Key scaling 2 makes high notes die away sooner, as on the instrument.
PNO_C = env(31, 6, 6, 6, 4, ks=2)
PNO_M = env(31, 6, 4, 6, 2, ks=2)
HAMMER = env(31, 12, 7, 6, 15, ks=2)
TINE = env(31, 18, 10, 6, 15, ks=2)
EP_C = env(31, 6, 6, 6, 4, ks=2)
HPS = env(31, 7, 5, 7, 4, ks=2)
CLAV = env(31, 8, 6, 8, 5, ks=2)

PIANOS = [
    Voice("Acoustic Grand Piano", "string body, an octave partial and a ratio-5 hammer that fades fast",
          4, 4, op(24, 1, PNO_M, dt=3), op(12, 1, PNO_C, dt=3), op(34, 5, HAMMER, dt=7), op(24, 2, PNO_C, dt=7)),
    Voice("Bright Acoustic Piano", "the grand with more body modulation and a harder hammer",
          4, 4, op(22, 1, PNO_M, dt=3), op(12, 1, PNO_C, dt=3), op(28, 5, HAMMER, dt=7), op(20, 2, PNO_C, dt=7)),
    Voice("Electric Grand Piano", "two slightly detuned string pairs, a bright ratio-3 hammer",
          4, 4, op(22, 1, PNO_M, dt=3), op(12, 1, PNO_C, dt=3), op(30, 3, HAMMER), op(18, 1, PNO_C, dt=7)),
    Voice("Honky-tonk Piano", "two string pairs detuned against each other for the out-of-tune shimmer",
          4, 4, op(28, 1, PNO_M, dt=3), op(14, 1, PNO_C, dt=3, ks=1, d1r=8, d2r=8),
          op(30, 1, PNO_M, dt=7), op(19, 1, PNO_C, dt=7, ks=1, d1r=8, d2r=8)),
    Voice("Electric Piano 1", "tine piano: round sine body plus a ratio-14 tine that rings briefly",
          4, 0, op(32, 1, EP_C, dt=3), op(12, 1, EP_C), op(30, 14, TINE), op(16, 1, EP_C, dt=7)),
    Voice("Electric Piano 2", "FM piano: glassy body and a ratio-4 bell partial",
          4, 3, op(24, 1, PNO_M), op(12, 1, EP_C), op(28, 4, HAMMER, d1l=8), op(18, 1, EP_C, dt=7)),
    Voice("Harpsichord", "nasal pluck: feedback body plus a four-foot octave pair",
          4, 3, op(16, 1, HPS), op(14, 1, HPS), op(24, 4, HPS), op(20, 2, HPS)),
    Voice("Clavinet", "hard, short and nasal: strong modulation and a ratio-3 bite",
          4, 4, op(14, 1, CLAV), op(14, 1, CLAV), op(22, 3, CLAV, d1r=12), op(20, 1, CLAV, dt=7)),
]

# Chromatic percussion: mallets and bells, a pure fundamental and a bright
# partial (ratio 3 to 14) struck hard and fading fast.
MALLET = env(31, 8, 6, 6, 5, ks=2)
STRIKE = env(31, 11, 8, 6, 15, ks=2)
RING = env(31, 5, 6, 5, 4, ks=2)
SHORT = env(31, 9, 8, 7, 6, ks=2)

CHROMATIC = [
    Voice("Celesta", "soft bell: sine body with a ratio-4 shimmer",
          4, 0, op(40, 4, STRIKE), op(12, 1, MALLET), op(46, 1, STRIKE), op(22, 4, SHORT)),
    Voice("Glockenspiel", "bright steel bar: high partials struck hard over a ringing fundamental",
          4, 0, op(38, 5, STRIKE), op(12, 1, RING), op(40, 3, STRIKE), op(20, 6, SHORT)),
    Voice("Music Box", "small comb tine: pure fundamental and a quick metallic ping",
          4, 0, op(42, 3, STRIKE), op(12, 1, MALLET), op(50, 1, STRIKE), op(24, 5, SHORT)),
    Voice("Vibraphone", "sine bar with its tuned ratio-4 partial and the motor's tremolo",
          4, 0, op(44, 1, STRIKE), op(12, 1, RING, am=1), op(48, 1, STRIKE), op(24, 4, MALLET, am=1), ams=2),
    Voice("Marimba", "wooden bar: round fundamental and a fast ratio-4 knock",
          4, 0, op(38, 4, STRIKE), op(12, 1, SHORT, d1r=9), op(46, 1, STRIKE), op(26, 4, STRIKE)),
    Voice("Xylophone", "hard, dry bar: ratio-3 partial and a short ring",
          4, 0, op(32, 3, STRIKE), op(12, 1, SHORT), op(40, 7, STRIKE), op(22, 3, STRIKE)),
    Voice("Tubular Bells", "clangy chime: ratio-5 and ratio-7 modulation ringing long",
          4, 2, op(30, 5, RING, d1r=7), op(12, 1, RING), op(36, 7, MALLET), op(20, 3, RING)),
    Voice("Dulcimer", "hammered double courses: two detuned bright pairs",
          4, 4, op(30, 1, MALLET, dt=3), op(12, 1, MALLET, dt=3), op(34, 3, STRIKE, dt=7), op(16, 1, MALLET, dt=7)),
]

# Organs: additive drawbars, every operator a carrier (algorithm 7) at
# harmonics 1, 2, 3, 4 (8 ft, 4 ft, 2 2/3 ft, 2 ft); no 16 ft, which would put
# the pitch an octave down. The envelope holds at full level while the key is down.
ORG = env(31, 0, 0, 9, 0, ks=0)
ORG_SOFT = env(24, 0, 0, 8, 0, ks=0)
PERC = env(31, 14, 0, 9, 15, ks=0)


def drawbars(name, idea, levels, muls=(1, 2, 3, 4), shape=ORG, fb=0, pms=0, ams=0, am=(0, 0, 0, 0)):
    ops = [op(tl, mul, shape, am=a) for tl, mul, a in zip(levels, muls, am)]
    return Voice(name, idea, 7, fb, *ops, ams=ams, pms=pms)


ORGANS = [
    drawbars("Drawbar Organ", "tonewheel drawbars 8', 4', 2 2/3', 2', a touch of feedback on the fundamental",
             (14, 18, 22, 26), fb=1),
    Voice("Percussive Organ", "drawbars with the third-harmonic percussion that dies in a moment",
          7, 0, op(14, 1, ORG), op(18, 2, ORG), op(26, 4, ORG), op(18, 3, PERC)),
    Voice("Rock Organ", "overdriven tonewheel: feedback-driven fundamental, bright upper bars, rotor wobble",
          6, 5, op(40, 1, ORG), op(14, 1, ORG), op(20, 2, ORG, am=1), op(24, 4, ORG), ams=1, pms=2),
    drawbars("Church Organ", "pipe principals 8', 4', 2', 1' speaking a little slowly",
             (16, 18, 22, 28), muls=(1, 2, 4, 8), shape=ORG_SOFT, fb=2),
    Voice("Reed Organ", "harmonium: soft reedy pairs, the second an octave up",
          4, 3, op(34, 1, ORG_SOFT), op(14, 1, ORG_SOFT), op(38, 2, ORG_SOFT), op(22, 2, ORG_SOFT)),
    Voice("Accordion", "bright reeds: two pairs, the second with a ratio-3 edge, slow vibrato",
          4, 4, op(33, 1, ORG_SOFT), op(14, 1, ORG_SOFT), op(32, 3, ORG_SOFT), op(24, 1, ORG_SOFT),
          pms=1),
    Voice("Harmonica", "breathy reed with a hand vibrato",
          4, 5, op(28, 1, ORG_SOFT, ar=22), op(14, 1, ORG_SOFT, ar=22), op(36, 2, ORG_SOFT, ar=22),
          op(24, 1, ORG_SOFT, ar=22), pms=2),
    Voice("Tango Accordion", "bandoneon: darker reeds, slower to speak",
          4, 3, op(34, 1, ORG_SOFT, ar=20, dt=3), op(14, 1, ORG_SOFT, ar=20), op(38, 3, ORG_SOFT, ar=20, dt=7),
          op(24, 1, ORG_SOFT, ar=20), pms=1),
]

# Guitars: plucked pairs; the modulators fade faster than the carriers, so
# each note starts bright and mellows, and key scaling shortens high notes.
GTR_C = env(31, 7, 6, 6, 4, ks=2)
GTR_M = env(31, 8, 5, 6, 4, ks=2)
PLUCK = env(31, 16, 8, 6, 15, ks=2)
MUTE = env(31, 10, 9, 8, 5, ks=2)
DRIVE = env(31, 5, 6, 6, 2, ks=2)

GUITARS = [
    Voice("Acoustic Guitar (nylon)", "soft round pluck with a quick third-partial snap",
          4, 3, op(30, 1, GTR_M), op(12, 1, GTR_C), op(36, 3, PLUCK), op(22, 1, GTR_C, dt=7)),
    Voice("Acoustic Guitar (steel)", "brighter pluck, ratio-5 string zing on a third-partial carrier",
          4, 3, op(26, 1, GTR_M), op(12, 1, GTR_C), op(30, 5, PLUCK), op(20, 3, GTR_C, dt=7)),
    Voice("Electric Guitar (jazz)", "warm hollow-body: little modulation, a soft ratio-2 colour",
          4, 2, op(33, 1, GTR_M), op(12, 1, GTR_C), op(40, 2, GTR_M), op(22, 1, GTR_C)),
    Voice("Electric Guitar (clean)", "clear single-coil: feedback body and a ratio-3 edge",
          4, 3, op(23, 1, GTR_M), op(12, 1, GTR_C), op(30, 3, PLUCK), op(18, 1, GTR_C, dt=7)),
    Voice("Electric Guitar (muted)", "palm-muted: short thump with a dull edge",
          4, 3, op(26, 1, MUTE), op(12, 1, MUTE), op(32, 2, MUTE), op(20, 1, MUTE)),
    Voice("Overdriven Guitar", "crunch: a feedback chain of three modulators driving one carrier",
          0, 5, op(26, 1, DRIVE), op(26, 1, DRIVE), op(20, 2, DRIVE), op(12, 1, DRIVE)),
    Voice("Distortion Guitar", "heavier drive: harder feedback chain with a ratio-3 grind",
          0, 6, op(20, 1, DRIVE), op(22, 3, DRIVE), op(16, 1, DRIVE), op(12, 1, DRIVE)),
    Voice("Guitar Harmonics", "glassy harmonic: nearly pure tone with a bell-like touch",
          4, 0, op(50, 1, GTR_C), op(12, 1, GTR_C), op(40, 4, PLUCK), op(26, 2, GTR_C)),
]

# Basses: plucked or synthetic, strong fundamental; modulation falls quickly so
# the attack speaks and the tail is round.
BASS_C = env(31, 7, 6, 7, 4, ks=2)
BASS_M = env(31, 8, 5, 7, 4, ks=2)
THUMP = env(31, 18, 9, 7, 15, ks=2)
FRETLESS = env(26, 6, 6, 7, 4, ks=2)
SYNBASS = env(31, 8, 6, 7, 5, ks=2)

BASSES = [
    Voice("Acoustic Bass", "upright: round body and a soft finger thump",
          4, 2, op(28, 1, BASS_M), op(12, 1, BASS_C), op(34, 3, THUMP), op(22, 1, BASS_C)),
    Voice("Electric Bass (finger)", "finger bass: warm feedback pair and a little growl",
          4, 3, op(25, 1, BASS_M), op(12, 1, BASS_C), op(34, 2, BASS_M), op(22, 1, BASS_C)),
    Voice("Electric Bass (pick)", "picked: the finger bass with a bright ratio-7 click",
          4, 3, op(23, 1, BASS_M), op(12, 1, BASS_C), op(28, 7, THUMP), op(20, 1, BASS_C)),
    Voice("Fretless Bass", "singing fretless: softer attack and a slow 'mwah' of modulation",
          4, 2, op(28, 1, FRETLESS, d1r=3, d1l=3), op(12, 1, FRETLESS), op(40, 2, FRETLESS), op(22, 1, FRETLESS)),
    Voice("Slap Bass 1", "slap: thumb pop of a ratio-3 modulator struck hard",
          4, 4, op(16, 3, BASS_M, d1r=11, d1l=8), op(12, 1, BASS_C), op(20, 1, BASS_M), op(20, 1, BASS_C)),
    Voice("Slap Bass 2", "popped string: brighter and more metallic",
          4, 5, op(17, 1, BASS_M), op(12, 1, BASS_C), op(22, 5, THUMP), op(18, 2, BASS_C)),
    Voice("Synth Bass 1", "analogue saw bass: a feedback sawtooth that softens as it fades, on a sine body",
          7, 6, op(6, 1, SYNBASS, d1r=9), op(16, 1, SYNBASS), OFF, OFF),
    Voice("Synth Bass 2", "square bass: ratio-2 modulation for odd harmonics, closing fast",
          4, 2, op(20, 2, SYNBASS, d1r=10), op(12, 1, SYNBASS), op(30, 1, SYNBASS), op(22, 1, SYNBASS)),
]

# Strings: bowed tones from a feedback (saw-like) modulator, a bowed attack of
# a few tens of milliseconds, vibrato from the chip's LFO. Pizzicato, harp and
# timpani are struck or plucked and decay.
BOW = env(14, 0, 0, 6, 0, ks=1)
BOW_M = env(15, 2, 0, 6, 1, ks=1)
PIZZ = env(31, 11, 9, 7, 5, ks=1)
HARP = env(31, 6, 5, 5, 4, ks=2)
DRUM = env(31, 9, 7, 6, 5, ks=1)


def bowed(name, idea, fb, m1, m2, mul2, pms=3, shape=BOW, mshape=BOW_M, ams=0, am=0):
    return Voice(name, idea, 4, fb, op(m1, 1, mshape, dt=3), op(12, 1, shape, am=am),
                 op(m2, mul2, mshape, dt=7), op(25, 1, shape, am=am), ams=ams, pms=pms)


STRINGS = [
    bowed("Violin", "bowed saw with a ratio-3 nasal edge and vibrato", 3, 19, 32, 3),
    bowed("Viola", "darker bowed saw, ratio-2 body", 3, 18, 30, 2),
    bowed("Cello", "warm, rich bow with vibrato", 3, 17, 32, 2),
    bowed("Contrabass", "deep bow, gentle feedback", 2, 22, 34, 1, pms=2),
    bowed("Tremolo Strings", "bowed section with the chip's amplitude tremolo", 3, 21, 30, 2, pms=2, ams=2, am=1),
    Voice("Pizzicato Strings", "plucked string: short round pizz",
          4, 3, op(30, 1, PIZZ), op(12, 1, PIZZ), op(36, 3, PLUCK), op(22, 1, PIZZ)),
    # The octave carrier 16 dB under the body's: FluidR3's harp is almost a
    # pure fundamental from G4 up, and a louder octave cost its songs' chroma.
    Voice("Orchestral Harp", "harp: soft pluck that rings, with a faint octave",
          4, 2, op(34, 1, HARP), op(12, 1, HARP), op(38, 4, PLUCK), op(34, 2, HARP)),
    Voice("Timpani", "kettle drum: round pitched boom with a soft mallet attack",
          4, 3, op(36, 1, DRUM), op(12, 1, DRUM), op(34, 3, THUMP), op(22, 2, DRUM)),
]

# Ensembles: sections and voices. The carriers of a pair keep one pitch while
# their modulators are detuned, so the tone moves like many players without
# the volume beating of detuned carriers.
SECTION = env(13, 0, 0, 5, 0, ks=1)
SLOW = env(11, 0, 0, 5, 0, ks=1)
VOICE = env(12, 0, 0, 5, 0, ks=1)
HIT = env(31, 9, 8, 7, 5, ks=1)

ENSEMBLES = [
    Voice("String Ensemble 1", "string section: two saw pairs with detuned modulators",
          4, 3, op(20, 1, SECTION, dt=3), op(12, 1, SECTION), op(24, 1, SECTION, dt=7), op(20, 1, SECTION), pms=2),
    Voice("String Ensemble 2", "slow strings: softer section fading in",
          4, 3, op(24, 1, SLOW, dt=3), op(12, 1, SLOW), op(30, 2, SLOW, dt=7), op(20, 1, SLOW), pms=2),
    Voice("Synth Strings 1", "bright analogue strings: strongly modulated saws",
          4, 4, op(16, 1, SECTION, dt=3), op(12, 1, SECTION), op(19, 1, SECTION, dt=7), op(20, 1, SECTION), pms=1),
    Voice("Synth Strings 2", "soft analogue strings, slower: a feedback sawtooth with a faint octave",
          7, 6, op(10, 1, SLOW), op(30, 2, SLOW), OFF, OFF, pms=1),
    Voice("Choir Aahs", "open 'ah': one modulator feeding carriers on harmonics 1, 2 and 3 (formants)",
          5, 0, op(40, 1, VOICE), op(12, 1, VOICE), op(18, 2, VOICE), op(26, 3, VOICE), pms=2),
    Voice("Voice Oohs", "round 'oo': nearly pure with a soft second harmonic",
          5, 0, op(40, 1, VOICE), op(12, 1, VOICE), op(26, 2, VOICE), op(40, 3, VOICE), pms=2),
    Voice("Synth Voice", "synthetic vocal: bright formant pair",
          4, 3, op(32, 1, VOICE), op(12, 1, VOICE), op(32, 4, VOICE), op(26, 2, VOICE), pms=2),
    Voice("Orchestra Hit", "tutti stab: heavy feedback brass and string pairs dying away",
          4, 6, op(22, 1, HIT), op(12, 1, HIT), op(26, 2, HIT), op(16, 1, HIT)),
]

# Brass: a chain into one carrier (algorithm 3). A feedback operator at
# level 24 drives the middle modulator, whose level sets the brightness (lower
# is brighter: 30 a trumpet, 32 a trombone, 34 a horn); it opens a little
# slower than the carrier and settles 3 dB darker, the brassy swell.
BRASS_C = env(20, 2, 0, 7, 1, ks=1)
BRASS_M = env(17, 4, 0, 7, 1, ks=1)
BRASS_FB = env(20, 0, 0, 7, 0, ks=1)
HORN = env(16, 2, 0, 7, 1, ks=1)


def brass(name, idea, c1, m2=127, mul2=1, shape=BRASS_C, mshape=BRASS_M, pms=2):
    return Voice(name, idea, 3, 6, op(24, 1, BRASS_FB), op(c1, 1, mshape), op(m2, mul2, mshape),
                 op(12, 1, shape), pms=pms)


BRASSES = [
    brass("Trumpet", "bright bell: second to fourth harmonics above the fundamental", 29),
    brass("Trombone", "darker slide brass", 31),
    brass("Tuba", "round, dark low brass", 34, pms=1),
    brass("Muted Trumpet", "thin nasal mute: a ratio-3 edge over a bright trumpet", 30, 36, 3),
    brass("French Horn", "mellow, covered horn speaking softly", 33, shape=HORN, mshape=HORN),
    Voice("Brass Section", "two brass pairs, one with a ratio-2 edge",
          4, 3, op(18, 1, BRASS_M, dt=3), op(12, 1, BRASS_C), op(24, 2, BRASS_M, dt=7), op(20, 1, BRASS_C), pms=2),
    Voice("Synth Brass 1", "analogue brass: bright saw with a filter swell",
          4, 4, op(15, 1, BRASS_M, ar=15), op(12, 1, BRASS_C), op(18, 1, BRASS_M, ar=15, dt=7), op(20, 1, BRASS_C)),
    Voice("Synth Brass 2", "softer, warmer analogue brass",
          4, 3, op(21, 1, BRASS_M, ar=14), op(12, 1, BRASS_C), op(30, 2, BRASS_M, ar=14), op(20, 1, BRASS_C)),
]

# Reeds: a feedback pair for the reed buzz and a modulator at the ratio that
# places the formant (2 for the clarinet's odd harmonics, 3 to 4 for nasal
# double reeds) into one carrier.
REED = env(20, 0, 0, 7, 0, ks=1)
REED_M = env(19, 3, 0, 7, 1, ks=1)


def reed(name, idea, fb, m1, c1, m2, mul2, mulc1=1, pms=2):
    return Voice(name, idea, 3, fb, op(m1, 1, REED_M), op(c1, mulc1, REED_M), op(m2, mul2, REED_M),
                 op(12, 1, REED), pms=pms)


REEDS = [
    reed("Soprano Sax", "bright, nasal sax", 3, 30, 23, 30, 3),
    reed("Alto Sax", "classic alto: reedy feedback pair and a ratio-2 body", 3, 30, 25, 30, 2),
    reed("Tenor Sax", "darker, breathy tenor", 4, 32, 25, 34, 2),
    reed("Baritone Sax", "growling baritone: heavy feedback", 5, 28, 22, 36, 1),
    reed("Oboe", "nasal double reed: ratio-4 formant", 3, 40, 28, 36, 1, mulc1=4),
    reed("English Horn", "darker oboe: ratio-3 formant", 3, 40, 28, 36, 1, mulc1=3),
    reed("Bassoon", "dark, buzzing double reed", 4, 30, 24, 30, 2),
    reed("Clarinet", "hollow woody tone: ratio-2 modulation, odd harmonics only", 0, 127, 127, 30, 2, pms=1),
]

# Pipes: a near-sine carrier, a faint second or third harmonic, and a breath:
# a feedback-noise modulator on a quiet carrier, strongest at the attack (chiff).
PIPE = env(16, 0, 0, 7, 0, ks=1)
BREATH_N = env(31, 0, 0, 7, 0, ks=1)
CHIFF = env(31, 12, 0, 7, 6, ks=1)


def pipe(name, idea, chiff_tl, mul2, m2_tl, mulc1=4, shape=PIPE, pms=2, breath=CHIFF):
    # M1 (feedback 7) is noise; it colours the quiet carrier C1 around harmonic `mulc1`.
    return Voice(name, idea, 6, 7, op(16, 1, BREATH_N), op(chiff_tl, mulc1, breath), op(m2_tl, mul2, shape),
                 op(12, 1, shape), pms=pms)


PIPES = [
    pipe("Piccolo", "high, pure and piercing with a short chiff", 30, 2, 34),
    pipe("Flute", "soft flute: sine, a breath of noise, a gentle vibrato", 30, 2, 30),
    pipe("Recorder", "woody, hollow: a faint third harmonic", 32, 3, 32, pms=1),
    pipe("Pan Flute", "breathy pan pipe with a strong chiff", 24, 2, 36, breath=CHIFF._replace(d1l=4)),
    pipe("Blown Bottle", "hollow bottle: mostly breath and fundamental", 34, 3, 40, mulc1=2,
         shape=PIPE._replace(ar=13), breath=BREATH_N._replace(ar=13)),
    pipe("Shakuhachi", "breathy bamboo with a wide vibrato", 24, 2, 34, pms=3, breath=CHIFF._replace(d1l=3)),
    Voice("Whistle", "whistled tone: sine with vibrato",
          7, 0, OFF, OFF, op(40, 2, PIPE), op(12, 1, PIPE), pms=3),
    Voice("Ocarina", "round clay flute: sine with a faint third harmonic",
          7, 0, OFF, OFF, op(36, 3, PIPE), op(12, 1, PIPE), pms=1),
]

# Synth leads: bright, fast, held at full level; vibrato light.
LEAD = env(31, 0, 0, 8, 0, ks=1)
LEAD_M = env(31, 3, 0, 8, 1, ks=1)

LEADS = [
    Voice("Lead 1 (square)", "square wave: ratio-2 modulation gives the odd harmonics",
          4, 0, op(26, 2, LEAD), op(12, 1, LEAD), op(28, 2, LEAD), op(26, 1, LEAD), pms=2),
    Voice("Lead 2 (sawtooth)", "sawtooth: the feedback operator heard on its own, every harmonic",
          7, 6, op(8, 1, LEAD), OFF, OFF, OFF, pms=2),
    Voice("Lead 3 (calliope)", "steam whistle: fundamental, strong third harmonic, breath",
          6, 7, op(20, 1, LEAD), op(34, 4, LEAD), op(24, 3, LEAD), op(12, 1, LEAD), pms=3),
    Voice("Lead 4 (chiff)", "lead with a noisy chiff at the start of each note",
          4, 0, op(22, 4, CHIFF, d1l=15, d1r=14), op(12, 1, LEAD), op(24, 2, LEAD), op(24, 1, LEAD), pms=2),
    Voice("Lead 5 (charang)", "distorted guitar lead: feedback chain with a ratio-3 grind",
          0, 5, op(20, 1, LEAD_M), op(22, 3, LEAD_M), op(16, 1, LEAD_M), op(12, 1, LEAD), pms=2),
    Voice("Lead 6 (voice)", "sung lead: formant carriers on harmonics 1, 2, 3",
          5, 2, op(36, 1, LEAD), op(12, 1, LEAD), op(22, 2, LEAD), op(28, 3, LEAD), pms=3),
    Voice("Lead 7 (fifths)", "saw with a strong twelfth (the fifth above the octave)",
          4, 5, op(28, 1, LEAD), op(12, 1, LEAD), op(30, 1, LEAD), op(22, 3, LEAD), pms=1),
    Voice("Lead 8 (bass + lead)", "fat saw: the feedback sawtooth over a heavy sine fundamental",
          7, 6, op(10, 1, LEAD), op(14, 1, LEAD), OFF, OFF, pms=1),
]

# Synth pads: slow-ish attack, long release, held at full level. Where a pad
# brightens or moves, a modulator does it, so the loudness stays even.
PAD = env(12, 0, 0, 5, 0, ks=0)
PAD_SLOW = env(11, 0, 0, 5, 0, ks=0)
BELL_TAIL = env(31, 7, 5, 5, 6, ks=1)
SWEEP = env(7, 0, 0, 5, 0, ks=0)

PADS = [
    Voice("Pad 1 (new age)", "warm pad under a struck ratio-5 bell",
          4, 2, op(40, 1, PAD), op(12, 1, PAD), op(36, 5, BELL_TAIL), op(26, 2, BELL_TAIL)),
    Voice("Pad 2 (warm)", "warm saw pad: a soft feedback sawtooth over a sine, slow to swell",
          7, 5, op(12, 1, PAD_SLOW), op(18, 1, PAD_SLOW), OFF, OFF, pms=2),
    Voice("Pad 3 (polysynth)", "brassy poly pad: two feedback saws",
          4, 4, op(18, 1, PAD, dt=3), op(12, 1, PAD), op(22, 1, PAD, dt=7), op(20, 1, PAD), pms=1),
    Voice("Pad 4 (choir)", "choir pad: formant carriers, slow",
          5, 0, op(42, 1, PAD_SLOW), op(12, 1, PAD_SLOW), op(20, 2, PAD_SLOW), op(30, 3, PAD_SLOW), pms=2),
    Voice("Pad 5 (bowed)", "bowed glass: soft pair with a ratio-3 shimmer",
          4, 2, op(40, 1, PAD_SLOW), op(12, 1, PAD_SLOW), op(38, 3, PAD_SLOW), op(22, 2, PAD_SLOW), pms=1),
    Voice("Pad 6 (metallic)", "metallic pad: ratio-7 and ratio-11 modulation",
          4, 0, op(36, 7, PAD), op(12, 1, PAD), op(40, 11, PAD), op(22, 2, PAD), pms=1),
    Voice("Pad 7 (halo)", "airy halo: vocal carriers on harmonics 1, 2 and 4",
          5, 0, op(44, 1, PAD_SLOW), op(12, 1, PAD_SLOW), op(24, 2, PAD_SLOW), op(28, 4, PAD_SLOW), pms=2),
    Voice("Pad 8 (sweep)", "filter sweep: the modulators fade in slowly, brightening the held note",
          3, 5, op(30, 1, SWEEP), op(30, 1, SWEEP, dt=7), op(34, 2, SWEEP), op(12, 1, PAD), pms=1),
]

# Synth effects: stand-ins built from the same pieces.
FX_DROP = env(31, 9, 7, 5, 5, ks=2)
SHIMMER = env(12, 0, 0, 4, 0, ks=0)

EFFECTS = [
    Voice("FX 1 (rain)", "falling drops: high, short glassy pings",
          4, 0, op(34, 7, STRIKE), op(12, 1, FX_DROP), op(36, 3, STRIKE), op(20, 4, FX_DROP)),
    Voice("FX 2 (soundtrack)", "dark cinematic pad, slow",
          3, 4, op(40, 1, PAD_SLOW, dt=3), op(42, 1, PAD_SLOW, dt=7), op(46, 3, PAD_SLOW), op(12, 1, PAD_SLOW),
          pms=2),
    Voice("FX 3 (crystal)", "crystal: bright ratio-7 and ratio-9 bells over a pure tone",
          4, 0, op(36, 9, STRIKE), op(12, 1, RING), op(36, 7, STRIKE), op(20, 4, FX_DROP)),
    Voice("FX 4 (atmosphere)", "nylon pluck with an airy tail",
          4, 3, op(38, 1, GTR_M), op(12, 1, GTR_C), op(40, 2, HARP), op(20, 2, HARP)),
    Voice("FX 5 (brightness)", "bright shimmering pad",
          4, 3, op(34, 1, SHIMMER), op(12, 1, SHIMMER), op(30, 4, SHIMMER), op(26, 2, SHIMMER), pms=1),
    Voice("FX 6 (goblins)", "dark warbling pad with a deep vibrato",
          3, 5, op(36, 1, PAD_SLOW), op(40, 3, SWEEP), op(40, 1, PAD_SLOW), op(12, 1, PAD_SLOW), pms=4),
    Voice("FX 7 (echoes)", "plucked tone pulsing with the chip's tremolo as it fades",
          4, 2, op(36, 1, GTR_M), op(12, 1, GTR_C, am=1), op(40, 3, GTR_M), op(22, 2, GTR_C, am=1), ams=3),
    Voice("FX 8 (sci-fi)", "metallic ring with a wobbling pitch",
          4, 3, op(32, 5, PAD), op(12, 1, PAD), op(38, 11, PAD), op(24, 3, PAD), pms=5),
]

# Ethnic instruments.
TWANG = env(31, 9, 7, 7, 5, ks=2)

ETHNIC = [
    Voice("Sitar", "buzzing bridge: hard feedback and a ratio-7 jangle",
          4, 5, op(18, 1, GTR_M), op(12, 1, GTR_C), op(26, 7, GTR_M), op(20, 1, GTR_C)),
    Voice("Banjo", "bright, fast twang with a ratio-3 edge",
          4, 4, op(28, 3, TWANG), op(12, 1, TWANG), op(32, 1, TWANG), op(18, 2, TWANG)),
    Voice("Shamisen", "dry, percussive twang",
          4, 4, op(20, 1, TWANG, d1r=12), op(12, 1, TWANG, ks=1, d1r=10), op(28, 5, PLUCK), op(20, 2, TWANG, ks=1)),
    Voice("Koto", "plucked silk: clear and ringing",
          4, 3, op(26, 1, GTR_M), op(12, 1, GTR_C), op(32, 3, PLUCK), op(20, 2, GTR_C)),
    Voice("Kalimba", "thumb piano: soft bell tine, short",
          4, 0, op(44, 1, MALLET), op(12, 1, MALLET), op(40, 6, STRIKE), op(22, 3, STRIKE)),
    Voice("Bagpipe", "chanter: nasal, bright reed, no attack softening",
          3, 5, op(34, 1, REED_M, ar=28), op(30, 3, REED_M, ar=28), op(40, 2, REED_M, ar=28), op(12, 1, REED, ar=28)),
    Voice("Fiddle", "folk fiddle: bright bow, quick vibrato",
          4, 3, op(21, 1, BOW_M, ar=20), op(12, 1, BOW, ar=20), op(30, 3, BOW_M, ar=20), op(22, 1, BOW, ar=20),
          pms=3),
    Voice("Shanai", "piercing double reed: ratio-4 formant and feedback",
          3, 5, op(34, 1, REED_M), op(28, 4, REED_M), op(40, 1, REED_M), op(12, 1, REED), pms=2),
]

# Percussive: struck, mostly short; the pitched ones keep a clear fundamental.
KNOCK = env(31, 11, 10, 8, 15, ks=1)
TOM = env(31, 9, 7, 7, 6, ks=1)
NOISE_HIT = env(31, 16, 10, 8, 15, ks=1)
SWELL = env(12, 0, 0, 8, 0, ks=0)

PERCUSSIVE = [
    Voice("Tinkle Bell", "small high bell: ratio-5 and ratio-7 bright partials",
          4, 0, op(32, 5, STRIKE), op(12, 1, MALLET), op(34, 7, STRIKE), op(18, 3, MALLET)),
    Voice("Agogo", "cowbell-like clank: ratio-3 and ratio-5, short",
          4, 2, op(26, 3, SHORT), op(12, 1, SHORT), op(30, 5, SHORT), op(18, 2, SHORT)),
    Voice("Steel Drums", "pan: round tone with a bright overtone that fades",
          4, 0, op(34, 1, STRIKE), op(12, 1, MALLET), op(36, 3, STRIKE), op(16, 2, MALLET)),
    Voice("Woodblock", "hollow knock: very short, bright",
          4, 0, op(30, 3, KNOCK), op(12, 1, KNOCK), op(40, 5, KNOCK), op(20, 2, KNOCK)),
    Voice("Taiko Drum", "deep boom: round fundamental and a burst of skin noise",
          6, 7, op(20, 1, NOISE_HIT), op(26, 3, NOISE_HIT), op(36, 2, DRUM), op(12, 1, DRUM)),
    Voice("Melodic Tom", "tom: pitched body with a quick attack",
          6, 7, op(22, 1, NOISE_HIT), op(28, 4, NOISE_HIT), op(40, 2, TOM), op(12, 1, TOM)),
    Voice("Synth Drum", "electronic tom: sine with a short feedback snap",
          4, 5, op(26, 1, NOISE_HIT), op(12, 1, TOM), op(127, 1, TOM), op(22, 1, TOM)),
    Voice("Reverse Cymbal", "swelling noise over a ratio-3 metallic tone",
          6, 7, op(14, 1, SWELL), op(28, 5, SWELL), op(36, 3, SWELL), op(12, 1, SWELL)),
]

# Sound effects: pitched stand-ins; the noisy ones mix feedback noise with a
# clear fundamental so the note still has a pitch.
SOUND_EFFECTS = [
    Voice("Guitar Fret Noise", "string squeak: quick noisy slide on a thin tone",
          6, 7, op(18, 1, NOISE_HIT), op(24, 6, NOISE_HIT), op(30, 2, KNOCK), op(12, 1, TOM)),
    Voice("Breath Noise", "breath: noise around a soft flute-like tone",
          6, 7, op(14, 1, BREATH_N), op(31, 3, PIPE), op(127, 1, PIPE), op(12, 1, PIPE)),
    Voice("Seashore", "surf: slow noise swell over a low hum",
          6, 7, op(12, 1, SWELL), op(28, 2, SWELL), op(127, 1, SWELL), op(12, 1, SWELL), ams=2),
    Voice("Bird Tweet", "whistle warbling with the deepest vibrato",
          7, 0, OFF, OFF, op(34, 2, LEAD), op(12, 1, LEAD), pms=6),
    Voice("Telephone Ring", "bell tone trembling with the chip's tremolo",
          4, 0, op(30, 4, LEAD), op(12, 1, LEAD, am=1), op(34, 6, LEAD), op(22, 2, LEAD, am=1), ams=2),
    Voice("Helicopter", "rotor: buzzy low tone throbbing",
          4, 7, op(26, 1, LEAD), op(24, 1, LEAD, am=1), op(28, 1, LEAD), op(12, 1, LEAD, am=1), ams=2),
    Voice("Applause", "crowd: noise on a high carrier over a soft tone",
          6, 7, op(10, 1, LEAD), op(28, 7, LEAD), op(127, 1, LEAD), op(12, 1, LEAD)),
    Voice("Gunshot", "shot: loud noise burst over a falling thump",
          6, 7, op(8, 1, NOISE_HIT), op(18, 2, NOISE_HIT), op(127, 1, TOM), op(12, 1, TOM)),
]

FAMILIES = [
    ("Piano", PIANOS), ("Chromatic Percussion", CHROMATIC), ("Organ", ORGANS), ("Guitar", GUITARS),
    ("Bass", BASSES), ("Strings", STRINGS), ("Ensemble", ENSEMBLES), ("Brass", BRASSES),
    ("Reed", REEDS), ("Pipe", PIPES), ("Synth Lead", LEADS), ("Synth Pad", PADS),
    ("Synth Effects", EFFECTS), ("Ethnic", ETHNIC), ("Percussive", PERCUSSIVE), ("Sound Effects", SOUND_EFFECTS),
]

# Loudness trims (total-level steps added to every carrier, 0.75 dB each),
# measured by scripts/measure_gm_trims.py through fmroll and Game Music Emu so
# that every program plays at about the same RMS level at velocity 100.
TRIMS = {
    1: 1, 2: 2, 3: -1, 4: 5, 5: 2, 6: -1, 7: -1, 8: -5, 9: -4, 10: -6, 11: -4, 12: -6, 13: -7,
    15: -1, 16: 3, 17: 3, 18: 2, 19: 3, 20: 2, 22: 2, 24: -6, 27: 3, 28: -10, 29: 1, 31: 1, 32: -5,
    33: 2, 34: -4, 35: 2, 37: -3, 38: 2, 39: 1, 40: 3, 41: 3, 42: 4, 43: 4, 45: -5, 46: -1, 47: -5,
    48: 2, 49: 2, 50: 5, 51: 4, 52: 4, 53: 2, 54: 1, 55: 1, 58: 3, 61: 3, 62: 5, 63: 4, 64: 1,
    65: 2, 66: 2, 67: 3, 68: 2, 69: 2, 70: 3, 71: 3, 72: 2, 73: 2, 74: 2, 75: 2, 76: 2, 77: 2,
    78: 2, 79: 2, 80: 2, 81: 5, 82: 2, 83: 3, 84: 2, 85: 2, 86: -1, 87: 11, 88: 1, 89: 7, 90: 4,
    91: 3, 92: 4, 93: 2, 94: 2, 95: 4, 96: -1, 97: 1, 98: -4, 99: 1, 100: 4, 101: -1, 102: -2,
    103: 2, 104: -1, 105: -7, 106: -3, 107: -4, 108: -8, 109: -1, 110: 5, 111: 2, 112: -3, 113: -8,
    114: -2, 115: -7, 116: -6, 117: -5, 118: -8, 119: 2, 120: -7, 121: 1, 122: 2, 123: 1, 124: -2,
    125: -4, 126: 2, 127: -8,
}

# Envelope steps, measured by scripts/measure_gm_envelopes.py so that each
# program's level follows FluidR3 GM's through a held note and after it is let
# go: steps added to every operator's attack rate ("AR") and to the carriers'
# first and second decay rates, first decay level and release rate ("D1R",
# "D2R", "D1L", "RR"). A rate is about twice as fast two steps up (one step
# for "RR"); each "D1L" step is 3 dB deeper. A release slower than
# the instrument's blurs the next note's onset, a decay where it holds makes a
# long note fade.
# The nylon guitar (24) keeps its template's decay: the search made it two
# steps faster, which fits its notes an octave either side of middle C but
# fades middle C's 5 dB early, and in the corpus's guitar songs its notes
# then sounded too soon gone (loudness 0.857 against 0.889 over eight songs).
ENVELOPE_STEPS = {
    2: {"D1R": -2}, 3: {"RR": 1}, 4: {"D1R": -4, "RR": 2}, 5: {"D1R": -4}, 6: {"D1L": 2},
    7: {"D1R": -4}, 8: {"D1R": 2, "RR": -1}, 9: {"D1L": 4, "D1R": 4, "RR": -1},
    10: {"D1L": 2, "D1R": 2}, 11: {"D1L": -4, "RR": 1}, 12: {"D1L": 2, "D1R": 2, "RR": -1},
    13: {"D1L": 4, "D1R": 4, "RR": -2}, 14: {"D1R": 2, "RR": -2}, 15: {"D1L": 4, "RR": 1},
    16: {"D2R": 4, "RR": 1}, 17: {"D2R": 4}, 18: {"D2R": 2}, 19: {"D2R": 2, "RR": -2},
    20: {"RR": 1}, 21: {"D2R": 4, "RR": 1}, 22: {"D2R": 4, "RR": 2}, 23: {"D2R": 4, "RR": 1},
    25: {"RR": -3}, 26: {"D1R": -2, "RR": 2}, 27: {"D1L": -2, "D1R": -4, "RR": 1},
    28: {"D1L": 2, "D1R": 2, "D2R": 2}, 29: {"D1R": -4, "RR": 2}, 30: {"D1R": -4, "RR": 1},
    31: {"D1R": -4, "RR": 2}, 32: {"D1R": 4, "RR": 1}, 33: {"D1R": -2, "D2R": -4, "RR": 1},
    34: {"D1L": -4, "RR": 1}, 35: {"D1R": -2, "RR": 1}, 36: {"D2R": -4, "RR": 1},
    37: {"D1R": 2, "D2R": -2, "RR": 1}, 38: {"D1L": 2, "D1R": 2, "RR": 1}, 39: {"D1R": -4, "RR": 1},
    40: {"RR": 1}, 41: {"RR": 2}, 42: {"RR": 1}, 43: {"RR": -2}, 45: {"D1L": 4, "D1R": 2, "D2R": 4},
    46: {"D1L": 2, "D1R": 2, "RR": -2}, 47: {"D1L": 4, "D1R": 4, "D2R": 4, "RR": 1},
    48: {"D2R": 4, "RR": 1}, 49: {"AR": -4, "D2R": 4}, 51: {"D2R": 2}, 52: {"D2R": 4},
    53: {"D2R": 4, "RR": 2}, 54: {"D2R": 2}, 55: {"D1L": 4, "D2R": 4, "RR": -1}, 56: {"RR": 1},
    57: {"D1R": -4, "RR": 1}, 58: {"RR": 1}, 59: {"RR": 1}, 60: {"D1R": 2, "RR": 1},
    61: {"AR": -4, "RR": 1}, 62: {"D1R": 2, "RR": 1}, 63: {"D1R": 2, "RR": 1},
    64: {"D2R": 4, "RR": 1}, 65: {"RR": 1}, 66: {"RR": 1}, 67: {"RR": 1}, 68: {"RR": 1},
    69: {"D2R": 2, "RR": 1}, 70: {"RR": 1}, 71: {"RR": 2}, 88: {"D2R": 4}, 89: {"AR": -4, "RR": 1},
    90: {"AR": 4, "D2R": 4, "RR": 1}, 91: {"AR": 2}, 92: {"AR": 2, "D2R": 4},
    93: {"AR": -4, "D2R": 4}, 94: {"D2R": 4, "RR": -1}, 96: {"D1R": -4, "D2R": -4, "RR": -1},
    97: {"D2R": 4}, 98: {"D1R": 4}, 99: {"D1R": -4, "RR": -2}, 100: {"D2R": 4, "RR": 1},
    101: {"AR": -4, "D2R": 2}, 102: {"D1R": -4, "RR": -5}, 103: {"D2R": 4}, 104: {"RR": -2},
    105: {"D1L": 4, "D1R": 2, "D2R": 2, "RR": -3}, 106: {"D1R": 2}, 107: {"D1L": 2, "D1R": 4},
    108: {"D1L": 4, "D1R": 4, "D2R": 4, "RR": -2}, 109: {"RR": 1}, 110: {"D2R": 2, "RR": 2},
    111: {"D2R": 2, "RR": 1}, 112: {"D1L": 4, "D1R": 2, "D2R": 4, "RR": -1},
    113: {"D1L": 4, "D1R": 4, "D2R": 4}, 114: {"D1L": 4, "D1R": 2, "D2R": 4}, 115: {"D1R": 4},
    116: {"D1L": 4, "D1R": 4, "D2R": 4}, 117: {"D1L": 4, "D1R": 4, "D2R": 4},
    118: {"D1L": 4, "D1R": 4, "D2R": 4}, 119: {"AR": -4, "RR": 2},
    120: {"D1L": 4, "D1R": 4, "D2R": 4}, 121: {"D2R": 4, "RR": 2},
    122: {"AR": -4, "D2R": 4, "RR": -2}, 123: {"D2R": 4}, 124: {"D2R": 4},
    125: {"D2R": 4, "RR": -3}, 126: {"RR": -4}, 127: {"D1L": 4, "D1R": 4, "RR": -1},
}

# Timbre steps, measured by scripts/measure_gm_timbres.py so that each
# program's spectrum, folded into semitones, comes closer to FluidR3 GM's:
# steps added to a modulator's total level (0.75 dB each; more is darker) and
# to the feedback. One entry differs from the measurement: the sitar (104)
# keeps its feedback, whose step took away its pitch (the bank's player test
# finds none in it).
TIMBRE_STEPS = {
    0: {"FB": 2, "M1": -4, "M2": -12}, 1: {"FB": 2, "M1": -4}, 2: {"FB": 2, "M1": 8}, 3: {"M1": 16},
    4: {"M1": -8, "M2": -12}, 5: {"M1": 4, "M2": 8}, 6: {"M1": -12, "M2": 16},
    7: {"FB": 1, "M2": 8}, 9: {"M1": -12, "M2": -12}, 10: {"M1": -12, "M2": -12},
    11: {"M1": 8, "M2": -12}, 12: {"M1": 16}, 13: {"M1": 16}, 14: {"FB": 2, "M1": -4, "M2": -12},
    15: {"M1": -12, "M2": -12}, 17: {"FB": 2}, 18: {"FB": 2, "M1": -12}, 19: {"FB": 2},
    20: {"FB": 2, "M1": -8, "M2": 8}, 21: {"FB": 1, "M1": -8, "M2": -12},
    22: {"FB": -1, "M1": -12, "M2": 16}, 23: {"FB": 2, "M1": -8, "M2": -12},
    24: {"FB": 1, "M1": -12, "M2": -12}, 25: {"M1": -8, "M2": -12}, 26: {"M1": -12, "M2": -12},
    27: {"M1": -12}, 28: {"M2": 16}, 29: {"C1": -4, "M1": -12}, 31: {"M1": -12, "M2": -12},
    32: {"M1": 8, "M2": -12}, 33: {"M1": 4}, 34: {"FB": 1, "M1": -4, "M2": 16},
    35: {"M1": 4, "M2": -8}, 36: {"FB": 2, "M1": 16, "M2": 4}, 37: {"M1": -12},
    39: {"M1": 16, "M2": -12}, 40: {"M1": -12}, 41: {"FB": 2, "M2": 4}, 42: {"FB": 2, "M2": 16},
    43: {"FB": 2, "M1": -8, "M2": 16}, 44: {"FB": 1, "M1": 8, "M2": -12}, 45: {"M1": 4, "M2": -12},
    46: {"M1": 4, "M2": -12}, 47: {"FB": 2, "M1": -12, "M2": -12}, 48: {"M1": 16, "M2": -12},
    49: {"FB": 2, "M1": -4, "M2": 16}, 50: {"M1": 8, "M2": -8}, 51: {"FB": -1}, 52: {"M1": -12},
    53: {"M1": 16}, 54: {"M1": 8, "M2": -4}, 55: {"FB": 1, "M1": -12, "M2": -12},
    58: {"C1": 4, "FB": 1, "M1": 8}, 59: {"C1": 4, "M1": 4}, 61: {"M1": -8},
    62: {"FB": 2, "M1": 8, "M2": 4}, 63: {"FB": 2, "M1": -8}, 64: {"M1": -4},
    65: {"C1": 4, "M1": -12}, 66: {"FB": 1, "M1": -8}, 67: {"C1": -4, "M1": -4, "M2": -8},
    68: {"C1": 8, "M1": 16}, 69: {"C1": -4, "M1": -12, "M2": 8}, 70: {"C1": 16, "FB": 2, "M1": -8},
    71: {"M2": -12}, 88: {"M1": -4, "M2": -4}, 89: {"FB": 2}, 90: {"FB": 2, "M1": 4, "M2": -12},
    91: {"M1": 16}, 92: {"FB": 2, "M1": 4, "M2": -8}, 93: {"M1": 16}, 94: {"M1": 4},
    95: {"C1": 8, "FB": -2, "M1": -4}, 96: {"M1": 4, "M2": -12},
    97: {"C1": -12, "FB": -2, "M1": -12, "M2": -12}, 98: {"M1": 16, "M2": -12},
    99: {"M1": -4, "M2": -12}, 100: {"FB": 1, "M1": -12}, 101: {"C1": 4, "M1": -12},
    102: {"M1": 8, "M2": -12}, 103: {"M1": 8}, 104: {"M1": -12}, 105: {"M1": -8, "M2": -8},
    106: {"FB": 2, "M1": -12, "M2": -12}, 107: {"FB": 1, "M1": -12, "M2": 8},
    108: {"M1": 4, "M2": -12}, 109: {"C1": -4, "M1": -12}, 110: {"FB": 1, "M1": -8},
    111: {"C1": 4, "M1": 16, "M2": -12}, 112: {"M1": 16, "M2": -12},
    113: {"FB": 2, "M1": -8, "M2": 16}, 114: {"M1": -12}, 115: {"M1": -12, "M2": -12},
    116: {"M1": 4}, 118: {"FB": 2, "M1": -12}, 119: {"M1": -12}, 120: {"FB": -2, "M1": -12},
    121: {"M1": -4}, 122: {"M1": -12}, 124: {"FB": 1, "M1": -12, "M2": -8},
    125: {"M1": -12, "M2": -8}, 126: {"M1": -12}, 127: {"M1": 16},
}

HEADER = """\
// fmroll General MIDI bank: a YM2612 voice for every General MIDI program.
// Written by scripts/make_gm_bank.py; edit the script, not this file.
//
// Line formats (OPM text):
//   @:n name
//   LFO: LFRQ AMD PMD WF NFRQ
//   CH: PAN FL CON AMS PMS SLOT NE   (FL = feedback of M1, CON = algorithm)
//   M1: / C1: / M2: / C2:  AR D1R D2R RR D1L TL KS MUL DT1 DT2 AMS-EN
//
// What the converter reads: per voice FL, CON, AMS and PMS; per operator AR,
// D1R, D2R, RR, D1L, TL, KS, MUL, DT1 and AMS-EN. It ignores the LFO line (the
// chip's LFO runs at one fixed rate, about 5.6 Hz, for every song), PAN (the
// stereo position comes from the MIDI pan controller, centre by default),
// SLOT, NE and DT2. They are written only to keep the format: LFO values 0,
// PAN 192 (both sides), SLOT 120 (all four operators), NE 0, DT2 0.
//
// Algorithms (CON), in operator names; the last operator of each chain is a
// carrier and is heard:
//   0  M1 > C1 > M2 > C2            4  (M1 > C1) + (M2 > C2)
//   1  (M1 + C1) > M2 > C2          5  M1 > C1 + M2 + C2
//   2  (M1 + (C1 > M2)) > C2        6  (M1 > C1) + M2 + C2
//   3  ((M1 > C1) + M2) > C2        7  M1 + C1 + M2 + C2
//
// Conventions of this bank:
// - Pitch: every voice has a carrier at MUL 1, and no operator is at MUL 0
//   (which is 1/2, an octave down) or detuned past a few cents, so each note
//   sounds at the pitch the converter sets for it (which is one octave above
//   the MIDI note number; the bank does not move it). Carriers at MUL 2 to 6
//   only add partials. DT1 (1-3 up, 5-7 down, 0 and 4 none) detunes by
//   a few cents at most: on struck and plucked sounds it detunes whole
//   pairs (the beating of unison strings); on held sounds it sits on
//   modulators only, for a moving tone without a beating volume.
// - Loudness: note velocity scales the carriers' TL (velocity 127 keeps the
//   TL written here, velocity 100 adds about 7 steps, 5 dB); modulators keep
//   their TL, so the timbre does not change with velocity. Carrier TLs were
//   balanced by measurement through fmroll and a real player (Game Music
//   Emu), the RMS level of the loudest 0.2 s of each of notes 48, 60 and 72
//   held 1 s at velocity 100 (scripts/measure_gm_trims.py): every note is
//   within about 4 dB of the bank's median, and six FM channels playing one
//   program at velocity 127 stay below the 16-bit limit.
// - Envelopes start from the families' templates (struck and plucked sounds
//   decay, key scaling shortening their higher notes; bowed, blown and held
//   sounds hold while the key is down) and were then fitted to FluidR3 GM's
//   instruments by measurement: each program's attack, its decay while the
//   key is held and its release after follow FluidR3's (ENVELOPE_STEPS of
//   scripts/make_gm_bank.py). So the electric pianos ring on longer than the
//   piano template, and a pad that fades in FluidR3 fades here.
// - Brightness: the modulators' levels and the feedback were fitted the same
//   way (TIMBRE_STEPS), so that each program's partials, folded into
//   semitones over seven octaves, come close to FluidR3's.
// - Vibrato and tremolo come from the chip's LFO through PMS (vibrato depth)
//   and AMS with AMS-EN on the carriers (tremolo).
// - Noise: an operator at feedback 7 gives noise (breath, chiff, skins); it is
//   always mixed with a pitched carrier, so every program has a pitch.
//
// Each voice is preceded by a comment: its program number, name and idea.
// Comments stand on their own lines: a "//" after a program name would
// swallow the line end.
"""


def render():
    lines = HEADER.rstrip("\n").split("\n")
    program = 0
    for family, voices in FAMILIES:
        assert len(voices) == 8, family
        lines += ["", "// ---- %d-%d %s " % (program, program + 7, family) + "-" * 40]
        for voice in voices:
            voice = copy.copy(voice)  # the tables apply once however often the bank is rendered
            voice.trim += TRIMS.get(program, 0)
            voice.envelope = ENVELOPE_STEPS.get(program, {})
            voice.timbre = TIMBRE_STEPS.get(program, {})
            lines.append("")
            lines += voice.lines(program)
            program += 1
    return "\n".join(lines) + "\n"


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "banks", "gm.opm")
    with open(out, "w", newline="\n") as f:
        f.write(render())


if __name__ == "__main__":
    main()
