#include "text/text_decode.h"

#include <iconv.h>

#include <cerrno>

#include "text/utf8.h"

namespace Text {

namespace {

// glibc's name for Windows code page 932. It reads 0x5C and 0x7E as the
// ASCII backslash and tilde (its "SHIFT_JIS" makes them the yen sign and an
// overline, which would change every ASCII text), and it knows the NEC
// special characters (row 13: circled numbers, Roman numerals) and the NEC
// and IBM kanji extensions that Japanese Windows software writes.
constexpr const char* kShiftJisName = "CP932";

constexpr char32_t kPrivateUseFirst = 0xE000, kPrivateUseLast = 0xF8FF;
bool AllAscii(std::string_view s) {
    for (const char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Shift-JIS to UTF-8 through iconv. A descriptor is opened for each text:
// one shared between threads would not be safe, and it costs microseconds.
// False when the bytes are not Shift-JIS, or iconv lacks the code page.
bool ShiftJisToUtf8(std::string_view bytes, bool cut_end, std::string& out) {
    const iconv_t cd = iconv_open("UTF-8", kShiftJisName);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    // One byte (single-byte katakana) or two give at most three bytes of UTF-8.
    out.assign(bytes.size() * 3, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* to = out.data();
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(cd, &in, &inLeft, &to, &outLeft);
    const bool ok = result != static_cast<std::size_t>(-1) || (errno == EINVAL && cut_end);
    iconv_close(cd);
    out.resize(static_cast<std::size_t>(to - out.data()));
    return ok;
}

bool IsAsciiLetter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool IsSingleByteKatakana(unsigned char c) { return c >= 0xA1 && c <= 0xDF; }

// Whether valid Shift-JIS bytes look like Latin-1 all the same: every
// character beyond ASCII is either a single-byte katakana with no katakana
// beside it (a Latin-1 capital or sign: "\xC9lan", "\xA9 1995") or a
// double-byte character that begins after a Latin letter and ends on one (a
// Latin-1 small letter inside a word: "Sp\xE5r", "H\xE9l\xE8ne"). Japanese
// words take two or more characters side by side.
bool LooksLatin1(std::string_view bytes) {
    const auto at = [&bytes](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char c = at(i);
        if (c < 0x80) {
            ++i;
            continue;
        }
        const bool afterLetter = i > 0 && IsAsciiLetter(at(i - 1));
        if (IsSingleByteKatakana(c)) {
            const bool kanaBefore = i > 0 && IsSingleByteKatakana(at(i - 1));
            const bool kanaAfter = i + 1 < bytes.size() && IsSingleByteKatakana(at(i + 1));
            if (kanaBefore || kanaAfter) return false;
            ++i;
            continue;
        }
        if (!afterLetter || i + 1 >= bytes.size() || !IsAsciiLetter(at(i + 1))) return false;
        i += 2;
    }
    return true;
}

// Whether a Shift-JIS reading is one a Japanese writer made (see DecodeText).
bool PlausibleShiftJis(std::string_view bytes, const std::string& utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = NextUtf8(utf8, i);
        if (cp >= kPrivateUseFirst && cp <= kPrivateUseLast) return false;
    }
    return !LooksLatin1(bytes);
}

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) AppendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

// The readings a byte string has.
struct Readings {
    bool utf8 = false;
    std::size_t utf8_length = 0;  // without a cut end
    bool shift_jis = false;
    std::string shift_jis_text;
};

Readings ReadingsOf(std::string_view bytes, bool cut_end) {
    Readings r;
    r.utf8 = IsUtf8(bytes, cut_end, &r.utf8_length);
    r.shift_jis = ShiftJisToUtf8(bytes, cut_end, r.shift_jis_text) && PlausibleShiftJis(bytes, r.shift_jis_text);
    return r;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

const char* EncodingName(Encoding encoding) {
    switch (encoding) {
    case Encoding::Ascii: return "ASCII";
    case Encoding::Utf8: return "UTF-8";
    case Encoding::ShiftJis: return "Shift-JIS";
    case Encoding::Latin1: return "Latin-1";
    case Encoding::Unknown: break;
    }
    return "unknown";
}

DecodedText DecodeText(std::string_view bytes, Encoding prefer, bool cut_end) {
    if (AllAscii(bytes)) return {std::string(bytes), Encoding::Ascii};
    const bool marked = bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark;
    const Readings r = ReadingsOf(bytes, cut_end);
    if (r.utf8 && (marked || !r.shift_jis || prefer != Encoding::ShiftJis)) {
        const std::size_t skip = marked ? kByteOrderMark.size() : 0;
        return {std::string(bytes.substr(skip, r.utf8_length - skip)), Encoding::Utf8};
    }
    if (r.shift_jis && prefer != Encoding::Latin1) return {r.shift_jis_text, Encoding::ShiftJis};
    return {Latin1ToUtf8(bytes), Encoding::Latin1};
}

Encoding SongEncoding(const std::vector<std::string>& texts, std::size_t cut_length) {
    int utf8 = 0, shiftJis = 0, latin1 = 0;
    for (const std::string& text : texts) {
        if (AllAscii(text)) continue;
        const Readings r = ReadingsOf(text, cut_length != 0 && text.size() >= cut_length);
        if (r.utf8 && !r.shift_jis) ++utf8;
        if (r.shift_jis && !r.utf8) ++shiftJis;
        if (!r.utf8 && !r.shift_jis) ++latin1;
    }
    if (utf8 > shiftJis && utf8 > latin1) return Encoding::Utf8;
    if (shiftJis > utf8 && shiftJis > latin1) return Encoding::ShiftJis;
    if (latin1 > utf8 && latin1 > shiftJis) return Encoding::Latin1;
    return Encoding::Unknown;
}

}  // namespace Text
