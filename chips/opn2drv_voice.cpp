// OPN2DRV: voice programming, carrier volume, operator level and pan.
#include <cstdint>

#include "chips/opn2drv.h"

namespace {

// Channel registers at base + k.
constexpr std::uint32_t kRegFeedbackAlgo = 0xB0;
constexpr std::uint32_t kRegStereoSens = 0xB4;
// Operator registers at base + 4 * operator + k.
constexpr std::uint32_t kRegDetuneMul = 0x30;
constexpr std::uint32_t kRegTotalLevel = 0x40;
constexpr std::uint32_t kRegKeyScaleAttack = 0x50;
constexpr std::uint32_t kRegAmDecay1 = 0x60;
constexpr std::uint32_t kRegDecay2 = 0x70;
constexpr std::uint32_t kRegSustainRelease = 0x80;

constexpr std::uint32_t kMaxVolume = 127;

// The first carrier operator of each algorithm; carriers run from it to
// operator 3. Algorithms outside 0..7 are taken as having one carrier.
constexpr std::uint32_t kFirstCarrier[8] = {3, 3, 3, 3, 2, 1, 1, 0};

// Stereo output bits of register 0xB4 from a MIDI pan: bit 7 left, bit 6 right.
std::uint32_t StereoBits(std::uint32_t pan) {
    if (pan <= 63) return 0x80;
    if (pan == 64) return 0xC0;
    return 0x40;
}

// Moves a total level linearly from the voice's own (scale 127) toward
// silence (scale 0). Unsigned 32-bit wrap-around on purpose: bank values are
// stored unchecked, and an out-of-range level must come out the same way on
// every build.
std::uint32_t ScaledLevel(std::int32_t tl, std::uint32_t scale) {
    const std::uint32_t range = kMaxVolume - static_cast<std::uint32_t>(tl);
    return kMaxVolume - (range * scale) / kMaxVolume;
}

}  // namespace

const FmVoice* OPN2DRV::Voice(std::uint32_t channel) const {
    if (!inst) return nullptr;
    return &inst->voice[chan[channel].prog];
}

void OPN2DRV::WriteStereo(std::uint32_t channel, std::uint32_t pan, const FmVoice& v) {
    const std::uint32_t sens = ((static_cast<std::uint32_t>(v.ams) << 4) & 0x30) |
                               (static_cast<std::uint32_t>(v.pms) & 7);
    Write(get_fm_bank(channel), kRegStereoSens + (get_fm_channel(channel) & 3),
          StereoBits(pan) | sens);
}

void OPN2DRV::SetProgram(std::uint32_t channel, std::uint32_t prog) {
    if (channel >= kChannels || !inst) return;
    if (prog >= inst->GetMaxInst()) return;
    chan[channel].prog = static_cast<std::uint8_t>(prog);
    const FmVoice& v = inst->voice[prog];

    const std::uint32_t port = get_fm_bank(channel);
    const std::uint32_t k = get_fm_channel(channel) & 3;
    const auto u = [](std::int32_t value) { return static_cast<std::uint32_t>(value); };

    Write(port, kRegFeedbackAlgo + k, ((u(v.fl) << 3) & 0x38) | (u(v.con) & 7));
    WriteStereo(channel, chan[channel].midi_pan, v);
    for (std::uint32_t i = 0; i < 4; ++i) {
        const FmOperator& o = v.op[i];
        const std::uint32_t r = 4 * i + k;
        Write(port, kRegDetuneMul + r, ((u(o.dt1) & 7) << 4) | (u(o.mul) & 0x0F));
        Write(port, kRegTotalLevel + r, u(o.tl) & 0xFF);
        // The chip's rates are 5 bits, but the registers take 6: a rate of
        // 32..63 from the bank reaches the chip with bit 5 set.
        Write(port, kRegKeyScaleAttack + r, ((u(o.ks) << 6) & 0xC0) | (u(o.ar) & 0x3F));
        Write(port, kRegAmDecay1 + r, ((u(o.ams_en) << 7) & 0x80) | (u(o.d1r) & 0x3F));
        Write(port, kRegDecay2 + r, u(o.d2r) & 0x3F);
        Write(port, kRegSustainRelease + r, ((u(o.d1l) & 0x0F) << 4) | (u(o.rr) & 0x0F));
    }
}

void OPN2DRV::SetVolume(std::uint32_t channel, std::uint32_t vol) {
    if (channel >= kChannels) return;
    const FmVoice* v = Voice(channel);
    if (!v) return;
    if (vol > kMaxVolume) vol = kMaxVolume;
    const std::uint32_t first = (v->con >= 0 && v->con <= 7) ? kFirstCarrier[v->con] : 3;
    const std::uint32_t port = get_fm_bank(channel);
    const std::uint32_t k = get_fm_channel(channel) & 3;
    for (std::uint32_t i = first; i < 4; ++i)
        Write(port, kRegTotalLevel + 4 * i + k, ScaledLevel(v->op[i].tl, vol));
}

void OPN2DRV::SetTL(std::uint32_t channel, std::uint32_t op, std::uint32_t scale) {
    if (channel >= kChannels || op > 3) return;
    const FmVoice* v = Voice(channel);
    if (!v) return;
    Write(get_fm_bank(channel), kRegTotalLevel + 4 * op + (get_fm_channel(channel) & 3),
          ScaledLevel(v->op[op].tl, scale));
}

void OPN2DRV::SetPan(std::uint32_t channel, std::uint32_t pan) {
    if (channel >= kChannels) return;
    chan[channel].midi_pan = static_cast<std::uint8_t>(pan);
    const FmVoice* v = Voice(channel);
    if (!v) return;
    WriteStereo(channel, pan, *v);
}
