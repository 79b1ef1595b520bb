// OPNI, the OPN2 bank editor's instrument. Version 1: "WOPN2-INST\0", a
// percussion flag, the entry (77 bytes). Version 2: "WOPN2-IN2T\0", the
// version (16 bits, little-endian, 2), the flag, the entry (79 bytes).
#include "instruments/formats/formats.h"
#include "instruments/formats/opn2_entry.h"

#include <cstring>

namespace voiceformat {

namespace {

constexpr char kMagic1[] = "WOPN2-INST";  // with its NUL: 11 bytes
constexpr char kMagic2[] = "WOPN2-IN2T";
constexpr std::size_t kMagicBytes = kOpn2MagicBytes;
constexpr std::uint16_t kVersion2 = 2;
constexpr std::size_t kSize1 = kMagicBytes + 1 + kOpn2EntryBytes;
constexpr std::size_t kSize2 = kMagicBytes + 2 + 1 + kOpn2EntryBytes;

}  // namespace

bool IsOpni(const std::uint8_t* data, std::size_t size) {
    return HasOpn2Magic(data, size, kMagic1) || HasOpn2Magic(data, size, kMagic2);
}

bool ReadOpni(const std::uint8_t* data, std::size_t size, BankVoice& out, std::string& why) {
    const bool v2 = HasOpn2Magic(data, size, kMagic2);
    if (!v2 && !HasOpn2Magic(data, size, kMagic1)) {
        why = "does not begin with \"WOPN2-INST\" or \"WOPN2-IN2T\": not an OPNI instrument";
        return false;
    }
    std::size_t at = kMagicBytes;
    if (v2) {
        if (size < at + 2) {
            why = "ends before its version";
            return false;
        }
        const std::uint16_t version = Le16(data + at);
        if (version != kVersion2) {
            why = "is an OPNI of version " + std::to_string(version) + "; only versions 1 and 2 are read";
            return false;
        }
        at += 2;
    }
    const std::size_t want = v2 ? kSize2 : kSize1;
    if (size != want) {
        why = "is " + std::to_string(size) + " bytes; an OPNI instrument of version " + (v2 ? "2" : "1") + " is " +
              std::to_string(want);
        return false;
    }
    const std::uint8_t percussion = data[at];
    if (percussion > 1) {
        why = "has percussion flag " + std::to_string(percussion) + "; it must be 0 or 1";
        return false;
    }
    ReadOpn2Entry(data + at + 1, out);
    if (percussion) out.extras.lost.push_back("a percussion instrument, played here as a melodic voice");
    return true;
}

Bytes WriteOpni(const BankVoice& voice, std::vector<std::string>& losses) {
    Bytes out(kSize2, 0);
    std::memcpy(out.data(), kMagic2, kMagicBytes);
    PutLe16(&out[kMagicBytes], kVersion2);
    WriteOpn2Entry(voice, &out[kMagicBytes + 3], losses);
    return out;
}

}  // namespace voiceformat
