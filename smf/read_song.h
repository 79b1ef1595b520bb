// Reading an SMF image into a frame-stamped song, as the converter does: the
// reader and the tick-to-frame conversion in one call, shared by the
// command-line programs, the fuzz targets and the benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "smf/dmidi.h"
#include "smf/midic.h"

namespace MIDI {

// The song's fixed timing: ticks per quarter note after reading, frames per second.
constexpr unsigned kSongResolution = 48;
constexpr unsigned kFramesPerSecond = 60;

// A rejected file gives null, with the reason in `status` when one is given.
// Every event of the file is also handed to `sink` when one is given (see
// MIDIC::read_smf).
std::unique_ptr<DMIDI> ReadSong(const std::uint8_t* data, std::size_t size, const SmfEventSink& sink = {},
                                SmfStatus* status = nullptr);

}  // namespace MIDI
