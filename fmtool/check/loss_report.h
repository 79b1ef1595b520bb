// What the conversion of one song with one bank will lose or change, as a
// list of findings grouped by MIDI channel: notes that will not be heard and
// why, notes cut short, what the converter ignores or plays differently
// (controllers, velocity, pans, bends, bend ranges, notes out of a chip's
// range), and the song-wide changes (tempo, the cut rest, the octave).
// Counts of notes come from the playback model (playback_model.h), so they
// are true of the output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fmtool/check/playback_model.h"
#include "smf/dmidi.h"
#include "smf/smf_score.h"

class FMInst;

namespace fmtool {

enum class Severity : std::uint8_t {
    kLost,     // notes or sounds that will not be heard, or not in full
    kChanged,  // heard, but not as written
    kInfo,     // true of every song
};

enum class FindingKind : std::uint8_t {
    // Notes lost (severity kLost).
    kChannelNotPlayed,   // notes on MIDI channels 11-16
    kNoProgram,          // FM notes before any program change
    kDefaultProgram,     // FM notes on a program the bank leaves at the silent default voice
    kSilentVoice,        // FM notes on a program whose carriers are all at total level 127
    kSilentExpression,   // square/noise notes under an expression below 8
    kPeriodZero,         // square notes above 107
    kNeverHeard,         // replaced or released within their frame
    kCutShort,           // heard for less than half their written length
    // Played differently (severity kChanged).
    kFmTooHigh,          // FM notes above 95: the key table's top block
    kSquareTooLow,       // square notes below 33: the longest period
    kVelocityIgnored,    // velocities below 127 on channels 7-10
    kIgnoredController,  // `param`: controller number; 128 key pressure, 129 channel pressure, 130 noise bend
    kPanBetween,         // FM pans other than 0, 64 and 127
    kBendNoRange,        // FM bends with no bend range set: +-12 semitones
    kSquareBendOctave,   // square bends span an octave whatever the range set
    kBendRangeOff,       // data entry above 32 switches bending off
    kDataEntryMisread,   // data entry for a non-registered parameter read as a bend range
    kTempoRounded,       // song-wide: whole-number tempos make the song slower
    kRestCut,            // song-wide: the rest after the last event
    // Information (severity kInfo).
    kOctaveUp,           // song-wide: every note sounds an octave above its written pitch
};

struct Finding {
    FindingKind kind = FindingKind::kNeverHeard;
    Severity severity = Severity::kLost;
    int channel = -1;        // MIDI channel 0-15, -1 for the whole song
    int param = -1;          // program or controller, where the kind has one
    std::uint64_t count = 0;
    std::uint32_t first_event = 0;  // index in the song's events of the first occurrence
    double first_seconds = 0;       // its written time
    MIDI::BarBeat first_bar;
    bool bar_known = true;
    // Song-wide measures: kTempoRounded: percent slower, seconds late;
    // kRestCut: seconds cut.
    double percent = 0;
    double seconds = 0;

    std::string Text() const;  // "notes before any program change: no voice is loaded, silent"
    const char* Name() const;  // "no_program", for the JSON form
};

struct ChannelReport {
    int channel = 0;  // MIDI channel 0-15
    std::uint64_t notes = 0;
    std::uint64_t heard = 0;
    std::vector<Finding> findings;  // losses first, then changes; larger counts first
};

struct LossReport {
    std::uint64_t notes = 0;  // note-ons with velocity above 0, all channels
    std::uint64_t heard = 0;
    std::vector<ChannelReport> channels;  // with findings only; worst first
    std::vector<Finding> song;            // song-wide findings
    std::uint32_t chip_sounds[10] = {};   // from the playback model

    // True when anything besides information is reported.
    bool LosesAnything() const;
    double HeardPercent() const;
};

// Builds the report of `song` (frame-stamped) and `score`, both read from the
// same file by MIDI::ReadScore, played with `bank`.
LossReport BuildLossReport(const MIDI::Score& score, const MIDI::DMIDI& song, const FMInst& bank);

// "MIDI channel 3 (FM 3)", "MIDI channel 10 (noise)", "MIDI channel 12 (not played)".
std::string ChannelTitle(int channel);

}  // namespace fmtool
