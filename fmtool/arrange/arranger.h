// The arranger: any General MIDI song becomes a MIDI file in the converter's
// layout that sounds like the original when the converter plays it.
//
// It reads what the song plays (performance.h), gives every note a chip
// channel (voice_allocator.h) and every drum hit the noise channel or a tone
// channel (drum_map.h), and writes the result (arranged_tracks.h) with each
// event in the frame its real time falls in (frame_timeline.h), pitches an
// octave down for the converter's octave up (chip_pitch.h) and levels from
// velocity, volume and expression (chip_level.h). The arranged song lasts as
// long as the source, to its last End of Track.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fmtool/arrange/arrange_summary.h"

class FMInst;

namespace MIDI {
class Score;
}

namespace fmtool {

struct Arrangement {
    std::vector<std::uint8_t> smf;  // the arranged MIDI file
    ArrangeSummary summary;
};

// Arranges `score` for the voices of `bank`. The title of a song without a
// track name is `fallback_title`. Returns false only for a song whose real
// length is beyond what a VGM file can hold.
bool Arrange(const MIDI::Score& score, const FMInst& bank, const std::string& fallback_title, Arrangement& out);

}  // namespace fmtool
