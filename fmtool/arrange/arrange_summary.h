// What an arrangement kept of a song and what it lost, and why: the
// summary fmtool arrange prints and fmtool convert sums up per song.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fmtool/arrange/performance.h"

namespace fmtool {

// Why a note of the source is not in the arrangement.
enum class LossReason : std::uint8_t {
    NoVoice,   // every chip channel that could play it was busy with notes that matter more
    Doubled,   // ... and it doubled a sounding note at the same pitch
    SongEnd,   // it starts in the song's last frame, where nothing more is heard
    kCount
};

struct ArrangeSummary {
    unsigned notes = 0;        // melodic notes of the source (silent ones aside)
    unsigned kept = 0;
    unsigned moved = 0;        // kept notes moved by octaves into a chip's range
    unsigned cut = 0;          // kept notes ended early for a later note
    unsigned waited = 0;       // kept notes started one frame late
    // Dropped notes by reason and source MIDI channel (0-15).
    std::array<std::array<unsigned, kMidiChannels>, static_cast<int>(LossReason::kCount)> dropped{};
    unsigned silent = 0;       // notes and hits at volume or expression 0 in the source
    unsigned hits = 0;         // drum hits of the source
    unsigned hits_noise = 0;   // ... played on the noise channel
    unsigned hits_tone = 0;    // ... played on an FM or square channel
    unsigned hits_dac = 0;     // ... played as samples on the DAC
    unsigned hits_toneless = 0;  // lost drums with a pitch that found no tone channel either
    std::vector<std::pair<int, int>> substitutes;  // programs without a voice, and the voice used

    unsigned HitsKept() const { return hits_noise + hits_tone + hits_dac; }
};

// The summary as lines of text (each ending in a newline), for standard error.
std::string FormatSummary(const ArrangeSummary& summary);

}  // namespace fmtool
