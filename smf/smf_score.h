// The score: a MIDI file read whole, as the musician wrote it. Where the
// converted song (DMIDI) keeps only what the sequencer plays, at 48 ticks a
// quarter and whole-BPM tempos, the score keeps every event of every track at
// the file's own ticks, the texts, the meter and the exact tempo map, and
// gives each event its real time. It is what the companion tool's checks and
// arranger read; the converter itself never needs it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "smf/dmidi.h"
#include "smf/smf_status.h"

namespace MIDI {

struct ScoreEvent {
    std::uint64_t tick = 0;      // the file's ticks since the song began
    double seconds = 0;          // real time through the file's tempo map
    // Of a text meta event (types 0x01-0x0F): its index in Score::texts. Of a
    // set tempo: microseconds per quarter note. Of a time signature: the
    // numerator times 256 plus the denominator (4 for quarter notes). Else 0.
    std::uint32_t payload = 0;
    std::uint16_t track = 0;     // 0-based track chunk
    std::uint8_t status = 0;     // channel status with its channel, 0xFF meta, or the system byte
    std::uint8_t data1 = 0;      // channel data; the meta type of a meta event
    std::uint8_t data2 = 0;

    bool IsChannel() const { return status >= 0x80 && status < 0xF0; }
    bool IsMeta() const { return status == 0xFF; }
    unsigned Channel() const { return status & 0x0F; }
    unsigned Kind() const { return status & 0xF0; }  // 0x80 note off ... 0xE0 pitch bend
    // A note on of velocity 0 is a note off here, as every player reads it.
    bool IsNoteOn() const { return Kind() == 0x90 && data2 > 0; }
    bool IsNoteOff() const { return Kind() == 0x80 || (Kind() == 0x90 && data2 == 0); }
    // The bend of a pitch-bend event, -8192..8191.
    int Bend() const { return data2 * 128 + data1 - 8192; }
};

struct TempoChange {
    std::uint64_t tick = 0;
    std::uint32_t us_per_quarter = 500000;
    double seconds = 0;  // real time of `tick`
};

struct TimeSignature {
    std::uint64_t tick = 0;
    unsigned numerator = 4;
    unsigned denominator = 4;  // note value of one beat: 1, 2, 4, 8 ...
    std::uint64_t bar = 0;     // 0-based bar that begins at `tick`
};

struct BarBeat {
    std::uint64_t bar = 1;  // 1-based
    unsigned beat = 1;      // 1-based
};

// A text of the score keeps at most this many bytes of the file's text; a
// text this long may have been cut, perhaps inside a character.
constexpr std::size_t kMaxTextBytes = 4096;

class Score {
public:
    std::uint16_t format = 0;
    std::uint16_t division = 0;   // the header's word: ticks per quarter, or SMPTE when bit 15 is set
    std::vector<ScoreEvent> events;  // ascending tick; at one tick earlier tracks first, then file order
    std::vector<std::string> texts;  // the file's bytes, in no known encoding; at most kMaxTextBytes each
    std::vector<TempoChange> tempo;  // starts at tick 0 (500000 us unless the file says otherwise there)
    std::vector<TimeSignature> meter;  // starts at tick 0 (4/4 unless the file says otherwise there)
    std::vector<std::uint64_t> track_ends;  // tick of each track's last event (its End of Track)

    // Ticks per quarter note as the converter reads them: the division's low 15 bits.
    unsigned TicksPerQuarter() const { return division & 0x7FFFu; }
    // Real time of a tick. SMPTE divisions count ticks per second and ignore tempo.
    double Seconds(std::uint64_t tick) const;
    BarBeat BarBeatAt(std::uint64_t tick) const;
    // The end of the longest track.
    std::uint64_t EndTick() const;
    double EndSeconds() const { return Seconds(EndTick()); }
};

// Reads an SMF image exactly as the converter does (the same files accepted,
// for the same reasons) and fills `score`. When `song` is given it receives
// the converted, frame-stamped song too. Returns false when the file was
// rejected, with the reason in `status` when one is given.
bool ReadScore(const std::uint8_t* data, std::size_t size, Score& score, std::unique_ptr<DMIDI>* song = nullptr,
               SmfStatus* status = nullptr);

// Reads the MIDI file at `path` (see ReadSmfFile) into `score` (and `song`)
// as ReadScore does; Ok, or why the file was not read.
SmfStatus ReadScoreFile(const char* path, Score& score, std::unique_ptr<DMIDI>* song = nullptr);

// "m:ss.s" for a time in seconds.
std::string FormatMinutes(double seconds);

}  // namespace MIDI
