// The General MIDI drum kit (channel 10) on the Mega Drive.
//
// Every key has a noise sound: a kind of noise on the SN76489's noise
// channel, shaped into a short decaying hit. The converter reads channel 10's
// program as the noise kind (program & 7): 0-2 periodic noise (a buzz at 437,
// 218, 109 Hz), 4-6 white noise (shift rate high, middle, low); kinds 3 and 7
// follow square channel 3's period and are never used. The noise channel has
// no envelope, so the arranger writes the decay as expression steps, one a
// frame, and it plays one hit at a time: when hits meet in a frame the one of
// highest priority wins (kick and snare before hats and cymbals; see
// noise_channel.h).
//
// Drums with a pitch (kicks, toms, hand drums, cowbell, agogo, claves, wood
// blocks, triangle) may instead take a tone channel that is free: an FM
// channel with a drum voice of the bank (General MIDI 118 Synth Drum, 116
// Taiko, 117 Melodic Tom), or a square channel. Skins sweep down in pitch as
// they sound (a square kick falls two octaves in a few frames); wood and
// metal keep theirs. So a kick and a hi-hat struck together are both heard.
#pragma once

namespace fmtool {

// Noise kinds by the converter's channel-10 program.
constexpr int kNoisePeriodicHigh = 0;
constexpr int kNoisePeriodicLow = 2;
constexpr int kNoiseWhiteHigh = 4;
constexpr int kNoiseWhiteMid = 5;
constexpr int kNoiseWhiteLow = 6;

enum class ToneDrum {
    None,   // noise only
    Skin,   // kick, toms, hand drums: pitch sweeps down
    Solid,  // wood and metal: a steady pitch
};

struct DrumSound {
    const char* name;   // General MIDI name of the key (or of its group)
    int priority;       // when hits meet on the noise channel, the higher wins
    int noise;          // noise kind (channel 10 program)
    int frames;         // how long the hit sounds on the noise channel
    int attenuation;    // 2 dB steps below the hit's own level at its start
    int decay;          // quarter steps of attenuation added each frame
    ToneDrum tone;      // may take a free tone channel instead
    int pitch;          // there: its sounding pitch; 0 for the key's own
    int tone_frames;    // there: how long it sounds
};

// The sound of any key 0-127; keys outside the General MIDI kit (35-81) take
// the sound of high, short percussion.
const DrumSound& DrumSoundOf(int key);

// The sounding pitch of a tone drum for `key`.
int ToneDrumPitch(int key);

// The FM drum voices tried in turn for a skin: kicks, then toms and hand drums.
struct FmDrumPrograms {
    int programs[2];
};
const FmDrumPrograms& FmDrumProgramsFor(int key);

// How far a skin's pitch falls over its sound, in cents, on each chip.
constexpr double kSkinSweepCents = 2400;

// Attenuation, in 2 dB steps, that a hit on the noise channel or a square
// has fallen by `frames` after its start.
int DrumDecaySteps(const DrumSound& sound, unsigned long long frames);

}  // namespace fmtool
