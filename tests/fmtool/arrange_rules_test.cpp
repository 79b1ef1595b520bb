// The arranger's rules one by one: General MIDI programs, the noise channel's
// choice of hit, levels and pan.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "fmtool/arrange/gm_programs.h"
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

}  // namespace
