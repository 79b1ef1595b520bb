// The inputs every command reads the same way: the bank it plays with and
// the song, with fmroll's messages on standard error for what it refuses.
#pragma once

#include <memory>
#include <string>

#include "smf/smf_score.h"

class FMInst;

namespace fmtool {

// Loads the bank file at `path` into `bank`, or the built-in bank when `path`
// is empty. Prints the lines the load skipped and, when it fails, its error
// line ("OPM file read error (...), abort...", or "fmtool COMMAND: the
// built-in bank does not load"); false then.
bool LoadCommandBank(const char* command, const std::string& path, FMInst& bank);

// Reads the MIDI file at `path` as fmroll reads it; prints the reader's line
// for a file it refuses and gives false.
bool ReadCommandScore(const std::string& path, MIDI::Score& score, std::unique_ptr<MIDI::DMIDI>* song = nullptr);

}  // namespace fmtool
