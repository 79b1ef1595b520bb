// Fuzz target: every voice file reader and the VGM voice ripper. The first
// byte picks the reader for the rest: TFI, VGI, Y12, DMP, OPNI, WOPN, or the
// ripper. Whatever the bytes, a reader refuses them with a reason or gives
// voices that its own writer writes back to bytes it reads again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "instruments/formats/formats.h"
#include "instruments/voice_file.h"
#include "vgm/voice_rip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const VoiceFormat kFormats[] = {VoiceFormat::kTfi, VoiceFormat::kVgi,  VoiceFormat::kY12,
                                           VoiceFormat::kDmp, VoiceFormat::kOpni, VoiceFormat::kWopn};
    const std::size_t pick = data[0] % (std::size(kFormats) + 1);
    ++data;
    --size;
    if (pick == std::size(kFormats)) {
        VGM::VoiceRip rip;
        std::string error;
        if (!VGM::RipVoicesFromMemory(data, size, rip, error) && error.empty()) std::abort();
        if (rip.voices.size() > rip.key_ons) std::abort();
        return 0;
    }
    const VoiceFormat format = kFormats[pick];
    VoiceBank bank;
    std::string why;
    if (!ReadVoiceBytes(data, size, format, bank, why)) {
        if (why.empty()) std::abort();
        return 0;
    }
    // The signed formats win over the name: write back what was read.
    const VoiceFormat read_as = voiceformat::IsWopn(data, size)   ? VoiceFormat::kWopn
                                : voiceformat::IsOpni(data, size) ? VoiceFormat::kOpni
                                                                  : format;
    std::vector<std::string> losses;
    const std::vector<std::uint8_t> again = EncodeVoiceFile(read_as, bank, {}, losses);
    VoiceBank back;
    if (!ReadVoiceBytes(again.data(), again.size(), read_as, back, why)) std::abort();
    if (back.voices.size() != bank.voices.size()) std::abort();
    const std::string text = voiceformat::WriteOpmText(bank, {});
    voiceformat::ReadOpmExtras(text, back);
    return 0;
}
