#include "vgm/gd3.h"

#include <cstdio>
#include <cstring>

#include "text/text_clean.h"
#include "text/utf8.h"
#include "vgm/vgm_format.h"

namespace VGM {

const char* const kGd3MegaDrive = "Sega Mega Drive / Genesis";

namespace {

using Text::kReplacement;

const char* const kFieldNames[kGd3FieldCount] = {
    "track name",      "track name (Japanese)",  "game name", "game name (Japanese)",
    "system name",     "system name (Japanese)", "author",    "author (Japanese)",
    "release date",    "converted by",           "notes",
};

void PutUnit(std::vector<std::uint8_t>& out, std::uint32_t unit) {
    out.push_back(static_cast<std::uint8_t>(unit));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
}

// One text as UTF-16LE with its terminator. A NUL inside would end the string
// early for every reader and shift all later texts, so it becomes U+FFFD;
// line breaks outside the notes become blanks, and no other control
// character is stored.
void PutText(std::vector<std::uint8_t>& out, const std::string& text, bool multiline) {
    std::string marked = text;
    for (std::size_t nul = marked.find('\0'); nul != std::string::npos; nul = marked.find('\0', nul))
        marked.replace(nul, 1, "\xEF\xBF\xBD");
    const std::string clean = Text::CleanText(marked, multiline);
    for (std::size_t i = 0; i < clean.size();) {
        char32_t cp = Text::NextUtf8(clean, i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            PutUnit(out, 0xD800 + (cp >> 10));
            PutUnit(out, 0xDC00 + (cp & 0x3FF));
        } else {
            PutUnit(out, cp);
        }
    }
    PutUnit(out, 0);
}

}  // namespace

const char* Gd3FieldName(Gd3Field field) {
    return field >= 0 && field < kGd3FieldCount ? kFieldNames[field] : "?";
}

bool Gd3Tag::Empty() const {
    for (const std::string& t : text)
        if (!t.empty()) return false;
    return true;
}

std::vector<std::uint8_t> BuildGd3(const Gd3Tag& tag) {
    std::vector<std::uint8_t> out(kGd3HeaderSize);
    std::memcpy(out.data(), kGd3Ident, 4);
    Put32(out.data() + 4, kGd3Version);
    for (int f = 0; f < kGd3FieldCount; ++f) PutText(out, tag.text[f], f == kGd3Notes);
    Put32(out.data() + 8, static_cast<std::uint32_t>(out.size() - kGd3HeaderSize));
    return out;
}

Gd3Reading ParseGd3(const std::uint8_t* data, std::size_t size) {
    Gd3Reading r;
    if (size < 4 || std::memcmp(data, kGd3Ident, 4) != 0) return r;
    r.found = true;
    if (size < kGd3HeaderSize) {
        r.problems.push_back("GD3 tag is cut off inside its header");
        return r;
    }
    r.version = Get32(data + 4);
    r.length = Get32(data + 8);
    if (r.version != kGd3Version) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "GD3 version is %X.%02X, not 1.00", r.version >> 8, r.version & 0xFF);
        r.problems.push_back(buf);
    }
    std::size_t length = r.length;
    if (r.length > size - kGd3HeaderSize) {
        r.problems.push_back("GD3 length " + std::to_string(r.length) + " runs past the end of the file (" +
                             std::to_string(size - kGd3HeaderSize) + " bytes there)");
        length = size - kGd3HeaderSize;
    }
    if (length % 2 != 0) r.problems.push_back("GD3 length " + std::to_string(r.length) + " is odd");

    const std::uint8_t* p = data + kGd3HeaderSize;
    const std::size_t units = length / 2;
    std::size_t u = 0;
    bool surrogateReported = false;
    int field = 0;
    for (; field < kGd3FieldCount && u < units; ++field) {
        std::string& out = r.tag.text[field];
        bool terminated = false;
        while (u < units) {
            const char32_t unit = p[2 * u] | p[2 * u + 1] << 8;
            ++u;
            if (unit == 0) {
                terminated = true;
                break;
            }
            char32_t cp = unit;
            if (unit >= 0xD800 && unit <= 0xDBFF && u < units) {
                const char32_t low = p[2 * u] | p[2 * u + 1] << 8;
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    cp = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    ++u;
                }
            }
            if (cp >= 0xD800 && cp <= 0xDFFF) {
                cp = kReplacement;
                if (!surrogateReported)
                    r.problems.push_back(std::string("GD3 ") + kFieldNames[field] + " holds an unpaired UTF-16 surrogate");
                surrogateReported = true;
            }
            Text::AppendUtf8(out, cp);
        }
        if (!terminated) {
            r.problems.push_back(std::string("GD3 ") + kFieldNames[field] + " has no terminator");
            ++field;
            break;
        }
    }
    if (field < kGd3FieldCount)
        r.problems.push_back("GD3 tag holds " + std::to_string(field) + " of its 11 strings");
    else if (u < units)
        r.problems.push_back("GD3 tag has " + std::to_string(2 * (units - u)) + " bytes after its last string");
    return r;
}

bool AppendGd3(std::vector<std::uint8_t>& vgm, const Gd3Tag& tag) {
    if (vgm.size() < kHeaderSize || std::memcmp(vgm.data(), kIdent, 4) != 0) return false;
    std::size_t end = vgm.size();
    const std::uint32_t oldGd3 = Get32(vgm.data() + kOffGd3);
    if (oldGd3 != 0) {
        const std::size_t at = kOffGd3 + static_cast<std::size_t>(oldGd3);
        if (at >= kHeaderSize && at < vgm.size()) {
            const Gd3Reading old = ParseGd3(vgm.data() + at, vgm.size() - at);
            if (old.found && old.problems.empty() && at + kGd3HeaderSize + old.length == vgm.size()) end = at;
        }
    }
    const std::vector<std::uint8_t> bytes = BuildGd3(tag);
    const std::size_t total = end + bytes.size();
    if (total > kMaxFileSize) return false;
    vgm.resize(end);
    vgm.insert(vgm.end(), bytes.begin(), bytes.end());
    Put32(vgm.data() + kOffGd3, static_cast<std::uint32_t>(end - kOffGd3));
    Put32(vgm.data() + kOffEof, static_cast<std::uint32_t>(total - kOffEof));
    return true;
}

}  // namespace VGM
