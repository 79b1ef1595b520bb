// The arranger's rules one by one: General MIDI programs, the noise channel's
// choice of hit, levels and pan.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "fmtool/arrange/gm_programs.h"
#include "fmtool/arrange/noise_channel.h"
#include "instruments/fminst.h"

namespace {

// A bank where only `programs` have an audible voice.
std::unique_ptr<FMInst> BankWith(const std::vector<int>& programs) {
    auto bank = std::make_unique<FMInst>();
    for (int p : programs) bank->voice[p].op[3].tl = 0;
    return bank;
}

// ---- General MIDI programs ----------------------------------------------------

TEST(GmPrograms, WhichProgramsDecayAndWhichPreferASquare) {
    struct Case {
        int program;
        const char* name;
        bool decaying;
        bool square;
    };
    const Case cases[] = {
        {0, "acoustic grand piano", true, false},   {8, "celesta", true, false},
        {15, "dulcimer", true, false},              {16, "drawbar organ", false, false},
        {24, "nylon guitar", true, false},          {39, "synth bass 2", true, false},
        {44, "tremolo strings", false, false},      {45, "pizzicato strings", true, false},
        {47, "timpani", true, false},               {48, "string ensemble", false, false},
        {71, "clarinet", false, false},             {72, "piccolo", false, true},
        {79, "ocarina", false, true},               {80, "square lead", false, true},
        {87, "bass and lead", false, true},         {88, "new age pad", false, false},
        {103, "sci-fi", false, false},              {104, "sitar", true, false},
        {108, "kalimba", true, false},              {109, "bagpipe", false, false},
        {112, "tinkle bell", true, false},          {119, "reverse cymbal", true, false},
        {120, "guitar fret noise", false, false},   {127, "gunshot", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fmtool::Decaying(c.program), c.decaying);
        EXPECT_EQ(fmtool::PrefersSquare(c.program), c.square);
    }
}

TEST(GmPrograms, ASilentProgramPlaysTheNearestVoiceOfItsFamilyThenOfTheBank) {
    struct Case {
        const char* name;
        std::vector<int> audible;
        int program;
        int voice;
    };
    const Case cases[] = {
        {"its own voice", {0, 5, 20}, 5, 5},
        {"nearest in the family", {0, 5, 20}, 3, 5},
        {"family before a nearer voice outside it", {0, 9}, 7, 0},
        {"a tie goes to the lower", {0, 4}, 2, 0},
        {"no voice in the family: nearest in the bank", {0, 5, 20}, 40, 20},
        {"across the whole bank", {0, 5, 20}, 127, 20},
        {"a silent bank", {}, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto bank = BankWith(c.audible);
        EXPECT_EQ(fmtool::ProgramVoices(*bank).For(c.program), c.voice);
    }
}

TEST(GmPrograms, ADrumTakesTheFirstOfItsProgramsWithItsOwnVoice) {
    const int kick[2] = {118, 116};
    EXPECT_EQ(fmtool::ProgramVoices(*BankWith({116, 118})).FirstAudible(kick), 118);
    EXPECT_EQ(fmtool::ProgramVoices(*BankWith({116})).FirstAudible(kick), 116);
    // A nearby voice is no drum: no stand-in.
    EXPECT_EQ(fmtool::ProgramVoices(*BankWith({117})).FirstAudible(kick), -1);
}

// ---- The noise channel --------------------------------------------------------

TEST(NoiseChannel, OneHitAtATimeByPriorityThenLevelThenTime) {
    constexpr int kKick = 36, kSnare = 38, kLowFloorTom = 41, kClosedHat = 42, kLowTom = 45, kCrash = 49;
    struct Hit {
        std::uint64_t frame;
        int key;
        double db;
    };
    struct Turn {
        int key;
        std::uint64_t start, stop;
    };
    struct Case {
        const char* name;
        std::vector<Hit> hits;
        std::uint64_t end;
        std::vector<Turn> turns;
    };
    const Case cases[] = {
        {"a hit alone sounds its length", {{0, kSnare, 0}}, 100, {{kSnare, 0, 8}}},
        {"the snare wins over a louder hat", {{0, kClosedHat, 0}, {0, kSnare, -20}}, 100, {{kSnare, 0, 8}}},
        {"the kick wins over the snare", {{3, kSnare, 0}, {3, kKick, -20}}, 100, {{kKick, 3, 8}}},
        {"equal priority: the louder", {{0, kLowFloorTom, -12}, {0, kLowTom, -3}}, 100, {{kLowTom, 0, 8}}},
        {"equal priority and level: the first", {{0, kLowFloorTom, -3}, {0, kLowTom, -3}}, 100,
         {{kLowFloorTom, 0, 8}}},
        {"a weaker hit after the winner does not take over",
         {{0, kKick, 0}, {0, kClosedHat, 0}, {0, kSnare, 0}}, 100, {{kKick, 0, 5}}},
        {"a later stronger hit cuts a crash still ringing", {{0, kCrash, 0}, {4, kSnare, 0}}, 100,
         {{kCrash, 0, 4}, {kSnare, 4, 12}}},
        {"a later weaker hit cuts it too", {{0, kCrash, 0}, {10, kClosedHat, -30}}, 100,
         {{kCrash, 0, 10}, {kClosedHat, 10, 12}}},
        {"silence between hits", {{0, kSnare, 0}, {20, kClosedHat, 0}}, 100,
         {{kSnare, 0, 8}, {kClosedHat, 20, 22}}},
        {"the song's end stops a ringing hit", {{0, kCrash, 0}}, 6, {{kCrash, 0, 6}}},
        {"no turn from the last frame on", {{0, kCrash, 0}, {9, kKick, 0}, {12, kSnare, 0}}, 9,
         {{kCrash, 0, 9}}},
        {"no hits", {}, 100, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<fmtool::DrumHit> hits;
        for (const Hit& h : c.hits) {
            fmtool::DrumHit hit;
            hit.start.frame = h.frame;
            hit.key = static_cast<std::uint8_t>(h.key);
            hit.level_db = h.db;
            hits.push_back(hit);
        }
        const std::vector<fmtool::NoiseTurn> turns = fmtool::NoiseTurns(hits, c.end);
        ASSERT_EQ(turns.size(), c.turns.size());
        for (std::size_t t = 0; t < turns.size(); ++t) {
            const fmtool::DrumHit& hit = hits.at(turns[t].hit);
            EXPECT_EQ(hit.key, c.turns[t].key) << "turn " << t;
            EXPECT_EQ(hit.start.frame, c.turns[t].start) << "turn " << t;
            EXPECT_EQ(turns[t].stop, c.turns[t].stop) << "turn " << t;
        }
    }
}

}  // namespace
