// The audition of one voice: a short song that plays it (a rising C major
// scale, then the C major chord held), converted exactly as the converter
// converts any song.
#pragma once

#include <cstdint>
#include <vector>

class FMInst;

namespace fmtool {

// The song as a MIDI file in the converter's layout: MIDI channels 1-3 on
// `program`, eight quarter-second notes from C4 to C5, then C4-E4-G4 held for
// a second and a half and a second to let it ring out. Notes are written an
// octave low, since the converter plays them an octave up.
std::vector<std::uint8_t> AuditionSong(int program);

// The song converted with `bank` to a VGM image; empty if it would not convert.
std::vector<std::uint8_t> AuditionVgm(FMInst& bank, int program);

}  // namespace fmtool
