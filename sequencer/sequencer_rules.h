// The sequencer's rules, one home for each: which chip plays which MIDI
// channel, the FM volume a velocity gives, the bend ranges data entry may
// set. The sequencer enforces them; fmtool's check and arranger read them
// from here to tell what the converter will do.
#pragma once

namespace MIDI {

// Channel routing: MIDI channels 0-5 play the FM channels, 6-8 the square
// tone channels and 9 the noise channel; 10-15 play nothing.
constexpr unsigned kFmChannels = 6;
constexpr unsigned kFirstDcsgChannel = 6;
constexpr unsigned kMidiNoiseChannel = 9;
constexpr unsigned kPlayedChannels = kMidiNoiseChannel + 1;
constexpr unsigned kMidiChannels = 16;

constexpr bool IsFmChannel(unsigned channel) { return channel < kFmChannels; }
// The squares and the noise.
constexpr bool IsDcsgChannel(unsigned channel) {
    return channel >= kFirstDcsgChannel && channel <= kMidiNoiseChannel;
}
constexpr bool IsSquareChannel(unsigned channel) {
    return channel >= kFirstDcsgChannel && channel < kMidiNoiseChannel;
}

// The FM driver's volume (97..127) for a note-on velocity (0..127): velocity
// moves an FM note over the top quarter of the volume scale only.
constexpr unsigned kFmVolumeFloor = 97;
constexpr unsigned kFmVolumeSpan = 30;
constexpr unsigned kMaxVelocity = 127;
constexpr unsigned FmVolumeOfVelocity(unsigned velocity) {
    return kFmVolumeFloor + (kFmVolumeSpan * velocity) / kMaxVelocity;
}

// Pitch-bend range in semitones before any is set, and the largest data
// entry may set; a larger value turns the bend off (range 0).
constexpr unsigned kDefaultBendRange = 12;
constexpr unsigned kMaxBendRange = 32;
constexpr unsigned BendRangeOfDataEntry(unsigned value) { return value <= kMaxBendRange ? value : 0; }

// An FM channel's pitch offset in F-number units for a bend (-8192..8191) at
// `range` semitones: 644 units an octave-wide range of 12 semitones, each
// division truncating toward zero. The tone channels take the raw bend.
constexpr int kFmDetunePerOctave = 644;
constexpr int FmDetuneOfBend(int bend, unsigned range) {
    return bend * static_cast<int>(range) / 12 * kFmDetunePerOctave / 8192;
}

}  // namespace MIDI
