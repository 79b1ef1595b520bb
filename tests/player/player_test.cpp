// Plays fmroll's output through Game Music Emu, a widely used VGM player, and
// checks what comes out of it: that the files open with the right length,
// that both chips are heard, that notes sound at the chips' pitches and that
// silence is silent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tests/player/gme_render.h"
#include "tests/support/run_fmroll.h"
#include "tests/support/smf_builder.h"
#include "tests/support/vgm_reader.h"

namespace {

using namespace testsupport;
using playertest::At;
using playertest::kSampleRate;

// Voice 0 is one pure sine: algorithm 7 (every operator heard), only the last
// operator (C2) at full level, multiple 1, fastest attack and release.
const char* const kSineBank =
    "@:0 Sine\n"
    "LFO: 0 0 0 0 0\n"
    "CH: 192 0 7 0 0 120 0\n"
    "M1: 31 0 0 15 0 127 0 1 0 0 0\n"
    "C1: 31 0 0 15 0 127 0 1 0 0 0\n"
    "M2: 31 0 0 15 0 127 0 1 0 0 0\n"
    "C2: 31 0 0 15 0 0 0 1 0 0 0\n";

constexpr int kDivision = 48;  // at the default 120 beats a minute: 96 ticks a second
constexpr int kSecond = 96;
constexpr int kFm = 0;         // MIDI channel 1: FM channel 0
constexpr int kTone = 6;       // MIDI channel 7: square-wave channel 0

constexpr double kYm2612Clock = 7670453.0;
constexpr double kSn76489Clock = 3579545.0;

double FmFrequency(int fnumber, int block) {
    return fnumber * (kYm2612Clock / 144.0) * std::pow(2.0, block - 1) / std::pow(2.0, 20);
}
double ToneFrequency(int period) { return kSn76489Clock / (32.0 * period); }

// The test song, one second per step:
//   0-1 s  FM note 69 and square-wave note 69 together
//   1-2 s  nothing (both released)
//   2-3 s  FM note 69 with the pitch bent fully up, bend range 2 semitones
//   3-4 s  nothing; the song ends at 4 s with a controller that is not heard
// A loop point (controller 56) is set at 1 s when `loop` is true.
Bytes PitchSong(bool loop) {
    TrackBuilder t;
    t.Program(0, kFm, 0)
        .Control(0, kFm, 101, 0)
        .Control(0, kFm, 100, 0)
        .Control(0, kFm, 6, 2)
        .Control(0, kTone, 11, 127)
        .NoteOn(0, kFm, 69, 127)
        .NoteOn(0, kTone, 69, 127)
        .NoteOff(kSecond, kFm, 69)
        .NoteOff(0, kTone, 69);
    if (loop) t.Control(0, kFm, 56, 0);
    t.Bend(kSecond, kFm, 8191)
        .NoteOn(0, kFm, 69, 127)
        .NoteOff(kSecond, kFm, 69)
        .Bend(0, kFm, 0)
        // The song ends with its last event; channel volume is not heard.
        .Control(kSecond, kFm, 7, 100)
        .EndOfTrack(0);
    return BuildSmf(0, kDivision, {t});
}

// Converts `song` with `bank` in a scratch directory; the files stay there.
struct Converted {
    TempDir dir;
    VgmFile vgm;
    bool ok = false;
};

void Convert(Converted& c, const std::string& bankText, const Bytes& song) {
    c.dir.Write("bank.opm", bankText);
    c.dir.Write("song.mid", song);
    const RunResult run = RunFmroll(c.dir.path(), {"bank.opm", "song.mid"});
    ASSERT_EQ(run.status, 0) << run.err;
    c.vgm = ReadVgmFile(c.dir.File("test.vgm"));
    ASSERT_TRUE(c.vgm.ok);
    c.ok = true;
}

// Header sample counts in the player's unit, milliseconds (truncated).
int Millis(std::uint32_t samples) { return static_cast<int>(samples * 1000ull / kSampleRate); }

TEST(PlayerLength, BothFilesOpenWithTheHeaderLengthAndLoop) {
    for (const bool loop : {false, true}) {
        SCOPED_TRACE(loop ? "with a loop point" : "without a loop point");
        Converted c;
        Convert(c, kSineBank, PitchSong(loop));
        ASSERT_TRUE(c.ok);
        const std::uint32_t total = c.vgm.Field32(0x18);
        const std::uint32_t loopSamples = c.vgm.Field32(0x20);
        ASSERT_EQ(total, 240u * 735u);
        ASSERT_EQ(loopSamples, loop ? 180u * 735u : 0u);

        for (const char* name : {"test.vgm", "test.vgz"}) {
            SCOPED_TRACE(name);
            const playertest::Opened opened = playertest::OpenFile(c.dir.File(name));
            ASSERT_EQ(opened.error, "");
            const playertest::TrackLengths& l = opened.lengths;
            if (loop) {
                EXPECT_NEAR(l.loopLength, Millis(loopSamples), 1);
                EXPECT_NEAR(l.introLength, Millis(total - loopSamples), 1);
                EXPECT_NEAR(l.introLength + l.loopLength, Millis(total), 1);
            } else {
                EXPECT_NEAR(l.length, Millis(total), 1);
                EXPECT_NEAR(l.playLength, Millis(total), 1);
                EXPECT_LE(l.loopLength, 0);
            }
        }
    }
}

// Renders the pitch song once per chip, the other chip muted.
class PlayerPitch : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        converted = new Converted;
        Convert(*converted, kSineBank, PitchSong(false));
        if (!converted->ok) return;
        voices = playertest::OpenFile(converted->dir.File("test.vgm")).voices;
        const long frames = At(4.0);
        fmOnly = playertest::RenderMono(converted->vgm.bytes, frames, voices.psgMask);
        toneOnly = playertest::RenderMono(converted->vgm.bytes, frames, voices.fmMask);
        both = playertest::RenderMono(converted->vgm.bytes, frames, 0);
    }
    static void TearDownTestSuite() { delete converted; }

    void SetUp() override {
        ASSERT_TRUE(converted->ok);
        ASSERT_NE(voices.fmMask, 0);
        ASSERT_NE(voices.psgMask, 0);
        ASSERT_EQ(fmOnly.size(), static_cast<std::size_t>(At(4.0)));
    }

    static Converted* converted;
    static playertest::VoiceMap voices;
    static std::vector<double> fmOnly, toneOnly, both;
};
Converted* PlayerPitch::converted = nullptr;
playertest::VoiceMap PlayerPitch::voices;
std::vector<double> PlayerPitch::fmOnly, PlayerPitch::toneOnly, PlayerPitch::both;

TEST_F(PlayerPitch, NotesSoundAtTheChipTablePitches) {
    struct Case {
        const char* what;
        const std::vector<double>* pcm;
        double start;
        double expected;
    };
    const Case cases[] = {
        // Note 69: block 5, F-number 1082 (about 879.4 Hz).
        {"FM note 69", &fmOnly, 0.0, FmFrequency(1082, 5)},
        // Note 69: period 127 (about 880.8 Hz).
        {"square note 69", &toneOnly, 0.0, ToneFrequency(127)},
        // Full bend up with range 2: detune 107 F-number units.
        {"FM note 69 bent up", &fmOnly, 2.0, FmFrequency(1082 + 107, 5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const double measured =
            playertest::MeasureFrequency(*c.pcm, At(c.start + 0.2), At(c.start + 0.9));
        EXPECT_NEAR(measured, c.expected, c.expected * 0.01);
    }
}

TEST_F(PlayerPitch, FullBendUpRaisesTheFmPitchByAboutTwoSemitones) {
    const double plain = playertest::MeasureFrequency(fmOnly, At(0.2), At(0.9));
    const double bent = playertest::MeasureFrequency(fmOnly, At(2.2), At(2.9));
    ASSERT_GT(plain, 0);
    const double semitones = 12.0 * std::log2(bent / plain);
    // The bend is linear in F-number, 107 of the 643 units of an octave
    // starting at C; from A that comes to a little under two semitones.
    EXPECT_GT(semitones, 1.5);
    EXPECT_LT(semitones, 2.1);
}

TEST_F(PlayerPitch, ReleasedNotesAndTheEndAreSilent) {
    const double loud = playertest::Rms(both, At(0.2), At(0.9));
    ASSERT_GT(loud, 1000.0);
    // After the key-off the fastest release has died away within 0.2 s.
    EXPECT_LT(playertest::Rms(both, At(1.2), At(2.0)), loud * 0.001);
    EXPECT_LT(playertest::Rms(both, At(3.2), At(4.0)), loud * 0.001);
    // Each chip alone was heard while its note sounded.
    EXPECT_GT(playertest::Rms(fmOnly, At(0.2), At(0.9)), 1000.0);
    EXPECT_GT(playertest::Rms(toneOnly, At(0.2), At(0.9)), 1000.0);
    EXPECT_LT(playertest::Rms(toneOnly, At(2.2), At(2.9)), loud * 0.001);
}

TEST(PlayerDemo, TheDemoSongIsHeardOnBothChips) {
    TempDir dir;
    const RunResult run = RunFmroll(
        dir.path(), {SourcePath("examples/demo.opm"), SourcePath("examples/demo.mid")});
    ASSERT_EQ(run.status, 0) << run.err;
    const VgmFile vgm = ReadVgmFile(dir.File("test.vgm"));
    ASSERT_TRUE(vgm.ok);
    // The first 20 seconds are enough, and rendering the YM2612 is slow.
    const long frames = std::min<long>(static_cast<long>(vgm.Field32(0x18)), At(20.0));
    ASSERT_GT(frames, At(5.0));

    const playertest::VoiceMap voices = playertest::OpenFile(dir.File("test.vgm")).voices;
    ASSERT_NE(voices.fmMask, 0);
    ASSERT_NE(voices.psgMask, 0);
    const double fm = playertest::Rms(playertest::RenderMono(vgm.bytes, frames, voices.psgMask), 0, frames);
    const double psg = playertest::Rms(playertest::RenderMono(vgm.bytes, frames, voices.fmMask), 0, frames);
    EXPECT_GT(fm, 500.0);
    EXPECT_GT(psg, 50.0);
}

}  // namespace
