// Reading a MIDI file from disk into memory, with the command line's messages.
#pragma once

#include <cstdint>
#include <vector>

namespace MIDI {

// Reads the whole file at `path` into `data`. A pipe or a device (such as
// /dev/stdin fed by a pipe) is read to its end. Returns 0, or -1 after
// printing "File open error, abort..." (it cannot be opened) or "SMF file read
// error, abort..." (it cannot be read: a directory, more than 4 GiB - 1 bytes,
// an I/O error) on standard error.
int ReadSmfFile(const char* path, std::vector<std::uint8_t>& data);

}  // namespace MIDI
