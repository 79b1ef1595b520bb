// The General MIDI program names, which sequencers give the tracks of their
// parts: a track called "Dulcimer" names an instrument, not the song.
#pragma once

#include <string_view>

namespace MIDI {

constexpr int kGmPrograms = 128;

// The General MIDI 1 name of program 0-127 ("Acoustic Grand Piano"); "" outside.
const char* GmProgramName(int program);

// Whether `name` is a program's name, in any case, with any blanks, hyphens,
// underscores or other punctuation: "acoustic_grand_piano", "Honky Tonk Piano".
bool IsGmProgramName(std::string_view name);

}  // namespace MIDI
