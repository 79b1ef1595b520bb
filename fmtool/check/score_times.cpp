#include "fmtool/check/score_times.h"

#include <algorithm>

#include "smf/read_song.h"

namespace fmtool {

namespace {

constexpr std::uint8_t kMetaSetTempo = 0x51;

// The score events that become events of the converted song: every channel
// message, and every set tempo with a tempo above 0.
bool BecomesSongEvent(const MIDI::ScoreEvent& e) {
    return e.IsChannel() || (e.IsMeta() && e.data1 == kMetaSetTempo && e.payload != 0);
}

bool SameKind(const MIDI::ScoreEvent& s, const MIDI::DMIDI_EVENT& e) {
    if (e.status == MIDI::kStatusSystem) return s.IsMeta();
    return s.IsChannel() && s.Kind() == e.status && s.Channel() == e.channel;
}

}  // namespace

// The reader appends events in file order (track by track) and then sorts them
// stably by their clock at its own resolution. The score is sorted stably by
// the file's ticks, so it is in clock order already; only within a run of
// equal clocks do the two differ: there the reader keeps the earlier track
// first, then the file order, which within one track is the order of ticks.
ScoreTimes::ScoreTimes(const MIDI::Score& score, const MIDI::DMIDI& song) : score_(score), song_(song) {
    const std::uint64_t tpq = score.TicksPerQuarter();
    if (tpq == 0) return;
    auto clock = [&score, tpq](std::uint32_t i) { return score.events[i].tick * MIDI::kSongResolution / tpq; };
    std::vector<std::uint32_t> order;
    order.reserve(song.events.size());
    for (std::uint32_t i = 0; i < score.events.size(); ++i)
        if (BecomesSongEvent(score.events[i])) order.push_back(i);
    for (auto run = order.begin(); run != order.end();) {
        const std::uint64_t c = clock(*run);
        auto end = std::find_if(run, order.end(), [&clock, c](std::uint32_t i) { return clock(i) != c; });
        if (end - run > 1)
            std::stable_sort(run, end, [&score](std::uint32_t a, std::uint32_t b) {
                return score.events[a].track < score.events[b].track;
            });
        run = end;
    }

    // The song ends with its end event, which has no score event.
    if (song.events.empty() || order.size() != song.events.size() - 1) return;
    for (std::size_t i = 0; i < order.size(); ++i)
        if (!SameKind(score.events[order[i]], song.events[i])) return;
    map_ = std::move(order);
}

std::int64_t ScoreTimes::ScoreIndex(std::uint32_t index) const {
    return index < map_.size() ? static_cast<std::int64_t>(map_[index]) : -1;
}

ScorePlace ScoreTimes::Place(std::uint32_t index) const {
    ScorePlace place;
    const std::int64_t at = ScoreIndex(index);
    if (at >= 0) {
        const MIDI::ScoreEvent& e = score_.events[static_cast<std::size_t>(at)];
        place.seconds = e.seconds;
        place.bar_beat = score_.BarBeatAt(e.tick);
        return place;
    }
    if (index == song_.events.size() - 1 && !map_.empty()) {
        // The end event stands where the last event does.
        return Place(index - 1);
    }
    place.known = false;
    place.seconds = index < song_.events.size() ? song_.events[index].clock / double(MIDI::kFramesPerSecond) : 0;
    return place;
}

}  // namespace fmtool
