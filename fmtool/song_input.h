// Reading a command's inputs as fmroll reads them, with fmroll's messages,
// given back as a line that names the file instead of printed.
#pragma once

#include <memory>
#include <string>

#include "midi/smf_score.h"

class FMInst;

namespace fmtool {

// Loads the bank at `path` into `bank`, or the built-in General MIDI bank
// when `path` is empty. False with the reason in `message`: "BANK: OPM file
// read error (268435456), abort... (no such file)".
bool LoadBank(const std::string& path, FMInst& bank, std::string& message);

// Reads the MIDI file at `path` as fmroll reads it. False with the reason in
// `message`: "SONG: MIDIC: HeaderChunk Illegal, abort...".
bool ReadSong(const std::string& path, MIDI::Score& score, std::unique_ptr<MIDI::DMIDI>* song,
              std::string& message);

}  // namespace fmtool
