// Test helper: builds Standard MIDI File images in memory.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// A variable-length quantity of any value (7 bits a byte, most significant first).
Bytes Vlq(std::uint64_t value);

// The events of one track; each call appends a delta time and an event.
class TrackBuilder {
public:
    // Any raw event bytes behind a delta time (status optional: running status).
    TrackBuilder& Raw(std::uint64_t delta, std::initializer_list<std::uint8_t> bytes);
    TrackBuilder& NoteOn(std::uint64_t delta, int ch, int note, int velocity);
    TrackBuilder& NoteOff(std::uint64_t delta, int ch, int note, int velocity = 0);
    TrackBuilder& Control(std::uint64_t delta, int ch, int controller, int value);
    TrackBuilder& Program(std::uint64_t delta, int ch, int program);
    TrackBuilder& Bend(std::uint64_t delta, int ch, int bend);  // -8192..8191
    TrackBuilder& Tempo(std::uint64_t delta, std::uint32_t usPerQuarter);
    TrackBuilder& Meta(std::uint64_t delta, std::uint8_t type, const Bytes& body);
    TrackBuilder& Sysex(std::uint64_t delta, const Bytes& body);
    TrackBuilder& EndOfTrack(std::uint64_t delta = 0);

    Bytes data;
};

// "MThd" header with length 6, then each track wrapped in an "MTrk" chunk.
Bytes BuildSmf(std::uint16_t format, std::uint16_t division, const std::vector<TrackBuilder>& tracks);
Bytes BuildSmfRaw(std::uint16_t format, std::uint16_t trackCount, std::uint16_t division,
                  const std::vector<Bytes>& trackData);

void AppendBe32(Bytes& out, std::uint32_t v);
void AppendBe16(Bytes& out, std::uint16_t v);

}  // namespace testsupport
