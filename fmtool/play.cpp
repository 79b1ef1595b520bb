// fmtool play: renders a VGM file to an audio file, or to standard output.
#include <CLI/CLI.hpp>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "fmtool/play/audio_file.h"
#include "fmtool/play/audio_render.h"
#include "fmtool/command_line.h"
#include "fmtool/commands.h"
#include "smf/smf_score.h"
#include "vgm/vgm_file.h"
#include "vgm/vgm_format.h"
#include "vgm/vgm_stream.h"

namespace fmtool {

namespace {

constexpr int kPlayed = 0;
constexpr int kWriteFailed = 1;
constexpr int kUnplayable = 2;

// The longest rendering: far beyond any song with its loops, short enough to
// end in minutes whatever the file or the options ask.
constexpr double kMaxRenderSeconds = 2 * 3600.0;

constexpr int kMinRate = 8000;
constexpr int kMaxRate = 192000;
constexpr std::size_t kBlockFrames = 4096;

struct PlayOptions {
    std::string file;
    std::string output;
    int loops = -1;
    double fade = -1;
    std::vector<std::string> mute, solo;
    int rate = VGM::kSampleRate;
};

// A progress bar on standard error, drawn only when it is a terminal and the
// rendering takes longer than a moment.
class Progress {
public:
    Progress(std::string name, double seconds)
        : name_(std::move(name)), seconds_(seconds), tty_(isatty(STDERR_FILENO) == 1),
          start_(Clock::now()), last_(start_) {}
    ~Progress() { Clear(); }

    void Update(std::uint64_t done, std::uint64_t total) {
        if (!tty_) return;
        const Clock::time_point now = Clock::now();
        if (now - start_ < kDelay || (shown_ && now - last_ < kInterval)) return;
        last_ = now;
        shown_ = true;
        const double part = total ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
        const int filled = static_cast<int>(part * kWidth);
        std::string bar(filled, '#');
        bar.resize(kWidth, '-');
        std::fprintf(stderr, "\r%s [%s] %3d%%  %s of %s", name_.c_str(), bar.c_str(), static_cast<int>(part * 100),
                     MIDI::FormatMinutes(part * seconds_).c_str(), MIDI::FormatMinutes(seconds_).c_str());
        std::fflush(stderr);
    }
    void Clear() {
        if (shown_) std::fprintf(stderr, "\r\033[K");
        shown_ = false;
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kDelay{300};
    static constexpr std::chrono::milliseconds kInterval{100};
    static constexpr int kWidth = 30;

    std::string name_;
    double seconds_;
    bool tty_;
    bool shown_ = false;
    Clock::time_point start_, last_;
};

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "song.wav" in the current directory for "dir/song.vgz".
std::string DefaultOutput(const std::string& input) {
    std::string base = BaseName(input);
    const std::size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base.resize(dot);
    return base + ".wav";
}

int Fail(const std::string& message, int status) {
    std::cerr << "fmtool play: " << message << std::endl;
    return status;
}

// The whole file, inflated if it is a .vgz, within the reader's ceiling.
bool ReadWhole(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
    VGM::VgmStream stream;
    if (stream.OpenFile(path)) {
        std::uint8_t chunk[1 << 16];
        std::size_t n;
        while ((n = stream.Read(chunk, sizeof chunk)) > 0) {
            bytes.insert(bytes.end(), chunk, chunk + n);
            // What does not start as a VGM file is refused by its first bytes.
            if (bytes.size() >= sizeof VGM::kIdent && std::memcmp(bytes.data(), VGM::kIdent, sizeof VGM::kIdent) != 0)
                return true;
        }
    }
    error = stream.error();
    if (!error.empty()) error = WithOpenReason(path, error);
    return error.empty();
}

int RunPlay(const PlayOptions& opt) {
    // The samples come through a pipe and may go out through one: a closed
    // pipe is a write error like any other, not the end of the program.
    signal(SIGPIPE, SIG_IGN);
    const std::string output = opt.output.empty() ? DefaultOutput(opt.file) : opt.output;
    AudioFormat format;
    if (!AudioFormatOf(output, format))
        return Fail("cannot tell the audio format of " + output + "; name it .wav, .flac or .ogg", kUnplayable);
    if (output == "-" && isatty(STDOUT_FILENO) == 1)
        return Fail("will not write sound to a terminal; pipe it into a player, e.g. | aplay", kUnplayable);
    if (ReplacedInput(output, {opt.file}) != nullptr)
        return Fail("the output " + output + " is the file played; name another", kWriteFailed);

    std::vector<std::uint8_t> image;
    std::string error;
    if (!ReadWhole(opt.file, image, error)) return Fail(opt.file + " " + error, kUnplayable);
    VGM::VgmReader reader;
    if (!reader.OpenMemory(image.data(), image.size())) return Fail(opt.file + " " + reader.error(), kUnplayable);
    // The length is what the commands wait, as the player plays it, whatever
    // the header claims.
    VGM::VgmCommand c;
    while (reader.Next(c)) {
    }
    const std::uint64_t total = reader.samples();
    const VGM::VgmReader::LoopPoint& loop = reader.loop();
    const bool looping = loop.found && loop.sample < total;
    const PlayLength length = PlanLength(total, total - loop.sample, looping, opt.loops, opt.fade);
    const double seconds = static_cast<double>(length.samples) / VGM::kSampleRate;
    if (seconds > kMaxRenderSeconds)
        return Fail(opt.file + ": the rendering would last " + MIDI::FormatMinutes(seconds) + "; at most " +
                        MIDI::FormatMinutes(kMaxRenderSeconds) + " is rendered (ask for fewer --loops)",
                    kUnplayable);
    const std::uint64_t frames = AtRate(length.samples, opt.rate);
    const std::uint64_t fade = AtRate(length.fade_samples, opt.rate);

    GmeRender render;
    if (!render.Load(image, opt.rate, error)) return Fail(opt.file + " cannot be played: " + error, kUnplayable);
    image = std::vector<std::uint8_t>();  // the player holds its own copy
    const bool solo = !opt.solo.empty();
    if (!render.Select(solo ? opt.solo : opt.mute, solo, error)) return Fail(error, kUnplayable);

    AudioFile out;
    if (!out.Open(output, format, opt.rate, frames, error)) return Fail(error, kWriteFailed);
    if (!render.Start(frames, error)) return Fail(error, kUnplayable);
    Progress progress(BaseName(opt.file), static_cast<double>(length.samples) / VGM::kSampleRate);
    std::vector<std::int16_t> block(2 * kBlockFrames);
    std::uint64_t done = 0;
    for (;;) {
        std::size_t got = 0;
        if (!render.Next(block.data(), kBlockFrames, got, error)) return Fail(opt.file + ": " + error, kUnplayable);
        if (got == 0) break;
        ApplyFade(block.data(), got, done, frames, fade);
        if (!out.Write(block.data(), got, error)) return Fail(error, kWriteFailed);
        done += got;
        progress.Update(done, frames);
    }
    progress.Clear();
    if (!out.Finish(error)) return Fail(error, kWriteFailed);
    return kPlayed;
}

}  // namespace

void AddPlayCommand(CLI::App& app, int& status) {
    auto opt = std::make_shared<PlayOptions>();
    CLI::App* cmd = app.add_subcommand("play");
    Describe(*cmd, "Render a VGM or VGZ file to WAV, FLAC or Ogg Vorbis",
             "Game Music Emu plays the file. The length is the file's own, worked out from its commands: the intro, the loop, the loop --loops "
             "more times and a --fade while it plays on; at most 2 hours are rendered, and a WAV file holds at "
             "most 4 GiB (6:45:47 at 44100 Hz). The output is written under a temporary name and put in place "
             "when complete; a symbolic link is written through, a device or a pipe written in place, the file "
             "played never written over.",
             {"0  done", "1  the output cannot be written", "2  the file cannot be read or played, or the command "
              "line is wrong"});
    cmd->add_option("FILE", opt->file, "The VGM or VGZ file")->required();
    cmd->add_option("-o,--output", opt->output,
                    "Output: .wav, .flac or .ogg, or - for WAV on standard output")
        ->type_name("OUT");
    cmd->add_option("--loops", opt->loops, "Passes of the loop after the first (default 1, when the file loops)")
        ->check(CLI::Range(0, 1000))
        ->type_name("N");
    cmd->add_option("--fade", opt->fade,
                    "Seconds of fade-out after the last loop (default 5 with a loop)")
        ->check(FiniteRange(0.0, 3600.0))
        ->type_name("SECONDS");
    CLI::Option* mute = cmd->add_option("--mute", opt->mute, "Silence these channels (\"FM 1\"..\"FM 6\", \"PCM\", \"PSG\")")
                            ->type_name("CH");
    CLI::Option* solo = cmd->add_option("--solo", opt->solo, "Hear only these channels")->type_name("CH");
    mute->excludes(solo);
    cmd->add_option("--rate", opt->rate, "Sample rate in Hz (default 44100)")
        ->check(CLI::Range(kMinRate, kMaxRate))
        ->type_name("HZ");
    cmd->callback([opt, &status] { status = RunPlay(*opt); });
}

}  // namespace fmtool
