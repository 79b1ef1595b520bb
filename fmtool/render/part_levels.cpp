#include "fmtool/render/part_levels.h"

#include <algorithm>
#include <iterator>

#include "fmtool/arrange/chip_level.h"
#include "fmtool/arrange/performance.h"

namespace fmtool {
namespace {

constexpr int kFirstDrumKey = 35;

// BEGIN measured tables
// Measured by scripts/measure_gm_levels.py on 2026-12-08 against FluidSynth with
// FluidR3 GM: each program's notes 48, 60, 72 (each drum key's hits) at velocity
// 100, level = power mean of each note's first 0.5 s RMS; trim = (FluidR3's level
// - FluidR3's median program level) - (ours - our median program level), clamped
// to -18..+12 dB (1 clamped).
constexpr double kProgramTrimDb[128] = {
    -4.4, -4.4, 1.6, -5.1, 4.0, -0.8, 1.8, -2.0,
    0.7, -0.1, -0.3, -1.5, -0.7, -9.5, 1.9, -5.0,
    -0.2, 2.0, 1.5, 0.3, -0.2, -1.7, -1.2, -1.8,
    1.3, -0.4, 3.3, 1.8, -3.6, 2.8, 4.3, 5.7,
    1.7, 3.4, 1.7, 5.6, -3.4, -2.3, 0.6, 7.7,
    -1.6, -4.3, -3.5, -11.7, -4.4, 3.0, 1.1, -8.3,
    -4.0, -2.6, 0.0, 1.8, -2.8, 1.3, 0.2, 0.6,
    -3.0, 3.6, 4.9, -0.9, 0.4, -2.1, -0.6, -1.6,
    1.1, 2.0, -0.9, -2.4, -2.4, -3.7, -1.7, 3.2,
    2.8, 2.4, 4.4, 4.1, 5.9, 6.8, 7.7, 6.7,
    3.0, 0.5, 0.1, 1.8, 2.2, 5.9, -6.6, 1.4,
    -4.6, -7.5, -3.3, -1.5, 0.9, 0.1, -3.2, -1.7,
    -0.2, -6.7, -1.7, 2.9, -3.2, -9.9, 0.3, -1.1,
    -3.5, -5.9, -6.4, -3.0, -8.3, -0.5, -1.7, -1.5,
    -2.2, -9.6, -0.1, -11.5, 1.4, -0.5, 4.7, -13.8,
    -1.7, -3.7, -8.8, 0.0, -0.6, -18.0, -5.6, 4.2,
};

// Keys 35 to 81.
constexpr double kDrumTrimDb[47] = {
    -7.0, -6.5, 0.9, 0.2, 1.6, 0.4, -3.6, 4.4,
    -2.6, 7.4, -6.8, 3.5, -6.5, -7.0, 8.4, -8.7,
    8.5, 3.5, 6.5, 1.7, 3.5, -5.2, 7.4, 0.0,
    7.8, -1.8, -2.7, -1.7, -3.0, -1.2, 0.0, -0.7,
    -4.0, -2.5, 4.8, 1.0, -6.0, -1.9, 4.1, -3.5,
    -2.5, -5.0, -5.9, -4.4, -1.0, -1.4, -3.0,
};
// END measured tables

}  // namespace

double ProgramTrimDb(int program) {
    return program >= 0 && program < static_cast<int>(std::size(kProgramTrimDb)) ? kProgramTrimDb[program] : 0.0;
}

double DrumTrimDb(int key) {
    if (key < kFirstDrumKey || key >= kFirstDrumKey + static_cast<int>(std::size(kDrumTrimDb))) return 0.0;
    return kDrumTrimDb[key - kFirstDrumKey];
}

double PartsGain(const Performance& perf) {
    double velocity[kMidiChannels], level[kMidiChannels];
    std::fill(velocity, velocity + kMidiChannels, kSilentDb);
    std::fill(level, level + kMidiChannels, kSilentDb);
    for (const SourceNote& n : perf.notes) {
        velocity[n.channel] = std::max(velocity[n.channel], n.velocity_db + ProgramTrimDb(n.program));
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
    for (const DrumHit& h : perf.hits) peak = std::max(peak, h.level_db + DrumTrimDb(h.key));
    return peak > kSilentDb ? -peak : 0;
}

}  // namespace fmtool
