// What the arranger knows of the 128 General MIDI programs: which
// instruments die away by themselves, which a square wave carries, and which
// voice of a bank plays a program the bank leaves silent.
//
// General MIDI groups its programs in sixteen families of eight (pianos,
// chromatic percussion, organs, guitars, basses, strings, ...); a voice of
// the same family is the nearest stand-in for a missing one.
#pragma once

#include <array>

class FMInst;
struct FmVoice;

namespace fmtool {

constexpr int kGmPrograms = 128;
constexpr int kGmFamilySize = 8;

// The family (0-15) of a program 0-127.
inline int GmFamily(int program) { return program / kGmFamilySize; }

// Pianos, chromatic percussion, guitars, basses, plucked and struck strings
// (45-47), ethnic plucked instruments (104-108) and percussive ones: notes
// that die away by themselves, so a long one may be cut once it has faded.
bool Decaying(int program);

// Pipes (72-79: flutes, whistles, ocarina) and synth leads (80-87): steady
// tones that a square wave carries without an envelope or a timbre.
bool PrefersSquare(int program);

// The FM voice each program plays on a bank: its own where it is audible,
// else the nearest audible voice of its family, else the nearest audible
// voice of the bank (the lower of two as near); -1 where no voice is audible.
class ProgramVoices {
public:
    explicit ProgramVoices(const FMInst& bank);

    // For any program 0-127.
    int For(int program) const { return voice_[program]; }
    // The first of `programs` whose own voice is audible; -1 if none is.
    int FirstAudible(const int (&programs)[2]) const;
    // The bank's voice of a program 0-127.
    const FmVoice& Voice(int program) const;

private:
    const FMInst& bank_;
    std::array<bool, kGmPrograms> audible_{};
    std::array<int, kGmPrograms> voice_{};
};

}  // namespace fmtool
