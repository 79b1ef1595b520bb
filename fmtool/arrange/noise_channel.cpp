#include "fmtool/arrange/noise_channel.h"

#include <algorithm>

#include "fmtool/arrange/drum_map.h"

namespace fmtool {

namespace {

// Whether `hit` wins the noise channel from `held`, struck in the same frame.
bool Beats(const DrumHit& hit, const DrumHit& held) {
    const int a = DrumSoundOf(hit.key).priority, b = DrumSoundOf(held.key).priority;
    return a > b || (a == b && hit.level_db > held.level_db);
}

}  // namespace

std::vector<NoiseTurn> NoiseTurns(const std::vector<DrumHit>& hits, std::uint64_t end) {
    std::vector<NoiseTurn> turns;
    for (std::uint32_t i = 0; i < hits.size() && hits[i].start.frame < end; ++i) {
        if (!turns.empty() && hits[turns.back().hit].start.frame == hits[i].start.frame) {
            if (Beats(hits[i], hits[turns.back().hit])) turns.back().hit = i;
            continue;
        }
        turns.push_back(NoiseTurn{i, 0});
    }
    for (std::size_t t = 0; t < turns.size(); ++t) {
        const DrumHit& hit = hits[turns[t].hit];
        std::uint64_t stop = std::min(end, hit.start.frame + DrumSoundOf(hit.key).frames);
        if (t + 1 < turns.size()) stop = std::min(stop, hits[turns[t + 1].hit].start.frame);
        turns[t].stop = stop;
    }
    return turns;
}

}  // namespace fmtool
