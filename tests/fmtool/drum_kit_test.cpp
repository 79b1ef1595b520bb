// The DAC drum kit: which keys it plays, and samples a renderer can use as they
// are (in range, short, ending in silence, the same every time, at any rate),
// that sound like what they stand for.
#include "fmtool/render/drum_kit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

namespace {

constexpr unsigned kRates[] = {8000, 14700, 44100, 48000};
constexpr double kPi = 3.14159265358979323846;

bool InKit(int key) {
    static const std::vector<int> kNoiseChannel = {42, 44, 46, 49, 51, 52, 53, 55, 57, 59};
    return key >= 35 && key <= 81 && std::find(kNoiseChannel.begin(), kNoiseChannel.end(), key) == kNoiseChannel.end();
}

// The power of the sample's DFT bins 0..n/2 below `max_hz`; bin k is k x rate / n Hz.
std::vector<double> Power(const std::vector<float>& s, unsigned rate, double max_hz) {
    const std::size_t n = s.size();
    std::vector<double> cosines(n), sines(n), power;
    for (std::size_t i = 0; i < n; ++i) {
        cosines[i] = std::cos(2 * kPi * i / n);
        sines[i] = std::sin(2 * kPi * i / n);
    }
    for (std::size_t k = 0; k <= n / 2 && k * rate < max_hz * n; ++k) {
        double re = 0, im = 0;
        for (std::size_t i = 0; i < n; ++i) {
            re += s[i] * cosines[k * i % n];
            im += s[i] * sines[k * i % n];
        }
        power.push_back(re * re + im * im);
    }
    return power;
}

// Share of the sample's power below `hz`.
double ShareBelow(const std::vector<float>& s, unsigned rate, double hz) {
    const std::vector<double> power = Power(s, rate, rate / 2.0);
    double below = 0, total = 0;
    for (std::size_t k = 0; k < power.size(); ++k) {
        total += power[k];
        if (k * rate < hz * s.size()) below += power[k];
    }
    return below / total;
}

// The frequency of the sample's strongest DFT bin below `max_hz`.
double StrongestHz(const std::vector<float>& s, unsigned rate, double max_hz) {
    const std::vector<double> power = Power(s, rate, max_hz);
    const std::size_t k = std::max_element(power.begin(), power.end()) - power.begin();
    return static_cast<double>(k) * rate / s.size();
}

}  // namespace

TEST(DrumKit, KitKeysGiveShortSamplesInRangeThatEndInSilence) {
    for (int key : {INT_MIN, -1, 0, 34, 35, 36, 41, 42, 44, 46, 49, 54, 59, 60, 81, 82, 127, 128, INT_MAX}) {
        EXPECT_EQ(fmtool::DacDrum(key), InKit(key)) << key;
    }
    for (int key = 0; key < 128; ++key) {
        ASSERT_EQ(fmtool::DacDrum(key), InKit(key)) << key;
        for (unsigned rate : kRates) {
            SCOPED_TRACE(testing::Message() << "key " << key << " at " << rate << " Hz");
            const std::vector<float> s = fmtool::DrumSample(key, rate);
            if (!InKit(key)) {
                EXPECT_TRUE(s.empty());
                continue;
            }
            ASSERT_FALSE(s.empty());
            EXPECT_EQ(s.back(), 0.0f);
            EXPECT_LE(s.size(), 0.6 * rate);
            EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](float x) { return x >= -1 && x <= 1; }));
        }
    }
}

TEST(DrumKit, RatesOutsideItsRangeGiveNothing) {
    for (unsigned rate : {0u, 1u, 7999u, 48001u, UINT_MAX}) EXPECT_TRUE(fmtool::DrumSample(36, rate).empty()) << rate;
}

TEST(DrumKit, KicksAndSnaresPeakAtFullScaleAndNoKeyIsFaint) {
    for (int key = 35; key <= 81; ++key) {
        if (!InKit(key)) continue;
        const std::vector<float> s = fmtool::DrumSample(key, 14700);
        const float peak = std::fabs(*std::max_element(s.begin(), s.end(), [](float a, float b) {
            return std::fabs(a) < std::fabs(b);
        }));
        const bool loudest = key == 35 || key == 36 || key == 38 || key == 40;
        EXPECT_GE(peak, loudest ? 0.95f : 0.3f) << key;
    }
}

TEST(DrumKit, SamplesAreTheSameAtEveryCallAndPinned) {
    for (int key : {36, 38, 39, 54, 70}) EXPECT_EQ(fmtool::DrumSample(key, 14700), fmtool::DrumSample(key, 14700));
    // Pinned: our own sine, exponential and noise give these on every platform.
    const std::vector<float> snare = fmtool::DrumSample(38, 14700);
    ASSERT_EQ(snare.size(), 3566u);
    EXPECT_EQ(snare[0], -0.0343122333f);
    EXPECT_EQ(snare[100], 0.210913628f);
    EXPECT_EQ(snare[1000], -0.079332076f);
}

TEST(DrumKit, LengthsScaleWithTheRate) {
    for (int key = 35; key <= 81; ++key) {
        if (!InKit(key)) continue;
        const double low = fmtool::DrumSample(key, 8000).size() / 8000.0;
        const double high = fmtool::DrumSample(key, 48000).size() / 48000.0;
        EXPECT_NEAR(low, high, 0.15 * high + 0.01) << key;
    }
}

TEST(DrumKit, TheKickIsLowAndTheSnareRattles) {
    const std::vector<float> kick = fmtool::DrumSample(36, 14700);
    const std::vector<float> snare = fmtool::DrumSample(38, 14700);
    EXPECT_GT(ShareBelow(kick, 14700, 200), 0.8);
    EXPECT_GT(1 - ShareBelow(snare, 14700, 2000), 5 * (1 - ShareBelow(kick, 14700, 2000)));
    // The snare's noise outlasts its body, and rides high above the kick's click.
    EXPECT_LT(ShareBelow(std::vector<float>(snare.begin() + snare.size() / 2, snare.end()), 14700, 500), 0.3);
}

TEST(DrumKit, PitchedDrumsSoundAtTheKitsPitches) {
    // The strongest partial of a General MIDI kit's drum (FluidR3's).
    struct Case {
        int key;
        double hz;
    };
    const Case cases[] = {{41, 57}, {43, 83}, {45, 85}, {47, 104}, {48, 110}, {50, 122}, {56, 472}, {61, 604},
                          {63, 293}, {64, 258}, {67, 1499}, {68, 1001}, {76, 700}, {77, 559}, {80, 2167}};
    for (const Case& c : cases) {
        const double hz = StrongestHz(fmtool::DrumSample(c.key, 14700), 14700, 1.5 * c.hz);
        EXPECT_NEAR(hz, c.hz, 0.04 * c.hz) << c.key;
    }
}
