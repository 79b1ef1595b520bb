#include "fmtool/voices/voice_character.h"

#include <algorithm>
#include <vector>

#include "chips/ym2612_map.h"
#include "instruments/formats/voice_registers.h"

namespace fmtool {

namespace {

// Modulator levels (TL, about 0.75 dB a step): below kHarsh the spectrum is
// full of high partials, above kSoft the modulation is barely heard.
constexpr unsigned kHarsh = 16, kBright = 32, kMellow = 50, kSoft = 70;
constexpr unsigned kStrongFeedback = 5;
// Attack rates: at 28 and above a note starts within a few milliseconds; below
// 18 it swells over a tenth of a second or more.
constexpr unsigned kFastAttack = 28, kMediumAttack = 18;
// Decay level 0 keeps the attack's peak; from kDeepDecay (-30 dB) down a
// decay reads as one to near silence.
constexpr unsigned kDeepDecay = 10;
constexpr unsigned kLongRelease = 3;

}  // namespace

std::string VoiceCharacter(const FmVoice& voice, const VoiceExtras& extras) {
    const voiceformat::VoiceImage image = voiceformat::ToImage(voice, extras);
    const unsigned algorithm = YM2612::AlgorithmOf(image.fb_alg);
    std::vector<const voiceformat::OperatorImage*> carriers, modulators;
    for (unsigned slot = 0; slot < YM2612::kOperators; ++slot)
        (YM2612::IsCarrier(algorithm, slot) ? carriers : modulators).push_back(&image.op[slot]);
    if (std::all_of(carriers.begin(), carriers.end(),
                    [](const voiceformat::OperatorImage* o) { return o->tl >= YM2612::kMaxTotalLevel; }))
        return "silent";

    std::vector<std::string> words;
    unsigned loudest = YM2612::kMaxTotalLevel;
    for (const voiceformat::OperatorImage* o : modulators) loudest = std::min<unsigned>(loudest, o->tl);
    if (loudest >= kSoft) {
        words.push_back(YM2612::FeedbackOf(image.fb_alg) >= kStrongFeedback ? "buzzy" : "pure");
    } else {
        words.push_back(loudest < kHarsh ? "harsh" : loudest < kBright ? "bright" : loudest < kMellow ? "mellow" : "soft");
    }

    // The envelope heard is the loudest carrier's.
    const voiceformat::OperatorImage* main = *std::min_element(
        carriers.begin(), carriers.end(),
        [](const voiceformat::OperatorImage* a, const voiceformat::OperatorImage* b) { return a->tl < b->tl; });
    const unsigned attack = YM2612::ArOf(main->ks_ar), d1r = YM2612::D1rOf(main->am_d1r),
                   d1l = YM2612::D1lOf(main->d1l_rr), d2r = YM2612::D2rOf(main->d2r),
                   release = YM2612::RrOf(main->d1l_rr);
    words.push_back(attack >= kFastAttack ? "fast attack" : attack >= kMediumAttack ? "medium attack" : "slow attack");
    // A first decay rate of 0 holds the peak for good; past it the level
    // falls to D1L, then on at D2R.
    if (d1r > 0 && (d2r > 0 || d1l >= kDeepDecay)) {
        words.push_back("decays");
    } else {
        words.push_back(d1r > 0 && d1l > 0 ? "settles" : "holds");
    }
    if (release <= kLongRelease) words.push_back("long release");
    if (YM2612::PmsOf(image.lfo_sens) > 0) words.push_back("vibrato");
    const bool am = std::any_of(carriers.begin(), carriers.end(),
                                [](const voiceformat::OperatorImage* o) { return YM2612::AmOf(o->am_d1r) != 0; });
    if (YM2612::AmsOf(image.lfo_sens) > 0 && am) words.push_back("tremolo");
    if (voiceformat::AnySsgEg(image)) words.push_back("SSG-EG");

    std::string out;
    for (const std::string& w : words) out += (out.empty() ? "" : ", ") + w;
    return out;
}

}  // namespace fmtool
