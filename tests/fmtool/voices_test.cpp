// fmtool voices run as a musician runs it: every format taken out of a bank
// and back programs the chip with the same register bytes (less what the
// format cannot hold), a converted song's voices ripped and played again,
// the character of known voices, and hostile files refused with one line
// and nothing written.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fmtool/voices/audition.h"
#include "fmtool/voices/ripped_bank.h"
#include "fmtool/voices/voice_character.h"
#include "instruments/voice_file.h"
#include "tests/support/run_fmroll.h"
#include "tests/support/smf_builder.h"

namespace {

using testsupport::Bytes;
using testsupport::RunFmroll;
using testsupport::RunFmtool;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::TrackBuilder;

const std::string kDemoBank = testsupport::SourcePath("examples/demo.opm");
const std::string kDemoSong = testsupport::SourcePath("examples/demo.mid");

// fmroll's test.vgm for a bank and a song, converted in `dir`.
Bytes Converted(const TempDir& dir, const std::string& bank, const std::string& song) {
    const RunResult r = RunFmroll(dir.path(), {bank, song});
    EXPECT_EQ(r.status, 0) << r.err;
    return dir.Read("test.vgm");
}

struct FormatCase {
    const char* extension;
    bool am, lfoSensitivity;  // holds the AM flags; holds AMS and FMS
    bool detuneOffset;        // stores detune as an offset: the chip's code 4 comes back as 0
};

// The demo bank as a format that cannot hold some fields leaves it: those
// fields at their defaults.
std::string ExpectedBank(const TempDir& dir, const FormatCase& c) {
    VoiceBank bank;
    VoiceFileError error;
    EXPECT_TRUE(ReadVoiceFile(kDemoBank, bank, error)) << error.Message();
    for (BankVoice& v : bank.voices) {
        if (!c.lfoSensitivity) v.voice.ams = v.voice.pms = 0;
        for (FmOperator& o : v.voice.op) {
            if (!c.am) o.ams_en = 0;
            if (c.detuneOffset && o.dt1 == 4) o.dt1 = 0;
        }
    }
    std::vector<std::string> losses;
    dir.Write("expected.opm", EncodeVoiceFile(VoiceFormat::kOpm, bank, {}, losses));
    return dir.File("expected.opm");
}

TEST(Voices, EveryFormatOutAndBackWritesTheSameRegisters) {
    const FormatCase cases[] = {
        {"tfi", false, false, true}, {"vgi", false, true, true},  {"y12", true, false, false},
        {"dmp", true, true, true},   {"opni", true, true, false}, {"wopn", true, true, false},
    };
    TempDir dir;
    const Bytes original = Converted(dir, kDemoBank, kDemoSong);
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.extension);
        std::vector<std::string> import = {"voices", "import"};
        if (std::string(c.extension) == "wopn") {
            const RunResult r = RunFmtool(dir.path(), {"voices", "export", kDemoBank, "-o", "bank.wopn"});
            ASSERT_EQ(r.status, 0) << r.err;
            import.push_back("bank.wopn");
        } else {
            for (int p = 0; p < 8; ++p) {
                const std::string file = "p" + std::to_string(p) + "." + c.extension;
                const RunResult r = RunFmtool(dir.path(), {"voices", "export", kDemoBank, "--program",
                                                           std::to_string(p), "-o", file});
                ASSERT_EQ(r.status, 0) << r.err;
                import.push_back(file);
            }
        }
        import.insert(import.end(), {"-o", "back.opm"});
        const RunResult r = RunFmtool(dir.path(), import);
        ASSERT_EQ(r.status, 0) << r.err;
        const Bytes back = Converted(dir, dir.File("back.opm"), kDemoSong);
        EXPECT_EQ(back, Converted(dir, ExpectedBank(dir, c), kDemoSong));
        if (c.am && c.lfoSensitivity && !c.detuneOffset) {
            EXPECT_EQ(back, original);
        }
        // Imported once more, the bank is the same text.
        ASSERT_EQ(RunFmtool(dir.path(), {"voices", "import", "back.opm", "-o", "again.opm"}).status, 0);
        EXPECT_EQ(Converted(dir, dir.File("again.opm"), kDemoSong), back);
    }
}

TEST(Voices, AVoiceFileThroughAnOpmBankComesBackByteForByte) {
    // A voice with every field the binary formats hold set, SSG-EG among
    // them, which the OPM bank carries in a comment.
    VoiceBank bank;
    VoiceFileError error;
    ASSERT_TRUE(ReadVoiceFile(kDemoBank, bank, error)) << error.Message();
    BankVoice v = bank.voices.at(4);
    v.extras.ssg_eg[2] = 13;
    v.voice.op[1].ams_en = 1;
    for (FmOperator& o : v.voice.op) o.dt1 = o.dt1 == 4 ? 0 : o.dt1;
    VoiceBank one;
    one.voices.push_back(v);
    TempDir dir;
    for (const char* extension : {"tfi", "vgi", "y12", "dmp", "opni"}) {
        SCOPED_TRACE(extension);
        const std::string name = std::string("voice.") + extension;
        std::vector<std::string> losses;
        const Bytes original = EncodeVoiceFile(VoiceFormatOfName(name), one, {}, losses);
        dir.Write(name, original);
        RunResult r = RunFmtool(dir.path(), {"voices", "import", name, "-o", "bank.opm", "--program", "9"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("SSG-EG"), std::string::npos) << r.err;
        r = RunFmtool(dir.path(), {"voices", "export", "bank.opm", "--program", "9", "-o", std::string("again.") + extension});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(dir.Read(std::string("again.") + extension), original);
    }
}

TEST(Voices, ARippedSongPlaysAgainWithTheSameRegisters) {
    // Every demo program at full velocity on its own channel, in program
    // order, so that the ripped programs come back at their numbers.
    TrackBuilder t;
    for (int p = 0; p < 8; ++p) t.Program(0, p % 6, p).NoteOn(0, p % 6, 50 + p, 127).NoteOff(24, p % 6, 50 + p);
    t.EndOfTrack(24);
    TempDir dir;
    dir.Write("tour.mid", testsupport::BuildSmf(0, 48, {t}));
    const Bytes first = Converted(dir, kDemoBank, "tour.mid");
    RunResult r = RunFmtool(dir.path(), {"voices", "rip", "test.vgz", "-o", "ripped.opm"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("8 voices from 8 FM notes"), std::string::npos) << r.err;
    const Bytes ripped = dir.Read("ripped.opm");
    const std::string text(ripped.begin(), ripped.end());
    EXPECT_NE(text.find("// first heard on FM 3 at 0:00.5; 1 note, on FM 3"), std::string::npos) << text;
    EXPECT_NE(text.find("@:7 test 7"), std::string::npos);
    EXPECT_EQ(Converted(dir, dir.File("ripped.opm"), "tour.mid"), first);

    r = RunFmtool(dir.path(), {"voices", "list", "ripped.opm"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 8);
}

TEST(Voices, ARipOfMoreThanABankKeepsTheFirst128) {
    VGM::VoiceRip rip;
    for (int i = 0; i < 130; ++i) {
        VGM::RippedVoice v;
        v.image.op[0].tl = static_cast<std::uint8_t>(i);
        v.first_channel = i % 6;
        v.channels = static_cast<std::uint8_t>(1u << (i % 6));
        v.notes = 1;
        rip.voices.push_back(v);
    }
    std::vector<std::string> warnings;
    const VoiceBank bank = fmtool::BankFromRip(rip, "music/stage1.vgz", warnings);
    ASSERT_EQ(bank.voices.size(), 128u);
    EXPECT_EQ(bank.voices[127].program, 127);
    EXPECT_EQ(bank.voices[127].voice.op[0].tl, 127);
    EXPECT_EQ(bank.voices[5].extras.name, "stage1 5");
    EXPECT_EQ(bank.voices[5].extras.notes.at(0), "first heard on FM 6 at 0:00.0; 1 note, on FM 6");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("130 distinct voices"), std::string::npos) << warnings[0];
}

TEST(Voices, CharacterFollowsTheRegisters) {
    struct Case {
        const char* name;
        int con, fl, modTl, ar, d1r, d1l, d2r, rr, pms;
        const char* want;
    };
    const Case cases[] = {
        {"organ", 7, 0, 0, 31, 0, 0, 0, 8, 0, "pure, fast attack, holds"},
        {"buzz", 7, 6, 0, 31, 0, 0, 0, 8, 0, "buzzy, fast attack, holds"},
        {"piano", 4, 3, 20, 31, 8, 6, 4, 6, 0, "bright, fast attack, decays"},
        {"pad", 2, 0, 45, 12, 2, 3, 0, 2, 3, "mellow, slow attack, settles, long release, vibrato"},
        {"bell", 0, 0, 10, 31, 5, 12, 0, 5, 0, "harsh, fast attack, decays"},
        {"swell", 3, 0, 60, 20, 0, 0, 0, 9, 0, "soft, medium attack, holds"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FmVoice v;
        v.con = c.con;
        v.fl = c.fl;
        v.pms = c.pms;
        for (FmOperator& o : v.op) o = {1, c.modTl, 0, c.ar, c.d1r, c.d2r, c.d1l, c.rr, 0, 0, 0};
        v.op[3].tl = 0;  // a carrier in every algorithm, and the loudest
        EXPECT_EQ(fmtool::VoiceCharacter(v, {}), c.want);
    }
    FmVoice silent;
    EXPECT_EQ(fmtool::VoiceCharacter(silent, {}), "silent");
}

TEST(Voices, HostileInputsGetOneLineAndNothingIsWritten) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    TempDir dir;
    dir.Write("short.tfi", Bytes(41, 0));
    dir.Write("garbage.wopn", std::string("WOPN2-B2NK", 11) + std::string(40, '\x7F'));
    dir.Write("wrong.dmp", Bytes{0x08, 0x02, 0x01});
    dir.Write("noise.vgm", std::string("Vgm ") + std::string(60, '\0'));
    dir.Write("random.opni", Bytes(79, 0xAB));
    dir.Write("keep.opm", std::string("earlier output"));
    const Case cases[] = {
        {"truncated TFI", {"voices", "import", "short.tfi", "-o", "keep.opm"}, 2,
         "short.tfi: is 41 bytes; a TFI voice is 42"},
        {"garbage WOPN", {"voices", "list", "garbage.wopn"}, 2, "garbage.wopn: is a WOPN of version 32639"},
        {"wrong version", {"voices", "export", "wrong.dmp", "-o", "keep.opni"}, 2, "wrong.dmp: is a DMP of version 8"},
        {"garbage OPNI", {"voices", "audition", "random.opni", "-o", "keep.wav"}, 2, "not an OPNI instrument"},
        {"missing", {"voices", "list", "nowhere.tfi"}, 2, "nowhere.tfi: cannot be opened"},
        {"no such program", {"voices", "export", kDemoBank, "--program", "9", "-o", "x.tfi"}, 2,
         "defines no program 9"},
        {"bank of several", {"voices", "export", kDemoBank, "-o", "x.tfi"}, 2, "choose one with --program"},
        {"unknown output", {"voices", "export", kDemoBank, "--program", "1", "-o", "x.bin"}, 2,
         "cannot tell the format of x.bin"},
        {"rip into a voice", {"voices", "rip", "noise.vgm", "-o", "x.tfi"}, 2, "name the bank x.tfi .opm or .wopn"},
        {"rip of no FM", {"voices", "rip", "noise.vgm", "-o", "keep.opm"}, 1, "plays no FM notes; nothing written"},
        {"rip of no VGM", {"voices", "rip", "short.tfi", "-o", "keep.opm"}, 2, "short.tfi: "},
        {"bank of convert", {"convert", "--bank", "short.tfi", "nothing.mid"}, 2, "short.tfi: is 41 bytes"},
        {"output is input", {"voices", "import", "keep.opm", "-o", "keep.opm"}, 2, "would replace an input"},
        {"endless input", {"voices", "import", "/dev/zero", "-o", "keep.opm"}, 2,
         "/dev/zero: is larger than 64 MiB: not a voice file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult r = RunFmtool(dir.path(), c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(dir.Read("keep.opm"), Bytes({'e', 'a', 'r', 'l', 'i', 'e', 'r', ' ', 'o', 'u', 't', 'p', 'u', 't'}));
        EXPECT_FALSE(dir.Exists("keep.opni") || dir.Exists("keep.wav") || dir.Exists("x.tfi") || dir.Exists("x.bin"));
    }
}

TEST(Voices, CommandsTakeABankInAnyFormat) {
    TempDir dir;
    ASSERT_EQ(RunFmtool(dir.path(), {"voices", "export", kDemoBank, "-o", "demo.wopn"}).status, 0);
    // The same song through convert with the bank as OPM text and as WOPN.
    RunResult r = RunFmtool(dir.path(), {"convert", "--no-arrange", "--bank", kDemoBank, kDemoSong, "-o", "a.vgm"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunFmtool(dir.path(), {"convert", "--no-arrange", "--bank", "demo.wopn", kDemoSong, "-o", "b.vgm"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.Read("a.vgm"), dir.Read("b.vgm"));
    r = RunFmtool(dir.path(), {"check", "demo.wopn", kDemoSong});
    EXPECT_NE(r.status, 2) << r.err;
    r = RunFmtool(dir.path(), {"arrange", kDemoSong, "-o", "out.mid", "--bank", "demo.wopn"});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(Voices, TheAuditionIsWrittenAsSound) {
    TempDir dir;
    ASSERT_EQ(RunFmtool(dir.path(), {"voices", "export", kDemoBank, "--program", "6", "-o", "organ.y12"}).status, 0);
    const RunResult r = RunFmtool(dir.path(), {"voices", "audition", "organ.y12"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Bytes wav = dir.Read("organ-0.wav");
    // Two seconds of scale, a second and a half of chord, a second of ring:
    // 4.5 s of 16-bit stereo at 44100 Hz behind a 44-byte header.
    ASSERT_GT(wav.size(), 44u);
    EXPECT_NEAR(static_cast<double>(wav.size() - 44) / (4 * 44100), 4.5, 0.05);
    EXPECT_TRUE(std::any_of(wav.begin() + 44, wav.end(), [](std::uint8_t b) { return b != 0; }));
}

TEST(Voices, TheAuditionPlaysAScaleAndAChordOnTheVoice) {
    FMInst bank;
    ASSERT_EQ(bank.Load(kDemoBank.c_str()), FMInst::kLoadOk);
    const std::vector<std::uint8_t> vgm = fmtool::AuditionVgm(bank, 5);
    ASSERT_GT(vgm.size(), 0x40u);
    // Eleven key-ons: eight scale notes and three chord notes.
    int keyOns = 0;
    for (std::size_t i = 0x40; i + 2 < vgm.size(); ++i) {
        if (vgm[i] == 0x52 && vgm[i + 1] == 0x28 && (vgm[i + 2] & 0xF0) != 0) {
            ++keyOns;
            i += 2;
        }
    }
    EXPECT_EQ(keyOns, 11);
}

}  // namespace
