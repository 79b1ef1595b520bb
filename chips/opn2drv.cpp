// OPN2DRV: construction, bindings, channel mapping, raw writes and timers.
#include "chips/opn2drv.h"

#include <cstdint>

#include "chips/ym2612_map.h"
#include "vgm/vgmout.h"

namespace {

// Register offsets of the operators numbered M1, C1, M2, C2: the chip orders
// its operator registers M1, M2, C1, C2.
constexpr std::uint32_t slot_table[4] = {0, 8, 4, 12};

using YM2612::kRegLfo;
using YM2612::kRegTimerAHigh;
using YM2612::kRegTimerALow;
using YM2612::kRegTimerB;
using YM2612::kRegTimerMode;

// Load and enable both timers, reset both flags; channel 3 in normal mode.
constexpr std::uint32_t kTimerModeInit = 0x3F;
// LFO on (bit 3) at frequency 2.
constexpr std::uint32_t kLfoInit = 0x0A;

// The chip clock of 7670453 Hz in cycles per millisecond.
constexpr double kClockPerMs = 7670.453;
// Clock cycles per count of timer A and of timer B as this driver reckons
// them, negated: the timers count up and overflow at 1024 and at 256.
constexpr float kTimerAScale = -1.0f / 64.0f;
constexpr float kTimerBScale = -1.0f / 1024.0f;
constexpr float kTimerARange = 1024.0f;
constexpr float kTimerBRange = 256.0f;
constexpr float kMsPerMinute = 60000.0f;

// tempo x division as the chip's periods per minute; the product of two
// 16-bit values may exceed the signed range, so it wraps as a 32-bit value.
std::int32_t PeriodsPerMinute(std::uint16_t tempo, std::uint16_t division) {
    const std::uint32_t p = static_cast<std::uint32_t>(tempo) * division;
    return static_cast<std::int32_t>(p);
}

// Timer B count for a period of q milliseconds; wraps through the 8-bit mask.
std::uint32_t TimerBCount(double q) {
    const double y = q * kClockPerMs * kTimerBScale + kTimerBRange;
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(y)) & 0xFF;
}

}  // namespace

std::uint32_t get_fm_channel(std::uint32_t c) { return YM2612::KeyCode(c); }

std::uint32_t get_fm_bank(std::uint32_t c) { return YM2612::Port(c); }

std::uint32_t get_fm_slot(std::uint32_t i) { return i <= 3 ? slot_table[i] : 0; }

OPN2DRV::OPN2DRV() = default;

void OPN2DRV::InstSet(FMInst* bank) { inst = bank; }

void OPN2DRV::VgmSet(VGMOUT* writer) {
    vgm = writer;
    if (!vgm) return;
    Write(0, kRegTimerAHigh, 0x00);
    Write(0, kRegTimerALow, 0x00);
    Write(0, kRegTimerB, 0x00);
    Write(0, kRegTimerMode, kTimerModeInit);
    Write(0, kRegLfo, kLfoInit);
}

void OPN2DRV::Write(std::uint32_t port, std::uint32_t reg, std::uint32_t data) {
    if (vgm) vgm->WriteRegOpn2(port, reg, data);
}

void OPN2DRV::SetReg(std::uint32_t port, std::uint32_t reg, std::uint32_t data) {
    Write(port, reg, data);
}

void OPN2DRV::SetTimerA(std::uint16_t value) {
    const std::uint32_t n = value & 0x3FFu;
    Write(0, kRegTimerAHigh, n >> 2);
    Write(0, kRegTimerALow, n & 3);
}

void OPN2DRV::SetTimerB(std::uint8_t value) { Write(0, kRegTimerB, value); }

void OPN2DRV::SetTimerA_ByTempo(std::uint16_t tempo, std::uint16_t division) {
    const std::int32_t p = PeriodsPerMinute(tempo, division);
    if (p == 0) return;  // no period to time
    // Timer A divides in floating point.
    const double x = kMsPerMinute / static_cast<double>(p);
    const double y = x * kClockPerMs * kTimerAScale + kTimerARange;
    SetTimerA(static_cast<std::uint16_t>(static_cast<std::int64_t>(y) & 0x3FF));
}

void OPN2DRV::SetTimerB_ByTempo(std::uint16_t tempo, std::uint16_t division) {
    const std::int32_t p = PeriodsPerMinute(tempo, division);
    if (p == 0) return;  // no period to time
    // Timer B divides in integers first: the period is whole milliseconds.
    const std::int32_t q = static_cast<std::int32_t>(kMsPerMinute) / p;
    Write(0, kRegTimerB, TimerBCount(q));
}

void OPN2DRV::SetTimerB_ByMilliSeconds(std::uint16_t ms) {
    Write(0, kRegTimerB, TimerBCount(ms));
}
