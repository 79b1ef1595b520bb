#include "chips/dcsgdrv.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "chips/sn76489_map.h"
#include "vgm/vgm_format.h"
#include "vgm/vgmout.h"

namespace {

constexpr std::uint32_t kSilent = SN76489::kSilent;
constexpr std::uint32_t kMaxVolume = 127;
constexpr std::uint32_t kDcsgNoiseChannel = SN76489::kNoiseGenerator;
constexpr std::int32_t kMaxPeriod = SN76489::kMaxPeriod;
constexpr std::int32_t kDetuneOctave = kDcsgDetuneOctave;
constexpr int kTableNotes = 108;

// Tone periods for notes 0-107: entry n = floor(3579545 / (32 * f)) with
// f = 440 * 2^((n - 57) / 12), the frequency of note n + 12 with note 69 at
// 440 Hz (so every note sounds an octave above its MIDI pitch), clock
// 3579545 Hz divided by 32. Values above the 10-bit register's 1023 are 1023.
constexpr std::uint16_t DcsgKeyTable[kTableNotes] = {
    1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023,  //   0
    1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023,  //  12
    1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023, 1016, 959,  905,   //  24
    855,  807,  761,  719,  678,  640,  604,  570,  538,  508,  479,  452,   //  36
    427,  403,  380,  359,  339,  320,  302,  285,  269,  254,  239,  226,   //  48
    213,  201,  190,  179,  169,  160,  151,  142,  134,  127,  119,  113,   //  60
    106,  100,  95,   89,   84,   80,   75,   71,   67,   63,   59,   56,    //  72
    53,   50,   47,   44,   42,   40,   37,   35,   33,   31,   29,   28,    //  84
    26,   25,   23,   22,   21,   20,   18,   17,   16,   15,   14,   14,    //  96
};

// The same formula for notes 108-119: the upper neighbours of notes 96-107
// when they are bent up, so a bend there keeps rising instead of stopping.
constexpr std::uint16_t kKeyTableAbove[12] = {13, 12, 11, 11, 10, 10, 9, 8, 8, 7, 7, 7};

// Period of any note from -12 to 119. Below the table the formula exceeds
// the register, so it is 1023 like notes 0-32.
std::int32_t KeyPeriod(int note) {
    if (note < 0) return kMaxPeriod;
    if (note >= kTableNotes) return kKeyTableAbove[note - kTableNotes];
    return DcsgKeyTable[note];
}

}  // namespace

// Period of a note bent by `detune`, moving linearly in period towards the
// entry an octave away (8191 = one octave). The product is taken in 64 bits
// so that no detune value can overflow; the result is clamped to 0..1023.
std::uint32_t DcsgTonePeriod(std::uint32_t note, std::int32_t detune) {
    if (note >= static_cast<std::uint32_t>(kTableNotes)) return 0;
    const int n = static_cast<int>(note);
    const std::int64_t base = KeyPeriod(n);
    std::int64_t x = 0;
    if (detune > 0) x = static_cast<std::int64_t>(detune) * (base - KeyPeriod(n + 12));
    if (detune < 0) x = static_cast<std::int64_t>(detune) * (KeyPeriod(n - 12) - base);
    const std::int64_t period = base - x / kDetuneOctave;  // truncates towards zero
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(period, 0, kMaxPeriod));
}

std::uint32_t DcsgPeriodOfHz(double hz) {
    const double period = hz > 0 ? VGM::kSn76489Clock / (32.0 * hz) : kMaxPeriod;
    return static_cast<std::uint32_t>(std::lround(std::clamp(period, 1.0, static_cast<double>(kMaxPeriod))));
}

std::uint32_t DcsgAttenuation(std::uint32_t volume) { return kSilent - (std::min(volume, kMaxVolume) >> 3); }

DCSGDRV::DCSGDRV() = default;

void DCSGDRV::VgmSet(VGMOUT* writer) { vgm = writer; }

void DCSGDRV::Emit(std::uint32_t data) {
    if (vgm) vgm->WriteRegDcsg(data);
}

void DCSGDRV::EmitNoiseControl() { Emit(SN76489::NoiseControl(4 * noise_feedback + noise_shift)); }

void DCSGDRV::EmitAttenuation(std::uint32_t ch, std::uint32_t attenuation) {
    Emit(SN76489::AttenuationLatch(ch, attenuation));
}

void DCSGDRV::EmitPeriod(std::uint32_t ch) {
    const std::uint32_t period = DcsgTonePeriod(chan[ch].cur_note, chan[ch].detune);
    Emit(SN76489::PeriodLatch(ch, period));
    Emit(SN76489::PeriodData(period));
}

void DCSGDRV::SetPan(std::uint32_t, std::uint32_t) {}

void DCSGDRV::SetReg(std::uint32_t data) { Emit(data); }

void DCSGDRV::SetNoiseControl(std::uint32_t rate) {
    noise_shift = rate & 3;
    EmitNoiseControl();
}

void DCSGDRV::SetNoiseFeedback(std::uint32_t on) {
    noise_feedback = on != 0 ? 1 : 0;
    EmitNoiseControl();
}

void DCSGDRV::SetVolume(std::uint32_t ch, std::uint32_t vol) {
    if (ch >= kChannels) return;
    chan[ch].ch_volume = static_cast<std::uint8_t>(std::min(vol, kMaxVolume));
    if (chan[ch].keyon) EmitAttenuation(ch, DcsgAttenuation(chan[ch].ch_volume));
}

void DCSGDRV::SetNote(std::uint32_t ch, std::uint32_t note) {
    if (ch >= kChannels) return;
    chan[ch].cur_note = static_cast<std::uint8_t>(note);
    if (ch != kDcsgNoiseChannel) EmitPeriod(ch);
}

void DCSGDRV::KeyOff(std::uint32_t ch) {
    if (ch >= kChannels) return;
    EmitAttenuation(ch, kSilent);
    chan[ch].keyon = 0;
}

void DCSGDRV::KeyOn(std::uint32_t ch) {
    if (ch >= kChannels) return;
    chan[ch].keyon = 1;
    EmitAttenuation(ch, DcsgAttenuation(chan[ch].ch_volume));
}

void DCSGDRV::SetDetune(std::uint32_t ch, std::int32_t detune) {
    if (ch >= kChannels) return;
    chan[ch].detune = detune;
    if (ch != kDcsgNoiseChannel) EmitPeriod(ch);
}

// Programs repeat every 8: bit 2 selects white noise, bits 1-0 the shift
// rate. The two settings go out one after the other, feedback first.
void DCSGDRV::SetProgram(std::uint32_t ch, std::uint32_t program) {
    if (ch != kDcsgNoiseChannel) return;
    const std::uint32_t mode = program & 7;
    noise_feedback = (mode >> 2) & 1;
    EmitNoiseControl();
    noise_shift = mode & 3;
    EmitNoiseControl();
}

void DCSGDRV::SetPeriod(std::uint32_t ch, std::uint32_t period) {
    if (ch >= kDcsgNoiseChannel) return;
    period = std::min<std::uint32_t>(period, kMaxPeriod);
    Emit(SN76489::PeriodLatch(ch, period));
    Emit(SN76489::PeriodData(period));
}

void DCSGDRV::SetAttenuation(std::uint32_t ch, std::uint32_t attenuation) {
    if (ch >= kChannels) return;
    EmitAttenuation(ch, std::min(attenuation, kSilent));
}
