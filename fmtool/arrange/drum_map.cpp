#include "fmtool/arrange/drum_map.h"

namespace fmtool {

namespace {

struct KeyRange {
    int first;
    int last;
    DrumSound sound;
};

constexpr ToneDrum kNone = ToneDrum::None;
constexpr ToneDrum kSkin = ToneDrum::Skin;
constexpr ToneDrum kSolid = ToneDrum::Solid;

// name, priority, noise, frames, attenuation, decay (1/4 steps a frame),
// tone, pitch (0: the key's own, raised as below), tone frames.
// Kick and snare win the noise channel over hats and cymbals; cymbals ring
// longest; hats, shakers and small percussion are short and quieter.
constexpr KeyRange kKit[] = {
    {0, 34, {"high percussion", 1, kNoiseWhiteHigh, 2, 5, 16, kNone, 0, 0}},
    {35, 36, {"bass drum", 10, kNoisePeriodicLow, 5, 0, 12, kSkin, 57, 5}},
    {37, 37, {"side stick", 6, kNoiseWhiteHigh, 2, 2, 16, kNone, 0, 0}},
    {38, 38, {"acoustic snare", 9, kNoiseWhiteMid, 8, 0, 8, kNone, 0, 0}},
    {39, 39, {"hand clap", 8, kNoiseWhiteMid, 5, 1, 8, kNone, 0, 0}},
    {40, 40, {"electric snare", 9, kNoiseWhiteMid, 8, 0, 8, kNone, 0, 0}},
    {41, 41, {"low floor tom", 7, kNoiseWhiteLow, 8, 0, 8, kSkin, 0, 8}},
    {42, 42, {"closed hi-hat", 3, kNoiseWhiteHigh, 2, 3, 16, kNone, 0, 0}},
    {43, 43, {"high floor tom", 7, kNoiseWhiteLow, 8, 0, 8, kSkin, 0, 8}},
    {44, 44, {"pedal hi-hat", 2, kNoiseWhiteHigh, 2, 4, 16, kNone, 0, 0}},
    {45, 45, {"low tom", 7, kNoiseWhiteLow, 8, 0, 8, kSkin, 0, 8}},
    {46, 46, {"open hi-hat", 4, kNoiseWhiteHigh, 10, 3, 4, kNone, 0, 0}},
    {47, 48, {"mid tom", 7, kNoiseWhiteLow, 8, 0, 8, kSkin, 0, 8}},
    {49, 49, {"crash cymbal 1", 5, kNoiseWhiteHigh, 30, 1, 2, kNone, 0, 0}},
    {50, 50, {"high tom", 7, kNoiseWhiteLow, 8, 0, 8, kSkin, 0, 8}},
    {51, 51, {"ride cymbal 1", 3, kNoiseWhiteHigh, 8, 4, 4, kNone, 0, 0}},
    {52, 52, {"Chinese cymbal", 5, kNoiseWhiteHigh, 24, 1, 2, kNone, 0, 0}},
    {53, 53, {"ride bell", 3, kNoiseWhiteHigh, 8, 3, 4, kNone, 0, 0}},
    {54, 54, {"tambourine", 2, kNoiseWhiteHigh, 3, 4, 12, kNone, 0, 0}},
    {55, 55, {"splash cymbal", 5, kNoiseWhiteHigh, 16, 1, 3, kNone, 0, 0}},
    {56, 56, {"cowbell", 2, kNoisePeriodicHigh, 3, 3, 12, kSolid, 79, 4}},
    {57, 57, {"crash cymbal 2", 5, kNoiseWhiteHigh, 30, 1, 2, kNone, 0, 0}},
    {58, 58, {"vibraslap", 1, kNoiseWhiteMid, 6, 4, 4, kNone, 0, 0}},
    {59, 59, {"ride cymbal 2", 3, kNoiseWhiteHigh, 8, 4, 4, kNone, 0, 0}},
    {60, 66, {"bongo, conga, timbale", 5, kNoiseWhiteLow, 3, 2, 12, kSkin, 0, 4}},
    {67, 67, {"high agogo", 2, kNoisePeriodicHigh, 3, 3, 12, kSolid, 84, 4}},
    {68, 68, {"low agogo", 2, kNoisePeriodicHigh, 3, 3, 12, kSolid, 79, 4}},
    {69, 70, {"cabasa, maracas", 2, kNoiseWhiteHigh, 3, 4, 12, kNone, 0, 0}},
    {71, 74, {"whistle, guiro", 1, kNoiseWhiteMid, 4, 4, 8, kNone, 0, 0}},
    {75, 75, {"claves", 2, kNoisePeriodicHigh, 2, 3, 16, kSolid, 96, 2}},
    {76, 77, {"wood block", 2, kNoisePeriodicHigh, 2, 3, 16, kSolid, 86, 2}},
    {78, 79, {"cuica", 1, kNoiseWhiteMid, 4, 4, 8, kNone, 0, 0}},
    {80, 80, {"mute triangle", 2, kNoisePeriodicHigh, 3, 4, 12, kSolid, 100, 3}},
    {81, 81, {"open triangle", 2, kNoisePeriodicHigh, 12, 4, 3, kSolid, 100, 16}},
    {82, 127, {"high percussion", 1, kNoiseWhiteHigh, 2, 5, 16, kNone, 0, 0}},
};

// Toms sweep from well above their key: the floor tom (41) centres on 57.
constexpr int kTomRaise = 16;
constexpr int kHandDrumRaise = 12;
constexpr int kFirstHandDrum = 60;

constexpr int kQuarterSteps = 4;  // decay is counted in quarter attenuation steps

constexpr FmDrumPrograms kFmKick{{118, 116}};
constexpr FmDrumPrograms kFmTom{{117, 118}};

}  // namespace

const DrumSound& DrumSoundOf(int key) {
    for (const KeyRange& r : kKit) {
        if (key >= r.first && key <= r.last) return r.sound;
    }
    return kKit[0].sound;
}

int ToneDrumPitch(int key) {
    const DrumSound& s = DrumSoundOf(key);
    if (s.pitch != 0) return s.pitch;
    return key + (key >= kFirstHandDrum ? kHandDrumRaise : kTomRaise);
}

const FmDrumPrograms& FmDrumProgramsFor(int key) { return key <= 36 ? kFmKick : kFmTom; }

int DrumDecaySteps(const DrumSound& sound, unsigned long long frames) {
    return static_cast<int>(frames * static_cast<unsigned>(sound.decay) / kQuarterSteps);
}

}  // namespace fmtool
