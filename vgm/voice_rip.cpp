#include "vgm/voice_rip.h"

#include "chips/ym2612_map.h"
#include "vgm/vgm_file.h"
#include "vgm/vgm_format.h"

namespace VGM {

namespace {

using voiceformat::VoiceImage;

constexpr std::uint8_t kLfoSensBits = 0x37;  // 0xB4 without the output bits L/R
constexpr std::uint8_t kDacOn = 0x80;

// The voice without its carriers' levels: what tells two voices apart.
VoiceImage Timbre(VoiceImage image) {
    const unsigned algorithm = YM2612::AlgorithmOf(image.fb_alg);
    for (unsigned slot = 0; slot < YM2612::kOperators; ++slot) {
        if (YM2612::IsCarrier(algorithm, slot)) image.op[slot].tl = 0;
    }
    return image;
}

unsigned CarrierLevels(const VoiceImage& image) {
    const unsigned algorithm = YM2612::AlgorithmOf(image.fb_alg);
    unsigned sum = 0;
    for (unsigned slot = 0; slot < YM2612::kOperators; ++slot) {
        if (YM2612::IsCarrier(algorithm, slot)) sum += image.op[slot].tl;
    }
    return sum;
}

bool Finish(VgmReader& reader, VoiceRipper& ripper, VoiceRip& out, std::string& error) {
    // Files before 1.10 give the YM2612 the YM2413's clock field, so the
    // writes themselves decide.
    VgmCommand c;
    while (reader.Next(c)) {
        if ((c.op() == kCmdYm2612Port0 || c.op() == kCmdYm2612Port1) && c.length >= 3)
            ripper.Write(c.op() == kCmdYm2612Port1 ? 1 : 0, c.bytes[1], c.bytes[2], c.sample);
    }
    out = std::move(ripper.result());
    switch (reader.stop()) {
        case VgmReader::Stop::kUnreadable:
            if (out.key_ons == 0) {
                error = reader.error();
                return false;
            }
            out.stopped = "could be read only in part: " + reader.error();
            break;
        case VgmReader::Stop::kCutShort: out.stopped = "is cut short inside a command"; break;
        case VgmReader::Stop::kUnknownCommand: out.stopped = "has a command this reader does not know"; break;
        default: break;
    }
    return true;
}

}  // namespace

void VoiceRipper::Write(unsigned port, std::uint8_t reg, std::uint8_t data, std::uint64_t sample) {
    port &= 1;
    if (port == 0 && reg == YM2612::kRegDacEnable) {
        dac_ = (data & kDacOn) != 0;
        return;
    }
    if (port == 0 && reg == YM2612::kRegKeyOnOff) {
        const int channel = YM2612::ChannelOfKeyCode(data);
        if (channel < 0) return;
        const std::uint8_t keys = data & YM2612::kAllOperatorsOn;
        Channel& ch = channels_[channel];
        if (keys != 0 && ch.keyed == 0) KeyOn(static_cast<unsigned>(channel), sample);
        ch.keyed = keys;
        return;
    }
    const int channel = YM2612::ChannelOfRegister(port, reg);
    if (channel < 0) return;
    VoiceImage& v = channels_[channel].regs;
    if (reg >= YM2612::kRegDetuneMul && reg < YM2612::kRegFnumLow) {
        voiceformat::OperatorImage& o = v.op[YM2612::SlotOfRegister(reg)];
        switch (YM2612::OperatorBase(reg)) {
            case YM2612::kRegDetuneMul: o.dt_mul = YM2612::DetuneMul(YM2612::Dt1Of(data), YM2612::MulOf(data)); break;
            case YM2612::kRegTotalLevel: o.tl = static_cast<std::uint8_t>(YM2612::TlOf(data)); break;
            case YM2612::kRegKeyScaleAttack: o.ks_ar = YM2612::KeyScaleAttack(YM2612::KsOf(data), YM2612::ArOf(data)); break;
            case YM2612::kRegAmDecay1: o.am_d1r = YM2612::AmDecay1(YM2612::AmOf(data), YM2612::D1rOf(data)); break;
            case YM2612::kRegDecay2: o.d2r = static_cast<std::uint8_t>(YM2612::D2rOf(data)); break;
            case YM2612::kRegSustainRelease: o.d1l_rr = data; break;
            case YM2612::kRegSsgEg: o.ssg_eg = data & 0x0F; break;
            default: break;
        }
    } else if (YM2612::ChannelBase(reg) == YM2612::kRegFeedbackAlgorithm) {
        v.fb_alg = YM2612::FeedbackAlgorithm(YM2612::FeedbackOf(data), YM2612::AlgorithmOf(data));
    } else if (YM2612::ChannelBase(reg) == YM2612::kRegStereoLfoSens) {
        v.lfo_sens = data & kLfoSensBits;
    }
}

VoiceRipper::Key VoiceRipper::KeyOf(const VoiceImage& timbre) {
    Key key{};
    std::size_t i = 0;
    for (const voiceformat::OperatorImage& o : timbre.op) {
        for (std::uint8_t b : {o.dt_mul, o.tl, o.ks_ar, o.am_d1r, o.d2r, o.d1l_rr, o.ssg_eg}) key[i++] = b;
    }
    key[i++] = timbre.fb_alg;
    key[i] = timbre.lfo_sens;
    return key;
}

void VoiceRipper::KeyOn(unsigned channel, std::uint64_t sample) {
    if (channel == YM2612::kChannels - 1 && dac_) return;
    ++rip_.key_ons;
    const VoiceImage& now = channels_[channel].regs;
    const Key key = KeyOf(Timbre(now));
    const auto found = known_.find(key);
    if (found != known_.end()) {
        RippedVoice& known = rip_.voices[found->second];
        ++known.notes;
        known.channels |= static_cast<std::uint8_t>(1u << channel);
        if (CarrierLevels(now) < CarrierLevels(known.image)) known.image = now;
        return;
    }
    if (rip_.voices.size() >= VoiceRip::kMaxVoices) {
        ++rip_.unkept_key_ons;
        return;
    }
    known_.emplace(key, rip_.voices.size());
    RippedVoice fresh;
    fresh.image = now;
    fresh.channels = static_cast<std::uint8_t>(1u << channel);
    fresh.first_channel = static_cast<int>(channel);
    fresh.first_sample = sample;
    fresh.notes = 1;
    rip_.voices.push_back(fresh);
}

bool RipVoices(const std::string& path, VoiceRip& out, std::string& error) {
    VgmReader reader;
    if (!reader.Open(path)) {
        error = reader.error();
        return false;
    }
    VoiceRipper ripper;
    return Finish(reader, ripper, out, error);
}

bool RipVoicesFromMemory(const std::uint8_t* data, std::size_t size, VoiceRip& out, std::string& error) {
    VgmReader reader;
    if (!reader.OpenMemory(data, size)) {
        error = reader.error();
        return false;
    }
    VoiceRipper ripper;
    return Finish(reader, ripper, out, error);
}

}  // namespace VGM
