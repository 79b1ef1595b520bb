// fmtool convert heard through a real VGM player (Game Music Emu): notes at
// their written pitch with the built-in bank, the song's real length, the
// tag the player shows, voices that fade, let go and sound about as bright
// as a General MIDI player's instruments, and drums at its kit's pitches.
#include <gtest/gtest.h>
#include <gme/gme.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "tests/player/gme_render.h"
#include "tests/support/run_fmroll.h"
#include "tests/support/smf_builder.h"
#include "vgm/gd3.h"
#include "vgm/vgm_format.h"

namespace {

using testsupport::Bytes;
using testsupport::TempDir;
using testsupport::TrackBuilder;

constexpr std::uint32_t kTempo = 600000;  // 100 BPM: 99 whole BPM to the converter
constexpr int kDivision = 96;

struct Note {
    int program;
    int key;
};

// One note every half beat (0.3 s), each alone, held 0.25 s; then a last
// rest so that the End of Track falls between two frames.
Bytes Melody(const std::vector<Note>& notes) {
    TrackBuilder t;
    const std::string title = "Scale Test", author = "(c) The Composer";
    t.Meta(0, 0x03, Bytes(title.begin(), title.end())).Meta(0, 0x02, Bytes(author.begin(), author.end()));
    t.Tempo(0, kTempo);
    for (std::size_t i = 0; i < notes.size(); ++i) {
        t.Program(i == 0 ? 0 : 8, 0, notes[i].program).NoteOn(0, 0, notes[i].key, 110).NoteOff(40, 0, notes[i].key);
    }
    t.EndOfTrack(8 + 29);
    return testsupport::BuildSmf(0, kDivision, {t});
}

double SecondsPerTick() { return kTempo / 1e6 / kDivision; }

TEST(ConvertPlayer, NotesAtTheirWrittenPitchForTheSongsRealLengthWithItsTag) {
    // The organ is a drawbar one: a church organ rings on after its key, as in
    // a General MIDI player, over the next note's pitch.
    const std::vector<Note> notes = {{0, 45}, {0, 57}, {0, 69}, {0, 76}, {16, 48}, {16, 64},
                                     {80, 60}, {80, 72}, {80, 81}, {33, 36}, {33, 40}};
    TempDir dir;
    dir.Write("scale.mid", Melody(notes));
    const testsupport::RunResult r = testsupport::RunFmtool(dir.path(), {"convert", "scale.mid", "-o", "scale.vgm"});
    ASSERT_EQ(r.status, 0) << r.err;

    // Length: the MIDI file's, to its End of Track, within one frame.
    const double midiSeconds = (notes.size() * 48 + 29) * SecondsPerTick();
    const playertest::Opened opened = playertest::OpenFile(dir.File("scale.vgm"));
    ASSERT_TRUE(opened.error.empty()) << opened.error;
    EXPECT_NEAR(opened.lengths.length / 1000.0, midiSeconds, 1 / 60.0 + 0.001);

    // Pitch: measured in the middle of each note.
    const std::vector<std::uint8_t> file = dir.Read("scale.vgm");
    const std::vector<double> pcm = playertest::RenderMono(file, playertest::At(midiSeconds) + 1000);
    ASSERT_FALSE(pcm.empty());
    for (std::size_t i = 0; i < notes.size(); ++i) {
        SCOPED_TRACE("program " + std::to_string(notes[i].program) + " key " + std::to_string(notes[i].key));
        const double start = i * 48 * SecondsPerTick();
        const double want = 440 * std::pow(2.0, (notes[i].key - 69) / 12.0);
        const double hz = playertest::MeasurePitch(pcm, playertest::At(start + 0.05), playertest::At(start + 0.2),
                                                   want / 1.6, want * 2.5);
        ASSERT_GT(hz, 0);
        EXPECT_NEAR(1200 * std::log2(hz / want), 0, 50);
    }

    // Tag: the player shows the first track name and the copyright.
    Music_Emu* emu = nullptr;
    ASSERT_EQ(gme_open_file(dir.File("scale.vgm").c_str(), &emu, playertest::kSampleRate), nullptr);
    gme_info_t* info = nullptr;
    ASSERT_EQ(gme_track_info(emu, &info, 0), nullptr);
    EXPECT_STREQ(info->song, "Scale Test");
    EXPECT_STREQ(info->author, "(c) The Composer");
    EXPECT_STREQ(info->system, "Sega Mega Drive / Genesis");
    gme_free_info(info);
    gme_delete(emu);
}

// Converts the one-track song `t` and plays its first `seconds`.
std::vector<double> ConvertAndPlay(const TrackBuilder& t, double seconds) {
    TempDir dir;
    dir.Write("each.mid", testsupport::BuildSmf(0, kDivision, {t}));
    const testsupport::RunResult r = testsupport::RunFmtool(dir.path(), {"convert", "each.mid", "-o", "each.vgm"});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.status == 0 ? playertest::RenderMono(dir.Read("each.vgm"), playertest::At(seconds)) : std::vector<double>{};
}

// Converts a song that plays note 60 at velocity 100 on each case's program
// in turn, one every `every` seconds, each held `hold` seconds, and plays it.
template <typename Case, std::size_t N>
std::vector<double> PlayEach(const Case (&cases)[N], double hold, double every) {
    const double ticksPerSecond = 1 / SecondsPerTick();  // 160
    TrackBuilder t;
    t.Tempo(0, kTempo);
    for (std::size_t i = 0; i < N; ++i) {
        t.Program(i == 0 ? 0 : std::lround((every - hold) * ticksPerSecond), 0, cases[i].program)
            .NoteOn(0, 0, 60, 100)
            .NoteOff(std::lround(hold * ticksPerSecond), 0, 60);
    }
    t.EndOfTrack(std::lround((every - hold) * ticksPerSecond));
    return ConvertAndPlay(t, every * N);
}

// Converts a song that strikes each drum key in turn at velocity 110, one
// every `every` seconds, and plays it.
std::vector<double> PlayHits(const std::vector<int>& keys, double every) {
    const long ticks = std::lround(every / SecondsPerTick());
    TrackBuilder t;
    t.Tempo(0, kTempo);
    for (int key : keys) t.NoteOn(0, 9, key, 110).NoteOff(ticks, 9, key);
    t.EndOfTrack(0);
    return ConvertAndPlay(t, every * keys.size());
}

// The level in dB of [from, to) seconds of `pcm`.
double LevelDb(const std::vector<double>& pcm, double from, double to) {
    return 20 * std::log10(std::max(playertest::Rms(pcm, playertest::At(from), playertest::At(to)), 1e-9));
}

// After its key is let go each program dies away about as fast as a General
// MIDI player's instrument (FluidR3 GM, dry, note 60 held 1 s: milliseconds
// until the level falls 20 dB under that of the last 50 ms held), within a
// factor of two: a release far slower than the instrument's blurs the next
// onset, a far faster one cuts the note's ring short.
TEST(ConvertPlayer, VoicesReleaseAboutAsFastAsTheInstruments) {
    struct Case {
        int program;
        double fluid_ms;
    };
    const Case cases[] = {{19, 441}, {33, 45}, {48, 327}, {53, 210}, {56, 65}, {66, 65}, {98, 1074}};
    const std::vector<double> pcm = PlayEach(cases, 1.0, 4.0);
    ASSERT_FALSE(pcm.empty());
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("program " + std::to_string(cases[i].program));
        const double off = 4.0 * i + 1.0, held = LevelDb(pcm, off - 0.05, off);
        double ms = 3000;
        for (int w = 0; w < 300; ++w) {
            if (LevelDb(pcm, off + 0.01 * w, off + 0.01 * (w + 1)) < held - 20) {
                ms = 10.0 * w;
                break;
            }
        }
        EXPECT_GT(ms, cases[i].fluid_ms / 2 - 10);
        EXPECT_LT(ms, cases[i].fluid_ms * 2 + 10);
    }
}

// While its key is held each program fades about as much as a General MIDI
// player's instrument (FluidR3 GM, dry, note 60: the level of 0.2-0.3 s after
// the key-on less that of 1.3-1.4 s), within 8 dB: a piano dies away, an
// electric piano or a clavinet rings on, a synth bass holds.
TEST(ConvertPlayer, HeldNotesFadeAboutAsMuchAsTheInstruments) {
    struct Case {
        int program;
        double fluid_db;
    };
    const Case cases[] = {{0, 15.7}, {5, 7.6}, {7, 6.6}, {9, 26.1}, {39, -0.1}, {48, 3.9}};
    const std::vector<double> pcm = PlayEach(cases, 1.5, 2.0);
    ASSERT_FALSE(pcm.empty());
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("program " + std::to_string(cases[i].program));
        const double on = 2.0 * i;
        EXPECT_NEAR(LevelDb(pcm, on + 0.2, on + 0.3) - LevelDb(pcm, on + 1.3, on + 1.4), cases[i].fluid_db, 8.0);
    }
}

// Each voice's partials stand about as a General MIDI player's instrument's
// do: the magnitudes of the first eight harmonics of note 60, 0.1 to 0.5 s
// after the key-on, as a vector, within a cosine of 0.9 of FluidR3 GM's
// (dry, the loudest harmonic 1). A voice far brighter or duller than the
// instrument spreads its notes over the wrong octaves and pitch classes.
TEST(ConvertPlayer, VoicesAreAboutAsBrightAsTheInstruments) {
    struct Case {
        int program;
        double fluid[8];
    };
    const Case cases[] = {
        {0, {1.00, 0.41, 0.10, 0.09, 0.01, 0.00, 0.00, 0.00}},
        {1, {1.00, 0.41, 0.10, 0.09, 0.01, 0.00, 0.00, 0.00}},
        {4, {1.00, 0.48, 0.30, 0.02, 0.05, 0.01, 0.00, 0.00}},
        {48, {1.00, 0.81, 0.12, 0.02, 0.03, 0.01, 0.07, 0.02}},
        {65, {0.95, 1.00, 0.38, 0.10, 0.08, 0.04, 0.07, 0.11}},
    };
    const std::vector<double> pcm = PlayEach(cases, 1.0, 2.0);
    ASSERT_FALSE(pcm.empty());
    const double hz = 440 * std::pow(2.0, (60 - 69) / 12.0);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("program " + std::to_string(cases[i].program));
        double dot = 0, ours = 0, theirs = 0;
        for (int k = 1; k <= 8; ++k) {
            const double m =
                playertest::Magnitude(pcm, playertest::At(2.0 * i + 0.1), playertest::At(2.0 * i + 0.5), k * hz);
            dot += m * cases[i].fluid[k - 1];
            ours += m * m;
            theirs += cases[i].fluid[k - 1] * cases[i].fluid[k - 1];
        }
        ASSERT_GT(ours, 0);
        EXPECT_GT(dot / std::sqrt(ours * theirs), 0.9);
    }
}

}  // namespace

namespace {

// A one-note song with the texts given, converted; the tag as Game Music Emu
// shows it and as our own reader reads it.
struct TagSeen {
    std::string song, author, comment;  // Game Music Emu's
    VGM::Gd3Reading ours;
};

TagSeen ConvertWithTexts(const std::vector<std::pair<std::uint8_t, std::string>>& texts) {
    TrackBuilder t;
    for (const auto& [type, bytes] : texts) t.Meta(0, type, Bytes(bytes.begin(), bytes.end()));
    t.Program(0, 0, 0).NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).EndOfTrack();
    TempDir dir;
    dir.Write("song.mid", testsupport::BuildSmf(0, kDivision, {t}));
    TagSeen seen;
    const testsupport::RunResult r = testsupport::RunFmtool(dir.path(), {"convert", "song.mid", "-o", "song.vgm"});
    EXPECT_EQ(r.status, 0) << r.err;
    const Bytes vgm = dir.Read("song.vgm");
    const std::uint32_t at = VGM::kOffGd3 + VGM::Get32(&vgm[VGM::kOffGd3]);
    seen.ours = VGM::ParseGd3(vgm.data() + at, vgm.size() - at);
    Music_Emu* emu = nullptr;
    EXPECT_EQ(gme_open_file(dir.File("song.vgm").c_str(), &emu, playertest::kSampleRate), nullptr);
    gme_info_t* info = nullptr;
    if (emu != nullptr && gme_track_info(emu, &info, 0) == nullptr) {
        seen.song = info->song, seen.author = info->author, seen.comment = info->comment;
        EXPECT_GT(info->length, 0);
        gme_free_info(info);
    }
    gme_delete(emu);
    return seen;
}

}  // namespace

// Each encoding gives the right text in our reader; Game Music Emu 0.6
// shows the English fields (and the characters up to U+00FF of them, as
// Latin-1 bytes), so the Latin-letter name of a Japanese song is what it shows.
TEST(ConvertPlayer, TagTextsReadBackInEachEncoding) {
    const std::string sjis = "\x89\xB9\x8A\x79\x83\x65\x83\x58\x83\x67";  // 音楽テスト
    const struct {
        const char* what;
        std::vector<std::pair<std::uint8_t, std::string>> texts;
        std::string title, title_japanese, author, player_song, player_author;
    } cases[] = {
        {"Shift-JIS", {{0x03, sjis}, {0x02, "\x8E\x52\x93\x63"}}, "", "音楽テスト", "", "", ""},
        {"Shift-JIS with a Latin-letter name", {{0x03, sjis}, {0x03, "Music Test"}, {0x02, "(c) Yamada"}}, "Music Test",
         "音楽テスト", "(c) Yamada", "Music Test", "(c) Yamada"},
        {"UTF-8", {{0x03, "\xE6\x9B\xB2 Tune"}, {0x02, "Caf\xC3\xA9"}}, "", "曲 Tune", "Café", "", "Caf\xE9"},
        {"UTF-8 with a byte-order mark", {{0x03, "\xEF\xBB\xBFSong"}}, "Song", "", "", "Song", ""},
        {"Latin-1", {{0x03, "Caf\xE9"}, {0x02, "\xA9 1990"}}, "Café", "", "© 1990", "Caf\xE9", "\xA9 1990"},
        {"hostile", {{0x03, "\x1B[2J\x82"}, {0x02, std::string(70000, '\x81')}}, "[2J", "", "", "[2J", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TagSeen seen = ConvertWithTexts(c.texts);
        ASSERT_TRUE(seen.ours.found);
        EXPECT_TRUE(seen.ours.problems.empty());
        EXPECT_EQ(seen.ours.tag[VGM::kGd3TrackName], c.title);
        EXPECT_EQ(seen.ours.tag[VGM::kGd3TrackNameJapanese], c.title_japanese);
        EXPECT_EQ(seen.ours.tag[VGM::kGd3Author], c.author);
        EXPECT_EQ(seen.song, c.player_song);
        EXPECT_EQ(seen.author, c.player_author);
    }
}

// Drums on the DAC sound at the pitch of a General MIDI kit's (FluidR3's
// strongest partial), through the player: a key's pitch stands out over a
// major third either side of it, 0.08 to 0.3 s after the hit.
TEST(ConvertPlayer, DrumsOnTheDacSoundAtTheKitsPitches) {
    struct Case {
        int key;
        double hz;
    };
    const Case cases[] = {{41, 57}, {45, 85}, {50, 122}, {56, 472}, {67, 1499}};
    std::vector<int> keys;
    for (const Case& c : cases) keys.push_back(c.key);
    const std::vector<double> pcm = PlayHits(keys, 1.0);
    ASSERT_FALSE(pcm.empty());
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("key " + std::to_string(cases[i].key));
        const long from = playertest::At(i + 0.08), to = playertest::At(i + 0.3);
        const double at = playertest::Magnitude(pcm, from, to, cases[i].hz);
        EXPECT_GT(at, 1.5 * playertest::Magnitude(pcm, from, to, cases[i].hz * 0.8));
        EXPECT_GT(at, 1.5 * playertest::Magnitude(pcm, from, to, cases[i].hz * 1.25));
    }
}
