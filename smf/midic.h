// MIDIC reads a Standard MIDI File held whole in memory into a converted song
// (DMIDI) and restamps the song's clocks from ticks to frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "smf/dmidi.h"
#include "smf/smf_status.h"
#include "vgm/vgm_format.h"

namespace MIDI {

class SmfCursor;

// One event of the file as it stands, for callers that need more of the song
// than the converted event list keeps (meta events, system exclusive, the
// file's own ticks). Handed out in file order, track by track.
struct SmfRawEvent {
    unsigned track = 0;        // 0-based track chunk
    std::uint64_t ticks = 0;   // the file's ticks since the track began (saturating)
    std::uint8_t status = 0;   // channel status with its channel, 0xFF meta, or the system byte
    std::uint8_t data1 = 0;    // channel data bytes (data2 is 0 for one-byte messages);
    std::uint8_t data2 = 0;    // for a meta event data1 is its type
    const std::uint8_t* body = nullptr;  // meta and system payload, as long as declared
    std::size_t body_size = 0;           // (a set-tempo body always has 3 readable bytes)
};
using SmfEventSink = std::function<void(const SmfRawEvent&)>;

class MIDIC {
public:
    // Largest end frame whose sample count fits the VGM header's 32 bits
    // (5843492 frames, a little over 27 hours).
    static constexpr std::uint32_t kMaxEndFrame = UINT32_MAX / VGM::kSamplesPerFrame;

    // The parse state of one track, reset at the start of every track.
    struct Event {
        std::uint64_t ticks = 0;           // absolute time in the file's ticks (saturating)
        std::uint32_t running_status = 0;  // last channel status byte, 0 = none yet
    };

    // Converts the file image of `size` bytes, with every clock rescaled to
    // `resolution` ticks per quarter note. A rejected file gives null, and
    // status() says why. Every event the file holds is also handed to `sink`,
    // when one is given, before the file is accepted: a caller keeps what it
    // gathered only when a song is returned.
    std::unique_ptr<DMIDI> read_smf(const std::uint8_t* data, std::size_t size, unsigned resolution,
                                    const SmfEventSink& sink = {});

    // Rewrites every clock of `song` in place as a frame number at `fps`
    // frames per second and returns the song; null (status() TooLong) when
    // the song is too long for a VGM file.
    DMIDI* convert_clock_to_frame(DMIDI* song, unsigned fps);

    // Why the last read_smf or convert_clock_to_frame failed; Ok after a success.
    SmfStatus status() const { return last; }

private:
    using Result = SmfStatus;

    Result read_header(SmfCursor& in, unsigned* trackCount);
    Result read_tracks(SmfCursor& in, unsigned trackCount);
    Result parse_deltatime(SmfCursor& in, Event* state);
    Result parse_event(SmfCursor& in, Event* state);
    Result parse_meta(SmfCursor& in, Event* state);
    void emit(const Event& state, std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
              const std::uint8_t* body = nullptr, std::size_t body_size = 0) const;
    // Appends one channel event: channel and kind from `status`, a pitch bend
    // folded into one signed value.
    Result dmid_append(std::uint64_t ticks, int status, int data1, int data2);
    Result append(std::uint64_t ticks, std::uint8_t channel, std::uint8_t status, std::uint8_t data1,
                  std::uint8_t data2);

    unsigned resolution = 0;
    DMIDI* song = nullptr;  // the song under construction, owned by convert_smf
    const SmfEventSink* sink = nullptr;  // not owned; set while read_smf runs
    unsigned track = 0;                  // the track being read
    SmfStatus last = SmfStatus::Ok;
};

}  // namespace MIDI
