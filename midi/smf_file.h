// Reading a MIDI file from disk into memory, with the command line's messages.
#pragma once

#include <cstdint>
#include <vector>

namespace MIDI {

// Reads the whole file at `path` into `data`. Returns 0, or -1 after printing
// "File open error, abort..." (it cannot be opened) or "SMF file read error,
// abort..." (it cannot be read: a directory, a size beyond 32 bits, an I/O
// error) on standard error.
int ReadSmfFile(const char* path, std::vector<std::uint8_t>& data);

}  // namespace MIDI
