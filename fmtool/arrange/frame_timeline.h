// Where a moment of the source song lands in the arranged one.
//
// The converter counts time in whole beats per minute, which makes most songs
// run slow. The arranged file sidesteps that: it is written at 48 ticks per
// quarter note with a tempo of 48000 microseconds per quarter, which the
// converter reads as exactly 1250 BPM, so its own tick-to-frame arithmetic
// gives every tick exactly one millisecond. Any MIDI player reads the same
// file at the same real speed. An event of the source is then written at a
// millisecond inside the frame (1/60 s) its real time falls in.
//
// Real time follows the source's tempo map exactly, in integers: no rounding
// moves an event across a frame boundary.
#pragma once

#include <cstdint>
#include <vector>

namespace MIDI {
class Score;
}

namespace fmtool {

constexpr unsigned kArrangedDivision = 48;          // ticks per quarter note of the arranged file
constexpr std::uint32_t kArrangedTempo = 48000;     // microseconds per quarter: 1 ms per tick
constexpr std::uint64_t kFramesPerSecond = 60;
constexpr std::uint64_t kMsPerSecond = 1000;

// A moment of the source: the frame its real time falls in, and the
// millisecond tick of the arranged file that stands for it (inside that frame).
struct Moment {
    std::uint64_t frame = 0;
    std::uint64_t tick = 0;
};

// The first millisecond tick of a frame, and the frame of a millisecond tick,
// as the converter computes them for the arranged file.
inline std::uint64_t FirstTickOfFrame(std::uint64_t frame) {
    return (frame * kMsPerSecond + kFramesPerSecond - 1) / kFramesPerSecond;
}
inline std::uint64_t FrameOfTick(std::uint64_t tick) { return tick * kFramesPerSecond / kMsPerSecond; }

class FrameTimeline {
public:
    // The tempo map and division of `score` (PPQ with its tempo changes, or
    // SMPTE ticks per second as MIDI::Score reads them).
    explicit FrameTimeline(const MIDI::Score& score);

    // The moment of a source tick: frame = floor(real seconds x 60), tick =
    // the real millisecond, raised to the frame's first millisecond where
    // truncation would put it in the frame before.
    Moment At(std::uint64_t tick) const;

private:
    // Real time of a tick is Numerator(tick) / denominator_ seconds.
    using Wide = unsigned __int128;
    Wide Numerator(std::uint64_t tick) const;

    struct Segment {
        std::uint64_t tick;
        std::uint32_t us_per_quarter;
        Wide numerator;  // of `tick`
    };
    std::vector<Segment> segments_;  // empty for SMPTE timing
    Wide denominator_ = 1;
};

}  // namespace fmtool
