// The sequencer driving real chip drivers into a real writer: what reaches
// the VGM stream for each kind of event.
#include "sequencer/midip.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "chips/dcsgdrv.h"
#include "chips/opn2drv.h"
#include "instruments/fminst.h"
#include "sequencer/render_song.h"
#include "tests/support/vgm_reader.h"
#include "vgm/vgmout.h"

using namespace testsupport;
using MIDI::DMIDI;
using MIDI::DMIDI_EVENT;

namespace {

DMIDI_EVENT Ev(std::uint32_t frame, int channel, int status, int d1 = 0, int d2 = 0) {
    DMIDI_EVENT e;
    e.clock = frame;
    e.channel = static_cast<std::uint8_t>(channel);
    e.status = static_cast<std::uint8_t>(status);
    e.data1 = static_cast<std::uint8_t>(d1);
    e.data2 = static_cast<std::uint8_t>(d2);
    return e;
}

DMIDI_EVENT Bend(std::uint32_t frame, int channel, int bend) {
    const auto raw = static_cast<std::uint16_t>(bend);
    return Ev(frame, channel, 0xE0, raw & 0xFF, raw >> 8);
}

DMIDI_EVENT End(std::uint32_t frame) { return Ev(frame, 15, 0xF0, 0xFF, 0xFF); }

const std::string kFmInit = "52 24 00 52 25 00 52 26 00 52 27 3F 52 22 0A";

class Sequencer : public testing::Test {
protected:
    Sequencer() {
        // Voice 0: algorithm 4 (carriers C1 and C2) with known levels.
        bank.voice[0].con = 4;
        bank.voice[0].op[2].tl = 10;
        bank.voice[0].op[3].tl = 0;
        fm.InstSet(&bank);
        fm.VgmSet(&vgm);
        dcsg.VgmSet(&vgm);
        player.SetFmdrv(&fm);
        player.SetDcsgdrv(&dcsg);
        player.SetVgmout(&vgm);
    }

    // Renders the events (frame clocks) and returns the stream after the FM
    // chip's initial writes.
    std::string Play(std::vector<DMIDI_EVENT> events) {
        song.timebase = 48;
        song.events = std::move(events);
        player.SetConvertedSmf(&song);
        player.Render();
        const std::string all = Hex(vgm.Stream());
        EXPECT_EQ(all.substr(0, kFmInit.size()), kFmInit);
        return all.size() > kFmInit.size() ? all.substr(kFmInit.size() + 1) : "";
    }

    // Renders the events through the whole render stage into a new writer
    // and returns the stream after the FM chip's initial writes.
    std::string RenderFresh(std::vector<DMIDI_EVENT> events) {
        VGMOUT fresh;
        DMIDI s;
        s.events = std::move(events);
        MIDI::RenderSong(&s, &bank, &fresh);
        const std::string all = Hex(fresh.Stream());
        EXPECT_EQ(all.substr(0, kFmInit.size()), kFmInit);
        return all.size() > kFmInit.size() ? all.substr(kFmInit.size() + 1) : "";
    }

    FMInst bank;
    VGMOUT vgm;
    OPN2DRV fm;
    DCSGDRV dcsg;
    MIDI::MIDIP player;
    DMIDI song;
};

}  // namespace

TEST_F(Sequencer, OnlyTheEndEventGivesOnlyTheEndMarker) {
    EXPECT_EQ(Play({End(0)}), "66");
    EXPECT_EQ(vgm.TotalSamples(), 0u);
}

TEST_F(Sequencer, FramesCloseWithOneWaitEachAndEventsGoBeforeTheirWait) {
    EXPECT_EQ(Play({Ev(0, 6, 0xB0, 11, 127), Ev(0, 6, 0x90, 69, 1), Ev(2, 6, 0x80, 69), Ev(2, 1, 0xF0, 100, 0),
                    End(3)}),
              // Expression on a silent channel is only remembered; note 69 then
              // sends period 127 and attenuation 0.
              "50 8F 50 07 50 90 "
              "62 62 50 9F 62 66");
    EXPECT_EQ(vgm.TotalSamples(), 3u * 735);
}

TEST_F(Sequencer, FmNoteOnRetunesSetsVolumeAndKeysOn) {
    // Velocity 100 -> volume 97 + 3000/127 = 120; algorithm 4 carriers.
    EXPECT_EQ(Play({Ev(0, 0, 0x90, 60, 100), End(0)}),
              "52 A4 2A 52 A0 83 52 48 11 52 4C 07 52 28 F0 66");
}

TEST_F(Sequencer, NoteOffRulesPerChannelKind) {
    const struct {
        const char* name;
        std::vector<DMIDI_EVENT> events;
        std::string stream;
    } cases[] = {
        {"velocity-0 note on for another key is ignored",
         {Ev(0, 0, 0x90, 60, 127), Ev(0, 0, 0x90, 62, 127), Ev(0, 0, 0x90, 60, 0), End(0)},
         "52 A4 2A 52 A0 83 52 48 0A 52 4C 00 52 28 F0 52 A4 2A 52 A0 D2 52 48 0A 52 4C 00 52 28 F0 66"},
        {"note off for any key releases",
         {Ev(0, 3, 0x90, 60, 127), Ev(0, 3, 0x80, 1), Ev(0, 3, 0x80, 60), End(0)},
         "53 A4 2A 53 A0 83 53 48 0A 53 4C 00 52 28 F4 52 28 04 66"},
        {"program change keys off and forgets the note",
         {Ev(0, 2, 0x90, 60, 127), Ev(0, 2, 0xC0, 200), Ev(0, 2, 0x90, 60, 0), End(0)},
         "52 A6 2A 52 A2 83 52 4A 0A 52 4E 00 52 28 F2 52 28 02 66"},
        {"tone note on over a sounding note re-keys",
         {Ev(0, 7, 0x90, 69, 1), Ev(0, 7, 0x90, 57, 1), Ev(0, 7, 0x90, 57, 0), End(0)},
         "50 AF 50 07 50 B0 50 BF 50 AE 50 0F 50 B0 50 BF 66"},
        {"channels 11-16 play nothing",
         {Ev(0, 10, 0x90, 60, 127), Ev(0, 15, 0xC0, 3), Ev(0, 12, 0xE0, 0, 0), Ev(0, 11, 0x80, 60), End(0)},
         "66"},
        {"pressure is ignored", {Ev(0, 0, 0xA0, 60, 1), Ev(0, 0, 0xD0, 5), End(0)}, "66"},
        {"noise programs, no bend on the noise channel",
         {Ev(0, 9, 0xC0, 6), Ev(0, 9, 0xE0, 0, 0), Ev(0, 9, 0x90, 40, 1), End(0)},
         "50 E4 50 E6 50 F0 66"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RenderFresh(c.events), c.stream);
    }
}

TEST_F(Sequencer, PitchBendByRangeForFmAndRawForTone) {
    const struct {
        int channel;
        std::vector<DMIDI_EVENT> setup;
        int bend;
        std::int32_t fmDetune;
        std::int32_t toneDetune;
    } cases[] = {
        {0, {}, 8191, 643, 0},
        {0, {}, -8192, -644, 0},
        {1, {Ev(0, 1, 0xB0, 101, 0), Ev(0, 1, 0xB0, 100, 0), Ev(0, 1, 0xB0, 6, 2)}, 8191, 107, 0},
        {1, {Ev(0, 1, 0xB0, 6, 2)}, -8192, -107, 0},
        {2, {Ev(0, 2, 0xB0, 6, 32)}, 8191, 8191 * 32 / 12 * 644 / 8192, 0},
        {2, {Ev(0, 2, 0xB0, 6, 33)}, 8191, 0, 0},  // above 32: bend off
        {3, {Ev(0, 3, 0xB0, 101, 127), Ev(0, 3, 0xB0, 100, 127), Ev(0, 3, 0xB0, 6, 2)}, 8191, 643, 0},
        {4, {Ev(0, 4, 0xB0, 101, 0), Ev(0, 4, 0xB0, 100, 1), Ev(0, 4, 0xB0, 6, 2), Ev(0, 4, 0xB0, 100, 0),
             Ev(0, 4, 0xB0, 6, 1)}, -8192, -53, 0},
        {7, {}, 4096, 0, 4096},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.channel);
        std::vector<DMIDI_EVENT> events = c.setup;
        events.push_back(Bend(0, c.channel, c.bend));
        events.push_back(End(0));
        MIDI::MIDIP p;
        OPN2DRV f;
        DCSGDRV d;
        f.InstSet(&bank);
        p.SetFmdrv(&f);
        p.SetDcsgdrv(&d);
        p.SetVgmout(&vgm);
        DMIDI s;
        s.events = events;
        p.SetConvertedSmf(&s);
        p.Render();
        if (c.channel < 6) {
            EXPECT_EQ(f.Channel(c.channel).detune, c.fmDetune);
        } else {
            EXPECT_EQ(d.Channel(c.channel - 6).detune, c.toneDetune);
        }
    }
}

TEST_F(Sequencer, ControllersReachTheirChipsOnlyOnTheirChannels) {
    const struct {
        const char* name;
        std::vector<DMIDI_EVENT> events;
        std::string stream;
    } cases[] = {
        {"pan on FM", {Ev(0, 4, 0xB0, 10, 0), Ev(0, 0, 0xB0, 10, 100)}, "53 B5 80 52 B4 40"},
        {"pan elsewhere", {Ev(0, 6, 0xB0, 10, 0), Ev(0, 12, 0xB0, 10, 0)}, ""},
        {"expression on tone and noise", {Ev(0, 9, 0xB0, 11, 64), Ev(0, 9, 0x90, 1, 1)}, "50 F7"},
        {"expression on FM and 11-16", {Ev(0, 0, 0xB0, 11, 64), Ev(0, 10, 0xB0, 11, 64)}, ""},
        {"ignored controllers", {Ev(0, 0, 0xB0, 0, 1), Ev(0, 0, 0xB0, 1, 1), Ev(0, 0, 0xB0, 64, 127),
                                 Ev(0, 0, 0xB0, 121, 0), Ev(0, 0, 0xB0, 123, 0), Ev(0, 0, 0xB0, 7, 0)}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<DMIDI_EVENT> events = c.events;
        events.push_back(End(0));
        EXPECT_EQ(RenderFresh(events), c.stream + (c.stream.empty() ? "66" : " 66"));
    }
}

TEST_F(Sequencer, PortamentoStepsAfterEachWait) {
    Play({Ev(0, 0, 0xB0, 5, 4), Ev(0, 0, 0x90, 60, 127), Ev(0, 0, 0x90, 72, 127), End(2)});
    const std::string s = Hex(vgm.Stream());
    // The glide's first step follows the first wait, before any later event.
    EXPECT_NE(s.find("52 28 F0 52 A4 2A 52 A0 83 62 52 A4 2B 52 A0 23 62 52 A4 2B 52 A0 C3 66"), std::string::npos)
        << s;
}

TEST_F(Sequencer, LoopPointFromAnyChannelAtItsPlaceInTheFrame) {
    Play({Ev(0, 0, 0x90, 60, 127), Ev(1, 13, 0xB0, 56, 0), Ev(1, 7, 0x90, 69, 1), End(4)});
    // Everything of frame 0, then one wait, is before the loop point.
    EXPECT_EQ(vgm.LoopOffset(), 15u + 15u + 1u);
    EXPECT_EQ(vgm.LoopStartSamples(), 735u);
    EXPECT_EQ(player.State(13).ccVolume, 0);
}

TEST_F(Sequencer, AListThatGoesBackInTimePlaysOnWithoutRunningAway) {
    Play({Ev(3, 6, 0x90, 69, 1), Ev(1, 6, 0x80, 69), End(3)});
    EXPECT_EQ(vgm.TotalSamples(), 3u * 735);
}

// Once the writer is full the render stops: the rest of the song is never
// played, however long, and the end marker is not written.
TEST(RenderLimits, RenderStopsOnceTheWriterIsFull) {
    FMInst bank;
    DMIDI song;
    song.events.assign(1000000, Ev(0, 0, 0xC0, 0));
    song.events.push_back(Ev(5000000, 0, 0x90, 60, 100));
    song.events.push_back(End(5000000));
    VGMOUT vgm(1000);
    MIDI::RenderSong(&song, &bank, &vgm);
    EXPECT_TRUE(vgm.Full());
    EXPECT_LE(vgm.Stream().size(), 1000u + 3);  // the command that passed the limit
    EXPECT_EQ(vgm.TotalSamples(), 0u);
}

// The register shadow belongs to the thread that renders: two renders on
// separate threads each leave their own writes in their own table, and a
// render on one thread leaves another thread's table as it was.
TEST(RenderThreads, EachThreadKeepsItsOwnRegisterShadow) {
    FMInst bank;
    bank.voice[0].con = 4;
    bank.voice[1].con = 2;
    bank.voice[1].fl = 5;
    // Two songs that leave different values in the same registers.
    auto song = [](int program, int note, std::uint32_t end) {
        DMIDI s;
        s.events = {Ev(0, 0, 0xC0, program), Ev(0, 0, 0x90, note, 100), Ev(end / 2, 0, 0x80, note), End(end)};
        return s;
    };
    struct Render {
        std::vector<std::uint8_t> stream;
        std::vector<std::uint8_t> shadow;
    };
    auto render = [&bank](DMIDI s) {
        VGMOUT vgm;
        MIDI::RenderSong(&s, &bank, &vgm);
        return Render{vgm.Stream(), std::vector<std::uint8_t>(&fm_block[0][0], &fm_block[0][0] + sizeof fm_block)};
    };
    // Each alone, on a fresh thread.
    Render aloneA, aloneB;
    std::thread([&] { aloneA = render(song(0, 60, 4000)); }).join();
    std::thread([&] { aloneB = render(song(1, 72, 3000)); }).join();
    ASSERT_NE(aloneA.shadow, aloneB.shadow);

    // Both at once, a few times over.
    for (int round = 0; round < 4; ++round) {
        Render a, b;
        std::thread ta([&] { a = render(song(0, 60, 4000)); });
        std::thread tb([&] { b = render(song(1, 72, 3000)); });
        ta.join();
        tb.join();
        EXPECT_EQ(a.stream, aloneA.stream);
        EXPECT_EQ(b.stream, aloneB.stream);
        EXPECT_EQ(a.shadow, aloneA.shadow);
        EXPECT_EQ(b.shadow, aloneB.shadow);
    }

    // A render here, then one on another thread: this thread's table is untouched.
    const Render here = render(song(0, 60, 4000));
    std::thread([&] { render(song(1, 72, 3000)); }).join();
    EXPECT_EQ(std::vector<std::uint8_t>(&fm_block[0][0], &fm_block[0][0] + sizeof fm_block), here.shadow);
}
