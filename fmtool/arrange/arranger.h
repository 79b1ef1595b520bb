// The arranger: any General MIDI song becomes a MIDI file in the converter's
// layout that sounds like the original when the converter plays it.
//
// It runs in stages, each taking and returning values:
// - what the song plays (performance.h), in the frames of the arranged song
//   (frame_timeline.h);
// - what each note and drum hit asks of the chips (voice_requests.h), with
//   the General MIDI program rules of gm_programs.h and the kit of drum_map.h;
// - a chip channel for every note it can (voice_allocator.h), and the noise
//   channel's turns for the other drums (noise_channel.h);
// - the result written (note_writer.h into arranged_tracks.h), pitches an
//   octave down for the converter's octave up (chip_pitch.h) and levels from
//   velocity, volume and expression (chip_level.h), with a summary of what
//   was kept and lost (arrange_summary.h).
// The arranged song lasts as long as the source, to its last End of Track.
// docs/arranger.md tells the whole story.
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
