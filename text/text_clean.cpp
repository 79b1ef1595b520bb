#include "text/text_clean.h"

#include <cstdio>

#include "text/utf8.h"

namespace Text {

namespace {

struct Range {
    char32_t first, last;
};

template <std::size_t N>
bool InRanges(char32_t cp, const Range (&ranges)[N]) {
    for (const Range& r : ranges)
        if (cp >= r.first && cp <= r.last) return true;
    return false;
}

constexpr Range kJapanese[] = {
    {0x3000, 0x303F},   // CJK symbols and punctuation (the ideographic space, 、。「」)
    {0x3040, 0x30FF},   // hiragana, katakana
    {0x31F0, 0x31FF},   // katakana phonetic extensions
    {0x3200, 0x33FF},   // enclosed CJK letters, CJK compatibility (NEC row 13: ㈱, ㌍)
    {0x3400, 0x4DBF},   // CJK extension A
    {0x4E00, 0x9FFF},   // CJK unified ideographs
    {0xF900, 0xFAFF},   // CJK compatibility ideographs (IBM extensions)
    {0xFF00, 0xFFEF},   // full-width forms and half-width katakana
    {0x20000, 0x3FFFF}, // CJK extensions B and later
};

// East Asian Width "W" and "F" blocks, in outline.
constexpr Range kWide[] = {
    {0x1100, 0x115F}, {0x2E80, 0x303E}, {0x3041, 0x33FF}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFE30, 0xFE4F}, {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
};

constexpr Range kLayout[] = {
    {0x200E, 0x200F},  // left-to-right and right-to-left marks
    {0x2028, 0x2029},  // line and paragraph separators
    {0x202A, 0x202E},  // embeddings and overrides
    {0x2066, 0x2069},  // isolates
};

}  // namespace

bool IsControl(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE;
}

bool IsLayoutControl(char32_t cp) { return InRanges(cp, kLayout); }

bool IsJapanese(char32_t cp) { return InRanges(cp, kJapanese); }

bool HasJapanese(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();)
        if (IsJapanese(NextUtf8(utf8, i))) return true;
    return false;
}

std::string CleanText(std::string_view utf8, bool multiline) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = NextUtf8(utf8, i);
        if (cp == '\r') {
            if (i < utf8.size() && utf8[i] == '\n') ++i;
            cp = '\n';
        }
        if (cp == '\n' && !multiline) cp = ' ';
        if (cp == '\t') cp = ' ';
        if (cp != '\n' && IsControl(cp)) continue;
        AppendUtf8(out, cp);
    }
    return out;
}

std::string EscapeControls(std::string_view utf8, bool multiline) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = NextUtf8(utf8, i);
        if ((cp == '\n' && multiline) || (!IsControl(cp) && !IsLayoutControl(cp))) {
            AppendUtf8(out, cp);
            continue;
        }
        char buf[16];
        std::snprintf(buf, sizeof buf, cp <= 0xFF ? "\\x%02X" : "\\u%04X", static_cast<unsigned>(cp));
        out += buf;
    }
    return out;
}

int DisplayWidth(char32_t cp) { return InRanges(cp, kWide) ? 2 : 1; }

}  // namespace Text
