// The command line as a user meets it: arguments, messages, exit statuses and
// the files left behind.
#include <gtest/gtest.h>

#include "tests/support/run_fmroll.h"
#include "tests/support/smf_builder.h"
#include "tests/support/vgm_reader.h"

using namespace testsupport;

namespace {

Bytes OneNote() {
    TrackBuilder t;
    t.NoteOn(0, 0, 60, 100).NoteOff(48, 0, 60).EndOfTrack();
    return BuildSmf(0, 48, {t});
}

const char* kUsage = "usage: fmroll.exe hoge.opm hoge.mid\n";
const char* kConverting = "Converting SMF...\n";

}  // namespace

TEST(CommandLine, FailuresPrintOneLineAndWriteNothing) {
    Bytes notMidi = OneNote();
    notMidi[0] = 'X';
    const struct {
        const char* name;
        std::vector<std::string> args;
        Bytes midi;
        std::string bank;
        int status;
        std::string out, err;
    } cases[] = {
        {"no arguments", {}, OneNote(), kPlainBank, 1, kUsage, ""},
        {"one argument", {"bank.opm"}, OneNote(), kPlainBank, 1, kUsage, ""},
        {"missing bank", {"nothing.opm", "song.mid"}, OneNote(), kPlainBank, 255, "",
         "OPM file read error (268435456), abort...\n"},
        {"bank that does not parse", {"bank.opm", "song.mid"}, OneNote(), "@: 1\n", 255, "",
         "OPM file read error (536870912), abort...\n"},
        {"missing MIDI file", {"bank.opm", "nothing.mid"}, OneNote(), kPlainBank, 255, "", "File open error, abort...\n"},
        {"not a MIDI file", {"bank.opm", "song.mid"}, notMidi, kPlainBank, 1, kConverting,
         "MIDIC: HeaderChunk Illegal, abort...\n"},
        {"empty MIDI file", {"bank.opm", "song.mid"}, {}, kPlainBank, 1, kConverting,
         "MIDIC: Unexpected end of file, abort...\n"},
        {"a directory as MIDI file", {"bank.opm", "."}, OneNote(), kPlainBank, 255, "", "SMF file read error, abort...\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.Write("bank.opm", c.bank);
        dir.Write("song.mid", c.midi);
        RunResult r = RunFmroll(dir.path(), c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        EXPECT_FALSE(dir.Exists("test.vgm"));
        EXPECT_FALSE(dir.Exists("test.vgz"));
    }
}

TEST(CommandLine, SuccessWritesBothFilesAndIgnoresExtraArguments) {
    TempDir dir;
    dir.Write("bank.opm", std::string(kPlainBank));
    dir.Write("song.mid", OneNote());
    RunResult r = RunFmroll(dir.path(), {"bank.opm", "song.mid", "extra", "more"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kConverting);
    EXPECT_EQ(r.err, "");
    VgmFile vgm = ReadVgmFile(dir.File("test.vgm"));
    VgmFile vgz = ReadVgzFile(dir.File("test.vgz"));
    ASSERT_TRUE(vgm.ok);
    ASSERT_TRUE(vgz.ok);
    EXPECT_EQ(vgm.bytes, vgz.bytes);
    EXPECT_EQ(vgm.Field32(0x18), 30u * 735);  // one quarter note at 120 BPM
}

TEST(CommandLine, AFailedRunKeepsTheEarlierOutput) {
    TempDir dir;
    dir.Write("bank.opm", std::string(kPlainBank));
    dir.Write("song.mid", OneNote());
    ASSERT_EQ(RunFmroll(dir.path(), {"bank.opm", "song.mid"}).status, 0);
    const Bytes before = dir.Read("test.vgm");
    const Bytes beforeGz = dir.Read("test.vgz");
    Bytes broken = OneNote();
    broken.resize(broken.size() - 2);
    dir.Write("broken.mid", broken);
    EXPECT_EQ(RunFmroll(dir.path(), {"bank.opm", "broken.mid"}).status, 1);
    EXPECT_EQ(dir.Read("test.vgm"), before);
    EXPECT_EQ(dir.Read("test.vgz"), beforeGz);
}

TEST(CommandLine, TheRoadOfOneNoteByteForByte) {
    TempDir dir;
    dir.Write("bank.opm", std::string(kPlainBank));
    dir.Write("song.mid", OneNote());
    ASSERT_EQ(RunFmroll(dir.path(), {"bank.opm", "song.mid"}).status, 0);
    VgmFile vgm = ReadVgmFile(dir.File("test.vgm"));
    std::string waits;
    for (int i = 0; i < 30; ++i) waits += "62 ";
    EXPECT_EQ(Hex(vgm.Stream()),
              "52 24 00 52 25 00 52 26 00 52 27 3F 52 22 0A "  // the FM chip's initial writes
              "52 A4 2A 52 A0 83 "                             // note 60: block 5, F-number 643
              "52 40 07 52 44 7F 52 48 7F 52 4C 7F "           // algorithm 7: four carriers at volume 120
              "52 28 F0 " +                                    // key on
                  waits + "52 28 00 66");
    EXPECT_EQ(vgm.Field32(0x04), vgm.bytes.size() - 4);
}
