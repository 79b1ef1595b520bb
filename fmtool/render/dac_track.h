// The drums the YM2612's DAC plays: eight-bit samples of the synthesised
// kit (drum_kit.h), mixed and levelled ahead of time into one bank of PCM
// bytes, and the turns in which the song plays them.
//
// The hits that start in one frame are mixed into one sample, each at its
// own level (velocity x volume x expression, with its key's DrumTrimDb, in
// steps of kDacLevelStepDb). A mix is made once and played as often as the
// song strikes it, from the sample of the frame's first hit. A turn lasts
// until its sample ends, the song ends, or the next turn starts: a later hit
// takes the DAC from one still ringing, as its attack is what the ear follows.
#pragma once

#include <cstdint>
#include <vector>

#include "fmtool/arrange/performance.h"
#include "vgm/vgm_format.h"

namespace fmtool {

// Samples of 1/44100 s between DAC bytes: 14700 bytes a second, 245 a frame.
constexpr std::uint32_t kDacWait = 3;
constexpr std::uint32_t kDacRate = VGM::kSampleRate / kDacWait;
constexpr std::uint32_t kDacBytesPerFrame = VGM::kSamplesPerFrame / kDacWait;
static_assert(kDacBytesPerFrame * kDacWait == VGM::kSamplesPerFrame, "a frame holds whole DAC bytes");

constexpr double kDacLevelStepDb = 3;
// The bank stops taking new mixes here: later frames reuse a sample already
// in it (the loudest hit's key, at the nearest level), so that no song can
// make the file grow without bound.
constexpr std::size_t kMaxDacBank = 1u << 19;

struct DacTurn {
    Moment start;              // of the frame's first hit
    std::uint32_t offset = 0;  // of its sample in the bank
    std::uint32_t length = 0;  // bytes of its sample, the last one silence
};

struct DacTrack {
    std::vector<std::uint8_t> bank;  // unsigned eight-bit PCM, 0x80 silence
    std::vector<DacTurn> turns;      // by start
};

// The turns of `hits` (by start) before frame `end`, each hit at its level
// plus its key's DrumTrimDb plus `gain` dB.
DacTrack BuildDacTrack(const std::vector<DrumHit>& hits, std::uint64_t end, double gain);

}  // namespace fmtool
