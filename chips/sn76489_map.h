// The SN76489's command bytes: one home for the layout of a latch byte and of
// the data byte that completes a tone period, for the driver that writes
// them and for the tools that read them back.
//
// A latch byte is 1 r r r d d d d: register rrr (tone period and attenuation
// of generators 0-2, then noise control and noise attenuation) and the low
// four data bits. A byte 0 x d d d d d d carries the high six bits of the
// latched tone period.
#pragma once

#include <cstdint>

namespace SN76489 {

constexpr unsigned kGenerators = 4;       // three tone generators and the noise
constexpr unsigned kNoiseGenerator = 3;

constexpr std::uint8_t kLatch = 0x80;
constexpr std::uint8_t kSilent = 15;          // attenuation of silence
constexpr std::uint16_t kMaxPeriod = 1023;    // the period register has 10 bits

// Register-select values (bits 6-4 of a latch byte) per generator.
constexpr std::uint8_t kPeriodRegister[kGenerators] = {0, 2, 4, 6};  // 6: noise control
constexpr std::uint8_t kAttenuationRegister[kGenerators] = {1, 3, 5, 7};

// Latch byte writing `data4` (low four bits) to register `reg` (0..7).
constexpr std::uint8_t LatchByte(unsigned reg, unsigned data4) {
    return static_cast<std::uint8_t>(kLatch | ((reg & 7) << 4) | (data4 & 0x0F));
}
// The two bytes of a tone period: the latch with its low four bits, then the
// data byte with its high six bits.
constexpr std::uint8_t PeriodLatch(unsigned generator, unsigned period) {
    return LatchByte(kPeriodRegister[generator & 3], period & 0x0F);
}
constexpr std::uint8_t PeriodData(unsigned period) {
    return static_cast<std::uint8_t>((period >> 4) & 0x3F);
}
constexpr std::uint8_t AttenuationLatch(unsigned generator, unsigned attenuation) {
    return LatchByte(kAttenuationRegister[generator & 3], attenuation);
}
constexpr std::uint8_t NoiseControl(unsigned mode) {
    return LatchByte(kPeriodRegister[kNoiseGenerator], mode);
}

// Reading back.
constexpr bool IsLatch(std::uint8_t b) { return (b & kLatch) != 0; }
constexpr unsigned RegisterOf(std::uint8_t latch) { return (latch >> 4) & 7; }
constexpr unsigned GeneratorOf(unsigned reg) { return reg >> 1; }
constexpr bool IsAttenuation(unsigned reg) { return (reg & 1) != 0; }
// A period from a latch's low bits and a data byte's six bits.
constexpr unsigned Period(std::uint8_t low4, std::uint8_t high6) {
    return (static_cast<unsigned>(high6 & 0x3F) << 4) | (low4 & 0x0F);
}

}  // namespace SN76489
