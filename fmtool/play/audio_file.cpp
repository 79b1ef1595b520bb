#include "common/fd_io.h"
#include "fmtool/play/audio_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "vgm/save_signals.h"

namespace fmtool {

namespace {

constexpr int kChannels = 2;
constexpr std::size_t kWavHeaderSize = 44;
constexpr std::uint64_t kMaxRiffSize = 0xFFFFFFFF;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool EndsWith(const std::string& s, const char* tail) {
    const std::string t = tail;
    return s.size() > t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

int SndfileFormat(AudioFormat format) {
    switch (format) {
    case AudioFormat::Flac: return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case AudioFormat::OggVorbis: return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    case AudioFormat::Wav: break;
    }
    return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
}

void Put(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A canonical 16-bit PCM WAV header for a known number of frames. Past the
// 32-bit sizes the fields hold their largest value, as streaming tools do.
std::vector<std::uint8_t> WavHeader(int rate, std::uint64_t frames) {
    const std::uint64_t data = frames * kChannels * 2;
    std::vector<std::uint8_t> h;
    const auto tag = [&h](const char* t) { h.insert(h.end(), t, t + 4); };
    tag("RIFF");
    Put(h, std::min(data + kWavHeaderSize - 8, kMaxRiffSize), 4);
    tag("WAVE");
    tag("fmt ");
    Put(h, 16, 4);
    Put(h, 1, 2);  // PCM
    Put(h, kChannels, 2);
    Put(h, static_cast<std::uint64_t>(rate), 4);
    Put(h, static_cast<std::uint64_t>(rate) * kChannels * 2, 4);
    Put(h, kChannels * 2, 2);
    Put(h, 16, 2);
    tag("data");
    Put(h, std::min(data, kMaxRiffSize), 4);
    return h;
}

}  // namespace

bool AudioFormatOf(const std::string& path, AudioFormat& format) {
    const std::string name = Lower(path);
    if (path == "-" || EndsWith(name, ".wav")) {
        format = AudioFormat::Wav;
    } else if (EndsWith(name, ".flac")) {
        format = AudioFormat::Flac;
    } else if (EndsWith(name, ".ogg") || EndsWith(name, ".oga")) {
        format = AudioFormat::OggVorbis;
    } else {
        return false;
    }
    return true;
}

struct AudioFile::Impl {
    std::string target, temp;
    SNDFILE* sf = nullptr;
    bool to_stdout = false;
    std::unique_ptr<VGM::SaveSignalGuard> guard;
    std::vector<std::uint8_t> bytes;  // little-endian samples for standard output

    ~Impl() {
        if (sf) sf_close(sf);
        if (!temp.empty()) std::remove(temp.c_str());
    }
};

AudioFile::AudioFile() : impl_(new Impl) {}
AudioFile::~AudioFile() = default;

bool AudioFile::Open(const std::string& path, AudioFormat format, int rate, std::uint64_t frames, std::string& error) {
    Impl& f = *impl_;
    if (path == "-") {
        f.to_stdout = true;
        const std::vector<std::uint8_t> header = WavHeader(rate, frames);
        if (!WriteAll(STDOUT_FILENO, header.data(), header.size())) {
            error = "cannot write to standard output";
            return false;
        }
        return true;
    }
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        error = path + " is a directory";
        return false;
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = kChannels;
    info.format = SndfileFormat(format);
    if (!sf_format_check(&info)) {
        error = "this libsndfile cannot write " + path;
        return false;
    }
    f.target = path;
    f.guard = std::make_unique<VGM::SaveSignalGuard>(1);
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        f.temp = path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        fd = open(f.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        f.temp.clear();
        error = "cannot write " + path;
        return false;
    }
    f.guard->Remember(0, f.temp.c_str());
    f.sf = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (!f.sf) {
        close(fd);
        error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    return true;
}

bool AudioFile::Write(const std::int16_t* stereo, std::size_t frames, std::string& error) {
    Impl& f = *impl_;
    if (f.to_stdout) {
        f.bytes.clear();
        for (std::size_t i = 0; i < frames * kChannels; ++i) Put(f.bytes, static_cast<std::uint16_t>(stereo[i]), 2);
        if (!WriteAll(STDOUT_FILENO, f.bytes.data(), f.bytes.size())) {
            error = "cannot write to standard output";
            return false;
        }
        return true;
    }
    if (sf_writef_short(f.sf, stereo, static_cast<sf_count_t>(frames)) != static_cast<sf_count_t>(frames)) {
        error = "cannot write " + f.target + ": " + sf_strerror(f.sf);
        return false;
    }
    return true;
}

bool AudioFile::Finish(std::string& error) {
    Impl& f = *impl_;
    if (f.to_stdout) return true;
    const int rc = sf_close(f.sf);
    f.sf = nullptr;
    if (rc != 0 || std::rename(f.temp.c_str(), f.target.c_str()) != 0) {
        error = "cannot write " + f.target;
        return false;
    }
    f.guard->Remember(0, nullptr);
    f.temp.clear();
    return true;
}

}  // namespace fmtool
