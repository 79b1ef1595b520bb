// Texts of unknown encoding (the names, notices and texts of a MIDI file, a
// file name) read as the characters their writer meant. MIDI prescribes no
// encoding: files in the wild hold UTF-8, Shift-JIS (most Japanese files) or
// Latin-1 (older Western files), and nothing in them says which.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Text {

enum class Encoding {
    Unknown,   // as a preference: none
    Ascii,     // 7-bit bytes only, the same in every encoding here
    Utf8,      // with or without a byte-order mark
    ShiftJis,  // Windows code page 932: JIS X 0208, single-byte katakana, NEC and IBM extensions
    Latin1,    // ISO 8859-1: every byte is a character
};

// "ASCII", "UTF-8", "Shift-JIS", "Latin-1" ("unknown").
const char* EncodingName(Encoding encoding);

struct DecodedText {
    std::string utf8;  // the text in UTF-8, without a byte-order mark; control characters as they came
    Encoding encoding = Encoding::Unknown;
};

// Reads `bytes` as valid UTF-8 where they are; otherwise as valid Shift-JIS;
// otherwise as Latin-1, which every byte string is. A Shift-JIS reading is
// not valid when it holds characters of the user-defined rows (private-use
// code points no font shows), nor when each of its characters beyond ASCII
// stands alone where Latin-1 letters stand: a single-byte katakana with no
// other beside it (Latin-1 capitals and signs: "\xC9lan", "\xA9 1995"), a
// double-byte character between Latin letters (Latin-1 small letters inside
// a word: "Sp\xE5r"). A Japanese word takes two or more characters. Where both UTF-8 and Shift-JIS readings are valid, `prefer` (the
// song's encoding, SongEncoding) may choose Shift-JIS; where Shift-JIS is
// valid, it may choose Latin-1. `cut_end` says the text was cut at a byte
// count: a multi-byte sequence cut short at its end (or a last byte that
// could begin one) is then dropped instead of spoiling the reading.
DecodedText DecodeText(std::string_view bytes, Encoding prefer = Encoding::Unknown, bool cut_end = false);

// The encoding that the texts of one file show: the one that most of its
// texts are valid in alone (a text valid neither as UTF-8 nor as Shift-JIS
// counts for Latin-1). Unknown when no text decides, or two encodings tie.
// Texts of `cut_length` bytes or more were cut (0: none was).
Encoding SongEncoding(const std::vector<std::string>& texts, std::size_t cut_length = 0);

}  // namespace Text
