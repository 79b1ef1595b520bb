// The General MIDI level trims: within the measuring script's clamp, zero
// outside the programs and keys, and centred on the typical program; and the
// song's gain they set.
#include "fmtool/render/part_levels.h"

#include "fmtool/arrange/performance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <utility>
#include <vector>

TEST(PartLevels, TrimsStayWithinTheClamp) {
    for (int p = 0; p < 128; ++p) EXPECT_TRUE(fmtool::ProgramTrimDb(p) >= -18 && fmtool::ProgramTrimDb(p) <= 12) << p;
    for (int k = 35; k <= 81; ++k) EXPECT_TRUE(fmtool::DrumTrimDb(k) >= -18 && fmtool::DrumTrimDb(k) <= 12) << k;
}

TEST(PartLevels, NumbersOutsideTheTablesGiveZero) {
    for (int n : {INT_MIN, -1, 128, INT_MAX}) EXPECT_EQ(fmtool::ProgramTrimDb(n), 0.0) << n;
    for (int n : {INT_MIN, 0, 34, 82, 127, INT_MAX}) EXPECT_EQ(fmtool::DrumTrimDb(n), 0.0) << n;
}

TEST(PartLevels, TheMedianProgramIsLeftAlmostAsItWas) {
    std::vector<double> trims;
    for (int p = 0; p < 128; ++p) trims.push_back(fmtool::ProgramTrimDb(p));
    std::nth_element(trims.begin(), trims.begin() + 64, trims.end());
    EXPECT_NEAR(trims[64], 0.0, 1.5);
}

namespace {

fmtool::SourceNote Note(std::uint8_t channel, std::uint8_t program, double velocity_db, double channel_db) {
    fmtool::SourceNote n;
    n.channel = channel;
    n.program = program;
    n.velocity_db = velocity_db;
    n.channel_db = channel_db;
    return n;
}

fmtool::DrumHit Hit(std::uint8_t key, double level_db) {
    fmtool::DrumHit h;
    h.key = key;
    h.level_db = level_db;
    return h;
}

fmtool::Performance Song(std::vector<fmtool::SourceNote> notes, std::vector<fmtool::DrumHit> hits = {}) {
    fmtool::Performance perf;
    perf.notes = std::move(notes);
    perf.hits = std::move(hits);
    return perf;
}

}  // namespace

// The song's gain brings its loudest part, with its trim, to full level: the
// loudest is what can sound loudest, not the highest velocity.
TEST(PartLevels, TheSongsGainComesFromItsLoudestPartWithItsTrim) {
    using fmtool::DrumTrimDb;
    using fmtool::ProgramTrimDb;
    // The kit's softest and loudest keys by trim.
    int soft_key = 35, loud_key = 35;
    for (int k = 35; k <= 81; ++k) {
        if (DrumTrimDb(k) < DrumTrimDb(soft_key)) soft_key = k;
        if (DrumTrimDb(k) > DrumTrimDb(loud_key)) loud_key = k;
    }
    ASSERT_GT(DrumTrimDb(loud_key) - DrumTrimDb(soft_key), 6);
    struct Case {
        const char* what;
        fmtool::Performance perf;
        double gain;
    };
    fmtool::Performance swell = Song({Note(0, 48, -3, -12)});
    swell.changes[0].push_back({fmtool::Moment{}, fmtool::ChannelChange::Level, 64, -2});
    const Case cases[] = {
        {"silence", Song({}), 0},
        {"one note", Song({Note(0, 0, -6, -4)}), 6 + 4 - ProgramTrimDb(0)},
        {"the louder of two programs", Song({Note(0, 0, -6, 0), Note(1, 40, -6, 0)}),
         6 - std::max(ProgramTrimDb(0), ProgramTrimDb(40))},
        {"a swell after the note on", swell, 3 + 2 - ProgramTrimDb(48)},
        {"a loud drum under a softer one's higher velocity",
         Song({}, {Hit(static_cast<std::uint8_t>(soft_key), 0), Hit(static_cast<std::uint8_t>(loud_key), -4)}),
         -std::max(DrumTrimDb(soft_key), DrumTrimDb(loud_key) - 4)},
    };
    for (const Case& c : cases) EXPECT_NEAR(fmtool::PartsGain(c.perf), c.gain, 1e-9) << c.what;
}
