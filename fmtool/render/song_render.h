// Plays an arranger's plan (fmtool/arrange/arranger.h) straight on the
// chips, frame by frame: the arranger has decided what each channel plays
// and when; this decides which registers say it.
//
// - FM: each note keys its channel on with its voice, pan and pitch (bend
//   included, to the nearest F-number); its carriers' levels follow velocity
//   x volume x expression through the note, written at most once a frame and
//   moving at most kFmGlideSteps a frame so that no swell zips. A note
//   followed at once by another on its channel lets go one frame early, so
//   the next attack is heard. The modulation wheel sets the depth of the
//   chip LFO's vibrato on the channel (smooth, and free of writes).
// - Squares: pitch and level written every frame they change: the level
//   follows the note's dynamics and its General MIDI family's envelope
//   (part_envelope.h), and the modulation wheel adds a vibrato of the
//   depth a General MIDI synthesiser gives it.
// - Noise: each turn of the arranger's noise plan, falling frame by frame.
// - DAC: with a DAC plan, FM channel 6 plays the sampled kit (dac_track.h):
//   one PCM data block at the start, a seek at each turn, then one DAC byte
//   every kDacWait samples while a drum sounds.
// Every level also carries its General MIDI program's or drum key's trim
// (part_levels.h), so that the parts balance as a General MIDI synthesiser
// balances them.
#pragma once

class FMInst;
class VGMOUT;

namespace fmtool {

struct SongPlan;

// Cents of vibrato at full modulation wheel, and its rate in frames a cycle
// on the squares (the FM channels use the chip LFO at its rate of 6 Hz).
constexpr double kWheelVibratoCents = 50;
constexpr double kSquareVibratoFrames = 10;
// The most an FM carrier's level moves in one frame, in 0.75 dB steps.
constexpr int kFmGlideSteps = 4;

// Renders `plan` (made for `bank`) into `vgm`, ending it; stops early once
// `vgm` is Full.
void RenderPlan(const SongPlan& plan, FMInst& bank, VGMOUT& vgm);

}  // namespace fmtool
