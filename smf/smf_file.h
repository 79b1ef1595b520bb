// Reading a MIDI file from disk into memory.
#pragma once

#include <cstdint>
#include <vector>

#include "smf/smf_status.h"

namespace MIDI {

// Reads the whole file at `path` into `data`. A pipe or a device (such as
// /dev/stdin fed by a pipe) is read to its end. Returns Ok, OpenError (it
// cannot be opened), ReadError (it cannot be read: a directory, 4 GiB or
// more, an I/O error) or HeaderIllegal: a file whose first four bytes are not
// a MIDI header is refused as soon as they are read, so that a device that
// never ends (/dev/zero) or a large file of anything else is not read whole.
SmfStatus ReadSmfFile(const char* path, std::vector<std::uint8_t>& data);

}  // namespace MIDI
