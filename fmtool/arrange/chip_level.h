// Loudness: from a source note's velocity, channel volume and expression to
// the values the converter turns into chip levels.
//
// A General MIDI synthesiser treats velocity, volume (CC7) and expression
// (CC11) each as an amplitude share on a 40 log10 curve, so a note's level is
// 40 log10(v/127) + 40 log10(cc7/127) + 40 log10(cc11/127) dB. The arranger
// keeps those levels, relative to the song's loudest note, on both chips:
// - FM by velocity: the converter sets the carriers' total level to
//   127 - (127 - TL) x vol / 127 with vol = 97 + 30 v / 127, 0.75 dB a step,
//   so the reach depends on the voice's own carrier levels (about 22 dB).
// - Squares and noise by expression sent before the note: the converter
//   takes attenuation 15 - cc11 / 8, 2 dB a step, 15 being silence.
#pragma once

#include <cstdint>

struct FmVoice;

namespace fmtool {

// Level in dB of a note (velocity, volume, expression 1..127; 0 is silence).
double SourceLevelDb(int velocity, int volume, int expression);
// A level of silence: any factor of 0.
constexpr double kSilentDb = -1000;

// How much louder the chips' full scale is on the squares than on the FM
// channels as a player mixes them; the squares are lowered by this much.
constexpr double kSquareMixDb = 6;

// The velocity (1..127) that plays `voice` at `db` (<= 0) below its full
// level, as near as the converter's steps allow; quieter is held at its floor.
int FmVelocity(const FmVoice& voice, double db);

// The attenuation (0..14, 2 dB steps) that plays a square or the noise at
// `db` (<= 0) below its full level: never silence (15).
int DcsgAttenuationOf(double db);
// The same for a sound dying away: a level beyond attenuation 14 is silence.
int DcsgFadeOf(double db);
// The carrier attenuation in total-level steps (0.75 dB) of a level `db`
// (<= 0) below `voice`'s full level: never silence, at worst its loudest
// carrier one step above it (a voice with no audible carrier: 0).
int FmAttenuationOf(const FmVoice& voice, double db);
// The expression value (8..127) the converter turns into that attenuation.
int DcsgExpression(double db);

// Whether the converter's voice can be heard at all: a carrier of its
// algorithm below total level 127.
bool VoiceAudible(const FmVoice& voice);

}  // namespace fmtool
