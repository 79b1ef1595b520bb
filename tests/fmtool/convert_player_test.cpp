// fmtool convert heard through a real VGM player (Game Music Emu): notes at
// their written pitch with the built-in bank, the song's real length, and
// the tag the player shows.
#include <gtest/gtest.h>
#include <gme/gme.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/player/gme_render.h"
#include "tests/support/run_fmroll.h"
#include "tests/support/smf_builder.h"

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
    const std::vector<Note> notes = {{0, 45}, {0, 57}, {0, 69}, {0, 76}, {19, 48}, {19, 64},
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

}  // namespace
