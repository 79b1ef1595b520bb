#include "tests/player/gme_render.h"

#include <gme/gme.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace playertest {

namespace {

struct EmuDeleter {
    void operator()(Music_Emu* emu) const { gme_delete(emu); }
};
using EmuPtr = std::unique_ptr<Music_Emu, EmuDeleter>;

VoiceMap ReadVoices(const Music_Emu* emu) {
    VoiceMap map;
    map.count = gme_voice_count(emu);
    for (int i = 0; i < map.count; ++i) {
        const char* raw = gme_voice_name(emu, i);
        const std::string name = raw ? raw : "";
        map.names.push_back(name);
        // The player names the SN76489 "PSG" as one voice, or its squares and
        // noise one by one; everything else ("FM 1".."FM 6", the DAC as "PCM")
        // is the YM2612.
        const bool psg = name == "PSG" || name.rfind("Square", 0) == 0 || name.rfind("Noise", 0) == 0;
        (psg ? map.psgMask : map.fmMask) |= 1 << i;
    }
    return map;
}

}  // namespace

Opened OpenFile(const std::string& path) {
    Opened result;
    Music_Emu* raw = nullptr;
    if (gme_err_t err = gme_open_file(path.c_str(), &raw, kSampleRate)) {
        result.error = err;
        return result;
    }
    EmuPtr emu(raw);
    gme_info_t* info = nullptr;
    if (gme_err_t err = gme_track_info(emu.get(), &info, 0)) {
        result.error = err;
        return result;
    }
    result.lengths = {info->length, info->intro_length, info->loop_length, info->play_length};
    gme_free_info(info);
    // Voice names are known once a track has started.
    if (gme_err_t err = gme_start_track(emu.get(), 0)) {
        result.error = err;
        return result;
    }
    result.voices = ReadVoices(emu.get());
    return result;
}

std::vector<double> RenderMono(const std::vector<std::uint8_t>& file, long frames, int muteMask) {
    Music_Emu* raw = nullptr;
    if (gme_open_data(file.data(), static_cast<long>(file.size()), &raw, kSampleRate)) return {};
    EmuPtr emu(raw);
    gme_ignore_silence(emu.get(), 1);
    if (gme_start_track(emu.get(), 0)) return {};
    gme_mute_voices(emu.get(), muteMask);

    std::vector<double> mono;
    mono.reserve(static_cast<std::size_t>(frames));
    std::vector<short> block(2 * 4096);
    while (static_cast<long>(mono.size()) < frames) {
        const long want = std::min<long>(4096, frames - static_cast<long>(mono.size()));
        if (gme_play(emu.get(), static_cast<int>(2 * want), block.data())) return {};
        for (long i = 0; i < want; ++i) mono.push_back((block[2 * i] + block[2 * i + 1]) / 2.0);
    }
    return mono;
}

double Rms(const std::vector<double>& pcm, long begin, long end) {
    end = std::min<long>(end, static_cast<long>(pcm.size()));
    if (begin < 0 || begin >= end) return 0;
    double sum = 0;
    for (long i = begin; i < end; ++i) sum += pcm[i] * pcm[i];
    return std::sqrt(sum / static_cast<double>(end - begin));
}

double Magnitude(const std::vector<double>& pcm, long begin, long end, double hz) {
    end = std::min<long>(end, static_cast<long>(pcm.size()));
    if (begin < 0 || begin >= end) return 0;
    const double kPi = 3.14159265358979323846;
    const double step = 2 * kPi * hz / kSampleRate, span = static_cast<double>(end - begin);
    double re = 0, im = 0;
    for (long i = begin; i < end; ++i) {
        const double w = (0.5 - 0.5 * std::cos(2 * kPi * (i - begin) / span)) * pcm[i];
        re += w * std::cos(step * (i - begin));
        im -= w * std::sin(step * (i - begin));
    }
    return std::hypot(re, im);
}

double MeasureFrequency(const std::vector<double>& pcm, long begin, long end) {
    end = std::min<long>(end, static_cast<long>(pcm.size()));
    if (begin < 1 || begin >= end) return 0;
    // Remove the mean: the square chip's output may sit off zero.
    double mean = 0;
    for (long i = begin; i < end; ++i) mean += pcm[i];
    mean /= static_cast<double>(end - begin);
    const double threshold = 0.25 * Rms(pcm, begin, end);

    double first = -1, last = -1;
    int crossings = 0;
    bool armed = false;
    for (long i = begin; i < end; ++i) {
        const double prev = pcm[i - 1] - mean, cur = pcm[i] - mean;
        if (cur < -threshold) armed = true;
        if (armed && prev < 0 && cur >= 0) {
            const double t = static_cast<double>(i - 1) + (-prev) / (cur - prev);
            if (first < 0) first = t;
            last = t;
            ++crossings;
            armed = false;
        }
    }
    if (crossings < 2) return 0;
    return (crossings - 1) * kSampleRate / (last - first);
}

double MeasurePitch(const std::vector<double>& pcm, long begin, long end, double minHz, double maxHz) {
    end = std::min<long>(end, static_cast<long>(pcm.size()));
    const long minLag = std::max<long>(2, static_cast<long>(kSampleRate / maxHz));
    const long maxLag = static_cast<long>(kSampleRate / minHz) + 1;
    const long window = end - begin - maxLag;
    if (begin < 0 || window < maxLag) return 0;

    // Difference of the signal with itself delayed by each lag, normalised by
    // its running mean over the shorter lags, so that 0 is a perfect repeat.
    std::vector<double> diff(static_cast<std::size_t>(maxLag + 1), 0.0);
    double running = 0;
    std::vector<double> norm(diff.size(), 1.0);
    for (long lag = 1; lag <= maxLag; ++lag) {
        double sum = 0;
        for (long i = begin; i < begin + window; ++i) {
            const double d = pcm[i] - pcm[i + lag];
            sum += d * d;
        }
        diff[lag] = sum;
        running += sum;
        norm[lag] = running > 0 ? sum * static_cast<double>(lag) / running : 1.0;
    }
    // The first dip below the threshold, followed down to its bottom.
    constexpr double kThreshold = 0.15;
    long lag = minLag;
    while (lag < maxLag && norm[lag] >= kThreshold) ++lag;
    if (lag >= maxLag) return 0;
    while (lag + 1 < maxLag && norm[lag + 1] < norm[lag]) ++lag;
    // A parabola through the bottom and its neighbours places it between samples.
    const double a = norm[lag - 1], b = norm[lag], c = norm[lag + 1];
    const double denom = a - 2 * b + c;
    const double shift = denom > 0 ? 0.5 * (a - c) / denom : 0.0;
    return kSampleRate / (static_cast<double>(lag) + shift);
}

}  // namespace playertest
