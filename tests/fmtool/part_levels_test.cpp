// The General MIDI level trims: within the measuring script's clamp, zero
// outside the programs and keys, and centred on the typical program.
#include "fmtool/render/part_levels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
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
