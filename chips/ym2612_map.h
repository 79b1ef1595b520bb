// The YM2612's register map: every address, channel and operator offset and
// field layout in one place, for the driver that writes the registers and for
// the tools that read them back from a VGM stream or a voice file.
//
// The chip has two ports of 256 registers. The chip-wide registers
// (0x22-0x2B) live on port 0. Each port carries three channels: a channel
// register is base + k, an operator register base + 4 * slot + k, where k is
// the channel's offset on its port (0..2; 3 addresses no channel) and slot
// the operator's place in register order (M1, M2, C1, C2).
#pragma once

#include <cstdint>

namespace YM2612 {

constexpr unsigned kChannels = 6;
constexpr unsigned kChannelsPerPort = 3;
constexpr unsigned kOperators = 4;

// Chip-wide registers, port 0.
constexpr std::uint8_t kRegLfo = 0x22;           // bit 3 enable, bits 2-0 rate
constexpr std::uint8_t kRegTimerAHigh = 0x24;
constexpr std::uint8_t kRegTimerALow = 0x25;
constexpr std::uint8_t kRegTimerB = 0x26;
constexpr std::uint8_t kRegTimerMode = 0x27;     // also channel 3's special mode
constexpr std::uint8_t kRegKeyOnOff = 0x28;      // bits 7-4 operators, 2-0 channel code
constexpr std::uint8_t kRegDacData = 0x2A;
constexpr std::uint8_t kRegDacEnable = 0x2B;     // bit 7: channel 6 plays the DAC
constexpr std::uint8_t kDacOn = 0x80;
constexpr std::uint8_t kDacCentre = 0x80;         // DAC data of silence: unsigned 8-bit samples

// Operator registers: base + OperatorOffset(slot, k).
constexpr std::uint8_t kRegDetuneMul = 0x30;       // DT1 bits 6-4, MUL bits 3-0
constexpr std::uint8_t kRegTotalLevel = 0x40;      // TL bits 6-0
constexpr std::uint8_t kRegKeyScaleAttack = 0x50;  // KS bits 7-6, AR bits 4-0
constexpr std::uint8_t kRegAmDecay1 = 0x60;        // AM bit 7, D1R bits 4-0
constexpr std::uint8_t kRegDecay2 = 0x70;          // D2R bits 4-0
constexpr std::uint8_t kRegSustainRelease = 0x80;  // D1L bits 7-4, RR bits 3-0
constexpr std::uint8_t kRegSsgEg = 0x90;           // SSG-EG bits 3-0

// Channel registers: base + k.
constexpr std::uint8_t kRegFnumLow = 0xA0;         // F-number bits 7-0; latches the pitch
constexpr std::uint8_t kRegBlockFnumHigh = 0xA4;   // block bits 5-3, F-number bits 10-8
constexpr std::uint8_t kRegFeedbackAlgorithm = 0xB0;  // FB bits 5-3, ALG bits 2-0
constexpr std::uint8_t kRegStereoLfoSens = 0xB4;   // L bit 7, R bit 6, AMS bits 5-4, PMS bits 2-0

constexpr std::uint8_t kMaxTotalLevel = 127;       // silence
constexpr unsigned kMaxBlock = 7;                  // the block field has 3 bits
constexpr std::uint8_t kAllOperatorsOn = 0xF0;     // key-on bits of all four operators
constexpr unsigned kMaxPms = 7;
// The depth in cents of the LFO's pitch modulation at each PMS setting.
constexpr double kPmsCents[kMaxPms + 1] = {0, 3.4, 6.7, 10, 14, 20, 40, 80};
constexpr std::uint8_t kStereoLeft = 0x80;
constexpr std::uint8_t kStereoRight = 0x40;
constexpr std::uint8_t kStereoBoth = kStereoLeft | kStereoRight;

// Register port of channel c (0..5): 0 for channels 0-2, 1 for 3-5.
constexpr unsigned Port(unsigned c) { return c > 2 ? 1 : 0; }
// Offset k of channel c on its port.
constexpr unsigned ChannelOffset(unsigned c) { return c % kChannelsPerPort; }
// Code of channel c in the key-on register: 0, 1, 2, 4, 5, 6.
constexpr unsigned KeyCode(unsigned c) { return c <= 2 ? c : c + 1; }
// Channel register of channel c.
constexpr std::uint8_t ChannelRegister(std::uint8_t base, unsigned c) {
    return static_cast<std::uint8_t>(base + ChannelOffset(c));
}
// Operator register of channel c, operator `slot` in register order (0..3).
constexpr std::uint8_t OperatorRegister(std::uint8_t base, unsigned slot, unsigned c) {
    return static_cast<std::uint8_t>(base + 4 * slot + ChannelOffset(c));
}

// Reading back: the channel (0..5) a key-on byte addresses, or -1 for codes 3
// and 7, which address none.
constexpr int ChannelOfKeyCode(std::uint8_t keyOnByte) {
    const unsigned code = keyOnByte & 7;
    if ((code & 3) == 3) return -1;
    return static_cast<int>((code & 4) ? code - 1 : code);
}
// The channel (0..5) a channel or operator register (0x30-0xB6) of `port`
// addresses, or -1 for a chip-wide register or offset 3.
constexpr int ChannelOfRegister(unsigned port, std::uint8_t reg) {
    if (reg < kRegDetuneMul || (reg & 3) == 3) return -1;
    return static_cast<int>((port & 1) * kChannelsPerPort + (reg & 3));
}
// The operator slot (0..3) an operator register addresses.
constexpr unsigned SlotOfRegister(std::uint8_t reg) { return (reg >> 2) & 3; }
// The base of a channel or operator register (its address less the offsets).
constexpr std::uint8_t OperatorBase(std::uint8_t reg) { return reg & 0xF0; }
constexpr std::uint8_t ChannelBase(std::uint8_t reg) { return reg & 0xFC; }

// Field packing, masked to each field's width.
constexpr std::uint8_t DetuneMul(std::uint32_t dt1, std::uint32_t mul) {
    return static_cast<std::uint8_t>(((dt1 & 7) << 4) | (mul & 0x0F));
}
constexpr std::uint8_t KeyScaleAttack(std::uint32_t ks, std::uint32_t ar) {
    return static_cast<std::uint8_t>(((ks << 6) & 0xC0) | (ar & 0x3F));
}
constexpr std::uint8_t AmDecay1(std::uint32_t am, std::uint32_t d1r) {
    return static_cast<std::uint8_t>(((am << 7) & 0x80) | (d1r & 0x3F));
}
constexpr std::uint8_t SustainRelease(std::uint32_t d1l, std::uint32_t rr) {
    return static_cast<std::uint8_t>(((d1l & 0x0F) << 4) | (rr & 0x0F));
}
constexpr std::uint8_t FeedbackAlgorithm(std::uint32_t fb, std::uint32_t alg) {
    return static_cast<std::uint8_t>(((fb << 3) & 0x38) | (alg & 7));
}
constexpr std::uint8_t LfoSensitivity(std::uint32_t ams, std::uint32_t pms) {
    return static_cast<std::uint8_t>(((ams << 4) & 0x30) | (pms & 7));
}
constexpr std::uint8_t BlockFnumHigh(std::uint32_t block, std::uint32_t fnum) {
    return static_cast<std::uint8_t>(((block & 7) << 3) | ((fnum >> 8) & 7));
}

// Field unpacking.
constexpr unsigned Dt1Of(std::uint8_t v) { return (v >> 4) & 7; }
constexpr unsigned MulOf(std::uint8_t v) { return v & 0x0F; }
constexpr unsigned TlOf(std::uint8_t v) { return v & 0x7F; }
constexpr unsigned KsOf(std::uint8_t v) { return v >> 6; }
constexpr unsigned ArOf(std::uint8_t v) { return v & 0x1F; }
constexpr unsigned AmOf(std::uint8_t v) { return v >> 7; }
constexpr unsigned D1rOf(std::uint8_t v) { return v & 0x1F; }
constexpr unsigned D2rOf(std::uint8_t v) { return v & 0x1F; }
constexpr unsigned D1lOf(std::uint8_t v) { return v >> 4; }
constexpr unsigned RrOf(std::uint8_t v) { return v & 0x0F; }
constexpr unsigned FeedbackOf(std::uint8_t v) { return (v >> 3) & 7; }
constexpr unsigned AlgorithmOf(std::uint8_t v) { return v & 7; }
constexpr unsigned AmsOf(std::uint8_t v) { return (v >> 4) & 3; }
constexpr unsigned PmsOf(std::uint8_t v) { return v & 7; }
constexpr unsigned BlockOf(std::uint8_t blockFnumHigh) { return (blockFnumHigh >> 3) & 7; }
constexpr unsigned Fnum(std::uint8_t blockFnumHigh, std::uint8_t fnumLow) {
    return (static_cast<unsigned>(blockFnumHigh & 7) << 8) | fnumLow;
}

// The first carrier of each algorithm, in register order; the carriers run
// from it to slot 3. Algorithms 0-3 have one carrier (C2), 4 two (C1, C2),
// 5 and 6 three, 7 all four.
constexpr unsigned kFirstCarrier[8] = {3, 3, 3, 3, 2, 1, 1, 0};
constexpr bool IsCarrier(unsigned algorithm, unsigned slot) {
    return slot >= kFirstCarrier[algorithm & 7];
}

}  // namespace YM2612
