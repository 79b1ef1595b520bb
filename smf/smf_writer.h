// Writing a Standard MIDI File from tracks of events held in memory: the
// reader's counterpart, for the tools that produce MIDI files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace MIDI {

// One event at an absolute tick of its track. A channel message has its
// status (kind and channel) and one or two data bytes by its kind; a meta
// event has status 0xFF, its type in data1 and its body in `body`.
struct SmfEvent {
    std::uint64_t tick = 0;
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    std::string body;
};

struct SmfTrack {
    std::vector<SmfEvent> events;  // in ascending tick order; equal ticks keep their order
    std::uint64_t end_tick = 0;    // End of Track, at the last event if that is later
};

// The file image: header (format, track count, ticks per quarter note), then
// one track chunk per track, each closed by its End of Track. Delta times are
// variable-length quantities; channel messages use running status after a
// channel message of the same status. An event whose tick lies before its
// predecessor's is written at its predecessor's tick.
std::vector<std::uint8_t> WriteSmf(std::uint16_t format, std::uint16_t division, const std::vector<SmfTrack>& tracks);

// A variable-length quantity, appended to `out`.
void AppendVlq(std::vector<std::uint8_t>& out, std::uint64_t value);

}  // namespace MIDI
