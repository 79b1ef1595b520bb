// Y12, the Gens KMod register dump: 128 bytes, four 16-byte operator blocks of
// register images (0x30-0x90) in register order, ALG and FB as plain values at
// 0x40, then three 16-byte zero-padded strings. The use of the strings is not
// documented; the first is taken as the voice's name, the others are left
// empty. No AMS or FMS.
#include "instruments/formats/formats.h"
#include "instruments/formats/voice_registers.h"

#include <algorithm>

#include "chips/ym2612_map.h"

namespace voiceformat {

namespace {
constexpr std::size_t kY12Size = 128;
constexpr std::size_t kBlock = 16;
constexpr std::size_t kAlgorithm = 0x40, kFeedback = 0x41;
constexpr std::size_t kName = 0x50;
constexpr std::size_t kMaxName = kBlock - 1;  // room for a terminator
}  // namespace

bool ReadY12(const std::uint8_t* data, std::size_t size, BankVoice& out, std::string& why) {
    if (size != kY12Size) {
        why = "is " + std::to_string(size) + " bytes; a Y12 voice is 128";
        return false;
    }
    if (!AlgorithmAndFeedbackFit(data[kAlgorithm], data[kFeedback], why)) return false;
    VoiceImage image;
    for (unsigned r = 0; r < 4; ++r) image.op[r] = ReadOperatorImage(data + kBlock * r);
    image.fb_alg = YM2612::FeedbackAlgorithm(data[kFeedback], data[kAlgorithm]);
    FromImage(image, out.voice, out.extras);
    const std::uint8_t* name = data + kName;
    out.extras.name.assign(name, std::find(name, name + kBlock, 0));
    out.extras.notes.push_back("Y12 holds no AMS or FMS: 0");
    return true;
}

Bytes WriteY12(const BankVoice& voice, std::vector<std::string>& losses) {
    const VoiceImage image = WriterImage(voice, losses);
    Bytes out(kY12Size, 0);
    for (unsigned r = 0; r < 4; ++r) WriteOperatorImage(image.op[r], &out[kBlock * r]);
    out[kAlgorithm] = static_cast<std::uint8_t>(YM2612::AlgorithmOf(image.fb_alg));
    out[kFeedback] = static_cast<std::uint8_t>(YM2612::FeedbackOf(image.fb_alg));
    const std::string& name = voice.extras.name;
    std::copy_n(name.begin(), std::min(name.size(), kMaxName), out.begin() + kName);
    if (name.size() > kMaxName) losses.push_back("Y12 holds names of 15 characters: the name is cut");
    if (image.lfo_sens != 0) losses.push_back("Y12 holds no AMS or FMS: written without");
    return out;
}

}  // namespace voiceformat
