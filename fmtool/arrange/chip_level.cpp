#include "fmtool/arrange/chip_level.h"

#include <algorithm>
#include <cmath>

#include "chips/opn2drv.h"
#include "instruments/fminst.h"
#include "sequencer/sequencer_rules.h"

namespace fmtool {

namespace {

constexpr double kTlStepDb = 0.75;     // YM2612 total level step
constexpr double kDcsgStepDb = 2.0;    // SN76489 attenuation step
constexpr int kMaxTl = 127;
constexpr int kVolumeFloor = MIDI::kFmVolumeFloor;  // the converter's volume at velocity 0
constexpr int kVolumeSpan = MIDI::kFmVolumeSpan;    // ... and what velocity 127 adds
constexpr int kMaxVelocity = MIDI::kMaxVelocity;
constexpr int kQuietestAttenuation = 14;

// The loudest carrier's total level, 0..127: the carriers as the converter
// scales them.
int LoudestCarrierTl(const FmVoice& voice) {
    int tl = kMaxTl;
    for (std::uint32_t i = Opn2FirstCarrier(voice.con); i < 4; ++i) tl = std::min(tl, voice.op[i].tl & 0x7F);
    return tl;
}

}  // namespace

double SourceLevelDb(int velocity, int volume, int expression) {
    if (velocity <= 0 || volume <= 0 || expression <= 0) return kSilentDb;
    return 40 * (std::log10(velocity / 127.0) + std::log10(volume / 127.0) + std::log10(expression / 127.0));
}

int FmVelocity(const FmVoice& voice, double db) {
    const int tl = LoudestCarrierTl(voice);
    if (tl >= kMaxTl) return kMaxVelocity;
    // Steps of attenuation wanted, and the volume whose scaling adds them.
    const double steps = std::max(0.0, -db) / kTlStepDb;
    const double volume = kMaxTl - steps * kMaxTl / (kMaxTl - tl);
    int wanted = std::clamp(static_cast<int>(std::lround(volume)), kVolumeFloor, kMaxTl);
    // A carrier just above silence would round to silence when scaled.
    if ((kMaxTl - tl) * wanted < kMaxTl) wanted = kMaxTl;
    // The smallest velocity whose volume (MIDI::FmVolumeOfVelocity) is `wanted`.
    const int v = ((wanted - kVolumeFloor) * kMaxVelocity + kVolumeSpan - 1) / kVolumeSpan;
    return std::clamp(v, 1, kMaxVelocity);
}

int DcsgAttenuationOf(double db) {
    return std::clamp(static_cast<int>(std::lround(std::max(0.0, -db) / kDcsgStepDb)), 0, kQuietestAttenuation);
}

int DcsgFadeOf(double db) {
    const long steps = std::lround(std::max(0.0, -db) / kDcsgStepDb);
    return steps > kQuietestAttenuation ? kQuietestAttenuation + 1 : static_cast<int>(steps);
}

int FmAttenuationOf(const FmVoice& voice, double db) {
    const long quietest = std::max(0, kMaxTl - 1 - LoudestCarrierTl(voice));
    return static_cast<int>(std::min(quietest, std::lround(std::max(0.0, -db) / kTlStepDb)));
}

int DcsgExpression(double db) { return 127 - 8 * DcsgAttenuationOf(db); }

bool VoiceAudible(const FmVoice& voice) { return LoudestCarrierTl(voice) < kMaxTl; }

}  // namespace fmtool
