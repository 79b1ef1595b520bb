// The tempo arithmetic: the same BPM on every platform as 80-bit extended
// precision gives.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>

#include "smf/smf_tempo.h"

TEST(TempoToBpm, WorkedValues) {
    const struct {
        std::uint32_t us;
        std::uint32_t bpm;
    } cases[] = {
        {500000, 120}, {400000, 150}, {1000000, 60}, {461538, 130}, {461539, 129},
        // The extended quotients fall just below the whole number.
        {600000, 99}, {300000, 199},
        {1, 59999999},  // of which a tempo event keeps the low 16 bits
        {915, 65573}, {916, 65502},  // 916 is the first tempo that fits 16 bits
        {0xFFFFFF, 3},
    };
    for (const auto& c : cases) EXPECT_EQ(MIDI::TempoToBpm(c.us), c.bpm) << c.us;
    EXPECT_EQ(MIDI::TempoToBpm(1) & 0xFFFF, 34559u);
}

// Every tempo a file can hold, against the platform's own extended precision
// where it has the x87 format.
TEST(TempoToBpm, MatchesExtendedPrecisionOverTheWholeRange) {
    if (LDBL_MANT_DIG != 64) GTEST_SKIP() << "long double is not 80-bit extended here";
    std::uint32_t mismatches = 0, first = 0;
    for (std::uint32_t us = 1; us <= 0xFFFFFF; ++us) {
        const long double beat = static_cast<long double>(us) / 1000000.0L;
        const auto expected = static_cast<std::uint32_t>(60.0L / beat);
        if (MIDI::TempoToBpm(us) != expected && mismatches++ == 0) first = us;
    }
    EXPECT_EQ(mismatches, 0u) << "first at " << first;
}
