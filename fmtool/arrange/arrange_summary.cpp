#include "fmtool/arrange/arrange_summary.h"

#include <cstdio>

namespace fmtool {

namespace {

const char* const kReasonText[] = {"no free voice", "doubling a sounding note", "starting in the last frame"};

std::string ByChannel(const std::array<unsigned, kMidiChannels>& counts) {
    std::string out;
    for (unsigned ch = 0; ch < kMidiChannels; ++ch) {
        if (counts[ch] == 0) continue;
        out += (out.empty() ? "" : ", ") + std::string("ch ") + std::to_string(ch + 1) + ": " +
               std::to_string(counts[ch]);
    }
    return out;
}

std::string Percent(unsigned part, unsigned whole) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f %%", whole ? 100.0 * part / whole : 100.0);
    return buf;
}

}  // namespace

std::string FormatSummary(const ArrangeSummary& s) {
    std::string out;
    if (s.notes != 0 || s.hits == 0)
        out = s.notes == 0 ? "notes: none in the song\n"
                           : "notes: " + std::to_string(s.kept) + " of " + std::to_string(s.notes) + " kept (" +
                                 Percent(s.kept, s.notes) + "), " + std::to_string(s.moved) + " moved by octaves, " +
                                 std::to_string(s.cut) + " cut short, " + std::to_string(s.waited) +
                                 " one frame late\n";
    for (int r = 0; r < static_cast<int>(LossReason::kCount); ++r) {
        unsigned n = 0;
        for (unsigned c : s.dropped[r]) n += c;
        if (n == 0) continue;
        out += "dropped, " + std::string(kReasonText[r]) + ": " + std::to_string(n) + " (" + ByChannel(s.dropped[r]) +
               ")\n";
    }
    const unsigned kept = s.HitsKept();
    if (s.hits != 0)
        out += "drum hits: " + std::to_string(kept) + " of " + std::to_string(s.hits) + " kept (" +
           Percent(kept, s.hits) + "), " + std::to_string(s.hits_noise) + " on the noise channel, " +
           std::to_string(s.hits_tone) + " on tone channels" +
           (s.hits_dac ? ", " + std::to_string(s.hits_dac) + " on the DAC" : std::string()) + "\n";
    if (kept < s.hits) {
        out += "drum hits lost: " + std::to_string(s.hits - kept) + " met a stronger hit on the noise channel in their frame";
        if (s.hits_toneless) {
            out += " (" + std::to_string(s.hits_toneless) + " of them drums with a pitch that found every tone channel busy)";
        }
        out += "\n";
    }
    if (s.silent) out += "left out: " + std::to_string(s.silent) + " notes silent in the source (volume or expression 0)\n";
    for (const auto& sub : s.substitutes) {
        out += "program " + std::to_string(sub.first) + " has no voice in the bank: played with program " +
               std::to_string(sub.second) + "\n";
    }
    return out;
}

}  // namespace fmtool
