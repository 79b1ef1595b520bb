#include "common/fd_io.h"
#include "fmtool/play/audio_render.h"

#include <fcntl.h>
#include <gme/gme.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "vgm/vgm_format.h"

namespace fmtool {

namespace {

constexpr int kTrack = 0;  // a VGM file holds one track
constexpr std::size_t kBytesPerFrame = 2 * sizeof(std::int16_t);
constexpr std::size_t kChildBlockFrames = 4096;

// Exit statuses of the rendering child.
constexpr int kChildPlayerError = 3;
constexpr int kChildPipeError = 4;

std::string Folded(const std::string& name) {
    std::string out;
    for (const char c : name)
        if (!std::isspace(static_cast<unsigned char>(c))) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The first message of the child: 'E' and the player's error, or 'V' and
// the voice names, one a line; behind a 32-bit length.
bool SendReport(int fd, const std::string& report) {
    const std::uint32_t length = static_cast<std::uint32_t>(report.size());
    return WriteAll(fd, &length, sizeof length) && WriteAll(fd, report.data(), report.size());
}

// The order the child waits for before it renders.
struct Order {
    std::uint64_t frames;
    std::int32_t mute_mask;
};

// The child: loads, reports, renders and streams, then ends without running
// this program's exit handlers.
[[noreturn]] void RunChild(const std::vector<std::uint8_t>& image, int rate, int out, int in) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) signal(sig, SIG_DFL);
    // The player's own complaints (a failed assertion) stay out of the
    // one-line message this side gives.
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDERR_FILENO);
    Music_Emu* emu = nullptr;
    gme_err_t err = gme_open_data(image.data(), static_cast<long>(image.size()), &emu, rate);
    if (!err) {
        gme_set_autoload_playback_limit(emu, 0);
        gme_ignore_silence(emu, 1);
        err = gme_start_track(emu, kTrack);
    }
    if (err) {
        SendReport(out, std::string("E") + err);
        _exit(0);
    }
    std::string report = "V";
    for (int i = 0; i < gme_voice_count(emu); ++i) {
        const char* name = gme_voice_name(emu, i);
        report += std::string(name ? name : "") + "\n";
    }
    Order order;
    if (!SendReport(out, report) || !ReadAll(in, &order, sizeof order)) _exit(kChildPipeError);
    gme_mute_voices(emu, order.mute_mask);
    std::vector<std::int16_t> block(2 * kChildBlockFrames);
    while (order.frames > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(order.frames, kChildBlockFrames));
        if (gme_play(emu, static_cast<int>(2 * n), block.data()) != nullptr) _exit(kChildPlayerError);
        if (!WriteAll(out, block.data(), n * kBytesPerFrame)) _exit(kChildPipeError);
        order.frames -= n;
    }
    _exit(0);
}

}  // namespace

PlayLength PlanLength(std::uint64_t total, std::uint64_t loop, bool looping, int extra_loops, double fade_seconds) {
    PlayLength length;
    const bool fadeAsked = fade_seconds >= 0;
    const std::uint64_t fade =
        static_cast<std::uint64_t>(std::llround((fadeAsked ? fade_seconds : kDefaultFadeSeconds) * VGM::kSampleRate));
    loop = std::min(loop, total);
    if (looping && loop > 0) {
        const std::uint64_t extra = extra_loops < 0 ? kDefaultExtraLoops : static_cast<std::uint64_t>(extra_loops);
        length.samples = total + extra * loop + fade;
        length.fade_samples = fade;
    } else {
        length.samples = total;
        length.fade_samples = fadeAsked ? std::min(fade, total) : 0;
    }
    return length;
}

std::uint64_t AtRate(std::uint64_t samples44100, int rate) {
    return (samples44100 * static_cast<std::uint64_t>(rate) + VGM::kSampleRate / 2) / VGM::kSampleRate;
}

void ApplyFade(std::int16_t* stereo, std::size_t frames, std::uint64_t first, std::uint64_t total, std::uint64_t fade) {
    if (fade == 0) return;
    const std::uint64_t fadeStart = total > fade ? total - fade : 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const std::uint64_t at = first + i;
        if (at < fadeStart) continue;
        // A quadratic curve: falls slowly at first, like a fader pulled down.
        const double left = static_cast<double>(total > at ? total - at : 0) / static_cast<double>(fade);
        const double gain = left * left;
        for (int c = 0; c < 2; ++c)
            stereo[2 * i + c] = static_cast<std::int16_t>(std::lround(stereo[2 * i + c] * gain));
    }
}

GmeRender::~GmeRender() {
    if (child_ > 0) {
        kill(child_, SIGKILL);
        waitpid(child_, nullptr, 0);
    }
    if (from_child_ >= 0) close(from_child_);
    if (to_child_ >= 0) close(to_child_);
}

bool GmeRender::Load(const std::vector<std::uint8_t>& image, int rate, std::string& error) {
    int up[2], down[2];
    if (pipe(up) != 0) {
        error = "cannot start the player";
        return false;
    }
    if (pipe(down) != 0) {
        close(up[0]);
        close(up[1]);
        error = "cannot start the player";
        return false;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(up[0]);
        close(down[1]);
        RunChild(image, rate, up[1], down[0]);
    }
    close(up[1]);
    close(down[0]);
    from_child_ = up[0];
    to_child_ = down[1];
    if (pid < 0) {
        error = "cannot start the player";
        return false;
    }
    child_ = pid;

    std::uint32_t length = 0;
    std::string report;
    if (ReadAll(from_child_, &length, sizeof length)) {
        report.resize(length);
        if (!ReadAll(from_child_, &report[0], length)) report.clear();
    }
    if (report.empty()) return Finish(error);  // the child died loading the file
    if (report[0] == 'E') {
        error = report.substr(1);
        return false;
    }
    voices_.clear();
    for (std::size_t at = 1, end; (end = report.find('\n', at)) != std::string::npos; at = end + 1)
        voices_.push_back(report.substr(at, end - at));
    return true;
}

bool GmeRender::Select(const std::vector<std::string>& names, bool solo, std::string& error) {
    int named = 0;
    for (const std::string& name : names) {
        const auto it = std::find_if(voices_.begin(), voices_.end(),
                                     [&](const std::string& v) { return Folded(v) == Folded(name); });
        if (it == voices_.end()) {
            error = "no channel named \"" + name + "\"; this file has ";
            for (std::size_t i = 0; i < voices_.size(); ++i) error += (i ? ", " : "") + voices_[i];
            return false;
        }
        named |= 1 << (it - voices_.begin());
    }
    const int all = (1 << voices_.size()) - 1;
    mute_mask_ = solo ? all & ~named : named;
    return true;
}

bool GmeRender::Start(std::uint64_t frames, std::string& error) {
    const Order order{frames, mute_mask_};
    const bool sent = WriteAll(to_child_, &order, sizeof order);
    close(to_child_);
    to_child_ = -1;
    left_ = frames;
    return sent || Finish(error);
}

bool GmeRender::Next(std::int16_t* stereo, std::size_t max_frames, std::size_t& got, std::string& error) {
    got = 0;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left_, max_frames));
    if (want == 0) return Finish(error);
    // Whole frames only: a read may end inside one.
    char* out = reinterpret_cast<char*>(stereo);
    std::size_t bytes = 0;
    while (bytes < kBytesPerFrame || bytes % kBytesPerFrame != 0) {
        const ssize_t n = read(from_child_, out + bytes, want * kBytesPerFrame - bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Finish(error);  // the child ended early
        bytes += static_cast<std::size_t>(n);
    }
    got = bytes / kBytesPerFrame;
    left_ -= got;
    return true;
}

bool GmeRender::Finish(std::string& error) {
    if (child_ <= 0) return left_ == 0;
    int status = 0;
    while (waitpid(child_, &status, 0) < 0 && errno == EINTR) {
    }
    child_ = -1;
    close(from_child_);
    from_child_ = -1;
    if (left_ == 0 && !voices_.empty() && WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    error = "the player failed on this file";
    if (WIFSIGNALED(status)) error += " (" + std::string(strsignal(WTERMSIG(status))) + ")";
    return false;
}

}  // namespace fmtool
