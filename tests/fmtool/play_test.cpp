// fmtool play: the rendered length is the file's own to the sample, the audio
// files read back through libsndfile, mute and solo silence channels, and a
// failed run leaves an earlier file alone.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
        {{"once.vgm", "-o", "no/such/dir/x.wav"}, 1, "fmtool play: cannot write no/such/dir/x.wav: no such folder\n"},
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

// Whatever the options or the file ask, a run is bounded, never writes over
// its input and writes through a link instead of replacing it.
TEST_F(Play, HostileLengthsAndOutputsAreRefusedUpFront) {
    // A header that claims a day over one frame of data: the waits rule.
    Bytes claims = dir_.Read("once.vgm");
    claims[0x18] = 0x00, claims[0x19] = 0x00, claims[0x1A] = 0x00, claims[0x1B] = 0xF0;
    dir_.Write("claims.vgm", claims);
    // A loop of 20 minutes: 1000 passes would render for days.
    TrackBuilder t;
    t.Program(0, kFm, 0).NoteOn(0, kFm, 69, 127).Control(kSecond / 2, kFm, 56, 0).NoteOff(1200 * kSecond, kFm, 69);
    Convert("long.vgm", BuildSmf(0, 48, {t.EndOfTrack(0)}));
    symlink("once.vgm", dir_.File("to_input.wav").c_str());
    ASSERT_EQ(mkdir(dir_.File("sub.wav").c_str(), 0777), 0);
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    } cases[] = {
        {{"once.vgm", "--fade", "nan"}, 2, "--fade: nan is not a number from 0 to 3600"},
        {{"once.vgm", "--fade", "inf"}, 2, "--fade: inf is not a number"},
        {{"once.vgm", "--fade", "-1"}, 2, "--fade: -1 is not a number"},
        {{"once.vgm", "--loops", "1001"}, 2, "--loops"},
        {{"once.vgm", "-o", "to_input.wav"}, 1, "the output to_input.wav is the file played"},
        {{"long.vgm", "-o", "x.wav", "--loops", "1000"}, 2, "long.vgm: the rendering would last"},
        {{"long.vgm", "-o", "x.wav", "--loops", "4", "--rate", "192000"}, 1, "a WAV file holds at most 4 GiB"},
        {{"once.vgm", "-o", "sub.wav"}, 1, "cannot write sub.wav: is a folder"},
    };
    for (const Case& c : cases) {
        const RunResult r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[1] << " " << c.args[2];
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(dir_.Read("to_input.wav"), dir_.Read("once.vgm"));
    EXPECT_FALSE(dir_.Exists("x.wav"));

    const RunResult r = Run({"claims.vgm", "-o", "claims.wav"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadAudio(dir_.File("claims.wav")).info.frames, kTotal);
}

TEST_F(Play, WritesThroughLinksAndIntoDevices) {
    dir_.Write("real.wav", std::string("earlier"));
    symlink("real.wav", dir_.File("link.wav").c_str());
    symlink("/dev/null", dir_.File("null.wav").c_str());
    ASSERT_EQ(Run({"once.vgm", "-o", "link.wav"}).status, 0);
    ASSERT_EQ(Run({"once.vgm", "-o", "null.wav"}).status, 0);
    ASSERT_EQ(Run({"once.vgm", "-o", "null.wav"}).status, 0);
    char target[64] = {};
    ASSERT_GT(readlink(dir_.File("link.wav").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "real.wav");
    EXPECT_EQ(ReadAudio(dir_.File("real.wav")).info.frames, kTotal);
    struct stat st;
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
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
