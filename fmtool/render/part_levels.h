#pragma once

// How much louder or softer than the others a General MIDI synthesiser plays
// each program and drum key, as dB to add to a part's level on the chips; and
// the song's gain with them.

namespace fmtool {

struct DrumHit;
struct Performance;
struct SourceNote;

// The trim of General MIDI program `program` (0-127); 0 for any other number.
double ProgramTrimDb(int program);

// The trim of General MIDI drum key `key` (35-81); 0 for any other key.
double DrumTrimDb(int key);

// A note's velocity level with its program's trim, and a hit's level with
// its key's: what the chips play them at, before the song's gain and the
// channel's volume x expression.
double TrimmedDb(const SourceNote& note);
double TrimmedDb(const DrumHit& hit);

// The gain in dB that brings the loudest a part of `perf` can get to the
// chips' full level: on each channel its loudest velocity with its program's
// trim at its loudest volume x expression (at a note-on or a change, so that
// no swell is cut off at the top), and every drum hit with its key's trim.
// 0 for a song without a sound.
double PartsGain(const Performance& perf);

}  // namespace fmtool
