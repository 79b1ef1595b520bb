// The instrument entry OPNI and WOPN share (the OPN2 bank editor's format):
// a 32-byte name, a big-endian key offset, a percussion key, the images of
// 0xB0 and 0xB4, and seven register images per operator in register order.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "instruments/voice_record.h"

namespace voiceformat {

constexpr std::size_t kOpn2EntryBytes = 65;
constexpr std::size_t kOpn2NameBytes = 32;

// Reads an entry into `out` (name, voice, SSG-EG). A key offset or a
// percussion key the bank cannot use is said in `out`'s notes.
void ReadOpn2Entry(const std::uint8_t* p, BankVoice& out);
// True for an entry with no name and no voice register field set: a
// program the bank leaves empty.
bool IsBlankOpn2Entry(const std::uint8_t* p);
// Writes `voice` as an entry at `p` (kOpn2EntryBytes, zeroed by the caller).
void WriteOpn2Entry(const BankVoice& voice, std::uint8_t* p, std::vector<std::string>& losses);

// Both files begin with an 11-byte signature, its text and a NUL: the
// first version's or the second's.
constexpr std::size_t kOpn2MagicBytes = 11;
inline bool HasOpn2Magic(const std::uint8_t* data, std::size_t size, const char (&magic)[kOpn2MagicBytes]) {
    return size >= kOpn2MagicBytes && std::memcmp(data, magic, kOpn2MagicBytes) == 0;
}

// Big-endian 16-bit fields, and the version code's little-endian one.
inline std::uint16_t Be16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
inline std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline void PutBe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}
inline void PutLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace voiceformat
