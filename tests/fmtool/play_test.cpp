// fmtool play: the rendered length is the file's own to the sample, the audio
// files read back through libsndfile, mute and solo silence channels, and a
// failed run leaves an earlier file alone.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <string>
#include <vector>

#include "fmtool/play/audio_render.h"
#include "tests/support/run_fmroll.h"
#include "tests/support/smf_builder.h"

namespace {

using namespace testsupport;

constexpr int kSecond = 96;  // ticks at division 48 and the default tempo
constexpr int kFm = 0;
constexpr int kSquare = 6;

// One FM note (and a square-wave note with `square`) for 2 s, the loop point
// at 0.5 s when `loop` is set.
Bytes Song(bool loop, bool square) {
    TrackBuilder t;
    t.Program(0, kFm, 0).Control(0, kSquare, 11, 127).NoteOn(0, kFm, 69, 127);
    if (square) t.NoteOn(0, kSquare, 69, 127);
    if (loop) t.Control(kSecond / 2, kFm, 56, 0);
    t.NoteOff(loop ? kSecond * 3 / 2 : kSecond * 2, kFm, 69);
    if (square) t.NoteOff(0, kSquare, 69);
    t.EndOfTrack(0);
    return BuildSmf(0, 48, {t});
}

struct Audio {
    bool ok = false;
    SF_INFO info{};
    std::vector<short> pcm;  // interleaved stereo
    double Rms(long from, long to) const {
        double sum = 0;
        long n = 0;
        for (long i = 2 * from; i < 2 * to && i < static_cast<long>(pcm.size()); ++i, ++n) sum += double(pcm[i]) * pcm[i];
        return n ? std::sqrt(sum / n) : 0;
    }
};

Audio ReadAudio(const std::string& path) {
    Audio a;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &a.info);
    if (!f) return a;
    a.pcm.resize(static_cast<std::size_t>(a.info.frames * a.info.channels));
    a.ok = sf_readf_short(f, a.pcm.data(), a.info.frames) == a.info.frames;
    sf_close(f);
    return a;
}

class Play : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.Write("bank.opm", std::string(kPlainBank));
        Convert("loop.vgm", Song(true, false));
        Convert("once.vgm", Song(false, false));
        Convert("both.vgm", Song(false, true));
    }
    void Convert(const std::string& name, const Bytes& song) {
        dir_.Write("song.mid", song);
        ASSERT_EQ(RunFmroll(dir_.path(), {"bank.opm", "song.mid"}).status, 0);
        dir_.Write(name, dir_.Read("test.vgm"));
    }
    RunResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), "play");
        return RunFmtool(dir_.path(), args);
    }
    TempDir dir_;
};

// The header's length: 2 s total; the loop is the last 1.5 s.
constexpr long kTotal = 2 * 44100;
constexpr long kLoop = kTotal * 3 / 4;

TEST_F(Play, LengthIsTheFilesOwnToTheSample) {
    struct Case {
        std::vector<std::string> args;
        long frames;
        int rate;
        bool fades;
    } cases[] = {
        {{"loop.vgm", "-o", "a.wav"}, kTotal + kLoop + 5 * 44100, 44100, true},
        {{"loop.vgm", "-o", "b.wav", "--loops", "0", "--fade", "0"}, kTotal, 44100, false},
        {{"loop.vgm", "-o", "c.flac", "--loops", "2", "--fade", "0.5", "--rate", "22050"},
         (kTotal + 2 * kLoop + 22050) / 2, 22050, true},
        {{"once.vgm", "-o", "d.wav", "--loops", "3"}, kTotal, 44100, false},
        {{"once.vgm", "-o", "e.wav", "--fade", "1"}, kTotal, 44100, true},
    };
    for (const Case& c : cases) {
        const RunResult r = Run(c.args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out + r.err, "");  // quiet when not on a terminal
        const Audio a = ReadAudio(dir_.File(c.args[2]));
        ASSERT_TRUE(a.ok) << c.args[2];
        EXPECT_EQ(a.info.frames, c.frames) << c.args[2];
        EXPECT_EQ(a.info.samplerate, c.rate);
        EXPECT_EQ(a.info.channels, 2);
        // Sound from the first moment to the end, or to silence at the end of a fade.
        const double start = a.Rms(0, 4410), end = a.Rms(c.frames - 50, c.frames);
        EXPECT_GT(start, 500) << c.args[2];
        if (c.fades)
            EXPECT_LT(end, start / 20) << c.args[2];
        else
            EXPECT_GT(end, start / 2) << c.args[2];
    }
    EXPECT_EQ(ReadAudio(dir_.File("c.flac")).info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
}

TEST_F(Play, StandardOutputIsAWavOfKnownLength) {
    const RunResult r = Run({"once.vgm", "-o", "-"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.out.size(), 44u + 4u * kTotal);
    dir_.Write("piped.wav", r.out);
    const Audio a = ReadAudio(dir_.File("piped.wav"));
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.info.frames, kTotal);
    dir_.Write("file.wav", std::string());
    ASSERT_EQ(Run({"once.vgm", "-o", "file.wav"}).status, 0);
    EXPECT_EQ(ReadAudio(dir_.File("file.wav")).pcm, a.pcm);
}

TEST_F(Play, MuteAndSoloSilenceChannels) {
    const auto rms = [this](std::vector<std::string> extra) {
        std::vector<std::string> args = {"both.vgm", "-o", "m.wav"};
        args.insert(args.end(), extra.begin(), extra.end());
        const RunResult r = Run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return ReadAudio(dir_.File("m.wav")).Rms(4410, kTotal - 4410);
    };
    const double all = rms({}), fm = rms({"--solo", "FM 1"}), psg = rms({"--solo", "psg"});
    EXPECT_GT(fm, 300);
    EXPECT_GT(psg, 300);
    EXPECT_GT(all, std::max(fm, psg));
    EXPECT_EQ(rms({"--mute", "fm1", "PSG"}), 0);
    EXPECT_NEAR(rms({"--mute", "PSG"}), fm, 1);
}

TEST_F(Play, FailuresLeaveAnEarlierFileAlone) {
    // A DAC read far outside the file: the player faults on it.
    Bytes hostile = dir_.Read("once.vgm");
    const Bytes seek = {0x52, 0x2B, 0x80, 0xE0, 0xFF, 0xFF, 0xFF, 0x7F, 0x81, 0x81};
    hostile.insert(hostile.begin() + 0x40, seek.begin(), seek.end());
    dir_.Write("hostile.vgm", hostile);
    // A square-wave chip clocked at 1 Hz: the player fails an assertion loading it.
    Bytes slow = dir_.Read("once.vgm");
    slow[0x0C] = 1, slow[0x0D] = slow[0x0E] = slow[0x0F] = 0;
    dir_.Write("slow.vgm", slow);
    dir_.Write("keep.wav", std::string("earlier"));
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    } cases[] = {
        {{"hostile.vgm", "-o", "keep.wav"}, 2, "fmtool play: hostile.vgm: the player failed on this file"},
        {{"slow.vgm", "-o", "keep.wav"}, 2, "fmtool play: slow.vgm cannot be played: the player failed on this file (Aborted)\n"},
        {{"bank.opm", "-o", "keep.wav"}, 2, "fmtool play: bank.opm is not a VGM file\n"},
        {{"once.vgm", "-o", "keep.wav", "--solo", "FM 7"}, 2, "no channel named \"FM 7\"; this file has FM 1"},
        {{"once.vgm", "-o", "keep.mp3"}, 2, "cannot tell the audio format of keep.mp3"},
        {{"once.vgm", "-o", "no/such/dir/x.wav"}, 1, "fmtool play: cannot write no/such/dir/x.wav\n"},
        {{"once.vgm", "--mute", "PSG", "--solo", "PSG"}, 2, "excludes"},
    };
    for (const Case& c : cases) {
        const RunResult r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[0];
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(dir_.Read("keep.wav"), Bytes({'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
    }
    EXPECT_FALSE(dir_.Exists("once.wav"));
}

TEST(PlayLength, PlanAndFade) {
    using fmtool::PlanLength;
    EXPECT_EQ(PlanLength(1000, 400, true, -1, -1).samples, 1400u + 5 * 44100);
    EXPECT_EQ(PlanLength(1000, 400, true, 3, 0).samples, 2200u);
    EXPECT_EQ(PlanLength(1000, 5000, true, 1, 0).samples, 2000u);  // a loop longer than the file is the file
    EXPECT_EQ(PlanLength(1000, 0, true, 1, 0).samples, 1000u);     // a loop of nothing does not loop
    EXPECT_EQ(PlanLength(1000, 400, false, 2, 1).fade_samples, 1000u);
    EXPECT_EQ(fmtool::AtRate(44100, 48000), 48000u);

    std::vector<std::int16_t> pcm(2 * 10, 1000);
    fmtool::ApplyFade(pcm.data(), 10, 0, 10, 4);
    EXPECT_EQ(pcm[2 * 5], 1000);
    EXPECT_EQ(pcm[2 * 6], 1000);
    EXPECT_LT(pcm[2 * 7], 1000);
    EXPECT_LT(pcm[2 * 9], pcm[2 * 8]);
    EXPECT_LT(pcm[2 * 9], 100);
}

}  // namespace
