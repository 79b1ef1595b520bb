// A voice as the voice files carry it: the bank's own FmVoice, plus what the
// OPM text cannot hold (a name, SSG-EG) and notes on what was lost or filled
// in on the way. Every format reader produces these and every writer takes
// them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "instruments/fminst.h"

// What a voice file may carry beyond FmVoice.
struct VoiceExtras {
    std::string name;
    // SSG-EG per operator in register order (M1, M2, C1, C2): the 0x90 nibble,
    // 0 off, 8-15 on. The converter never writes it.
    std::uint8_t ssg_eg[4] = {0, 0, 0, 0};
    // Lines said about this voice when it was read: where it came from,
    // defaults filled in for what its format does not hold.
    std::vector<std::string> notes;
    // What its file held that the bank cannot keep (a key offset ...).
    std::vector<std::string> lost;

    bool HasSsgEg() const { return (ssg_eg[0] | ssg_eg[1] | ssg_eg[2] | ssg_eg[3]) != 0; }
};

struct BankVoice {
    int program = 0;  // 0..127
    FmVoice voice;
    VoiceExtras extras;
};

// The voices of one file, by ascending program, each program at most once.
struct VoiceBank {
    std::vector<BankVoice> voices;
    // Warnings about the whole file (a WOPN's percussion banks skipped ...).
    std::vector<std::string> warnings;

    // The voice of `program`, or null.
    const BankVoice* Find(int program) const;
    // Adds or replaces the voice of v.program, keeping the order.
    void Put(BankVoice v);
};

// Writes a bank's voices over the programs of `bank` they name; the other
// programs keep their voices.
void FillBank(const VoiceBank& voices, FMInst& bank);
