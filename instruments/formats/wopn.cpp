// WOPN, the OPN2 bank editor's bank. Version 1: "WOPN2-BANK\0", melodic and
// percussion bank counts (16 bits big-endian), the chip-wide LFO byte, then
// 128 entries of 65 bytes per bank. Version 2: "WOPN2-B2NK\0", the version
// (16 bits little-endian, 2), the counts, the LFO byte, 34 bytes of name and
// MIDI bank numbers per bank, then 128 entries of 69 bytes per bank (the
// entry and two delays). Melodic banks come first; the first gives programs
// 0-127. An entry with no name and no register field set is an empty program.
#include "instruments/formats/formats.h"
#include "instruments/formats/opn2_entry.h"

#include <cstring>

namespace voiceformat {

namespace {

constexpr char kMagic1[] = "WOPN2-BANK";  // with its NUL: 11 bytes
constexpr char kMagic2[] = "WOPN2-B2NK";
constexpr std::size_t kMagicBytes = kOpn2MagicBytes;
constexpr std::uint16_t kVersion2 = 2;
constexpr std::size_t kPrograms = 128;
constexpr std::size_t kBankMetaBytes = 34;
constexpr std::size_t kEntry2Bytes = kOpn2EntryBytes + 4;  // and the key-on and key-off delays

}  // namespace

bool IsWopn(const std::uint8_t* data, std::size_t size) {
    return HasOpn2Magic(data, size, kMagic1) || HasOpn2Magic(data, size, kMagic2);
}

bool ReadWopn(const std::uint8_t* data, std::size_t size, VoiceBank& out, std::string& why) {
    const bool v2 = HasOpn2Magic(data, size, kMagic2);
    if (!v2 && !HasOpn2Magic(data, size, kMagic1)) {
        why = "does not begin with \"WOPN2-BANK\" or \"WOPN2-B2NK\": not a WOPN bank";
        return false;
    }
    const std::size_t header = v2 ? 18 : 16;
    if (size < header) {
        why = "ends inside its header";
        return false;
    }
    std::size_t at = kMagicBytes;
    if (v2) {
        const std::uint16_t version = Le16(data + at);
        if (version != kVersion2) {
            why = "is a WOPN of version " + std::to_string(version) + "; only versions 1 and 2 are read";
            return false;
        }
        at += 2;
    }
    const std::size_t melodic = Be16(data + at), percussion = Be16(data + at + 2);
    const std::uint8_t lfo = data[at + 4];
    const std::size_t banks = melodic + percussion;
    const std::size_t entry = v2 ? kEntry2Bytes : kOpn2EntryBytes;
    const std::size_t want = header + banks * ((v2 ? kBankMetaBytes : 0) + kPrograms * entry);
    if (size != want) {
        why = "is " + std::to_string(size) + " bytes; a WOPN of version " + (v2 ? "2" : "1") + " with " +
              std::to_string(banks) + " banks is " + std::to_string(want);
        return false;
    }
    if (melodic == 0) {
        why = "holds no melodic bank";
        return false;
    }
    const std::uint8_t* entries = data + header + (v2 ? banks * kBankMetaBytes : 0);
    out.voices.clear();
    for (std::size_t n = 0; n < kPrograms; ++n) {
        const std::uint8_t* p = entries + n * entry;
        if (IsBlankOpn2Entry(p)) continue;
        BankVoice v;
        v.program = static_cast<int>(n);
        ReadOpn2Entry(p, v);
        out.voices.push_back(std::move(v));
    }
    if (melodic > 1)
        out.warnings.push_back("only the first of its " + std::to_string(melodic) +
                               " melodic banks is read: a bank here holds programs 0-127");
    if (percussion > 0) out.warnings.push_back("its percussion banks are not read");
    if (lfo != 0)
        out.warnings.push_back("its LFO setting (register 0x22 = " + std::to_string(lfo) +
                               ") is not kept: the converter sets the LFO itself");
    return true;
}

Bytes WriteWopn(const VoiceBank& bank, std::vector<std::string>& losses) {
    const std::size_t header = 18;
    Bytes out(header + kBankMetaBytes + kPrograms * kEntry2Bytes, 0);
    std::memcpy(out.data(), kMagic2, kMagicBytes);
    PutLe16(&out[kMagicBytes], kVersion2);
    PutBe16(&out[13], 1);  // one melodic bank
    PutBe16(&out[15], 0);  // no percussion bank
    out[17] = 0;           // LFO off, the editor's default
    std::uint8_t* entries = &out[header + kBankMetaBytes];
    bool lfo_used = false;
    for (const BankVoice& v : bank.voices) {
        if (v.program < 0 || v.program >= static_cast<int>(kPrograms)) continue;
        std::vector<std::string> voice_losses;
        WriteOpn2Entry(v, entries + static_cast<std::size_t>(v.program) * kEntry2Bytes, voice_losses);
        for (const std::string& line : voice_losses)
            losses.push_back("program " + std::to_string(v.program) + ": " + line);
        lfo_used = lfo_used || v.voice.ams != 0 || v.voice.pms != 0;
    }
    if (lfo_used)
        losses.push_back("the bank's LFO is written off (the editor's default); the converter runs it for AMS and FMS");
    return out;
}

}  // namespace voiceformat
