// fmtool convert and fmtool arrange run as a musician runs them.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/support/run_fmroll.h"
#include "tests/support/smf_builder.h"
#include "tests/support/vgm_reader.h"
#include "vgm/gd3.h"
#include "vgm/vgm_format.h"

namespace {

using testsupport::Bytes;
using testsupport::RunFmroll;
using testsupport::RunFmtool;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::TrackBuilder;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A short General MIDI song: a named track, a copyright, a text, a chord on
// the piano, a lead, a bass and drums, at a tempo the converter would round.
Bytes Song(const std::string& name = "Little Tune") {
    TrackBuilder t;
    if (!name.empty()) t.Meta(0, 0x03, Text(name));
    t.Meta(0, 0x02, Text("(c) 2024 A. Composer")).Meta(0, 0x01, Text("for the test")).Tempo(0, 600000);
    t.Program(0, 1, 80).Program(0, 2, 33);
    for (int bar = 0; bar < 4; ++bar) {
        t.NoteOn(0, 0, 60, 90).NoteOn(0, 0, 64, 90).NoteOn(0, 0, 67, 90).NoteOn(0, 1, 72 + bar, 100);
        t.NoteOn(0, 2, 36, 100).NoteOn(0, 9, 36, 100).NoteOn(0, 9, 42, 80);
        t.NoteOff(240, 9, 36).NoteOff(0, 9, 42).NoteOn(0, 9, 38, 100).NoteOff(200, 9, 38);
        t.NoteOff(40, 0, 60).NoteOff(0, 0, 64).NoteOff(0, 0, 67).NoteOff(0, 1, 72 + bar).NoteOff(0, 2, 36);
    }
    t.EndOfTrack(480);
    return testsupport::BuildSmf(0, 480, {t});
}

Bytes Slurp(const TempDir& dir, const std::string& name) { return dir.Read(name); }

VGM::Gd3Reading TagOf(const Bytes& vgm) {
    const std::uint32_t at = VGM::Get32(&vgm[VGM::kOffGd3]);
    if (at == 0) return {};
    return VGM::ParseGd3(vgm.data() + VGM::kOffGd3 + at, vgm.size() - VGM::kOffGd3 - at);
}

// The VGM image without its tag, the header's tag and end offsets cleared.
Bytes WithoutTag(Bytes vgm) {
    const std::uint32_t at = VGM::Get32(&vgm[VGM::kOffGd3]);
    if (at != 0) vgm.resize(VGM::kOffGd3 + at);
    VGM::Put32(&vgm[VGM::kOffGd3], 0);
    VGM::Put32(&vgm[VGM::kOffEof], 0);
    return vgm;
}

TEST(Convert, SameBytesAsFmrollForTheArrangedFileWithATag) {
    TempDir dir;
    dir.Write("song.mid", Song());
    dir.Write("bank.opm", std::string(testsupport::kPlainBank));
    ASSERT_EQ(RunFmtool(dir.path(), {"arrange", "song.mid", "-o", "arranged.mid", "--bank", "bank.opm"}).status, 0);
    ASSERT_EQ(RunFmroll(dir.path(), {"bank.opm", "arranged.mid"}).status, 0);
    ASSERT_EQ(RunFmtool(dir.path(), {"convert", "--bank", "bank.opm", "song.mid", "-o", "out.vgm"}).status, 0);
    const Bytes ours = Slurp(dir, "out.vgm"), fmroll = Slurp(dir, "test.vgm");
    EXPECT_EQ(WithoutTag(ours), WithoutTag(fmroll));
    EXPECT_EQ(VGM::Get32(&ours[VGM::kOffEof]), ours.size() - VGM::kOffEof);

    // Without arranging: fmroll's own conversion of the song.
    ASSERT_EQ(RunFmroll(dir.path(), {"bank.opm", "song.mid"}).status, 0);
    ASSERT_EQ(RunFmtool(dir.path(), {"convert", "--no-arrange", "--bank", "bank.opm", "song.mid", "-o", "raw.vgm"}).status,
              0);
    EXPECT_EQ(WithoutTag(Slurp(dir, "raw.vgm")), WithoutTag(Slurp(dir, "test.vgm")));
}

TEST(Convert, TagCarriesTitleAuthorNotesSystemAndConverter) {
    struct Case {
        std::string track_name;
        std::string title;
    };
    for (const Case& c : {Case{"Little Tune", "Little Tune"}, Case{"", "nameless"}}) {
        TempDir dir;
        dir.Write("nameless.mid", Song(c.track_name));
        ASSERT_EQ(RunFmtool(dir.path(), {"convert", "nameless.mid"}).status, 0);
        const testsupport::VgmFile vgz = testsupport::ReadVgzFile(dir.File("nameless.vgz"));
        ASSERT_TRUE(vgz.ok);
        EXPECT_EQ(vgz.Field32(VGM::kOffVersion), VGM::kVersion150);
        const VGM::Gd3Reading tag = TagOf(vgz.bytes);
        ASSERT_TRUE(tag.found);
        EXPECT_TRUE(tag.problems.empty());
        EXPECT_EQ(tag.version, VGM::kGd3Version);
        EXPECT_EQ(tag.tag[VGM::kGd3TrackName], c.title);
        EXPECT_EQ(tag.tag[VGM::kGd3Author], "(c) 2024 A. Composer");
        EXPECT_EQ(tag.tag[VGM::kGd3Notes], "for the test");
        EXPECT_EQ(tag.tag[VGM::kGd3SystemName], "Sega Mega Drive / Genesis");
        EXPECT_EQ(tag.tag[VGM::kGd3ConvertedBy].rfind("fmroll ", 0), 0u);
    }
}

TEST(Convert, OutputsAreNamedAfterTheSongs) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.File("music").c_str(), 0755), 0);
    dir.Write("music/a.mid", Song());
    dir.Write("music/b.song.midi", Song());
    dir.Write("music/plain", Song());
    const RunResult r = RunFmtool(dir.path(), {"convert", "-j", "2", "music/a.mid", "music/b.song.midi", "music/plain"});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* name : {"music/a.vgz", "music/b.song.vgz", "music/plain.vgz"}) {
        EXPECT_TRUE(testsupport::ReadVgzFile(dir.File(name)).ok) << name;
    }
    EXPECT_FALSE(dir.Exists("test.vgm"));
    EXPECT_FALSE(dir.Exists("test.vgz"));
    EXPECT_NE(r.err.find("music/a.mid -> music/a.vgz"), std::string::npos) << r.err;

    // -o names one song's output; .vgm is uncompressed.
    ASSERT_EQ(RunFmtool(dir.path(), {"convert", "music/a.mid", "-o", "one.VGM"}).status, 0);
    EXPECT_TRUE(testsupport::ReadVgmFile(dir.File("one.VGM")).ok);
    EXPECT_EQ(RunFmtool(dir.path(), {"convert", "music/a.mid", "music/plain", "-o", "x.vgz"}).status, 2);
    EXPECT_FALSE(dir.Exists("x.vgz"));
}

TEST(Convert, AFailingSongIsReportedAndTheOthersGoOn) {
    TempDir dir;
    dir.Write("good.mid", Song());
    dir.Write("bad.mid", std::string("RIFF, not a MIDI file"));
    dir.Write("bad.vgz", std::string("an earlier file"));
    const RunResult r = RunFmtool(dir.path(), {"convert", "-j", "3", "bad.mid", "good.mid", "missing.mid"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("bad.mid: MIDIC: HeaderChunk Illegal, abort...\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("missing.mid: File open error, abort...\n"), std::string::npos) << r.err;
    EXPECT_TRUE(testsupport::ReadVgzFile(dir.File("good.vgz")).ok);
    EXPECT_EQ(dir.Read("bad.vgz"), Text("an earlier file"));

    // An output that cannot be written: status 1, the song's line says so.
    const RunResult w = RunFmtool(dir.path(), {"convert", "good.mid", "-o", "no/such/dir/out.vgz"});
    EXPECT_EQ(w.status, 1);
    EXPECT_NE(w.err.find("good.mid: cannot write no/such/dir/out.vgz"), std::string::npos) << w.err;
}

TEST(Convert, MemoryRunningOutFailsThatSongAloneOnAnyWorker) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
#endif
    // A million program changes: 2 MB of MIDI, a VGM stream of 81 MB.
    Bytes track = {0x00, 0xC0, 0x00};
    for (int i = 1; i < 1000000; ++i) track.insert(track.end(), {0x00, 0x00});
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    TempDir dir;
    dir.Write("many.mid", testsupport::BuildSmfRaw(0, 1, 48, {track}));
    dir.Write("good.mid", Song());
    testsupport::RunOptions options;
    options.limits = {{RLIMIT_AS, std::uint64_t{128} << 20}};
    const RunResult r = testsupport::RunProgram(
        FMTOOL_BINARY, dir.path(), {"convert", "--no-arrange", "-j", "2", "many.mid", "good.mid"}, options);
    EXPECT_EQ(r.status, 255);
    EXPECT_NE(r.err.find("many.mid: Out of memory, abort...\n"), std::string::npos) << r.err;
    EXPECT_TRUE(testsupport::ReadVgzFile(dir.File("good.vgz")).ok);
    EXPECT_FALSE(dir.Exists("many.vgz"));
}

TEST(Arrange, CommandLineWritesTheFileAndASummary) {
    TempDir dir;
    dir.Write("song.mid", Song());
    const RunResult r = RunFmtool(dir.path(), {"arrange", "song.mid", "-o", "out.mid"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("notes: 20 of 20 kept (100.0 %)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("drum hits: 12 of 12 kept"), std::string::npos) << r.err;
    ASSERT_EQ(RunFmroll(dir.path(), {testsupport::SourcePath("examples/demo.opm"), "out.mid"}).status, 0);

    // Files fmroll refuses are refused with its message, without the progress line.
    dir.Write("bad.mid", std::string("MThd\0\0\0\7", 8));
    const RunResult bad = RunFmtool(dir.path(), {"arrange", "bad.mid", "-o", "x.mid"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "fmtool arrange: bad.mid: MIDIC: HeaderChunk Length Illegal, abort...\n");
    EXPECT_FALSE(dir.Exists("x.mid"));
}

}  // namespace
