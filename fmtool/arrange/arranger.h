// The arranger: any General MIDI song becomes a MIDI file in the converter's
// layout that sounds like the original when the converter plays it.
//
// It reads what the song plays (performance.h), gives every note a chip
// channel (voice_allocator.h) and every drum hit the noise channel or an FM
// channel (drum_map.h), and writes the result (arranged_tracks.h) with each
// event in the frame its real time falls in (frame_timeline.h), pitches an
// octave down for the converter's octave up (chip_pitch.h) and levels from
// velocity, volume and expression (chip_level.h). The arranged song lasts as
// long as the source, to its last End of Track.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fmtool/arrange/performance.h"

class FMInst;

namespace MIDI {
class Score;
}

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
    std::array<std::array<unsigned, kMidiChannels>, static_cast<int>(LossReason::kCount)> dropped{};
    unsigned silent = 0;       // notes and hits at volume or expression 0 in the source
    unsigned hits = 0;         // drum hits of the source
    unsigned hits_noise = 0;   // ... played on the noise channel
    unsigned hits_tone = 0;    // ... played on an FM or square channel
    unsigned hits_toneless = 0;  // lost drums with a pitch that found no tone channel either
    std::vector<std::pair<int, int>> substitutes;  // programs without a voice, and the voice used

    unsigned Dropped() const;
};

struct Arrangement {
    std::vector<std::uint8_t> smf;  // the arranged MIDI file
    ArrangeSummary summary;
};

// Arranges `score` for the voices of `bank`. The title of a song without a
// track name is `fallback_title`. Returns false only for a song whose real
// length is beyond what a VGM file can hold.
bool Arrange(const MIDI::Score& score, const FMInst& bank, const std::string& fallback_title, Arrangement& out);

// The summary as lines of text (each ending in a newline), for standard error.
std::string FormatSummary(const ArrangeSummary& summary);

}  // namespace fmtool
