// The arranger's loudness against the converter's own rules: the velocity
// and expression it chooses must give the level it means once the sequencer
// and the drivers turn them into chip registers.
#include "fmtool/arrange/chip_level.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "chips/dcsgdrv.h"
#include "chips/opn2drv.h"
#include "instruments/fminst.h"
#include "sequencer/sequencer_rules.h"

namespace {

FmVoice Voice(int con, int carrier_tl) {
    FmVoice v;
    v.con = con;
    for (FmOperator& o : v.op) o.tl = carrier_tl;
    return v;
}

// The level the converter gives the loudest carrier of `voice` at `velocity`,
// as total-level steps below the voice's own level.
int StepsBelowVoice(const FmVoice& voice, int velocity) {
    const std::uint32_t volume = MIDI::FmVolumeOfVelocity(static_cast<unsigned>(velocity));
    const std::uint32_t first = Opn2FirstCarrier(voice.con);
    return static_cast<int>(Opn2ScaledLevel(voice.op[first].tl, volume) & 0x7F) - voice.op[first].tl;
}

TEST(ChipLevel, FmVelocityGivesTheLevelItMeans) {
    for (int con : {0, 4, 5, 7, 9, -1}) {
        for (int tl : {0, 10, 40, 100, 126}) {
            const FmVoice voice = Voice(con, tl);
            SCOPED_TRACE("connection " + std::to_string(con) + ", carrier level " + std::to_string(tl));
            int last = 127;
            for (double db = 0; db >= -60; db -= 0.25) {
                const int v = fmtool::FmVelocity(voice, db);
                ASSERT_GE(v, 1);
                ASSERT_LE(v, last);  // quieter never asks for more
                last = v;
                // The smallest velocity of its volume: what the sequencer turns
                // into the same carrier level, found from the sequencer's rule.
                if (v > 1) {
                    EXPECT_LT(MIDI::FmVolumeOfVelocity(v - 1), MIDI::FmVolumeOfVelocity(v)) << db;
                }
                // Never silence for an audible voice.
                EXPECT_LT(StepsBelowVoice(voice, v) + tl, 127) << db;
            }
            EXPECT_EQ(fmtool::FmVelocity(voice, 0), 127);
        }
    }
    // Within its reach the level lands within one step of what was asked;
    // beyond it the velocity rests at its floor, volume 97.
    const FmVoice loud = Voice(7, 0);
    for (double db = 0; db >= -20; db -= 0.25) {
        const int v = fmtool::FmVelocity(loud, db);
        EXPECT_NEAR(StepsBelowVoice(loud, v) * 0.75, -db, 0.75) << db;
    }
    EXPECT_EQ(fmtool::FmVelocity(loud, -100), 1);
    EXPECT_EQ(MIDI::FmVolumeOfVelocity(1), MIDI::kFmVolumeFloor);
}

TEST(ChipLevel, DcsgExpressionGivesTheAttenuationItMeans) {
    for (double db = 0; db >= -60; db -= 0.5) {
        const int expression = fmtool::DcsgExpression(db);
        const double wanted = std::min(14.0, std::round(-db / 2));
        EXPECT_EQ(DcsgAttenuation(static_cast<std::uint32_t>(expression)), wanted) << db;
    }
    // Never silence.
    EXPECT_EQ(DcsgAttenuation(static_cast<std::uint32_t>(fmtool::DcsgExpression(fmtool::kSilentDb))), 14u);
}

TEST(ChipLevel, VoiceAudibleFollowsTheDriversCarriers) {
    for (int con = -1; con <= 9; ++con) {
        for (int silent_slot = 0; silent_slot < 4; ++silent_slot) {
            // Every operator silent but one.
            FmVoice v = Voice(con, 127);
            v.op[silent_slot].tl = 20;
            const bool carrier = static_cast<std::uint32_t>(silent_slot) >= Opn2FirstCarrier(con);
            EXPECT_EQ(fmtool::VoiceAudible(v), carrier) << "connection " << con << ", operator " << silent_slot;
        }
    }
}

}  // namespace

// A level on the renderer's scale: 0.75 dB a step, a quiet note held just
// above silence on the voice's loudest carrier, a silent voice untouched.
TEST(ChipLevel, FmAttenuationNeverSilencesAVoice) {
    EXPECT_EQ(fmtool::FmAttenuationOf(Voice(7, 0), 0), 0);
    EXPECT_EQ(fmtool::FmAttenuationOf(Voice(7, 0), -7.5), 10);
    EXPECT_EQ(fmtool::FmAttenuationOf(Voice(7, 0), 3), 0);
    EXPECT_EQ(fmtool::FmAttenuationOf(Voice(7, 100), -60), 26);
    EXPECT_EQ(fmtool::FmAttenuationOf(Voice(7, 0), fmtool::kSilentDb), 126);
    EXPECT_EQ(fmtool::FmAttenuationOf(Voice(4, 127), -10), 0);
}
