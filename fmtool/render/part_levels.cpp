#include "fmtool/render/part_levels.h"

#include <algorithm>
#include <iterator>

#include "fmtool/arrange/chip_level.h"
#include "fmtool/arrange/performance.h"

namespace fmtool {
namespace {

constexpr int kFirstDrumKey = 35;

// BEGIN measured tables
// Measured by scripts/measure_gm_levels.py on 2026-12-09 against FluidSynth with
// FluidR3 GM: each program's notes 48, 60, 72 (each drum key's hits) at velocity
// 100, level = power mean of the RMS of each note's first second (each hit's first
// 0.5 s); trim = (FluidR3's level - FluidR3's median program level) - (ours - our
// median program level), clamped to -18..+12 dB (0 clamped).
constexpr double kProgramTrimDb[128] = {
    -4.0, -4.7, 1.9, -5.3, 2.7, -1.7, 1.7, -1.1,
    1.2, 0.4, 0.3, -3.3, 1.6, -5.7, 0.7, -4.7,
    -0.1, 2.3, 2.1, 1.3, -0.5, -2.5, -1.4, -1.5,
    -1.4, 0.3, 0.6, 1.4, -2.6, 1.6, 3.3, 5.1,
    1.2, 2.0, 0.3, 4.2, -4.0, -3.2, 0.9, 5.4,
    0.0, -1.2, -0.4, -8.7, -2.1, 3.4, 2.7, -8.0,
    -2.0, 1.4, 2.0, 1.4, -0.5, 1.2, -0.1, 1.5,
    -1.9, 4.2, 6.2, 0.4, 2.2, -0.2, 1.6, -0.2,
    1.4, 2.8, 1.3, -0.7, -0.4, -1.9, -1.5, 3.7,
    4.1, 2.7, 4.0, 5.0, 5.7, 5.5, 8.4, 6.3,
    2.7, 1.3, -0.6, 2.6, 0.9, 5.2, -6.9, -0.1,
    -3.8, 0.9, -2.4, -1.2, 2.1, 4.8, -1.1, 0.8,
    -0.7, -3.2, -1.8, 1.6, -2.9, -0.8, -1.1, -0.2,
    -4.1, -4.5, -5.5, -2.0, -6.1, 0.8, 0.3, -1.2,
    -0.5, -6.6, 0.5, -8.3, 2.5, 1.2, 4.3, -5.2,
    -1.1, -5.4, -4.2, -2.0, 0.4, -17.3, -1.1, 4.3,
};

// Keys 35 to 81.
constexpr double kDrumTrimDb[47] = {
    -2.6, -2.8, 1.0, 0.0, 1.7, -2.1, -4.8, 4.6,
    -3.9, 7.6, -8.1, 3.6, -7.7, -8.3, 8.5, -9.7,
    8.6, 3.7, 6.6, 1.8, 3.6, -8.8, 7.5, 0.2,
    8.0, -1.5, -2.7, -1.0, -2.9, 1.2, -0.3, 0.4,
    -7.0, -6.0, 4.9, 1.2, -5.9, -1.8, 4.2, -3.4,
    -2.3, -3.1, -5.6, -4.3, -0.8, -3.1, -4.1,
};
// END measured tables

// What each program's trim gains or loses where it is heard, in real songs
// against the other parts; added to the trims above.
// BEGIN in-song balance
// Measured by scripts/measure_gm_balance.py on 2026-12-09 over 93 songs: minus each
// program's mean error in its songs against FluidSynth with FluidR3 GM, shrunk by
// n / (n + 2) for n parts, clamped to +-6 dB (0 for a program in no song).
constexpr double kProgramInSongDb[128] = {
    -0.7, -0.5, -0.7, 0.7, 1.4, 2.0, -0.1, -1.7,
    1.1, 0.0, -1.9, 0.5, -0.5, -0.3, 0.0, 0.0,
    0.5, 0.0, -0.8, 0.0, 0.0, 0.0, 0.0, -1.4,
    -0.3, 0.0, 0.3, 0.7, -1.2, -0.5, -0.1, 0.0,
    -1.4, -0.6, -0.3, -1.3, 1.9, -1.2, -1.4, -0.5,
    -1.4, 0.0, 0.0, 0.0, 1.0, 0.7, 0.2, 3.5,
    1.2, 0.1, 2.8, 1.2, 0.0, 1.3, 1.3, 1.2,
    0.6, -2.1, -2.0, 0.0, 0.0, -0.1, 1.4, 2.3,
    0.0, -0.7, -0.6, 1.8, 0.0, 0.0, 0.0, 0.2,
    0.0, 0.0, -0.2, 0.0, 0.3, 0.0, -0.4, 0.1,
    0.2, 0.5, 0.0, 0.0, 1.3, 0.0, 0.0, 2.9,
    3.2, 2.5, 0.8, 0.8, 0.0, 0.0, 0.0, 0.0,
    0.0, 0.0, 0.0, 0.8, 3.7, 0.0, 0.6, 0.0,
    0.0, 1.3, 0.0, -0.1, 0.0, 0.0, 0.0, 0.0,
    0.0, -1.4, 0.9, -0.3, 0.0, 0.0, 0.0, 0.0,
    -1.6, 0.0, 0.0, -0.4, 0.0, 0.0, 0.0, 0.0,
};
constexpr double kDrumsInSongDb = 0.0;
// END in-song balance

}  // namespace

double ProgramTrimDb(int program) {
    if (program < 0 || program >= static_cast<int>(std::size(kProgramTrimDb))) return 0.0;
    return kProgramTrimDb[program] + kProgramInSongDb[program];
}

double DrumTrimDb(int key) {
    if (key < kFirstDrumKey || key >= kFirstDrumKey + static_cast<int>(std::size(kDrumTrimDb))) return 0.0;
    return kDrumTrimDb[key - kFirstDrumKey] + kDrumsInSongDb;
}

double TrimmedDb(const SourceNote& note) { return note.velocity_db + ProgramTrimDb(note.program); }

double TrimmedDb(const DrumHit& hit) { return hit.level_db + DrumTrimDb(hit.key); }

double PartsGain(const Performance& perf) {
    double velocity[kMidiChannels], level[kMidiChannels];
    std::fill(velocity, velocity + kMidiChannels, kSilentDb);
    std::fill(level, level + kMidiChannels, kSilentDb);
    for (const SourceNote& n : perf.notes) {
        velocity[n.channel] = std::max(velocity[n.channel], TrimmedDb(n));
        level[n.channel] = std::max(level[n.channel], n.channel_db);
    }
    double peak = kSilentDb;
    for (unsigned ch = 0; ch < kMidiChannels; ++ch) {
        if (velocity[ch] <= kSilentDb) continue;
        for (const ChannelChange& c : perf.changes[ch]) {
            if (c.kind == ChannelChange::Level) level[ch] = std::max(level[ch], c.value);
        }
        peak = std::max(peak, velocity[ch] + level[ch]);
    }
    for (const DrumHit& h : perf.hits) peak = std::max(peak, TrimmedDb(h));
    return peak > kSilentDb ? -peak : 0;
}

}  // namespace fmtool
