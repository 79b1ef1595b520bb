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
#include "fmtool/arrange/gm_programs.h"
#include "fmtool/arrange/noise_channel.h"
#include "fmtool/arrange/performance.h"
#include "fmtool/arrange/voice_allocator.h"
#include "fmtool/arrange/voice_requests.h"

class FMInst;

namespace MIDI {
class Score;
}

namespace fmtool {

// What each chip channel plays and when: the arranger's decisions, which
// are then written as a MIDI file in the converter's layout (Arrange) or
// rendered straight to the chips (fmtool/render).
struct SongPlan {
    explicit SongPlan(const FMInst& bank) : voices(bank) {}

    ProgramVoices voices;
    Performance perf;
    SongRequests song;
    Allocation alloc;
    std::vector<DrumHit> noise_hits;  // the hits that may take the noise channel, by start
    std::vector<NoiseTurn> turns;     // ... and those that do, with their ends
    double gain = 0;                  // brings the loudest note or hit to the chips' full level in fmroll's layout
    bool dac = false;                 // FM channel 6 gives way to the DAC, which plays song.dac_hits
};

// Who plays the plan: fmroll, from the MIDI file Arrange writes, or a
// renderer that drives the chips itself (fmtool/render): then the sampled
// kit plays its drums on the DAC, if the song has any (else it keeps six FM
// voices).
enum class PlanFor { FmrollLayout, Chips };

// Plans `score` (for the voices `plan` was made with). Returns false only for
// a song whose real length is beyond what a VGM file can hold.
bool PlanSong(const MIDI::Score& score, PlanFor target, SongPlan& plan);

// What the plan keeps of the song and what it loses.
ArrangeSummary Summarise(const SongPlan& plan);

struct Arrangement {
    std::vector<std::uint8_t> smf;  // the arranged MIDI file
    ArrangeSummary summary;
};

// Arranges `score` for the voices of `bank`. The title of a song without a
// track name is `fallback_title`. Returns false only for a song whose real
// length is beyond what a VGM file can hold.
bool Arrange(const MIDI::Score& score, const FMInst& bank, const std::string& fallback_title, Arrangement& out);

}  // namespace fmtool
