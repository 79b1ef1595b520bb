#include "fmtool/arrange/song_tag.h"

#include <algorithm>
#include <cstdint>

#include "smf/smf_format.h"
#include "smf/smf_score.h"

namespace fmtool {

namespace {

constexpr std::size_t kMaxNotes = 4096;  // bytes of text events kept for the tag

// Length of the UTF-8 sequence at `s[i]`, 0 when it is not one.
std::size_t Utf8Length(const std::string& s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    }
    return n;
}

std::string ToUtf8(const std::string& text) {
    bool valid = true;
    for (std::size_t i = 0; i < text.size() && valid;) {
        const std::size_t n = Utf8Length(text, i);
        valid = n != 0;
        i += n;
    }
    if (valid) return text;
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Without surrounding blanks and NUL padding; control characters as blanks.
std::string Clean(const std::string& raw) {
    std::string s = ToUtf8(raw);
    std::replace_if(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace

SongTexts ReadSongTexts(const MIDI::Score& score, const std::string& fallback_title) {
    SongTexts texts;
    unsigned titleTrack = ~0u;
    for (const MIDI::ScoreEvent& e : score.events) {
        if (!e.IsMeta() || e.payload >= score.texts.size()) continue;
        const std::string text = Clean(score.texts[e.payload]);
        if (text.empty()) continue;
        if (e.data1 == MIDI::kMetaTrackName && e.track < titleTrack) {
            titleTrack = e.track;
            texts.title = text;
            texts.title_text = static_cast<long>(e.payload);
        } else if (e.data1 == MIDI::kMetaCopyright) {
            texts.author += (texts.author.empty() ? "" : "; ") + text;
        } else if (e.data1 == MIDI::kMetaText && texts.notes.size() < kMaxNotes) {
            texts.notes += (texts.notes.empty() ? "" : "\n") + text;
        }
    }
    if (texts.title.empty()) texts.title = Clean(fallback_title);
    return texts;
}

std::string FileStem(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

VGM::Gd3Tag SongTag(const SongTexts& texts) {
    VGM::Gd3Tag tag;
    tag[VGM::kGd3TrackName] = texts.title;
    tag[VGM::kGd3SystemName] = VGM::kGd3MegaDrive;
    tag[VGM::kGd3Author] = texts.author;
    tag[VGM::kGd3ConvertedBy] = std::string("fmroll ") + FMROLL_VERSION;
    tag[VGM::kGd3Notes] = texts.notes;
    return tag;
}

}  // namespace fmtool
