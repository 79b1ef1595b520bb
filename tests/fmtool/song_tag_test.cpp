// The tag of a converted song: its title, author and notes read from the
// MIDI texts in whatever encoding they were written, Japanese texts in the
// tag's Japanese fields, and the song's own name rather than a part's.
#include "fmtool/arrange/song_tag.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "smf/smf_score.h"
#include "tests/support/smf_builder.h"

namespace {

using testsupport::Bytes;
using testsupport::TrackBuilder;

constexpr std::uint8_t kName = 0x03, kCopyright = 0x02, kTextEvent = 0x01;

struct Meta {
    unsigned track;
    std::uint8_t type;
    std::string bytes;
};

// A song of `format` (1: a conductor track 0, a track 1 of names alone, and a
// track 2 that plays; 0: one track that plays) with the texts given.
fmtool::SongTexts TextsOf(int format, const std::vector<Meta>& metas, bool conductor_plays = false) {
    std::vector<TrackBuilder> tracks(format == 0 ? 1 : 3);
    for (const Meta& m : metas) tracks.at(m.track).Meta(0, m.type, Bytes(m.bytes.begin(), m.bytes.end()));
    if (conductor_plays) tracks[0].NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60);
    tracks.back().NoteOn(0, 1, 64, 100).NoteOff(96, 1, 64);
    for (TrackBuilder& t : tracks) t.EndOfTrack();
    const Bytes smf = testsupport::BuildSmf(static_cast<std::uint16_t>(format), 96, tracks);
    MIDI::Score score;
    EXPECT_TRUE(MIDI::ReadScore(smf.data(), smf.size(), score));
    return fmtool::ReadSongTexts(score, "file name");
}

TEST(SongTag, TextsGoToTheirFieldsInTheirEncoding) {
    const std::string sjisTitle = "\x89\xB9\x8A\x79\x83\x65\x83\x58\x83\x67";  // 音楽テスト
    const std::string sjisAuthor = "\x8D\xEC\x8B\xC8\x81\x46\x8E\x52\x93\x63";  // 作曲：山田
    const struct {
        const char* what;
        int format;
        std::vector<Meta> metas;
        std::string title, title_japanese, author, author_japanese;
    } cases[] = {
        {"Shift-JIS title alone: the English field stays empty", 0, {{0, kName, sjisTitle}}, "", "音楽テスト", "", ""},
        {"Shift-JIS title and a second name in Latin letters", 1,
         {{0, kName, sjisTitle}, {0, kName, "Music Test"}, {0, kCopyright, sjisAuthor}, {0, kCopyright, "(c) Yamada"}},
         "Music Test", "音楽テスト", "(c) Yamada", "作曲：山田"},
        {"UTF-8 Japanese, Latin-1 copyright", 1,
         {{0, kName, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"}, {0, kCopyright, "\xA9 1994 Caf\xE9 Soft"}},
         "", "日本語", "© 1994 Café Soft", ""},
        {"UTF-8 with a byte-order mark", 0, {{0, kName, "\xEF\xBB\xBF" "Caf\xC3\xA9"}}, "Café", "", "", ""},
        {"Latin-1", 0, {{0, kName, "Caf\xE9 Noir"}, {0, kCopyright, "M\xFCller"}}, "Café Noir", "", "Müller", ""},
        {"two katakana valid as UTF-8 too, in a Shift-JIS song", 0,
         {{0, kName, "\xC3\xBD"}, {0, kCopyright, sjisAuthor}}, "", "ﾃｽ", "", "作曲：山田"},
        {"control characters never reach the tag", 0, {{0, kName, "\x1B]0;x\x07 Evil\r\nTitle\t"}}, "]0;x Evil Title",
         "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fmtool::SongTexts t = TextsOf(c.format, c.metas);
        EXPECT_EQ(t.title, c.title);
        EXPECT_EQ(t.title_japanese, c.title_japanese);
        EXPECT_EQ(t.author, c.author);
        EXPECT_EQ(t.author_japanese, c.author_japanese);
        const VGM::Gd3Tag tag = fmtool::SongTag(t);
        EXPECT_EQ(tag[VGM::kGd3TrackNameJapanese], c.title_japanese);
        EXPECT_EQ(tag[VGM::kGd3AuthorJapanese], c.author_japanese);
    }
}

TEST(SongTag, TheTitleIsTheSongsNameNotAPartsName) {
    const struct {
        const char* what;
        int format;
        std::vector<Meta> metas;
        bool conductor_plays;
        std::string title;
    } cases[] = {
        {"the first track's name", 1, {{0, kName, "Green Hill"}, {1, kName, "Intro"}, {2, kName, "Flute"}}, false,
         "Green Hill"},
        {"an instrument track's name is no title", 1, {{2, kName, "Flute"}}, false, "file name"},
        {"a General MIDI program name is no title", 1, {{0, kName, "acoustic grand piano"}}, false, "file name"},
        {"the name of a first track that plays is no title", 1, {{0, kName, "Lead"}}, true, "file name"},
        {"a named track of its own after an unnamed first", 1, {{1, kName, "Train"}, {2, kName, "Bass"}}, false,
         "Train"},
        {"a single track's name is the title", 0, {{0, kName, "Green Hill"}}, false, "Green Hill"},
        {"a program name then the title", 0, {{0, kName, "Honky-tonk Piano"}, {0, kName, "Tune"}}, false, "Tune"},
        {"a copyright notice is no title", 1, {{1, kName, "\xA9 1991"}, {1, kName, "Copyright 1991"}}, false,
         "file name"},
        {"a name of blanks and controls is none", 0, {{0, kName, " \x01\x02 "}}, false, "file name"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TextsOf(c.format, c.metas, c.conductor_plays).title, c.title);
    }
}

TEST(SongTag, NotesKeepTheirLinesAndACutTextItsCharacters) {
    std::string longKana;
    while (longKana.size() + 2 <= MIDI::kMaxTextBytes + 1) longKana += "\x82\xA0";  // あ, one byte past the cut
    const fmtool::SongTexts t =
        TextsOf(0, {{0, kTextEvent, "line one\r\nline two\x1B"}, {0, kTextEvent, "\x83\x81\x83\x82"}, {0, kCopyright, longKana}});
    EXPECT_EQ(t.notes, "line one\nline two\nメモ");
    // Cut inside its last character, the text is still Shift-JIS.
    EXPECT_EQ(t.author_japanese.size(), MIDI::kMaxTextBytes / 2 * 3);
    EXPECT_EQ(t.author_japanese.substr(0, 3), "あ");
}

TEST(SongTag, TheFileNameTitleIsDecodedToo) {
    const Bytes smf = testsupport::BuildSmf(0, 96, {TrackBuilder().NoteOn(0, 0, 60, 90).NoteOff(96, 0, 60).EndOfTrack()});
    MIDI::Score score;
    ASSERT_TRUE(MIDI::ReadScore(smf.data(), smf.size(), score));
    EXPECT_EQ(fmtool::ReadSongTexts(score, "\xE6\x9B\xB2").title_japanese, "曲");
    EXPECT_EQ(fmtool::ReadSongTexts(score, "\xE6\x9B\xB2").title, "");
    EXPECT_EQ(fmtool::ReadSongTexts(score, "caf\xE9\n").title, "café");
    EXPECT_TRUE(fmtool::ReadSongTexts(score, "x").title_texts.empty());
}

}  // namespace
