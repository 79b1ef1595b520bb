// fmtool check: each kind of finding on a song made to show it, the counts
// against the notes decoded from the converter's real output, and the
// command as a musician runs it.
#include <gtest/gtest.h>

#include <algorithm>

#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "fmtool/check/loss_report.h"
#include "fmtool/check/playback_model.h"
#include "fmtool/check/report_format.h"
#include "instruments/fminst.h"
#include "sequencer/render_song.h"
#include "smf/smf_score.h"
#include "tests/support/run_fmroll.h"
#include "tests/support/smf_builder.h"
#include "vgm/chip_notes.h"
#include "vgm/vgmout.h"

namespace {

using testsupport::Bytes;
using testsupport::TrackBuilder;
using fmtool::FindingKind;

// Program 0 plays; 1 has every carrier at total level 127; 2 has a connection
// outside 0-7 (the chip sees algorithm 4, the driver scales operator 3 only);
// 3 has carriers at 126, heard only at velocity 127. The rest stay default.
const char* const kBank = R"(
@:0 plain
LFO: 0 0 0 0 0
CH: 192 0 7 0 0 120 0
M1: 31 0 0 15 0 0 0 1 0 0 0
C1: 31 0 0 15 0 0 0 1 0 0 0
M2: 31 0 0 15 0 0 0 1 0 0 0
C2: 31 0 0 15 0 0 0 1 0 0 0
@:1 silent
LFO: 0 0 0 0 0
CH: 192 0 4 0 0 120 0
M1: 31 0 0 15 0 0 0 1 0 0 0
C1: 31 0 0 15 0 127 0 1 0 0 0
M2: 31 0 0 15 0 0 0 1 0 0 0
C2: 31 0 0 15 0 127 0 1 0 0 0
@:2 odd connection
LFO: 0 0 0 0 0
CH: 192 0 12 0 0 120 0
M1: 31 0 0 15 0 0 0 1 0 0 0
C1: 31 0 0 15 0 127 0 1 0 0 0
M2: 31 0 0 15 0 0 0 1 0 0 0
C2: 31 0 0 15 0 126 0 1 0 0 0
@:3 faint
LFO: 0 0 0 0 0
CH: 192 0 7 0 0 120 0
M1: 31 0 0 15 0 126 0 1 0 0 0
C1: 31 0 0 15 0 126 0 1 0 0 0
M2: 31 0 0 15 0 126 0 1 0 0 0
C2: 31 0 0 15 0 126 0 1 0 0 0
)";

FMInst& Bank() {
    static FMInst bank;
    static const bool loaded = bank.LoadText(kBank, std::char_traits<char>::length(kBank)) == FMInst::kLoadOk;
    EXPECT_TRUE(loaded);
    return bank;
}

Bytes Song(const TrackBuilder& track, std::uint16_t division = 48) {
    TrackBuilder t = track;
    t.EndOfTrack();
    return testsupport::BuildSmf(0, division, {t});
}

fmtool::LossReport Check(const Bytes& smf) {
    MIDI::Score score;
    std::unique_ptr<MIDI::DMIDI> song;
    EXPECT_TRUE(MIDI::ReadScore(smf.data(), smf.size(), score, &song));
    return fmtool::BuildLossReport(score, *song, Bank());
}

const fmtool::Finding* Find(const fmtool::LossReport& r, int channel, FindingKind kind, int param = -1) {
    const std::vector<fmtool::Finding>* list = &r.song;
    for (const fmtool::ChannelReport& c : r.channels)
        if (c.channel == channel) list = &c.findings;
    for (const fmtool::Finding& f : *list)
        if (f.kind == kind && f.channel == channel && (param < 0 || f.param == param)) return &f;
    return nullptr;
}

struct FindingCase {
    const char* name;
    TrackBuilder song;
    int channel;
    FindingKind kind;
    std::uint64_t count;  // 0: the finding must be absent
    int param = -1;
};

TEST(Check, EveryKindOfFinding) {
    const TrackBuilder p0 = TrackBuilder().Program(0, 0, 0);
    std::vector<FindingCase> cases = {
        {"notes before any program change", TrackBuilder().NoteOn(0, 0, 60, 100).NoteOff(24, 0, 60).NoteOn(0, 0, 62, 100).NoteOff(24, 0, 62), 0, FindingKind::kNoProgram, 2},
        {"program left at the default", TrackBuilder().Program(0, 1, 9).NoteOn(0, 1, 60, 100).NoteOff(24, 1, 60), 1, FindingKind::kDefaultProgram, 1, 9},
        {"voice with silent carriers", TrackBuilder().Program(0, 2, 1).NoteOn(0, 2, 60, 100).NoteOff(24, 2, 60), 2, FindingKind::kSilentVoice, 1, 1},
        {"carriers at 126 below velocity 127", TrackBuilder().Program(0, 3, 3).NoteOn(0, 3, 60, 126).NoteOff(24, 3, 60).NoteOn(0, 3, 60, 127).NoteOff(24, 3, 60), 3, FindingKind::kSilentVoice, 1, 3},
        {"channels 11-16", TrackBuilder().NoteOn(0, 11, 60, 100).NoteOff(24, 11, 60), 11, FindingKind::kChannelNotPlayed, 1},
        {"chord on one channel", TrackBuilder(p0).NoteOn(0, 0, 60, 100).NoteOn(0, 0, 64, 100).NoteOn(0, 0, 67, 100).NoteOff(24, 0, 60), 0, FindingKind::kNeverHeard, 2},
        {"overlap cuts a long note", TrackBuilder(p0).NoteOn(0, 0, 60, 100).NoteOn(12, 0, 64, 100).NoteOff(12, 0, 64).NoteOff(60, 0, 60), 0, FindingKind::kCutShort, 1},
        {"another key's note-off releases", TrackBuilder(p0).NoteOn(0, 0, 60, 100).NoteOff(6, 0, 61).NoteOff(90, 0, 60), 0, FindingKind::kCutShort, 1},
        {"expression 0 silences a square", TrackBuilder().Control(0, 6, 11, 0).NoteOn(0, 6, 60, 100).NoteOff(24, 6, 60), 6, FindingKind::kSilentExpression, 1},
        {"expression swell makes it heard", TrackBuilder().Control(0, 6, 11, 0).NoteOn(0, 6, 60, 100).Control(6, 6, 11, 100).NoteOff(24, 6, 60), 6, FindingKind::kSilentExpression, 0},
        {"square above 107", TrackBuilder().NoteOn(0, 7, 110, 127).NoteOff(24, 7, 110), 7, FindingKind::kPeriodZero, 1},
        {"square bent past its range to period 0", TrackBuilder().Raw(0, {0xE7, 0x7F, 0xFF}).NoteOn(0, 7, 107, 127).NoteOff(24, 7, 107).Bend(0, 7, 0).NoteOn(0, 7, 107, 127).NoteOff(24, 7, 107), 7, FindingKind::kPeriodZero, 1},
        {"square below 33", TrackBuilder().NoteOn(0, 8, 20, 127).NoteOff(24, 8, 20), 8, FindingKind::kSquareTooLow, 1},
        {"FM above 95", TrackBuilder(p0).NoteOn(0, 0, 100, 100).NoteOff(24, 0, 100), 0, FindingKind::kFmTooHigh, 1},
        {"velocity on the noise", TrackBuilder().NoteOn(0, 9, 36, 90).NoteOff(24, 9, 36).NoteOn(0, 9, 36, 127).NoteOff(24, 9, 36), 9, FindingKind::kVelocityIgnored, 1},
        {"volume", TrackBuilder(p0).Control(0, 0, 7, 100).Control(0, 0, 7, 80), 0, FindingKind::kIgnoredController, 2, 7},
        {"sustain pedal down only", TrackBuilder(p0).Control(0, 0, 64, 127).Control(0, 0, 64, 0), 0, FindingKind::kIgnoredController, 1, 64},
        {"expression on FM", TrackBuilder(p0).Control(0, 0, 11, 90), 0, FindingKind::kIgnoredController, 1, 11},
        {"pan on a square", TrackBuilder().Control(0, 6, 10, 0), 6, FindingKind::kIgnoredController, 1, 10},
        {"pans between the extremes", TrackBuilder(p0).Control(0, 0, 10, 32).Control(0, 0, 10, 0).Control(0, 0, 10, 64).Control(0, 0, 10, 100), 0, FindingKind::kPanBetween, 2},
        {"bend without a range", TrackBuilder(p0).Bend(0, 0, 4096).Bend(0, 0, 0), 0, FindingKind::kBendNoRange, 1},
        {"bend after a range", TrackBuilder(p0).Control(0, 0, 101, 0).Control(0, 0, 100, 0).Control(0, 0, 6, 2).Bend(0, 0, 4096), 0, FindingKind::kBendNoRange, 0},
        {"range above 32", TrackBuilder(p0).Control(0, 0, 6, 40), 0, FindingKind::kBendRangeOff, 1},
        // The sequencer's own limit, on both sides (see MIDI::BendRangeOfDataEntry).
        {"range of 32 bends", TrackBuilder(p0).Control(0, 0, 6, 32), 0, FindingKind::kBendRangeOff, 0},
        {"range of 33 does not", TrackBuilder(p0).Control(0, 0, 6, 33), 0, FindingKind::kBendRangeOff, 1},
        {"data entry of a non-registered parameter", TrackBuilder(p0).Control(0, 0, 99, 1).Control(0, 0, 98, 8).Control(0, 0, 6, 5), 0, FindingKind::kDataEntryMisread, 1},
        {"square bend with range 2", TrackBuilder().Control(0, 7, 6, 2).Bend(0, 7, 2000), 7, FindingKind::kSquareBendOctave, 1},
        {"bend on the noise", TrackBuilder().Bend(0, 9, 100), 9, FindingKind::kIgnoredController, 1, 130},
        {"tempo not in whole BPM", TrackBuilder(p0).Tempo(0, 600000).NoteOn(0, 0, 60, 100).NoteOff(480, 0, 60), -1, FindingKind::kTempoRounded, 1},
        {"rest after the last event", TrackBuilder(p0).NoteOn(0, 0, 60, 100).NoteOff(48, 0, 60).Meta(96, 0x01, {'x'}), -1, FindingKind::kRestCut, 1},
        {"odd connection heard at full velocity only", TrackBuilder().Program(0, 4, 2).NoteOn(0, 4, 60, 100).NoteOff(24, 4, 60).NoteOn(0, 4, 60, 127).NoteOff(24, 4, 60), 4, FindingKind::kSilentVoice, 1, 2},
        {"note-on at the song's last event", TrackBuilder(p0).NoteOn(0, 0, 60, 100).NoteOff(24, 0, 60).NoteOn(0, 0, 62, 100), 0, FindingKind::kNeverHeard, 1},
        {"program change cuts a note", TrackBuilder(p0).NoteOn(0, 0, 60, 100).Program(12, 0, 0).NoteOff(84, 0, 60), 0, FindingKind::kCutShort, 1},
        {"octave", TrackBuilder(p0).NoteOn(0, 0, 60, 100).NoteOff(24, 0, 60), -1, FindingKind::kOctaveUp, 1},
    };
    for (const FindingCase& c : cases) {
        SCOPED_TRACE(c.name);
        const fmtool::LossReport r = Check(Song(c.song));
        const fmtool::Finding* f = Find(r, c.channel, c.kind, c.param);
        if (c.count == 0) {
            EXPECT_EQ(f, nullptr);
            continue;
        }
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->count, c.count);
    }
}

TEST(Check, TempoAndRestMeasures) {
    // 600000 us a quarter is 100 BPM, read as 99: 1 % slower, ending 1/20 s late after 10 quarters.
    const fmtool::LossReport r = Check(Song(TrackBuilder().Tempo(0, 600000).NoteOn(0, 0, 60, 100).NoteOff(480, 0, 60).Meta(48, 0x01, {'x'})));
    const fmtool::Finding* tempo = Find(r, -1, FindingKind::kTempoRounded);
    ASSERT_NE(tempo, nullptr);
    EXPECT_NEAR(tempo->percent, 0.9, 0.1);  // the frame truncation counts too
    EXPECT_NEAR(tempo->seconds, 0.05, 0.01);
    const fmtool::Finding* rest = Find(r, -1, FindingKind::kRestCut);
    ASSERT_NE(rest, nullptr);
    EXPECT_NEAR(rest->seconds, 0.6, 0.01);
    EXPECT_EQ(rest->first_bar.bar, 3u);
    EXPECT_EQ(rest->first_bar.beat, 3u);
}

TEST(Check, WorstChannelFirstInBothForms) {
    const Bytes smf = Song(TrackBuilder()
                               .NoteOn(0, 0, 60, 100).NoteOff(24, 0, 60)
                               .NoteOn(0, 11, 60, 100).NoteOn(0, 11, 64, 100).NoteOff(24, 11, 60).NoteOff(0, 11, 64)
                               .Control(0, 0, 7, 90).Control(0, 0, 1, 20).Control(0, 0, 1, 30));
    const fmtool::LossReport r = Check(smf);
    std::ostringstream text, json;
    fmtool::WriteReportText(text, r);
    fmtool::WriteReportJson(json, r);
    EXPECT_EQ(text.str(),
              "MIDI channel 12 (not played): 0 of 2 notes heard\n"
              "  2 notes not played: channels 11-16 have no chip channel (first at 0:00.3, bar 1 beat 1)\n"
              "MIDI channel 1 (FM 1): 0 of 1 notes heard\n"
              "  1 note before any program change: no FM voice is loaded, so they are silent (first at 0:00.0, bar 1 beat 1)\n"
              "  2 events of controller 1 (modulation) with no effect (first at 0:00.5, bar 1 beat 2)\n"
              "  1 event of controller 7 (volume) with no effect (first at 0:00.5, bar 1 beat 2)\n"
              "0 of 3 notes will be heard (0.0 %)\n");
    EXPECT_LT(json.str().find("\"channel\": 12"), json.str().find("\"channel\": 1,"));
    EXPECT_NE(json.str().find("\"kind\": \"ignored_controller\", \"severity\": \"changed\", \"count\": 2, "
                              "\"controller\": 1, \"first\": {\"seconds\": 0.500, \"time\": \"0:00.5\", \"bar\": 1, \"beat\": 2}"),
              std::string::npos)
        << json.str();
}

TEST(Check, ExpressionDipSoundsTwiceForOneNote) {
    const Bytes smf = Song(TrackBuilder().NoteOn(0, 6, 60, 100).Control(12, 6, 11, 0).Control(12, 6, 11, 100)
                               .NoteOff(12, 6, 60));
    std::unique_ptr<MIDI::DMIDI> song = MIDI::ReadSong(smf.data(), smf.size());
    const fmtool::PlaybackModel model = fmtool::ModelPlayback(*song, Bank());
    ASSERT_EQ(model.notes.size(), 1u);
    EXPECT_TRUE(model.notes[0].heard());
    EXPECT_EQ(model.chip_sounds[6], 2u);
}

// The model's stretches of sound against the audible chip notes of a frame
// or more decoded from the converter's own output, chip channel by channel.
void ExpectAgreement(const Bytes& smf, FMInst& bank) {
    std::unique_ptr<MIDI::DMIDI> song = MIDI::ReadSong(smf.data(), smf.size());
    ASSERT_TRUE(song);
    const fmtool::PlaybackModel model = fmtool::ModelPlayback(*song, bank);
    VGMOUT vgm;
    MIDI::RenderSong(song.get(), &bank, &vgm);
    const VGM::ChipNotes decoded = VGM::ReadChipNotes(vgm.Stream().data(), vgm.Stream().size());
    EXPECT_EQ(decoded.end, VGM::StreamEnd::EndCommand);
    std::uint32_t sounds[VGM::kChipChannels] = {};
    for (const VGM::ChipNote& n : decoded.notes) sounds[n.channel] += n.audible && n.Samples() >= 735;
    std::uint64_t heard = 0, total = 0;
    for (const fmtool::ModelNote& n : model.notes) heard += n.heard();
    for (unsigned ch = 0; ch < VGM::kChipChannels; ++ch) {
        EXPECT_EQ(model.chip_sounds[ch], sounds[ch]) << "chip channel " << ch;
        total += sounds[ch];
    }
    EXPECT_LE(heard, total);
}

// A random song that leans on every rule that decides whether a note is
// heard: chords and overlaps, note-offs of other keys, velocity-0 offs,
// programs defined or not, expression dips, notes past each chip's range,
// bends and tempo changes, on all 16 channels.
Bytes RandomSong(unsigned seed) {
    std::mt19937 rng(seed);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % n); };
    std::vector<TrackBuilder> tracks(2);
    tracks[0].Tempo(0, 400000 + pick(300000));
    for (TrackBuilder& t : tracks) {
        for (int i = 0; i < 150; ++i) {
            const std::uint64_t delta = pick(3) == 0 ? 0 : pick(40);
            const int ch = pick(4) == 0 ? pick(16) : pick(10);
            const int key = pick(8) == 0 ? 100 + pick(28) : 20 + pick(70);
            switch (pick(12)) {
                case 0: t.Program(delta, ch, pick(6)); break;
                case 1: t.Control(delta, ch, 11, pick(3) == 0 ? pick(8) : pick(128)); break;
                case 2: t.Bend(delta, ch, pick(16384) - 8192); break;
                case 3: t.NoteOn(delta, ch, key, 0); break;
                case 4: case 5: t.NoteOff(delta, ch, key); break;
                case 6: t.Control(delta, ch, 10, pick(128)); break;
                case 7: if (ch == 0) t.Tempo(delta, 300000 + pick(500000)); break;
                default: t.NoteOn(delta, ch, key, 1 + pick(127)); break;
            }
        }
    }
    return testsupport::BuildSmf(1, 96, tracks);
}

TEST(Check, CountsAgreeWithTheDecodedOutput) {
    for (unsigned seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE(seed);
        const Bytes smf = RandomSong(seed);
        ExpectAgreement(smf, Bank());
        // Every finding finds its place in the score, though the reader's
        // coarser clock merges ticks of both tracks.
        const fmtool::LossReport r = Check(smf);
        for (const fmtool::ChannelReport& c : r.channels)
            for (const fmtool::Finding& f : c.findings) EXPECT_TRUE(f.bar_known);
    }
}

TEST(Check, CountsAgreeOnTheDemoSong) {
    std::ifstream in(testsupport::SourcePath("examples/demo.mid"), std::ios::binary);
    const Bytes smf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    FMInst demo;
    ASSERT_EQ(demo.Load(testsupport::SourcePath("examples/demo.opm").c_str()), FMInst::kLoadOk);
    ExpectAgreement(smf, demo);
}

TEST(Check, CommandLine) {
    testsupport::TempDir dir;
    dir.Write("bank.opm", std::string(kBank));
    dir.Write("clean.mid", Song(TrackBuilder().Program(0, 0, 0).NoteOn(0, 0, 60, 100).NoteOff(24, 0, 60)));
    dir.Write("lossy.mid", Song(TrackBuilder().NoteOn(0, 0, 60, 100).NoteOff(24, 0, 60)));
    dir.Write("text.mid", std::string("not a song"));

    testsupport::RunResult r = testsupport::RunFmtool(dir.path(), {"check", "bank.opm", "clean.mid"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\n1 of 1 notes will be heard (100.0 %)\n"), std::string::npos) << r.out;

    r = testsupport::RunFmtool(dir.path(), {"check", "bank.opm", "lossy.mid"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("0 of 1 notes will be heard (0.0 %)"), std::string::npos) << r.out;

    r = testsupport::RunFmtool(dir.path(), {"check", "--json", "bank.opm", "lossy.mid"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("{\"notes\": 1, \"heard\": 0,", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\"kind\": \"no_program\""), std::string::npos);

    // Each report says which conversion it judges. fmroll loses a note before
    // any program change; fmtool convert, which arranges the song first, keeps it.
    EXPECT_EQ(r.out.find("{\"as\""), std::string::npos);
    r = testsupport::RunFmtool(dir.path(), {"check", "bank.opm", "lossy.mid"});
    EXPECT_EQ(r.out.rfind("What fmroll plays of the file as it stands", 0), 0u) << r.out;
    r = testsupport::RunFmtool(dir.path(), {"check", "bank.opm", "lossy.mid", "--as", "convert"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "What fmtool convert keeps (the song arranged for the chips first):\n"
                     "notes: 1 of 1 kept (100.0 %), 0 moved by octaves, 0 cut short, 0 one frame late\n");
    r = testsupport::RunFmtool(dir.path(), {"check", "--as", "convert", "--json", "lossy.mid"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("{\"as\": \"convert\", \"notes\": 1, \"kept\": 1,", 0), 0u) << r.out;

    // Without a bank, the built-in one.
    r = testsupport::RunFmtool(dir.path(), {"check", "clean.mid"});
    EXPECT_EQ(r.status, 0) << r.out;

    // Unreadable inputs: fmroll's own messages after the file's name, with
    // the reason where the system gives one; nothing on standard output.
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{"check", "missing.opm", "clean.mid"},
         "fmtool check: missing.opm: OPM file read error (268435456), abort... (no such file)\n"},
        {{"check", "bank.opm", "missing.mid"}, "fmtool check: missing.mid: File open error, abort... (no such file)\n"},
        {{"check", "bank.opm", "text.mid"}, "fmtool check: text.mid: MIDIC: HeaderChunk Illegal, abort...\n"},
        {{"check", "bank.opm", "."}, "fmtool check: .: SMF file read error, abort... (is a folder)\n"},
        {{"check", "bank.opm", "clean.mid", "--as", "arrange"}, "fmtool check: --as: arrange not in {fmroll,convert}; see fmtool help check\n"},
        {{"check"}, "fmtool check: SONG.mid is required; see fmtool help check\n"},
    };
    for (const auto& [args, message] : bad) {
        r = testsupport::RunFmtool(dir.path(), args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.substr(0, message.size()), message);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.out, "");
    }
    // The lines a bank skips come first, in file order, then its verdict.
    dir.Write("skips.opm", std::string("@:0\nLFO: 1 2\nCH: 0 0 0 0 0 0 0\nM1: 1 2 3\n?"));
    r = testsupport::RunFmtool(dir.path(), {"check", "skips.opm", "clean.mid"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, ".OPM Load Syntax Error : Lfo\n.OPM Load Syntax Error : Operator\n"
                     "fmtool check: skips.opm: OPM file read error (536870912), abort...\n");
    // A bank that loads with lines skipped: the lines, then the report.
    dir.Write("skips-ok.opm", std::string("@:0\nLFO: 1 2\nCH: 0 0 0 0 0 0 0\nM1: 1 2 3\n"));
    r = testsupport::RunFmtool(dir.path(), {"check", "skips-ok.opm", "clean.mid"});
    EXPECT_NE(r.status, 2);
    EXPECT_EQ(r.err, ".OPM Load Syntax Error : Lfo\n.OPM Load Syntax Error : Operator\n");
    EXPECT_NE(r.out.find("notes will be heard"), std::string::npos) << r.out;
    EXPECT_FALSE(dir.Exists("test.vgm"));
    EXPECT_FALSE(dir.Exists("test.vgz"));
}

}  // namespace
