// The voice file formats: the worked example voice in every layout, round
// trips of every field a format holds, the OPM text read back by the
// converter's own loader, and hostile files refused with their reason.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "instruments/formats/formats.h"
#include "instruments/formats/voice_registers.h"
#include "instruments/voice_file.h"
#include "tests/support/run_fmroll.h"

namespace {

using voiceformat::Bytes;
using voiceformat::ToImage;
using voiceformat::VoiceImage;

// The worked example EX: ALG 4, FB 5; operators in register order S1, S3,
// S2, S4 with MUL, DT (chip code), TL, RS, AR, D1R, D2R, D1L, RR.
BankVoice Ex() {
    BankVoice v;
    v.voice = voiceformat::ChipVoice();
    v.voice.con = 4;
    v.voice.fl = 5;
    const int ops[4][9] = {{1, 1, 30, 0, 31, 10, 0, 5, 15},
                           {2, 5, 40, 0, 31, 12, 0, 6, 15},
                           {1, 0, 0, 0, 31, 5, 2, 2, 7},
                           {1, 0, 4, 0, 31, 6, 3, 3, 8}};
    for (unsigned r = 0; r < 4; ++r) {
        FmOperator& o = v.voice.op[r];
        o.mul = ops[r][0];
        o.dt1 = ops[r][1];
        o.tl = ops[r][2];
        o.ks = ops[r][3];
        o.ar = ops[r][4];
        o.d1r = ops[r][5];
        o.d2r = ops[r][6];
        o.d1l = ops[r][7];
        o.rr = ops[r][8];
    }
    v.extras.name = "EX";
    return v;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kTfmOps = {0x01, 0x04, 0x1E, 0x00, 0x1F, 0x0A, 0x00, 0x0F, 0x05, 0x00,
                       0x02, 0x02, 0x28, 0x00, 0x1F, 0x0C, 0x00, 0x0F, 0x06, 0x00,
                       0x01, 0x03, 0x00, 0x00, 0x1F, 0x05, 0x02, 0x07, 0x02, 0x00,
                       0x01, 0x03, 0x04, 0x00, 0x1F, 0x06, 0x03, 0x08, 0x03, 0x00};
const Bytes kDmpBody = {0x00, 0x05, 0x04, 0x00,
                        0x01, 0x1E, 0x1F, 0x0A, 0x05, 0x0F, 0x00, 0x00, 0x04, 0x00, 0x00,
                        0x02, 0x28, 0x1F, 0x0C, 0x06, 0x0F, 0x00, 0x00, 0x02, 0x00, 0x00,
                        0x01, 0x00, 0x1F, 0x05, 0x02, 0x07, 0x00, 0x00, 0x03, 0x02, 0x00,
                        0x01, 0x04, 0x1F, 0x06, 0x03, 0x08, 0x00, 0x00, 0x03, 0x03, 0x00};

Bytes ExY12() {
    Bytes b(128, 0);
    const Bytes ops[4] = {{0x11, 0x1E, 0x1F, 0x0A, 0x00, 0x5F, 0x00},
                          {0x52, 0x28, 0x1F, 0x0C, 0x00, 0x6F, 0x00},
                          {0x01, 0x00, 0x1F, 0x05, 0x02, 0x27, 0x00},
                          {0x01, 0x04, 0x1F, 0x06, 0x03, 0x38, 0x00}};
    for (unsigned r = 0; r < 4; ++r) std::copy(ops[r].begin(), ops[r].end(), b.begin() + 16 * r);
    b[0x40] = 4;
    b[0x41] = 5;
    b[0x50] = 'E';
    b[0x51] = 'X';
    return b;
}

Bytes ExOpni() {
    Bytes name(32, 0);
    name[0] = 'E';
    name[1] = 'X';
    return Concat({{'W', 'O', 'P', 'N', '2', '-', 'I', 'N', '2', 'T', 0, 0x02, 0x00, 0x00},
                   name,
                   {0x00, 0x00, 0x00, 0x2C, 0x00},
                   {0x11, 0x1E, 0x1F, 0x0A, 0x00, 0x5F, 0x00, 0x52, 0x28, 0x1F, 0x0C, 0x00, 0x6F, 0x00,
                    0x01, 0x00, 0x1F, 0x05, 0x02, 0x27, 0x00, 0x01, 0x04, 0x1F, 0x06, 0x03, 0x38, 0x00}});
}

struct ExampleCase {
    const char* name;
    VoiceFormat format;
    Bytes bytes;
    bool hasName;  // the format stores the name
};

std::vector<ExampleCase> Examples() {
    return {
        {"TFI", VoiceFormat::kTfi, Concat({{0x04, 0x05}, kTfmOps}), false},
        {"VGI", VoiceFormat::kVgi, Concat({{0x04, 0x05, 0x00}, kTfmOps}), false},
        {"Y12", VoiceFormat::kY12, ExY12(), true},
        {"DMP", VoiceFormat::kDmp, Concat({{0x0B, 0x02, 0x01}, kDmpBody}), false},
        {"OPNI", VoiceFormat::kOpni, ExOpni(), true},
    };
}

TEST(VoiceFormats, TheWorkedExampleReadsAndWritesByteForByte) {
    const BankVoice ex = Ex();
    for (const ExampleCase& c : Examples()) {
        SCOPED_TRACE(c.name);
        VoiceBank read;
        std::string why;
        ASSERT_TRUE(ReadVoiceBytes(c.bytes.data(), c.bytes.size(), c.format, read, why)) << why;
        ASSERT_EQ(read.voices.size(), 1u);
        EXPECT_TRUE(ToImage(read.voices[0].voice, read.voices[0].extras) == ToImage(ex.voice, ex.extras));
        if (c.hasName) {
            EXPECT_EQ(read.voices[0].extras.name, "EX");
        }

        VoiceBank one;
        one.voices.push_back(ex);
        std::vector<std::string> losses;
        EXPECT_EQ(EncodeVoiceFile(c.format, one, {}, losses), c.bytes);
        EXPECT_TRUE(losses.empty());
    }
    // Version 10 of DMP is version 11 without the system byte.
    const Bytes v10 = Concat({{0x0A, 0x01}, kDmpBody});
    VoiceBank read;
    std::string why;
    ASSERT_TRUE(ReadVoiceBytes(v10.data(), v10.size(), VoiceFormat::kDmp, read, why)) << why;
    EXPECT_TRUE(ToImage(read.voices[0].voice, read.voices[0].extras) == ToImage(Ex().voice, Ex().extras));
}

// Voices that set every field to many values: field i of voice n takes
// value (n * 7 + i * 3) modulo its range.
std::vector<BankVoice> VariedVoices() {
    std::vector<BankVoice> out;
    for (int n = 0; n < 40; ++n) {
        BankVoice v;
        v.voice = voiceformat::ChipVoice();
        auto f = [n](int i, int range) { return (n * 7 + i * 3 + n * i) % range; };
        v.voice.con = f(0, 8);
        v.voice.fl = f(1, 8);
        v.voice.ams = f(2, 4);
        v.voice.pms = f(3, 8);
        for (int r = 0; r < 4; ++r) {
            FmOperator& o = v.voice.op[r];
            const int b = 4 + 11 * r;
            o.mul = f(b, 16);
            o.dt1 = f(b + 1, 8);
            o.tl = f(b + 2, 128);
            o.ks = f(b + 3, 4);
            o.ar = f(b + 4, 32);
            o.d1r = f(b + 5, 32);
            o.d2r = f(b + 6, 32);
            o.d1l = f(b + 7, 16);
            o.rr = f(b + 8, 16);
            o.ams_en = f(b + 9, 2);
            const int ssg = f(b + 10, 9);
            v.extras.ssg_eg[r] = static_cast<std::uint8_t>(ssg == 8 ? 0 : 8 + ssg);  // off, or on in any shape
        }
        v.extras.name = "voice " + std::to_string(n);
        out.push_back(v);
    }
    return out;
}

// What a format can hold of a voice image: the fields it has no room for
// at their defaults, and (with `detune4`) the chip's second "no detune" code
// 4 as 0 where the format stores detune as an offset, which sounds the same
// and is not reported as a loss.
VoiceImage Holdable(VoiceImage image, VoiceFormat format, bool detune4 = true) {
    const bool offsetDetune = detune4 && (format == VoiceFormat::kTfi || format == VoiceFormat::kVgi ||
                                          format == VoiceFormat::kDmp);
    for (voiceformat::OperatorImage& o : image.op) {
        if (offsetDetune && (o.dt_mul & 0x70) == 0x40) o.dt_mul &= 0x0F;
        if (format == VoiceFormat::kTfi || format == VoiceFormat::kVgi) o.am_d1r &= 0x1F;
    }
    if (format == VoiceFormat::kTfi || format == VoiceFormat::kY12) image.lfo_sens = 0;
    return image;
}

TEST(VoiceFormats, EveryFieldAFormatHoldsSurvivesWriteAndRead) {
    const VoiceFormat formats[] = {VoiceFormat::kTfi, VoiceFormat::kVgi,  VoiceFormat::kY12,
                                   VoiceFormat::kDmp, VoiceFormat::kOpni, VoiceFormat::kWopn};
    for (VoiceFormat format : formats) {
        SCOPED_TRACE(VoiceFormatName(format));
        for (const BankVoice& v : VariedVoices()) {
            VoiceBank one;
            one.voices.push_back(v);
            std::vector<std::string> losses;
            const Bytes bytes = EncodeVoiceFile(format, one, {}, losses);
            VoiceBank back;
            std::string why;
            ASSERT_TRUE(ReadVoiceBytes(bytes.data(), bytes.size(), format, back, why)) << why;
            ASSERT_EQ(back.voices.size(), 1u);
            const VoiceImage want = Holdable(ToImage(v.voice, v.extras), format);
            EXPECT_TRUE(ToImage(back.voices[0].voice, back.voices[0].extras) == want) << v.extras.name;
            // Written again, the file is the same.
            std::vector<std::string> again;
            EXPECT_EQ(EncodeVoiceFile(format, back, {}, again), bytes) << v.extras.name;
            const VoiceImage all = ToImage(v.voice, v.extras);
            EXPECT_EQ(losses.empty(), Holdable(all, format, false) == all &&
                                          (format != VoiceFormat::kWopn || all.lfo_sens == 0))
                << v.extras.name;
        }
    }
}

TEST(VoiceFormats, ValuesNoRegisterHoldsAreWrittenAsTheChipReadsThemAndSaid) {
    BankVoice v = Ex();
    v.voice.op[0].ar = 40;   // the converter writes 0x28: the chip reads 8
    v.voice.op[3].tl = 130;  // and 130 & 127 = 2
    v.voice.con = 9;
    VoiceBank one;
    one.voices.push_back(v);
    std::vector<std::string> losses;
    const Bytes bytes = EncodeVoiceFile(VoiceFormat::kOpni, one, {}, losses);
    const std::vector<std::string> want = {"M1 AR 40 is outside 0-31: the chip reads 8",
                                           "C2 TL 130 is outside 0-127: the chip reads 2",
                                           "CON 9 is outside 0-7: the chip reads 1"};
    EXPECT_EQ(losses, want);
    VoiceBank back;
    std::string why;
    ASSERT_TRUE(ReadVoiceBytes(bytes.data(), bytes.size(), VoiceFormat::kOpni, back, why)) << why;
    EXPECT_EQ(back.voices[0].voice.op[0].ar, 8);
    EXPECT_EQ(back.voices[0].voice.op[3].tl, 2);
    EXPECT_EQ(back.voices[0].voice.con, 1);
}

TEST(VoiceFormats, WopnKeepsProgramNumbersAndNames) {
    VoiceBank bank;
    const std::vector<BankVoice> varied = VariedVoices();
    for (int program : {0, 5, 64, 127}) {
        BankVoice v = varied[static_cast<std::size_t>(program % varied.size())];
        v.program = program;
        bank.Put(v);
    }
    std::vector<std::string> losses;
    const Bytes bytes = EncodeVoiceFile(VoiceFormat::kWopn, bank, {}, losses);
    EXPECT_EQ(bytes.size(), 18u + 8866u);
    VoiceBank back;
    std::string why;
    ASSERT_TRUE(ReadVoiceBytes(bytes.data(), bytes.size(), VoiceFormat::kWopn, back, why)) << why;
    ASSERT_EQ(back.voices.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(back.voices[i].program, bank.voices[i].program);
        EXPECT_EQ(back.voices[i].extras.name, bank.voices[i].extras.name);
    }
}

TEST(VoiceFormats, WopnVersionOneAndItsExtraBanksAreRead) {
    // Version 1: 16-byte header, two melodic banks and one percussion bank
    // of 65-byte entries; program 3 of the first bank holds EX.
    Bytes file = {'W', 'O', 'P', 'N', '2', '-', 'B', 'A', 'N', 'K', 0, 0x00, 0x02, 0x00, 0x01, 0x0A};
    file.resize(16 + 3 * 128 * 65, 0);
    const Bytes opni = ExOpni();
    std::copy(opni.begin() + 14, opni.end(), file.begin() + 16 + 3 * 65);
    file[16 + 3 * 65 + 32] = 0xFF;  // key offset -12, big-endian
    file[16 + 3 * 65 + 33] = 0xF4;
    VoiceBank back;
    std::string why;
    ASSERT_TRUE(ReadVoiceBytes(file.data(), file.size(), VoiceFormat::kUnknown, back, why)) << why;
    ASSERT_EQ(back.voices.size(), 1u);
    EXPECT_EQ(back.voices[0].program, 3);
    EXPECT_TRUE(ToImage(back.voices[0].voice, back.voices[0].extras) == ToImage(Ex().voice, Ex().extras));
    ASSERT_EQ(back.voices[0].extras.lost.size(), 1u);
    EXPECT_NE(back.voices[0].extras.lost[0].find("key offset of -12"), std::string::npos);
    EXPECT_EQ(back.warnings.size(), 3u);  // second melodic bank, percussion, LFO
}

TEST(VoiceFormats, AWopnEntryWithNothingButAKeyOffsetIsAnEmptyProgram) {
    // Written back, such an entry would be all zeros: reading it as a voice
    // would make a program appear that the bank cannot keep.
    VoiceBank bank;
    bank.voices.push_back(Ex());
    std::vector<std::string> losses;
    Bytes bytes = EncodeVoiceFile(VoiceFormat::kWopn, bank, {}, losses);
    const std::size_t second = 18 + 34 + 69;
    bytes[second + 32] = 0x0C;  // key offset +12
    bytes[second + 36] = 0xC0;  // output bits only: not a field
    VoiceBank back;
    std::string why;
    ASSERT_TRUE(ReadVoiceBytes(bytes.data(), bytes.size(), VoiceFormat::kWopn, back, why)) << why;
    EXPECT_EQ(back.voices.size(), 1u);
}

// Fields of every kind, including values the loader keeps unchecked.
std::vector<std::int32_t> Flatten(const FmVoice& v) {
    std::vector<std::int32_t> out;
    for (const FmOperator& o : v.op)
        out.insert(out.end(), {o.mul, o.tl, o.ks, o.ar, o.d1r, o.d2r, o.d1l, o.rr, o.dt1, o.dt2, o.ams_en});
    out.insert(out.end(), {v.pan, v.fl, v.con, v.slot_mask, v.ne, v.pms, v.ams, v.lfrq, v.amd, v.pmd, v.wf, v.nfrq});
    return out;
}

TEST(VoiceFormats, OpmTextIsReadBackExactlyByTheConvertersLoader) {
    VoiceBank bank;
    std::vector<BankVoice> varied = VariedVoices();
    for (int n = 0; n < 6; ++n) {
        BankVoice v = varied[static_cast<std::size_t>(n)];
        v.program = n * 25;
        bank.Put(v);
    }
    // Values the bank file may hold although no register does, and names
    // that would open a comment.
    BankVoice odd = varied[7];
    odd.program = 127;
    odd.voice.op[2].dt2 = 3;
    odd.voice.op[1].ar = 40;
    odd.voice.op[3].tl = -5;
    odd.voice.pan = 1;
    odd.voice.lfrq = 200;
    odd.voice.ne = 1;
    odd.voice.nfrq = 31;
    odd.extras.name = "AC//DC /*x*/ end";
    odd.extras.notes = {"from a\nfile", "a second note"};
    bank.Put(odd);
    bank.voices[0].extras.name = "";

    const std::string text = voiceformat::WriteOpmText(bank, {"a header line"});
    FMInst loaded;
    ASSERT_EQ(loaded.LoadText(text.data(), text.size()), FMInst::kLoadOk) << text;
    FMInst want;
    FillBank(bank, want);
    for (unsigned n = 0; n < FMInst::kMaxInst; ++n) EXPECT_EQ(Flatten(loaded.voice[n]), Flatten(want.voice[n])) << n;

    testsupport::TempDir dir;
    dir.Write("bank.opm", text);
    VoiceBank back;
    VoiceFileError error;
    ASSERT_TRUE(ReadVoiceFile(dir.File("bank.opm"), back, error)) << error.Message();
    ASSERT_EQ(back.voices.size(), bank.voices.size());
    for (std::size_t i = 0; i < back.voices.size(); ++i) {
        EXPECT_EQ(back.voices[i].program, bank.voices[i].program);
        EXPECT_EQ(Flatten(back.voices[i].voice), Flatten(bank.voices[i].voice));
        EXPECT_TRUE(std::equal(back.voices[i].extras.ssg_eg, back.voices[i].extras.ssg_eg + 4,
                               bank.voices[i].extras.ssg_eg));
    }
    EXPECT_EQ(back.voices[1].extras.name, "voice 1");
    EXPECT_EQ(back.voices.back().extras.name, "AC-/DC -*x*/ end");
}

TEST(VoiceFormats, AnOpmTextDefinesOnlyTheProgramsItNames) {
    testsupport::TempDir dir;
    dir.Write("two.opm", std::string(testsupport::kPlainBank) + "\n@:9 nine\nLFO: 0 0 0 0 0\nCH: 64 0 7 0 0 120 0\n"
                                                              "M1: 31 0 0 15 0 0 0 1 0 0 0\n");
    VoiceBank bank;
    VoiceFileError error;
    ASSERT_TRUE(ReadVoiceFile(dir.File("two.opm"), bank, error)) << error.Message();
    ASSERT_EQ(bank.voices.size(), 2u);
    EXPECT_EQ(bank.voices[0].program, 0);
    EXPECT_EQ(bank.voices[1].program, 9);
    EXPECT_EQ(bank.voices[1].extras.name, "nine");
}

struct HostileCase {
    const char* name;
    VoiceFormat format;
    Bytes bytes;
    const char* reason;  // a part of the reason given
};

TEST(VoiceFormats, HostileFilesAreRefusedWithTheirReason) {
    const Bytes tfi = Concat({{0x04, 0x05}, kTfmOps});
    const Bytes vgi = Concat({{0x04, 0x05, 0x00}, kTfmOps});
    const Bytes dmp = Concat({{0x0B, 0x02, 0x01}, kDmpBody});
    const Bytes opni = ExOpni();
    auto with = [](Bytes b, std::size_t at, std::uint8_t value) {
        b[at] = value;
        return b;
    };
    Bytes wopn = {'W', 'O', 'P', 'N', '2', '-', 'B', '2', 'N', 'K', 0, 0x02, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
    const std::vector<HostileCase> cases = {
        {"short TFI", VoiceFormat::kTfi, Bytes(tfi.begin(), tfi.end() - 1), "is 41 bytes; a TFI voice is 42"},
        {"long TFI", VoiceFormat::kTfi, Concat({tfi, {0}}), "is 43 bytes"},
        {"empty TFI", VoiceFormat::kTfi, {}, "is 0 bytes"},
        {"TFI algorithm 8", VoiceFormat::kTfi, with(tfi, 0, 8), "algorithm 8"},
        {"TFI detune 7", VoiceFormat::kTfi, with(tfi, 3, 7), "operator M1 DT is 7, above 6"},
        {"TFI TL 128", VoiceFormat::kTfi, with(tfi, 14, 128), "operator M2 TL is 128"},
        {"VGI sensitivity", VoiceFormat::kVgi, with(vgi, 2, 0xC0), "LFO sensitivity byte 192"},
        {"VGI rate", VoiceFormat::kVgi, with(vgi, 3 + 4, 32), "AR is 32"},
        {"Y12 size", VoiceFormat::kY12, Bytes(100, 0), "is 100 bytes; a Y12 voice is 128"},
        {"Y12 feedback", VoiceFormat::kY12, with(ExY12(), 0x41, 9), "feedback 9"},
        {"DMP version 9", VoiceFormat::kDmp, with(dmp, 0, 9), "version 9; only versions 10 and 11"},
        {"DMP empty", VoiceFormat::kDmp, {}, "is empty"},
        {"DMP system", VoiceFormat::kDmp, with(dmp, 1, 8), "system 8, not the Genesis"},
        {"DMP standard mode", VoiceFormat::kDmp, with(dmp, 2, 0), "not an FM preset"},
        {"DMP truncated", VoiceFormat::kDmp, Bytes(dmp.begin(), dmp.begin() + 20), "is 20 bytes"},
        {"DMP AM 2", VoiceFormat::kDmp, with(dmp, 7 + 6, 2), "operator M1 AM is 2"},
        {"OPNI version 3", VoiceFormat::kOpni, with(opni, 11, 3), "version 3"},
        {"OPNI truncated", VoiceFormat::kOpni, Bytes(opni.begin(), opni.begin() + 12), "ends before its version"},
        {"OPNI long", VoiceFormat::kOpni, Concat({opni, {0}}), "is 80 bytes"},
        {"OPNI percussion 2", VoiceFormat::kOpni, with(opni, 13, 2), "percussion flag 2"},
        {"OPNI magic", VoiceFormat::kOpni, with(opni, 0, 'X'), "not an OPNI"},
        {"WOPN header only", VoiceFormat::kWopn, wopn, "is 18 bytes; a WOPN of version 2 with 1 banks is 8884"},
        {"WOPN header cut", VoiceFormat::kWopn, Bytes(wopn.begin(), wopn.begin() + 14), "ends inside its header"},
        {"WOPN version 3", VoiceFormat::kWopn, with(wopn, 11, 3), "version 3"},
        {"WOPN no banks", VoiceFormat::kWopn, with(wopn, 14, 0), "holds no melodic bank"},
        {"WOPN magic", VoiceFormat::kWopn, with(wopn, 5, 'X'), "not a WOPN"},
        {"unknown", VoiceFormat::kUnknown, tfi, "not a voice file this tool reads"},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.name);
        VoiceBank out;
        std::string why;
        EXPECT_FALSE(ReadVoiceBytes(c.bytes.data(), c.bytes.size(), c.format, out, why));
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    }
}

TEST(VoiceFormats, ToleratedOdditiesAreReadAsTheChipWould) {
    struct Case {
        const char* name;
        VoiceFormat format;
        Bytes bytes;
        std::size_t slot;
        voiceformat::OperatorImage want;  // of operator `slot`
    };
    const Bytes tfi = Concat({{0x04, 0x05}, kTfmOps});
    const Bytes vgi = Concat({{0x04, 0x05, 0x00}, kTfmOps});
    const Bytes dmp = Concat({{0x0B, 0x02, 0x01}, kDmpBody});
    auto with = [](Bytes b, std::initializer_list<std::pair<std::size_t, std::uint8_t>> changes) {
        for (const auto& [at, value] : changes) b[at] = value;
        return b;
    };
    const Case cases[] = {
        // VGI's layout has no AM flag: a decay byte with bit 7 is register 0x60's image.
        {"VGI decay with AM", VoiceFormat::kVgi, with(vgi, {{3 + 10 + 5, 0x8C}}), 1, {0x52, 0x28, 0x1F, 0x8C, 0, 0x6F, 0}},
        // SSG-EG values 1-7 lack the enable bit: off.
        {"TFI SSG-EG 5", VoiceFormat::kTfi, with(tfi, {{2 + 9, 5}}), 0, {0x11, 0x1E, 0x1F, 0x0A, 0, 0x5F, 0}},
        {"DMP SSG-EG 3", VoiceFormat::kDmp, with(dmp, {{7 + 10, 3}}), 0, {0x11, 0x1E, 0x1F, 0x0A, 0, 0x5F, 0}},
        {"TFI SSG-EG 12", VoiceFormat::kTfi, with(tfi, {{2 + 9, 12}}), 0, {0x11, 0x1E, 0x1F, 0x0A, 0, 0x5F, 12}},
        // Register images: unused bits masked, padding tolerated.
        {"Y12 unused bits", VoiceFormat::kY12, with(ExY12(), {{0, 0x91}, {2, 0x3F}, {3, 0x6A}, {6, 0xF9}, {7, 0x55}}),
         0, {0x11, 0x1E, 0x1F, 0x0A, 0, 0x5F, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VoiceBank read;
        std::string why;
        ASSERT_TRUE(ReadVoiceBytes(c.bytes.data(), c.bytes.size(), c.format, read, why)) << why;
        const voiceformat::OperatorImage got = ToImage(read.voices[0].voice, read.voices[0].extras).op[c.slot];
        const Bytes gotBytes = {got.dt_mul, got.tl, got.ks_ar, got.am_d1r, got.d2r, got.d1l_rr, got.ssg_eg};
        const Bytes wantBytes = {c.want.dt_mul, c.want.tl,     c.want.ks_ar, c.want.am_d1r,
                                 c.want.d2r,    c.want.d1l_rr, c.want.ssg_eg};
        EXPECT_EQ(gotBytes, wantBytes);
    }
    // A percussion OPNI plays as a melodic voice, and says so.
    Bytes opni = ExOpni();
    opni[13] = 1;
    VoiceBank read;
    std::string why;
    ASSERT_TRUE(ReadVoiceBytes(opni.data(), opni.size(), VoiceFormat::kOpni, read, why)) << why;
    ASSERT_EQ(read.voices[0].extras.lost.size(), 1u);
    EXPECT_NE(read.voices[0].extras.lost[0].find("percussion"), std::string::npos);
}

TEST(VoiceFormats, TheConvertersBankLoadsFromEveryFormat) {
    testsupport::TempDir dir;
    // OPM text keeps the converter's loader and message.
    dir.Write("broken.opm", std::string("@:0 x\nLFO: 0 0 0 0 0\nCH: nonsense\n"));
    FMInst bank;
    std::string error;
    std::vector<std::string> warnings;
    EXPECT_FALSE(LoadVoiceBank(dir.File("broken.opm"), bank, error, warnings));
    EXPECT_EQ(error, "OPM file read error (536870912), abort...");
    EXPECT_FALSE(LoadVoiceBank(dir.File("missing.opm"), bank, error, warnings));
    EXPECT_EQ(error, "OPM file read error (268435456), abort...");

    BankVoice ex = Ex();
    ex.extras.ssg_eg[1] = 9;
    VoiceBank one;
    one.voices.push_back(ex);
    std::vector<std::string> losses;
    dir.Write("ex.dmp", EncodeVoiceFile(VoiceFormat::kDmp, one, {}, losses));
    FMInst fromDmp;
    ASSERT_TRUE(LoadVoiceBank(dir.File("ex.dmp"), fromDmp, error, warnings)) << error;
    EXPECT_TRUE(ToImage(fromDmp.voice[0], ex.extras) == ToImage(ex.voice, ex.extras));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("SSG-EG"), std::string::npos);

    dir.Write("short.tfi", Bytes(10, 0));
    EXPECT_FALSE(LoadVoiceBank(dir.File("short.tfi"), bank, error, warnings));
    EXPECT_EQ(error, dir.File("short.tfi") + ": is 10 bytes; a TFI voice is 42");
}

}  // namespace
