// The stages of the pipeline in one call each, shared by the command-line
// programs, the fuzz targets and the benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "midi/dmidi.h"
#include "midi/midic.h"

class FMInst;
class VGMOUT;

namespace MIDI {

// The song's fixed timing: ticks per quarter note after reading, frames per second.
constexpr unsigned kSongResolution = 48;
constexpr unsigned kFramesPerSecond = 60;

// Reads an SMF image into a frame-stamped song, as the converter does. A
// rejected file gives null, with the reason in `status` when one is given.
// Every event of the file is also handed to `sink` when one is given (see
// MIDIC::read_smf).
std::unique_ptr<DMIDI> ReadSong(const std::uint8_t* data, std::size_t size, const SmfEventSink& sink = {},
                                SmfStatus* status = nullptr);

// Builds the FM driver, the DCSG driver and the sequencer, binds them in the
// program's order (FM bank, FM writer with its initial register writes, DCSG
// writer, sequencer) and plays the frame-stamped `song` into `vgm`.
void RenderSong(DMIDI* song, FMInst* bank, VGMOUT* vgm);

}  // namespace MIDI
