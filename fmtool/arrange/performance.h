// What a General MIDI file plays, read as a synthesiser would play it: notes
// with their real start and end (the sustain pedal holding them on), the
// loudness, bend and pan of their channel, the drum hits of channel 10, and
// the song's loop point and end. Times are moments of the arranged song
// (frame and millisecond tick, see frame_timeline.h).
#pragma once

#include <cstdint>
#include <vector>

#include "fmtool/arrange/frame_timeline.h"
#include "sequencer/sequencer_rules.h"

namespace MIDI {
class Score;
}

namespace fmtool {

constexpr unsigned kDrumChannel = 9;  // MIDI channel 10
using MIDI::kMidiChannels;

struct SourceNote {
    Moment start;
    Moment end;                 // note off, or pedal release; may lie in the start's frame
    std::uint8_t channel = 0;   // 0-15, never the drum channel
    std::uint8_t key = 0;
    std::uint8_t velocity = 0;
    std::uint8_t program = 0;   // the channel's program at the note on
    std::uint8_t pan = 64;      // the channel's pan at the note on
    double velocity_db = 0;     // the velocity's share of the level
    double channel_db = 0;      // volume x expression at the note on
    double bend_cents = 0;      // the channel's bend at the note on
    std::uint8_t modulation = 0;  // the channel's modulation wheel (CC1) at the note on
    std::uint32_t next_change = 0;  // first entry of changes[channel] after the note on

    double LevelDb() const { return velocity_db + channel_db; }
};

struct DrumHit {
    Moment start;
    std::uint8_t key = 0;
    std::uint8_t velocity = 0;
    double level_db = 0;  // velocity x volume x expression
};

// A change of a channel's bend, loudness, pan or modulation wheel while its
// notes sound.
struct ChannelChange {
    enum Kind : std::uint8_t { Bend, Level, Pan, Modulation };
    Moment at;
    Kind kind = Bend;
    std::uint8_t pan = 64;
    double value = 0;  // Bend: cents; Level: volume x expression in dB; Modulation: 0-127
};

struct Performance {
    std::vector<SourceNote> notes;  // by start, then file order
    std::vector<DrumHit> hits;      // by start
    std::vector<ChannelChange> changes[kMidiChannels];  // by time, per channel
    std::vector<Moment> loop_points;  // controller 111 or 56, marker or cue "loopStart" / "loop"
    Moment end;                       // the last End of Track
    unsigned silent_notes = 0;        // notes played at volume or expression 0
};

// Reads the score's channel events. Pedal (CC64 >= 64) holds released notes
// until it is lifted; a key struck again ends its earlier note; all notes
// off (CC123-127) releases every key, all sound off (CC120) ends every note;
// reset all controllers (CC121) resets expression, modulation, pedal and bend. The bend
// range is set by registered parameter 0/0 (CC6 semitones, CC38 cents) and is
// 2 semitones until then.
Performance ReadPerformance(const MIDI::Score& score, const FrameTimeline& timeline);

}  // namespace fmtool
