// Where each event of the converted song stands in the score as written: its
// real time through the exact tempo map and its bar and beat, for reports
// that point the musician at a place in the song.
#pragma once

#include <cstdint>
#include <vector>

#include "smf/dmidi.h"
#include "smf/smf_score.h"

namespace fmtool {

struct ScorePlace {
    double seconds = 0;
    MIDI::BarBeat bar_beat;
    bool known = true;  // false: the time is the converter's frame, the bar unknown
};

class ScoreTimes {
public:
    // `song` must come from the same file as `score` (MIDI::ReadScore gives both).
    ScoreTimes(const MIDI::Score& score, const MIDI::DMIDI& song);

    // The place of song event `index`: the score event it was read from, or,
    // should the two ever disagree, the event's frame at 60 per second.
    ScorePlace Place(std::uint32_t index) const;
    // Real time of song event `index` as written.
    double Seconds(std::uint32_t index) const { return Place(index).seconds; }
    // The score event a song event was read from; -1 when unknown (the end event).
    std::int64_t ScoreIndex(std::uint32_t index) const;

private:
    const MIDI::Score& score_;
    const MIDI::DMIDI& song_;
    std::vector<std::uint32_t> map_;  // song event -> score event; empty when they disagree
};

}  // namespace fmtool
