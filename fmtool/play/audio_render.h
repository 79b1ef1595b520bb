// Rendering a VGM file to sound with Game Music Emu (libgme): how long the
// rendering lasts, which voices are heard, and the samples themselves.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fmtool {

constexpr int kDefaultExtraLoops = 1;        // passes of the loop after the first
constexpr double kDefaultFadeSeconds = 5.0;  // fade-out after the last pass of a loop

// How long a rendering lasts, in samples at the VGM rate of 44100 Hz.
struct PlayLength {
    std::uint64_t samples = 0;       // everything rendered
    std::uint64_t fade_samples = 0;  // the last ones of these, fading to silence
};

// The file's own length: the intro, the loop once and `extra_loops` more times
// (kDefaultExtraLoops when negative), then `fade_seconds` of fade-out
// (kDefaultFadeSeconds when negative) as the loop plays on. A file without a
// loop ends at its end, fading over its last `fade_seconds` only when asked.
// `total` and `loop` are the header's total and loop samples (a loop longer
// than the file counts as the whole file).
PlayLength PlanLength(std::uint64_t total, std::uint64_t loop, bool looping, int extra_loops, double fade_seconds);

// Samples at `rate` Hz for a count at 44100 Hz, rounded to the nearest.
std::uint64_t AtRate(std::uint64_t samples44100, int rate);

// Multiplies stereo frames [first, first + frames) of a rendering of `total`
// frames whose last `fade` frames fade out, by the fade's gain.
void ApplyFade(std::int16_t* stereo, std::size_t frames, std::uint64_t first, std::uint64_t total, std::uint64_t fade);

// One VGM file in the player. Everything the player does, loading included,
// happens in a child process that streams the samples back: the player
// asserts and faults on some hostile files, and that must end the child, not
// this program, which reports it as an error instead.
class GmeRender {
public:
    GmeRender() = default;
    ~GmeRender();
    GmeRender(const GmeRender&) = delete;
    GmeRender& operator=(const GmeRender&) = delete;

    // Loads a VGM image (not compressed) to render at `rate` Hz, with the
    // player's silence detection off (so nothing is skipped at the start and
    // nothing cut at a quiet stretch) and no length limit of its own.
    bool Load(const std::vector<std::uint8_t>& image, int rate, std::string& error);

    // The player's names of the voices: "FM 1".."FM 6", "PCM", "PSG".
    const std::vector<std::string>& voices() const { return voices_; }
    // Mutes the named voices, or with `solo` all others. Names match without
    // regard to case or blanks ("fm1" is "FM 1"). False, with the voices as
    // they were, when a name is not one of them.
    bool Select(const std::vector<std::string>& names, bool solo, std::string& error);

    // Starts rendering `frames` stereo frames.
    bool Start(std::uint64_t frames, std::string& error);
    // Up to `max_frames` more frames into `stereo` (interleaved left, right);
    // `got` is 0 once all are delivered. False when the player failed.
    bool Next(std::int16_t* stereo, std::size_t max_frames, std::size_t& got, std::string& error);

private:
    bool Finish(std::string& error);

    std::vector<std::string> voices_;
    int mute_mask_ = 0;
    pid_t child_ = -1;
    int from_child_ = -1;  // the child's report, then the samples
    int to_child_ = -1;    // the order to render
    std::uint64_t left_ = 0;  // frames still to come
};

}  // namespace fmtool
