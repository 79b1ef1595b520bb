// Tests of the VGM writer: command encoding, waits, loop point, the saved
// header and its gzip twin, save failures and the register shadow dump.
#include "vgm/vgmout.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/run_fmroll.h"
#include "tests/support/vgm_reader.h"

using testsupport::DecodeStream;
using testsupport::Hex;
using testsupport::ReadVgmFile;
using testsupport::ReadVgzFile;
using testsupport::TempDir;
using testsupport::VgmFile;

namespace {

// Runs the body with the working directory switched to a fresh TempDir.
class InTempDir {
public:
    InTempDir() : old_(std::filesystem::current_path()) { std::filesystem::current_path(dir_.path()); }
    ~InTempDir() { std::filesystem::current_path(old_); }
    const TempDir& dir() const { return dir_; }

private:
    TempDir dir_;
    std::filesystem::path old_;
};

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t off) {
    return b[off] | b[off + 1] << 8 | b[off + 2] << 16 | static_cast<std::uint32_t>(b[off + 3]) << 24;
}

std::vector<std::string> DirEntries(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

// ---- command encoding ----

TEST(VgmCommands, EachOperationAppendsItsBytes) {
    struct Case {
        const char* what;
        void (*op)(VGMOUT&);
        const char* bytes;
    };
    const Case cases[] = {
        {"opn2 port 0", [](VGMOUT& v) { v.WriteRegOpn2(0, 0x28, 0xF0); }, "52 28 F0"},
        {"opn2 port 1", [](VGMOUT& v) { v.WriteRegOpn2(1, 0xB4, 0xC0); }, "53 B4 C0"},
        {"opn2 masks port, reg, data", [](VGMOUT& v) { v.WriteRegOpn2(2, 0x1A2, 0x1FF); }, "52 A2 FF"},
        {"opn2 port 3 is port 1", [](VGMOUT& v) { v.WriteRegOpn2(3, 0x30, 0x71); }, "53 30 71"},
        {"dcsg", [](VGMOUT& v) { v.WriteRegDcsg(0x19F); }, "50 9F"},
        {"wait 60", [](VGMOUT& v) { v.WriteWait_60(); }, "62"},
        {"wait 50", [](VGMOUT& v) { v.WriteWait_50(); }, "63"},
        {"end marker", [](VGMOUT& v) { v.WriteEndMarker(); }, "66"},
        {"end marker twice", [](VGMOUT& v) { v.WriteEndMarker(); v.WriteEndMarker(); }, "66 66"},
        {"loop point appends nothing", [](VGMOUT& v) { v.SetLoopHere(); }, ""},
        {"same register twice is kept",
         [](VGMOUT& v) { v.WriteRegOpn2(0, 0x22, 8); v.WriteRegOpn2(0, 0x22, 8); }, "52 22 08 52 22 08"},
        {"pcm block", [](VGMOUT& v) { v.WritePcmBlock({0x80, 0x90, 0x70}); }, "67 66 00 03 00 00 00 80 90 70"},
        {"pcm seek", [](VGMOUT& v) { v.WritePcmSeek(0x01020304); }, "E0 04 03 02 01"},
        {"dac byte and waits", [](VGMOUT& v) { v.WriteDacAndWait(0); v.WriteDacAndWait(3); v.WriteDacAndWait(99); },
         "80 83 8F"},
    };
    for (const Case& c : cases) {
        VGMOUT v;
        c.op(v);
        EXPECT_EQ(Hex(v.Stream()), c.bytes) << c.what;
    }
}

// ---- waits and sample counts ----

// A DAC byte counts its wait; a block and a seek count none; a block that
// would pass the stream's limit fills the writer instead.
TEST(VgmWaits, DacBytesCountTheirWaitsAndABlockKeepsToTheLimit) {
    VGMOUT v;
    v.WritePcmBlock(std::vector<std::uint8_t>(100, 0x80));
    v.WritePcmSeek(7);
    for (int i = 0; i < 245; ++i) v.WriteDacAndWait(3);
    EXPECT_EQ(v.TotalSamples(), 735u);
    VGMOUT small(64);
    small.WritePcmBlock(std::vector<std::uint8_t>(100, 0x80));
    EXPECT_TRUE(small.Full());
    EXPECT_TRUE(small.Stream().empty());
}

TEST(VgmWaits, WriteWaitSplitsAtMaximumCommand) {
    struct Case {
        std::uint32_t samples;
        const char* bytes;
    };
    const Case cases[] = {
        {0, "61 00 00"},
        {1, "61 01 00"},
        {735, "61 DF 02"},
        {65535, "61 FF FF"},
        {65536, "61 FF FF 61 01 00"},
        {131070, "61 FF FF 61 FF FF"},
        {131071, "61 FF FF 61 FF FF 61 01 00"},
        {200000, "61 FF FF 61 FF FF 61 FF FF 61 43 0D"},
    };
    for (const Case& c : cases) {
        VGMOUT v;
        v.WriteWait_60();
        v.WriteWait(c.samples);
        EXPECT_EQ(Hex(v.Stream()), std::string("62 ") + c.bytes) << c.samples;
        EXPECT_EQ(v.TotalSamples(), 735 + c.samples) << c.samples;
    }
}

// ---- loop point ----

TEST(VgmLoop, LoopPointCases) {
    struct Case {
        const char* what;
        void (*build)(VGMOUT&);
        std::uint32_t loop_field;
        std::uint32_t loop_samples;
    };
    const Case cases[] = {
        {"never set", [](VGMOUT& v) { v.WriteWait_60(); }, 0, 0},
        {"at offset 0 is no loop",
         [](VGMOUT& v) { v.SetLoopHere(); for (int i = 0; i < 10; ++i) v.WriteWait_60(); }, 0, 0},
        {"after 100 bytes and 735 samples",
         [](VGMOUT& v) {
             for (int i = 0; i < 33; ++i) v.WriteRegOpn2(0, 0x30, i);  // 99 bytes
             v.WriteWait_60();                                       // 100 bytes, 735 samples
             v.SetLoopHere();
             for (int i = 0; i < 9; ++i) v.WriteWait_60();  // 7350 samples in all
         },
         136, 6615},
        {"later call wins",
         [](VGMOUT& v) {
             v.WriteWait_60();
             v.SetLoopHere();
             v.WriteWait_60();
             v.SetLoopHere();
             v.WriteWait_50();
         },
         2 + 0x24, 882},
        {"after the last wait is no loop",
         [](VGMOUT& v) {
             v.WriteWait_60();
             v.WriteRegDcsg(0x9F);
             v.SetLoopHere();
             v.WriteRegDcsg(0xBF);
             v.WriteEndMarker();
         },
         0, 0},
        {"wait of 0 after the loop point is still no loop",
         [](VGMOUT& v) { v.WriteWait_60(); v.SetLoopHere(); v.WriteWait(0); }, 0, 0},
    };
    for (const Case& c : cases) {
        VGMOUT v;
        c.build(v);
        const std::vector<std::uint8_t> image = v.Image();
        ASSERT_EQ(image.size(), VGMOUT::kHeaderSize + v.Stream().size()) << c.what;
        EXPECT_EQ(Le32(image, 0x1C), c.loop_field) << c.what;
        EXPECT_EQ(Le32(image, 0x20), c.loop_samples) << c.what;
    }
}

// ---- header and image ----

TEST(VgmHeader, EmptyWriterImageIsTheBareHeader) {
    VGMOUT v;
    const std::vector<std::uint8_t> expected = {
        0x56, 0x67, 0x6D, 0x20, 0x3C, 0x00, 0x00, 0x00, 0x50, 0x01, 0x00, 0x00, 0x99, 0x9E, 0x36, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x00, 0x00, 0x09, 0x00, 0x10, 0x00, 0xB5, 0x0A, 0x75, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    };
    EXPECT_EQ(Hex(v.Image()), Hex(expected));
}

TEST(VgmHeader, SavedFileParsesBack) {
    InTempDir tmp;
    VGMOUT v;
    v.WriteRegOpn2(0, 0x22, 0);
    v.WriteWait_60();
    v.SetLoopHere();
    v.WriteRegDcsg(0x9F);
    v.WriteWait(70000);
    v.WriteEndMarker();
    ASSERT_EQ(v.Save("test"), VGM::SaveResult::Ok);

    const VgmFile f = ReadVgmFile(tmp.dir().File("test.vgm"));
    ASSERT_TRUE(f.ok);
    const std::string stream = "52 22 00 62 50 9F 61 FF FF 61 71 11 66";
    ASSERT_EQ(f.bytes.size(), 64u + 13u);
    EXPECT_EQ(Hex(f.Stream()), stream);
    EXPECT_EQ(Hex(DecodeStream(f.Stream())), stream);
    EXPECT_EQ(std::string(f.bytes.begin(), f.bytes.begin() + 4), "Vgm ");
    EXPECT_EQ(f.Field32(0x04), 13u + 60u);
    EXPECT_EQ(f.Field32(0x08), 0x150u);
    EXPECT_EQ(f.Field32(0x0C), 3579545u);
    EXPECT_EQ(f.Field32(0x10), 0u);
    EXPECT_EQ(f.Field32(0x14), 0u);
    EXPECT_EQ(f.Field32(0x18), 735u + 70000u);
    EXPECT_EQ(f.Field32(0x1C), 4u + 0x24u);
    EXPECT_EQ(f.Field32(0x20), 70000u);
    EXPECT_EQ(f.Field32(0x24), 60u);
    EXPECT_EQ(f.Field32(0x28), 0x00100009u);  // feedback 0x0009, width 16, reserved 0
    EXPECT_EQ(f.Field32(0x2C), 7670453u);
    EXPECT_EQ(f.Field32(0x30), 0u);
    EXPECT_EQ(f.Field32(0x34), 0u);
    EXPECT_EQ(f.Field32(0x38), 0u);
    EXPECT_EQ(f.Field32(0x3C), 0u);
    EXPECT_EQ(f.bytes, v.Image());
    // Saving leaves the stream and counters alone.
    EXPECT_EQ(Hex(v.Stream()), stream);
    EXPECT_EQ(v.TotalSamples(), 70735u);
}

TEST(VgmHeader, SavingTwiceWritesIdenticalFiles) {
    InTempDir tmp;
    VGMOUT v;
    v.WriteRegOpn2(1, 0xA4, 0x2A);
    v.SetLoopHere();
    v.WriteWait_60();
    ASSERT_EQ(v.Save("test"), VGM::SaveResult::Ok);
    EXPECT_EQ(Hex(ReadVgmFile(tmp.dir().File("test.vgm")).Stream()), "53 A4 2A 62");  // no end marker added
    const std::vector<std::uint8_t> vgm1 = tmp.dir().Read("test.vgm");
    const std::vector<std::uint8_t> vgz1 = tmp.dir().Read("test.vgz");
    ASSERT_EQ(v.Save("test"), VGM::SaveResult::Ok);
    EXPECT_EQ(tmp.dir().Read("test.vgm"), vgm1);
    EXPECT_EQ(tmp.dir().Read("test.vgz"), vgz1);
    EXPECT_EQ(DirEntries(tmp.dir().path()), (std::vector<std::string>{"test.vgm", "test.vgz"}));
}

TEST(VgmHeader, SaveOverwritesEarlierFilesAndIgnoresTheName) {
    InTempDir tmp;
    tmp.dir().Write("test.vgm", std::string(5000, 'x'));
    tmp.dir().Write("test.vgz", std::string(5000, 'y'));
    VGMOUT v;
    v.WriteEndMarker();
    ASSERT_EQ(v.Save("other"), VGM::SaveResult::Ok);
    EXPECT_EQ(tmp.dir().Read("test.vgm"), v.Image());
    EXPECT_EQ(ReadVgzFile(tmp.dir().File("test.vgz")).bytes, v.Image());
    EXPECT_EQ(DirEntries(tmp.dir().path()), (std::vector<std::string>{"test.vgm", "test.vgz"}));
}

// ---- gzip twin ----

TEST(VgmGzip, TwinInflatesToTheSameBytes) {
    InTempDir tmp;
    VGMOUT v;
    // A long, varied stream so that compression has real work to do.
    for (std::uint32_t i = 0; i < 100000; ++i) {
        v.WriteRegOpn2(i & 1, i * 7, i * 13);
        v.WriteRegDcsg(i * 3);
        if (i % 5 == 0) v.WriteWait_60();
    }
    v.WriteEndMarker();
    ASSERT_EQ(v.Save("test"), VGM::SaveResult::Ok);
    const VgmFile plain = ReadVgmFile(tmp.dir().File("test.vgm"));
    const VgmFile gz = ReadVgzFile(tmp.dir().File("test.vgz"));
    ASSERT_TRUE(plain.ok);
    ASSERT_TRUE(gz.ok);
    EXPECT_EQ(plain.bytes.size(), 64u + 100000u * 5u + 20000u + 1u);
    EXPECT_TRUE(plain.bytes == gz.bytes);
    const std::vector<std::uint8_t> raw = tmp.dir().Read("test.vgz");
    ASSERT_GE(raw.size(), 2u);
    EXPECT_EQ(raw[0], 0x1F);  // a gzip member, not raw deflate
    EXPECT_EQ(raw[1], 0x8B);
    EXPECT_LT(raw.size(), plain.bytes.size());
}

// ---- size limits ----

TEST(VgmLimits, StreamLengthMustFitTheEofField) {
    EXPECT_TRUE(VGMOUT::StreamFitsHeader(0));
    EXPECT_TRUE(VGMOUT::StreamFitsHeader(0xFFFFFFFFull - 60));
    EXPECT_FALSE(VGMOUT::StreamFitsHeader(0xFFFFFFFFull - 59));
}

TEST(VgmLimits, SampleCountPastThirtyTwoBitsIsRefused) {
    InTempDir tmp;
    VGMOUT v;
    v.WriteWait(0xFFFFFFFFu);
    EXPECT_EQ(v.TotalSamples(), 0xFFFFFFFFu);
    EXPECT_FALSE(v.Image().empty());
    v.WriteWait_60();
    EXPECT_TRUE(v.Image().empty());
    EXPECT_EQ(v.Save("test"), VGM::SaveResult::TooLarge);
    EXPECT_TRUE(DirEntries(tmp.dir().path()).empty());
}

// Past its limit the writer drops every append, so the stream stops growing,
// and the file is refused as too large.
TEST(VgmLimits, AFullWriterStopsGrowingAndRefusesToSave) {
    InTempDir tmp;
    VGMOUT v(10);
    for (int i = 0; i < 3; ++i) v.WriteRegOpn2(0, 0x28, 0xF0);
    EXPECT_FALSE(v.Full());  // 9 bytes
    v.WriteRegDcsg(0x9F);
    EXPECT_TRUE(v.Full());  // 11 bytes
    v.WriteWait_60();
    v.WriteWait(100000);
    v.WriteEndMarker();
    EXPECT_EQ(v.Stream().size(), 11u);
    EXPECT_TRUE(v.Image().empty());
    const VGM::SaveResult result = v.Save("test");
    EXPECT_EQ(result, VGM::SaveResult::TooLarge);
    EXPECT_STREQ(VGM::SaveMessage(result), "VGM file too large, abort...");
    EXPECT_STREQ(VGM::SaveMessage(VGM::SaveResult::WriteError), "VGM file write error, abort...");
    EXPECT_TRUE(DirEntries(tmp.dir().path()).empty());
}

// ---- save failures ----

TEST(VgmSaveFailure, DirectoryInPlaceOfOneFileKeepsTheOther) {
    for (const char* blocked : {"test.vgm", "test.vgz"}) {
        const std::string other = std::string(blocked) == "test.vgm" ? "test.vgz" : "test.vgm";
        InTempDir tmp;
        VGMOUT old_writer;
        old_writer.WriteWait_60();
        old_writer.WriteEndMarker();
        ASSERT_EQ(old_writer.Save("test"), VGM::SaveResult::Ok);
        const std::vector<std::uint8_t> earlier = tmp.dir().Read(other);
        std::filesystem::remove(tmp.dir().File(blocked));
        std::filesystem::create_directory(tmp.dir().File(blocked));

        VGMOUT v;
        v.WriteRegDcsg(0x9F);
        v.WriteWait_50();
        EXPECT_EQ(v.Save("test"), VGM::SaveResult::WriteError) << blocked;
        EXPECT_EQ(tmp.dir().Read(other), earlier) << blocked;
        EXPECT_TRUE(std::filesystem::is_directory(tmp.dir().File(blocked))) << blocked;
        // No temporary file is left behind.
        std::vector<std::string> expected = {"test.vgm", "test.vgz"};
        EXPECT_EQ(DirEntries(tmp.dir().path()), expected) << blocked;
    }
}

TEST(VgmSaveFailure, UnwritableDirectoryFailsWithoutCrashing) {
    InTempDir tmp;
    std::filesystem::create_directory("sub");
    std::filesystem::current_path("sub");
    std::filesystem::remove(std::filesystem::current_path());  // the working directory is gone
    VGMOUT v;
    v.WriteEndMarker();
    EXPECT_EQ(v.Save("test"), VGM::SaveResult::WriteError);
}

// ---- register shadow and dump ----

TEST(VgmShadow, WritesLandInBankByPortBitAndLowBytes) {
    std::memset(fm_block, 0, sizeof fm_block);
    VGMOUT a, b;
    a.WriteRegOpn2(2, 0x1A2, 0x1FF);
    b.WriteRegOpn2(1, 0xA2, 0x12);  // another writer, same table
    b.WriteRegOpn2(3, 0x230, 0x45);
    b.WriteRegOpn2(3, 0x230, 0x46);
    EXPECT_EQ(fm_block[0][0xA2], 0xFF);
    EXPECT_EQ(fm_block[1][0xA2], 0x12);
    EXPECT_EQ(fm_block[1][0x30], 0x46);
    a.WriteRegDcsg(0x55);
    EXPECT_EQ(fm_block[0][0x50], 0);  // the DCSG has no shadow
}

TEST(VgmShadow, DumpPrintsBothBanks) {
    std::memset(fm_block, 0, sizeof fm_block);
    VGMOUT v;
    v.WriteRegOpn2(0, 0x22, 8);
    v.WriteRegOpn2(0, 0x28, 0x11);
    v.WriteRegOpn2(2, 0x128, 0x1F0);  // last value wins, port 2 is bank 0
    v.WriteRegOpn2(3, 0x1FF, 0x107);
    v.WriteRegOpn2(1, 0x30, 255);
    const char* expected =
    "== BANK 0 ==\n"
    "       0   1   2   3   4   5   6   7   8   9   A   B   C   D   E   F\n"
    "00 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "10 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "20 : 000 000 008 000 000 000 000 000 240 000 000 000 000 000 000 000 \n"
    "30 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "40 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "50 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "60 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "70 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "80 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "90 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "A0 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "B0 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "C0 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "D0 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "E0 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "F0 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "== BANK 1 ==\n"
    "       0   1   2   3   4   5   6   7   8   9   A   B   C   D   E   F\n"
    "00 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "10 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "20 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "30 : 255 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "40 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "50 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "60 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "70 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "80 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "90 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "A0 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "B0 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "C0 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "D0 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "E0 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 \n"
    "F0 : 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 007 \n"
    "\n";
    testing::internal::CaptureStdout();
    v.PtrintAllRegister();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, expected);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 37);
}
