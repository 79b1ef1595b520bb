#include "fmtool/render/dac_track.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include "chips/ym2612_map.h"
#include "fmtool/render/drum_kit.h"
#include "fmtool/render/part_levels.h"

namespace fmtool {

namespace {

constexpr int kLevels = 14;  // 0 to -39 dB
constexpr double kFullScale = 127;

// The hits of one frame, as (key, level step) pairs in order.
using Mix = std::vector<std::pair<int, int>>;

class BankBuilder {
public:
    // The bank's sample for `mix`, made when it is new; {0, 0} when none can be had.
    std::pair<std::uint32_t, std::uint32_t> Sample(const Mix& mix) {
        const auto found = samples_.find(mix);
        if (found != samples_.end()) return found->second;
        if (bank_.size() >= kMaxDacBank) return Nearest(mix);
        std::vector<float> sum;
        for (const auto& [key, step] : mix) {
            const std::vector<float>& sound = Sound(key);
            const float scale = static_cast<float>(std::pow(10.0, -step * kDacLevelStepDb / 20));
            if (sum.size() < sound.size()) sum.resize(sound.size(), 0.0f);
            for (std::size_t i = 0; i < sound.size(); ++i) sum[i] += sound[i] * scale;
        }
        const std::uint32_t offset = static_cast<std::uint32_t>(bank_.size());
        for (float x : sum) {
            const long v = std::lround(std::clamp(x, -1.0f, 1.0f) * kFullScale);
            bank_.push_back(static_cast<std::uint8_t>(YM2612::kDacCentre + v));
        }
        bank_.push_back(YM2612::kDacCentre);
        const std::pair<std::uint32_t, std::uint32_t> made{offset, static_cast<std::uint32_t>(bank_.size()) - offset};
        samples_.emplace(mix, made);
        return made;
    }

    std::vector<std::uint8_t> Take() { return std::move(bank_); }

private:
    const std::vector<float>& Sound(int key) {
        auto it = sounds_.find(key);
        if (it == sounds_.end()) it = sounds_.emplace(key, DrumSample(key, kDacRate)).first;
        return it->second;
    }

    // The loudest hit of `mix` alone at the nearest level the bank has.
    std::pair<std::uint32_t, std::uint32_t> Nearest(const Mix& mix) const {
        const auto loudest = std::min_element(mix.begin(), mix.end(),
                                              [](const auto& a, const auto& b) { return a.second < b.second; });
        for (int d = 0; d < kLevels; ++d) {
            for (int step : {loudest->second - d, loudest->second + d}) {
                const auto found = samples_.find(Mix{{loudest->first, step}});
                if (found != samples_.end()) return found->second;
            }
        }
        return {0, 0};
    }

    std::map<Mix, std::pair<std::uint32_t, std::uint32_t>> samples_;
    std::map<int, std::vector<float>> sounds_;
    std::vector<std::uint8_t> bank_;
};

int LevelStep(double db) {
    return static_cast<int>(std::clamp<long>(std::lround(std::max(0.0, -db) / kDacLevelStepDb), 0, kLevels - 1));
}

}  // namespace

DacTrack BuildDacTrack(const std::vector<DrumHit>& hits, std::uint64_t end, double gain) {
    DacTrack track;
    BankBuilder bank;
    Mix mix;
    for (std::size_t i = 0; i < hits.size() && hits[i].start.frame < end;) {
        const std::uint64_t frame = hits[i].start.frame;
        const std::size_t first = i;
        mix.clear();
        for (; i < hits.size() && hits[i].start.frame == frame; ++i)
            mix.emplace_back(hits[i].key, LevelStep(TrimmedDb(hits[i]) + gain));
        std::sort(mix.begin(), mix.end());
        mix.erase(std::unique(mix.begin(), mix.end()), mix.end());
        const auto [offset, length] = bank.Sample(mix);
        if (length != 0) track.turns.push_back(DacTurn{hits[first].start, offset, length});
    }
    track.bank = bank.Take();
    return track;
}

}  // namespace fmtool
