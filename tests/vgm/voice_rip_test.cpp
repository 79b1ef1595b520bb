// Ripping voices from VGM files: a song converted with a known bank gives
// back each voice it played, register for register, and converting again
// with the ripped bank writes the same file; streams written by other tools
// (old versions, partial key-ons, the DAC) are read as the chip would.
#include "vgm/voice_rip.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

#include "chips/ym2612_map.h"
#include "instruments/fminst.h"
#include "sequencer/render_song.h"
#include "smf/read_song.h"
#include "tests/support/run_fmroll.h"
#include "tests/support/smf_builder.h"
#include "vgm/vgmout.h"

namespace {

using testsupport::Bytes;
using testsupport::TrackBuilder;
using voiceformat::ToImage;
using voiceformat::VoiceImage;

Bytes Convert(const Bytes& smf, FMInst& bank) {
    std::unique_ptr<MIDI::DMIDI> song = MIDI::ReadSong(smf.data(), smf.size());
    EXPECT_TRUE(song);
    VGMOUT vgm;
    MIDI::RenderSong(song.get(), &bank, &vgm);
    return vgm.Image();
}

VGM::VoiceRip Rip(const Bytes& image) {
    VGM::VoiceRip rip;
    std::string error;
    EXPECT_TRUE(VGM::RipVoicesFromMemory(image.data(), image.size(), rip, error)) << error;
    return rip;
}

// Six FM channels changing programs between notes at full velocity: each
// channel c plays programs (c + k) % 8 in turn, so the order of first use is
// known and every program is heard on several channels.
Bytes ProgramTour() {
    TrackBuilder t;
    for (int k = 0; k < 4; ++k) {
        for (int c = 0; c < 6; ++c) t.Program(0, c, (c + 2 * k) % 8).NoteOn(0, c, 48 + 5 * c, 127);
        for (int c = 0; c < 6; ++c) t.NoteOff(c == 0 ? 24 : 0, c, 48 + 5 * c);
    }
    t.EndOfTrack(4);
    return testsupport::BuildSmf(0, 48, {t});
}

TEST(VoiceRip, ASongGivesBackItsBankAndConvertsAgainToTheSameFile) {
    FMInst bank;
    ASSERT_EQ(bank.Load(testsupport::SourcePath("examples/demo.opm").c_str()), FMInst::kLoadOk);
    const Bytes smf = ProgramTour();
    const Bytes first = Convert(smf, bank);
    const VGM::VoiceRip rip = Rip(first);

    ASSERT_EQ(rip.voices.size(), 8u);
    EXPECT_EQ(rip.key_ons, 24u);
    // First use: channels 0-5 take programs 0-5 in turn, then 6 and 7.
    auto fresh = std::make_unique<FMInst>();
    for (std::size_t i = 0; i < rip.voices.size(); ++i) {
        const int program = static_cast<int>(i);
        SCOPED_TRACE(program);
        EXPECT_TRUE(rip.voices[i].image == ToImage(bank.voice[program], {}));
        VoiceExtras extras;
        FmVoice& v = fresh->voice[program];
        voiceformat::FromImage(rip.voices[i].image, v, extras);
        EXPECT_EQ(rip.voices[i].notes, 3u);
    }
    EXPECT_EQ(rip.voices[0].first_channel, 0);
    EXPECT_EQ(rip.voices[6].first_channel, 4);
    EXPECT_EQ(rip.voices[6].channels, (1u << 0) | (1u << 2) | (1u << 4));
    EXPECT_GT(rip.voices[6].first_sample, 0u);
    EXPECT_EQ(Convert(smf, *fresh), first);
}

TEST(VoiceRip, TheDemoSongPlaysOnlyVoicesOfItsBank) {
    FMInst bank;
    ASSERT_EQ(bank.Load(testsupport::SourcePath("examples/demo.opm").c_str()), FMInst::kLoadOk);
    const testsupport::TempDir dir;
    const Bytes smf = [] {
        std::FILE* f = std::fopen(testsupport::SourcePath("examples/demo.mid").c_str(), "rb");
        Bytes b;
        int c;
        while (f && (c = std::fgetc(f)) != EOF) b.push_back(static_cast<std::uint8_t>(c));
        if (f) std::fclose(f);
        return b;
    }();
    const VGM::VoiceRip rip = Rip(Convert(smf, bank));
    ASSERT_FALSE(rip.voices.empty());
    // Carrier levels follow the velocities: compare the rest.
    auto timbre = [](VoiceImage image) {
        for (unsigned s = 0; s < 4; ++s) {
            if (YM2612::IsCarrier(YM2612::AlgorithmOf(image.fb_alg), s)) image.op[s].tl = 0;
        }
        return image;
    };
    for (const VGM::RippedVoice& v : rip.voices) {
        bool found = false;
        for (unsigned p = 0; p < 8; ++p) found = found || timbre(ToImage(bank.voice[p], {})) == timbre(v.image);
        EXPECT_TRUE(found);
    }
}

// A VGM 1.01 stream by hand, as another tool may write it: the YM2612 in
// the YM2413's clock field, data at 0x40.
Bytes OldVgm(const Bytes& commands) {
    Bytes file(0x40, 0);
    const char ident[] = "Vgm ";
    std::copy(ident, ident + 4, file.begin());
    file[0x08] = 0x01;
    file[0x09] = 0x01;
    file[0x10] = 0x35;  // 7670453 Hz
    file[0x11] = 0x0B;
    file[0x12] = 0x75;
    for (std::uint8_t b : commands) file.push_back(b);
    file.push_back(0x66);
    const std::uint32_t eof = static_cast<std::uint32_t>(file.size() - 4);
    for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<std::uint8_t>(eof >> (8 * i));
    return file;
}

TEST(VoiceRip, StreamsOfOtherToolsAreReadAsTheChipWouldPlayThem) {
    const Bytes commands = {
        0x52, 0xB0, 0x07,  // channel 0: algorithm 7 (all carriers)
        0x52, 0xB4, 0x80,  // left only: the output bits are not the voice's
        0x52, 0x40, 0x20, 0x52, 0x44, 0x30, 0x52, 0x48, 0x40, 0x52, 0x4C, 0x50,
        0x52, 0x28, 0x10,  // one operator keyed: a note all the same
        0x62,
        0x52, 0x28, 0x00,
        0x53, 0xB2, 0x07,  // channel 5 (port 1, offset 2), the same voice louder
        0x53, 0xB6, 0xC0,
        0x53, 0x42, 0x10, 0x53, 0x46, 0x20, 0x53, 0x4A, 0x30, 0x53, 0x4E, 0x40,
        0x52, 0x28, 0xF6,
        0x52, 0x28, 0xF6,  // keyed again while on: no new note
        0x52, 0x28, 0x06,
        0x52, 0x2B, 0x80,  // the DAC takes channel 5
        0x52, 0x28, 0xF6,
        0x52, 0x28, 0xF3,  // code 3 addresses no channel
        0x52, 0x90, 0x09,  // channel 0 gets SSG-EG on M1: a new voice
        0x52, 0x28, 0xF0,
    };
    const VGM::VoiceRip rip = Rip(OldVgm(commands));
    ASSERT_EQ(rip.voices.size(), 2u);
    EXPECT_EQ(rip.key_ons, 3u);
    const VGM::RippedVoice& a = rip.voices[0];
    EXPECT_EQ(a.notes, 2u);
    EXPECT_EQ(a.channels, (1u << 0) | (1u << 5));
    EXPECT_EQ(a.image.lfo_sens, 0u);
    EXPECT_EQ(a.image.op[0].tl, 0x10);  // the louder note's levels
    EXPECT_EQ(a.image.op[3].tl, 0x40);
    EXPECT_EQ(rip.voices[1].image.op[0].ssg_eg, 9u);
    EXPECT_EQ(rip.voices[1].first_sample, 735u);
}

TEST(VoiceRip, AFileOfEndlessNewVoicesKeepsABoundedNumber) {
    VGM::VoiceRipper ripper;
    ripper.Write(0, 0xB0, 0x00, 0);  // algorithm 0: M1 is a modulator
    const unsigned kVoices = VGM::VoiceRip::kMaxVoices + 76;
    for (unsigned i = 0; i < kVoices; ++i) {
        ripper.Write(0, 0x40, static_cast<std::uint8_t>(i % 128), i);
        ripper.Write(0, 0x30, static_cast<std::uint8_t>(i / 128), i);
        ripper.Write(0, 0x28, 0xF0, i);
        ripper.Write(0, 0x28, 0x00, i);
    }
    const VGM::VoiceRip& rip = ripper.result();
    EXPECT_EQ(rip.key_ons, kVoices);
    EXPECT_EQ(rip.voices.size(), VGM::VoiceRip::kMaxVoices);
    EXPECT_EQ(rip.unkept_key_ons, 76u);
    EXPECT_EQ(rip.voices.back().image.op[0].tl, (VGM::VoiceRip::kMaxVoices - 1) % 128);
}

TEST(VoiceRip, FilesThatAreNoVgmAreRefused) {
    VGM::VoiceRip rip;
    std::string error;
    const Bytes junk = {'n', 'o', 't', ' ', 'a', ' ', 'v', 'g', 'm'};
    EXPECT_FALSE(VGM::RipVoicesFromMemory(junk.data(), junk.size(), rip, error));
    EXPECT_NE(error.find("not a VGM file"), std::string::npos) << error;
    // Cut inside a command: what was read is kept, and the cut is said.
    Bytes cut = OldVgm({0x52, 0xB0, 0x07, 0x52, 0x28, 0xF0, 0x52});
    cut.pop_back();  // the end command
    ASSERT_TRUE(VGM::RipVoicesFromMemory(cut.data(), cut.size(), rip, error)) << error;
    EXPECT_EQ(rip.voices.size(), 1u);
    EXPECT_FALSE(rip.stopped.empty());
}

}  // namespace
