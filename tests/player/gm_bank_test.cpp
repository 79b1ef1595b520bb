// Plays every program of the built-in General MIDI bank (banks/gm.opm)
// through the converter and Game Music Emu and checks what a musician would
// listen for: each program is heard, in tune, about as loud as the others,
// shaped like its General MIDI instrument (decaying, fading or held), and six
// channels of it at full velocity do not clip. Each test prints its figures
// per family.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "instruments/fminst.h"
#include "instruments/gm_bank.h"
#include "sequencer/render_song.h"
#include "tests/player/gme_render.h"
#include "tests/support/smf_builder.h"
#include "tests/support/vgm_reader.h"
#include "vgm/vgmout.h"

namespace {

using namespace testsupport;
using playertest::At;

// The sixteen General MIDI families of eight programs, with one letter per
// program for how a held note behaves: 'D' decays (by at least 20 dB within
// 2 s), 'S' is sustained (stays within 6 dB over 1 s), '.' fades between the
// two. The envelopes follow FluidR3 GM's instruments, so an electric piano, a
// jazz guitar or most basses ring on.
struct Family {
    const char* name;
    const char* shapes;
};
const Family kFamilies[16] = {
    {"Piano", "DD.D..D."},      // electric pianos and clavinet ring on
    {"ChromaticPercussion", "DDDDDDDD"},
    {"Organ", "SSSSSSSS"},
    {"Guitar", "DD..DSS."},     // electric guitars ring on or sustain
    {"Bass", "D.....D."},       // most basses ring on
    {"Strings", "SSSSSDDD"},    // pizzicato, harp and timpani decay
    {"Ensemble", "S.SSSSSD"},   // the slow strings swell, the orchestra hit decays
    {"Brass", "SSSSSSS."},      {"Reed", "SSSSSSSS"},   {"Pipe", "SSSSSSSS"},
    {"SynthLead", "SSSSSSSS"},  {"SynthPad", "S.SSS.SS"}, {"SynthEffects", ".SDSS..S"},
    {"Ethnic", "DDDDDSSS"},     // bagpipe, fiddle and shanai hold
    {"Percussive", "DDDDDDD."},  // the reverse cymbal swells
    {"SoundEffects", "DS.SSSSD"},
};

constexpr int kDivision = 48;  // at the default 120 beats a minute: 96 ticks a second
constexpr double kTicksPerSecond = 96;
const int kNotes[3] = {48, 60, 72};
constexpr double kAttackEnd = 0.05;  // pitch is read from here...
constexpr double kWindowEnd = 0.25;  // ...to here, in seconds after the key-on
constexpr double kLoudWindow = 0.2;  // a note's level: its loudest window this long...
constexpr double kLoudWithin = 1.0;  // ...within this long after the key-on, so swells count

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
// of the first pitch it wrote (block and F-number high bits, then the low byte).
struct Played {
    std::vector<double> pcm;
    double expectedHz = 0;
};

Played Play(const Bytes& smf, double seconds) {
    Played out;
    std::unique_ptr<MIDI::DMIDI> song = MIDI::ReadSong(smf.data(), smf.size());
    if (!song) return out;
    VGMOUT vgm;
    MIDI::RenderSong(song.get(), &GmBank(), &vgm);
    const std::vector<VgmCommand> commands = DecodeStream(vgm.Stream());
    for (std::size_t i = 0; i + 1 < commands.size(); ++i) {
        const std::vector<std::uint8_t>& hi = commands[i].bytes;
        const std::vector<std::uint8_t>& lo = commands[i + 1].bytes;
        if (hi.size() == 3 && hi[0] == 0x52 && hi[1] == 0xA4 && lo.size() == 3 && lo[1] == 0xA0) {
            const int fnumber = (hi[2] & 7) << 8 | lo[2];
            out.expectedHz = fnumber * (7670453.0 / 144.0) * std::pow(2.0, (hi[2] >> 3) - 1) / 1048576.0;
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

TEST(GmBank, EveryProgramIsHeardInTuneAndBalanced) {
    // Loudness (dB of RMS over the loudest 0.2 s of the note's first second)
    // and pitch error in cents, for each program and note.
    std::vector<double> loudness(128 * 3), cents(128 * 3);
    for (int k = 0; k < 128 * 3; ++k) {
        const Played p = Play(OneNote(k / 3, kNotes[k % 3], kLoudWithin), kLoudWithin);
        ASSERT_GT(p.expectedHz, 0) << "program " << k / 3;
        const double hz = playertest::MeasurePitch(p.pcm, At(kAttackEnd), At(kWindowEnd), 100, 2500);
        loudness[k] = -1e9;
        for (double from = 0; from + kLoudWindow <= kLoudWithin + 1e-9; from += 0.05) {
            loudness[k] = std::max(loudness[k], Db(playertest::Rms(p.pcm, At(from), At(from + kLoudWindow))));
        }
        cents[k] = hz > 0 ? 1200 * std::log2(hz / p.expectedHz) : 9999;
    }
    std::vector<double> sorted = loudness;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    // Clearly above silence (40 dB is an RMS of 100 in 16-bit samples), so
    // every note within 6 dB of it is heard.
    ASSERT_GT(median, 40.0);
    std::printf("bank median %.1f dB RMS at velocity 100\n", median);

    for (int family = 0; family < 16; ++family) {
        const int first = family * 8 * 3, end = first + 8 * 3;
        for (int k = first; k < end; ++k) {
            SCOPED_TRACE("program " + std::to_string(k / 3) + ", note " + std::to_string(kNotes[k % 3]));
            EXPECT_NEAR(loudness[k], median, 6.0);
            EXPECT_LT(std::fabs(cents[k]), 50.0);
        }
        std::vector<double> own(loudness.begin() + first, loudness.begin() + end);
        std::sort(own.begin(), own.end());
        double worst = 0;
        for (int k = first; k < end; ++k) worst = std::max(worst, std::fabs(cents[k]));
        std::printf("%-19s median %5.1f dB, spread %4.1f dB, worst pitch %2.0f cents\n", kFamilies[family].name,
                    own[own.size() / 2], own.back() - own.front(), worst);
    }
}

class GmBankFamily : public ::testing::TestWithParam<int> {};

TEST_P(GmBankFamily, HeldNotesFollowTheFamilyAndChordsDoNotClip) {
    const Family& family = kFamilies[GetParam()];
    double leastFall = 1e9, mostSwing = 0, loudestPeak = 0;
    for (int k = 0; k < 8; ++k) {
        const int program = GetParam() * 8 + k;
        SCOPED_TRACE("program " + std::to_string(program));
        if (family.shapes[k] == '.') {
            // Fades between the two: nothing to hold it to.
        } else if (family.shapes[k] == 'D') {
            const Played held = Play(OneNote(program, 60, 2.5), 2.0);
            const double fall = Db(playertest::Rms(held.pcm, At(kAttackEnd), At(kWindowEnd))) -
                                Db(playertest::Rms(held.pcm, At(1.9), At(2.0)));
            EXPECT_GE(fall, 20.0);
            leastFall = std::min(leastFall, fall);
        } else {
            // Ten windows of 0.1 s from the end of the attack on.
            const Played held = Play(OneNote(program, 60, 2.5), 1.25);
            double low = 1e9, high = -1e9;
            for (int w = 0; w < 10; ++w) {
                const double level = Db(playertest::Rms(held.pcm, At(0.25 + 0.1 * w), At(0.35 + 0.1 * w)));
                low = std::min(low, level);
                high = std::max(high, level);
            }
            EXPECT_LE(high - low, 6.0);
            mostSwing = std::max(mostSwing, high - low);
        }
        const Played chord = Play(Chord(program), 0.3);
        ASSERT_FALSE(chord.pcm.empty());
        double peak = 0;
        for (double s : chord.pcm) peak = std::max(peak, std::fabs(s));
        EXPECT_LT(peak, 32767.0) << "the six-voice chord clips";
        loudestPeak = std::max(loudestPeak, peak);
    }
    std::printf("%-19s least fall in 2 s %s dB, most swing over 1 s %.1f dB, chord peak %.0f\n", family.name,
                leastFall < 1e9 ? std::to_string(std::lround(leastFall)).c_str() : "-", mostSwing, loudestPeak);
}

INSTANTIATE_TEST_SUITE_P(Families, GmBankFamily, ::testing::Range(0, 16),
                         [](const ::testing::TestParamInfo<int>& info) { return kFamilies[info.param].name; });

}  // namespace
