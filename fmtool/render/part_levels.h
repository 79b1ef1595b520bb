#pragma once

// How much louder or softer than the others a General MIDI synthesiser plays
// each program and drum key, as dB to add to a part's level on the chips.

namespace fmtool {

// The trim of General MIDI program `program` (0-127); 0 for any other number.
double ProgramTrimDb(int program);

// The trim of General MIDI drum key `key` (35-81); 0 for any other key.
double DrumTrimDb(int key);

}  // namespace fmtool
