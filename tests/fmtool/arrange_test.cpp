// fmtool arrange: the arranged file as the converter reads and plays it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fmtool/arrange/arranger.h"
#include "fmtool/arrange/chip_pitch.h"
#include "fmtool/arrange/song_tag.h"
#include "instruments/fminst.h"
#include "sequencer/render_song.h"
#include "smf/smf_score.h"
#include "tests/support/run_fmroll.h"
#include "tests/support/smf_builder.h"
#include "vgm/chip_notes.h"
#include "vgm/vgmout.h"

namespace {

using testsupport::Bytes;
using testsupport::BuildSmf;
using testsupport::TrackBuilder;

constexpr unsigned kNoise = 9;

// A note of the arranged file as the converter plays it: channel (0-5 FM,
// 6-8 squares, 9 noise), written note, frames.
struct Played {
    unsigned channel = 0;
    int note = 0;
    int velocity = 0;
    std::uint32_t on = 0, off = 0;
};

// A bank whose program 0 is a plain audible voice, plus `more` copies of it.
std::unique_ptr<FMInst> Bank(const std::vector<int>& more = {}) {
    auto bank = std::make_unique<FMInst>();
    std::string text = testsupport::kPlainBank;
    for (int p : more) {
        std::string copy = testsupport::kPlainBank;
        copy.replace(copy.find("@:0"), 3, "@:" + std::to_string(p));
        text += copy;
    }
    EXPECT_EQ(bank->LoadText(text.c_str(), text.size()), FMInst::kLoadOk);
    return bank;
}

struct Arranged {
    fmtool::Arrangement result;
    std::unique_ptr<MIDI::DMIDI> song;  // frame-stamped, as the converter reads it
    std::vector<Played> notes;          // by on frame, then channel
    std::vector<MIDI::DMIDI_EVENT> Events(unsigned ch, std::uint8_t kind) const {
        std::vector<MIDI::DMIDI_EVENT> out;
        for (const MIDI::DMIDI_EVENT& e : song->events) {
            if (e.channel == ch && e.status == kind) out.push_back(e);
        }
        return out;
    }
    std::vector<Played> On(unsigned from, unsigned to) const {
        std::vector<Played> out;
        for (const Played& p : notes) {
            if (p.channel >= from && p.channel <= to) out.push_back(p);
        }
        return out;
    }
};

Arranged Arrange(const Bytes& smf, const FMInst& bank) {
    Arranged a;
    MIDI::Score score;
    EXPECT_TRUE(MIDI::ReadScore(smf.data(), smf.size(), score));
    EXPECT_TRUE(fmtool::Arrange(score, bank, "fallback", a.result));
    a.song = MIDI::ReadSong(a.result.smf.data(), a.result.smf.size());
    EXPECT_TRUE(a.song);
    if (!a.song) return a;
    // The converter's one-note channels: a note on replaces, any note off or
    // (on FM) a program change releases.
    Played open[16];
    bool sounding[16] = {};
    auto close = [&](unsigned ch, std::uint32_t frame) {
        if (!sounding[ch]) return;
        sounding[ch] = false;
        open[ch].off = frame;
        a.notes.push_back(open[ch]);
    };
    for (const MIDI::DMIDI_EVENT& e : a.song->events) {
        if (e.channel > kNoise || e.status == 0xF0) continue;
        if (e.status == 0x90 && e.data2 > 0) {
            close(e.channel, e.clock);
            open[e.channel] = Played{e.channel, e.data1, e.data2, e.clock, 0};
            sounding[e.channel] = true;
        } else if (e.status == 0x80 || (e.status == 0xC0 && e.channel < 6)) {
            close(e.channel, e.clock);
        }
    }
    for (unsigned ch = 0; ch <= kNoise; ++ch) close(ch, a.song->events.back().clock);
    std::stable_sort(a.notes.begin(), a.notes.end(), [](const Played& x, const Played& y) { return x.on < y.on; });
    return a;
}

// The chip notes the arranged file makes the converter play.
std::vector<VGM::ChipNote> Render(Arranged& a, FMInst& bank) {
    VGMOUT vgm;
    MIDI::RenderSong(a.song.get(), &bank, &vgm);
    return VGM::ReadChipNotes(vgm.Stream().data(), vgm.Stream().size()).notes;
}

double Cents(double hz, double midi) { return 1200 * std::log2(hz / (440 * std::pow(2.0, (midi - 69) / 12))); }

Bytes OneTrack(const TrackBuilder& t, std::uint16_t division = 480) { return BuildSmf(0, division, {t}); }

// ---- Time: every event in the frame its real time falls in -------------------

TEST(ArrangeTime, NotesLandInTheFrameOfTheirRealTime) {
    struct Case {
        const char* name;
        std::uint16_t division;
        std::uint32_t tempo;            // at tick 0 (0: none)
        std::uint64_t change_at;        // a second tempo, from this tick (0: none)
        std::uint32_t change_to;
        std::vector<std::uint64_t> ticks;  // note starts
    };
    const Case cases[] = {
        // 600000 us is 99 whole BPM to the converter: a source played as it
        // stands would drift a frame late every few seconds.
        {"99.99 BPM", 96, 600000, 0, 0, {0, 96, 960, 9600}},
        // Tick 16 at 480 ticks, 120 BPM is exactly 1/60 s: frame 1.
        {"frame boundary", 480, 0, 0, 0, {15, 16, 17, 32}},
        {"tempo change", 480, 461538, 960, 333333, {0, 480, 960, 1440, 4800}},
        {"SMPTE 25 fps x 40", 0xE728, 0, 0, 0, {0, 1000, 2500, 40000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        struct Event {
            std::uint64_t tick;
            bool tempo;
        };
        std::vector<Event> events;
        for (std::uint64_t tick : c.ticks) events.push_back({tick, false});
        if (c.change_at) events.push_back({c.change_at, true});
        std::stable_sort(events.begin(), events.end(), [](const Event& x, const Event& y) { return x.tick < y.tick; });
        TrackBuilder t;
        if (c.tempo) t.Tempo(0, c.tempo);
        std::uint64_t now = 0;
        for (const Event& e : events) {
            const std::uint64_t delta = e.tick > now ? e.tick - now : 0;
            if (e.tempo) {
                t.Tempo(delta, c.change_to);
                now = std::max(now, e.tick);
            } else {
                t.NoteOn(delta, 0, 60, 100).NoteOff(1, 0, 60);
                now = std::max(now, e.tick) + 1;
            }
        }
        t.EndOfTrack(1000);
        const Bytes smf = OneTrack(t, c.division);
        MIDI::Score score;
        ASSERT_TRUE(MIDI::ReadScore(smf.data(), smf.size(), score));
        auto bank = Bank();
        Arranged a = Arrange(smf, *bank);
        std::vector<std::uint32_t> want;
        for (const MIDI::ScoreEvent& e : score.events) {
            // The real time in frames, with a small allowance for the
            // double's rounding at an exact boundary.
            if (e.IsNoteOn()) want.push_back(static_cast<std::uint32_t>(std::floor(e.seconds * 60 + 1e-9)));
        }
        std::vector<std::uint32_t> got;
        for (const Played& p : a.notes) got.push_back(p.on);
        EXPECT_EQ(got, want);
        // The song ends in the frame of the last End of Track.
        EXPECT_EQ(a.song->events.back().clock, static_cast<std::uint32_t>(std::floor(score.EndSeconds() * 60 + 1e-9)));
    }
}

// ---- Voices -------------------------------------------------------------------

TEST(ArrangeVoices, ChordSpreadsOverChannelsAndTheTenthNoteGoes) {
    auto bank = Bank();
    TrackBuilder t;
    const int chord[] = {36, 48, 52, 55, 60, 64, 67, 70, 72, 76};
    for (int key : chord) t.NoteOn(0, 0, key, 100);
    for (int key : chord) t.NoteOff(key == 36 ? 960 : 0, 0, key);
    t.EndOfTrack();
    Arranged a = Arrange(OneTrack(t), *bank);
    ASSERT_EQ(a.notes.size(), 9u);
    std::vector<int> sounding;
    for (const Played& p : a.notes) {
        EXPECT_EQ(p.on, 0u);
        sounding.push_back(p.note + fmtool::kOctave);
    }
    std::sort(sounding.begin(), sounding.end());
    EXPECT_EQ(sounding.front(), 36);  // the bass
    EXPECT_EQ(sounding.back(), 76);   // the top line
    EXPECT_EQ(a.result.summary.kept, 9u);
    EXPECT_EQ(a.result.summary.dropped[0][0], 1u);
}

TEST(ArrangeVoices, AFullChipCutsAnInnerVoiceNeverTheBassOrTheTop) {
    auto bank = Bank();
    TrackBuilder t;
    // Nine held notes; a new inner note on another channel cuts one of them,
    // as does the first of two unison notes struck together later; the second
    // doubles a note not yet heard and finds nothing it may cut.
    const int held[] = {40, 50, 52, 55, 57, 59, 62, 64, 79};
    for (int key : held) t.NoteOn(0, 0, key, 100);
    t.NoteOn(480, 1, 60, 100).NoteOn(240, 2, 66, 100).NoteOn(0, 3, 66, 100);
    t.NoteOff(240, 1, 60).NoteOff(0, 2, 66).NoteOff(0, 3, 66).EndOfTrack(480);
    Arranged a = Arrange(OneTrack(t), *bank);
    const fmtool::ArrangeSummary& s = a.result.summary;
    EXPECT_EQ(s.kept, 11u);
    EXPECT_EQ(s.cut, 2u);
    EXPECT_EQ(s.dropped[1][3], 1u) << "the doubled note";
    for (const Played& p : a.notes) {
        const int key = p.note + fmtool::kOctave;
        if (p.off != 30 && p.off != 45) continue;  // cut at 0.5 s or 0.75 s
        EXPECT_NE(key, 40) << "the bass is never cut";
        EXPECT_NE(key, 79) << "the top line is never cut";
    }
}

TEST(ArrangeVoices, EveryNoteLastsAFrameAndIsNotReplacedInIt) {
    auto bank = Bank();
    TrackBuilder t;
    // A grace note of 2 ms, then its main note at once; a same-tick on/off.
    t.NoteOn(0, 0, 60, 100).NoteOff(2, 0, 60).NoteOn(0, 0, 62, 100).NoteOff(480, 0, 62);
    t.NoteOn(0, 0, 64, 100).NoteOff(0, 0, 64).EndOfTrack(480);
    Arranged a = Arrange(OneTrack(t), *bank);
    ASSERT_EQ(a.notes.size(), 3u);
    std::vector<std::uint32_t> lastOn(10, ~0u);
    for (const Played& p : a.notes) {
        EXPECT_GE(p.off, p.on + 1) << "note " << p.note;
        EXPECT_NE(lastOn[p.channel], p.on) << "two notes start in one frame on channel " << p.channel;
        lastOn[p.channel] = p.on;
    }
}

// ---- Pitch --------------------------------------------------------------------

TEST(ArrangePitch, NotesSoundAtTheirWrittenPitchOrMoveByOctaves) {
    struct Case {
        int program;
        int key;
        int octaves;  // moved
        bool square;
    };
    const Case cases[] = {
        {0, 60, 0, false},   // piano: FM, written an octave down
        {0, 21, 0, false},   // the lowest piano key is in FM's range
        {0, 9, 1, false},    // below FM's block 0: up an octave
        {0, 119, -1, false}, // above block 7: down
        {80, 69, 0, true},   // a square lead
        {80, 40, 0, false},  // below the squares' longest period: FM instead
        {80, 106, 0, false}, // above where the squares' periods are in tune: FM
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("program " + std::to_string(c.program) + " key " + std::to_string(c.key));
        auto bank = Bank();
        TrackBuilder t;
        t.Program(0, 0, c.program).NoteOn(0, 0, c.key, 100).NoteOff(480, 0, c.key).EndOfTrack();
        Arranged a = Arrange(OneTrack(t), *bank);
        const std::vector<VGM::ChipNote> chip = Render(a, *bank);
        ASSERT_EQ(chip.size(), 1u);
        EXPECT_EQ(chip[0].channel >= VGM::kChipFirstSquare, c.square);
        EXPECT_NEAR(Cents(chip[0].hz, c.key + 12 * c.octaves), 0, 50);
        EXPECT_EQ(a.result.summary.moved, c.octaves != 0 ? 1u : 0u);
    }
}

TEST(ArrangePitch, BendsFollowTheNoteWithTheSourceRange) {
    // Range 5 semitones by RPN, bent to +1/2 and then -1: +250 and -500 cents.
    for (int program : {0, 80}) {
        SCOPED_TRACE(program == 0 ? "FM" : "square");
        auto bank = Bank();
        TrackBuilder t;
        t.Program(0, 0, program).Control(0, 0, 101, 0).Control(0, 0, 100, 0).Control(0, 0, 6, 5);
        t.NoteOn(0, 0, 69, 100).Bend(240, 0, 4096).Bend(240, 0, -8192).NoteOff(240, 0, 69).EndOfTrack();
        Arranged a = Arrange(OneTrack(t), *bank);
        const unsigned ch = a.notes.at(0).channel;
        const auto bends = a.Events(ch, 0xE0);
        ASSERT_EQ(bends.size(), 2u);
        const int written = a.notes[0].note;
        const fmtool::Chip chip = program == 0 ? fmtool::Chip::Fm : fmtool::Chip::Square;
        EXPECT_NEAR(Cents(fmtool::ChipHz(chip, written, bends[0].bend()), 69), 250, 15);
        EXPECT_NEAR(Cents(fmtool::ChipHz(chip, written, bends[1].bend()), 69), -500, 15);
        // The range is written on the chip channel before its first bend.
        const auto cc = a.Events(ch, 0xB0);
        auto it = std::find_if(cc.begin(), cc.end(), [](const MIDI::DMIDI_EVENT& e) { return e.data1 == 6; });
        ASSERT_NE(it, cc.end());
        EXPECT_EQ(it->data2, fmtool::kChipBendRange);
    }
}

// ---- Loudness, pedal, pan -----------------------------------------------------

TEST(ArrangeExpression, LoudnessPedalAndPanFollowTheSource) {
    auto bank = Bank();
    TrackBuilder t;
    // Channel 1 (FM): loud, then soft velocity, then volume halved.
    t.NoteOn(0, 0, 60, 127).NoteOff(100, 0, 60).NoteOn(0, 0, 60, 64).NoteOff(100, 0, 60);
    t.Control(0, 0, 7, 64).NoteOn(0, 0, 60, 127).NoteOff(100, 0, 60);
    // Channel 2 (lead, a square): expression before each note follows CC11.
    t.Program(0, 1, 80).NoteOn(0, 1, 72, 127).NoteOff(100, 1, 72);
    t.Control(0, 1, 11, 40).NoteOn(0, 1, 72, 127).NoteOff(100, 1, 72);
    // Channel 3: pedal holds a released note until it is lifted; hard right.
    t.Control(0, 2, 10, 120).Control(0, 2, 64, 127).NoteOn(0, 2, 48, 100).NoteOff(60, 2, 48);
    t.Control(900, 2, 64, 0).EndOfTrack(100);
    Arranged a = Arrange(OneTrack(t), *bank);

    std::vector<int> fmVelocity;
    for (const Played& p : a.On(0, 5)) {
        if (p.note + 12 == 60) fmVelocity.push_back(p.velocity);
    }
    ASSERT_EQ(fmVelocity.size(), 3u);
    EXPECT_EQ(fmVelocity[0], 127);
    EXPECT_LT(fmVelocity[1], fmVelocity[0]);
    EXPECT_LT(fmVelocity[2], fmVelocity[0]);

    const auto squares = a.On(6, 8);
    ASSERT_EQ(squares.size(), 2u);
    std::vector<int> expression;
    for (const MIDI::DMIDI_EVENT& e : a.Events(squares[0].channel, 0xB0)) {
        if (e.data1 == 11) expression.push_back(e.data2);
    }
    ASSERT_EQ(expression.size(), 2u);
    EXPECT_GT(expression[0], expression[1]) << "CC11 40 is quieter";
    EXPECT_EQ(15 - expression[0] / 8, 3) << "the song's loudest level sits 6 dB below the squares' full one";

    for (const Played& p : a.notes) {
        if (p.note + 12 != 48) continue;
        EXPECT_EQ(p.off, 1460u * 60 / 960) << "held by the pedal until tick 1460";
        bool right = false;
        for (const MIDI::DMIDI_EVENT& e : a.Events(p.channel, 0xB0)) right |= e.data1 == 10 && e.data2 == 127;
        EXPECT_TRUE(right) << "pan 120 is hard right";
    }
}

// ---- Drums --------------------------------------------------------------------

TEST(ArrangeDrums, CoincidingHitsShareTheNoiseAndToneChannels) {
    struct Case {
        const char* name;
        std::vector<int> bank_programs;
        std::vector<int> keys;  // struck together
        int noise_key;          // the key the noise channel plays
        int tone_hits;          // hits on FM or square channels
        bool fm;                // tone hits on FM
    };
    const Case cases[] = {
        {"kick and hat: a square kick", {}, {36, 42}, 42, 1, false},
        {"kick and hat: an FM kick", {118}, {42, 36}, 42, 1, true},
        {"snare wins over the hat", {}, {42, 38}, 38, 0, false},
        {"crash and tom", {117}, {49, 45}, 49, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto bank = Bank(c.bank_programs);
        TrackBuilder t;
        for (int key : c.keys) t.NoteOn(0, 9, key, 100);
        t.EndOfTrack(960);
        Arranged a = Arrange(OneTrack(t), *bank);
        const auto noise = a.On(kNoise, kNoise);
        ASSERT_EQ(noise.size(), 1u);
        EXPECT_EQ(noise[0].note, c.noise_key);
        const auto tone = a.On(0, 8);
        ASSERT_EQ(tone.size(), static_cast<std::size_t>(c.tone_hits));
        for (const Played& p : tone) EXPECT_EQ(p.channel < 6, c.fm);
        EXPECT_EQ(a.result.summary.hits_noise + a.result.summary.hits_tone, 1u + c.tone_hits);
        // The noise kind is set before the hit, and the hit decays to silence.
        ASSERT_FALSE(a.Events(kNoise, 0xC0).empty());
        EXPECT_GT(a.Events(kNoise, 0xB0).size(), 1u);
    }
}

// ---- Loop point, texts --------------------------------------------------------

TEST(ArrangeMarkers, LoopMarkersBecomeTheConvertersLoopPoint) {
    const std::string loopStart = "loopStart";
    struct Case {
        const char* name;
        TrackBuilder marker;
    };
    std::vector<Case> cases(3);
    cases[0].name = "controller 111";
    cases[0].marker.Control(960, 3, 111, 0);
    cases[1].name = "marker loopStart";
    cases[1].marker.Meta(960, 0x06, Bytes(loopStart.begin(), loopStart.end()));
    cases[2].name = "cue point loop";
    cases[2].marker.Meta(960, 0x07, Bytes{'L', 'o', 'o', 'p'});
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto bank = Bank();
        TrackBuilder notes;
        notes.NoteOn(0, 0, 60, 100).NoteOff(1920, 0, 60).EndOfTrack();
        c.marker.EndOfTrack(960);
        Arranged a = Arrange(BuildSmf(1, 480, {notes, c.marker}), *bank);
        const auto loops = a.Events(15, 0xB0);
        ASSERT_FALSE(loops.empty());
        EXPECT_EQ(loops[0].data1, 56);
        EXPECT_EQ(loops[0].clock, 60u);  // 960 ticks at 120 BPM: one second
        VGMOUT vgm;
        MIDI::RenderSong(a.song.get(), bank.get(), &vgm);
        EXPECT_EQ(vgm.LoopStartSamples(), 60u * 735);
    }
}

TEST(ArrangeMarkers, NamesAndTextsAreKept) {
    auto bank = Bank();
    const std::string name = "Title", copyright = "(c) Someone", text = "a note";
    TrackBuilder t;
    t.Meta(0, 0x03, Bytes(name.begin(), name.end())).Meta(0, 0x02, Bytes(copyright.begin(), copyright.end()));
    t.Meta(480, 0x01, Bytes(text.begin(), text.end())).NoteOn(0, 0, 60, 100).NoteOff(480, 0, 60).EndOfTrack();
    Arranged a = Arrange(OneTrack(t), *bank);
    MIDI::Score out;
    ASSERT_TRUE(MIDI::ReadScore(a.result.smf.data(), a.result.smf.size(), out));
    EXPECT_EQ(out.texts.at(0), name);  // the first track name: the title
    EXPECT_NE(std::find(out.texts.begin(), out.texts.end(), copyright), out.texts.end());
    EXPECT_NE(std::find(out.texts.begin(), out.texts.end(), text), out.texts.end());
}

// The arranged file keeps the source's bytes and gives the same tag: its
// titles are the conductor's only track names; the source's part names
// become instrument names, so a Japanese part name is not read as its title.
TEST(ArrangeMarkers, TheArrangedFileHasTheSameTitles) {
    auto bank = Bank();
    const std::string sjisTitle = "\x89\xB9\x8A\x79", english = "Music", sjisPart = "\x83\x73\x83\x41\x83\x6D";
    const struct {
        std::vector<std::string> conductor_names;
        std::string title, title_japanese;
    } cases[] = {
        {{sjisTitle, english}, "Music", "音楽"},
        {{sjisTitle}, "", "音楽"},
        {{}, "fallback", ""},
    };
    for (const auto& c : cases) {
        TrackBuilder conductor, part;
        for (const std::string& n : c.conductor_names) conductor.Meta(0, 0x03, Bytes(n.begin(), n.end()));
        conductor.EndOfTrack();
        part.Meta(0, 0x03, Bytes(sjisPart.begin(), sjisPart.end())).NoteOn(0, 0, 60, 100).NoteOff(480, 0, 60).EndOfTrack();
        MIDI::Score source;
        const Bytes smf = BuildSmf(1, 480, {conductor, part});
        ASSERT_TRUE(MIDI::ReadScore(smf.data(), smf.size(), source));
        Arranged a = Arrange(smf, *bank);
        MIDI::Score out;
        ASSERT_TRUE(MIDI::ReadScore(a.result.smf.data(), a.result.smf.size(), out));
        for (const MIDI::Score* score : {&source, &out}) {
            const fmtool::SongTexts texts = fmtool::ReadSongTexts(*score, "fallback");
            EXPECT_EQ(texts.title, c.title);
            EXPECT_EQ(texts.title_japanese, c.title_japanese);
        }
        std::vector<std::string> names, instruments;
        for (const MIDI::ScoreEvent& e : out.events) {
            if (e.IsMeta() && e.track == 0 && e.data1 == 0x03) names.push_back(out.texts[e.payload]);
            if (e.IsMeta() && e.data1 == 0x04) instruments.push_back(out.texts[e.payload]);
        }
        EXPECT_EQ(names, c.conductor_names.empty() ? std::vector<std::string>{"fallback"} : c.conductor_names);
        EXPECT_EQ(instruments, std::vector<std::string>{sjisPart});
    }
}

// ---- Any song -----------------------------------------------------------------

// Random songs over every channel, tempo changes and controllers: the
// arranged file is accepted, every note starts in its source frame (or one
// late), lasts a frame, and no channel starts two notes in one frame.
TEST(ArrangeAnySong, RandomSongsArrangeIntoPlayableFiles) {
    std::mt19937 rng(14);
    auto bank = Bank({118, 117});
    for (int song = 0; song < 40; ++song) {
        SCOPED_TRACE("song " + std::to_string(song));
        TrackBuilder t;
        std::uniform_int_distribution<int> ch(0, 15), key(0, 127), vel(0, 127), delta(0, 40), kind(0, 9);
        for (int i = 0; i < 300; ++i) {
            const int c = ch(rng), d = delta(rng);
            switch (kind(rng)) {
                case 0: t.Tempo(d, 200000 + 10000 * static_cast<std::uint32_t>(vel(rng))); break;
                case 1: t.Control(d, c, std::vector<int>{7, 11, 64, 10, 111, 6, 121}[vel(rng) % 7], vel(rng)); break;
                case 2: t.Bend(d, c, key(rng) * 128 - 8192); break;
                case 3: t.Program(d, c, key(rng)); break;
                case 4:
                case 5: t.NoteOff(d, c, key(rng)); break;
                default: t.NoteOn(d, c, key(rng), vel(rng)); break;
            }
        }
        t.EndOfTrack(delta(rng));
        const Bytes smf = OneTrack(t, static_cast<std::uint16_t>(24 + 24 * (song % 20)));
        MIDI::Score score;
        ASSERT_TRUE(MIDI::ReadScore(smf.data(), smf.size(), score));
        std::vector<bool> startsIn(static_cast<std::size_t>(score.EndSeconds() * 60) + 2, false);
        for (const MIDI::ScoreEvent& e : score.events) {
            if (e.IsNoteOn()) startsIn.at(static_cast<std::size_t>(e.seconds * 60 + 1e-9)) = true;
        }
        Arranged a = Arrange(smf, *bank);
        ASSERT_TRUE(a.song);
        std::vector<std::uint32_t> lastOn(10, ~0u);
        for (const Played& p : a.notes) {
            EXPECT_TRUE(startsIn.at(p.on) || (p.on > 0 && startsIn.at(p.on - 1))) << "frame " << p.on;
            EXPECT_GE(p.off, p.on + 1);
            EXPECT_NE(lastOn[p.channel], p.on);
            lastOn[p.channel] = p.on;
        }
    }
}

}  // namespace
