// The tempo of a set-tempo event in beats per minute, the same on every platform.
#pragma once

#include <cstdint>

namespace MIDI {

// BPM of a tempo of `us` microseconds per quarter note (us >= 1): the value
// 60 / (us / 1000000) truncated toward zero, with both divisions rounded to
// nearest (ties to even) to a 64-bit significand, as 80-bit extended
// precision computes it. So 600000 gives 99 and 300000 gives 199: their
// quotients fall just below the whole number. Worked out in integers, so
// that the result does not depend on the platform's floating point.
std::uint32_t TempoToBpm(std::uint32_t us);

}  // namespace MIDI
