// Spreads the notes of a song over the chips' nine tone voices: six FM
// channels and three square channels, each playing one note at a time.
//
// Notes are placed frame by frame, in time order; within a frame the top and
// bass notes first, then the louder ones, then drums with a pitch, which take
// a free channel or cut an earlier drum, a doubled note or an inner voice
// that has mostly died away.
// A note takes a free channel of the chip that suits it best: its part's chip
// (FM, or a square for the parts that prefer one), a channel that plays it
// without an octave move, the channel its part used last, one that already
// holds its program, and among equals the one silent longest (so that FM
// release tails ring out). A note of the same part that is about to end
// anyway hands its channel over (legato).
//
// When every channel that could play it in place (without an octave move,
// where a chip allows that) is busy, a sounding note there is cut if it
// matters no more than the new one, so the new attack is heard: drums first,
// then a note doubling another at the same pitch, then inner voices (a
// decaying one that has sounded a second or more before others), the bass and
// the top line last; among equals the one that has sounded longest. Failing
// that the note waits one frame for a channel that frees then, then it may
// move by octaves to another channel (free, or by the same cutting rule), or
// it is dropped.
//
// Every placed note starts in a frame of its own on its channel and lasts at
// least one frame.
#pragma once

#include <cstdint>
#include <vector>

#include "fmtool/arrange/chip_pitch.h"

namespace fmtool {

constexpr unsigned kFmChannels = 6;
constexpr unsigned kSquareChannels = 3;
constexpr unsigned kToneChannels = kFmChannels + kSquareChannels;  // 0-5 FM, 6-8 squares

struct VoiceRequest {
    std::uint32_t source = 0;       // the caller's index of the note or hit
    std::uint8_t part = 0;          // source MIDI channel
    bool drum = false;              // a drum hit: cuts only drums, doubled and faded inner notes
    bool decaying = false;          // an instrument whose notes die away by themselves
    bool square_ok = true;          // may play on a square channel
    bool prefers_square = false;
    int fm_program = -1;            // bank program to play on FM; -1: FM cannot play it
    int pitch = 60;                 // sounding pitch wanted
    double level_db = 0;            // to order notes of one frame
    std::uint64_t start = 0;        // frame
    std::uint64_t end = 1;          // frame, > start
};

struct Placement {
    std::uint32_t request = 0;      // index into the requests
    std::uint8_t channel = 0;       // tone voice 0-8
    std::uint64_t start = 0;        // frames; end > start
    std::uint64_t end = 0;
    PlacedNote note;                // on the channel's chip
    bool cut = false;               // ended early to free the channel for another note
    bool waited = false;            // started one frame late
};

enum class DropReason : std::uint8_t { NoVoice, Doubled };

struct Dropped {
    std::uint32_t request = 0;
    DropReason reason = DropReason::NoVoice;
};

struct Allocation {
    std::vector<Placement> placements;  // in the order they were made (by start frame)
    std::vector<Dropped> dropped;       // melodic requests only
    std::vector<std::uint32_t> unplaced_drums;  // drum requests that found no free channel
};

inline Chip ChipOf(unsigned channel) { return channel < kFmChannels ? Chip::Fm : Chip::Square; }

// Places `requests` (sorted by start frame) on the first `fm_channels` FM
// channels (the last one gives way when the DAC plays) and the squares.
// Linear in the number of requests for a bounded number of notes per frame.
Allocation AllocateVoices(const std::vector<VoiceRequest>& requests, unsigned fm_channels = kFmChannels);

}  // namespace fmtool
