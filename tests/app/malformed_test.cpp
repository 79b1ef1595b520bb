// Malformed and extreme input files through the real command line: each kind
// of damage gets one case, checked for the exit status, the exact message and
// whether output files appear.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/run_fmroll.h"
#include "tests/support/smf_builder.h"
#include "tests/support/vgm_reader.h"

using namespace testsupport;

namespace {

const char* kConverting = "Converting SMF...\n";
const char* kEndOfFile = "MIDIC: Unexpected end of file, abort...\n";
const char* kTooLong = "MIDIC: Song too long, abort...\n";
const char* kBankSyntax = "OPM file read error (536870912), abort...\n";
const char* kWriteError = "VGM file write error, abort...\n";

constexpr std::int64_t kNoFiles = -1;
constexpr std::int64_t kQuarterNote = 30 * 735;  // samples of 48 ticks at 120 BPM

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// "MThd", length 6, format 0, then the track count and division as given.
Bytes Header(std::uint16_t tracks, std::uint16_t division = 48) {
    Bytes out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0};
    AppendBe16(out, tracks);
    AppendBe16(out, division);
    return out;
}

// A chunk of any type with a declared length that need not match its body.
Bytes Chunk(const char* type, std::uint32_t length, const Bytes& body) {
    Bytes out(type, type + 4);
    AppendBe32(out, length);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}
Bytes Track(const Bytes& body) { return Chunk("MTrk", static_cast<std::uint32_t>(body.size()), body); }

const Bytes kEndOfTrack = {0x00, 0xFF, 0x2F, 0x00};
Bytes NoteOnThenOffAfter(const Bytes& delta) {
    return Cat({{0x00, 0x90, 0x3C, 0x64}, delta, {0x80, 0x3C, 0x00}, kEndOfTrack});
}
Bytes OneNote() { return Cat({Header(1), Track(NoteOnThenOffAfter({0x30}))}); }

// A variable-length quantity padded to `bytes` bytes with leading zero groups.
Bytes PaddedVlq(std::uint8_t value, int bytes) {
    Bytes out(static_cast<std::size_t>(bytes - 1), 0x80);
    out.push_back(value);
    return out;
}
// A quantity of 21 bytes, every bit set: far beyond 64 bits.
Bytes HugeVlq() {
    Bytes out(20, 0xFF);
    out.push_back(0x7F);
    return out;
}

struct Case {
    const char* name;
    Bytes midi;
    std::string bank;
    int status;
    std::string out;
    std::string err;
    std::int64_t samples;  // total samples of the written file, or kNoFiles
};

void Check(const Case& c) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.Write("bank.opm", c.bank);
    dir.Write("song.mid", c.midi);
    const RunResult r = RunFmroll(dir.path(), {"bank.opm", "song.mid"});
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    if (c.samples == kNoFiles) {
        EXPECT_FALSE(dir.Exists("test.vgm"));
        EXPECT_FALSE(dir.Exists("test.vgz"));
        return;
    }
    const VgmFile vgm = ReadVgmFile(dir.File("test.vgm"));
    const VgmFile vgz = ReadVgzFile(dir.File("test.vgz"));
    ASSERT_TRUE(vgm.ok);
    ASSERT_TRUE(vgz.ok);
    EXPECT_EQ(vgm.bytes, vgz.bytes);
    EXPECT_EQ(static_cast<std::int64_t>(vgm.Field32(0x18)), c.samples);
}

Case Rejected(const char* name, Bytes midi, const char* err) {
    return {name, std::move(midi), kPlainBank, 1, kConverting, err, kNoFiles};
}
Case Accepted(const char* name, Bytes midi, std::int64_t samples) {
    return {name, std::move(midi), kPlainBank, 0, kConverting, "", samples};
}
Case BankRejected(const char* name, std::string bank) {
    return {name, OneNote(), std::move(bank), 255, "", kBankSyntax, kNoFiles};
}
Case BankAccepted(const char* name, std::string bank, std::string err = "") {
    return {name, OneNote(), std::move(bank), 0, kConverting, std::move(err), kQuarterNote};
}

}  // namespace

TEST(MalformedMidi, EachKindOfDamageIsRejectedWithItsLineOrPlaysSafely) {
    const Bytes header = Header(1);
    const Bytes track = Track(NoteOnThenOffAfter({0x30}));
    const Case cases[] = {
        Rejected("empty file", {}, kEndOfFile),
        Rejected("header only, one track announced", Header(1), kEndOfFile),
        Accepted("header only, no track announced", Header(0), 0),
        Rejected("cut inside the header", Bytes(header.begin(), header.begin() + 11), kEndOfFile),
        Rejected("header length 7", {'M', 'T', 'h', 'd', 0, 0, 0, 7, 0, 0, 0, 1, 0, 48},
                 "MIDIC: HeaderChunk Length Illegal, abort...\n"),
        Rejected("cut inside a chunk header", Cat({Header(1), {'M', 'T', 'r'}}), kEndOfFile),
        Rejected("cut inside a chunk", Cat({Header(1), Chunk("MTrk", 8, {0x00, 0x90, 0x3C, 0x64})}), kEndOfFile),
        Rejected("cut inside a variable-length quantity", Cat({Header(1), Track({0x81})}), kEndOfFile),
        Rejected("cut inside a meta event", Cat({Header(1), Track({0x00, 0xFF, 0x03, 0x05, 'a', 'b'})}), kEndOfFile),
        Rejected("cut inside a sysex", Cat({Header(1), Track({0x00, 0xF0, 0x05, 0x7E, 0x00})}), kEndOfFile),
        Rejected("cut inside a channel message", Cat({Header(1), Track({0x00, 0x90, 0x3C})}), kEndOfFile),
        Rejected("chunk length beyond the file", Cat({Header(1), Chunk("MTrk", 1000, NoteOnThenOffAfter({0x30}))}),
                 kEndOfFile),
        Rejected("chunk length 0xFFFFFFFF", Cat({Header(1), Chunk("MTrk", 0xFFFFFFFF, NoteOnThenOffAfter({0x30}))}),
                 kEndOfFile),
        Rejected("fewer tracks than announced", Cat({Header(2), track}), kEndOfFile),
        Rejected("other chunk between tracks", Cat({Header(2), track, Chunk("XFIH", 2, {1, 2}), track}),
                 "MIDIC: TrackChunk Illegal, abort...\n"),
        Rejected("65535 tracks announced", Cat({Header(0xFFFF), track}), kEndOfFile),
        Accepted("five-byte delta time of small value", Cat({Header(1), Track(NoteOnThenOffAfter(PaddedVlq(0x30, 5)))}),
                 kQuarterNote),
        Rejected("five-byte delta time of 2^28 ticks", Cat({Header(1), Track(NoteOnThenOffAfter({0x81, 0x80, 0x80, 0x80, 0x00}))}),
                 kTooLong),
        Rejected("delta time beyond 64 bits", Cat({Header(1), Track(NoteOnThenOffAfter(HugeVlq()))}), kTooLong),
        Rejected("meta length beyond 64 bits", Cat({Header(1), Track(Cat({{0x00, 0xFF, 0x01}, HugeVlq(), {'x'}}))}),
                 kEndOfFile),
        // 9349589 ticks at 48 a quarter and 120 BPM end in frame 5843493, one
        // past the last whose sample count fits 32 bits.
        Rejected("song one frame past the sample limit", Cat({Header(1), Track(NoteOnThenOffAfter(Vlq(9349589)))}),
                 kTooLong),
        Rejected("running status before any status byte", Cat({Header(1), Track({0x00, 0x3C, 0x64})}),
                 "MIDIC: Running status without status byte, abort...\n"),
        Rejected("division 0", Cat({Header(1, 0), track}), "MIDIC: HeaderChunk Division Illegal, abort...\n"),
        Rejected("SMPTE division with no ticks", Cat({Header(1, 0x8000), track}),
                 "MIDIC: HeaderChunk Division Illegal, abort...\n"),
        // Bit 15 set: the low 15 bits (26408) are taken as ticks a quarter note.
        Accepted("SMPTE division", Cat({Header(1, 0xE728), Track(NoteOnThenOffAfter(Vlq(26408)))}), kQuarterNote),
        // A tempo of 0 has no BPM: 120 stays in force.
        Accepted("set-tempo of 0", Cat({Header(1), Track(Cat({{0x00, 0xFF, 0x51, 0x03, 0, 0, 0}, NoteOnThenOffAfter({0x30})}))}),
                 kQuarterNote),
        // 59,999,999 BPM, of which the low 16 bits (34559) count: a quarter note
        // lasts under 2 ms, frame 0.
        Accepted("set-tempo of 1 us", Cat({Header(1), Track(Cat({{0x00, 0xFF, 0x51, 0x03, 0, 0, 1}, NoteOnThenOffAfter({0x30})}))}),
                 0),
        // The tempo (0F 42 40: 60 BPM) is read from the three bytes after the
        // length all the same, and the next event begins after the declared 2
        // bytes: 0x40 is the note-off's delta time, 64 ticks, 1333 ms at 60 BPM.
        Accepted("set-tempo with length 2", Cat({Header(1), Track({0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x51, 0x02, 0x0F, 0x42,
                                                                   0x40, 0x80, 0x3C, 0x00})}),
                 79 * 735),
        Rejected("set-tempo with length 1 at the end of the file", Cat({Header(1), Track({0x00, 0xFF, 0x51, 0x01, 0x07})}),
                 kEndOfFile),
        Accepted("data bytes above 127", Cat({Header(1), Track({0x00, 0x90, 0xBC, 0xFF, 0x30, 0x80, 0xFF, 0x80, 0x00, 0xFF,
                                                                0x2F, 0x00})}),
                 kQuarterNote),
        Accepted("only meta events", Cat({Header(1), Track({0x00, 0xFF, 0x03, 0x01, 'x', 0x60, 0xFF, 0x2F, 0x00})}), 0),
    };
    for (const Case& c : cases) Check(c);
}

TEST(MalformedBank, EachKindOfDamageFailsWithItsCodeOrLoads) {
    const std::string voice = kPlainBank;
    const std::string nul(1, '\0');
    std::string tenThousand;
    for (int i = 0; i < 10000; ++i) tenThousand += "@:" + std::to_string(i % 128) + voice.substr(voice.find(' '));
    std::string garbage;
    std::uint32_t seed = 12345;
    for (int i = 0; i < 4096; ++i) {
        seed = seed * 1103515245u + 12345u;
        garbage += static_cast<char>(0x80 | (seed >> 16 & 0x7F));  // never a NUL, never text
    }
    std::string longValues = "@:0\nLFO:";
    for (int i = 0; i < 50000; ++i) longValues += " 0";
    longValues += "\nCH: 192 0 7 0 0 120 0\nM1: 31 0 0 15 0 0 0 1 0 0 0\n";

    const Case cases[] = {
        BankAccepted("empty bank", ""),
        // A NUL ends what the line read holds, line end included.
        BankAccepted("NUL bytes", nul + "\n@:0 Plain\nLFO: 0 0 0 0 0\n" + nul + " not bank text\nCH: 192 0 7 0 0 120 0\n" +
                                      "M1: 31 0 0 15 0 0 0 1 0 0 0\n" + nul),
        BankAccepted("line of 100,000 characters in a name", "@:0 " + std::string(100000, 'n') + voice.substr(voice.find('\n'))),
        BankAccepted("line of 100,000 characters of values", longValues, ".OPM Load Syntax Error : Lfo\n"),
        BankRejected("integer beyond 32 bits", "@:0\nLFO: 0 0 0 0 0\nCH: 4294967296 0 7 0 0 120 0\nM1: 31 0 0 15 0 0 0 1 0 0 0\n"),
        BankRejected("unterminated block comment", voice + "/* never closed\n"),
        BankAccepted("line comment at the very end without a line end", voice + "// last words"),
        BankAccepted("10,000 voice definitions", tenThousand),
        BankAccepted("2.2 million short lines", voice + std::string(2200000, '\n')),
        BankRejected("binary garbage", garbage),
    };
    for (const Case& c : cases) Check(c);
}

TEST(OutputFiles, ADirectoryInTheWayFailsAndTheEarlierGzipSurvives) {
    TempDir dir;
    dir.Write("bank.opm", std::string(kPlainBank));
    dir.Write("song.mid", OneNote());
    ASSERT_EQ(RunFmroll(dir.path(), {"bank.opm", "song.mid"}).status, 0);
    const Bytes goodVgz = dir.Read("test.vgz");
    ASSERT_FALSE(goodVgz.empty());
    std::filesystem::remove(dir.File("test.vgm"));
    std::filesystem::create_directory(dir.File("test.vgm"));

    const RunResult r = RunFmroll(dir.path(), {"bank.opm", "song.mid"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, kConverting);
    EXPECT_EQ(r.err, kWriteError);
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("test.vgm")));
    EXPECT_EQ(dir.Read("test.vgz"), goodVgz);
    // No temporary file is left behind either.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"bank.opm", "song.mid", "test.vgm", "test.vgz"}));
}

// The files are written under temporary names and renamed over the old ones,
// and a rename needs only the directory to be writable: a read-only
// "test.vgm" is replaced like any other, by root and other users alike.
TEST(OutputFiles, AReadOnlyEarlierVgmIsReplaced) {
    TempDir dir;
    dir.Write("bank.opm", std::string(kPlainBank));
    dir.Write("song.mid", OneNote());
    dir.Write("test.vgm", std::string("stale"));
    ASSERT_EQ(chmod(dir.File("test.vgm").c_str(), 0444), 0);

    const RunResult r = RunFmroll(dir.path(), {"bank.opm", "song.mid"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const VgmFile vgm = ReadVgmFile(dir.File("test.vgm"));
    ASSERT_TRUE(vgm.ok);
    EXPECT_EQ(vgm.Field32(0x18), static_cast<std::uint32_t>(kQuarterNote));
    EXPECT_EQ(vgm.bytes, ReadVgzFile(dir.File("test.vgz")).bytes);
}
