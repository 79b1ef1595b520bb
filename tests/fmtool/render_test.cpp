// fmtool convert's renderer: the arranger's plan played straight on the
// chips, read back from the command stream it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "chips/sn76489_map.h"
#include "chips/ym2612_map.h"
#include "fmtool/arrange/arranger.h"
#include "fmtool/render/dac_track.h"
#include "fmtool/render/part_envelope.h"
#include "fmtool/render/song_render.h"
#include "instruments/fminst.h"
#include "smf/smf_score.h"
#include "tests/support/run_fmroll.h"
#include "tests/support/smf_builder.h"
#include "vgm/chip_notes.h"
#include "vgm/vgm_format.h"
#include "vgm/vgmout.h"

namespace {

using testsupport::Bytes;
using testsupport::TrackBuilder;
constexpr std::uint32_t kFrame = VGM::kSamplesPerFrame;
constexpr int kDivision = 480;  // at 500000 us a quarter: 480 ticks = 30 frames

// What a stream makes the chips do, command by command, with the DAC's
// reads of the PCM bank checked against the bank.
struct Replay {
    struct Write {
        std::uint64_t sample;
        unsigned port;
        std::uint8_t reg, data;
    };
    bool block_first = false;            // a PCM data block is the first command
    std::size_t bank = 0;                // its size
    std::vector<std::pair<std::uint64_t, std::uint32_t>> seeks;  // sample, offset
    std::uint64_t dac_bytes = 0;
    bool outside_bank = false;           // a DAC byte read beyond the bank
    std::vector<Write> fm;
    std::vector<std::pair<std::uint64_t, std::uint8_t>> psg;
    std::uint64_t samples = 0;
    bool ended = false;

    std::vector<Write> Fm(unsigned port, std::uint8_t reg) const {
        std::vector<Write> out;
        for (const Write& w : fm)
            if (w.port == port && w.reg == reg) out.push_back(w);
        return out;
    }
    // Attenuations written to one SN76489 generator, with their samples.
    std::vector<std::pair<std::uint64_t, unsigned>> Attenuations(unsigned generator) const {
        std::vector<std::pair<std::uint64_t, unsigned>> out;
        for (const auto& [at, b] : psg) {
            if (SN76489::IsLatch(b) && SN76489::IsAttenuation(SN76489::RegisterOf(b)) &&
                SN76489::GeneratorOf(SN76489::RegisterOf(b)) == generator)
                out.emplace_back(at, b & 0x0F);
        }
        return out;
    }
};

Replay Play(const std::vector<std::uint8_t>& s) {
    Replay r;
    std::uint64_t pcm = 0;
    for (std::size_t at = 0; at < s.size();) {
        const std::uint8_t* p = s.data() + at;
        const std::size_t n = VGM::CommandLength(p, s.size() - at);
        if (n == 0) {
            ADD_FAILURE() << "unknown or cut command at " << at;
            break;
        }
        const std::uint8_t c = p[0];
        if (c == VGM::kCmdDataBlock) {
            r.block_first = at == 0 && p[2] == VGM::kDataTypeYm2612Pcm;
            r.bank = VGM::Get32(p + 3);
        } else if (c == VGM::kCmdPcmSeek) {
            pcm = VGM::Get32(p + 1);
            r.seeks.emplace_back(r.samples, static_cast<std::uint32_t>(pcm));
        } else if (c >= VGM::kCmdDacWait && c <= VGM::kCmdDacWait + VGM::kMaxDacWait) {
            r.outside_bank |= pcm >= r.bank;
            ++pcm;
            ++r.dac_bytes;
            r.samples += c & 0x0F;
        } else if (c == VGM::kCmdYm2612Port0 || c == VGM::kCmdYm2612Port1) {
            r.fm.push_back({r.samples, c == VGM::kCmdYm2612Port1 ? 1u : 0u, p[1], p[2]});
        } else if (c == VGM::kCmdSn76489Write) {
            r.psg.emplace_back(r.samples, p[1]);
        } else if (c == VGM::kCmdWait) {
            r.samples += VGM::Get16(p + 1);
        } else if (c == VGM::kCmdWaitFrame) {
            r.samples += kFrame;
        } else if (c == VGM::kCmdEnd) {
            r.ended = true;
        }
        at += n;
    }
    return r;
}

std::unique_ptr<FMInst> PlainBank() {
    auto bank = std::make_unique<FMInst>();
    EXPECT_EQ(bank->LoadText(testsupport::kPlainBank, std::strlen(testsupport::kPlainBank)), FMInst::kLoadOk);
    return bank;
}

struct Rendered {
    Replay replay;
    std::uint32_t loop_offset = 0;
    std::uint64_t end_frame = 0;
};

Rendered Render(const TrackBuilder& track) {
    const Bytes smf = testsupport::BuildSmf(0, kDivision, {track});
    MIDI::Score score;
    EXPECT_TRUE(MIDI::ReadScore(smf.data(), smf.size(), score));
    auto bank = PlainBank();
    fmtool::SongPlan plan(*bank);
    EXPECT_TRUE(fmtool::PlanSong(score, fmtool::PlanFor::Chips, plan));
    VGMOUT vgm;
    fmtool::RenderPlan(plan, *bank, vgm);
    Rendered r;
    r.replay = Play(vgm.Stream());
    r.loop_offset = vgm.LoopOffset();
    r.end_frame = plan.perf.end.frame;
    EXPECT_EQ(vgm.TotalSamples(), plan.perf.end.frame * kFrame);
    return r;
}

TrackBuilder Start() {
    TrackBuilder t;
    t.Tempo(0, 500000);
    return t;
}

bool Keyed(const Replay& r, unsigned fmChannel) {
    for (const Replay::Write& w : r.Fm(0, YM2612::kRegKeyOnOff))
        if ((w.data & 7) == YM2612::KeyCode(fmChannel) && (w.data & YM2612::kAllOperatorsOn)) return true;
    return false;
}

// Kicks, a snare on a kick and a hi-hat: each drum frame starts a sample of
// the one PCM bank at its own sample, hits of one frame mixed into one, the
// hat on the noise channel; FM channel 6 gives way to the DAC.
TEST(Render, DrumsPlayOnTheDacAtTheirFrameWithinTheBank) {
    TrackBuilder t = Start();
    t.NoteOn(0, 9, 36, 100).NoteOn(0, 0, 60, 90).NoteOn(0, 0, 64, 90).NoteOn(0, 0, 67, 90);
    t.NoteOn(240, 9, 42, 90).NoteOn(240, 9, 36, 100).NoteOn(0, 9, 38, 110);
    t.NoteOff(480, 0, 60).NoteOff(0, 0, 64).NoteOff(0, 0, 67).EndOfTrack(480);
    const Rendered song = Render(t);
    const Replay& r = song.replay;
    ASSERT_TRUE(r.block_first);
    EXPECT_GT(r.bank, 0u);
    EXPECT_FALSE(r.outside_bank);
    ASSERT_EQ(r.seeks.size(), 2u);
    EXPECT_EQ(r.seeks[0].first, 0u);
    EXPECT_EQ(r.seeks[1].first, 30u * kFrame);
    EXPECT_NE(r.seeks[0].second, r.seeks[1].second);  // the kick alone, then the kick and snare mixed
    const auto enable = r.Fm(0, YM2612::kRegDacEnable);
    ASSERT_FALSE(enable.empty());
    EXPECT_EQ(enable.front().data, YM2612::kDacOn);
    EXPECT_FALSE(Keyed(r, 5));
    // The hat: the noise channel sounds at frame 15.
    bool hat = false;
    for (const auto& [at, a] : r.Attenuations(SN76489::kNoiseGenerator))
        hat |= at == 15u * kFrame && a < SN76489::kSilent;
    EXPECT_TRUE(hat);
    EXPECT_TRUE(r.ended);
}

// A note starts at its own sample inside its frame (to the DAC's three-sample
// grid), and lets go as far into its last frame, so it keeps its length.
TEST(Render, NotesStartAndEndAtTheirOwnSample) {
    TrackBuilder t = Start();
    t.NoteOn(8, 0, 60, 100).NoteOff(480, 0, 60).EndOfTrack(480);  // 8.3 ms in, held 0.5 s
    const std::vector<Replay::Write> keys = Render(t).replay.Fm(0, YM2612::kRegKeyOnOff);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].sample, 351u);
    EXPECT_NE(keys[0].data & YM2612::kAllOperatorsOn, 0);
    EXPECT_EQ(keys[1].sample, 30u * kFrame + 351);
    EXPECT_EQ(keys[1].data & YM2612::kAllOperatorsOn, 0);
}

// Without drums for the DAC the song keeps six FM voices and writes no PCM.
TEST(Render, ASongWithoutDacDrumsKeepsSixFmVoices) {
    TrackBuilder t = Start();
    for (int k = 0; k < 6; ++k) t.NoteOn(0, 0, 48 + 4 * k, 100);
    t.NoteOn(0, 9, 42, 100);
    t.EndOfTrack(480);
    const Replay r = Render(t).replay;
    EXPECT_EQ(r.bank, 0u);
    EXPECT_TRUE(r.seeks.empty());
    EXPECT_TRUE(r.Fm(0, YM2612::kRegDacEnable).empty());
    for (unsigned ch = 0; ch < 6; ++ch) EXPECT_TRUE(Keyed(r, ch)) << ch;
}

// A loop point while a drum rings: the DAC is sent back to where it is in
// its sample, so that a player returning there reads the bank again.
TEST(Render, TheLoopPointFindsTheDacInItsSample) {
    TrackBuilder t = Start();
    t.NoteOn(0, 9, 36, 127).Control(96, 0, 111, 0).NoteOn(0, 0, 60, 100).NoteOff(480, 0, 60).EndOfTrack(0);
    const Rendered song = Render(t);
    ASSERT_NE(song.loop_offset, 0u);
    ASSERT_EQ(song.replay.seeks.size(), 2u);
    EXPECT_EQ(song.replay.seeks[1].first, 6u * kFrame);
    EXPECT_EQ(song.replay.seeks[1].second, song.replay.seeks[0].second + 6 * fmtool::kDacBytesPerFrame);
}

// Expression rising in the middle of a held FM note: the carriers' levels
// follow it, one write a frame at most, each by kFmGlideSteps at most.
TEST(Render, ASwellMovesTheCarrierLevelsThroughTheNote) {
    TrackBuilder t = Start();
    t.Control(0, 0, 11, 30).NoteOn(0, 0, 60, 100).Control(480, 0, 11, 127).NoteOff(480, 0, 60).EndOfTrack(0);
    const Replay r = Render(t).replay;
    // M1, the bank's one audible carrier.
    const std::uint8_t reg = YM2612::OperatorRegister(YM2612::kRegTotalLevel, 0, 0);
    const std::vector<Replay::Write> tl = r.Fm(0, reg);
    ASSERT_GE(tl.size(), 3u);
    const std::uint8_t quiet = tl[1].data;  // after the voice's own, the note's start
    EXPECT_LT(tl.back().data, quiet);
    for (std::size_t i = 2; i < tl.size(); ++i) {
        EXPECT_GE(tl[i].sample, 30u * kFrame);
        EXPECT_GE(tl[i].sample - tl[i - 1].sample, i == 2 ? 0u : kFrame);
        EXPECT_LE(tl[i - 1].data - tl[i].data, fmtool::kFmGlideSteps);
    }
}

// The modulation wheel: on FM the chip LFO's depth, on a square a pitch that
// moves frame by frame.
TEST(Render, TheModulationWheelGivesVibrato) {
    TrackBuilder t = Start();
    t.Program(0, 1, 80).Control(0, 0, 1, 127).Control(0, 1, 1, 127).NoteOn(0, 0, 60, 100).NoteOn(0, 1, 72, 100);
    t.NoteOff(480, 0, 60).NoteOff(0, 1, 72).EndOfTrack(0);
    const Replay r = Render(t).replay;
    bool lfo = false;
    for (const Replay::Write& w : r.Fm(0, YM2612::ChannelRegister(YM2612::kRegStereoLfoSens, 0)))
        lfo |= YM2612::PmsOf(w.data) == 6;  // 40 cents, nearest the wheel's 50
    EXPECT_TRUE(lfo);
    std::map<unsigned, int> periods;
    for (const auto& [at, b] : r.psg)
        if (SN76489::IsLatch(b) && SN76489::RegisterOf(b) == SN76489::kPeriodRegister[0]) ++periods[b & 0x0F];
    EXPECT_GE(periods.size(), 3u);
}

// A square lead swells in over its attack, holds, fades out after its end
// instead of stopping dead, and a note struck again at once is heard again.
TEST(Render, SquareNotesHaveAnAttackAReleaseAndSeparateRepeats) {
    TrackBuilder t = Start();
    t.Program(0, 0, 80).NoteOn(0, 0, 72, 127).NoteOff(240, 0, 72).NoteOn(0, 0, 72, 127).NoteOff(240, 0, 72);
    t.EndOfTrack(480);
    const auto a = Render(t).replay.Attenuations(0);
    ASSERT_GE(a.size(), 6u);
    std::vector<unsigned> silences;  // samples where it falls silent
    for (const auto& [at, v] : a)
        if (v == SN76489::kSilent) silences.push_back(static_cast<unsigned>(at));
    EXPECT_GT(a[1].second, a[2].second);  // the attack rises
    // The first note lets go a frame early and falls silent for an instant at the second's start.
    ASSERT_GE(silences.size(), 3u);
    EXPECT_EQ(silences[1], 15u * kFrame);
    // After the second's end the level falls frame by frame before silence.
    const auto last = std::find_if(a.begin(), a.end(), [](const auto& x) { return x.first >= 30u * kFrame; });
    ASSERT_NE(last, a.end());
    EXPECT_LT(last->second, SN76489::kSilent);
    EXPECT_GT(silences.back(), 31u * kFrame);
}

// Envelopes by family: struck and plucked parts die away, held ones sustain
// after their attack, every release falls from where the note had got to.
TEST(PartEnvelope, FamiliesDecayOrHoldAndEveryNoteReleases) {
    struct Case {
        int program;
        bool decays;
    };
    for (const Case c : {Case{0, true}, Case{24, true}, Case{45, true}, Case{19, false}, Case{48, false},
                         Case{73, false}, Case{80, false}, Case{105, true}}) {
        const fmtool::PartEnvelope& e = fmtool::EnvelopeFor(c.program);
        const double after = fmtool::EnvelopeDb(e, 120, -1);
        EXPECT_EQ(after < -3, c.decays) << c.program;
        EXPECT_LE(fmtool::EnvelopeDb(e, 0, -1), 0) << c.program;
        const double held = fmtool::EnvelopeDb(e, 30, -1);
        EXPECT_LT(fmtool::EnvelopeDb(e, 31, 0), held) << c.program;
        EXPECT_LT(fmtool::EnvelopeDb(e, 35, 4), fmtool::EnvelopeDb(e, 31, 0)) << c.program;
    }
    // A flute speaks at its full level from its first frame: a swell there blurs its onsets.
    EXPECT_EQ(fmtool::EnvelopeDb(fmtool::EnvelopeFor(73), 0, -1), 0);
}

// The DAC's bank: one sample a mix of one frame's hits and levels, made once
// however often it is struck; the level moves the sample.
TEST(DacTrack, MixesAreMadeOnceAtEachLevel) {
    auto hit = [](std::uint64_t frame, int key, double db) {
        fmtool::DrumHit h;
        h.start.frame = frame;
        h.key = static_cast<std::uint8_t>(key);
        h.level_db = db;
        return h;
    };
    const std::vector<fmtool::DrumHit> hits = {hit(0, 36, 0), hit(0, 38, 0), hit(10, 36, 0), hit(12, 36, -12),
                                               hit(40, 36, 0), hit(40, 38, 0), hit(300, 36, 0)};
    const fmtool::DacTrack track = fmtool::BuildDacTrack(hits, 200, 0);
    ASSERT_EQ(track.turns.size(), 4u);  // the hit at 300 is beyond the end
    EXPECT_EQ(track.turns[0].offset, track.turns[3].offset);  // the same mix again
    EXPECT_NE(track.turns[1].offset, track.turns[2].offset);  // another level
    EXPECT_EQ(track.turns[1].start.frame, 10u);
    for (const fmtool::DacTurn& turn : track.turns) {
        EXPECT_LE(turn.offset + turn.length, track.bank.size());
        EXPECT_EQ(track.bank[turn.offset + turn.length - 1], YM2612::kDacCentre);
    }
}

}  // namespace
