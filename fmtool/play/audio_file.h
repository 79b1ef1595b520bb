// Writing rendered sound to an audio file with libsndfile: WAV, FLAC or Ogg
// Vorbis by the file's extension, or WAV to standard output. A file is
// written under a temporary name beside its target and renamed over it only
// when complete, so a failed run leaves an earlier file as it was.
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
    // header can be mended at the end, so there the WAV header is written
    // first with the length known in advance.
    bool Open(const std::string& path, AudioFormat format, int rate, std::uint64_t frames, std::string& error);
    bool Write(const std::int16_t* stereo, std::size_t frames, std::string& error);
    // Completes the file and puts it in place.
    bool Finish(std::string& error);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace fmtool
