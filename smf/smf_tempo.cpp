#include "smf/smf_tempo.h"

#include <cassert>

namespace MIDI {

namespace {

#if !defined(__SIZEOF_INT128__)
#error "the tempo arithmetic needs a 128-bit unsigned integer type"
#endif
using u128 = unsigned __int128;

// A binary floating-point value m x 2^e with a 64-bit significand m.
struct Extended {
    std::uint64_t m;  // 2^63 <= m < 2^64
    int e;
};

int BitLength(u128 v) {
    int n = 0;
    for (; v != 0; v >>= 1) ++n;
    return n;
}

// (n / d) x 2^-scale, rounded to nearest with ties to even. The quotient n / d
// must be at least 2^63, so that no significant bit is lost.
Extended DivideRounded(u128 n, std::uint64_t d, int scale) {
    u128 q = n / d;
    const u128 r = n % d;
    const int shift = BitLength(q) - 64;
    assert(shift >= 0);
    bool up;
    if (shift == 0) {
        // The remainder alone decides: compare r / d with one half.
        const u128 twice = r * 2;
        up = twice > d || (twice == d && (q & 1) != 0);
    } else {
        const u128 dropped = q & ((u128{1} << shift) - 1);
        const u128 half = u128{1} << (shift - 1);
        q >>= shift;
        up = dropped > half || (dropped == half && (r != 0 || (q & 1) != 0));
    }
    int e = shift - scale;
    if (up && ++q >> 64 != 0) {
        q >>= 1;
        ++e;
    }
    return {static_cast<std::uint64_t>(q), e};
}

constexpr std::uint64_t kMicrosecondsPerSecond = 1000000;
constexpr unsigned kSecondsPerMinute = 60;
// Scales that bring each quotient to at least 2^63 without passing 2^128:
// us x 2^83 / 10^6 >= 2^63 for us >= 1, and 60 x 2^122 / m >= 2^63 for m < 2^64.
constexpr int kBeatScale = 83;
constexpr int kBpmScale = 122;

}  // namespace

std::uint32_t TempoToBpm(std::uint32_t us) {
    assert(us != 0);
    // The length of a beat in seconds, then the beats in a minute.
    const Extended beat = DivideRounded(u128{us} << kBeatScale, kMicrosecondsPerSecond, kBeatScale);
    const Extended bpm = DivideRounded(u128{kSecondsPerMinute} << kBpmScale, beat.m, kBpmScale + beat.e);
    // Truncated toward zero: the bits below the binary point are dropped.
    if (bpm.e >= 0) return static_cast<std::uint32_t>(bpm.m << bpm.e);
    return bpm.e <= -64 ? 0 : static_cast<std::uint32_t>(bpm.m >> -bpm.e);
}

}  // namespace MIDI
