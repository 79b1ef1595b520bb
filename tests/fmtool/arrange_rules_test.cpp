// The arranger's rules one by one: General MIDI programs, the noise channel's
// choice of hit, levels and pan.
#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fmtool/arrange/chip_level.h"
#include "fmtool/arrange/frame_timeline.h"
#include "fmtool/arrange/gm_programs.h"
#include "fmtool/arrange/noise_channel.h"
#include "fmtool/arrange/note_writer.h"
#include "fmtool/arrange/voice_requests.h"
#include "instruments/fminst.h"
#include "smf/smf_score.h"

namespace {

// A voice of algorithm 7 whose loudest carrier has total level `tl`.
FmVoice VoiceAt(int tl) {
    FmVoice v;
    v.op[3].tl = tl;
    return v;
}

// A bank where only `programs` have an audible voice.
std::unique_ptr<FMInst> BankWith(const std::vector<int>& programs) {
    auto bank = std::make_unique<FMInst>();
    for (int p : programs) bank->voice[p].op[3].tl = 0;
    return bank;
}

fmtool::SourceNote NoteAt(std::uint64_t start, std::uint64_t end, int channel, int program, int key = 60) {
    fmtool::SourceNote n;
    n.start.frame = start;
    n.end.frame = end;
    n.channel = static_cast<std::uint8_t>(channel);
    n.program = static_cast<std::uint8_t>(program);
    n.key = static_cast<std::uint8_t>(key);
    return n;
}

fmtool::DrumHit HitAt(std::uint64_t frame, int key) {
    fmtool::DrumHit h;
    h.start.frame = frame;
    h.key = static_cast<std::uint8_t>(key);
    return h;
}

// ---- Levels and pan ------------------------------------------------------------

// The converter's volume for a velocity, and the attenuation in dB it gives
// a carrier of total level `tl`: 127 - (127 - tl) x volume / 127, 0.75 dB a step.
int ConverterVolume(int velocity) { return 97 + 30 * velocity / 127; }
double FmAttenuationDb(int tl, int velocity) { return 0.75 * (127 - tl) * (127 - ConverterVolume(velocity)) / 127.0; }

TEST(ChipLevel, FmVelocityFollowsTheLevelDownToTheConvertersFloor) {
    struct Case {
        const char* name;
        int tl;
        double db;
        int velocity;
    };
    const Case cases[] = {
        {"full level", 0, 0, 127},
        {"louder than full is held at full", 0, 3, 127},
        {"6 dB down on a loud carrier", 0, -6, 94},
        {"6 dB down on a quieter carrier: more velocity per step", 64, -6, 60},
        {"beyond the reach of a quieter carrier: the floor", 64, -12, 1},
        {"silence: the floor, volume 97", 0, fmtool::kSilentDb, 1},
        {"a carrier just above silence is never scaled into it", 126, -20, 127},
        {"an inaudible voice", 127, -20, 127},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fmtool::FmVelocity(VoiceAt(c.tl), c.db), c.velocity);
    }
    // Every level within a voice's reach plays within half a step of it;
    // quieter ones play at the floor, never below it or louder.
    for (int tl : {0, 20, 64, 100}) {
        const double reach = FmAttenuationDb(tl, 1);
        int last = 127;
        for (double db = 0; db >= -40; db -= 0.25) {
            SCOPED_TRACE("tl " + std::to_string(tl) + ", " + std::to_string(db) + " dB");
            const int v = fmtool::FmVelocity(VoiceAt(tl), db);
            ASSERT_GE(v, 1);
            EXPECT_LE(v, last);
            last = v;
            if (-db <= reach) {
                EXPECT_NEAR(FmAttenuationDb(tl, v), -db, 0.375 + 1e-9);
            } else {
                EXPECT_EQ(ConverterVolume(v), 97);
            }
        }
    }
}

TEST(ChipLevel, SquareExpressionStepsTwoDecibelsAndNeverFallsSilent) {
    struct Case {
        double db;
        int attenuation;  // the converter's: 15 - expression / 8
    };
    const Case cases[] = {{3, 0},   {0, 0},   {-0.9, 0},  {-1.1, 1},  {-2, 1},   {-6, 3},
                          {-26, 13}, {-27, 14}, {-28, 14}, {-40, 14}, {fmtool::kSilentDb, 14}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.db) + " dB");
        const int e = fmtool::DcsgExpression(c.db);
        EXPECT_EQ(15 - e / 8, c.attenuation);
        EXPECT_EQ(e % 8, 7) << "the top of its step";
    }
}

TEST(ChipLevel, TheLoudestNoteOrHitPlaysAtFullLevel) {
    fmtool::Performance perf;
    EXPECT_EQ(fmtool::SongGain(perf), 0) << "an empty song";
    fmtool::SourceNote note;
    note.velocity_db = fmtool::kSilentDb;
    perf.notes.push_back(note);
    EXPECT_EQ(fmtool::SongGain(perf), 0) << "a silent song";
    note.velocity_db = -4;
    note.channel_db = -6;
    perf.notes.push_back(note);
    EXPECT_EQ(fmtool::SongGain(perf), 10);
    perf.hits.push_back(HitAt(0, 36));
    perf.hits.back().level_db = -3;
    EXPECT_EQ(fmtool::SongGain(perf), 3);
}

TEST(ChipPan, FmPansGoToTheNearestOfLeftCentreAndRight) {
    const int pans[][2] = {{0, 0}, {31, 0}, {32, 64}, {64, 64}, {95, 64}, {96, 127}, {127, 127}};
    for (const auto& p : pans) EXPECT_EQ(fmtool::NearestPan(p[0]), p[1]) << "pan " << p[0];
}

// ---- General MIDI programs ----------------------------------------------------

TEST(GmPrograms, WhichProgramsDecayAndWhichPreferASquare) {
    struct Case {
        int program;
        const char* name;
        bool decaying;
        bool square;
    };
    const Case cases[] = {
        {0, "acoustic grand piano", true, false},   {8, "celesta", true, false},
        {15, "dulcimer", true, false},              {16, "drawbar organ", false, false},
        {24, "nylon guitar", true, false},          {39, "synth bass 2", true, false},
        {44, "tremolo strings", false, false},      {45, "pizzicato strings", true, false},
        {47, "timpani", true, false},               {48, "string ensemble", false, false},
        {71, "clarinet", false, false},             {72, "piccolo", false, true},
        {79, "ocarina", false, true},               {80, "square lead", false, true},
        {87, "bass and lead", false, true},         {88, "new age pad", false, false},
        {103, "sci-fi", false, false},              {104, "sitar", true, false},
        {108, "kalimba", true, false},              {109, "bagpipe", false, false},
        {112, "tinkle bell", true, false},          {119, "reverse cymbal", true, false},
        {120, "guitar fret noise", false, false},   {127, "gunshot", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fmtool::Decaying(c.program), c.decaying);
        EXPECT_EQ(fmtool::PrefersSquare(c.program), c.square);
    }
}

TEST(GmPrograms, ASilentProgramPlaysTheNearestVoiceOfItsFamilyThenOfTheBank) {
    struct Case {
        const char* name;
        std::vector<int> audible;
        int program;
        int voice;
    };
    const Case cases[] = {
        {"its own voice", {0, 5, 20}, 5, 5},
        {"nearest in the family", {0, 5, 20}, 3, 5},
        {"family before a nearer voice outside it", {0, 9}, 7, 0},
        {"a tie goes to the lower", {0, 4}, 2, 0},
        {"no voice in the family: nearest in the bank", {0, 5, 20}, 40, 20},
        {"across the whole bank", {0, 5, 20}, 127, 20},
        {"a silent bank", {}, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto bank = BankWith(c.audible);
        EXPECT_EQ(fmtool::ProgramVoices(*bank).For(c.program), c.voice);
    }
}

TEST(GmPrograms, ADrumTakesTheFirstOfItsProgramsWithItsOwnVoice) {
    const int kick[2] = {118, 116};
    EXPECT_EQ(fmtool::ProgramVoices(*BankWith({116, 118})).FirstAudible(kick), 118);
    EXPECT_EQ(fmtool::ProgramVoices(*BankWith({116})).FirstAudible(kick), 116);
    // A nearby voice is no drum: no stand-in.
    EXPECT_EQ(fmtool::ProgramVoices(*BankWith({117})).FirstAudible(kick), -1);
}

// ---- Requests for the tone channels --------------------------------------------

TEST(VoiceRequests, NotesAskForTheirVoiceForTheirWholeLength) {
    auto bank = BankWith({0, 40});
    const fmtool::ProgramVoices voices(*bank);
    fmtool::Performance perf;
    perf.end.frame = 100;
    perf.notes = {
        NoteAt(0, 30, 0, 0),     // piano: its own voice, decays
        NoteAt(0, 0, 1, 73),     // flute, ends in its start frame: a square first, violin's voice on FM
        NoteAt(5, 500, 2, 41),   // viola beyond the song's end: the violin's voice
        NoteAt(6, 9, 3, 73),     // the flute again: its stand-in is noted once
        NoteAt(100, 120, 4, 0),  // in the last frame: nothing heard
    };
    const fmtool::SongRequests song = fmtool::BuildRequests(perf, voices);
    struct Want {
        int program;
        bool decaying, square;
        std::uint64_t start, end;
    };
    const Want want[] = {{0, true, false, 0, 30}, {40, false, true, 0, 1}, {40, false, false, 5, 100},
                         {40, false, true, 6, 9}};
    ASSERT_EQ(song.requests.size(), std::size(want));
    for (std::size_t i = 0; i < song.requests.size(); ++i) {
        SCOPED_TRACE("request " + std::to_string(i));
        const fmtool::VoiceRequest& r = song.requests[i];
        EXPECT_EQ(r.fm_program, want[i].program);
        EXPECT_EQ(r.decaying, want[i].decaying);
        EXPECT_EQ(r.prefers_square, want[i].square);
        EXPECT_EQ(r.start, want[i].start);
        EXPECT_EQ(r.end, want[i].end);
        EXPECT_FALSE(r.drum);
        EXPECT_FALSE(song.origins.at(r.source).drum);
        EXPECT_EQ(song.origins.at(r.source).index, i);
    }
    EXPECT_EQ(song.too_late[4], 1u);
    const std::vector<std::pair<int, int>> substitutes = {{73, 40}, {41, 40}};
    EXPECT_EQ(song.substitutes, substitutes);
}

TEST(VoiceRequests, DrumsWithAPitchAskForAToneChannelTheRestGoToTheNoise) {
    struct Case {
        const char* name;
        std::vector<int> bank;
        int key;
        std::uint64_t frame;  // of a song that ends in frame 100
        bool noise;
        int fm_program;       // asked for on a tone channel
        std::uint64_t end;
    };
    const Case cases[] = {
        {"a hi-hat has no pitch", {118}, 42, 0, true, -1, 0},
        {"a kick with a synth drum voice", {116, 118}, 36, 0, false, 118, 5},
        {"a kick with only taiko", {116}, 35, 0, false, 116, 5},
        {"a kick without a drum voice: a square", {0}, 36, 0, false, -1, 5},
        {"a tom with a melodic tom voice", {117, 118}, 45, 10, false, 117, 18},
        {"a tom ending with the song", {117}, 45, 95, false, 117, 100},
        {"a cowbell is no skin: a square", {117, 118}, 56, 0, false, -1, 4},
        {"a kick in the last frame but one: the noise", {118}, 36, 99, true, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto bank = BankWith(c.bank);
        fmtool::Performance perf;
        perf.end.frame = 100;
        perf.hits = {HitAt(c.frame, c.key)};
        const fmtool::SongRequests song = fmtool::BuildRequests(perf, fmtool::ProgramVoices(*bank));
        if (c.noise) {
            EXPECT_TRUE(song.requests.empty());
            EXPECT_EQ(song.noise_hits, std::vector<std::uint32_t>{0});
            continue;
        }
        ASSERT_EQ(song.requests.size(), 1u);
        EXPECT_TRUE(song.noise_hits.empty());
        const fmtool::VoiceRequest& r = song.requests[0];
        EXPECT_TRUE(r.drum);
        EXPECT_TRUE(song.origins.at(r.source).drum);
        EXPECT_EQ(r.fm_program, c.fm_program);
        EXPECT_EQ(r.prefers_square, c.fm_program < 0);
        EXPECT_EQ(r.start, c.frame);
        EXPECT_EQ(r.end, c.end);
    }
}

TEST(VoiceRequests, NotesAndHitsInTimeOrderTheNoteFirstInAFrame) {
    auto bank = BankWith({0, 118});
    fmtool::Performance perf;
    perf.end.frame = 100;
    perf.notes = {NoteAt(3, 10, 0, 0), NoteAt(7, 10, 0, 0)};
    perf.hits = {HitAt(3, 36), HitAt(5, 36)};
    const fmtool::SongRequests song = fmtool::BuildRequests(perf, fmtool::ProgramVoices(*bank));
    ASSERT_EQ(song.requests.size(), 4u);
    const bool drum[] = {false, true, true, false};
    const std::uint64_t start[] = {3, 3, 5, 7};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(song.requests[i].drum, drum[i]) << i;
        EXPECT_EQ(song.requests[i].start, start[i]) << i;
    }
}

// ---- The noise channel --------------------------------------------------------

TEST(NoiseChannel, OneHitAtATimeByPriorityThenLevelThenTime) {
    constexpr int kKick = 36, kSnare = 38, kLowFloorTom = 41, kClosedHat = 42, kLowTom = 45, kCrash = 49;
    struct Hit {
        std::uint64_t frame;
        int key;
        double db;
    };
    struct Turn {
        int key;
        std::uint64_t start, stop;
    };
    struct Case {
        const char* name;
        std::vector<Hit> hits;
        std::uint64_t end;
        std::vector<Turn> turns;
    };
    const Case cases[] = {
        {"a hit alone sounds its length", {{0, kSnare, 0}}, 100, {{kSnare, 0, 8}}},
        {"the snare wins over a louder hat", {{0, kClosedHat, 0}, {0, kSnare, -20}}, 100, {{kSnare, 0, 8}}},
        {"the kick wins over the snare", {{3, kSnare, 0}, {3, kKick, -20}}, 100, {{kKick, 3, 8}}},
        {"equal priority: the louder", {{0, kLowFloorTom, -12}, {0, kLowTom, -3}}, 100, {{kLowTom, 0, 8}}},
        {"equal priority and level: the first", {{0, kLowFloorTom, -3}, {0, kLowTom, -3}}, 100,
         {{kLowFloorTom, 0, 8}}},
        {"a weaker hit after the winner does not take over",
         {{0, kKick, 0}, {0, kClosedHat, 0}, {0, kSnare, 0}}, 100, {{kKick, 0, 5}}},
        {"a later stronger hit cuts a crash still ringing", {{0, kCrash, 0}, {4, kSnare, 0}}, 100,
         {{kCrash, 0, 4}, {kSnare, 4, 12}}},
        {"a later weaker hit cuts it too", {{0, kCrash, 0}, {10, kClosedHat, -30}}, 100,
         {{kCrash, 0, 10}, {kClosedHat, 10, 12}}},
        {"silence between hits", {{0, kSnare, 0}, {20, kClosedHat, 0}}, 100,
         {{kSnare, 0, 8}, {kClosedHat, 20, 22}}},
        {"the song's end stops a ringing hit", {{0, kCrash, 0}}, 6, {{kCrash, 0, 6}}},
        {"no turn from the last frame on", {{0, kCrash, 0}, {9, kKick, 0}, {12, kSnare, 0}}, 9,
         {{kCrash, 0, 9}}},
        {"no hits", {}, 100, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<fmtool::DrumHit> hits;
        for (const Hit& h : c.hits) {
            fmtool::DrumHit hit;
            hit.start.frame = h.frame;
            hit.key = static_cast<std::uint8_t>(h.key);
            hit.level_db = h.db;
            hits.push_back(hit);
        }
        const std::vector<fmtool::NoiseTurn> turns = fmtool::NoiseTurns(hits, c.end);
        ASSERT_EQ(turns.size(), c.turns.size());
        for (std::size_t t = 0; t < turns.size(); ++t) {
            const fmtool::DrumHit& hit = hits.at(turns[t].hit);
            EXPECT_EQ(hit.key, c.turns[t].key) << "turn " << t;
            EXPECT_EQ(hit.start.frame, c.turns[t].start) << "turn " << t;
            EXPECT_EQ(turns[t].stop, c.turns[t].stop) << "turn " << t;
        }
    }
}

// A hit written on the noise channel: its kind, then its level frame by frame
// (2 dB attenuation steps below the squares' full level) until it falls
// silent or its turn ends.
TEST(NoiseChannel, AHitFallsFrameByFrameUntilSilentOrCut) {
    constexpr std::uint64_t kStart = 3;
    struct Case {
        const char* name;
        int key;
        double db, gain;
        std::uint64_t stop;
        int kind;
        std::vector<int> attenuation;  // from its start frame on
    };
    const Case cases[] = {
        {"a closed hat, short and falling fast", 42, -6, 0, kStart + 2, 4, {9, 13}},
        {"a crash falls silent before its length", 49, -6, 0, kStart + 30, 4,
         {7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14}},
        {"a crash cut by the next hit", 49, -6, 0, kStart + 5, 4, {7, 7, 8, 8, 9}},
        {"the loudest kick: 6 dB below full", 36, 0, 0, kStart + 5, 2, {3, 6, 9, 12}},
        {"the song's gain raises a quiet kick as far", 36, -10, 10, kStart + 5, 2, {3, 6, 9, 12}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto bank = BankWith({});
        const fmtool::ProgramVoices voices(*bank);
        fmtool::ArrangedTracks tracks;
        fmtool::DrumHit hit = HitAt(kStart, c.key);
        hit.start.tick = fmtool::FirstTickOfFrame(kStart);
        hit.velocity = 100;
        hit.level_db = c.db;
        fmtool::NoteWriter(tracks, voices, c.gain).NoiseHit(hit, c.stop);
        const std::vector<std::uint8_t> smf = tracks.Finish(2000);
        MIDI::Score score;
        ASSERT_TRUE(MIDI::ReadScore(smf.data(), smf.size(), score));

        int program = -1, expression = 127;
        std::uint64_t on = 0, off = 0;
        std::vector<int> attenuation;
        for (const MIDI::ScoreEvent& e : score.events) {
            if (!e.IsChannel() || e.Channel() != fmtool::kNoiseChannel) continue;
            const std::uint64_t frame = fmtool::FrameOfTick(e.tick);
            if (on && !off) attenuation.resize(frame - on, 15 - expression / 8);
            if (e.Kind() == 0xC0) program = e.data1;
            if (e.Kind() == 0xB0 && e.data1 == 11) expression = e.data2;
            if (e.IsNoteOn()) {
                EXPECT_EQ(e.data1, c.key);
                on = frame;
            }
            if (e.IsNoteOff()) off = frame;
        }
        EXPECT_EQ(program, c.kind);
        EXPECT_EQ(on, kStart);
        EXPECT_EQ(off, kStart + c.attenuation.size());
        EXPECT_EQ(attenuation, c.attenuation);
    }
}

}  // namespace
