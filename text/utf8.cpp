#include "text/utf8.h"

namespace Text {

namespace {

// Bytes a sequence takes after its lead byte, -1 for a byte that cannot lead.
// C0 and C1 would only start overlong forms, F5-FF values past U+10FFFF.
int Continuations(unsigned char lead) {
    if (lead < 0x80) return 0;
    if (lead >= 0xC2 && lead <= 0xDF) return 1;
    if (lead >= 0xE0 && lead <= 0xEF) return 2;
    if (lead >= 0xF0 && lead <= 0xF4) return 3;
    return -1;
}

}  // namespace

char32_t NextUtf8(std::string_view s, std::size_t& i) {
    const auto byte = [&s](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    const int extra = Continuations(lead);
    if (extra == 0) {
        ++i;
        return lead;
    }
    if (extra < 0 || i + extra >= s.size()) {
        ++i;
        return kReplacement;
    }
    static constexpr unsigned char kLeadBits[4] = {0, 0x1F, 0x0F, 0x07};
    char32_t cp = lead & kLeadBits[extra];
    for (int k = 1; k <= extra; ++k) {
        const unsigned char c = byte(i + k);
        if ((c & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        cp = cp << 6 | (c & 0x3F);
    }
    static constexpr char32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += extra + 1;
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool IsUtf8(std::string_view s, bool allow_cut_end, std::size_t* complete) {
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t at = i;
        // A genuine U+FFFD is three bytes; a replaced fault advances by one.
        if (NextUtf8(s, i) == kReplacement && i == at + 1) {
            // Cut short at the end: a lead byte and only continuation bytes after it.
            const int extra = Continuations(static_cast<unsigned char>(s[at]));
            bool cut = allow_cut_end && extra > 0 && at + extra >= s.size();
            for (std::size_t k = at + 1; cut && k < s.size(); ++k) cut = (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80;
            if (!cut) return false;
            if (complete != nullptr) *complete = at;
            return true;
        }
    }
    if (complete != nullptr) *complete = s.size();
    return true;
}

std::string ValidUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) AppendUtf8(out, NextUtf8(s, i));
    return out;
}

}  // namespace Text
