#include "smf/smf_score.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "smf/read_song.h"
#include "smf/smf_file.h"
#include "smf/smf_format.h"

namespace MIDI {

namespace {

constexpr std::uint32_t kDefaultTempo = 500000;  // microseconds per quarter note: 120 BPM

// A time signature's denominator is a power of two; beyond 2^6 (sixty-fourth
// notes) it is taken as 64.
constexpr unsigned kMaxDenominatorPower = 6;

bool IsSmpte(std::uint16_t division) { return (division & kSmpteDivision) != 0; }

// Ticks per second of an SMPTE division: frames per second (the high byte,
// negated) times ticks per frame (the low byte).
double SmpteTicksPerSecond(std::uint16_t division) {
    const int fps = -static_cast<std::int8_t>(division >> 8);
    const int perFrame = division & 0xFF;
    const double rate = static_cast<double>(fps) * perFrame;
    return rate > 0 ? rate : 1;
}

}  // namespace

bool ReadScore(const std::uint8_t* data, std::size_t size, Score& score, std::unique_ptr<DMIDI>* song,
               SmfStatus* status) {
    score = Score();
    auto collect = [&score](const SmfRawEvent& raw) {
        ScoreEvent e;
        e.tick = raw.ticks;
        e.track = static_cast<std::uint16_t>(std::min<unsigned>(raw.track, 0xFFFF));
        e.status = raw.status;
        e.data1 = raw.data1;
        e.data2 = raw.data2;
        if (e.IsMeta()) {
            const std::uint8_t type = raw.data1;
            if (type == kMetaSetTempo) {
                e.payload = static_cast<std::uint32_t>(raw.body[0] << 16 | raw.body[1] << 8 | raw.body[2]);
            } else if (type == kMetaTimeSignature && raw.body_size >= 2 && raw.body[0] > 0) {
                e.payload = raw.body[0] * 256u + (1u << std::min<unsigned>(raw.body[1], kMaxDenominatorPower));
            } else if (type >= kMetaText && type <= kMetaLastText) {
                e.payload = static_cast<std::uint32_t>(score.texts.size());
                score.texts.emplace_back(reinterpret_cast<const char*>(raw.body), std::min(raw.body_size, kMaxTextBytes));
            }
        }
        if (raw.track >= score.track_ends.size()) score.track_ends.resize(raw.track + 1, 0);
        score.track_ends[raw.track] = std::max(score.track_ends[raw.track], raw.ticks);
        score.events.push_back(e);
    };
    std::unique_ptr<DMIDI> converted = ReadSong(data, size, collect, status);
    if (!converted) {
        score = Score();
        return false;
    }
    if (song != nullptr) *song = std::move(converted);

    // The converter accepted the header, so all 14 bytes are there.
    score.format = static_cast<std::uint16_t>(data[8] << 8 | data[9]);
    score.division = static_cast<std::uint16_t>(data[12] << 8 | data[13]);

    std::stable_sort(score.events.begin(), score.events.end(),
                     [](const ScoreEvent& a, const ScoreEvent& b) { return a.tick < b.tick; });

    // One pass builds the tempo map, the meter and every event's real time.
    const std::uint64_t tpq = std::max(1u, score.TicksPerQuarter());
    score.tempo.push_back(TempoChange{0, kDefaultTempo, 0});
    score.meter.push_back(TimeSignature{});
    for (ScoreEvent& e : score.events) {
        e.seconds = score.Seconds(e.tick);
        if (!e.IsMeta() || e.payload == 0) continue;
        if (e.data1 == kMetaSetTempo) {
            // A set tempo of 0 has no finite speed: the tempo before it stays.
            TempoChange& last = score.tempo.back();
            if (last.tick == e.tick) {
                last.us_per_quarter = e.payload;
            } else {
                score.tempo.push_back(TempoChange{e.tick, e.payload, e.seconds});
            }
        } else if (e.data1 == kMetaTimeSignature) {
            const TimeSignature& m = score.meter.back();
            const std::uint64_t barTicks = std::max<std::uint64_t>(1, tpq * 4 * m.numerator / m.denominator);
            // A change in mid-bar starts a new bar there.
            const std::uint64_t since = e.tick - m.tick;
            TimeSignature next{e.tick, e.payload >> 8, e.payload & 0xFF,
                               m.bar + since / barTicks + (since % barTicks != 0 ? 1 : 0)};
            if (m.tick == e.tick) {
                next.bar = m.bar;
                score.meter.back() = next;
            } else {
                score.meter.push_back(next);
            }
        }
    }
    return true;
}

SmfStatus ReadScoreFile(const char* path, Score& score, std::unique_ptr<DMIDI>* song) {
    score = Score();
    SmfStatus status;
    {
        std::vector<std::uint8_t> data;
        status = ReadSmfFile(path, data);
        if (status == SmfStatus::Ok) ReadScore(data.data(), data.size(), score, song, &status);
    }
    return status;
}

double Score::Seconds(std::uint64_t tick) const {
    if (IsSmpte(division)) return static_cast<double>(tick) / SmpteTicksPerSecond(division);
    const double tpq = std::max(1u, TicksPerQuarter());
    auto after = std::upper_bound(tempo.begin(), tempo.end(), tick,
                                  [](std::uint64_t t, const TempoChange& c) { return t < c.tick; });
    if (after == tempo.begin()) return static_cast<double>(tick) * kDefaultTempo / (tpq * 1e6);
    const TempoChange& c = *(after - 1);
    return c.seconds + static_cast<double>(tick - c.tick) * c.us_per_quarter / (tpq * 1e6);
}

BarBeat Score::BarBeatAt(std::uint64_t tick) const {
    BarBeat at;
    auto after = std::upper_bound(meter.begin(), meter.end(), tick,
                                  [](std::uint64_t t, const TimeSignature& m) { return t < m.tick; });
    if (after == meter.begin()) return at;
    const TimeSignature& m = *(after - 1);
    const std::uint64_t tpq = std::max(1u, TicksPerQuarter());
    const std::uint64_t beatTicks = std::max<std::uint64_t>(1, tpq * 4 / m.denominator);
    const std::uint64_t barTicks = beatTicks * m.numerator;
    const std::uint64_t since = tick - m.tick;
    at.bar = m.bar + since / barTicks + 1;
    at.beat = static_cast<unsigned>(since % barTicks / beatTicks) + 1;
    return at;
}

std::uint64_t Score::EndTick() const {
    std::uint64_t end = 0;
    for (std::uint64_t t : track_ends) end = std::max(end, t);
    return end;
}

std::string FormatMinutes(double seconds) {
    if (!(seconds >= 0)) seconds = 0;
    const auto tenths = static_cast<std::uint64_t>(std::llround(seconds * 10));
    char buf[48];
    std::snprintf(buf, sizeof buf, "%llu:%02llu.%llu", static_cast<unsigned long long>(tenths / 600),
                  static_cast<unsigned long long>(tenths / 10 % 60), static_cast<unsigned long long>(tenths % 10));
    return buf;
}

}  // namespace MIDI
