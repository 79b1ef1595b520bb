// What each note and drum hit of a song asks of the chips' tone channels:
// the requests the voice allocator places (voice_allocator.h).
//
// A melodic note asks for a channel for its whole length, on FM with its
// program's voice (or the stand-in of gm_programs.h) or on a square, the
// squares first for the programs that prefer one. A drum with a pitch asks
// for a channel for its tone length: FM where the bank has a drum voice for
// it, else a square. Drums without a pitch go straight to the noise channel.
// A note that starts in the song's last frame asks for nothing: nothing more
// is heard there. When a sampled kit plays on the DAC, its drums
// (fmtool/render/drum_kit.h) ask for no channel at all.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "fmtool/arrange/gm_programs.h"
#include "fmtool/arrange/performance.h"
#include "fmtool/arrange/voice_allocator.h"

namespace fmtool {

// The note or hit a request stands for.
struct RequestOrigin {
    bool drum = false;
    std::uint32_t index = 0;  // into Performance::notes, or ::hits for a drum
};

struct SongRequests {
    std::vector<VoiceRequest> requests;  // by start frame; `source` indexes `origins`
    std::vector<RequestOrigin> origins;
    std::vector<std::uint32_t> noise_hits;  // hits that ask for no tone channel, by start
    std::vector<std::uint32_t> dac_hits;    // hits the DAC kit plays, by start
    std::array<unsigned, kMidiChannels> too_late{};  // notes in the song's last frame, by channel
    std::vector<std::pair<int, int>> substitutes;  // programs without a voice and the voice used, by first use
};

// The requests of `perf`, whose notes and hits are merged in time order
// (a note before a hit of the same frame); with `dac`, the DAC kit's hits go
// to the DAC.
SongRequests BuildRequests(const Performance& perf, const ProgramVoices& voices, bool dac = false);

}  // namespace fmtool
