#include "fmtool/arrange/gm_programs.h"

#include <cstdlib>

#include "fmtool/arrange/chip_level.h"
#include "instruments/fminst.h"

namespace fmtool {

static_assert(FMInst::kMaxInst >= kGmPrograms, "a bank holds a voice for every General MIDI program");

namespace {

constexpr int kPianos = 0, kChromaticPercussion = 1, kGuitars = 3, kBasses = 4, kPercussive = 14;
constexpr int kFirstPluckedString = 45, kLastStruckString = 47;  // pizzicato, harp, timpani
constexpr int kFirstEthnicPlucked = 104, kLastEthnicPlucked = 108;  // sitar, banjo, shamisen, koto, kalimba
constexpr int kFirstPipe = 72, kLastSynthLead = 87;

// The audible program of [from, to) nearest to `program`, -1 if none.
int Nearest(const std::array<bool, kGmPrograms>& audible, int program, int from, int to) {
    int best = -1;
    for (int p = from; p < to; ++p) {
        if (audible[p] && (best < 0 || std::abs(p - program) < std::abs(best - program))) best = p;
    }
    return best;
}

}  // namespace

bool Decaying(int program) {
    const int family = GmFamily(program);
    return family == kPianos || family == kChromaticPercussion || family == kGuitars || family == kBasses ||
           (program >= kFirstPluckedString && program <= kLastStruckString) ||
           (program >= kFirstEthnicPlucked && program <= kLastEthnicPlucked) || family == kPercussive;
}

bool PrefersSquare(int program) { return program >= kFirstPipe && program <= kLastSynthLead; }

ProgramVoices::ProgramVoices(const FMInst& bank) : bank_(bank) {
    for (int p = 0; p < kGmPrograms; ++p) audible_[p] = VoiceAudible(bank.voice[p]);
    for (int p = 0; p < kGmPrograms; ++p) {
        if (audible_[p]) {
            voice_[p] = p;
            continue;
        }
        const int family = GmFamily(p) * kGmFamilySize;
        voice_[p] = Nearest(audible_, p, family, family + kGmFamilySize);
        if (voice_[p] < 0) voice_[p] = Nearest(audible_, p, 0, kGmPrograms);
    }
}

int ProgramVoices::FirstAudible(const int (&programs)[2]) const {
    for (int p : programs) {
        if (audible_[p]) return p;
    }
    return -1;
}

const FmVoice& ProgramVoices::Voice(int program) const { return bank_.voice[program]; }

}  // namespace fmtool
