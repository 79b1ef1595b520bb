// The inputs every command reads the same way: the bank it plays with and
// the song, as fmroll reads them and with fmroll's verdicts, given back as a
// line that names the file and says why.
#pragma once

#include <memory>
#include <string>

#include "smf/smf_score.h"

class FMInst;

namespace fmtool {

// Loads the bank at `path` (OPM text or any voice file format) into `bank`,
// or the built-in General MIDI bank when `path` is empty. The lines the bank
// skips or loses go to standard error at once. False with the reason in
// `message`: "BANK: OPM file read error (268435456), abort... (no such file)".
bool LoadBank(const std::string& path, FMInst& bank, std::string& message);

// Reads the MIDI file at `path` as fmroll reads it. False with the reason in
// `message`: "SONG: MIDIC: HeaderChunk Illegal, abort...".
bool ReadSong(const std::string& path, MIDI::Score& score, std::unique_ptr<MIDI::DMIDI>* song,
              std::string& message);

}  // namespace fmtool
