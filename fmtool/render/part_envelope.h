// How a note's loudness moves on the square channels, which have no
// envelope of their own: per General MIDI family, plucked and struck parts
// die away, held parts swell in and sustain, and every note fades out after
// its end instead of stopping dead.
#pragma once

namespace fmtool {

struct PartEnvelope {
    int attack_frames = 0;       // frames from attack_db up to the note's level
    double attack_db = 0;        // where the attack starts, below the note's level
    double decay_db = 0;         // fall per frame after the attack ...
    double floor_db = 0;         // ... down to this sustain level (below: silence)
    double release_db = 3;       // fall per frame after the note's end
};

// The envelope of General MIDI program 0-127.
const PartEnvelope& EnvelopeFor(int program);

// The envelope's level in dB (<= 0) `frames` after the note's start, or
// `released` frames after its end when that is not negative: the release
// falls from wherever the note had got to.
double EnvelopeDb(const PartEnvelope& e, unsigned long long frames, long long released);

}  // namespace fmtool
