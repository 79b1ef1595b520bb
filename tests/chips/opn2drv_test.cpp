// OPN2DRV against a real VGMOUT: every operation's register writes, decoded
// from the writer's stream.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "chips/opn2drv.h"
#include "tests/support/vgm_reader.h"
#include "vgm/vgmout.h"

namespace {

using Op = std::function<void(OPN2DRV&)>;

constexpr const char* kInitialWrites = "52 24 00 52 25 00 52 26 00 52 27 3F 52 22 0A";

// A driver bound to its own bank and writer.
struct Rig {
    std::unique_ptr<FMInst> bank = std::make_unique<FMInst>();
    VGMOUT vgm;
    OPN2DRV drv;

    Rig() {
        drv.InstSet(bank.get());
        drv.VgmSet(&vgm);
    }

    // The commands that `op` appends to the stream, as hex.
    std::string Emit(const Op& op) {
        const std::size_t before = vgm.Stream().size();
        op(drv);
        const std::vector<std::uint8_t>& s = vgm.Stream();
        return testsupport::Hex(testsupport::DecodeStream(
            std::vector<std::uint8_t>(s.begin() + before, s.end())));
    }
};

// One operation and the writes it must make; a null expectation is not checked.
struct Step {
    Op op;
    const char* expected;
};
struct Scenario {
    const char* name;
    std::vector<Step> steps;
};

void RunScenarios(const std::vector<Scenario>& scenarios, void (*fill)(FMInst&) = nullptr) {
    for (const Scenario& sc : scenarios) {
        Rig rig;
        if (fill) fill(*rig.bank);
        for (std::size_t i = 0; i < sc.steps.size(); ++i) {
            const std::string got = rig.Emit(sc.steps[i].op);
            if (sc.steps[i].expected) {
                EXPECT_EQ(got, sc.steps[i].expected) << sc.name << ", step " << i;
            }
        }
    }
}

using U = std::uint32_t;
Op Note(U ch, U n) { return [=](OPN2DRV& d) { d.SetNote(ch, n); }; }
Op Detune(U ch, std::int32_t dt) { return [=](OPN2DRV& d) { d.SetDetune(ch, dt); }; }
Op Porta(U ch, U frames) { return [=](OPN2DRV& d) { d.SetPortamentTime(ch, frames); }; }
Op On(U ch) { return [=](OPN2DRV& d) { d.KeyOn(ch); }; }
Op Off(U ch) { return [=](OPN2DRV& d) { d.KeyOff(ch); }; }
Op Prog(U ch, U p) { return [=](OPN2DRV& d) { d.SetProgram(ch, p); }; }
Op Vol(U ch, U v) { return [=](OPN2DRV& d) { d.SetVolume(ch, v); }; }
Op Pan(U ch, U p) { return [=](OPN2DRV& d) { d.SetPan(ch, p); }; }
Op TL(U ch, U op, U scale) { return [=](OPN2DRV& d) { d.SetTL(ch, op, scale); }; }
const Op kFrame = [](OPN2DRV& d) { d.RunFrame(); };

TEST(Opn2Mapping, ChannelBankAndSlotFunctions) {
    const U codes[] = {0, 1, 2, 4, 5, 6, 7};
    const U banks[] = {0, 0, 0, 1, 1, 1, 1};
    const U slots[] = {0, 8, 4, 12, 0, 0, 0};
    for (U c = 0; c < 7; ++c) {
        EXPECT_EQ(get_fm_channel(c), codes[c]) << c;
        EXPECT_EQ(get_fm_bank(c), banks[c]) << c;
        EXPECT_EQ(get_fm_slot(c), slots[c]) << c;
    }
    EXPECT_EQ(get_fm_slot(UINT32_MAX), 0u);
}

TEST(Opn2Mapping, KeyCodesAndRawWrites) {
    RunScenarios({
        {"on", {{On(0), "52 28 F0"}, {On(2), "52 28 F2"}, {On(3), "52 28 F4"}, {On(5), "52 28 F6"}}},
        {"off", {{Off(1), "52 28 01"}, {Off(5), "52 28 06"}, {Off(5), "52 28 06"}}},
        {"channel 6", {{On(6), ""}, {Off(6), ""}, {Note(6, 60), ""}, {Detune(6, 5), ""},
                       {Prog(6, 1), ""}, {Vol(6, 1), ""}, {Pan(6, 0), ""}, {TL(6, 0, 1), ""}}},
        {"raw", {{[](OPN2DRV& d) { d.SetReg(1, 0x1B4, 0x1C0); }, "53 B4 C0"}}},
    });
}

TEST(Opn2Mapping, InitialWritesOnEveryNonNullBinding) {
    VGMOUT vgm;
    OPN2DRV drv;
    drv.VgmSet(nullptr);
    EXPECT_TRUE(vgm.Stream().empty());
    drv.VgmSet(&vgm);
    drv.VgmSet(&vgm);
    EXPECT_EQ(testsupport::Hex(vgm.Stream()), std::string(kInitialWrites) + " " + kInitialWrites);
}

TEST(Opn2Pitch, KeyTableFollowsItsFormula) {
    // F = 144 * f * 2^20 / clock / 2^(block-1), the octave from middle C at block 4.
    for (int i = 0; i < 13; ++i) {
        const double f = 440.0 * std::pow(2.0, (i - 9) / 12.0);
        EXPECT_EQ(Opn2KeyTable[i], static_cast<std::uint16_t>(144.0 * f * 1048576.0 / 7670453.0 / 8.0)) << i;
    }
}

TEST(Opn2Pitch, NoteAndDetuneNormalisation) {
    RunScenarios({
        {"plain notes", {{Note(0, 60), "52 A4 2A 52 A0 83"}, {Note(0, 69), "52 A4 2C 52 A0 3A"},
                         {Note(0, 0), "52 A4 02 52 A0 83"}, {Note(0, 127), "52 A4 3B 52 A0 C4"},
                         {Note(4, 60), "53 A5 2A 53 A1 83"}, {Note(2, 71), "52 A6 2C 52 A2 BF"}}},
        {"detune -1", {{Note(0, 60), nullptr}, {Detune(0, -1), "52 A4 25 52 A0 05"},
                       {Note(0, 0), "52 A4 05 52 A0 05"}}},
        {"detune -50", {{Detune(0, -50), nullptr}, {Note(0, 60), "52 A4 24 52 A0 D4"}}},
        {"detune +645", {{Detune(0, 645), nullptr}, {Note(0, 60), "52 A4 32 52 A0 85"}}},
        {"detune +644 is 1287", {{Detune(0, 644), nullptr}, {Note(0, 60), "52 A4 2D 52 A0 07"}}},
        {"20 octaves up", {{Detune(0, 643 * 20), nullptr}, {Note(0, 60), "52 A4 3D 52 A0 06"}}},
        {"huge up", {{Detune(0, INT32_MAX), nullptr}, {Note(0, 127), "52 A4 3B 52 A0 9F"}}},
        {"huge down", {{Detune(0, INT32_MIN), nullptr}, {Note(0, 0), "52 A4 02 52 A0 A7"}}},
    });
}

TEST(Opn2Glide, FrameByFrame) {
    RunScenarios({
        {"up 60 -> 72 in 4", {{Note(0, 60), nullptr}, {On(0), nullptr}, {Porta(0, 4), ""},
            {Note(0, 72), "52 A4 32 52 A0 83"}, {On(0), "52 28 F0 52 A4 2A 52 A0 83"},
            {kFrame, "52 A4 2B 52 A0 23"}, {kFrame, "52 A4 2B 52 A0 C3"},
            {kFrame, "52 A4 2C 52 A0 63"}, {kFrame, "52 A4 32 52 A0 83"}, {kFrame, ""}}},
        {"down 72 -> 60 in 3, port 1", {{Note(5, 72), nullptr}, {On(5), nullptr}, {Porta(5, 3), ""},
            {Note(5, 60), "53 A6 2A 53 A2 83"}, {On(5), "52 28 F6 53 A6 2D 53 A2 06"},
            {kFrame, "53 A6 2C 53 A2 30"}, {kFrame, "53 A6 2B 53 A2 5A"},
            {kFrame, "53 A6 2A 53 A2 83"}, {kFrame, ""}}},
        {"first glide from note 0, on after key-off", {{Porta(1, 2), ""},
            {Note(1, 12), "52 A5 0A 52 A1 83"}, {On(1), "52 28 F1 52 A5 02 52 A1 83"},
            {Off(1), "52 28 01"}, {kFrame, "52 A5 03 52 A1 C4"}, {kFrame, "52 A5 0A 52 A1 83"}}},
        {"same note stops the glide, pitch left as written", {{Porta(0, 4), ""},
            {Note(0, 12), nullptr}, {On(0), nullptr}, {kFrame, "52 A4 03 52 A0 23"},
            {Note(0, 12), "52 A4 03 52 A0 23"}, {On(0), "52 28 F0"}, {kFrame, ""}}},
        {"time 0 during a glide lets it finish", {{Porta(0, 2), ""}, {Note(0, 1), nullptr},
            {On(0), "52 28 F0 52 A4 02 52 A0 83"}, {Porta(0, 0), ""},
            {kFrame, "52 A4 02 52 A0 96"}, {kFrame, "52 A4 02 52 A0 AA"}, {kFrame, ""}}},
        {"channels step in order", {{Porta(4, 1), ""}, {Porta(1, 1), ""}, {Note(4, 12), nullptr},
            {On(4), nullptr}, {Note(1, 12), nullptr}, {On(1), nullptr},
            {kFrame, "52 A5 0A 52 A1 83 53 A5 0A 53 A1 83"}}},
    });
}

TEST(Opn2Glide, StepZeroHoldsThenJumps) {
    Rig rig;
    rig.Emit([](OPN2DRV& d) { d.SetNote(0, 60); d.KeyOn(0); d.SetPortamentTime(0, 40); });
    EXPECT_EQ(rig.Emit([](OPN2DRV& d) { d.SetNote(0, 61); d.KeyOn(0); }),
              "52 A4 2A 52 A0 AA 52 28 F0 52 A4 2A 52 A0 83");
    for (int frame = 1; frame < 40; ++frame) ASSERT_EQ(rig.Emit(kFrame), "52 A4 2A 52 A0 83") << frame;
    EXPECT_EQ(rig.Emit(kFrame), "52 A4 2A 52 A0 AA");
    EXPECT_EQ(rig.Emit(kFrame), "");
}

TEST(Opn2Glide, HugePortamentoTimeIsClamped) {
    OPN2DRV drv;
    drv.SetPortamentTime(0, UINT32_MAX);
    EXPECT_EQ(drv.Channel(0).porta_time, INT32_MAX);
}

// Voice 9: every field distinct, several out of the chip's ranges. Voices 0
// and 2 carry sensitivities for the pan tests.
void FillVoices(FMInst& bank) {
    FmVoice& v = bank.voice[9];
    v.fl = 5; v.con = 4; v.ams = 2; v.pms = 3;
    const std::int32_t ops[4][10] = {
        // dt1, mul, tl, ks, ar, ams_en, d1r, d2r, d1l, rr
        {3, 2, 300, 1, 40, 1, 33, -1, 5, 7},
        {7, 15, 0, 3, 31, 0, 5, 2, 15, 15},
        {-1, 17, 127, 4, 63, 2, 64, 31, 16, 16},
        {0, 0, -1, 2, 0, -1, -2, 0, 1, 0},
    };
    for (int i = 0; i < 4; ++i) {
        FmOperator& o = v.op[i];
        const std::int32_t* f = ops[i];
        o.dt1 = f[0]; o.mul = f[1]; o.tl = f[2]; o.ks = f[3]; o.ar = f[4];
        o.ams_en = f[5]; o.d1r = f[6]; o.d2r = f[7]; o.d1l = f[8]; o.rr = f[9];
    }
    bank.voice[0].ams = 1; bank.voice[0].pms = 7;
    for (int i = 0; i < 4; ++i) bank.voice[0].op[i].tl = 10 * i;
    bank.voice[2].ams = 2; bank.voice[2].pms = 3;
}

TEST(Opn2Voice, ProgramWritesInOrderWithMasks) {
    RunScenarios({
        {"channel 0", {{Prog(0, 9),
         "52 B0 2C 52 B4 E3 "
         "52 30 32 52 40 2C 52 50 68 52 60 A1 52 70 3F 52 80 57 "
         "52 34 7F 52 44 00 52 54 DF 52 64 05 52 74 02 52 84 FF "
         "52 38 71 52 48 7F 52 58 3F 52 68 00 52 78 1F 52 88 00 "
         "52 3C 00 52 4C FF 52 5C 80 52 6C BE 52 7C 00 52 8C 10"},
         {Prog(0, 128), ""}}},
        {"channel 5 keeps its pan", {{Pan(5, 10), nullptr}, {Prog(5, 9),
         "53 B2 2C 53 B6 A3 "
         "53 32 32 53 42 2C 53 52 68 53 62 A1 53 72 3F 53 82 57 "
         "53 36 7F 53 46 00 53 56 DF 53 66 05 53 76 02 53 86 FF "
         "53 3A 71 53 4A 7F 53 5A 3F 53 6A 00 53 7A 1F 53 8A 00 "
         "53 3E 00 53 4E FF 53 5E 80 53 6E BE 53 7E 00 53 8E 10"}}},
        {"default voice on channel 3", {{Prog(3, 127),
         "53 B0 07 53 B4 C0 "
         "53 30 01 53 40 7F 53 50 1F 53 60 00 53 70 00 53 80 0F "
         "53 34 01 53 44 7F 53 54 1F 53 64 00 53 74 00 53 84 0F "
         "53 38 01 53 48 7F 53 58 1F 53 68 00 53 78 00 53 88 0F "
         "53 3C 01 53 4C 7F 53 5C 1F 53 6C 00 53 7C 00 53 8C 0F"}}},
    }, FillVoices);

    Rig rig;
    rig.drv.SetProgram(0, 7);
    rig.drv.SetProgram(0, 128);
    EXPECT_EQ(rig.drv.Channel(0).prog, 7);
}

TEST(Opn2Voice, VolumeWritesCarriersByAlgorithm) {
    struct Row {
        std::int32_t con, tl[4];
        U channel, vol;
        const char* expected;
    };
    const Row rows[] = {
        {0, {0, 0, 0, 20}, 0, 127, "52 4C 14"},
        {3, {0, 0, 0, 20}, 0, 0, "52 4C 7F"},
        {4, {0, 0, 10, 0}, 0, 100, "52 48 23 52 4C 1B"},
        {5, {0, 1, 2, 3}, 0, 127, "52 44 01 52 48 02 52 4C 03"},
        {6, {0, 1, 2, 3}, 4, 0, "53 45 7F 53 49 7F 53 4D 7F"},
        {7, {0, 0, 0, 0}, 0, 97, "52 40 1E 52 44 1E 52 48 1E 52 4C 1E"},
        {7, {5, 6, 7, 8}, 2, 200, "52 42 05 52 46 06 52 4A 07 52 4E 08"},
        {8, {0, 0, 0, 0}, 0, 127, "52 4C 00"},
        {-1, {0, 0, 0, 0}, 0, 127, "52 4C 00"},
        {0, {0, 0, 0, 200}, 0, 100, "52 4C A9"},
    };
    for (const Row& r : rows) {
        Rig rig;
        FmVoice& v = rig.bank->voice[3];
        v.con = r.con;
        for (int i = 0; i < 4; ++i) v.op[i].tl = r.tl[i];
        rig.drv.SetProgram(r.channel, 3);
        EXPECT_EQ(rig.Emit(Vol(r.channel, r.vol)), r.expected) << "con " << r.con << " vol " << r.vol;
    }
}

TEST(Opn2Voice, LevelsAndPan) {
    RunScenarios({
        {"one note, default voice",
         {{[](OPN2DRV& d) { d.SetNote(1, 60); d.SetVolume(1, 120); d.KeyOn(1); },
           "52 A5 2A 52 A1 83 52 41 7F 52 45 7F 52 49 7F 52 4D 7F 52 28 F1"}}},
    });
    RunScenarios({
        {"operator levels", {{TL(0, 0, 127), "52 40 00"}, {TL(3, 2, 100), "53 48 2B"},
                             {TL(5, 3, 0), "53 4E 7F"}, {TL(0, 4, 127), ""}}},
        {"pan bits", {{Prog(4, 2), nullptr}, {Pan(4, 0), "53 B5 A3"}, {Pan(4, 63), "53 B5 A3"},
                      {Pan(4, 64), "53 B5 E3"}, {Pan(4, 65), "53 B5 63"}, {Pan(4, 127), "53 B5 63"}}},
        {"pan from voice 0, twice", {{Pan(1, 64), "52 B5 D7"}, {Pan(0, 0), "52 B4 97"},
                                     {Pan(0, 0), "52 B4 97"}}},
    }, FillVoices);
}

// The direct controls a player of its own uses: pitch from a frequency, in
// the same octave window as the notes; carrier levels below the voice's,
// held at silence; the LFO depth in place of the voice's until a new program;
// the DAC switched on centred.
TEST(Opn2Direct, PitchLevelsVibratoAndDac) {
    const Opn2Pitch c5 = Opn2PitchOfHz(523.251);
    EXPECT_EQ(c5.block, Opn2NotePitch(60, 0).block);
    EXPECT_LE(c5.fnum - Opn2NotePitch(60, 0).fnum, 1u);  // the table truncates, this rounds
    EXPECT_EQ(Opn2PitchOfHz(0).block, 0u);
    EXPECT_EQ(Opn2PitchOfHz(1e9).block, 7u);
    EXPECT_EQ(Opn2PitchOfHz(1e9).fnum, 2047u);
    Rig rig;
    FmVoice& v = rig.bank->voice[3];
    v.con = 4;  // carriers M2 and C2
    v.op[2].tl = 10;
    v.op[3].tl = 120;
    v.pms = 2;
    rig.drv.SetProgram(0, 3);
    EXPECT_EQ(rig.Emit([](OPN2DRV& d) { d.SetCarrierAttenuation(0, 20); }), "52 48 1E 52 4C 7F");
    EXPECT_EQ(rig.Emit([](OPN2DRV& d) { d.SetPitch(1, Opn2Pitch{4, 0x2AB}); }), "52 A5 22 52 A1 AB");
    EXPECT_EQ(rig.Emit([](OPN2DRV& d) { d.SetVibrato(0, 6); }), "52 B4 C6");
    EXPECT_EQ(rig.Emit([](OPN2DRV& d) { d.SetVibrato(0, -1); }), "52 B4 C2");
    EXPECT_EQ(rig.Emit([](OPN2DRV& d) { d.EnableDac(true); }), "52 2B 80 52 2A 80");
}

TEST(Opn2Voice, BankIsReadInPlace) {
    Rig rig;
    rig.drv.SetProgram(0, 1);
    rig.bank->voice[1].op[3].tl = 27;
    EXPECT_EQ(rig.Emit(Vol(0, 127)), "52 40 7F 52 44 7F 52 48 7F 52 4C 1B");
}

TEST(Opn2Timers, WorkedValues) {
    const auto a = [](std::uint16_t t, std::uint16_t d) { return [=](OPN2DRV& x) { x.SetTimerA_ByTempo(t, d); }; };
    const auto b = [](std::uint16_t t, std::uint16_t d) { return [=](OPN2DRV& x) { x.SetTimerB_ByTempo(t, d); }; };
    const auto ms = [](std::uint16_t m) { return [=](OPN2DRV& x) { x.SetTimerB_ByMilliSeconds(m); }; };
    RunScenarios({
        {"raw", {{[](OPN2DRV& d) { d.SetTimerA(0x1234); }, "52 24 8D 52 25 00"},
                 {[](OPN2DRV& d) { d.SetTimerB(0xAB); }, "52 26 AB"}}},
        {"A", {{a(120, 480), "52 24 E0 52 25 03"}, {a(150, 96), "52 24 83 52 25 00"},
               {a(120, 48), "52 24 C8 52 25 00"}, {a(65535, 65535), "52 24 0D 52 25 02"},
               {a(0, 480), ""}}},
        {"B", {{b(120, 480), "52 26 F8"}, {b(150, 96), "52 26 E2"}, {b(120, 48), "52 26 B5"},
               {b(120, 4), "52 26 58"}, {b(65535, 65535), "52 26 00"}, {b(120, 0), ""}}},
        {"B by ms", {{ms(10), "52 26 B5"}, {ms(1), "52 26 F8"}, {ms(0), "52 26 00"},
                     {ms(65535), "52 26 6B"}}},
    });
}

TEST(Opn2NoWriter, StateChangesWithoutWrites) {
    FMInst bank;
    VGMOUT vgm;
    OPN2DRV drv;
    drv.InstSet(&bank);
    for (const Op& op : {Prog(2, 5), Pan(2, 0), Porta(2, 2), Note(2, 72), Detune(2, -3), Vol(2, 50),
                         On(2), kFrame, TL(2, 0, 1)})
        op(drv);
    drv.SetTimerA(5);
    drv.SetReg(0, 0x30, 1);
    const Opn2Channel& c = drv.Channel(2);
    EXPECT_EQ(c.prog, 5);
    EXPECT_EQ(c.midi_pan, 0);
    EXPECT_EQ(c.cur_note, 72);
    EXPECT_EQ(c.last_note, 72);
    EXPECT_EQ(c.detune, -3);
    EXPECT_EQ(c.keyon, 1);
    EXPECT_EQ(c.porta_count, 1);
    EXPECT_EQ(c.porta_offset, -6 * 643 / 2);
    drv.VgmSet(&vgm);
    EXPECT_EQ(testsupport::Hex(vgm.Stream()), kInitialWrites);
}

TEST(Opn2NoWriter, NoBankWritesNoVoiceRegisters) {
    VGMOUT vgm;
    OPN2DRV drv;
    drv.VgmSet(&vgm);
    for (const Op& op : {Prog(0, 3), Vol(0, 100), TL(0, 0, 100), Pan(0, 10)}) op(drv);
    EXPECT_EQ(testsupport::Hex(vgm.Stream()), kInitialWrites);
    EXPECT_EQ(drv.Channel(0).prog, 0);
    EXPECT_EQ(drv.Channel(0).midi_pan, 10);
}

}  // namespace
