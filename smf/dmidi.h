// The converted song: one flat, time-ordered list of small events merged from
// every track of a MIDI file. The reader fills it with tick clocks, then the
// frame conversion rewrites every clock as a 1/60 s frame number in place.
#pragma once

#include <cstdint>
#include <vector>

namespace MIDI {

// Tempo and end events share the status byte 0xF0 with no MIDI meaning.
constexpr std::uint8_t kStatusSystem = 0xF0;
constexpr std::uint8_t kTempoChannel = 1;     // channel byte of a tempo event
constexpr std::uint8_t kEndChannel = 15;      // channel byte of the end event
constexpr std::uint8_t kEndData = 0xFF;       // both data bytes of the end event

// One event, copied by value. A pitch bend keeps its signed 16-bit bend in the
// two data bytes (data1 the low byte); a tempo event keeps its BPM there.
struct DMIDI_EVENT {
    std::uint32_t clock = 0;   // ticks of `timebase`, then a frame number
    std::uint8_t channel = 0;  // 0-15
    std::uint8_t status = 0;   // 0x80..0xE0, or 0xF0 for tempo and end events
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;

    // The bend of a pitch-bend event, -8192..8191 (0 is the centre).
    std::int16_t bend() const {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(data2 << 8 | data1));
    }
    bool is_tempo() const { return (status & kStatusSystem) == kStatusSystem && (channel & 0x0F) == kTempoChannel; }
    bool is_end() const { return status == kStatusSystem && data1 == kEndData && data2 == kEndData; }
    // The tempo in BPM carried by a tempo event.
    std::uint32_t tempo() const { return data1 + data2 * 256u; }
};

struct DMIDI {
    std::uint32_t timebase = 0;  // ticks per quarter note of the clocks in `events`
    std::vector<DMIDI_EVENT> events;
};

// Sort key of the event list: ascending clock, unsigned.
inline bool LessClock(const DMIDI_EVENT& a, const DMIDI_EVENT& b) { return a.clock < b.clock; }

}  // namespace MIDI
