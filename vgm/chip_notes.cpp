#include "vgm/chip_notes.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "chips/sn76489_map.h"
#include "chips/ym2612_map.h"
#include "vgm/vgm_file.h"
#include "vgm/vgm_format.h"

namespace VGM {

std::size_t CommandLength(const std::uint8_t* p, std::size_t available) {
    if (available == 0) return 0;
    const std::size_t length = VgmCommandLength(p[0]);
    if (length == 0) return 0;
    if (p[0] == kCmdDataBlock) {
        if (available < kDataBlockHead) return 0;
        const std::uint64_t total = kDataBlockHead + std::uint64_t{Get32(p + 3)};
        return total <= available ? static_cast<std::size_t>(total) : 0;
    }
    return length <= available ? length : 0;
}

int NearestMidiNote(double hz) {
    if (!(hz > 0)) return -1;
    return static_cast<int>(std::lround(69 + 12 * std::log2(hz / 440.0)));
}

ChipNoteTracker::ChipNoteTracker(Sink sink) : sink_(std::move(sink)) {}

bool ChipNoteTracker::Command(const std::uint8_t* b, std::size_t length) {
    if (ended_ || length == 0) return !ended_;
    const std::uint8_t c = b[0];
    if ((c == kCmdYm2612Port0 || c == kCmdYm2612Port1) && length >= 3) {
        WriteFm(c == kCmdYm2612Port1 ? 1 : 0, b[1], b[2]);
    } else if (c == kCmdSn76489Write && length >= 2) {
        WritePsg(b[1]);
    } else if (c == kCmdWait && length >= 3) {
        sample_ += Get16(b + 1);
    } else if (c == kCmdWaitFrame) {
        sample_ += kSamplesPerFrame;
    } else if (c == kCmdWaitFrame50) {
        sample_ += kSamplesPerFrame50;
    } else if (c >= kCmdWaitShort && c <= kCmdWaitShort + 0x0F) {
        sample_ += (c & 0x0F) + 1u;
    } else if (c >= kCmdDacWait && c <= kCmdDacWait + kMaxDacWait) {
        sample_ += c & 0x0Fu;  // a DAC sample, then a wait
    } else if (c == kCmdEnd) {
        ended_ = true;
    }
    return !ended_;
}

void ChipNoteTracker::Finish() {
    for (unsigned ch = 0; ch < kChipChannels; ++ch)
        if (sounding_[ch]) EndNote(ch);
}

void ChipNoteTracker::WriteFm(unsigned port, std::uint8_t reg, std::uint8_t data) {
    using namespace YM2612;
    if (port == 0 && reg == kRegKeyOnOff) {
        const int keyed = ChannelOfKeyCode(data);
        if (keyed < 0) return;
        const auto ch = static_cast<unsigned>(keyed);
        FmChannel& f = fm_[ch];
        const bool on = (data & 0xF0) != 0;
        if (sounding_[ch]) EndNote(ch);
        if (on) StartNote(ch, FmAudible(ch), f.keyed);
        f.keyed = on;
        return;
    }
    if (port == 0 && reg == kRegDacEnable) {
        dac_ = (data & 0x80) != 0;
        return;
    }
    const int addressed = ChannelOfRegister(port, reg);
    if (addressed < 0) return;  // other global registers, offset 3
    const auto ch = static_cast<unsigned>(addressed);
    FmChannel& f = fm_[ch];
    if (OperatorBase(reg) == kRegTotalLevel) {
        f.tl[SlotOfRegister(reg)] = static_cast<std::uint8_t>(TlOf(data));
    } else if (ChannelBase(reg) == kRegBlockFnumHigh) {
        f.block_fnum_high = data;
    } else if (ChannelBase(reg) == kRegFnumLow) {
        f.fnum = static_cast<std::uint16_t>(Fnum(f.block_fnum_high, data));
        f.block = static_cast<std::uint8_t>(BlockOf(f.block_fnum_high));
        PitchChanged(ch);
    } else if (ChannelBase(reg) == kRegFeedbackAlgorithm) {
        f.algorithm = static_cast<std::uint8_t>(AlgorithmOf(data));
        f.loaded = true;
    } else if (ChannelBase(reg) == kRegStereoLfoSens) {
        f.stereo = data & kStereoBoth;
    }
}

void ChipNoteTracker::WritePsg(std::uint8_t data) {
    using namespace SN76489;
    if (IsLatch(data)) psg_latch_ = static_cast<std::uint8_t>(RegisterOf(data));
    // A data byte goes on to the register the last latch byte selected.
    const unsigned generator = GeneratorOf(psg_latch_);  // 0-2 tone channels, 3 noise
    const unsigned ch = kChipFirstSquare + generator;
    PsgChannel& p = psg_[generator];
    if (IsAttenuation(psg_latch_)) {
        const auto attenuation = static_cast<std::uint8_t>(data & 0x0F);
        const bool was = p.attenuation < kSilent;
        const bool now = attenuation < kSilent;
        p.attenuation = attenuation;
        if (was && !now) EndNote(ch);
        if (!was && now) StartNote(ch, generator == kNoiseGenerator || p.period > 0, false);
        return;
    }
    if (generator == kNoiseGenerator) {
        noise_mode_ = data & 7;
        return;
    }
    // A latch byte sets the low 4 bits of the period, a data byte the high 6.
    p.period = static_cast<std::uint16_t>(IsLatch(data) ? Period(data, static_cast<std::uint8_t>(p.period >> 4))
                                                        : Period(static_cast<std::uint8_t>(p.period), data));
    PitchChanged(ch);
}

double ChipNoteTracker::Pitch(unsigned ch) const {
    if (ch < kChipFmChannels) {
        const FmChannel& f = fm_[ch];
        return f.fnum * static_cast<double>(kYm2612Clock) / (144.0 * std::ldexp(1.0, 21 - f.block));
    }
    if (ch == kChipNoise) return 0;
    const std::uint16_t period = psg_[ch - kChipFirstSquare].period;
    return period == 0 ? 0 : kSn76489Clock / (32.0 * period);
}

bool ChipNoteTracker::FmAudible(unsigned ch) const {
    const FmChannel& f = fm_[ch];
    if (!f.loaded || f.stereo == 0) return false;
    if (dac_ && ch == kChipFmChannels - 1) return false;
    for (unsigned op = YM2612::kFirstCarrier[f.algorithm]; op < YM2612::kOperators; ++op)
        if (f.tl[op] < YM2612::kMaxTotalLevel) return true;
    return false;
}

void ChipNoteTracker::StartNote(unsigned ch, bool audible, bool legato) {
    ChipNote& n = open_[ch];
    n = ChipNote();
    n.channel = static_cast<std::uint8_t>(ch);
    n.on_sample = sample_;
    n.hz = n.last_hz = Pitch(ch);
    n.note = NearestMidiNote(n.hz);
    n.audible = audible;
    n.legato = legato;
    n.noise_mode = ch == kChipNoise ? noise_mode_ : 0;
    sounding_[ch] = true;
}

void ChipNoteTracker::EndNote(unsigned ch) {
    ChipNote& n = open_[ch];
    n.off_sample = sample_;
    sounding_[ch] = false;
    if (sink_) sink_(n);
}

void ChipNoteTracker::PitchChanged(unsigned ch) {
    if (!sounding_[ch]) return;
    const double hz = Pitch(ch);
    ChipNote& n = open_[ch];
    if (hz != n.last_hz) {
        ++n.pitch_changes;
        n.last_hz = hz;
    }
}

ChipNotes ReadChipNotes(const std::uint8_t* data, std::size_t size) {
    ChipNotes result;
    ChipNoteTracker tracker([&result](const ChipNote& n) { result.notes.push_back(n); });
    std::size_t at = 0;
    result.end = StreamEnd::EndOfData;
    while (at < size) {
        const std::size_t length = CommandLength(data + at, size - at);
        if (length == 0) {
            result.end = VgmCommandLength(data[at]) == 0 ? StreamEnd::UnknownCommand : StreamEnd::Truncated;
            break;
        }
        const bool more = tracker.Command(data + at, length);
        at += length;
        if (!more) {
            result.end = StreamEnd::EndCommand;
            break;
        }
    }
    tracker.Finish();
    result.end_sample = tracker.Sample();
    result.stopped_at = at;
    std::stable_sort(result.notes.begin(), result.notes.end(), [](const ChipNote& a, const ChipNote& b) {
        return a.on_sample != b.on_sample ? a.on_sample < b.on_sample : a.channel < b.channel;
    });
    return result;
}

}  // namespace VGM
