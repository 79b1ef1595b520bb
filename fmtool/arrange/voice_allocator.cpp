#include "fmtool/arrange/voice_allocator.h"

#include <algorithm>
#include <cstdlib>

namespace fmtool {

namespace {

// A note of the same part ending this close after a new one starts hands
// its channel over.
constexpr std::uint64_t kLegatoFrames = 3;
// A decaying note this old has mostly died away.
constexpr std::uint64_t kDecayedFrames = 60;

// What keeping a note is worth when another needs its channel.
constexpr int kRankDrum = -2;
constexpr int kRankDrumCuts = 1;  // what a drum may cut: a rank no higher than this
constexpr int kRankDoubled = 0;
constexpr int kRankInner = 2;
constexpr int kRankOuter = 4;  // the bass or the top line
constexpr int kAnyOctaves = 1000;

// Choosing among free channels: lower costs win.
constexpr double kCostOtherChip = 8;
constexpr double kCostPerOctave = 20;  // above any other cost: a chip that plays it in place wins
constexpr double kCostSamePart = -3;
constexpr double kCostLegato = -2;
constexpr double kCostSameProgram = -2;

struct Voice {
    int placement = -1;          // the channel's latest placement
    std::uint64_t busy_until = 0;
    int program = -1;            // FM program the channel holds
    int part = -1;
};

class Allocator {
public:
    Allocator(const std::vector<VoiceRequest>& requests, unsigned fm_channels)
        : req_(requests), fm_channels_(fm_channels) {}

    Allocation Run() {
        std::vector<std::uint32_t> group;
        for (std::size_t i = 0; i < req_.size();) {
            const std::uint64_t frame = req_[i].start;
            group.clear();
            for (; i < req_.size() && req_[i].start == frame; ++i) group.push_back(static_cast<std::uint32_t>(i));
            Order(group);
            for (std::uint32_t r : group) Place(r, frame);
        }
        return std::move(out_);
    }

private:
    // Melodic notes before drums; the group's top and bass first, then by level.
    void Order(std::vector<std::uint32_t>& group) const {
        int low = 128, high = -1;
        for (std::uint32_t r : group) {
            if (req_[r].drum) continue;
            low = std::min(low, req_[r].pitch);
            high = std::max(high, req_[r].pitch);
        }
        auto key = [&](std::uint32_t r) {
            const VoiceRequest& q = req_[r];
            const int tier = q.drum ? 2 : (q.pitch == low || q.pitch == high) ? 0 : 1;
            return std::make_pair(tier, -q.level_db);
        };
        std::stable_sort(group.begin(), group.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return key(a) < key(b); });
    }

    bool Allowed(const VoiceRequest& r, unsigned ch) const {
        const Chip chip = ChipOf(ch);
        if (chip == Chip::Fm) return r.fm_program >= 0 && ch < fm_channels_;
        return r.square_ok;
    }

    const VoiceRequest& Current(const Voice& v) const { return req_[out_.placements[v.placement].request]; }

    // Whether the channel's note is of the same part, started earlier and ends
    // within a few frames of `frame`.
    bool Legato(const VoiceRequest& r, const Voice& v, std::uint64_t frame) const {
        if (r.drum || v.placement < 0 || v.busy_until > frame + kLegatoFrames) return false;
        const Placement& p = out_.placements[v.placement];
        return p.start < frame && !Current(v).drum && Current(v).part == r.part;
    }

    double Cost(const VoiceRequest& r, unsigned ch, std::uint64_t frame, bool legato) const {
        const Voice& v = voices_[ch];
        const Chip chip = ChipOf(ch);
        double cost = 0;
        if ((chip == Chip::Square) != r.prefers_square) cost += kCostOtherChip;
        cost += kCostPerOctave * Octaves(ch);
        if (v.part == r.part) cost += kCostSamePart;
        if (legato) cost += kCostLegato;
        if (chip == Chip::Fm && v.program == r.fm_program) cost += kCostSameProgram;
        // Among equals, the channel silent longest (less than one point).
        const std::uint64_t idle = frame > v.busy_until ? frame - v.busy_until : 0;
        cost -= static_cast<double>(std::min<std::uint64_t>(idle, 600)) / 601;
        return cost;
    }

    // Octaves the request being placed moves on channel `ch`'s chip (worked
    // out once per request in Place).
    int Octaves(unsigned ch) const { return octaves_[ChipOf(ch) == Chip::Fm ? 0 : 1]; }

    // In order: a free channel that plays the note in place (as few octaves
    // moved as any channel allows), a cut note there, a wait of one frame
    // there; then the same with octave moves; else the note is dropped.
    void Place(std::uint32_t r, std::uint64_t frame) {
        const VoiceRequest& q = req_[r];
        octaves_[0] = std::abs(PlaceNote(Chip::Fm, q.pitch).octaves);
        octaves_[1] = std::abs(PlaceNote(Chip::Square, q.pitch).octaves);
        int fewest = kAnyOctaves;
        for (unsigned ch = 0; ch < kToneChannels; ++ch) {
            if (Allowed(q, ch)) fewest = std::min(fewest, Octaves(ch));
        }
        if (TakeFree(r, frame, fewest)) return;
        const int mine = Rank(q, frame, frame, SoundingPitches(q, frame));
        if (q.drum) {
            // A drum may cut an earlier drum, a doubled note or an inner
            // voice that has mostly died away.
            if (!TakeCut(r, frame, kAnyOctaves, kRankDrumCuts)) out_.unplaced_drums.push_back(r);
            return;
        }
        if (TakeCut(r, frame, fewest, mine) || TakeNextFrame(r, frame, fewest) || TakeFree(r, frame, kAnyOctaves) ||
            TakeCut(r, frame, kAnyOctaves, mine)) {
            return;
        }
        out_.dropped.push_back(Dropped{r, mine == kRankDoubled ? DropReason::Doubled : DropReason::NoVoice});
    }

    bool TakeFree(std::uint32_t r, std::uint64_t frame, int octaves) {
        const VoiceRequest& q = req_[r];
        int best = -1;
        bool bestLegato = false;
        double bestCost = 0;
        for (unsigned ch = 0; ch < kToneChannels; ++ch) {
            if (!Allowed(q, ch) || Octaves(ch) > octaves) continue;
            const Voice& v = voices_[ch];
            const bool free = v.busy_until <= frame;
            const bool legato = !free && Legato(q, v, frame);
            if (!free && !legato) continue;
            const double cost = Cost(q, ch, frame, legato);
            if (best < 0 || cost < bestCost) {
                best = static_cast<int>(ch);
                bestCost = cost;
                bestLegato = legato;
            }
        }
        if (best < 0) return false;
        if (bestLegato) out_.placements[voices_[best].placement].end = frame;
        Assign(r, static_cast<unsigned>(best), frame, false);
        return true;
    }

    // The pitches sounding at `frame` (melodic notes only), `q`'s first.
    const std::vector<int>& SoundingPitches(const VoiceRequest& q, std::uint64_t frame) {
        pitches_.assign(1, q.pitch);
        for (const Voice& v : voices_) {
            if (v.placement >= 0 && v.busy_until > frame && !Current(v).drum) pitches_.push_back(Current(v).pitch);
        }
        return pitches_;
    }

    // The worth of keeping a note of the sounding set `pitches` at `frame`.
    int Rank(const VoiceRequest& q, std::uint64_t started, std::uint64_t frame, const std::vector<int>& pitches) const {
        if (q.drum) return kRankDrum;
        int same = 0, below = 0, above = 0;
        for (int p : pitches) {
            same += p == q.pitch;
            below += p < q.pitch;
            above += p > q.pitch;
        }
        if (same > 1) return kRankDoubled;
        const int rank = (below == 0 || above == 0) ? kRankOuter : kRankInner;
        return q.decaying && frame - started >= kDecayedFrames ? rank - 1 : rank;
    }

    // Cuts the sounding note that matters least, if it matters no more than
    // the new one (`mine`); among equals the one that has sounded longest.
    bool TakeCut(std::uint32_t r, std::uint64_t frame, int octaves, int mine) {
        const VoiceRequest& q = req_[r];
        int victim = -1, victimRank = 0;
        std::uint64_t victimStart = 0;
        for (unsigned ch = 0; ch < kToneChannels; ++ch) {
            const Voice& v = voices_[ch];
            if (!Allowed(q, ch) || Octaves(ch) > octaves || v.placement < 0 || v.busy_until <= frame) continue;
            const Placement& p = out_.placements[v.placement];
            if (p.start >= frame) continue;  // it has not been heard yet
            const int rank = Rank(Current(v), p.start, frame, pitches_);
            if (victim < 0 || rank < victimRank || (rank == victimRank && p.start < victimStart)) {
                victim = static_cast<int>(ch);
                victimRank = rank;
                victimStart = p.start;
            }
        }
        if (victim < 0 || victimRank > mine) return false;
        Placement& cut = out_.placements[voices_[victim].placement];
        cut.end = frame;
        cut.cut = true;
        Assign(r, static_cast<unsigned>(victim), frame, false);
        return true;
    }

    // Starts the note one frame late on a channel that frees then.
    bool TakeNextFrame(std::uint32_t r, std::uint64_t frame, int octaves) {
        const VoiceRequest& q = req_[r];
        if (q.end <= frame + 1) return false;
        for (unsigned ch = 0; ch < kToneChannels; ++ch) {
            if (Allowed(q, ch) && Octaves(ch) <= octaves && voices_[ch].busy_until == frame + 1) {
                Assign(r, ch, frame + 1, true);
                return true;
            }
        }
        return false;
    }

    void Assign(std::uint32_t r, unsigned ch, std::uint64_t start, bool waited) {
        const VoiceRequest& q = req_[r];
        Placement p;
        p.request = r;
        p.channel = static_cast<std::uint8_t>(ch);
        p.start = start;
        p.end = q.end;
        p.note = PlaceNote(ChipOf(ch), q.pitch);
        p.waited = waited;
        Voice& v = voices_[ch];
        v.placement = static_cast<int>(out_.placements.size());
        v.busy_until = q.end;
        v.part = q.part;
        if (ChipOf(ch) == Chip::Fm) v.program = q.fm_program;
        out_.placements.push_back(p);
    }

    const std::vector<VoiceRequest>& req_;
    const unsigned fm_channels_;
    Allocation out_;
    Voice voices_[kToneChannels];
    std::vector<int> pitches_;
    int octaves_[2] = {0, 0};  // of the request being placed: FM, squares
};

}  // namespace

Allocation AllocateVoices(const std::vector<VoiceRequest>& requests, unsigned fm_channels) {
    return Allocator(requests, fm_channels).Run();
}

}  // namespace fmtool
