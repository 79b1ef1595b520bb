#include "fmtool/arrange/chip_pitch.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "chips/dcsgdrv.h"
#include "chips/opn2drv.h"
#include "chips/ym2612_map.h"
#include "sequencer/sequencer_rules.h"
#include "smf/smf_format.h"
#include "vgm/vgm_format.h"

namespace fmtool {

namespace {

using MIDI::kBendMax;
using MIDI::kBendMin;
// FM: the driver normalises every pitch into one octave of F-numbers, the
// block counting octaves.
const int kFnumLow = Opn2KeyTable[0];
const int kFnumHigh = Opn2KeyTable[12];
const int kFnumOctave = kFnumLow;
constexpr int kMaxBlock = static_cast<int>(YM2612::kMaxBlock);
// The arranged file bends every chip channel over 12 semitones.
constexpr unsigned kArrangedBendRange = 12;

double Hz(int midiNote) { return 440.0 * std::pow(2.0, (midiNote - 69) / 12.0); }

// The converter's square period of `written` bent by `bend`; a bend of a
// whole octave either way lands on the neighbouring octave's period.
int SquarePeriod(int written, int bend = 0) {
    return static_cast<int>(DcsgTonePeriod(static_cast<std::uint32_t>(written), bend));
}

// The smallest bend whose truncated share of `span` reaches `steps`.
int BendForSteps(int steps, int span, int octave) {
    if (steps == 0 || span <= 0) return 0;
    const int sign = steps < 0 ? -1 : 1;
    const std::int64_t b = (std::int64_t{std::abs(steps)} * octave + span - 1) / span;
    return static_cast<int>(std::clamp<std::int64_t>(sign * b, kBendMin, kBendMax));
}

int FmBend(int written, double cents) {
    const int f0 = Opn2KeyTable[written % kOctave];
    const double target = f0 * std::pow(2.0, cents / 1200.0);  // in the note's own block
    // The raw F-number whose normalisation lands on the target: above the
    // range each octave up costs 643 units plus halving, below it the reverse.
    double g = target;
    int octaves = 0;
    while (g > kFnumHigh && octaves < kMaxBlock) {
        g /= 2;
        ++octaves;
    }
    while (g < kFnumLow && octaves > -kMaxBlock) {
        g *= 2;
        --octaves;
    }
    const double raw = g + kFnumOctave * octaves;
    const int detune = static_cast<int>(std::lround(raw - f0));
    return BendForSteps(detune, MIDI::kFmDetunePerOctave, MIDI::kPitchBendCentre);
}

int SquareBend(int written, double cents) {
    const int base = SquarePeriod(written);
    const int target = static_cast<int>(
        std::lround(VGM::kSn76489Clock / (32.0 * Hz(written + kOctave) * std::pow(2.0, cents / 1200.0))));
    if (target < base) {
        return BendForSteps(base - target, base - SquarePeriod(written, kDcsgDetuneOctave), kDcsgDetuneOctave);
    }
    if (target > base) {
        return BendForSteps(-(target - base), SquarePeriod(written, -kDcsgDetuneOctave) - base, kDcsgDetuneOctave);
    }
    return 0;
}

}  // namespace

bool InRange(Chip chip, int pitch) {
    return chip == Chip::Fm ? pitch >= kFmLowest && pitch <= kFmHighest
                            : pitch >= kSquareLowest && pitch <= kSquareHighest;
}

PlacedNote PlaceNote(Chip chip, int pitch) {
    PlacedNote placed;
    placed.sounding = pitch;
    while (!InRange(chip, placed.sounding)) {
        const int step = placed.sounding < (chip == Chip::Fm ? kFmLowest : kSquareLowest) ? kOctave : -kOctave;
        placed.sounding += step;
        placed.octaves += step / kOctave;
    }
    placed.written = placed.sounding - kOctave;
    return placed;
}

int ChipBend(Chip chip, int written, double cents) {
    if (cents == 0) return 0;
    return chip == Chip::Fm ? FmBend(written, cents) : SquareBend(written, cents);
}

double ChipHz(Chip chip, int written, int bend) {
    if (chip == Chip::Square) {
        const int p = SquarePeriod(written, bend);
        return p > 0 ? VGM::kSn76489Clock / (32.0 * p) : 0;
    }
    const int detune = MIDI::FmDetuneOfBend(bend, kArrangedBendRange);
    const Opn2Pitch p = Opn2NotePitch(static_cast<std::uint32_t>(written), detune);
    return p.fnum * (VGM::kYm2612Clock / 144.0) / std::pow(2.0, 21.0 - p.block);
}

}  // namespace fmtool
