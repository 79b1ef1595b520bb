#include "vgm/chip_notes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// FM channel 0 with a loaded voice of algorithm 7, carriers at `tl`, both outputs on.
Bytes FmVoice(std::uint8_t tl, std::uint8_t stereo = 0xC0) {
    Bytes b = {0x52, 0xB0, 0x07, 0x52, 0xB4, stereo};
    // Byte by byte: GCC 12 at -O3 takes a list insert here for an overflow.
    for (std::uint8_t op = 0; op < 4; ++op) {
        b.push_back(0x52);
        b.push_back(static_cast<std::uint8_t>(0x40 + 4 * op));
        b.push_back(tl);
    }
    return b;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}
const Bytes kNote60 = {0x52, 0xA4, 0x2A, 0x52, 0xA0, 0x83};  // block 5, F-number 643
const Bytes kKeyOn = {0x52, 0x28, 0xF0};
const Bytes kKeyOff = {0x52, 0x28, 0x00};
const Bytes kFrame = {0x62};

struct Case {
    const char* name;
    Bytes stream;
    std::vector<std::uint8_t> channels;  // of the notes, by start
    std::vector<bool> audible;
    std::vector<std::uint64_t> samples;
};

TEST(ChipNotes, ReadsNotesOfBothChips) {
    const std::vector<Case> cases = {
        {"fm note", Cat({FmVoice(0), kNote60, kKeyOn, kFrame, kKeyOff}), {0}, {true}, {735}},
        {"fm carriers at 127", Cat({FmVoice(127), kNote60, kKeyOn, kFrame, kKeyOff}), {0}, {false}, {735}},
        {"fm outputs off", Cat({FmVoice(0, 0x00), kKeyOn, kFrame}), {0}, {false}, {735}},
        {"fm voice never loaded", Cat({kNote60, kKeyOn, kFrame}), {0}, {false}, {735}},
        {"fm re-key ends the note", Cat({FmVoice(0), kKeyOn, kKeyOn, kFrame}), {0, 0}, {true, true}, {0, 735}},
        {"fm port 1 channel", Cat({{0x53, 0xB2, 0x07}, {0x53, 0x4E, 0x00}, {0x52, 0x28, 0xF6}, {0x61, 0x10, 0x00}}),
         {5}, {true}, {16}},
        {"square", {0x50, 0x8F, 0x50, 0x07, 0x50, 0x90, 0x63, 0x50, 0x9F}, {6}, {true}, {882}},
        {"square period 0", {0x50, 0xA0, 0x50, 0x00, 0x50, 0xB0, 0x75, 0x50, 0xBF}, {7}, {false}, {6}},
        {"square volume change continues", {0x50, 0xC5, 0x50, 0x01, 0x50, 0xD0, 0x62, 0x50, 0xD7, 0x62}, {8}, {true},
         {1470}},
        {"noise", {0x50, 0xE4, 0x50, 0xF2, 0x62, 0x66, 0x50, 0xFF}, {9}, {true}, {735}},
        {"other chips and data blocks skipped",
         Cat({{0x54, 0x28, 0x78, 0x67, 0x66, 0x00, 0x02, 0x00, 0x00, 0x00, 0xAA, 0xBB, 0xB0, 0x28, 0x08}, FmVoice(0),
              kKeyOn, kFrame}),
         {0}, {true}, {735}},
        {"truncated command ends the stream", Cat({FmVoice(0), kKeyOn, kFrame, {0x52, 0x28}}), {0}, {true}, {735}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const VGM::ChipNotes read = VGM::ReadChipNotes(c.stream.data(), c.stream.size());
        ASSERT_EQ(read.notes.size(), c.channels.size());
        for (std::size_t i = 0; i < read.notes.size(); ++i) {
            EXPECT_EQ(read.notes[i].channel, c.channels[i]);
            EXPECT_EQ(read.notes[i].audible, c.audible[i]);
            EXPECT_EQ(read.notes[i].Samples(), c.samples[i]);
        }
    }
}

TEST(ChipNotes, PitchOfFmAndSquareNotes) {
    const Bytes stream = Cat({FmVoice(0), kNote60, kKeyOn, kFrame, {0x52, 0xA4, 0x2A, 0x52, 0xA0, 0x84}, kKeyOff,
                              {0x50, 0x8F, 0x50, 0x07, 0x50, 0x90, 0x62}});
    const VGM::ChipNotes read = VGM::ReadChipNotes(stream.data(), stream.size());
    ASSERT_EQ(read.notes.size(), 2u);
    // F-number 643 at block 5 is 522.6 Hz: the C an octave above note 60.
    EXPECT_NEAR(read.notes[0].hz, 522.6, 0.1);
    EXPECT_EQ(read.notes[0].note, 72);
    EXPECT_EQ(read.notes[0].pitch_changes, 1u);
    // Period 127: 3579545 / (32 * 127) = 880.8 Hz.
    EXPECT_NEAR(read.notes[1].hz, 880.8, 0.1);
    EXPECT_EQ(read.notes[1].note, 81);
    EXPECT_EQ(read.end, VGM::StreamEnd::EndOfData);
}

TEST(ChipNotes, StopsAtUnknownCommandsAndCutData) {
    const Bytes unknown = {0x62, 0x01, 0x62};
    VGM::ChipNotes read = VGM::ReadChipNotes(unknown.data(), unknown.size());
    EXPECT_EQ(read.end, VGM::StreamEnd::UnknownCommand);
    EXPECT_EQ(read.stopped_at, 1u);
    EXPECT_EQ(read.end_sample, 735u);
    // A data block that claims more bytes than there are.
    const Bytes block = {0x67, 0x66, 0x00, 0xFF, 0xFF, 0xFF, 0x7F, 0x00};
    read = VGM::ReadChipNotes(block.data(), block.size());
    EXPECT_EQ(read.end, VGM::StreamEnd::Truncated);
    EXPECT_EQ(VGM::CommandLength(block.data(), 3), 0u);
}

TEST(ChipNotes, TrackerTakesOneCommandAtATime) {
    std::vector<VGM::ChipNote> ended;
    VGM::ChipNoteTracker tracker([&ended](const VGM::ChipNote& n) { ended.push_back(n); });
    const Bytes stream = Cat({FmVoice(0), kKeyOn, {0x50, 0x8F, 0x50, 0x07, 0x50, 0x90}, {0x7F}, kKeyOff, {0x70}});
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t length = VGM::CommandLength(stream.data() + at, stream.size() - at);
        ASSERT_GT(length, 0u);
        EXPECT_TRUE(tracker.Command(stream.data() + at, length));
        at += length;
    }
    ASSERT_EQ(ended.size(), 1u);  // the FM note, ended by its key-off after 16 samples
    EXPECT_EQ(ended[0].Samples(), 16u);
    tracker.Finish();  // the square still sounds: it ends at the last wait
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_EQ(ended[1].channel, 6);
    EXPECT_EQ(ended[1].off_sample, 17u);
    const std::uint8_t end = 0x66;
    EXPECT_FALSE(tracker.Command(&end, 1));
}

// The SN76489's byte protocol as the decoder reads it back: which register a
// byte lands in, which bits it sets, and what makes a generator audible.
TEST(ChipNotes, Sn76489BytesLandWhereTheChipPutsThem) {
    const struct {
        const char* name;
        Bytes bytes;  // SN76489 bytes, each sent with command 0x50, then one frame
        std::uint8_t channel;
        bool audible;
        double hz;            // at the start; 0 for none
        unsigned changes;     // pitch changes while it sounded
        std::uint8_t noise_mode;
    } cases[] = {
        // Period 0x7F from a latch (low four bits) and a data byte (high six).
        {"latch then data byte", {0x8F, 0x07, 0x90}, 6, true, 3579545 / (32.0 * 0x7F), 0, 0},
        // A latch byte replaces only the low four bits; the high six stay.
        {"new low bits keep the high ones", {0x8F, 0x07, 0x90, 0x83}, 6, true, 3579545 / (32.0 * 0x7F), 1, 0},
        // A data byte after an attenuation latch sets the attenuation.
        {"data byte sets the attenuation", {0xAF, 0x07, 0xBF, 0x05}, 7, true, 3579545 / (32.0 * 0x7F), 0, 0},
        // Bit 6 of a data byte is not part of the period.
        {"data byte's top bits ignored", {0xCF, 0x47, 0xD0}, 8, true, 3579545 / (32.0 * 0x07F), 0, 0},
        // The noise sounds without a period and keeps its control bits.
        {"noise with its mode", {0xE5, 0xF0}, 9, true, 0, 0, 5},
        {"noise mode from the low three bits", {0xEE, 0xF3}, 9, true, 0, 0, 6},
        // A tone generator at period 0 is keyed but silent.
        {"period 0 is silent", {0x80, 0x00, 0x90}, 6, false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes stream;
        for (std::uint8_t b : c.bytes) stream.insert(stream.end(), {0x50, b});
        stream.push_back(0x62);
        const VGM::ChipNotes read = VGM::ReadChipNotes(stream.data(), stream.size());
        ASSERT_EQ(read.notes.size(), 1u);
        const VGM::ChipNote& n = read.notes[0];
        EXPECT_EQ(n.channel, c.channel);
        EXPECT_EQ(n.audible, c.audible);
        EXPECT_NEAR(n.hz, c.hz, 0.01);
        EXPECT_EQ(n.pitch_changes, c.changes);
        EXPECT_EQ(n.noise_mode, c.noise_mode);
        EXPECT_EQ(n.Samples(), 735u);
    }
}

// The YM2612's registers as the decoder reads them back: port and offset to
// channel, operator slots, the carriers of each algorithm.
TEST(ChipNotes, Ym2612RegistersLandOnTheirChannelAndOperator) {
    const struct {
        const char* name;
        Bytes stream;
        std::uint8_t channel;
        bool audible;
    } cases[] = {
        // Algorithm 4: C1 (slot 2, register 0x48) is a carrier, M2 (slot 1, 0x44) is not.
        {"algorithm 4 carrier C1", {0x52, 0xB1, 0x04, 0x52, 0x49, 0x10, 0x52, 0x4D, 0x7F, 0x52, 0x28, 0xF1}, 1, true},
        {"algorithm 4 modulator only", {0x52, 0xB1, 0x04, 0x52, 0x45, 0x10, 0x52, 0x49, 0x7F, 0x52, 0x4D, 0x7F,
                                        0x52, 0x28, 0xF1}, 1, false},
        // Port 1, offset 1 is channel 4, key code 5.
        {"port 1 channel", {0x53, 0xB1, 0x07, 0x53, 0x41, 0x00, 0x52, 0x28, 0xF5}, 4, true},
        // Offset 3 of a channel register addresses no channel: the voice of channel 2 stays unloaded.
        {"offset 3 addresses nothing", {0x52, 0xB3, 0x07, 0x52, 0x28, 0xF2}, 2, false},
        // Both stereo bits off: silent.
        {"stereo off", {0x52, 0xB0, 0x07, 0x52, 0xB4, 0x3F, 0x52, 0x28, 0xF0}, 0, false},
        // The DAC takes channel 6 over.
        {"DAC on channel 6", {0x53, 0xB2, 0x07, 0x52, 0x2B, 0x80, 0x52, 0x28, 0xF6}, 5, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes stream = c.stream;
        stream.push_back(0x62);
        const VGM::ChipNotes read = VGM::ReadChipNotes(stream.data(), stream.size());
        ASSERT_EQ(read.notes.size(), 1u);
        EXPECT_EQ(read.notes[0].channel, c.channel);
        EXPECT_EQ(read.notes[0].audible, c.audible);
    }
}

}  // namespace
