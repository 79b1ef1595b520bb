// fmtool convert and fmtool arrange run as a musician runs them.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
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

TEST(Convert, FmrollLayoutIsTheArrangedFileAsFmrollConvertsIt) {
    TempDir dir;
    dir.Write("song.mid", Song());
    dir.Write("bank.opm", std::string(testsupport::kPlainBank));
    ASSERT_EQ(RunFmtool(dir.path(), {"arrange", "song.mid", "-o", "arranged.mid", "--bank", "bank.opm"}).status, 0);
    ASSERT_EQ(RunFmroll(dir.path(), {"bank.opm", "arranged.mid"}).status, 0);
    ASSERT_EQ(
        RunFmtool(dir.path(), {"convert", "--fmroll-layout", "--bank", "bank.opm", "song.mid", "-o", "out.vgm"}).status,
        0);
    const Bytes ours = Slurp(dir, "out.vgm"), fmroll = Slurp(dir, "test.vgm");
    EXPECT_EQ(WithoutTag(ours), WithoutTag(fmroll));
    EXPECT_EQ(VGM::Get32(&ours[VGM::kOffEof]), ours.size() - VGM::kOffEof);

    // Rendered straight to the chips by default: another stream, as long.
    ASSERT_EQ(RunFmtool(dir.path(), {"convert", "--bank", "bank.opm", "song.mid", "-o", "direct.vgm"}).status, 0);
    const Bytes direct = Slurp(dir, "direct.vgm");
    EXPECT_NE(WithoutTag(direct), WithoutTag(fmroll));
    EXPECT_EQ(VGM::Get32(&direct[VGM::kOffTotalSamples]), VGM::Get32(&fmroll[VGM::kOffTotalSamples]));
    EXPECT_NE(RunFmtool(dir.path(), {"convert", "--fmroll-layout", "--no-arrange", "song.mid"}).status, 0);

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
    EXPECT_NE(r.err.find("missing.mid: File open error, abort... (no such file)\n"), std::string::npos) << r.err;
    EXPECT_TRUE(testsupport::ReadVgzFile(dir.File("good.vgz")).ok);
    EXPECT_EQ(dir.Read("bad.vgz"), Text("an earlier file"));

    // An output that cannot be written: status 1, the song's line says so.
    const RunResult w = RunFmtool(dir.path(), {"convert", "good.mid", "-o", "no/such/dir/out.vgz"});
    EXPECT_EQ(w.status, 1);
    EXPECT_NE(w.err.find("good.mid: cannot write no/such/dir/out.vgz"), std::string::npos) << w.err;
}

// No run writes over one of its own inputs, whatever names reach it, and
// two songs never write one file: files are compared, not names.
TEST(Convert, OutputsNeverReplaceInputsOrEachOther) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> lines;  // in this order on standard error
        std::vector<std::string> written;
    } cases[] = {
        {{"convert", "song.mid", "-o", "song.mid"}, 1, {"song.mid: not written: the output song.mid is the input song.mid"}, {}},
        {{"convert", "song.mid", "-o", "link.vgz"}, 1, {"the output link.vgz is the input song.mid"}, {}},
        {{"convert", "song.mid", "-o", "bank.opm", "--bank", "bank.opm"}, 1, {"is the input bank.opm"}, {}},
        {{"convert", "song.vgz"}, 1, {"song.vgz: not written: the output song.vgz is the input song.vgz"}, {}},
        {{"convert", "a.mid", "./a.midi", "-j", "2"}, 1,
         {"a.mid -> a.vgz", "./a.midi: not written: ./a.vgz is already the output of a.mid"}, {"a.vgz"}},
        {{"convert", "-j", "3", "a.mid", "./a.mid", "a.midi"}, 1,
         {"a.mid -> a.vgz", "./a.mid: the same file as a.mid, converted once", "a.midi: not written"}, {"a.vgz"}},
        {{"convert", "-j", "2", "a.mid", "./a.mid"}, 0, {"a.mid -> a.vgz", "./a.mid: the same file as a.mid"}, {"a.vgz"}},
        {{"convert", "sub/x.mid", "sub/../sub/x.midi"}, 1, {"sub/x.mid -> sub/x.vgz", "is already the output of sub/x.mid"},
         {"sub/x.vgz"}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.Write("song.mid", Song());
        dir.Write("song.vgz", Song());
        dir.Write("a.mid", Song("A"));
        dir.Write("a.midi", Song("B"));
        dir.Write("bank.opm", std::string(testsupport::kPlainBank));
        ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0777), 0);
        dir.Write("sub/x.mid", Song());
        dir.Write("sub/x.midi", Song());
        ASSERT_EQ(symlink("song.mid", dir.File("link.vgz").c_str()), 0);
        const RunResult r = RunFmtool(dir.path(), c.args);
        EXPECT_EQ(r.status, c.status) << c.args[1] << "\n" << r.err;
        std::size_t at = 0;
        for (const std::string& line : c.lines) {
            const std::size_t found = r.err.find(line, at);
            EXPECT_NE(found, std::string::npos) << line << "\n" << r.err;
            if (found != std::string::npos) at = found + line.size();
        }
        EXPECT_EQ(dir.Read("song.mid"), Song()) << c.args[1];
        EXPECT_EQ(dir.Read("song.vgz"), Song()) << c.args[1];
        EXPECT_EQ(dir.Read("bank.opm"), Text(testsupport::kPlainBank)) << c.args[1];
        for (const std::string& name : c.written) EXPECT_TRUE(testsupport::ReadVgzFile(dir.File(name)).ok) << name;
    }
}

TEST(Convert, FailureLinesSayWhy) {
    TempDir dir;
    dir.Write("song.mid", Song());
    ASSERT_EQ(mkdir(dir.File("song.vgz").c_str(), 0777), 0);
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string line;
    } cases[] = {
        {{"convert", "song.mid"}, 1, "song.mid: cannot write song.vgz: is a folder\n"},
        {{"convert", "song.mid", "-o", "none/x.vgz"}, 1, "song.mid: cannot write none/x.vgz: no such folder\n"},
        {{"convert", "song.mid", "-o", "song.mid/x.vgz"}, 1, "cannot write song.mid/x.vgz: a part of the path is not a folder\n"},
        {{"convert", "missing.mid"}, 2, "missing.mid: File open error, abort... (no such file)\n"},
        {{"convert", "song.mid", "--bank", "none.opm"}, 2,
         "fmtool convert: none.opm: OPM file read error (268435456), abort... (no such file)\n"},
        {{"convert", "song.mid", "-j", "nan"}, 2, "fmtool convert: --jobs: Value nan not in range 1 to 64"},
    };
    for (const Case& c : cases) {
        const RunResult r = RunFmtool(dir.path(), c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.line), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

// A part the song does not have gets no line of "0 of 0".
TEST(Convert, SummariesLeaveOutWhatTheSongDoesNotHave) {
    TrackBuilder tune, drums, rest;
    tune.Program(0, 0, 0).NoteOn(0, 0, 60, 100).NoteOff(48, 0, 60).EndOfTrack(0);
    drums.NoteOn(0, 9, 36, 100).NoteOff(48, 9, 36).EndOfTrack(0);
    rest.EndOfTrack(480);
    struct Case {
        TrackBuilder track;
        std::string arranged;  // fmtool arrange's summary
        std::string converted;  // the end of fmtool convert's line
    } cases[] = {
        {tune, "notes: 1 of 1 kept (100.0 %), 0 moved by octaves, 0 cut short, 0 one frame late\n", ": 1 of 1 notes\n"},
        {drums, "drum hits: 1 of 1 kept (100.0 %), 0 on the noise channel, 1 on tone channels\n", ": 1 of 1 drum hits\n"},
        {rest, "notes: none in the song\n", ": no notes\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.Write("song.mid", testsupport::BuildSmf(0, 480, {c.track}));
        const RunResult a = RunFmtool(dir.path(), {"arrange", "song.mid", "-o", "out.mid"});
        EXPECT_EQ(a.status, 0);
        EXPECT_EQ(a.err, c.arranged);
        const RunResult v = RunFmtool(dir.path(), {"convert", "song.mid"});
        EXPECT_EQ(v.status, 0);
        EXPECT_EQ(v.err, "song.mid -> song.vgz" + c.converted);
    }
}

// Each command's help fits a terminal, names its arguments plainly and
// lists every exit status it can end with, out of memory included.
TEST(Help, EveryCommandListsItsExitStatusesOnShortLines) {
    TempDir dir;
    const RunResult all = RunFmtool(dir.path(), {"--help"});
    std::vector<std::string> texts = {all.out};
    for (const char* command : {"check", "arrange", "convert", "play", "info", "voices"}) {
        const RunResult r = RunFmtool(dir.path(), {"help", command});
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_NE(r.out.find("Exit status:\n  0  "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\n  255  memory ran out"), std::string::npos) << r.out;
        texts.push_back(r.out);
    }
    for (const std::string& text : texts) {
        std::size_t start = 0;
        for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
            EXPECT_LE(nl - start, 100u) << text.substr(start, nl - start);
    }
    EXPECT_NE(texts[1].find("Usage: fmtool check [OPTIONS] [BANK.opm] [SONG.mid]"), std::string::npos) << texts[1];
    EXPECT_EQ(texts[1].find("(1x)"), std::string::npos) << texts[1];

    // A slip of the hand gets one line that says what was not understood.
    const std::pair<std::vector<std::string>, std::string> slips[] = {
        {{"plya", "x.vgz"}, "fmtool: no command named 'plya'; see fmtool --help\n"},
        {{"help", "plya"}, "fmtool: no command named 'plya'; see fmtool --help\n"},
        {{"convert"}, "fmtool convert: SONG.mid is required; see fmtool help convert\n"},
        {{"arrange", "song.mid"}, "fmtool arrange: --output is required; see fmtool help arrange\n"},
    };
    for (const auto& [args, line] : slips) {
        const RunResult r = RunFmtool(dir.path(), args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, line);
    }
}

// Ctrl-C at any moment of a batch on two workers: no temporary is left and
// every output there is whole.
TEST(Convert, AnInterruptedBatchLeavesNoTemporary) {
    for (int round = 0; round < 8; ++round) {
        TempDir dir;
        std::vector<std::string> args = {"convert", "-j", "2"};
        for (int i = 0; i < 16; ++i) {
            const std::string name = "s" + std::to_string(i) + ".mid";
            dir.Write(name, Song());
            args.push_back(name);
        }
        testsupport::Child run(FMTOOL_BINARY, dir.path(), args);
        usleep(static_cast<useconds_t>(5000 + 10000 * round));
        kill(run.pid(), SIGINT);
        const RunResult r = run.Wait();
        EXPECT_TRUE(r.signal == SIGINT || r.status == 0) << r.err;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename().string();
            EXPECT_EQ(name.find(".tmp-"), std::string::npos) << "round " << round << ": " << name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".vgz") == 0) {
                EXPECT_TRUE(testsupport::ReadVgzFile(entry.path().string()).ok) << name;
            }
        }
    }
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

    // The arranged file never replaces the song or the bank.
    dir.Write("bank.opm", std::string(testsupport::kPlainBank));
    ASSERT_EQ(symlink("song.mid", dir.File("link.mid").c_str()), 0);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"arrange", "song.mid", "-o", "song.mid"},
             {"arrange", "song.mid", "-o", "link.mid"},
             {"arrange", "song.mid", "-o", "./bank.opm", "--bank", "bank.opm"}}) {
        const RunResult same = RunFmtool(dir.path(), args);
        EXPECT_EQ(same.status, 1) << args[3];
        EXPECT_NE(same.err.find("fmtool arrange: not written: the output " + args[3] + " is the input"), std::string::npos)
            << same.err;
    }
    EXPECT_EQ(dir.Read("song.mid"), Song());
    EXPECT_EQ(dir.Read("bank.opm"), Text(testsupport::kPlainBank));
}

}  // namespace
