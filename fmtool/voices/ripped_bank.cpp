#include "fmtool/voices/ripped_bank.h"

#include "midi/smf_score.h"
#include "vgm/vgm_format.h"

namespace fmtool {

namespace {

constexpr std::size_t kMaxPrograms = 128;

std::string Stem(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base.resize(dot);
    return base;
}

std::string FmName(int channel) { return "FM " + std::to_string(channel + 1); }

}  // namespace

std::string RipComment(const VGM::RippedVoice& voice) {
    std::string text = "first heard on " + FmName(voice.first_channel) + " at " +
                       MIDI::FormatMinutes(static_cast<double>(voice.first_sample) / VGM::kSampleRate) + "; " +
                       std::to_string(voice.notes) + (voice.notes == 1 ? " note" : " notes") + ", on ";
    bool first = true;
    for (int c = 0; c < 6; ++c) {
        if (!(voice.channels & (1u << c))) continue;
        text += (first ? "" : ", ") + FmName(c);
        first = false;
    }
    return text;
}

VoiceBank BankFromRip(const VGM::VoiceRip& rip, const std::string& song, std::vector<std::string>& warnings) {
    VoiceBank bank;
    const std::string stem = Stem(song);
    for (std::size_t i = 0; i < rip.voices.size() && i < kMaxPrograms; ++i) {
        BankVoice v;
        v.program = static_cast<int>(i);
        voiceformat::FromImage(rip.voices[i].image, v.voice, v.extras);
        v.extras.name = stem + " " + std::to_string(i);
        v.extras.notes.push_back(RipComment(rip.voices[i]));
        bank.voices.push_back(std::move(v));
    }
    if (rip.voices.size() > kMaxPrograms)
        warnings.push_back("plays " + std::string(rip.unkept_key_ons ? "more than " : "") +
                           std::to_string(rip.voices.size()) +
                           " distinct voices; a bank holds 128, so the first 128 used are kept");
    return bank;
}

}  // namespace fmtool
