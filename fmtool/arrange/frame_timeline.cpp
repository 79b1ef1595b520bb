#include "fmtool/arrange/frame_timeline.h"

#include <algorithm>

#include "smf/smf_score.h"

namespace fmtool {

namespace {

constexpr unsigned kMicrosPerSecond = 1000000;

}  // namespace

FrameTimeline::FrameTimeline(const MIDI::Score& score) {
    if (score.division & 0x8000u) {
        // SMPTE: frames per second (the high byte, negated) times ticks per
        // frame, tempo ignored; the same reading as the score's.
        const int fps = -static_cast<std::int8_t>(score.division >> 8);
        const int perFrame = score.division & 0xFF;
        const long rate = static_cast<long>(fps) * perFrame;
        denominator_ = rate > 0 ? static_cast<Wide>(rate) : 1;
        return;
    }
    const std::uint64_t tpq = std::max(1u, score.TicksPerQuarter());
    denominator_ = static_cast<Wide>(tpq) * kMicrosPerSecond;
    Wide numerator = 0;
    for (const MIDI::TempoChange& change : score.tempo) {
        if (!segments_.empty()) {
            const Segment& last = segments_.back();
            numerator += static_cast<Wide>(change.tick - last.tick) * last.us_per_quarter;
        }
        segments_.push_back(Segment{change.tick, change.us_per_quarter, numerator});
    }
    if (segments_.empty() || segments_.front().tick != 0) {
        segments_.insert(segments_.begin(), Segment{0, 500000, 0});
    }
}

FrameTimeline::Wide FrameTimeline::Numerator(std::uint64_t tick) const {
    if (segments_.empty()) return tick;
    auto after = std::upper_bound(segments_.begin(), segments_.end(), tick,
                                  [](std::uint64_t t, const Segment& s) { return t < s.tick; });
    const Segment& s = *(after - 1);
    return s.numerator + static_cast<Wide>(tick - s.tick) * s.us_per_quarter;
}

Moment FrameTimeline::At(std::uint64_t tick) const {
    const Wide n = Numerator(tick);
    Moment m;
    m.frame = static_cast<std::uint64_t>(n * kFramesPerSecond / denominator_);
    const auto ms = static_cast<std::uint64_t>(n * kMsPerSecond / denominator_);
    m.tick = std::max(ms, FirstTickOfFrame(m.frame));
    return m;
}

}  // namespace fmtool
