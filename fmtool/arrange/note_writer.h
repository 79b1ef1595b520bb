// Writes what the chips play, note by note, into the arranged tracks: a
// placed note with its program, pan, bend and level and the changes of its
// channel while it sounds; a drum on a tone channel with its sweep and fall;
// a hit on the noise channel, its level falling frame by frame.
//
// Levels are relative to the song's loudest note (SongGain), which plays at
// the chips' full level (chip_level.h).
#pragma once

#include <cstdint>
#include <vector>

#include "fmtool/arrange/arranged_tracks.h"
#include "fmtool/arrange/gm_programs.h"
#include "fmtool/arrange/performance.h"
#include "fmtool/arrange/voice_allocator.h"

namespace fmtool {

// The gain in dB that brings the loudest note or hit of `perf` to 0 dB; 0
// for a song without a sound.
double SongGain(const Performance& perf);

// The pan an FM channel plays a source pan 0-127 at: hard left (0) below 32,
// hard right (127) above 95, else centre (64).
int NearestPan(int pan);

class NoteWriter {
public:
    NoteWriter(ArrangedTracks& tracks, const ProgramVoices& voices, double gain)
        : tracks_(tracks), voices_(voices), gain_(gain) {}

    // `note` as placed, played on FM with `fm_program`; the bends, levels and
    // pans of `changes` (its channel's) follow it while it sounds.
    void Note(const Placement& p, int fm_program, const SourceNote& note, const std::vector<ChannelChange>& changes);
    // A drum with a pitch as placed, on FM with `fm_program`.
    void ToneDrum(const Placement& p, int fm_program, const DrumHit& hit);
    // A hit on the noise channel, silent from frame `stop` on at the latest.
    void NoiseHit(const DrumHit& hit, std::uint64_t stop);

private:
    int DcsgAttenuation(double db) const;
    int SquareExpression(double db) const;

    ArrangedTracks& tracks_;
    const ProgramVoices& voices_;
    const double gain_;
};

}  // namespace fmtool
