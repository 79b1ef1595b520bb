#include "fmtool/arrange/chip_pitch.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "chips/opn2drv.h"
#include "vgm/vgm_format.h"

namespace fmtool {

namespace {

constexpr int kBendMin = -8192;
constexpr int kBendMax = 8191;
// FM: an octave is 643 F-number units; every pitch is normalised into
// 643..1287 with the block counting octaves, clamped to 0..7.
constexpr int kFnumLow = 643;
constexpr int kFnumHigh = 1287;
constexpr int kFnumOctave = 643;
constexpr int kMaxBlock = 7;
// The converter's FM detune is trunc(trunc(bend x range / 12) x 644 / 8192).
constexpr int kDetuneFactor = 644;
// Square bends move the period by (bend / 8191) of the way to the next octave.
constexpr int kSquareBendOctave = 8191;
constexpr int kMaxPeriod = 1023;
constexpr int kSquareTableNotes = 108;

double Hz(int midiNote) { return 440.0 * std::pow(2.0, (midiNote - 69) / 12.0); }

// The converter's square period of note n: that of pitch n + 12 at the chip's
// clock, whole-number, no longer than 1023; 0 above note 107.
int SquarePeriod(int n) {
    if (n >= kSquareTableNotes + kOctave) return 0;
    const double p = std::floor(VGM::kSn76489Clock / (32.0 * Hz(n + kOctave)));
    return static_cast<int>(std::min<double>(p, kMaxPeriod));
}

int SquareBentPeriod(int n, int bend) {
    if (n >= kSquareTableNotes) return 0;
    const std::int64_t base = SquarePeriod(n);
    std::int64_t x = 0;
    if (bend > 0) x = std::int64_t{bend} * (base - SquarePeriod(n + kOctave));
    if (bend < 0) x = std::int64_t{bend} * (SquarePeriod(std::max(0, n - kOctave)) - base);
    return static_cast<int>(std::clamp<std::int64_t>(base - x / kSquareBendOctave, 0, kMaxPeriod));
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
    return BendForSteps(detune, kDetuneFactor, 8192);
}

int SquareBend(int written, double cents) {
    const int base = SquarePeriod(written);
    const int target = static_cast<int>(
        std::lround(VGM::kSn76489Clock / (32.0 * Hz(written + kOctave) * std::pow(2.0, cents / 1200.0))));
    if (target < base) return BendForSteps(base - target, base - SquarePeriod(written + kOctave), kSquareBendOctave);
    if (target > base) {
        return BendForSteps(-(target - base), SquarePeriod(std::max(0, written - kOctave)) - base, kSquareBendOctave);
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
        const int p = SquareBentPeriod(written, bend);
        return p > 0 ? VGM::kSn76489Clock / (32.0 * p) : 0;
    }
    const int detune = bend * kDetuneFactor / 8192;  // truncates toward zero
    int f = Opn2KeyTable[written % kOctave] + detune;
    int octave = written / kOctave;
    while (f <= kFnumLow - 1) {
        --octave;
        f += kFnumOctave;
    }
    while (f > kFnumHigh) {
        ++octave;
        f -= kFnumOctave;
    }
    const int block = std::clamp(octave, 0, kMaxBlock);
    return f * (VGM::kYm2612Clock / 144.0) / std::pow(2.0, 21 - block);
}

}  // namespace fmtool
