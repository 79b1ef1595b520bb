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

struct Case {
    const char* name;
    Op setup;  // run first, its writes not checked
    Op op;
    const char* expected;
};

void RunCases(const std::vector<Case>& cases, const std::function<void(FMInst&)>& fill = {}) {
    for (const Case& c : cases) {
        Rig rig;
        if (fill) fill(*rig.bank);
        if (c.setup) c.setup(rig.drv);
        EXPECT_EQ(rig.Emit(c.op), c.expected) << c.name;
    }
}

const Op kNone;

TEST(Opn2Mapping, ChannelBankAndSlotFunctions) {
    const std::uint32_t codes[] = {0, 1, 2, 4, 5, 6, 7};
    const std::uint32_t banks[] = {0, 0, 0, 1, 1, 1, 1};
    for (std::uint32_t c = 0; c < 7; ++c) {
        EXPECT_EQ(get_fm_channel(c), codes[c]) << c;
        EXPECT_EQ(get_fm_bank(c), banks[c]) << c;
    }
    const std::uint32_t slots[] = {0, 8, 4, 12, 0, 0};
    for (std::uint32_t i = 0; i < 6; ++i) EXPECT_EQ(get_fm_slot(i), slots[i]) << i;
    EXPECT_EQ(get_fm_slot(UINT32_MAX), 0u);
}

TEST(Opn2Mapping, KeyCodesAlwaysOnPortZero) {
    RunCases({
        {"on 0", kNone, [](OPN2DRV& d) { d.KeyOn(0); }, "52 28 F0"},
        {"on 2", kNone, [](OPN2DRV& d) { d.KeyOn(2); }, "52 28 F2"},
        {"on 3", kNone, [](OPN2DRV& d) { d.KeyOn(3); }, "52 28 F4"},
        {"on 5", kNone, [](OPN2DRV& d) { d.KeyOn(5); }, "52 28 F6"},
        {"off 1", kNone, [](OPN2DRV& d) { d.KeyOff(1); }, "52 28 01"},
        {"off 5", kNone, [](OPN2DRV& d) { d.KeyOff(5); }, "52 28 06"},
        {"on 6", kNone, [](OPN2DRV& d) { d.KeyOn(6); }, ""},
        {"off 6", kNone, [](OPN2DRV& d) { d.KeyOff(6); }, ""},
        {"twice", kNone, [](OPN2DRV& d) { d.KeyOff(0); d.KeyOff(0); }, "52 28 00 52 28 00"},
        {"raw", kNone, [](OPN2DRV& d) { d.SetReg(1, 0x1B4, 0x1C0); }, "53 B4 C0"},
    });
}

TEST(Opn2Mapping, InitialWritesOnEveryNonNullBinding) {
    VGMOUT vgm;
    OPN2DRV drv;
    drv.VgmSet(nullptr);
    EXPECT_TRUE(vgm.Stream().empty());
    drv.VgmSet(&vgm);
    drv.VgmSet(&vgm);
    EXPECT_EQ(testsupport::Hex(vgm.Stream()),
              std::string(kInitialWrites) + " " + kInitialWrites);
}

TEST(Opn2Pitch, KeyTableFollowsItsFormula) {
    // F = 144 * f * 2^20 / clock / 2^(block-1), the octave from middle C at block 4.
    for (int i = 0; i < 13; ++i) {
        const double f = 440.0 * std::pow(2.0, (i - 9) / 12.0);
        const double fnum = 144.0 * f * 1048576.0 / 7670453.0 / 8.0;
        EXPECT_EQ(Opn2KeyTable[i], static_cast<std::uint16_t>(fnum)) << i;
    }
}

TEST(Opn2Pitch, NoteAndDetuneNormalisation) {
    const auto note = [](std::uint32_t ch, std::uint32_t n) {
        return [=](OPN2DRV& d) { d.SetNote(ch, n); };
    };
    const auto detune = [](std::uint32_t ch, std::int32_t dt) {
        return [=](OPN2DRV& d) { d.SetDetune(ch, dt); };
    };
    RunCases({
        {"60", kNone, note(0, 60), "52 A4 2A 52 A0 83"},
        {"69", kNone, note(0, 69), "52 A4 2C 52 A0 3A"},
        {"0", kNone, note(0, 0), "52 A4 02 52 A0 83"},
        {"127 clamped to block 7", kNone, note(0, 127), "52 A4 3B 52 A0 C4"},
        {"port 1", kNone, note(4, 60), "53 A5 2A 53 A1 83"},
        {"channel 2", kNone, note(2, 71), "52 A6 2C 52 A2 BF"},
        {"channel 6", kNone, note(6, 60), ""},
        {"detune -1", detune(0, -1), note(0, 60), "52 A4 25 52 A0 05"},
        {"detune -50", detune(0, -50), note(0, 60), "52 A4 24 52 A0 D4"},
        {"detune +645", detune(0, 645), note(0, 60), "52 A4 32 52 A0 85"},
        {"detune +644 lands on 1287", detune(0, 644), note(0, 60), "52 A4 2D 52 A0 07"},
        {"below block 0", detune(0, -1), note(0, 0), "52 A4 05 52 A0 05"},
        {"many octaves up", detune(0, 643 * 20), note(0, 60), "52 A4 3D 52 A0 06"},
        {"huge detune up", detune(0, INT32_MAX), note(0, 127), "52 A4 3B 52 A0 9F"},
        {"huge detune down", detune(0, INT32_MIN), note(0, 0), "52 A4 02 52 A0 A7"},
        {"detune rewrites pitch", note(0, 60), detune(0, -1), "52 A4 25 52 A0 05"},
        {"detune channel 6", kNone, detune(6, 5), ""},
    });
}

TEST(Opn2Pitch, ChannelAboveFiveChangesNothing) {
    OPN2DRV drv;
    drv.SetNote(6, 60);
    drv.SetDetune(6, 5);
    drv.SetPortamentTime(6, 3);
    drv.KeyOn(6);
    for (std::uint32_t c = 0; c < OPN2DRV::kChannels; ++c) {
        EXPECT_EQ(drv.Channel(c).cur_note, 0) << c;
        EXPECT_EQ(drv.Channel(c).detune, 0) << c;
        EXPECT_EQ(drv.Channel(c).porta_time, 0) << c;
        EXPECT_EQ(drv.Channel(c).keyon, 0) << c;
    }
}

// A scenario: one operation after another, each with the writes it must make.
struct Step {
    Op op;
    const char* expected;
};

void RunSteps(const char* name, const std::vector<Step>& steps) {
    Rig rig;
    for (std::size_t i = 0; i < steps.size(); ++i)
        EXPECT_EQ(rig.Emit(steps[i].op), steps[i].expected) << name << " step " << i;
}

const Op kFrame = [](OPN2DRV& d) { d.RunFrame(); };

Op Porta(std::uint32_t ch, std::uint32_t frames) {
    return [=](OPN2DRV& d) { d.SetPortamentTime(ch, frames); };
}
Op Note(std::uint32_t ch, std::uint32_t n) { return [=](OPN2DRV& d) { d.SetNote(ch, n); }; }
Op On(std::uint32_t ch) { return [=](OPN2DRV& d) { d.KeyOn(ch); }; }
Op Off(std::uint32_t ch) { return [=](OPN2DRV& d) { d.KeyOff(ch); }; }

TEST(Opn2Glide, UpwardFrameByFrame) {
    RunSteps("60 -> 72 in 4", {
        {Note(0, 60), "52 A4 2A 52 A0 83"},
        {On(0), "52 28 F0"},
        {Porta(0, 4), ""},
        {Note(0, 72), "52 A4 32 52 A0 83"},
        {On(0), "52 28 F0 52 A4 2A 52 A0 83"},
        {kFrame, "52 A4 2B 52 A0 23"},
        {kFrame, "52 A4 2B 52 A0 C3"},
        {kFrame, "52 A4 2C 52 A0 63"},
        {kFrame, "52 A4 32 52 A0 83"},
        {kFrame, ""},
    });
}

TEST(Opn2Glide, DownwardAndOnPortOne) {
    RunSteps("72 -> 60 in 3 on channel 5", {
        {Note(5, 72), "53 A6 32 53 A2 83"},
        {On(5), "52 28 F6"},
        {Porta(5, 3), ""},
        {Note(5, 60), "53 A6 2A 53 A2 83"},
        {On(5), "52 28 F6 53 A6 2D 53 A2 06"},
        {kFrame, "53 A6 2C 53 A2 30"},
        {kFrame, "53 A6 2B 53 A2 5A"},
        {kFrame, "53 A6 2A 53 A2 83"},
        {kFrame, ""},
    });
}

TEST(Opn2Glide, FirstGlideStartsFromNoteZeroAndOutlivesKeyOff) {
    RunSteps("0 -> 12 in 2", {
        {Porta(1, 2), ""},
        {Note(1, 12), "52 A5 0A 52 A1 83"},
        {On(1), "52 28 F1 52 A5 02 52 A1 83"},
        {Off(1), "52 28 01"},
        {kFrame, "52 A5 03 52 A1 C4"},
        {kFrame, "52 A5 0A 52 A1 83"},
    });
}

TEST(Opn2Glide, SameNoteStopsGlideWithoutWritingPitch) {
    RunSteps("stop", {
        {Porta(0, 4), ""},
        {Note(0, 12), "52 A4 0A 52 A0 83"},
        {On(0), "52 28 F0 52 A4 02 52 A0 83"},
        {kFrame, "52 A4 03 52 A0 23"},
        {Note(0, 12), "52 A4 03 52 A0 23"},  // still holds the glide's offset
        {On(0), "52 28 F0"},
        {kFrame, ""},
    });
}

TEST(Opn2Glide, TimeZeroDuringGlideLetsItFinish) {
    RunSteps("time 0", {
        {Porta(0, 2), ""},
        {Note(0, 1), "52 A4 02 52 A0 AA"},
        {On(0), "52 28 F0 52 A4 02 52 A0 83"},
        {Porta(0, 0), ""},
        {kFrame, "52 A4 02 52 A0 96"},
        {kFrame, "52 A4 02 52 A0 AA"},
        {kFrame, ""},
    });
}

TEST(Opn2Glide, StepZeroHoldsThenJumps) {
    Rig rig;
    rig.Emit([](OPN2DRV& d) { d.SetNote(0, 60); d.KeyOn(0); d.SetPortamentTime(0, 40); });
    EXPECT_EQ(rig.Emit([](OPN2DRV& d) { d.SetNote(0, 61); d.KeyOn(0); }),
              "52 A4 2A 52 A0 AA 52 28 F0 52 A4 2A 52 A0 83");
    EXPECT_EQ(rig.drv.Channel(0).porta_step, 0);
    for (int frame = 1; frame < 40; ++frame)
        ASSERT_EQ(rig.Emit(kFrame), "52 A4 2A 52 A0 83") << frame;
    EXPECT_EQ(rig.Emit(kFrame), "52 A4 2A 52 A0 AA");
    EXPECT_EQ(rig.Emit(kFrame), "");
}

TEST(Opn2Glide, ChannelsStepInOrder) {
    Rig rig;
    rig.Emit([](OPN2DRV& d) {
        for (std::uint32_t ch : {4u, 1u}) {
            d.SetPortamentTime(ch, 1);
            d.SetNote(ch, 12);
            d.KeyOn(ch);
        }
    });
    EXPECT_EQ(rig.Emit(kFrame), "52 A5 0A 52 A1 83 53 A5 0A 53 A1 83");
}

TEST(Opn2Glide, HugePortamentoTimeIsClamped) {
    OPN2DRV drv;
    drv.SetPortamentTime(0, UINT32_MAX);
    EXPECT_EQ(drv.Channel(0).porta_time, INT32_MAX);
}

// Voice 9: every field distinct, several out of the chip's ranges.
void FillProgramVoice(FMInst& bank) {
    FmVoice& v = bank.voice[9];
    v.fl = 5; v.con = 4; v.ams = 2; v.pms = 3;
    struct { int dt1, mul, tl, ks, ar, ams_en, d1r, d2r, d1l, rr; } ops[4] = {
        {3, 2, 300, 1, 40, 1, 33, -1, 5, 7},
        {7, 15, 0, 3, 31, 0, 5, 2, 15, 15},
        {-1, 17, 127, 4, 63, 2, 64, 31, 16, 16},
        {0, 0, -1, 2, 0, -1, -2, 0, 1, 0},
    };
    for (int i = 0; i < 4; ++i) {
        FmOperator& o = v.op[i];
        o.dt1 = ops[i].dt1; o.mul = ops[i].mul; o.tl = ops[i].tl; o.ks = ops[i].ks;
        o.ar = ops[i].ar; o.ams_en = ops[i].ams_en; o.d1r = ops[i].d1r;
        o.d2r = ops[i].d2r; o.d1l = ops[i].d1l; o.rr = ops[i].rr;
    }
}

TEST(Opn2Voice, ProgramWritesInOrderWithMasks) {
    const auto prog = [](std::uint32_t ch, std::uint32_t p) {
        return [=](OPN2DRV& d) { d.SetProgram(ch, p); };
    };
    RunCases({
        {"channel 0", kNone, prog(0, 9),
         "52 B0 2C 52 B4 E3 "
         "52 30 32 52 40 2C 52 50 68 52 60 A1 52 70 3F 52 80 57 "
         "52 34 7F 52 44 00 52 54 DF 52 64 05 52 74 02 52 84 FF "
         "52 38 71 52 48 7F 52 58 3F 52 68 00 52 78 1F 52 88 00 "
         "52 3C 00 52 4C FF 52 5C 80 52 6C BE 52 7C 00 52 8C 10"},
        {"channel 5, panned left", [](OPN2DRV& d) { d.SetPan(5, 10); }, prog(5, 9),
         "53 B2 2C 53 B6 A3 "
         "53 32 32 53 42 2C 53 52 68 53 62 A1 53 72 3F 53 82 57 "
         "53 36 7F 53 46 00 53 56 DF 53 66 05 53 76 02 53 86 FF "
         "53 3A 71 53 4A 7F 53 5A 3F 53 6A 00 53 7A 1F 53 8A 00 "
         "53 3E 00 53 4E FF 53 5E 80 53 6E BE 53 7E 00 53 8E 10"},
        {"default voice on channel 3", kNone, prog(3, 127),
         "53 B0 07 53 B4 C0 "
         "53 30 01 53 40 7F 53 50 1F 53 60 00 53 70 00 53 80 0F "
         "53 34 01 53 44 7F 53 54 1F 53 64 00 53 74 00 53 84 0F "
         "53 38 01 53 48 7F 53 58 1F 53 68 00 53 78 00 53 88 0F "
         "53 3C 01 53 4C 7F 53 5C 1F 53 6C 00 53 7C 00 53 8C 0F"},
        {"program 128", kNone, prog(0, 128), ""},
        {"channel 6", kNone, prog(6, 9), ""},
    }, FillProgramVoice);

    Rig rig;
    rig.drv.SetProgram(0, 7);
    rig.drv.SetProgram(0, 128);
    EXPECT_EQ(rig.drv.Channel(0).prog, 7);
}

TEST(Opn2Voice, VolumeWritesCarriersByAlgorithm) {
    struct Row {
        std::int32_t con;
        std::int32_t tl[4];
        std::uint32_t channel, vol;
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
        {0, {0, 0, 0, 40}, 6, 100, ""},
    };
    for (const Row& r : rows) {
        Rig rig;
        FmVoice& v = rig.bank->voice[3];
        v.con = r.con;
        for (int i = 0; i < 4; ++i) v.op[i].tl = r.tl[i];
        rig.drv.SetProgram(r.channel, 3);
        EXPECT_EQ(rig.Emit([&](OPN2DRV& d) { d.SetVolume(r.channel, r.vol); }), r.expected)
            << "con " << r.con << " vol " << r.vol;
    }
}

TEST(Opn2Voice, OneNoteWithTheDefaultVoice) {
    Rig rig;
    EXPECT_EQ(rig.Emit([](OPN2DRV& d) { d.SetNote(0, 60); d.SetVolume(0, 120); d.KeyOn(0); }),
              "52 A4 2A 52 A0 83 52 40 7F 52 44 7F 52 48 7F 52 4C 7F 52 28 F0");
}

TEST(Opn2Voice, OperatorLevelChecksChannelAndOperator) {
    const auto tl = [](std::uint32_t ch, std::uint32_t op, std::uint32_t scale) {
        return [=](OPN2DRV& d) { d.SetTL(ch, op, scale); };
    };
    const auto fill = [](FMInst& b) {
        for (int i = 0; i < 4; ++i) b.voice[0].op[i].tl = 10 * i;
    };
    RunCases({
        {"op 0 full", kNone, tl(0, 0, 127), "52 40 00"},
        {"op 2 at 100", kNone, tl(3, 2, 100), "53 48 2B"},
        {"op 3 silent", kNone, tl(5, 3, 0), "53 4E 7F"},
        {"op 4", kNone, tl(0, 4, 127), ""},
        {"channel 6", kNone, tl(6, 0, 127), ""},
    }, fill);
}

TEST(Opn2Voice, PanBitsWithSensitivities) {
    const auto pan = [](std::uint32_t ch, std::uint32_t p) {
        return [=](OPN2DRV& d) { d.SetPan(ch, p); };
    };
    const auto fill = [](FMInst& b) {
        b.voice[0].ams = 1; b.voice[0].pms = 7;
        b.voice[2].ams = 2; b.voice[2].pms = 3;
    };
    const Op prog2 = [](OPN2DRV& d) { d.SetProgram(4, 2); };
    RunCases({
        {"left", prog2, pan(4, 0), "53 B5 A3"},
        {"63 left", prog2, pan(4, 63), "53 B5 A3"},
        {"centre", prog2, pan(4, 64), "53 B5 E3"},
        {"right", prog2, pan(4, 65), "53 B5 63"},
        {"127 right", prog2, pan(4, 127), "53 B5 63"},
        {"voice 0 before any program", kNone, pan(1, 64), "52 B5 D7"},
        {"repeat writes twice", kNone, [](OPN2DRV& d) { d.SetPan(0, 0); d.SetPan(0, 0); },
         "52 B4 97 52 B4 97"},
        {"channel 6", kNone, pan(6, 0), ""},
    }, fill);
}

TEST(Opn2Voice, BankIsReadInPlace) {
    Rig rig;
    rig.drv.SetProgram(0, 1);
    rig.bank->voice[1].op[3].tl = 27;
    EXPECT_EQ(rig.Emit([](OPN2DRV& d) { d.SetVolume(0, 127); }), "52 40 7F 52 44 7F 52 48 7F 52 4C 1B");
}

TEST(Opn2Timers, WorkedValues) {
    const auto a = [](std::uint16_t t, std::uint16_t d) {
        return [=](OPN2DRV& drv) { drv.SetTimerA_ByTempo(t, d); };
    };
    const auto b = [](std::uint16_t t, std::uint16_t d) {
        return [=](OPN2DRV& drv) { drv.SetTimerB_ByTempo(t, d); };
    };
    const auto ms = [](std::uint16_t m) {
        return [=](OPN2DRV& drv) { drv.SetTimerB_ByMilliSeconds(m); };
    };
    RunCases({
        {"A raw", kNone, [](OPN2DRV& d) { d.SetTimerA(0x1234); }, "52 24 8D 52 25 00"},
        {"B raw", kNone, [](OPN2DRV& d) { d.SetTimerB(0xAB); }, "52 26 AB"},
        {"A 120/480", kNone, a(120, 480), "52 24 E0 52 25 03"},
        {"A 150/96", kNone, a(150, 96), "52 24 83 52 25 00"},
        {"A 120/48 wraps", kNone, a(120, 48), "52 24 C8 52 25 00"},
        {"A product past 2^31", kNone, a(65535, 65535), "52 24 0D 52 25 02"},
        {"A zero product", kNone, a(0, 480), ""},
        {"B 120/480", kNone, b(120, 480), "52 26 F8"},
        {"B 150/96", kNone, b(150, 96), "52 26 E2"},
        {"B 120/48", kNone, b(120, 48), "52 26 B5"},
        {"B 120/4 wraps", kNone, b(120, 4), "52 26 58"},
        {"B product past 2^31", kNone, b(65535, 65535), "52 26 00"},
        {"B zero product", kNone, b(120, 0), ""},
        {"B 10 ms", kNone, ms(10), "52 26 B5"},
        {"B 1 ms", kNone, ms(1), "52 26 F8"},
        {"B 0 ms", kNone, ms(0), "52 26 00"},
        {"B 65535 ms wraps", kNone, ms(65535), "52 26 6B"},
    });
}

TEST(Opn2NoWriter, StateChangesWithoutWrites) {
    FMInst bank;
    VGMOUT vgm;
    OPN2DRV drv;
    drv.InstSet(&bank);
    drv.SetProgram(2, 5);
    drv.SetPan(2, 0);
    drv.SetPortamentTime(2, 2);
    drv.SetNote(2, 72);
    drv.SetDetune(2, -3);
    drv.SetVolume(2, 50);
    drv.KeyOn(2);
    drv.RunFrame();
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
    const std::size_t initial = vgm.Stream().size();
    drv.SetProgram(0, 3);
    drv.SetVolume(0, 100);
    drv.SetTL(0, 0, 100);
    drv.SetPan(0, 10);
    EXPECT_EQ(vgm.Stream().size(), initial);
    EXPECT_EQ(drv.Channel(0).prog, 0);
    EXPECT_EQ(drv.Channel(0).midi_pan, 10);
}

}  // namespace
