// Which drum hit the noise channel plays.
//
// The SN76489 has one noise channel and it plays one hit at a time. Of the
// hits that meet in one frame the one of highest priority wins (kick and
// snare before hats and cymbals, see drum_map.h), then the louder, then the
// first in the file. The winner sounds until its length runs out, the song
// ends or the next frame with a hit comes: a later hit always takes the
// channel from one still sounding, whatever their priorities, since its
// attack is what the ear follows.
#pragma once

#include <cstdint>
#include <vector>

#include "fmtool/arrange/performance.h"

namespace fmtool {

struct NoiseTurn {
    std::uint32_t hit = 0;    // index into the hits
    std::uint64_t stop = 0;   // the frame it falls silent in, after its start frame
};

// The turns of `hits` (by start frame) on the noise channel, in time order.
// Hits that start at or after `end`, the song's last frame, take none.
std::vector<NoiseTurn> NoiseTurns(const std::vector<DrumHit>& hits, std::uint64_t end);

}  // namespace fmtool
