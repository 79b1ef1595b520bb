// TFI, TFM Music Maker's instrument: 42 bytes, ALG, FB, then four operator
// blocks in register order. No magic, no name (tools use the file name), no
// AM flag, AMS or FMS.
#include "instruments/formats/formats.h"
#include "instruments/formats/tfm_operator.h"

#include "chips/ym2612_map.h"

namespace voiceformat {

namespace {
constexpr std::size_t kTfiSize = 42;
constexpr std::size_t kOperators = 2;
}  // namespace

bool ReadTfi(const std::uint8_t* data, std::size_t size, BankVoice& out, std::string& why) {
    if (size != kTfiSize) {
        why = "is " + std::to_string(size) + " bytes; a TFI voice is 42";
        return false;
    }
    if (!AlgorithmAndFeedbackFit(data[0], data[1], why)) return false;
    out.voice = ChipVoice();
    out.voice.con = data[0];
    out.voice.fl = data[1];
    for (unsigned r = 0; r < 4; ++r) {
        if (!ReadTfmOperator(data + kOperators + kTfmOperatorBytes * r, r, false, out.voice.op[r],
                             out.extras.ssg_eg[r], why))
            return false;
    }
    out.extras.notes.push_back("TFI holds no AM flags, AMS or FMS: 0");
    return true;
}

Bytes WriteTfi(const BankVoice& voice, std::vector<std::string>& losses) {
    const VoiceImage image = WriterImage(voice, losses);
    Bytes out(kTfiSize, 0);
    out[0] = static_cast<std::uint8_t>(YM2612::AlgorithmOf(image.fb_alg));
    out[1] = static_cast<std::uint8_t>(YM2612::FeedbackOf(image.fb_alg));
    for (unsigned r = 0; r < 4; ++r) WriteTfmOperator(image.op[r], &out[kOperators + kTfmOperatorBytes * r]);
    if (AnyAm(image)) losses.push_back("TFI holds no AM flags: written without");
    if (image.lfo_sens != 0) losses.push_back("TFI holds no AMS or FMS: written without");
    return out;
}

}  // namespace voiceformat
