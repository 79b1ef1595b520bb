// Reading VGM files of any origin: the header as far as the version reaches,
// the commands in one streamed pass, plain and gzip alike, bounded inflation.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "vgm/vgm_file.h"
#include "vgm/vgm_format.h"

namespace {

using namespace VGM;
using Bytes = std::vector<std::uint8_t>;

Bytes Header(std::uint32_t version, std::size_t size = kHeaderSize) {
    Bytes b(size, 0);
    std::memcpy(b.data(), kIdent, 4);
    Put32(b.data() + kOffVersion, version);
    if (version >= 0x150 && size != kHeaderSize) Put32(b.data() + kOffDataOffset, size - kOffDataOffset);
    return b;
}

Bytes Join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Gzip(const Bytes& in) {
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, in.size()) + 32);
    z.next_in = const_cast<std::uint8_t*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

struct Pass {
    std::vector<VgmCommand> commands;
    VgmReader::Stop stop = VgmReader::Stop::kNone;
    std::uint64_t stop_offset = 0, samples = 0, size = 0;
    std::string error;
};

Pass ReadAll(const Bytes& file, std::uint64_t cap = kMaxVgmBytes) {
    Pass p;
    VgmReader r(cap);
    if (!r.OpenMemory(file.data(), file.size())) {
        p.error = r.error();
        return p;
    }
    VgmCommand c;
    while (r.Next(c)) p.commands.push_back(c);
    p.stop = r.stop();
    p.stop_offset = r.stop_offset();
    p.samples = r.samples();
    p.size = r.FileSize();
    p.error = r.error();
    return p;
}

// Every kind of command length, a data block passed over, and every wait.
const Bytes kCommands = {
    0x50, 0x9F,                                // SN76489
    0x52, 0x28, 0xF0,                          // YM2612
    0x67, 0x66, 0x00, 0x03, 0x00, 0x00, 0x00,  // data block of 3 bytes
    0xAA, 0xBB, 0xCC,
    0x61, 0x10, 0x00,                          // 16
    0x62, 0x63,                                // 735, 882
    0x7F,                                      // 16
    0x85,                                      // DAC byte, 5
    0x93, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10,       // DAC stream start
    0xE0, 0, 0, 0, 0,                          // seek in the PCM bank
    0x66,
};

TEST(VgmFile, PlainAndGzipReadAlike) {
    const Bytes plain = Join(Header(0x150), kCommands);
    Bytes twoMembers = Gzip(Bytes(plain.begin(), plain.begin() + 50));
    twoMembers = Join(twoMembers, Gzip(Bytes(plain.begin() + 50, plain.end())));
    for (const Bytes& file : {plain, Gzip(plain), twoMembers}) {
        const Pass p = ReadAll(file);
        ASSERT_EQ(p.error, "");
        ASSERT_EQ(p.commands.size(), 10u);
        EXPECT_EQ(p.commands[2].block_size, 3u);
        EXPECT_EQ(p.commands[3].offset, kHeaderSize + 15);
        EXPECT_EQ(p.commands[8].op(), 0x93);
        EXPECT_EQ(p.commands[8].length, 11);
        EXPECT_EQ(p.samples, 16u + 735 + 882 + 16 + 5);
        EXPECT_EQ(p.commands[9].sample, p.samples);
        EXPECT_EQ(p.stop, VgmReader::Stop::kEndCommand);
        EXPECT_EQ(p.stop_offset, plain.size() - 1);
        EXPECT_EQ(p.size, plain.size());
    }
}

TEST(VgmFile, HowTheCommandsStop) {
    struct Case {
        const char* name;
        Bytes commands;
        VgmReader::Stop stop;
        std::uint64_t offset;
    } cases[] = {
        {"unknown", {0x62, 0x21, 0x62}, VgmReader::Stop::kUnknownCommand, kHeaderSize + 1},
        {"cut short", {0x62, 0x52, 0x28}, VgmReader::Stop::kCutShort, kHeaderSize + 1},
        {"data block past the end", {0x67, 0x66, 0, 0x10, 0, 0, 0, 1}, VgmReader::Stop::kCutShort, kHeaderSize},
        {"no end command", {0x62}, VgmReader::Stop::kEndOfData, kHeaderSize + 1},
    };
    for (const Case& c : cases) {
        const Pass p = ReadAll(Join(Header(0x150), c.commands));
        EXPECT_EQ(p.stop, c.stop) << c.name;
        EXPECT_EQ(p.stop_offset, c.offset) << c.name;
    }
}

TEST(VgmFile, HeaderReachesAsFarAsVersionAndDataOffset) {
    // 1.01: no data offset, no YM2612 clock field even if bytes are there.
    Bytes old = Header(0x101);
    Put32(old.data() + kOffDataOffset, 0x100);
    Put32(old.data() + kOffYm2612Clock, kYm2612Clock);
    Put32(old.data() + kOffSn76489Clock, kSn76489Clock | 0xC0000000u);  // two T6W28
    Put32(old.data() + kOffRate, 50);
    VgmReader r;
    ASSERT_TRUE(r.OpenMemory(old.data(), old.size()));
    EXPECT_EQ(r.header().data_start, kHeaderSize);
    EXPECT_EQ(r.header().rate, 50u);
    ASSERT_EQ(r.header().chips.size(), 1u);
    EXPECT_EQ(r.header().chips[0].name, "T6W28");
    EXPECT_TRUE(r.header().chips[0].dual);
    EXPECT_EQ(r.header().chips[0].clock, kSn76489Clock);
    EXPECT_EQ(r.header().VersionText(), "1.01");

    // 1.71 with a 0x100 header: the chips at 0x80-0xE3 count.
    Bytes big = Join(Header(0x171, 0x100), {0x66});
    Put32(big.data() + 0xE0, 1000000);
    VgmReader r2;
    ASSERT_TRUE(r2.OpenMemory(big.data(), big.size()));
    EXPECT_EQ(r2.header().data_start, 0x100u);
    ASSERT_EQ(r2.header().chips.size(), 1u);
    EXPECT_EQ(r2.header().chips[0].name, "GA20");

    // 1.50 with a data offset of 0 is read from 0x40, and flagged.
    const Bytes zero = Header(0x150);
    VgmReader r3;
    ASSERT_TRUE(r3.OpenMemory(zero.data(), zero.size()));
    EXPECT_TRUE(r3.header().data_offset_zero);
    EXPECT_EQ(r3.header().data_start, kHeaderSize);
}

TEST(VgmFile, UnreadableFilesSayWhy) {
    const Bytes header = Header(0x150), gzipped = Gzip(header);
    Bytes corrupt = Gzip(Join(Header(0x150), kCommands));
    corrupt[20] ^= 0xFF;
    corrupt[21] ^= 0xFF;
    struct Case {
        const char* name;
        Bytes file;
        std::string error;
    } cases[] = {
        {"empty", {}, "is not a VGM file"},
        {"other", Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6}, "is not a VGM file"},
        {"short header", Bytes(header.begin(), header.begin() + 20), "ends inside the VGM header"},
        {"cut gzip", Bytes(gzipped.begin(), gzipped.begin() + 15), "cut short"},
        {"corrupt gzip", corrupt, "gzip"},
    };
    for (const Case& c : cases) {
        const Pass p = ReadAll(c.file);
        EXPECT_NE(p.error.find(c.error), std::string::npos) << c.name << ": " << p.error;
    }
}

// A small file that inflates without end stops at the ceiling, having held
// no more than a window of it.
TEST(VgmFile, InflationStopsAtTheCeiling) {
    Bytes huge = Header(0x150);
    huge.resize(4 << 20, 0x62);
    const Pass p = ReadAll(Gzip(huge), 1 << 20);
    EXPECT_EQ(p.stop, VgmReader::Stop::kUnreadable);
    EXPECT_NE(p.error.find("inflates to more than 1 MB"), std::string::npos) << p.error;
    EXPECT_LE(p.commands.size(), std::size_t{1} << 20);
}

// A tag placed before the sound data is found by going back in the stream.
TEST(VgmFile, Gd3BeforeTheDataIsRead) {
    Gd3Tag tag;
    tag[kGd3TrackName] = "Early";
    const Bytes gd3 = BuildGd3(tag);
    Bytes file = Join(Header(0x150), gd3);
    Put32(file.data() + kOffDataOffset, file.size() - kOffDataOffset);
    Put32(file.data() + kOffGd3, kHeaderSize - kOffGd3);
    file = Join(file, {0x62, 0x66});
    for (const Bytes& f : {file, Gzip(file)}) {
        VgmReader r;
        ASSERT_TRUE(r.OpenMemory(f.data(), f.size()));
        VgmCommand c;
        int n = 0;
        while (r.Next(c)) ++n;
        EXPECT_EQ(n, 1);
        bool tooLong = true;
        EXPECT_EQ(r.ReadGd3(tooLong).tag[kGd3TrackName], "Early");
        EXPECT_FALSE(tooLong);
        EXPECT_EQ(r.FileSize(), file.size());
    }
}

}  // namespace

namespace {

// Where the header's loop offset lands: at a command, at the end command,
// inside a command, or nowhere the commands reach.
TEST(VgmFile, LoopPointLandsAtACommandOrIsSaidNotTo) {
    // Data at 0x40: wait 100 (0x40), frame wait (0x43), end (0x44).
    const Bytes data = {kCmdWait, 100, 0, kCmdWaitFrame, kCmdEnd};
    struct Case {
        std::uint32_t loop_at;  // file offset, 0 for none
        bool found, inside;
        std::uint64_t sample;
    } cases[] = {
        {0, false, false, 0},
        {0x40, true, false, 0},
        {0x43, true, false, 100},
        {0x44, true, false, 100 + kSamplesPerFrame},  // the end command: a loop of nothing
        {0x41, false, true, 0},                       // inside the wait
        {0x80, false, false, 0},                      // past the data
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.loop_at);
        Bytes file = Join(Header(0x150), data);
        if (c.loop_at != 0) Put32(file.data() + kOffLoopOffset, c.loop_at - kOffLoopOffset);
        VgmReader r;
        ASSERT_TRUE(r.OpenMemory(file.data(), file.size()));
        VgmCommand cmd;
        while (r.Next(cmd)) {
        }
        EXPECT_EQ(r.loop().found, c.found);
        EXPECT_EQ(r.loop().inside, c.inside);
        EXPECT_EQ(r.loop().sample, c.sample);
    }
}

}  // namespace
