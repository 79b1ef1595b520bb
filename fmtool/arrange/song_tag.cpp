#include "fmtool/arrange/song_tag.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "smf/gm_programs.h"
#include "smf/smf_format.h"
#include "smf/smf_score.h"
#include "text/text_clean.h"

namespace fmtool {

namespace {

constexpr std::size_t kMaxNotes = 4096;  // bytes of text events kept for the tag

std::string Trimmed(const std::string& s) {
    const std::size_t first = s.find_first_not_of(" \n");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \n") - first + 1);
}

// The tracks that play notes. In a file of several tracks their names name
// parts; the song's name is on a track of its own (the first, as a rule).
std::vector<bool> PlayingTracks(const MIDI::Score& score) {
    std::vector<bool> plays(score.track_ends.size() + 1, false);
    if (score.format == 0) return plays;
    for (const MIDI::ScoreEvent& e : score.events)
        if (e.IsNoteOn() && e.track < plays.size()) plays[e.track] = true;
    return plays;
}

// A copyright notice written as a track name ("© 1991") is no title.
bool IsCopyrightNotice(const std::string& text) {
    std::string head = text.substr(0, 9);
    std::transform(head.begin(), head.end(), head.begin(), [](unsigned char c) { return std::tolower(c); });
    return head.rfind("\xC2\xA9", 0) == 0 || head.rfind("(c)", 0) == 0 || head == "copyright";
}

void Join(std::string& field, const std::string& text, const char* separator) {
    field += (field.empty() ? "" : separator) + text;
}

}  // namespace

SongTexts ReadSongTexts(const MIDI::Score& score, const std::string& fallback_title) {
    SongTexts texts;
    texts.encoding = Text::SongEncoding(score.texts, MIDI::kMaxTextBytes);
    const auto decode = [&texts](const std::string& bytes, bool multiline) {
        const bool cut = bytes.size() >= MIDI::kMaxTextBytes;
        return Trimmed(Text::CleanText(Text::DecodeText(bytes, texts.encoding, cut).utf8, multiline));
    };
    const std::vector<bool> plays = PlayingTracks(score);
    const auto isTitle = [&](const MIDI::ScoreEvent& e, const std::string& text) {
        return e.data1 == MIDI::kMetaTrackName && !text.empty() && e.track < plays.size() && !plays[e.track] &&
               !MIDI::IsGmProgramName(text) && !IsCopyrightNotice(text);
    };
    unsigned titleTrack = ~0u;
    for (const MIDI::ScoreEvent& e : score.events) {
        if (e.IsMeta() && e.data1 == MIDI::kMetaTrackName && e.payload < score.texts.size() && e.track < titleTrack &&
            isTitle(e, decode(score.texts[e.payload], false)))
            titleTrack = e.track;
    }
    for (const MIDI::ScoreEvent& e : score.events) {
        if (!e.IsMeta() || e.payload >= score.texts.size()) continue;
        const bool name = e.data1 == MIDI::kMetaTrackName, notes = e.data1 == MIDI::kMetaText;
        if (!name && !notes && e.data1 != MIDI::kMetaCopyright) continue;
        if (notes && texts.notes.size() >= kMaxNotes) continue;
        const std::string text = decode(score.texts[e.payload], notes);
        if (text.empty()) continue;
        const bool japanese = Text::HasJapanese(text);
        if (name) {
            if (e.track != titleTrack || !isTitle(e, text)) continue;
            std::string& title = japanese ? texts.title_japanese : texts.title;
            if (!title.empty()) continue;
            title = text;
            texts.title_texts.push_back(e.payload);
        } else if (notes) {
            Join(texts.notes, text, "\n");
        } else {
            Join(japanese ? texts.author_japanese : texts.author, text, "; ");
        }
    }
    if (texts.title_texts.empty()) {
        const std::string title = decode(fallback_title, false);
        (Text::HasJapanese(title) ? texts.title_japanese : texts.title) = title;
    }
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
    tag[VGM::kGd3TrackNameJapanese] = texts.title_japanese;
    tag[VGM::kGd3SystemName] = VGM::kGd3MegaDrive;
    tag[VGM::kGd3Author] = texts.author;
    tag[VGM::kGd3AuthorJapanese] = texts.author_japanese;
    tag[VGM::kGd3ConvertedBy] = std::string("fmroll ") + FMROLL_VERSION;
    tag[VGM::kGd3Notes] = texts.notes;
    return tag;
}

}  // namespace fmtool
