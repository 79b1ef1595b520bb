// The FM instrument bank: 128 voices indexed by MIDI program number, filled
// from an OPM text file by Load.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One operator of a voice. Values are stored as the bank file gives them;
// masking to the chip's register widths happens when the driver writes them.
struct FmOperator {
    std::int32_t mul = 1;     // frequency multiple
    std::int32_t tl = 127;    // total level (attenuation; 127 is the largest)
    std::int32_t ks = 0;      // key scale
    std::int32_t ar = 31;     // attack rate
    std::int32_t d1r = 0;     // first decay rate
    std::int32_t d2r = 0;     // second decay (sustain) rate
    std::int32_t d1l = 0;     // first decay level
    std::int32_t rr = 15;     // release rate
    std::int32_t dt1 = 0;     // detune 1
    std::int32_t dt2 = 0;     // detune 2 (not sent to the YM2612)
    std::int32_t ams_en = 0;  // amplitude-modulation enable
};

// One voice. op[] is in the chip's register slot order: M1, M2, C1, C2.
// pan defaults to 64 but a loaded pan is the file's value shifted right by 6
// (0 to 3). pms comes before ams here although the file gives AMS first.
struct FmVoice {
    FmOperator op[4];
    std::int32_t pan = 64;       // output pan bits
    std::int32_t fl = 0;         // feedback level
    std::int32_t con = 7;        // connection (algorithm)
    std::int32_t slot_mask = 0;  // operator enable mask
    std::int32_t ne = 0;         // noise enable
    std::int32_t pms = 0;        // vibrato sensitivity
    std::int32_t ams = 0;        // tremolo sensitivity
    std::int32_t lfrq = 0;       // LFO frequency
    std::int32_t amd = 0;        // LFO amplitude depth
    std::int32_t pmd = 0;        // LFO phase depth
    std::int32_t wf = 0;         // LFO waveform
    std::int32_t nfrq = 0;       // noise frequency
};

// The kind of a bank line read with the wrong number of values (skipped, or
// read in part), in the words of its message.
enum class OpmLine : std::uint8_t { Program, Lfo, Channel, Operator };

class FMInst {
public:
    static constexpr unsigned kMaxInst = 128;
    // Load results.
    static constexpr int kLoadOk = 0;
    static constexpr int kLoadOpenError = 0x10000000;
    static constexpr int kLoadSyntaxError = 0x20000000;

    FmVoice voice[kMaxInst];

    unsigned GetMaxInst() const { return kMaxInst; }

    // Reads an OPM text file and overwrites the voices it defines; fields the
    // file does not mention keep their values. Returns kLoadOk, kLoadOpenError
    // (bank unchanged) or kLoadSyntaxError (voices read before the point where
    // matching stopped stay loaded). Lines with a wrong value count are added
    // to `skipped`, when given, and do not change the result.
    int Load(const char* path, std::vector<OpmLine>* skipped = nullptr);
    // The parse of Load on a text already in memory (it ends at its first NUL).
    int LoadText(const char* text, std::size_t length, std::vector<OpmLine>* skipped = nullptr);
};

// How loading a bank went: the load result and the lines it read with a wrong
// value count, in file order; the programs print their messages.
struct BankLoad {
    int result = FMInst::kLoadOk;
    bool built_in = false;  // the bank is the one built into the program
    std::vector<OpmLine> skipped;

    bool Ok() const { return result == FMInst::kLoadOk; }
    // "OPM file read error (<result>), abort..."; for the built-in bank, "the
    // built-in bank does not load".
    std::string Message() const;
};

// ".OPM Load Syntax Error : Lfo" (or Channel, Operator, Program).
std::string OpmSyntaxMessage(OpmLine line);

// Loads the bank file at `path` as the command-line programs do.
BankLoad LoadBankFile(FMInst& bank, const char* path);
