// A voice as the YM2612's registers hold it, and the field conversions every
// voice format shares: packing a voice into register images through the
// chip's register map, reading it back, and the two detune codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "instruments/voice_record.h"

namespace voiceformat {

// The images of one operator's registers 0x30-0x90, as the chip reads them
// (unused bits 0).
struct OperatorImage {
    std::uint8_t dt_mul = 0, tl = 0, ks_ar = 0, am_d1r = 0, d2r = 0, d1l_rr = 0, ssg_eg = 0;
};

// The seven bytes of an operator's registers 0x30-0x90 in register order, as
// Y12 and the OPN2 bank formats store them: read with the bits that hold no
// field cleared, written as they are.
OperatorImage ReadOperatorImage(const std::uint8_t* p);
void WriteOperatorImage(const OperatorImage& o, std::uint8_t* p);

// A whole voice: operators in register order, 0xB0 and 0xB4 (without the
// output bits L/R).
struct VoiceImage {
    OperatorImage op[4];
    std::uint8_t fb_alg = 0, lfo_sens = 0;

    bool operator==(const VoiceImage& o) const;
    bool operator!=(const VoiceImage& o) const { return !(*this == o); }
};

// The register images of a voice, each field masked to the width the chip
// reads (what the converter's writes mean to the chip).
VoiceImage ToImage(const FmVoice& voice, const VoiceExtras& extras);
// A voice from register images (unused bits ignored), with the OPM text's
// conventional values for what the chip has no register for: LFO line 0,
// PAN 192 (both outputs), SLOT 120, NE 0, DT2 0.
void FromImage(const VoiceImage& image, FmVoice& voice, VoiceExtras& extras);
// The same voice with only the conventional values: what readers fill.
FmVoice ChipVoice();

// One line per field of `voice` outside the range its register holds,
// e.g. "M1 AR 40 is outside 0-31: the chip reads 8". Empty for a voice every
// format can hold as it is.
std::vector<std::string> OutOfRange(const FmVoice& voice);

// What every writer starts from: the voice's register images, with a line in
// `losses` for each field out of range (see OutOfRange).
VoiceImage WriterImage(const BankVoice& voice, std::vector<std::string>& losses);
// Whether any operator has its AM flag set.
bool AnyAm(const VoiceImage& image);
// Whether any operator has SSG-EG on.
bool AnySsgEg(const VoiceImage& image);

// Whether a file's algorithm and feedback, stored as plain values, are the
// chip's 0-7; else false with the reason in `why`.
bool AlgorithmAndFeedbackFit(unsigned algorithm, unsigned feedback, std::string& why);

// Operator names in register order.
extern const char* const kOperatorNames[4];  // "M1", "M2", "C1", "C2"

// Detune: the chip's code (0 none, 1-3 up, 4 none, 5-7 down) and the offset
// code of TFI, VGI and DMP (0-6 for -3..+3, 3 none). Chip code 4 becomes 3.
constexpr std::uint8_t OffsetOfDetune(unsigned chip) {
    constexpr std::uint8_t kOffset[8] = {3, 4, 5, 6, 3, 2, 1, 0};
    return kOffset[chip & 7];
}
// Offsets above 6 have no meaning; callers reject them.
constexpr std::uint8_t DetuneOfOffset(unsigned offset) {
    return offset >= 3 ? static_cast<std::uint8_t>(offset - 3) : static_cast<std::uint8_t>(4 + (3 - offset));
}

}  // namespace voiceformat
