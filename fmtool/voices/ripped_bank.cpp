#include "fmtool/voices/ripped_bank.h"

#include "chips/ym2612_map.h"
#include "fmtool/arrange/song_tag.h"
#include "smf/smf_score.h"
#include "vgm/vgm_format.h"

namespace fmtool {

namespace {

constexpr std::size_t kMaxPrograms = FMInst::kMaxInst;

std::string FmName(int channel) { return "FM " + std::to_string(channel + 1); }

}  // namespace

std::string RipComment(const VGM::RippedVoice& voice) {
    std::string text = "first heard on " + FmName(voice.first_channel) + " at " +
                       MIDI::FormatMinutes(static_cast<double>(voice.first_sample) / VGM::kSampleRate) + "; " +
                       std::to_string(voice.notes) + (voice.notes == 1 ? " note" : " notes") + ", on ";
    bool first = true;
    for (int c = 0; c < static_cast<int>(YM2612::kChannels); ++c) {
        if (!(voice.channels & (1u << c))) continue;
        text += (first ? "" : ", ") + FmName(c);
        first = false;
    }
    return text;
}

VoiceBank BankFromRip(const VGM::VoiceRip& rip, const std::string& song, std::vector<std::string>& warnings) {
    VoiceBank bank;
    const std::string stem = FileStem(song);
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
