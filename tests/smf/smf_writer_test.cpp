// The SMF writer, read back by the converter's own reader.
#include "smf/smf_writer.h"

#include <gtest/gtest.h>

#include "smf/smf_score.h"

namespace {

MIDI::SmfEvent Channel(std::uint64_t tick, std::uint8_t status, std::uint8_t d1, std::uint8_t d2 = 0) {
    MIDI::SmfEvent e;
    e.tick = tick;
    e.status = status;
    e.data1 = d1;
    e.data2 = d2;
    return e;
}

}  // namespace

TEST(SmfWriter, VlqBoundaries) {
    const struct {
        std::uint64_t value;
        std::vector<std::uint8_t> bytes;
    } cases[] = {{0, {0x00}},
                 {127, {0x7F}},
                 {128, {0x81, 0x00}},
                 {16383, {0xFF, 0x7F}},
                 {16384, {0x81, 0x80, 0x00}},
                 {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}}};
    for (const auto& c : cases) {
        std::vector<std::uint8_t> out;
        MIDI::AppendVlq(out, c.value);
        EXPECT_EQ(out, c.bytes) << c.value;
    }
}

TEST(SmfWriter, WhatIsWrittenReadsBackEventForEvent) {
    MIDI::SmfTrack meta;
    MIDI::SmfEvent name = Channel(0, 0xFF, 0x03);
    name.body = "Tune";
    meta.events = {name};
    meta.end_tick = 20000;  // the End of Track after the last event
    MIDI::SmfTrack notes;
    notes.events = {Channel(0, 0xC1, 5),        Channel(0, 0x91, 60, 100), Channel(128, 0x91, 64, 100),
                    Channel(16384, 0x81, 60, 0), Channel(100, 0x81, 64, 0),  // before its predecessor
                    Channel(16500, 0xE1, 0x00, 0x40)};
    const std::vector<std::uint8_t> file = MIDI::WriteSmf(1, 96, {meta, notes});

    MIDI::Score score;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(MIDI::ReadScore(file.data(), file.size(), score));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(score.format, 1);
    EXPECT_EQ(score.division, 96);
    ASSERT_EQ(score.texts.size(), 1u);
    EXPECT_EQ(score.texts[0], "Tune");
    EXPECT_EQ(score.track_ends, (std::vector<std::uint64_t>{20000, 16500}));

    std::vector<std::tuple<std::uint64_t, int, int, int>> channel;
    for (const MIDI::ScoreEvent& e : score.events)
        if (e.IsChannel()) channel.emplace_back(e.tick, e.status, e.data1, e.data2);
    const std::vector<std::tuple<std::uint64_t, int, int, int>> expected = {
        {0, 0xC1, 5, 0},         {0, 0x91, 60, 100},     {128, 0x91, 64, 100},
        {16384, 0x81, 60, 0},    {16384, 0x81, 64, 0},   {16500, 0xE1, 0x00, 0x40}};
    EXPECT_EQ(channel, expected);
    // Header 14, two chunk headers 16. The name track: 0 FF 03 04 "Tune" (8),
    // then End of Track after a 3-byte delta (6). The notes: C1 05 (3), 91 3C 64
    // (4), running status 3C 64 after a 2-byte delta (4), 81 3C 00 after a
    // 2-byte delta (5), running status 40 00 (3), E1 00 40 (4), End of Track (4).
    EXPECT_EQ(file.size(), 14u + 16 + (8 + 6) + (3 + 4 + 4 + 5 + 3 + 4 + 4));
}
