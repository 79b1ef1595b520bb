// OPN2DRV: notes, pitch, key on/off and portamento.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "chips/opn2drv.h"
#include "chips/ym2612_map.h"
#include "vgm/vgm_format.h"

// F-number of semitone i (C = 0 to the next C = 12) with the chip clocked at
// 7670453 Hz:
//   F(i) = trunc(144 * f(i) * 2^20 / 7670453 / 2^(4-1)),
//   f(i) = 440 * 2^((i - 9) / 12) Hz,
// the chip's prescaler being 144 and a block b scaling the pitch by
// 2^(b-1); the octave from middle C is computed at block 4. This driver
// writes note n at block n / 12, so note 60 (block 5) plays one octave above
// the pitch the table was computed for.
extern constexpr std::uint16_t Opn2KeyTable[13] = {
    643, 682, 722, 765, 811, 859, 910, 964, 1021, 1082, 1147, 1215, 1287};

namespace {

constexpr std::int64_t kFnumLow = Opn2KeyTable[0];    // 643
constexpr std::int64_t kFnumHigh = Opn2KeyTable[12];  // 1287
constexpr std::int64_t kOctave = kFnumLow;            // F-number units per octave
using namespace YM2612;

// A note's place on one linear scale of F-number units across octaves.
std::int32_t lin_pitch(std::uint8_t n) {
    return Opn2KeyTable[n % 12] + static_cast<std::int32_t>(kOctave) * (n / 12);
}

}  // namespace

Opn2Pitch Opn2NotePitch(std::uint32_t note, std::int64_t offset) {
    // 64-bit: a large offset must not overflow the sum.
    std::int64_t f = static_cast<std::int64_t>(Opn2KeyTable[note % 12]) + offset;
    std::int64_t o = note / 12;
    // Fold f into 643..1287 an octave at a time, moving the octave with it
    // (a whole number of octaves in one step, as a loop would end up).
    if (f < kFnumLow) {
        const std::int64_t steps = (kFnumLow - 1 - f) / kOctave + 1;
        o -= steps;
        f += steps * kOctave;
    } else if (f > kFnumHigh) {
        const std::int64_t steps = (f - kFnumHigh + kOctave - 1) / kOctave;
        o += steps;
        f -= steps * kOctave;
    }
    // Beyond the chip's eight blocks the pitch keeps its F-number.
    const std::int64_t block = o < 0 ? 0 : (o > YM2612::kMaxBlock ? YM2612::kMaxBlock : o);
    return Opn2Pitch{static_cast<std::uint32_t>(block), static_cast<std::uint32_t>(f)};
}

// F-number = Hz x prescaler 144 x 2^20 / clock / 2^(block - 1): the
// F-number at block 0 halves for each block up.
Opn2Pitch Opn2PitchOfHz(double hz) {
    constexpr double kBlockZeroScale = 144.0 * (1 << 21) / VGM::kYm2612Clock;
    constexpr double kFnumMax = 2047;
    double f = hz > 0 ? hz * kBlockZeroScale : 0;
    std::uint32_t block = 0;
    while (f >= kFnumHigh + 0.5 && block < YM2612::kMaxBlock) {
        f /= 2;
        ++block;
    }
    const double nearest = std::round(std::clamp(f, 1.0, kFnumMax));
    return Opn2Pitch{block, static_cast<std::uint32_t>(nearest)};
}

void OPN2DRV::SetPitch(std::uint32_t channel, Opn2Pitch pitch) {
    if (channel >= kChannels) return;
    const std::uint32_t port = Port(channel);
    Write(port, ChannelRegister(kRegBlockFnumHigh, channel), BlockFnumHigh(pitch.block, pitch.fnum));
    Write(port, ChannelRegister(kRegFnumLow, channel), pitch.fnum & 0xFF);
}

void OPN2DRV::SetNote(std::uint32_t channel, std::uint32_t note) {
    if (channel >= kChannels) return;
    Opn2Channel& c = chan[channel];
    c.cur_note = static_cast<std::uint8_t>(note);

    const Opn2Pitch pitch = Opn2NotePitch(note, std::int64_t{c.porta_offset} + c.detune);
    const std::uint32_t port = Port(channel);
    Write(port, ChannelRegister(kRegBlockFnumHigh, channel), BlockFnumHigh(pitch.block, pitch.fnum));
    Write(port, ChannelRegister(kRegFnumLow, channel), pitch.fnum & 0xFF);
}

void OPN2DRV::SetDetune(std::uint32_t channel, std::int32_t detune) {
    if (channel >= kChannels) return;
    chan[channel].detune = detune;
    SetNote(channel, chan[channel].cur_note);
}

void OPN2DRV::SetPortamentTime(std::uint32_t channel, std::uint32_t frames) {
    if (channel >= kChannels) return;
    // A negative time would make every glide step grow instead of shrink.
    constexpr std::uint32_t kMaxFrames = INT32_MAX;
    chan[channel].porta_time = static_cast<std::int32_t>(frames > kMaxFrames ? kMaxFrames : frames);
}

void OPN2DRV::KeyOn(std::uint32_t channel) {
    if (channel >= kChannels) return;
    Opn2Channel& c = chan[channel];
    Write(0, kRegKeyOnOff, kAllOperatorsOn | KeyCode(channel));
    c.keyon = 1;
    if (c.porta_time != 0) {
        if (c.last_note == c.cur_note) {
            // The same note again stops any glide; its pitch is left as written.
            c.porta_offset = 0;
            c.porta_step = 0;
            c.porta_count = 0;
        } else {
            // Start at the previous note's pitch and step towards this one.
            c.porta_offset = lin_pitch(c.last_note) - lin_pitch(c.cur_note);
            c.porta_step = c.porta_offset / c.porta_time;
            c.porta_count = c.porta_time;
            SetNote(channel, c.cur_note);
        }
    }
    c.last_note = c.cur_note;
}

void OPN2DRV::KeyOff(std::uint32_t channel) {
    if (channel >= kChannels) return;
    Write(0, kRegKeyOnOff, KeyCode(channel));
    chan[channel].keyon = 0;
}

void OPN2DRV::RunFrame() {
    for (std::uint32_t channel = 0; channel < kChannels; ++channel) {
        Opn2Channel& c = chan[channel];
        if (c.porta_count == 0) continue;
        c.porta_offset -= c.porta_step;
        --c.porta_count;
        // The last frame lands on the note itself, whatever the step's rounding.
        if (c.porta_count == 0) c.porta_offset = 0;
        SetNote(channel, c.cur_note);
    }
}
