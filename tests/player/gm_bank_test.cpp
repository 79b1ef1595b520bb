// Plays every program of the built-in General MIDI bank (banks/gm.opm)
// through the converter and Game Music Emu and checks what a musician would
// listen for: each program is heard, in tune, about as loud as the others,
// shaped like its instrument family (decaying or held), and six channels of
// it at full velocity do not clip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "instruments/fminst.h"
#include "instruments/gm_bank.h"
#include "midi/render_song.h"
#include "tests/player/gme_render.h"
#include "tests/support/smf_builder.h"
#include "tests/support/vgm_reader.h"
#include "vgm/vgmout.h"

namespace {

using namespace testsupport;
using playertest::At;

// The sixteen General MIDI families of eight programs, with one letter per
// program for how a held note behaves: 'D' decays (by at least 20 dB within
// 2 s), 'S' is sustained (stays within 6 dB over 1 s).
struct Family {
    const char* name;
    const char* shapes;
};
const Family kFamilies[16] = {
    {"Piano", "DDDDDDDD"},         {"Chromatic Percussion", "DDDDDDDD"},
    {"Organ", "SSSSSSSS"},         {"Guitar", "DDDDDDDD"},
    {"Bass", "DDDDDDDD"},          {"Strings", "SSSSSDDD"},  // pizzicato, harp, timpani decay
    {"Ensemble", "SSSSSSSD"},      {"Brass", "SSSSSSSS"},    // orchestra hit decays
    {"Reed", "SSSSSSSS"},          {"Pipe", "SSSSSSSS"},
    {"Synth Lead", "SSSSSSSS"},    {"Synth Pad", "SSSSSSSS"},
    {"Synth Effects", "DSDDSSDS"}, {"Ethnic", "DDDDDSSS"},   // bagpipe, fiddle, shanai hold
    {"Percussive", "DDDDDDDS"},    {"Sound Effects", "DSSSSSSD"},  // reverse cymbal swells and holds
};

constexpr int kDivision = 48;  // at the default 120 beats a minute: 96 ticks a second
constexpr double kTicksPerSecond = 96;
const int kNotes[3] = {48, 60, 72};
constexpr double kAttackEnd = 0.05;  // loudness and pitch are read from here...
constexpr double kWindowEnd = 0.25;  // ...to here, in seconds after the key-on

double Db(double rms) { return 20 * std::log10(std::max(rms, 1e-9)); }

FMInst& GmBank() {
    static FMInst* bank = [] {
        auto* b = new FMInst;
        EXPECT_EQ(LoadGmBank(*b), FMInst::kLoadOk);
        return b;
    }();
    return *bank;
}

// The converter's output for a song, played for `seconds`, and the frequency
// of the first pitch it wrote for FM channel 0 (from its F-number and block).
struct Played {
    std::vector<double> pcm;
    double expectedHz = 0;
};

Played Play(const Bytes& smf, double seconds) {
    Played out;
    std::unique_ptr<MIDI::DMIDI> song = MIDI::ReadSong(smf.data(), smf.size(), false);
    if (!song) return out;
    VGMOUT vgm;
    MIDI::RenderSong(song.get(), &GmBank(), &vgm);
    int blockAndHigh = -1;
    for (const VgmCommand& c : DecodeStream(vgm.Stream())) {
        if (c.bytes.size() != 3 || c.bytes[0] != 0x52) continue;
        if (c.bytes[1] == 0xA4) blockAndHigh = c.bytes[2];
        if (c.bytes[1] == 0xA0 && blockAndHigh >= 0) {
            const int fnumber = (blockAndHigh & 7) << 8 | c.bytes[2];
            out.expectedHz = fnumber * (7670453.0 / 144.0) * std::pow(2.0, (blockAndHigh >> 3) - 1) / 1048576.0;
            break;
        }
    }
    out.pcm = playertest::RenderMono(vgm.Image(), At(seconds));
    return out;
}

Bytes OneNote(int program, int note, double hold) {
    TrackBuilder t;
    t.Program(0, 0, program).NoteOn(0, 0, note, 100).NoteOff(std::lround(hold * kTicksPerSecond), 0, note);
    return BuildSmf(0, kDivision, {t.EndOfTrack(0)});
}

// A spread chord on all six FM channels at full velocity.
Bytes Chord(int program) {
    const int notes[6] = {48, 55, 60, 64, 67, 72};
    TrackBuilder t;
    for (int ch = 0; ch < 6; ++ch) t.Program(0, ch, program);
    for (int ch = 0; ch < 6; ++ch) t.NoteOn(0, ch, notes[ch], 127);
    t.NoteOff(std::lround(0.5 * kTicksPerSecond), 0, notes[0]);
    return BuildSmf(0, kDivision, {t.EndOfTrack(0)});
}

// The estimator the pitch checks rely on, on signals of known pitch.
TEST(GmBankPitchEstimator, ReadsTheFundamentalOfBrightTonesAndRejectsNoise) {
    struct Case {
        const char* what;
        std::vector<double> harmonics;  // amplitudes of harmonics 1, 2, ...
        double hz;
    };
    const Case cases[] = {
        {"sine", {1.0}, 261.6},
        {"bright tone, weak fundamental", {0.2, 0.5, 1.0, 0.8, 0.6}, 523.3},
        {"odd harmonics only", {1.0, 0, 0.6, 0, 0.4}, 1046.5},
    };
    const double twoPi = 2 * std::acos(-1.0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<double> pcm(At(0.3));
        for (std::size_t i = 0; i < pcm.size(); ++i)
            for (std::size_t h = 0; h < c.harmonics.size(); ++h)
                pcm[i] += 8000 * c.harmonics[h] * std::sin(twoPi * c.hz * (h + 1) * i / playertest::kSampleRate);
        const double hz = playertest::MeasurePitch(pcm, At(0.05), At(0.25), 100, 2500);
        EXPECT_NEAR(1200 * std::log2(hz / c.hz), 0.0, 1.0);
    }
    std::vector<double> noise(At(0.3));
    unsigned seed = 1;
    for (double& s : noise) s = static_cast<int>((seed = seed * 1103515245u + 12345u) >> 16 & 0x7FFF) - 16384;
    EXPECT_EQ(playertest::MeasurePitch(noise, At(0.05), At(0.25), 100, 2500), 0.0);
}

bool Report() { return std::getenv("FMROLL_GM_BANK_REPORT") != nullptr; }

struct NoteFigures {
    double loudness = 0;  // dB of RMS over the window after the attack
    double cents = 0;     // measured fundamental against the written pitch
};

TEST(GmBank, EveryProgramIsHeardInTuneAndBalanced) {
    std::vector<NoteFigures> figures(128 * 3);
    for (int program = 0; program < 128; ++program) {
        for (int i = 0; i < 3; ++i) {
            const Played p = Play(OneNote(program, kNotes[i], kWindowEnd + 0.05), kWindowEnd);
            ASSERT_GT(p.expectedHz, 0) << "program " << program;
            const long begin = At(kAttackEnd), end = At(kWindowEnd);
            const double hz = playertest::MeasurePitch(p.pcm, begin, end, 100, 2500);
            NoteFigures& f = figures[program * 3 + i];
            f.loudness = Db(playertest::Rms(p.pcm, begin, end));
            f.cents = hz > 0 ? 1200 * std::log2(hz / p.expectedHz) : 9999;
        }
    }
    std::vector<double> levels;
    for (const NoteFigures& f : figures) levels.push_back(f.loudness);
    std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
    const double median = levels[levels.size() / 2];
    // Clearly above silence: 40 dB is an RMS of 100 in 16-bit samples.
    ASSERT_GT(median, 40.0);

    std::printf("bank median loudness %.1f dB (RMS, velocity 100)\n", median);
    for (int family = 0; family < 16; ++family) {
        double low = 1e9, high = -1e9, worst = 0;
        std::vector<double> own;
        for (int program = family * 8; program < family * 8 + 8; ++program) {
            for (int i = 0; i < 3; ++i) {
                const NoteFigures& f = figures[program * 3 + i];
                SCOPED_TRACE("program " + std::to_string(program) + ", note " + std::to_string(kNotes[i]));
                EXPECT_NEAR(f.loudness, median, 6.0);
                EXPECT_LT(std::fabs(f.cents), 50.0);
                low = std::min(low, f.loudness);
                high = std::max(high, f.loudness);
                worst = std::max(worst, std::fabs(f.cents));
                own.push_back(f.loudness);
                if (Report())
                    std::printf("  %3d note %d: %5.1f dB, %+5.0f cents\n", program, kNotes[i], f.loudness, f.cents);
            }
        }
        std::sort(own.begin(), own.end());
        std::printf("%-21s median %5.1f dB, spread %4.1f dB, worst pitch %2.0f cents\n", kFamilies[family].name,
                    own[own.size() / 2], high - low, worst);
    }
}

class GmBankFamily : public ::testing::TestWithParam<int> {};

TEST_P(GmBankFamily, HeldNotesFollowTheFamilyAndChordsDoNotClip) {
    const Family& family = kFamilies[GetParam()];
    double leastFall = 1e9, mostSwing = 0, loudestPeak = 0;
    for (int k = 0; k < 8; ++k) {
        const int program = GetParam() * 8 + k;
        SCOPED_TRACE("program " + std::to_string(program));
        const bool decays = family.shapes[k] == 'D';
        const Played held = Play(OneNote(program, 60, 2.5), decays ? 2.0 : 1.25);
        if (decays) {
            const double fall = Db(playertest::Rms(held.pcm, At(kAttackEnd), At(kWindowEnd))) -
                                Db(playertest::Rms(held.pcm, At(1.9), At(2.0)));
            EXPECT_GE(fall, 20.0);
            leastFall = std::min(leastFall, fall);
            if (Report()) std::printf("  %3d falls %.1f dB in 2 s\n", program, fall);
        } else {
            // Ten windows of 0.1 s from the end of the attack on.
            double low = 1e9, high = -1e9;
            for (int w = 0; w < 10; ++w) {
                const double t = 0.25 + 0.1 * w;
                const double level = Db(playertest::Rms(held.pcm, At(t), At(t + 0.1)));
                low = std::min(low, level);
                high = std::max(high, level);
            }
            EXPECT_LE(high - low, 6.0);
            mostSwing = std::max(mostSwing, high - low);
            if (Report()) std::printf("  %3d held within %.1f dB\n", program, high - low);
        }
        const Played chord = Play(Chord(program), 0.3);
        ASSERT_FALSE(chord.pcm.empty());
        double peak = 0;
        for (double s : chord.pcm) peak = std::max(peak, std::fabs(s));
        EXPECT_LT(peak, 32767.0) << "the six-voice chord clips";
        loudestPeak = std::max(loudestPeak, peak);
    }
    std::printf("%-21s least fall in 2 s %5.1f dB, most swing over 1 s %4.1f dB, chord peak %5.0f\n", family.name,
                leastFall < 1e9 ? leastFall : 0.0, mostSwing, loudestPeak);
}

INSTANTIATE_TEST_SUITE_P(Families, GmBankFamily, ::testing::Range(0, 16),
                         [](const ::testing::TestParamInfo<int>& info) {
                             std::string name = kFamilies[info.param].name;
                             name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
                             return name;
                         });

}  // namespace
