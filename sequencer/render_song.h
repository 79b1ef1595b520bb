// Playing a frame-stamped song into a VGM writer in one call, shared by the
// command-line programs, the fuzz targets and the benchmarks.
#pragma once

#include "smf/dmidi.h"
#include "smf/read_song.h"

class FMInst;
class VGMOUT;

namespace MIDI {

// Builds the FM driver, the DCSG driver and the sequencer, binds them in the
// program's order (FM bank, FM writer with its initial register writes, DCSG
// writer, sequencer) and plays the frame-stamped `song` into `vgm`.
void RenderSong(DMIDI* song, FMInst* bank, VGMOUT* vgm);

}  // namespace MIDI
