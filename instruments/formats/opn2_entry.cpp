#include "instruments/formats/opn2_entry.h"

#include <algorithm>

#include "instruments/formats/voice_registers.h"

namespace voiceformat {

namespace {

constexpr std::size_t kKeyOffset = 32, kPercussionKey = 34, kFbAlg = 35, kLfoSens = 36, kOperators = 37;
constexpr std::size_t kOperatorBytes = 7;
// Bits of the channel register images that hold a field.
constexpr std::uint8_t kFbAlgBits = 0x3F, kLfoSensBits = 0x37;

VoiceImage ImageOf(const std::uint8_t* p) {
    VoiceImage image;
    for (unsigned r = 0; r < 4; ++r) image.op[r] = ReadOperatorImage(p + kOperators + kOperatorBytes * r);
    image.fb_alg = p[kFbAlg] & kFbAlgBits;
    image.lfo_sens = p[kLfoSens] & kLfoSensBits;
    return image;
}

}  // namespace

void ReadOpn2Entry(const std::uint8_t* p, BankVoice& out) {
    FromImage(ImageOf(p), out.voice, out.extras);
    out.extras.name.assign(p, std::find(p, p + kOpn2NameBytes, 0));
    const std::int16_t offset = static_cast<std::int16_t>(Be16(p + kKeyOffset));
    if (offset != 0)
        out.extras.lost.push_back("its key offset of " + std::to_string(offset) +
                                   " semitones is not kept: the voice plays at the note's pitch");
    if (p[kPercussionKey] != 0)
        out.extras.lost.push_back("its percussion key " + std::to_string(p[kPercussionKey]) + " is not kept");
}

bool IsBlankOpn2Entry(const std::uint8_t* p) {
    // Only the name and the fields the chip reads count: an entry that holds
    // nothing else (a key offset, stray unused bits) has no voice to keep.
    if (p[0] != 0) return false;
    return ImageOf(p) == VoiceImage();
}

void WriteOpn2Entry(const BankVoice& voice, std::uint8_t* p, std::vector<std::string>& losses) {
    const VoiceImage image = WriterImage(voice, losses);
    const std::string& name = voice.extras.name;
    const std::size_t kept = std::min(name.size(), kOpn2NameBytes - 1);
    std::copy_n(name.begin(), kept, p);
    if (kept < name.size()) losses.push_back("the name is cut to 31 characters");
    p[kFbAlg] = image.fb_alg;
    p[kLfoSens] = image.lfo_sens;
    for (unsigned r = 0; r < 4; ++r) WriteOperatorImage(image.op[r], p + kOperators + kOperatorBytes * r);
}

}  // namespace voiceformat
