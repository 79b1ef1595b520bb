#include "fmtool/render/drum_kit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace fmtool {

namespace {

// The same samples on every platform: only IEEE +, -, *, /, sqrt and floor touch
// the samples (the library's sin and exp may differ by an ulp between
// systems, so these are our own), the noise is our own xorshift, and the
// build keeps the compiler from fusing multiplies and adds.

constexpr double kPi = 3.14159265358979323846;
constexpr double kLongest = 0.6;          // seconds
constexpr double kAudible = 1.0 / 256;    // below half an 8-bit step at full level
constexpr double kFade = 0.004;           // seconds of fade before the final 0
constexpr double kHighest = 7000;         // Hz kept: the DAC plays at 14700 Hz
constexpr double kNyquistMargin = 0.45;   // of the rate: the highest a filter or partial goes
constexpr double kFall40dB = -4.605170185988091;  // ln(1/100)
constexpr double kMixRate = 44100;        // the rate the noise levels were set at

// sin(2 pi cycles), by Taylor series to x^15 on a quarter wave (error < 1e-9).
double SinCycles(double cycles) {
    double p = cycles - std::floor(cycles);
    double sign = 1;
    if (p >= 0.5) {
        p -= 0.5;
        sign = -1;
    }
    if (p > 0.25) p = 0.5 - p;
    const double x = 2 * kPi * p, x2 = x * x;
    double term = x, sum = x;
    for (int k = 1; k <= 7; ++k) {
        term *= -x2 / ((2 * k) * (2 * k + 1));
        sum += term;
    }
    return sign * sum;
}

// e^x: halved until small, summed to x^12, squared back.
double Exp(double x) {
    int halvings = 0;
    while (x > 0.125 || x < -0.125) {
        x /= 2;
        ++halvings;
    }
    double term = 1, sum = 1;
    for (int k = 1; k <= 12; ++k) {
        term *= x / k;
        sum += term;
    }
    while (halvings-- > 0) sum *= sum;
    return sum;
}

// The per-sample factor that brings a level down by 40 dB in `seconds`.
double FallFactor(double seconds, double rate) { return Exp(kFall40dB / (seconds * rate)); }

// xorshift32 (Marsaglia), white noise in -1..1.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : state_(seed != 0 ? seed : 1) {}
    double Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<double>(state_) / 2147483648.0 - 1;
    }

private:
    std::uint32_t state_;
};

// A second-order low- or high-pass (the audio EQ cookbook's, Q = 0.707).
class Biquad {
public:
    Biquad(double hz, double rate, bool high) {
        const double w = hz / rate;
        const double cosw = SinCycles(w + 0.25), alpha = SinCycles(w) / (2 * 0.7071067811865476);
        const double a0 = 1 + alpha;
        const double edge = high ? (1 + cosw) / 2 : (1 - cosw) / 2;
        b0_ = edge / a0;
        b1_ = (high ? -2 * edge : 2 * edge) / a0;
        b2_ = edge / a0;
        a1_ = -2 * cosw / a0;
        a2_ = (1 - alpha) / a0;
    }
    double Next(double x) {
        const double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

private:
    double b0_, b1_, b2_, a1_, a2_;
    double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

// A tone: its pitch glides from `start_hz` to `end_hz` (99 % of the way in
// `glide_s`), its level falls 40 dB in `fall_s`. `odd` > 1 adds the odd
// harmonics up to it at 1/n, a band-limited square.
struct Partial {
    double start_hz, end_hz, glide_s;
    double level, fall_s;
    int odd;
};

// Noise band-passed to low_hz..high_hz (0: no low cut), falling 40 dB in
// `fall_s`. With `bursts`, it first strikes that many times, one every
// `burst_s`, each fading to a tenth, then goes on at `tail` times its level.
struct NoisePart {
    double level, fall_s, low_hz, high_hz;
    int bursts;
    double burst_s, tail;
};

// A drum: up to four partials and two noises, rising over `attack_s`, held
// for `hold_s` before anything falls, its pitch shaken by a vibrato of
// `vibrato` (a fraction of the pitch) at `vibrato_hz`; scaled to peak at
// `peak`.
struct Voice {
    double peak, attack_s, hold_s, vibrato_hz, vibrato;
    Partial partials[4];
    NoisePart noises[2];
};

constexpr Partial kNoTone{0, 0, 0, 0, 0, 1};
constexpr NoisePart kNoNoise{0, 0, 0, 0, 0, 0, 0};

struct KitKey {
    int key;
    Voice voice;
};

// Pitches, decays and band edges follow the same keys of a General MIDI kit
// (FluidR3's, measured: the frequencies of its strongest partials, its 40 dB
// decay times and spectral centroids); peaks follow its relative loudness,
// kicks and snares at 1.
// peak, attack, hold, vibrato Hz, vibrato;
//   partials {start Hz, end Hz, glide s, level, fall s, odd harmonics};
//   noises {level, fall s, low Hz, high Hz, bursts, burst s, tail}.
constexpr KitKey kKit[] = {
    // Kicks: a sine falling from about 150 to 50 Hz and one falling to 97 Hz,
    // under the beater's click.
    {35, {1.0, 0, 0, 0, 0, {{140, 45, 0.08, 1, 0.26, 1}, {190, 95, 0.05, 0.5, 0.12, 1}, kNoTone, kNoTone},
          {{1.0, 0.03, 250, 6000, 0, 0, 0}, kNoNoise}}},
    {36, {1.0, 0, 0, 0, 0, {{160, 52, 0.07, 1, 0.24, 1}, {200, 97, 0.05, 0.5, 0.12, 1}, kNoTone, kNoTone},
          {{1.0, 0.03, 250, 6000, 0, 0, 0}, kNoNoise}}},
    // Side stick: a click and a short hollow knock near 1 kHz.
    {37, {0.65, 0, 0, 0, 0, {{1150, 1050, 0.02, 1, 0.15, 1}, {1750, 1700, 0.02, 0.5, 0.1, 1}, kNoTone, kNoTone},
          {{6, 0.1, 2500, 7000, 0, 0, 0}, kNoNoise}}},
    // Snares: three body tones under a rattle of noise that outlasts them.
    {38, {1.0, 0, 0, 0, 0, {{210, 200, 0.03, 1, 0.15, 1}, {340, 330, 0.03, 0.6, 0.08, 1}, {700, 690, 0.02, 0.4, 0.08, 1}, kNoTone},
          {{1.0, 0.25, 400, 5000, 0, 0, 0}, kNoNoise}}},
    {39, {1.0, 0, 0, 0, 0, {kNoTone, kNoTone, kNoTone, kNoTone},
          {{1, 0.16, 800, 4500, 4, 0.009, 1}, kNoNoise}}},
    {40, {1.0, 0, 0, 0, 0, {{230, 215, 0.02, 1, 0.12, 1}, {420, 410, 0.02, 0.6, 0.08, 1}, {780, 775, 0.02, 0.4, 0.08, 1}, kNoTone},
          {{1.0, 0.22, 500, 5500, 0, 0, 0}, kNoNoise}}},
    // Tambourine: high noise and the ring of its jingles.
    {54, {0.76, 0, 0, 0, 0, {{4400, 4400, 0.1, 0.3, 0.2, 1}, {5900, 5900, 0.1, 0.25, 0.18, 1}, {6700, 6700, 0.1, 0.2, 0.15, 1}, kNoTone},
          {{1, 0.24, 3500, 7000, 3, 0.012, 1}, kNoNoise}}},
    // Cowbell: a square-ish 472 Hz.
    {56, {0.7, 0, 0, 0, 0, {{472, 472, 0.1, 1, 0.25, 3}, kNoTone, kNoTone, kNoTone},
          {{0.2, 0.01, 1000, 4000, 0, 0, 0}, kNoNoise}}},
    // Vibraslap: a metal rattle.
    {58, {0.72, 0.005, 0, 0, 0, {{3200, 3200, 0.1, 0.4, 0.5, 1}, kNoTone, kNoTone, kNoTone},
          {{1, 0.5, 2000, 5500, 16, 0.032, 0}, kNoNoise}}},
    // Bongos, congas, timbales: short skins, a little fall in pitch.
    {60, {0.64, 0, 0, 0, 0, {{950, 910, 0.02, 1, 0.11, 1}, kNoTone, kNoTone, kNoTone},
          {{0.3, 0.015, 1500, 6000, 0, 0, 0}, kNoNoise}}},
    {61, {0.64, 0, 0, 0, 0, {{640, 600, 0.03, 1, 0.19, 1}, kNoTone, kNoTone, kNoTone},
          {{0.3, 0.015, 1500, 6000, 0, 0, 0}, kNoNoise}}},
    {62, {0.58, 0, 0, 0, 0, {{1180, 1140, 0.02, 1, 0.1, 1}, {850, 830, 0.02, 0.5, 0.08, 1}, kNoTone, kNoTone},
          {{0.5, 0.03, 1000, 5000, 0, 0, 0}, kNoNoise}}},
    {63, {0.62, 0, 0, 0, 0, {{310, 293, 0.03, 1, 0.3, 1}, kNoTone, kNoTone, kNoTone},
          {{0.2, 0.015, 1500, 6000, 0, 0, 0}, kNoNoise}}},
    {64, {0.64, 0, 0, 0, 0, {{270, 258, 0.03, 1, 0.3, 1}, {212, 212, 0.03, 0.5, 0.3, 1}, kNoTone, kNoTone},
          {{0.2, 0.015, 1500, 6000, 0, 0, 0}, kNoNoise}}},
    {65, {0.63, 0, 0, 0, 0, {{275, 273, 0.01, 1, 0.5, 1}, {537, 535, 0.01, 1, 0.4, 1}, {760, 760, 0.01, 0.35, 0.4, 1}, {2150, 2150, 0.01, 0.35, 0.3, 1}},
          {{1, 0.12, 1500, 6000, 0, 0, 0}, kNoNoise}}},
    {66, {0.71, 0, 0, 0, 0, {{204, 202, 0.01, 1, 0.5, 1}, {402, 400, 0.01, 0.9, 0.4, 1}, {570, 570, 0.01, 0.3, 0.4, 1}, {1610, 1610, 0.01, 0.33, 0.3, 1}},
          {{1, 0.12, 1200, 5000, 0, 0, 0}, kNoNoise}}},
    // Agogos: bells, 1500 and 1000 Hz, the low one with a partial near 3.7 times it.
    {67, {0.52, 0, 0, 0, 0, {{1500, 1500, 0.1, 1, 0.25, 1}, kNoTone, kNoTone, kNoTone},
          {kNoNoise, kNoNoise}}},
    {68, {0.47, 0, 0, 0, 0, {{1000, 1000, 0.1, 1, 0.35, 1}, {3730, 3730, 0.1, 0.2, 0.3, 1}, kNoTone, kNoTone},
          {kNoNoise, kNoNoise}}},
    // Cabasa, maracas: a short hiss of beads.
    {69, {0.93, 0.004, 0, 0, 0, {kNoTone, kNoTone, kNoTone, kNoTone}, {{1, 0.07, 4000, 7000, 0, 0, 0}, kNoNoise}}},
    {70, {0.98, 0.003, 0, 0, 0, {kNoTone, kNoTone, kNoTone, kNoTone}, {{1, 0.08, 5800, 7000, 0, 0, 0}, kNoNoise}}},
    // Whistles: a warbling sine held, then let go.
    {71, {0.58, 0.01, 0.1, 28, 0.03, {{3150, 3150, 0.1, 1, 0.08, 1}, kNoTone, kNoTone, kNoTone}, {kNoNoise, kNoNoise}}},
    {72, {0.57, 0.01, 0.2, 28, 0.03, {{2800, 2800, 0.1, 1, 0.08, 1}, kNoTone, kNoTone, kNoTone}, {kNoNoise, kNoNoise}}},
    // Guiros: a scrape of short noise strikes, then a long one.
    {73, {0.65, 0, 0, 0, 0, {kNoTone, kNoTone, kNoTone, kNoTone}, {{1, 0.1, 2500, 6500, 7, 0.011, 0}, kNoNoise}}},
    {74, {0.91, 0, 0, 0, 0, {kNoTone, kNoTone, kNoTone, kNoTone}, {{1, 0.6, 2000, 6000, 30, 0.013, 0}, kNoNoise}}},
    // Claves and wood blocks: short sines with a hard attack.
    {75, {1.0, 0, 0, 0, 0, {{2200, 2200, 0.1, 1, 0.06, 1}, kNoTone, kNoTone, kNoTone}, {{0.2, 0.005, 2000, 7000, 0, 0, 0}, kNoNoise}}},
    {76, {0.99, 0, 0, 0, 0, {{700, 700, 0.1, 1, 0.11, 1}, {1640, 1640, 0.1, 0.5, 0.05, 1}, kNoTone, kNoTone},
          {{0.2, 0.006, 1500, 7000, 0, 0, 0}, kNoNoise}}},
    {77, {0.97, 0, 0, 0, 0, {{560, 560, 0.1, 1, 0.15, 1}, {1170, 1170, 0.1, 0.25, 0.06, 1}, kNoTone, kNoTone},
          {{0.2, 0.006, 1500, 7000, 0, 0, 0}, kNoNoise}}},
    // Cuicas: a squeak gliding up, a moan gliding down.
    {78, {0.8, 0.01, 0.05, 0, 0, {{480, 700, 0.15, 1, 0.45, 1}, kNoTone, kNoTone, kNoTone}, {kNoNoise, kNoNoise}}},
    {79, {0.8, 0.01, 0.1, 0, 0, {{420, 260, 0.3, 1, 0.42, 1}, kNoTone, kNoTone, kNoTone}, {kNoNoise, kNoNoise}}},
    // Triangles: inharmonic high partials under a tap, 2170 Hz the strongest.
    {80, {0.76, 0, 0, 0, 0, {{1210, 1210, 0.1, 0.15, 0.14, 1}, {2170, 2170, 0.1, 1, 0.14, 1}, {4420, 4420, 0.1, 0.33, 0.12, 1}, {4750, 4750, 0.1, 0.5, 0.1, 1}},
          {{0.2, 0.005, 3000, 7000, 0, 0, 0}, kNoNoise}}},
    {81, {0.76, 0, 0, 0, 0, {{1210, 1210, 0.1, 0.15, 0.5, 1}, {2170, 2170, 0.1, 1, 0.5, 1}, {4420, 4420, 0.1, 0.33, 0.42, 1}, {4750, 4750, 0.1, 0.5, 0.35, 1}},
          {{0.2, 0.005, 3000, 7000, 0, 0, 0}, kNoNoise}}},
};

// Toms: a sine gliding down a little to the key's pitch, its shell ringing
// near 2.75 times it, under the stick's thud.
struct Tom {
    int key;
    double hz;
};
constexpr Tom kToms[] = {{41, 57}, {43, 83}, {45, 85}, {47, 104}, {48, 110}, {50, 122}};

const Tom* FindTom(int key) {
    for (const Tom& t : kToms) {
        if (t.key == key) return &t;
    }
    return nullptr;
}

Voice TomVoice(const Tom& tom) {
    return Voice{0.85, 0, 0, 0, 0, {{tom.hz * 1.15, tom.hz, 0.08, 1, 1.0, 1}, {tom.hz * 2.9, tom.hz * 2.75, 0.08, 0.25, 0.3, 1}, kNoTone, kNoTone},
                 {{0.5, 0.08, 300, 4000, 0, 0, 0}, kNoNoise}};
}

bool IsTom(int key) { return FindTom(key) != nullptr; }

const Voice* KitVoice(int key) {
    for (const KitKey& k : kKit) {
        if (k.key == key) return &k.voice;
    }
    return nullptr;
}

// The highest frequency a sound keeps at `rate`.
double Highest(double rate) { return std::min(kHighest, kNyquistMargin * rate); }

void AddPartial(const Voice& v, const Partial& p, double rate, std::size_t hold, std::vector<double>& out) {
    const double highest = Highest(rate);
    const double glide = FallFactor(p.glide_s, rate), fall = FallFactor(p.fall_s, rate);
    double phase = 0, away = 1, level = p.level;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double vibrato =
            v.vibrato == 0 ? 1 : 1 + v.vibrato * SinCycles(v.vibrato_hz * static_cast<double>(i) / rate);
        const double hz = (p.end_hz + (p.start_hz - p.end_hz) * away) * vibrato;
        double s = 0;
        for (int n = 1; n <= p.odd && n * hz < highest; n += 2) s += SinCycles(n * phase) / n;
        out[i] += level * s;
        phase += hz / rate;
        phase -= std::floor(phase);
        away *= glide;
        if (i >= hold) level *= fall;
    }
}

void AddNoise(const NoisePart& n, double rate, std::size_t hold, Noise& noise, std::vector<double>& out) {
    // At low rates a band above what the rate holds moves down below its top.
    const double high = std::min(n.high_hz, Highest(rate));
    Biquad low_cut(std::max(std::min(n.low_hz, 0.9 * high), 20.0), rate, true);
    Biquad high_cut(high, rate, false), high_cut2(high, rate, false);
    const double fall = FallFactor(n.fall_s, rate);
    const std::size_t burst = static_cast<std::size_t>(n.burst_s * rate + 0.5);
    const std::size_t bursts_end = burst * static_cast<std::size_t>(n.bursts);
    // White noise spreads its power up to half the rate: the same band then
    // holds the same power at every rate (the levels are set at kMixRate).
    double level = n.level * std::sqrt(rate / kMixRate);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double x = high_cut2.Next(high_cut.Next(low_cut.Next(noise.Next())));
        // Each burst fades linearly to a tenth before the next strikes.
        const double shape =
            i < bursts_end ? 1 - 0.9 * static_cast<double>(i % burst) / static_cast<double>(burst)
                           : (n.bursts > 0 ? n.tail : 1);
        out[i] += level * shape * x;
        if (i >= hold) level *= fall;
    }
}

// How long the voice is worth synthesising: until its slowest part has
// fallen 60 dB, past the 48 dB of kAudible.
double Span(const Voice& v) {
    double longest = 0;
    for (const Partial& p : v.partials) {
        if (p.level > 0) longest = std::max(longest, p.fall_s);
    }
    for (const NoisePart& n : v.noises) {
        if (n.level > 0) longest = std::max({longest, n.fall_s, n.bursts * n.burst_s});
    }
    return std::min(kLongest, v.attack_s + v.hold_s + 1.5 * longest);
}

// Scales to the voice's peak, cuts where it stays inaudible, fades to a last sample of 0.
std::vector<float> Finish(const Voice& v, double rate, std::vector<double>& s) {
    double peak = 0;
    for (double x : s) peak = std::max(peak, std::fabs(x));
    if (peak == 0) return {0.0f};  // no voice is silent, but a sample still ends in 0
    const double scale = v.peak / peak;
    std::size_t end = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        s[i] *= scale;
        if (std::fabs(s[i]) >= kAudible) end = i + 1;
    }
    const std::size_t fade = std::min(end, static_cast<std::size_t>(kFade * rate));
    std::vector<float> out(end);
    for (std::size_t i = 0; i < end; ++i) {
        const double ramp = i + fade < end ? 1 : static_cast<double>(end - 1 - i) / static_cast<double>(fade);
        out[i] = static_cast<float>(s[i] * ramp);
    }
    return out;
}

}  // namespace

bool DacDrum(int key) { return IsTom(key) || KitVoice(key) != nullptr; }

std::vector<float> DrumSample(int key, unsigned rate) {
    if (!DacDrum(key) || rate < 8000 || rate > 48000) return {};
    const Voice v = IsTom(key) ? TomVoice(*FindTom(key)) : *KitVoice(key);
    const double r = rate;
    std::vector<double> s(static_cast<std::size_t>(Span(v) * r));
    const std::size_t hold = static_cast<std::size_t>(v.hold_s * r);
    for (const Partial& p : v.partials) {
        if (p.level > 0) AddPartial(v, p, r, hold, s);
    }
    // Each key has its own noise, the same at every call.
    Noise noise(0x9E3779B9u * static_cast<std::uint32_t>(key));
    for (const NoisePart& n : v.noises) {
        if (n.level > 0) AddNoise(n, r, hold, noise, s);
    }
    const std::size_t attack = static_cast<std::size_t>(v.attack_s * r);
    for (std::size_t i = 0; i < attack && i < s.size(); ++i) s[i] *= static_cast<double>(i) / attack;
    return Finish(v, r, s);
}

}  // namespace fmtool
