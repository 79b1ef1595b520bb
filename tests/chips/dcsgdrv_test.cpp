// Tests of the SN76489 driver against a real VGM writer: the bytes each
// operation sends, by note and bend, volume and key state, noise program.
#include "chips/dcsgdrv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/vgm_reader.h"
#include "vgm/vgmout.h"

using testsupport::Hex;

namespace {

using Ops = void (*)(DCSGDRV&);

struct Case {
    const char* what;
    Ops ops;
    const char* bytes;  // the stream as "50 dd" commands
};

// Runs `ops` on a fresh driver bound to a fresh writer; returns the stream.
std::string RunOps(Ops ops) {
    VGMOUT vgm;
    DCSGDRV drv;
    drv.VgmSet(&vgm);
    ops(drv);
    return Hex(vgm.Stream());
}

void RunCases(const Case* begin, const Case* end) {
    for (const Case* c = begin; c != end; ++c) EXPECT_EQ(RunOps(c->ops), c->bytes) << c->what;
}

// The tone period of MIDI note n: the chip clock over 32 times the frequency
// of the note an octave up (A4 = 440 Hz), limited to the 10-bit register.
int FormulaPeriod(int n) {
    const double f = 440.0 * std::pow(2.0, (n - 57) / 12.0);
    return std::min(1023, static_cast<int>(std::floor(3579545.0 / (32.0 * f))));
}

// Period sent by the last two bytes of a tone-period write (latch, data).
int PeriodOf(const std::vector<std::uint8_t>& stream) {
    const std::size_t n = stream.size();
    return (stream[n - 3] & 0x0F) | (stream[n - 1] << 4);
}

}  // namespace

TEST(DcsgPeriods, KeyTableMatchesItsFormula) {
    VGMOUT vgm;
    DCSGDRV drv;
    drv.VgmSet(&vgm);
    for (int n = 0; n < 108; ++n) {
        drv.SetNote(0, n);
        EXPECT_EQ(PeriodOf(vgm.Stream()), FormulaPeriod(n)) << "note " << n;
    }
    const int listed[][2] = {{0, 1023},  {32, 1023}, {33, 1016}, {45, 508}, {57, 254},
                             {69, 127},  {81, 63},   {93, 31},   {105, 15}, {106, 14}, {107, 14}};
    for (const auto& l : listed) {
        drv.SetNote(1, l[0]);
        EXPECT_EQ(PeriodOf(vgm.Stream()), l[1]) << "note " << l[0];
    }
}

TEST(DcsgPeriods, TopNotesBentAnOctaveUpReachTheFormulaAboveTheTable) {
    for (int n = 96; n < 108; ++n) {
        VGMOUT vgm;
        DCSGDRV drv;
        drv.VgmSet(&vgm);
        drv.SetNote(2, n);
        drv.SetDetune(2, 8191);
        EXPECT_EQ(PeriodOf(vgm.Stream()), FormulaPeriod(n + 12)) << "note " << n;
    }
}

TEST(DcsgPeriods, ByNoteAndDetune) {
    const Case cases[] = {
        {"note 69", [](DCSGDRV& d) { d.SetNote(0, 69); }, "50 8F 50 07"},
        {"note 57 on channel 1", [](DCSGDRV& d) { d.SetNote(1, 57); }, "50 AE 50 0F"},
        {"note 110 is period 0", [](DCSGDRV& d) { d.SetNote(2, 110); }, "50 C0 50 00"},
        {"note 255 is period 0", [](DCSGDRV& d) { d.SetNote(2, 255); }, "50 C0 50 00"},
        {"note 20 is period 1023", [](DCSGDRV& d) { d.SetNote(0, 20); }, "50 8F 50 3F"},
        {"note keeps its low 8 bits", [](DCSGDRV& d) { d.SetNote(0, 256 + 69); }, "50 8F 50 07"},
        {"noise channel note emits nothing", [](DCSGDRV& d) { d.SetNote(3, 60); }, ""},
        {"bend up an octave", [](DCSGDRV& d) { d.SetNote(0, 69); d.SetDetune(0, 8191); },
         "50 8F 50 07 50 8F 50 03"},
        {"bend down an octave", [](DCSGDRV& d) { d.SetNote(0, 69); d.SetDetune(0, -8191); },
         "50 8F 50 07 50 8E 50 0F"},
        {"half bend is linear in period", [](DCSGDRV& d) { d.SetNote(0, 69); d.SetDetune(0, 4096); },
         "50 8F 50 07 50 8F 50 05"},
        {"tiny bend truncates to the note", [](DCSGDRV& d) { d.SetNote(0, 69); d.SetDetune(0, -1); },
         "50 8F 50 07 50 8F 50 07"},
        {"stored bend applies to the next note", [](DCSGDRV& d) { d.SetDetune(1, 8191); d.SetNote(1, 69); },
         "50 AF 50 3F 50 AF 50 03"},
        {"full negative bend truncates to the octave below",
         [](DCSGDRV& d) { d.SetNote(0, 57); d.SetDetune(0, -8192); }, "50 8E 50 0F 50 8C 50 1F"},
        {"bend on the noise channel emits nothing", [](DCSGDRV& d) { d.SetDetune(3, 4000); }, ""},
        // Neighbours outside the table: 1023 below note 0, the formula above 107.
        {"note 5 bent down stays 1023", [](DCSGDRV& d) { d.SetNote(0, 5); d.SetDetune(0, -8192); },
         "50 8F 50 3F 50 8F 50 3F"},
        {"note 0 bent up", [](DCSGDRV& d) { d.SetNote(0, 0); d.SetDetune(0, 8191); },
         "50 8F 50 3F 50 8F 50 3F"},
        {"note 107 bent up to period 7", [](DCSGDRV& d) { d.SetNote(0, 107); d.SetDetune(0, 8191); },
         "50 8E 50 00 50 87 50 00"},
        {"note 107 bent down to note 95", [](DCSGDRV& d) { d.SetNote(0, 107); d.SetDetune(0, -8191); },
         "50 8E 50 00 50 8C 50 01"},
        {"huge bend up clamps at 0", [](DCSGDRV& d) { d.SetNote(0, 69); d.SetDetune(0, INT_MAX); },
         "50 8F 50 07 50 80 50 00"},
        {"huge bend down clamps at 1023", [](DCSGDRV& d) { d.SetNote(0, 69); d.SetDetune(0, INT_MIN); },
         "50 8F 50 07 50 8F 50 3F"},
        {"periods go out keyed on or not", [](DCSGDRV& d) { d.KeyOn(2); d.KeyOff(2); d.SetNote(2, 69); },
         "50 D0 50 DF 50 CF 50 07"},
    };
    RunCases(std::begin(cases), std::end(cases));
}

TEST(DcsgVolume, AttenuationByVolumeAndKeyState) {
    const Case cases[] = {
        {"first key on is loudest", [](DCSGDRV& d) { d.KeyOn(0); }, "50 90"},
        {"volume while keyed off is only stored", [](DCSGDRV& d) { d.SetVolume(1, 64); }, ""},
        {"stored volume sounds at key on", [](DCSGDRV& d) { d.SetVolume(1, 64); d.KeyOn(1); }, "50 B7"},
        {"volume while keyed on is heard", [](DCSGDRV& d) { d.KeyOn(2); d.SetVolume(2, 7); d.SetVolume(2, 8); },
         "50 D0 50 DF 50 DE"},
        {"volume above 127 is 127", [](DCSGDRV& d) { d.KeyOn(0); d.SetVolume(0, 200); }, "50 90 50 90"},
        {"volume 120 is loudest", [](DCSGDRV& d) { d.SetVolume(3, 120); d.KeyOn(3); }, "50 F0"},
        {"volume 119 is one step down", [](DCSGDRV& d) { d.SetVolume(3, 119); d.KeyOn(3); }, "50 F1"},
        {"volume 0 is silent", [](DCSGDRV& d) { d.SetVolume(0, 0); d.KeyOn(0); }, "50 9F"},
        {"key off silences a channel never keyed on", [](DCSGDRV& d) { d.KeyOff(3); }, "50 FF"},
        {"volume after key off is only stored",
         [](DCSGDRV& d) { d.KeyOn(1); d.KeyOff(1); d.SetVolume(1, 40); d.KeyOn(1); }, "50 B0 50 BF 50 BA"},
        {"key on does not resend the period", [](DCSGDRV& d) { d.SetNote(0, 69); d.KeyOn(0); },
         "50 8F 50 07 50 90"},
    };
    RunCases(std::begin(cases), std::end(cases));

    VGMOUT vgm;
    DCSGDRV drv;
    drv.VgmSet(&vgm);
    drv.SetVolume(0, 200);
    EXPECT_EQ(drv.Channel(0).ch_volume, 127);
}

TEST(DcsgNoise, ProgramsAndNoiseControl) {
    const Case cases[] = {
        {"program 6: white, then rate 2", [](DCSGDRV& d) { d.SetProgram(3, 6); }, "50 E4 50 E6"},
        {"program 9 after 6: periodic at old rate, then rate 1",
         [](DCSGDRV& d) { d.SetProgram(3, 6); d.SetProgram(3, 9); }, "50 E4 50 E6 50 E2 50 E1"},
        {"same program twice still sends both bytes",
         [](DCSGDRV& d) { d.SetProgram(3, 0); d.SetProgram(3, 0); }, "50 E0 50 E0 50 E0 50 E0"},
        {"program 7", [](DCSGDRV& d) { d.SetProgram(3, 7); }, "50 E4 50 E7"},
        {"program on a tone channel does nothing", [](DCSGDRV& d) { d.SetProgram(1, 5); }, ""},
        {"program on channel 4 does nothing", [](DCSGDRV& d) { d.SetProgram(4, 5); }, ""},
        {"noise control masks the rate", [](DCSGDRV& d) { d.SetNoiseControl(7); }, "50 E3"},
        {"noise feedback is a flag", [](DCSGDRV& d) { d.SetNoiseFeedback(9); d.SetNoiseFeedback(0); },
         "50 E4 50 E0"},
        {"raw byte", [](DCSGDRV& d) { d.SetReg(0x9F); }, "50 9F"},
        {"pan does nothing", [](DCSGDRV& d) { d.SetPan(0, 64); }, ""},
    };
    RunCases(std::begin(cases), std::end(cases));

    DCSGDRV drv;
    drv.SetProgram(1, 5);
    EXPECT_EQ(drv.NoiseFeedback(), 0u);
    EXPECT_EQ(drv.NoiseShift(), 0u);
    drv.SetProgram(3, 13);
    EXPECT_EQ(drv.NoiseFeedback(), 1u);
    EXPECT_EQ(drv.NoiseShift(), 1u);
}

TEST(DcsgChannels, OutOfRangeChannelsChangeNothing) {
    EXPECT_EQ(RunOps([](DCSGDRV& d) {
                  d.KeyOn(4);
                  d.SetNote(7, 60);
                  d.SetVolume(5, 100);
                  d.KeyOff(4);
                  d.SetDetune(9, 100);
                  d.SetNote(0xFFFFFFFFu, 60);
              }),
              "");
    DCSGDRV drv;
    drv.KeyOn(4);
    drv.SetVolume(4, 3);
    for (std::uint32_t ch = 0; ch < DCSGDRV::kChannels; ++ch) {
        EXPECT_EQ(drv.Channel(ch).keyon, 0);
        EXPECT_EQ(drv.Channel(ch).ch_volume, 127);
    }
}

TEST(DcsgChannels, WithoutWriterStateStillChanges) {
    DCSGDRV drv;
    drv.SetNote(0, 69);
    drv.SetDetune(0, 100);
    drv.SetVolume(0, 50);
    drv.KeyOn(0);
    drv.SetProgram(3, 6);
    drv.SetNoiseControl(1);
    drv.SetReg(0x9F);
    EXPECT_EQ(drv.Channel(0).cur_note, 69);
    EXPECT_EQ(drv.Channel(0).detune, 100);
    EXPECT_EQ(drv.Channel(0).ch_volume, 50);
    EXPECT_EQ(drv.Channel(0).keyon, 1);
    EXPECT_EQ(drv.NoiseFeedback(), 1u);
    EXPECT_EQ(drv.NoiseShift(), 1u);
    drv.KeyOff(0);
    EXPECT_EQ(drv.Channel(0).keyon, 0);

    // Bound later, it emits from then on, from the state it kept.
    VGMOUT vgm;
    drv.VgmSet(&vgm);
    EXPECT_TRUE(vgm.Stream().empty());
    drv.KeyOn(0);
    EXPECT_EQ(Hex(vgm.Stream()), "50 99");
}

// The direct controls: a period from a frequency (held to the register), an
// attenuation as given (held at silence); the noise has no period.
TEST(DcsgDirect, PeriodOfHzAndRawLevels) {
    EXPECT_EQ(DcsgPeriodOfHz(440), 254u);
    EXPECT_EQ(DcsgPeriodOfHz(1), 1023u);
    EXPECT_EQ(DcsgPeriodOfHz(1e9), 1u);
    EXPECT_EQ(DcsgPeriodOfHz(0), 1023u);
    VGMOUT vgm;
    DCSGDRV d;
    d.VgmSet(&vgm);
    d.SetPeriod(1, 254);
    d.SetPeriod(3, 254);
    d.SetAttenuation(2, 4);
    d.SetAttenuation(3, 40);
    EXPECT_EQ(testsupport::Hex(vgm.Stream()), "50 AE 50 0F 50 D4 50 FF");
}
