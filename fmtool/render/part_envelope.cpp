#include "fmtool/render/part_envelope.h"

#include <algorithm>

#include "fmtool/arrange/gm_programs.h"

namespace fmtool {

namespace {

constexpr double kSilence = -60;

// attack frames, attack dB, decay dB a frame, floor dB, release dB a frame (60 frames a second).
constexpr PartEnvelope kPiano{0, 0, 0.15, -30, 3};
constexpr PartEnvelope kMallet{0, 0, 0.35, kSilence, 3};
constexpr PartEnvelope kOrgan{1, -6, 0, 0, 4};
constexpr PartEnvelope kGuitar{0, 0, 0.2, -30, 3};
constexpr PartEnvelope kBass{0, 0, 0.12, -20, 4};
constexpr PartEnvelope kBowed{4, -12, 0, 0, 1.5};
constexpr PartEnvelope kPlucked{0, 0, 0.3, kSilence, 3};  // pizzicato, harp, timpani, sitar...
constexpr PartEnvelope kEnsemble{5, -12, 0, 0, 1.5};
constexpr PartEnvelope kWind{2, -9, 0, 0, 3};              // brass, reeds
constexpr PartEnvelope kPipe{0, 0, 0, 0, 0.5};             // flutes, whistles, ocarina: speak at once, breathe out long
constexpr PartEnvelope kLead{1, -6, 0, 0, 3};
constexpr PartEnvelope kPad{8, -15, 0, 0, 1};
constexpr PartEnvelope kEffect{4, -12, 0, 0, 1.5};
constexpr PartEnvelope kPercussive{0, 0, 0.6, kSilence, 4};

// By family (program / 8); the decaying programs of held families use kPlucked.
constexpr const PartEnvelope* kFamilies[16] = {
    &kPiano, &kMallet, &kOrgan,  &kGuitar, &kBass, &kBowed,      &kEnsemble, &kWind,
    &kWind,  &kPipe,   &kLead,   &kPad,    &kEffect, &kWind, &kPercussive, &kLead,
};

}  // namespace

const PartEnvelope& EnvelopeFor(int program) {
    const PartEnvelope& family = *kFamilies[GmFamily(std::clamp(program, 0, kGmPrograms - 1))];
    if (family.decay_db == 0 && Decaying(program)) return kPlucked;
    return family;
}

double EnvelopeDb(const PartEnvelope& e, unsigned long long frames, long long released) {
    auto held = [&e](unsigned long long k) {
        if (k < static_cast<unsigned long long>(e.attack_frames))
            return e.attack_db * static_cast<double>(e.attack_frames - static_cast<int>(k)) / e.attack_frames;
        const double fallen = -e.decay_db * static_cast<double>(k - static_cast<unsigned long long>(e.attack_frames));
        return fallen < e.floor_db ? (e.floor_db <= kSilence ? kSilence : e.floor_db) : fallen;
    };
    if (released < 0) return held(frames);
    const unsigned long long end = frames - std::min(frames, static_cast<unsigned long long>(released));
    return std::max(kSilence, held(end) - e.release_db * static_cast<double>(released + 1));
}

}  // namespace fmtool
