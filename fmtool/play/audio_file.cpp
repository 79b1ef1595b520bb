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

#include "common/fd_io.h"
#include "fmtool/command_line.h"
#include "vgm/save_signals.h"
#include "vgm/vgm_save.h"

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

std::uint64_t MaxFrames(AudioFormat format) {
    // The RIFF size counts the data and the 36 bytes of header after it.
    if (format == AudioFormat::Wav) return (kMaxRiffSize - (kWavHeaderSize - 8)) / (kChannels * 2);
    return UINT64_MAX;
}

struct AudioFile::Impl {
    std::string target;
    VGM::PendingFile file;
    SNDFILE* sf = nullptr;
    int raw_fd = -1;  // a WAV streamed as it goes: standard output, a device or a pipe
    std::vector<std::uint8_t> bytes;  // little-endian samples for a streamed WAV

    ~Impl() {
        if (sf) sf_close(sf);
    }

    // The name in messages.
    std::string Name() const { return raw_fd == STDOUT_FILENO && target == "-" ? "standard output" : target; }
};

AudioFile::AudioFile() : impl_(new Impl) {}
AudioFile::~AudioFile() = default;

bool AudioFile::Open(const std::string& path, AudioFormat format, int rate, std::uint64_t frames, std::string& error) {
    Impl& f = *impl_;
    f.target = path;
    if (frames > MaxFrames(format)) {
        error = "cannot write " + path + ": a WAV file holds at most 4 GiB of sound; write .flac or .ogg, or ask for fewer --loops";
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
    int fd = STDOUT_FILENO;
    if (path != "-") {
        int reason = 0;
        if (!f.file.Open(path, reason)) {
            error = CannotWrite(path, reason);
            return false;
        }
        fd = f.file.fd();
    }
    // Where nothing can be mended at the end (a pipe, a device), a WAV is
    // written as it goes, its header first with the length known in advance.
    if (format == AudioFormat::Wav && (path == "-" || f.file.direct())) {
        f.raw_fd = fd;
        const std::vector<std::uint8_t> header = WavHeader(rate, frames);
        if (!WriteAll(fd, header.data(), header.size())) {
            error = CannotWrite(f.Name(), errno);
            return false;
        }
        return true;
    }
    f.sf = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!f.sf) {
        error = "cannot write " + f.Name() + ": " + sf_strerror(nullptr);
        return false;
    }
    return true;
}

bool AudioFile::Write(const std::int16_t* stereo, std::size_t frames, std::string& error) {
    Impl& f = *impl_;
    if (f.raw_fd >= 0) {
        f.bytes.clear();
        for (std::size_t i = 0; i < frames * kChannels; ++i) Put(f.bytes, static_cast<std::uint16_t>(stereo[i]), 2);
        if (!WriteAll(f.raw_fd, f.bytes.data(), f.bytes.size())) {
            error = CannotWrite(f.Name(), errno);
            return false;
        }
        return true;
    }
    if (sf_writef_short(f.sf, stereo, static_cast<sf_count_t>(frames)) != static_cast<sf_count_t>(frames)) {
        error = "cannot write " + f.Name() + ": " + sf_strerror(f.sf);
        return false;
    }
    return true;
}

bool AudioFile::Finish(std::string& error) {
    Impl& f = *impl_;
    if (f.sf) {
        const int rc = sf_close(f.sf);
        f.sf = nullptr;
        if (rc != 0) {
            error = "cannot write " + f.Name() + ": " + sf_error_number(rc);
            return false;
        }
    }
    if (f.target == "-") return true;
    int reason = 0;
    if (!f.file.Commit(reason)) {
        error = CannotWrite(f.Name(), reason);
        return false;
    }
    return true;
}

}  // namespace fmtool
