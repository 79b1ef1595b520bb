// The register maps agree with themselves both ways: every channel and
// operator register written is read back as the same channel and operator,
// and packing then unpacking a field keeps it.
#include <gtest/gtest.h>

#include "chips/sn76489_map.h"
#include "chips/ym2612_map.h"

namespace {

TEST(Ym2612Map, ChannelsMapOntoTheTwoPortsAndBackAgain) {
    struct Case {
        unsigned channel, port, keyCode;
        std::uint8_t fnumLow, c2TotalLevel;
    };
    const Case cases[] = {
        {0, 0, 0, 0xA0, 0x4C}, {1, 0, 1, 0xA1, 0x4D}, {2, 0, 2, 0xA2, 0x4E},
        {3, 1, 4, 0xA0, 0x4C}, {4, 1, 5, 0xA1, 0x4D}, {5, 1, 6, 0xA2, 0x4E},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channel);
        EXPECT_EQ(YM2612::Port(c.channel), c.port);
        EXPECT_EQ(YM2612::KeyCode(c.channel), c.keyCode);
        EXPECT_EQ(YM2612::ChannelRegister(YM2612::kRegFnumLow, c.channel), c.fnumLow);
        const std::uint8_t tl = YM2612::OperatorRegister(YM2612::kRegTotalLevel, 3, c.channel);
        EXPECT_EQ(tl, c.c2TotalLevel);
        EXPECT_EQ(YM2612::ChannelOfKeyCode(static_cast<std::uint8_t>(0xF0 | c.keyCode)),
                  static_cast<int>(c.channel));
        EXPECT_EQ(YM2612::ChannelOfRegister(c.port, tl), static_cast<int>(c.channel));
        EXPECT_EQ(YM2612::SlotOfRegister(tl), 3u);
        EXPECT_EQ(YM2612::OperatorBase(tl), YM2612::kRegTotalLevel);
    }
    EXPECT_EQ(YM2612::ChannelOfKeyCode(0xF3), -1);
    EXPECT_EQ(YM2612::ChannelOfKeyCode(0xF7), -1);
    EXPECT_EQ(YM2612::ChannelOfRegister(0, 0x43), -1);      // offset 3
    EXPECT_EQ(YM2612::ChannelOfRegister(0, 0x28), -1);      // chip-wide
}

TEST(Ym2612Map, FieldsSurvivePackingAndAreMaskedToTheirWidth) {
    for (unsigned v = 0; v < 256; ++v) {
        EXPECT_EQ(YM2612::Dt1Of(YM2612::DetuneMul(v, v)), v & 7);
        EXPECT_EQ(YM2612::MulOf(YM2612::DetuneMul(v, v)), v & 15);
        EXPECT_EQ(YM2612::KsOf(YM2612::KeyScaleAttack(v, 31)), v & 3);
        EXPECT_EQ(YM2612::D1lOf(YM2612::SustainRelease(v, v)), v & 15);
        EXPECT_EQ(YM2612::FeedbackOf(YM2612::FeedbackAlgorithm(v, v)), v & 7);
        EXPECT_EQ(YM2612::AlgorithmOf(YM2612::FeedbackAlgorithm(v, v)), v & 7);
        EXPECT_EQ(YM2612::AmsOf(YM2612::LfoSensitivity(v, v)), v & 3);
        EXPECT_EQ(YM2612::PmsOf(YM2612::LfoSensitivity(v, v)), v & 7);
    }
    // Block 5, F-number 643: the bytes of middle C as the driver writes it.
    EXPECT_EQ(YM2612::BlockFnumHigh(5, 643), 0x2A);
    EXPECT_EQ(YM2612::Fnum(0x2A, 0x83), 643u);
    EXPECT_EQ(YM2612::BlockOf(0x2A), 5u);
    // Carriers: algorithm 4 sounds C1 and C2, algorithm 7 all four.
    EXPECT_FALSE(YM2612::IsCarrier(4, 1));
    EXPECT_TRUE(YM2612::IsCarrier(4, 2));
    EXPECT_TRUE(YM2612::IsCarrier(7, 0));
}

TEST(Sn76489Map, LatchAndDataBytesReadBackAsTheyWereWritten) {
    for (unsigned g = 0; g < SN76489::kGenerators; ++g) {
        for (unsigned period : {0u, 1u, 254u, 1023u}) {
            const std::uint8_t latch = SN76489::PeriodLatch(g, period);
            const unsigned reg = SN76489::RegisterOf(latch);
            EXPECT_TRUE(SN76489::IsLatch(latch));
            EXPECT_EQ(SN76489::GeneratorOf(reg), g);
            EXPECT_FALSE(SN76489::IsAttenuation(reg));
            EXPECT_EQ(SN76489::Period(latch, SN76489::PeriodData(period)), period);
        }
        const std::uint8_t att = SN76489::AttenuationLatch(g, SN76489::kSilent);
        EXPECT_TRUE(SN76489::IsAttenuation(SN76489::RegisterOf(att)));
        EXPECT_EQ(att & 0x0F, SN76489::kSilent);
    }
    EXPECT_EQ(SN76489::NoiseControl(4), 0xE4);
    EXPECT_EQ(SN76489::AttenuationLatch(0, 15), 0x9F);
}

}  // namespace
