// The --bank of fmtool's commands: a bank in any supported voice format.
#pragma once

#include <string>

class FMInst;

namespace fmtool {

// Loads `path` into `bank` (see LoadVoiceBank). Prints the failure, or what
// the bank loses, on standard error: an OPM text fails with the converter's
// own message. False when the bank cannot be used.
bool LoadCommandBank(FMInst& bank, const std::string& path);

}  // namespace fmtool
