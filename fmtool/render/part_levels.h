#pragma once

// How much louder or softer than the others a General MIDI synthesiser plays
// each program and drum key, as dB to add to a part's level on the chips; and
// the song's gain with them.

namespace fmtool {

struct Performance;

// The trim of General MIDI program `program` (0-127); 0 for any other number.
double ProgramTrimDb(int program);

// The trim of General MIDI drum key `key` (35-81); 0 for any other key.
double DrumTrimDb(int key);

// The gain in dB that brings the loudest a part of `perf` can get to the
// chips' full level: on each channel its loudest velocity with its program's
// trim at its loudest volume x expression (at a note-on or a change, so that
// no swell is cut off at the top), and every drum hit with its key's trim.
// 0 for a song without a sound.
double PartsGain(const Performance& perf);

}  // namespace fmtool
