// The arranged MIDI file being written, in the converter's layout: a
// conductor track (names, texts, the tempo, the loop point, the end), then one
// track per chip channel, MIDI channels 1-6 (FM), 7-9 (squares) and 10
// (noise). Each chip track remembers what the converter's channel holds
// (program, pan, bend, expression) and writes a change only where it differs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sequencer/sequencer_rules.h"
#include "smf/smf_writer.h"

namespace fmtool {

constexpr unsigned kNoiseChannel = MIDI::kMidiNoiseChannel;  // MIDI channel 10
constexpr unsigned kChipTracks = MIDI::kPlayedChannels;     // MIDI channels 1-10
// Conductor events that need a channel use channel 16, which the converter
// reads but never plays.
constexpr unsigned kConductorChannel = 15;

class ArrangedTracks {
public:
    ArrangedTracks();

    // Conductor track. Texts go in at their tick; the loop point at the first
    // millisecond of its frame, so that the whole frame is inside the loop.
    void Text(std::uint64_t tick, std::uint8_t type, const std::string& text);
    void LoopPoint(std::uint64_t frame);

    // Chip channel `ch` (0-9). Every tick is raised to the channel's last one,
    // so the track never goes back in time.
    void Program(unsigned ch, std::uint64_t tick, int program);
    void Pan(unsigned ch, std::uint64_t tick, int pan);  // 0, 64 or 127
    // Writes the bend range (registered parameter 0/0) before the first bend
    // of the channel; a bend in the frame of the channel's last event, when
    // that was a bend too, replaces it (the converter would only keep the last).
    void Bend(unsigned ch, std::uint64_t tick, int bend);
    void Expression(unsigned ch, std::uint64_t tick, int value);
    void NoteOn(unsigned ch, std::uint64_t tick, int note, int velocity);
    void NoteOff(unsigned ch, std::uint64_t tick);  // the channel's sounding note

    // The file: every track ends at `end_tick`, where the conductor's last
    // event (all notes off on channel 16) makes the converter's song end.
    std::vector<std::uint8_t> Finish(std::uint64_t end_tick);

private:
    struct ChipState {
        int program = -1;     // none loaded yet: the first note always sets one
        int pan = 64;         // the converter's channels start centred
        int bend = 0;
        bool range_set = false;
        int expression = 127;
        int note = -1;        // sounding note
    };

    void Channel(unsigned ch, std::uint64_t tick, std::uint8_t kind, int data1, int data2);

    std::vector<MIDI::SmfTrack> tracks_;  // 0 conductor, 1 + ch for chip channel ch
    ChipState state_[kChipTracks];
};

}  // namespace fmtool
