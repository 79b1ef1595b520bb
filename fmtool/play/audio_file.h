// Writing rendered sound to an audio file with libsndfile: WAV, FLAC or Ogg
// Vorbis by the file's extension, or WAV to standard output. A file is
// written as the converter saves its own (VGM::PendingFile): under a
// temporary name beside its target, renamed over it only when complete, links
// followed, a device or a pipe written in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace fmtool {

enum class AudioFormat { Wav, Flac, OggVorbis };

// The format an output name asks for by its extension (.wav, .flac, .ogg or
// .oga, any case); "-" is WAV. False when the extension names none of them.
bool AudioFormatOf(const std::string& path, AudioFormat& format);

class AudioFile {
public:
    AudioFile();
    ~AudioFile();  // an unfinished file is removed
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    // Opens `path` ("-": standard output) for `frames` frames of 16-bit stereo
    // at `rate` Hz. Standard output is a pipe more often than not, where no
    // header can be mended at the end, so there (and on a device or a pipe)
    // the WAV header is written first with the length known in advance.
    // Refuses a WAV longer than the format holds (4 GiB).
    bool Open(const std::string& path, AudioFormat format, int rate, std::uint64_t frames, std::string& error);
    bool Write(const std::int16_t* stereo, std::size_t frames, std::string& error);
    // Completes the file and puts it in place.
    bool Finish(std::string& error);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace fmtool
