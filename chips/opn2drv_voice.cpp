// OPN2DRV: voice programming, carrier volume, operator level and pan.
#include <algorithm>
#include <cstdint>

#include "chips/opn2drv.h"
#include "chips/ym2612_map.h"

namespace {

using namespace YM2612;

constexpr std::uint32_t kMaxVolume = 127;

// Stereo output bits from a MIDI pan: 0-63 left, 64 both, 65-127 right.
std::uint32_t StereoBits(std::uint32_t pan) {
    if (pan <= 63) return kStereoLeft;
    if (pan == 64) return kStereoBoth;
    return kStereoRight;
}

}  // namespace

std::uint32_t Opn2FirstCarrier(std::int32_t con) { return con >= 0 && con <= 7 ? kFirstCarrier[con] : 3; }

// Unsigned 32-bit wrap-around on purpose: bank values are stored unchecked,
// and an out-of-range level must come out the same way on every build.
std::uint32_t Opn2ScaledLevel(std::int32_t tl, std::uint32_t scale) {
    const std::uint32_t range = kMaxVolume - static_cast<std::uint32_t>(tl);
    return kMaxVolume - (range * scale) / kMaxVolume;
}

const FmVoice* OPN2DRV::Voice(std::uint32_t channel) const {
    if (!inst) return nullptr;
    return &inst->voice[chan[channel].prog];
}

void OPN2DRV::WriteStereo(std::uint32_t channel, std::uint32_t pan, const FmVoice& v) {
    const std::int32_t vibrato = chan[channel].vibrato;
    const std::uint32_t pms = static_cast<std::uint32_t>(vibrato >= 0 ? vibrato : v.pms);
    const std::uint8_t sens = LfoSensitivity(static_cast<std::uint32_t>(v.ams), pms);
    Write(Port(channel), ChannelRegister(kRegStereoLfoSens, channel), StereoBits(pan) | sens);
}

void OPN2DRV::SetProgram(std::uint32_t channel, std::uint32_t prog) {
    if (channel >= kChannels || !inst) return;
    if (prog >= inst->GetMaxInst()) return;
    chan[channel].prog = static_cast<std::uint8_t>(prog);
    chan[channel].vibrato = -1;
    const FmVoice& v = inst->voice[prog];

    const std::uint32_t port = Port(channel);
    const auto u = [](std::int32_t value) { return static_cast<std::uint32_t>(value); };

    Write(port, ChannelRegister(kRegFeedbackAlgorithm, channel), FeedbackAlgorithm(u(v.fl), u(v.con)));
    WriteStereo(channel, chan[channel].midi_pan, v);
    for (unsigned i = 0; i < kOperators; ++i) {
        const FmOperator& o = v.op[i];
        const auto reg = [i, channel](std::uint8_t base) { return OperatorRegister(base, i, channel); };
        Write(port, reg(kRegDetuneMul), DetuneMul(u(o.dt1), u(o.mul)));
        // The bank's level and second decay rate reach the chip unmasked
        // beyond the register's eight and six bits.
        Write(port, reg(kRegTotalLevel), u(o.tl) & 0xFF);
        // The chip's rates are 5 bits, but the registers take 6: a rate of
        // 32..63 from the bank reaches the chip with bit 5 set.
        Write(port, reg(kRegKeyScaleAttack), KeyScaleAttack(u(o.ks), u(o.ar)));
        Write(port, reg(kRegAmDecay1), AmDecay1(u(o.ams_en), u(o.d1r)));
        Write(port, reg(kRegDecay2), u(o.d2r) & 0x3F);
        Write(port, reg(kRegSustainRelease), SustainRelease(u(o.d1l), u(o.rr)));
    }
}

void OPN2DRV::SetVolume(std::uint32_t channel, std::uint32_t vol) {
    if (channel >= kChannels) return;
    const FmVoice* v = Voice(channel);
    if (!v) return;
    if (vol > kMaxVolume) vol = kMaxVolume;
    for (std::uint32_t i = Opn2FirstCarrier(v->con); i < kOperators; ++i)
        Write(Port(channel), OperatorRegister(kRegTotalLevel, i, channel), Opn2ScaledLevel(v->op[i].tl, vol));
}

void OPN2DRV::SetTL(std::uint32_t channel, std::uint32_t op, std::uint32_t scale) {
    if (channel >= kChannels || op > 3) return;
    const FmVoice* v = Voice(channel);
    if (!v) return;
    Write(Port(channel), OperatorRegister(kRegTotalLevel, op, channel), Opn2ScaledLevel(v->op[op].tl, scale));
}

void OPN2DRV::SetPan(std::uint32_t channel, std::uint32_t pan) {
    if (channel >= kChannels) return;
    chan[channel].midi_pan = static_cast<std::uint8_t>(pan);
    const FmVoice* v = Voice(channel);
    if (!v) return;
    WriteStereo(channel, pan, *v);
}

void OPN2DRV::SetCarrierAttenuation(std::uint32_t channel, std::uint32_t steps) {
    if (channel >= kChannels) return;
    const FmVoice* v = Voice(channel);
    if (!v) return;
    for (std::uint32_t i = Opn2FirstCarrier(v->con); i < kOperators; ++i) {
        const std::uint32_t tl = static_cast<std::uint32_t>(v->op[i].tl) & kMaxTotalLevel;
        Write(Port(channel), OperatorRegister(kRegTotalLevel, i, channel),
              std::min<std::uint32_t>(kMaxTotalLevel, tl + std::min<std::uint32_t>(steps, kMaxTotalLevel)));
    }
}

void OPN2DRV::SetVibrato(std::uint32_t channel, std::int32_t depth) {
    if (channel >= kChannels) return;
    chan[channel].vibrato = static_cast<std::int8_t>(depth < 0 ? -1 : std::min(depth, 7));
    const FmVoice* v = Voice(channel);
    if (!v) return;
    WriteStereo(channel, chan[channel].midi_pan, *v);
}

void OPN2DRV::EnableDac(bool on) {
    Write(0, kRegDacEnable, on ? kDacOn : 0);
    if (on) Write(0, kRegDacData, kDacCentre);
}
