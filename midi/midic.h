// MIDIC reads a Standard MIDI File held whole in memory into a converted song
// (DMIDI) and restamps the song's clocks from ticks to frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "midi/dmidi.h"

namespace MIDI {

class SmfCursor;

class MIDIC {
public:
    // Largest end frame whose sample count (735 per frame) fits the VGM
    // header's 32 bits: 5843492 x 735 is the largest such count below 2^32.
    static constexpr std::uint32_t kMaxEndFrame = 5843492;

    // The parse state of one track, reset at the start of every track.
    struct Event {
        std::uint64_t ticks = 0;           // absolute time in the file's ticks (saturating)
        std::uint32_t running_status = 0;  // last channel status byte, 0 = none yet
    };

    // Converts the file image of `size` bytes, with every clock rescaled to
    // `resolution` ticks per quarter note. Prints "Converting SMF..." first;
    // on a rejected file prints one error line and returns null.
    std::unique_ptr<DMIDI> convert_smf(const std::uint8_t* data, std::size_t size, unsigned resolution);

    // Rewrites every clock of `song` in place as a frame number at `fps`
    // frames per second and returns the song; null (with an error line) when
    // the song is too long for a VGM file.
    DMIDI* convert_clock_to_frame(DMIDI* song, unsigned fps);

private:
    // Why a file was rejected; each has its own message.
    enum class Result {
        Ok,
        HeaderIllegal,
        HeaderLengthIllegal,
        DivisionIllegal,
        TrackIllegal,
        EndOfFile,
        NoRunningStatus,
        TooLong,
    };

    Result read_header(SmfCursor& in, unsigned* trackCount);
    Result read_tracks(SmfCursor& in, unsigned trackCount);
    Result parse_deltatime(SmfCursor& in, Event* state);
    Result parse_event(SmfCursor& in, Event* state);
    Result parse_meta(SmfCursor& in, Event* state);
    // Appends one channel event: channel and kind from `status`, a pitch bend
    // folded into one signed value.
    Result dmid_append(std::uint64_t ticks, int status, int data1, int data2);
    Result append(std::uint64_t ticks, std::uint8_t channel, std::uint8_t status, std::uint8_t data1,
                  std::uint8_t data2);
    static void report(Result r);

    unsigned resolution = 0;
    DMIDI* song = nullptr;  // the song under construction, owned by convert_smf
};

}  // namespace MIDI
