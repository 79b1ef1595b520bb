// The GD3 tag of a VGM file: eleven texts (title, game, system, author ...),
// stored as UTF-16LE strings behind the sound data. Here in UTF-8 both ways.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "text/utf8.h"

namespace VGM {

// The texts of a GD3 1.00 tag, in file order.
enum Gd3Field {
    kGd3TrackName,
    kGd3TrackNameJapanese,
    kGd3GameName,
    kGd3GameNameJapanese,
    kGd3SystemName,
    kGd3SystemNameJapanese,
    kGd3Author,
    kGd3AuthorJapanese,
    kGd3ReleaseDate,  // "yyyy/mm/dd", or less
    kGd3ConvertedBy,  // the person or tool that made the file
    kGd3Notes,        // the only text that may hold line breaks
    kGd3FieldCount
};

// English names of the fields ("track name", "game name (Japanese)" ...).
const char* Gd3FieldName(Gd3Field field);

struct Gd3Tag {
    std::array<std::string, kGd3FieldCount> text;  // UTF-8

    std::string& operator[](Gd3Field f) { return text[f]; }
    const std::string& operator[](Gd3Field f) const { return text[f]; }
    bool Empty() const;
};

// `text` with every byte that is not part of well-formed UTF-8 replaced by
// U+FFFD, as the tag stores it.
inline std::string ValidUtf8(const std::string& text) { return Text::ValidUtf8(text); }

// The usual system name of a file for the YM2612 and the SN76489.
extern const char* const kGd3MegaDrive;

constexpr std::uint8_t kGd3Ident[4] = {'G', 'd', '3', ' '};
constexpr std::size_t kGd3HeaderSize = 12;  // "Gd3 ", version, length of the strings
constexpr std::uint32_t kGd3Version = 0x100;

// The tag's bytes: "Gd3 ", version 1.00, the length of the string data, then
// each text in UTF-16LE ended by a 16-bit 0. Bytes that are not valid UTF-8
// are stored as U+FFFD; characters beyond U+FFFF as surrogate pairs. No
// control character is stored (Text::CleanText): line breaks only in the
// notes, a NUL as U+FFFD.
std::vector<std::uint8_t> BuildGd3(const Gd3Tag& tag);

// The outcome of reading a tag. `problems` holds one line per fault in the
// layout (wrong version, length past the end, a missing terminator, bytes
// after the last text, an unpaired surrogate); whatever could be read is in
// `tag` all the same. `found` is false when the bytes do not begin with "Gd3 ".
struct Gd3Reading {
    bool found = false;
    std::uint32_t version = 0;
    std::uint32_t length = 0;  // the header's length of the string data
    Gd3Tag tag;
    std::vector<std::string> problems;
};

// Reads a tag from the `size` bytes at `data`, which run from "Gd3 " to the
// end of the file (or as far as the caller has read). Never reads past them.
Gd3Reading ParseGd3(const std::uint8_t* data, std::size_t size);

// Appends `tag` to a complete VGM file image and points the header at it: the
// GD3 offset (0x14) and the EOF offset (0x04); nothing else changes. A tag
// already at the end of the image, where the header's GD3 offset points, is
// replaced. Returns false, with the image untouched, when it is not a VGM
// file or would grow past the header's 32-bit offsets.
bool AppendGd3(std::vector<std::uint8_t>& vgm, const Gd3Tag& tag);

}  // namespace VGM
