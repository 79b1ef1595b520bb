// The General MIDI drums the YM2612's DAC plays as 8-bit samples.
//
// Every sound is synthesised here, from a few sine or square-ish partials
// that may sweep in pitch and a band-passed noise that may come in bursts,
// each with its own decay. The content stays below 7 kHz, since the samples
// play at 14700 Hz. Hi-hats and cymbals are not in the kit: they stay on the
// SN76489's noise channel, whose white noise suits them better.
#pragma once

#include <vector>

namespace fmtool {

// Whether the DAC kit plays General MIDI drum key `key` (any int): kicks 35-36, side stick 37,
// snares 38/40, hand clap 39, toms 41/43/45/47/48/50, tambourine 54, cowbell 56, vibraslap 58,
// bongos/congas/timbales 60-66, agogos 67-68, cabasa/maracas 69-70, whistles 71-72, guiro 73-74,
// claves 75, wood blocks 76-77, cuicas 78-79, triangles 80-81. Hi-hats (42, 44, 46) and cymbals
// (49, 51, 52, 53, 55, 57, 59) and keys outside 35-81 stay on the noise channel: false.
bool DacDrum(int key);

// The sound of `key` at `rate` samples per second (8000..48000), mono floats in -1..1, to be
// scaled by the hit's level: kicks and snares peak at 1.0, the others as loud beside them as in
// a General MIDI kit. It lasts as long as it stays above 1/256 (at most 0.6 s) and ends in a
// sample of 0. The same samples on every platform. Empty for a key DacDrum refuses or a rate
// outside 8000..48000.
std::vector<float> DrumSample(int key, unsigned rate);

}  // namespace fmtool
