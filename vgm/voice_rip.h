// Every distinct FM voice a VGM file plays, read back from its YM2612
// register writes: at each key-on, the channel's voice registers as they
// stand. Works on any VGM 1.00-1.71 file with a YM2612, whoever wrote it.
//
// Two key-ons play the same voice when every voice register agrees (0xB0,
// 0xB4 without the output bits, and 0x30-0x90 of the four operators) except
// the total level of the carriers, which carries each note's loudness. The
// carriers' levels kept are those of the voice's loudest note (the lowest
// sum of carrier levels), so a song played at full velocity gives back its
// bank's levels.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "instruments/formats/voice_registers.h"

namespace VGM {

struct RippedVoice {
    voiceformat::VoiceImage image;
    std::uint8_t channels = 0;       // bit c: FM channel c (0-5) played it
    int first_channel = 0;           // 0-5
    std::uint64_t first_sample = 0;  // of its first key-on, at 44100 Hz
    unsigned notes = 0;              // key-ons with this voice
};

struct VoiceRip {
    // Far more than a bank holds; a hostile file may hold a new voice at
    // every key-on, and the rip's memory and time must not grow with it.
    static constexpr std::size_t kMaxVoices = 1024;

    std::vector<RippedVoice> voices;  // in order of first use, at most kMaxVoices
    unsigned key_ons = 0;             // all FM key-ons read
    unsigned unkept_key_ons = 0;      // key-ons of further voices, past kMaxVoices
    std::string stopped;              // why the commands stopped early ("cut short ..."), or empty
};

// Follows YM2612 writes command by command. Use it on any command stream;
// RipVoices runs it over a file.
class VoiceRipper {
public:
    void Write(unsigned port, std::uint8_t reg, std::uint8_t data, std::uint64_t sample);
    const VoiceRip& result() const { return rip_; }
    VoiceRip& result() { return rip_; }

private:
    struct Channel {
        voiceformat::VoiceImage regs;
        std::uint8_t keyed = 0;  // operator bits of the last key write
    };
    void KeyOn(unsigned channel, std::uint64_t sample);

    using Key = std::array<std::uint8_t, 30>;  // a timbre's register bytes
    static Key KeyOf(const voiceformat::VoiceImage& timbre);

    Channel channels_[6];
    bool dac_ = false;  // channel 6 plays samples, not FM
    VoiceRip rip_;
    std::map<Key, std::size_t> known_;  // timbre -> index in rip_.voices
};

// Reads the file (VGM or VGZ). False with `error` set ("is not a VGM file")
// when it cannot be read; a file without YM2612 key-ons gives no voices.
bool RipVoices(const std::string& path, VoiceRip& out, std::string& error);
bool RipVoicesFromMemory(const std::uint8_t* data, std::size_t size, VoiceRip& out, std::string& error);

}  // namespace VGM
