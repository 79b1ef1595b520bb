// VGI, VGM Music Maker's instrument: TFI's layout with the 0xB4 sensitivity
// byte (AMS, FMS) after FB, 43 bytes. The documented layout has no AM flag;
// a decay byte above 31 is read as register 0x60's image (AM in bit 7),
// the one reading consistent with the chip, and AM is never written.
#include "instruments/formats/formats.h"
#include "instruments/formats/tfm_operator.h"

#include "chips/ym2612_map.h"

namespace voiceformat {

namespace {
constexpr std::size_t kVgiSize = 43;
constexpr std::size_t kOperators = 3;
constexpr std::uint8_t kSensitivityUnused = 0xC8;  // L/R and bit 3
}  // namespace

bool ReadVgi(const std::uint8_t* data, std::size_t size, BankVoice& out, std::string& why) {
    if (size != kVgiSize) {
        why = "is " + std::to_string(size) + " bytes; a VGI voice is 43";
        return false;
    }
    if (!AlgorithmAndFeedbackFit(data[0], data[1], why)) return false;
    if (data[2] & kSensitivityUnused) {
        why = "has LFO sensitivity byte " + std::to_string(data[2]) + " with bits set that hold no field";
        return false;
    }
    out.voice = ChipVoice();
    out.voice.con = data[0];
    out.voice.fl = data[1];
    out.voice.ams = static_cast<std::int32_t>(YM2612::AmsOf(data[2]));
    out.voice.pms = static_cast<std::int32_t>(YM2612::PmsOf(data[2]));
    for (unsigned r = 0; r < 4; ++r) {
        if (!ReadTfmOperator(data + kOperators + kTfmOperatorBytes * r, r, true, out.voice.op[r],
                             out.extras.ssg_eg[r], why))
            return false;
    }
    return true;
}

Bytes WriteVgi(const BankVoice& voice, std::vector<std::string>& losses) {
    const VoiceImage image = WriterImage(voice, losses);
    Bytes out(kVgiSize, 0);
    out[0] = static_cast<std::uint8_t>(YM2612::AlgorithmOf(image.fb_alg));
    out[1] = static_cast<std::uint8_t>(YM2612::FeedbackOf(image.fb_alg));
    out[2] = image.lfo_sens;
    for (unsigned r = 0; r < 4; ++r) WriteTfmOperator(image.op[r], &out[kOperators + kTfmOperatorBytes * r]);
    if (AnyAm(image)) losses.push_back("VGI holds no AM flags: written without");
    return out;
}

}  // namespace voiceformat
