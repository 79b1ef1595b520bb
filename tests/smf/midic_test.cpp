#include "smf/midic.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/smf_builder.h"

using namespace testsupport;
using MIDI::DMIDI;
using MIDI::DMIDI_EVENT;
using MIDI::MIDIC;

namespace {

struct Converted {
    std::unique_ptr<DMIDI> song;
    std::string out, err;
};

Converted Read(const Bytes& file, unsigned resolution = 48) {
    Converted c;
    MIDIC reader;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    c.song = reader.read_smf(file.data(), file.size(), resolution);
    // The reader prints nothing: its verdict is the status, and its message.
    c.out = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    if (!c.song) c.err = std::string(MIDI::SmfMessage(reader.status())) + "\n";
    EXPECT_EQ(reader.status() == MIDI::SmfStatus::Ok, c.song != nullptr);
    return c;
}

// Reads and converts to frames; the song is null if either step rejects it.
Converted ReadFrames(const Bytes& file) {
    Converted c = Read(file);
    if (!c.song) return c;
    MIDIC reader;
    if (!reader.convert_clock_to_frame(c.song.get(), 60)) {
        c.song.reset();
        c.err = std::string(MIDI::SmfMessage(reader.status())) + "\n";
    }
    return c;
}

std::string Describe(const DMIDI_EVENT& e) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%u:%X/%02X/%d/%d", e.clock, e.channel, e.status, e.data1, e.data2);
    return buf;
}

std::vector<std::string> Describe(const DMIDI& song) {
    std::vector<std::string> out;
    for (const DMIDI_EVENT& e : song.events) out.push_back(Describe(e));
    return out;
}

const std::string kEof = "MIDIC: Unexpected end of file, abort...\n";

// A small valid format-1 file: tempo track plus one note track.
Bytes SmallSong() {
    TrackBuilder tempo, notes;
    tempo.Tempo(0, 500000).Meta(0, 0x03, {'t'}).EndOfTrack(96);
    notes.Program(0, 0, 3).NoteOn(0, 0, 60, 100).Sysex(10, {1, 2, 3}).Raw(38, {62, 90}).NoteOff(48, 0, 60)
        .EndOfTrack();
    return BuildSmf(1, 48, {tempo, notes});
}

// A one-track file with one note whose chunk declares `length` bytes.
Bytes OneNoteDeclaring(std::uint32_t length) {
    Bytes file = BuildSmfRaw(0, 1, 48, {{0x00, 0x90, 1, 1}});
    file.resize(18);
    AppendBe32(file, length);
    file.insert(file.end(), {0x00, 0x90, 1, 1});
    return file;
}

}  // namespace

TEST(MidicHeader, RejectsBadFilesWithTheirOwnMessage) {
    const Bytes good = SmallSong();
    Bytes badTag = good;
    badTag[0] = 'X';
    Bytes badLength = good;
    badLength[7] = 7;
    Bytes division0 = good;
    division0[12] = 0x80;  // bit 15 alone: no ticks per quarter note
    division0[13] = 0;
    Bytes badTrack = good;
    badTrack[14] = 'X';
    Bytes noStatus = BuildSmfRaw(0, 1, 48, {{0x00, 0x3C, 0x40}});

    const struct {
        const char* name;
        Bytes file;
        std::string err;
    } cases[] = {
        {"empty", {}, kEof},
        {"three bytes", {'M', 'T', 'h'}, kEof},
        {"tag only", {'M', 'T', 'h', 'd'}, kEof},
        {"not MThd", badTag, "MIDIC: HeaderChunk Illegal, abort...\n"},
        {"short not MThd", {'R', 'I', 'F', 'F', 0, 0}, "MIDIC: HeaderChunk Illegal, abort...\n"},
        {"length 7", badLength, "MIDIC: HeaderChunk Length Illegal, abort...\n"},
        {"header cut before division", Bytes(good.begin(), good.begin() + 12), kEof},
        {"division 0", division0, "MIDIC: HeaderChunk Division Illegal, abort...\n"},
        {"not MTrk", badTrack, "MIDIC: TrackChunk Illegal, abort...\n"},
        {"data byte first", noStatus, "MIDIC: Running status without status byte, abort...\n"},
        {"fewer tracks than announced", BuildSmfRaw(1, 3, 48, {{0x00, 0xFF, 0x2F, 0x00}}), kEof},
        {"chunk longer than file", OneNoteDeclaring(9), kEof},
        {"chunk length FFFFFFFF", OneNoteDeclaring(0xFFFFFFFF), kEof},
        {"65535 tracks announced", BuildSmfRaw(0, 65535, 48, {{0x00, 0xFF, 0x2F, 0x00}}), kEof},
        {"meta length past the end", BuildSmfRaw(0, 1, 48, {{0x00, 0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}}), kEof},
        {"sysex length past the end", BuildSmfRaw(0, 1, 48, {{0x00, 0xF0, 0x05, 1, 2}}), kEof},
        {"tempo bytes past the end", BuildSmfRaw(0, 1, 48, {{0x00, 0xFF, 0x51, 0x03, 0x07}}), kEof},
        {"note cut short", BuildSmfRaw(0, 1, 48, {{0x00, 0x90, 0x3C}}), kEof},
        {"delta time cut short", BuildSmfRaw(0, 1, 48, {{0x81, 0x82}}), kEof},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Converted r = Read(c.file);
        EXPECT_EQ(r.song, nullptr);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
}

TEST(MidicHeader, EveryTruncationOfAValidFileIsRejectedCleanly) {
    const Bytes good = SmallSong();
    ASSERT_NE(Read(good).song, nullptr);
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        SCOPED_TRACE(cut);
        Converted r = Read(Bytes(good.begin(), good.begin() + cut));
        EXPECT_EQ(r.song, nullptr);
        EXPECT_EQ(r.err, kEof);
    }
}

TEST(MidicEvents, AllChannelMessageKindsWithRunningStatus) {
    TrackBuilder t;
    t.Raw(0, {0x81, 60, 64})        // note off
        .Raw(0, {0x92, 61, 0})      // note on of velocity 0 stays a note on
        .Raw(0, {0xA3, 62, 5})      // key pressure
        .Raw(0, {0xB4, 7, 100})     // control change
        .Raw(0, {0xC5, 9})          // program change
        .Raw(0, {0xD6, 33})         // channel pressure
        .Raw(0, {0xE7, 0x00, 0x40}) // bend centre
        .Raw(0, {0x7F, 0x7F})       // running status: bend up full
        .Meta(0, 0x01, {'x'})       // meta and sysex keep the running status
        .Sysex(0, {0x7E, 0xF7})
        .Raw(0, {0x00, 0x00})       // bend down full
        .Raw(0, {0xCA, 200});       // a data byte above 127 is taken as it is
    Converted r = Read(BuildSmf(0, 48, {t}));
    ASSERT_NE(r.song, nullptr);
    EXPECT_EQ(Describe(*r.song), (std::vector<std::string>{
        "0:1/80/60/64", "0:2/90/61/0", "0:3/A0/62/5", "0:4/B0/7/100", "0:5/C0/9/0", "0:6/D0/33/0",
        "0:7/E0/0/0", "0:7/E0/255/31", "0:7/E0/0/224", "0:A/C0/200/0", "0:F/F0/255/255"}));
    EXPECT_EQ(r.song->events[7].bend(), 8191);
    EXPECT_EQ(r.song->events[8].bend(), -8192);
    EXPECT_EQ(r.song->timebase, 48u);
}

TEST(MidicEvents, TempoInExtendedPrecision) {
    const struct {
        std::uint32_t us;
        std::uint32_t bpm;
    } cases[] = {{500000, 120}, {400000, 150}, {1000000, 60}, {461538, 130}, {461539, 129},
                 {600000, 99},  {300000, 199}, {900, 66666 & 0xFFFF},
                 {1, 59999999 & 0xFFFF},  // 1/1000000 is inexact: just below 60000000
                 {0xFFFFFF, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.us);
        TrackBuilder t;
        t.Tempo(0, c.us);
        Converted r = Read(BuildSmf(0, 48, {t}));
        ASSERT_NE(r.song, nullptr);
        ASSERT_EQ(r.song->events.size(), 2u);
        const DMIDI_EVENT& e = r.song->events[0];
        EXPECT_TRUE(e.is_tempo());
        EXPECT_EQ(e.channel, 1);
        EXPECT_EQ(e.status, 0xF0);
        EXPECT_EQ(e.tempo(), c.bpm);
    }
}

TEST(MidicEvents, TempoZeroIsDroppedAndShortTempoReadsOnward) {
    TrackBuilder zero;
    zero.Tempo(0, 0).NoteOn(0, 0, 60, 1);
    Converted r = Read(BuildSmf(0, 48, {zero}));
    ASSERT_NE(r.song, nullptr);
    EXPECT_EQ(Describe(*r.song), (std::vector<std::string>{"0:0/90/60/1", "0:F/F0/255/255"}));

    // A set-tempo of declared length 0 takes its three bytes from what follows;
    // the next event still starts right after the length field.
    TrackBuilder shortTempo;
    shortTempo.Raw(0, {0xFF, 0x51, 0x00}).Raw(0x07, {0xA1, 0x20, 0x10});  // 07 A1 20 read as 500000 us
    Converted s = Read(BuildSmf(0, 48, {shortTempo}));
    ASSERT_NE(s.song, nullptr);
    ASSERT_EQ(s.song->events.size(), 3u);
    EXPECT_EQ(s.song->events[0].tempo(), 120u);
    EXPECT_EQ(Describe(s.song->events[1]), "7:1/A0/32/16");
}

TEST(MidicEvents, TracksMergeStablyAndTicksAreRescaled) {
    TrackBuilder a, b, c;
    a.NoteOn(10, 0, 1, 1).NoteOn(470, 0, 2, 1);   // ticks 10, 480
    b.NoteOn(9, 1, 3, 1).NoteOn(471, 1, 4, 1);    // ticks 9, 480
    c.NoteOn(0, 2, 5, 1).NoteOn(960, 2, 6, 1);    // ticks 0, 960
    // SMPTE bit set: the low 15 bits (480) are taken as ticks per quarter note.
    Converted r = Read(BuildSmf(2, 0x8000 | 480, {a, b, c}));
    ASSERT_NE(r.song, nullptr);
    EXPECT_EQ(Describe(*r.song), (std::vector<std::string>{
        "0:1/90/3/1", "0:2/90/5/1", "1:0/90/1/1", "48:0/90/2/1", "48:1/90/4/1", "96:2/90/6/1",
        "96:F/F0/255/255"}));
}

TEST(MidicEvents, ChunksAndEndEventEdges) {
    // The last event of a chunk runs past its declared length: the next
    // chunk is read where that event ended. Chunks past the announced count
    // are ignored.
    Bytes file = BuildSmfRaw(1, 2, 48, {{0x00, 0x90, 60, 1}, {0x05, 0x91, 61, 2}});
    file[21] = 3;  // the first chunk declares 3 of its 4 bytes
    file.insert(file.end(), {'J', 'U', 'N', 'K', 0, 0, 0, 0});
    Converted r = Read(file);
    ASSERT_NE(r.song, nullptr) << r.err;
    EXPECT_EQ(Describe(*r.song), (std::vector<std::string>{"0:0/90/60/1", "5:1/90/61/2", "5:F/F0/255/255"}));

    TrackBuilder onlyMeta;
    onlyMeta.Meta(500, 0x03, {'n'}).Sysex(9, {1}).EndOfTrack(7);
    Converted m = Read(BuildSmf(0, 48, {onlyMeta}));
    ASSERT_NE(m.song, nullptr);
    EXPECT_EQ(Describe(*m.song), (std::vector<std::string>{"0:F/F0/255/255"}));

    Converted none = Read(BuildSmfRaw(0, 0, 48, {}));
    ASSERT_NE(none.song, nullptr);
    EXPECT_EQ(none.song->events.size(), 1u);
}

TEST(MidicFrames, WorkedExampleWithATempoChange) {
    TrackBuilder tempo, notes;
    tempo.Tempo(96, 600000);  // 99 BPM from tick 96
    int last = 0;
    for (int tick : {0, 1, 5, 48, 96, 144, 192}) {
        notes.NoteOn(tick - last, 0, 60, 1);
        last = tick;
    }
    Converted r = ReadFrames(BuildSmf(1, 48, {tempo, notes}));
    ASSERT_NE(r.song, nullptr);
    std::vector<std::uint32_t> frames;
    for (const DMIDI_EVENT& e : r.song->events)
        if (e.status == 0x90) frames.push_back(e.clock);
    EXPECT_EQ(frames, (std::vector<std::uint32_t>{0, 0, 3, 30, 60, 96, 132}));
    EXPECT_EQ(r.song->events.back().clock, 132u);
    EXPECT_TRUE(r.song->events[4].is_tempo());  // the tempo event keeps its kind and data
    EXPECT_EQ(r.song->events[4].tempo(), 99u);
}

TEST(MidicFrames, DefaultTempoAndTwoTempoEventsOnOneTick) {
    TrackBuilder t;
    t.NoteOn(48, 0, 60, 1).Tempo(0, 250000).Tempo(0, 1000000).NoteOn(48, 0, 61, 1);
    Converted r = ReadFrames(BuildSmf(0, 48, {t}));
    ASSERT_NE(r.song, nullptr);
    // 120 BPM: a quarter note is 30 frames; then the later tempo (60 BPM) counts.
    EXPECT_EQ(r.song->events[0].clock, 30u);
    EXPECT_EQ(r.song->events[3].clock, 90u);
}

TEST(MidicFrames, SongLengthLimit) {
    const std::string tooLong = "MIDIC: Song too long, abort...\n";
    const struct {
        std::uint64_t delta;
        bool accepted;
    } cases[] = {
        {9349588, true},                    // end frame 5843492: the last sample count that fits
        {9349589, false},                   // end frame 5843493
        {0xFFFFFFFull, false},              // the largest four-byte delta time
        {std::uint64_t{1} << 62, false},    // a nine-byte delta time
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.delta);
        TrackBuilder t;
        t.NoteOn(c.delta, 0, 60, 1);
        Converted r = ReadFrames(BuildSmf(0, 48, {t}));
        EXPECT_EQ(r.song != nullptr, c.accepted);
        EXPECT_EQ(r.err, c.accepted ? "" : tooLong);
        if (r.song) {
            EXPECT_EQ(r.song->events.back().clock, 5843492u);
        }
    }
    // A long delta time before an event that yields nothing does not count.
    TrackBuilder quiet;
    quiet.NoteOn(0, 0, 60, 1).EndOfTrack(std::uint64_t{1} << 40);
    EXPECT_NE(ReadFrames(BuildSmf(0, 48, {quiet})).song, nullptr);
}
