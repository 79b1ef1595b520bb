// A piano roll of a VGM file as a plain SVG picture: one lane per chip
// channel (six FM, three squares, noise), each note a bar over a time axis,
// the loop point marked, and optionally the source song's own notes drawn
// faintly behind, so that what the conversion lost or moved stands out.
#pragma once

#include <string>
#include <vector>

#include "vgm/chip_notes.h"

namespace MIDI {
class Score;
}

namespace fmtool {

struct RollNote {
    unsigned lane = 0;  // chip channel: 0-5 FM, 6-8 squares, 9 noise
    double start = 0, end = 0;  // seconds
    int note = -1;      // MIDI note of the pitch, -1 without one (noise)
    bool audible = true;
};

struct PianoRoll {
    std::string title;
    double seconds = 0;        // length of the time axis
    double loop = -1;          // loop point in seconds, < 0 for none
    std::vector<RollNote> chip;  // drawn as bars of class "note"
    std::vector<RollNote> song;  // drawn faintly, class "song"
};

// The chip notes of a VGM file as roll notes.
std::vector<RollNote> RollNotesOf(const std::vector<VGM::ChipNote>& notes);

// The notes of a MIDI song in the lanes the converter routes its channels to
// (channels 1-6 FM, 7-9 squares, 10 noise; the rest are not played), at the
// pitch it plays them: FM and squares one octave above the written note.
// Times are the song's own, through its tempo map.
std::vector<RollNote> SongNotesOf(const MIDI::Score& score);

// The SVG document. Every chip note is one <rect class="note ...">.
std::string RenderPianoRoll(const PianoRoll& roll);

}  // namespace fmtool
