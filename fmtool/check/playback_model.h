// What the converter will make of every note of a song, worked out without
// rendering: a model of the sequencer's channel rules and of the chip state
// that decides whether a note can be heard, stepped through the frame-stamped
// song in the converter's own event order and frames. The rules themselves
// (routing, velocity to volume, carriers and level scaling, attenuation) come
// from the sequencer and the drivers; the stepping is the model's own, and the
// check's tests compare its counts with the notes decoded from the
// converter's real output.
//
// How notes are counted:
// - A note is a note-on of velocity above 0, on any of the 16 MIDI channels.
// - It is heard when its key-on produces at least one stretch of sound that
//   lasts a whole frame (1/60 s) or more. A stretch of sound is a chip note as
//   vgm/chip_notes.h reads it back from the output, with an audible voice:
//   FM: from the key-on to the channel's next key-on or key-off, the voice
//     loaded by a program change, one of its carriers (after velocity
//     scaling) below total level 127. The stereo bits are never both off:
//     every pan value sets at least one.
//   Squares and noise: while the channel is keyed and its attenuation, from
//     expression (controller 11, starting at 127), is below 15; squares also
//     need a period above 0 (notes above 107 have period 0). A note owns its
//     square or noise channel from its key-on to the next key-off or key-on
//     there, and every stretch of sound in that time counts for it; so an
//     expression swell from 0 makes a silent key-on heard.
// - Notes on channels 11-16 are never heard.
#pragma once

#include <cstdint>
#include <vector>

#include "smf/dmidi.h"

class FMInst;

namespace fmtool {

// Why a note is not heard (or kHeard).
enum class NoteFate : std::uint8_t {
    kHeard,
    kChannelNotPlayed,  // MIDI channels 11-16
    kNoProgram,         // FM: no program change yet, no voice loaded
    kSilentVoice,       // FM: the program's carriers are all at total level 127
    kSilentExpression,  // squares, noise: expression below 8 gives attenuation 15
    kPeriodZero,        // squares: a note above 107
    kNeverHeard,        // it sounded, but less than a frame: replaced or released within its frame
};

struct ModelNote {
    std::uint32_t event = 0;        // index of its note-on in the song's events
    std::uint8_t channel = 0;       // MIDI channel 0-15
    std::uint8_t key = 0;
    std::uint8_t velocity = 0;
    std::uint8_t program = 0;       // FM: the channel's program when it started
    std::uint32_t on_frame = 0;
    std::uint32_t written_frames = 0;  // to its own note-off (first in, first out per key), or the song's end
    std::uint32_t played_frames = 0;   // key-on to the end of its hold on the chip channel
    NoteFate fate = NoteFate::kHeard;

    bool heard() const { return fate == NoteFate::kHeard; }
};

struct PlaybackModel {
    std::vector<ModelNote> notes;  // in song order
    // Per chip channel (0-5 FM, 6-8 squares, 9 noise): stretches of sound of
    // a frame or more, which is what the decoded output holds as audible chip
    // notes of at least 735 samples. More than the heard notes where one
    // note's expression dips to silence and rises again.
    std::uint32_t chip_sounds[10] = {};
    std::uint32_t end_frame = 0;  // the frame of the song's end
};

// Steps `song` (frame-stamped, as MIDI::ReadSong gives it) through the model
// with the voices of `bank`.
PlaybackModel ModelPlayback(const MIDI::DMIDI& song, const FMInst& bank);

}  // namespace fmtool
