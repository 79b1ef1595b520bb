#include "smf/smf_score.h"

#include <gtest/gtest.h>

#include "tests/support/smf_builder.h"

using namespace testsupport;

namespace {

bool Read(const Bytes& file, MIDI::Score& score, std::string* err = nullptr) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    MIDI::SmfStatus status = MIDI::SmfStatus::Ok;
    const bool ok = MIDI::ReadScore(file.data(), file.size(), score, nullptr, &status);
    // The reader prints nothing; its verdict is the status.
    EXPECT_EQ(testing::internal::GetCapturedStderr() + testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(ok, status == MIDI::SmfStatus::Ok);
    if (err) *err = ok ? "" : std::string(MIDI::SmfMessage(status)) + "\n";
    return ok;
}

}  // namespace

TEST(Score, RealTimeFollowsTheExactTempoMapAndBarsFollowTheMeter) {
    // Division 96; 600000 us a quarter (the converter's 99 BPM is really 100);
    // 3/4 from bar 1, 6/8 from tick 96 * 3 * 2 (bar 3).
    TrackBuilder meta;
    meta.Tempo(0, 600000).Meta(0, 0x58, {3, 2, 24, 8}).Meta(576, 0x58, {6, 3, 24, 8}).Meta(0, 0x03, {'H', 'i'});
    TrackBuilder notes;
    notes.NoteOn(96, 2, 60, 90).NoteOff(96, 2, 60).NoteOn(480, 2, 62, 0).EndOfTrack(48);
    MIDI::Score score;
    ASSERT_TRUE(Read(BuildSmf(1, 96, {meta, notes}), score));

    EXPECT_EQ(score.format, 1);
    EXPECT_EQ(score.TicksPerQuarter(), 96u);
    EXPECT_DOUBLE_EQ(score.Seconds(96), 0.6);
    EXPECT_DOUBLE_EQ(score.EndSeconds(), 720 * 0.6 / 96);
    ASSERT_EQ(score.texts.size(), 1u);
    EXPECT_EQ(score.texts[0], "Hi");

    const struct {
        std::uint64_t tick;
        std::uint64_t bar;
        unsigned beat;
    } cases[] = {{0, 1, 1}, {96, 1, 2}, {287, 1, 3}, {288, 2, 1}, {576, 3, 1}, {576 + 48, 3, 2}, {576 + 288, 4, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tick);
        EXPECT_EQ(score.BarBeatAt(c.tick).bar, c.bar);
        EXPECT_EQ(score.BarBeatAt(c.tick).beat, c.beat);
    }
    // Merged in time order, the note on of velocity 0 read as a note off.
    ASSERT_GE(score.events.size(), 2u);
    EXPECT_TRUE(score.events.back().IsMeta());
    const MIDI::ScoreEvent& last = score.events[score.events.size() - 2];
    EXPECT_TRUE(last.IsNoteOff());
    EXPECT_EQ(last.tick, 672u);
    EXPECT_EQ(last.Channel(), 2u);
}

TEST(Score, RejectsWhatTheConverterRejectsWithItsMessage) {
    Bytes bad = BuildSmf(0, 48, {TrackBuilder().NoteOn(0, 0, 60, 1)});
    bad[14] = 'X';
    MIDI::Score score;
    std::string err;
    EXPECT_FALSE(Read(bad, score, &err));
    EXPECT_EQ(err, "MIDIC: TrackChunk Illegal, abort...\n");
    EXPECT_TRUE(score.events.empty());
}

TEST(Score, TempoOddities) {
    const struct {
        const char* name;
        std::uint16_t division;
        TrackBuilder track;
        std::uint64_t tick;
        double seconds;
    } cases[] = {
        // Two tempos on one tick: the later one holds from there.
        {"two tempos on a tick", 96, TrackBuilder().Tempo(0, 250000).Tempo(0, 1000000), 96, 1.0},
        // A tempo of 0 has no speed: the one before it stays.
        {"tempo of 0", 96, TrackBuilder().Tempo(0, 250000).Tempo(48, 0), 96, 0.25},
        // SMPTE: 25 frames a second of 40 ticks, 1000 ticks a second, tempo ignored.
        {"SMPTE division", 0xE728, TrackBuilder().Tempo(0, 250000), 1500, 1.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TrackBuilder t = c.track;
        t.NoteOn(c.tick, 0, 60, 100).EndOfTrack();
        MIDI::Score score;
        ASSERT_TRUE(Read(BuildSmf(0, c.division, {t}), score));
        EXPECT_DOUBLE_EQ(score.Seconds(c.tick), c.seconds);
    }
}
