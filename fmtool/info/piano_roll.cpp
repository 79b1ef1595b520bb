#include "fmtool/info/piano_roll.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>
#include <sstream>
#include <utility>

#include "fmtool/info/vgm_inspect.h"
#include "sequencer/midip.h"
#include "smf/smf_score.h"
#include "text/text_clean.h"
#include "vgm/gd3.h"
#include "vgm/vgm_format.h"

namespace fmtool {

namespace {

// The converter plays FM and square notes one octave above the written note.
constexpr int kConverterOctave = 12;

// Geometry, in SVG user units (pixels).
constexpr double kLeft = 80, kRight = 20, kTop = 40, kBottom = 36;
constexpr double kLaneHeight = 60, kLaneGap = 6;
constexpr double kPlotWidth = 1200;  // for short files; longer ones get wider
constexpr double kMinPxPerSecond = 4, kMaxPxPerSecond = 60;
constexpr double kMinTickSpacing = 70;

const char* const kStyle =
    "text{font-family:sans-serif;font-size:12px;fill:#333}"
    ".lane{fill:#f6f6f6}"
    ".song{fill:#000;fill-opacity:.13}"
    ".note{stroke-width:.5}"
    ".fm{fill:#2b6cb0;stroke:#1a4070}"
    ".sq{fill:#dd6b20;stroke:#8a3f0e}"
    ".noise{fill:#718096;stroke:#3d4654}"
    ".silent{fill-opacity:.15;stroke-dasharray:2 1}"
    ".tick{stroke:#ccc;stroke-width:1}"
    ".loop{stroke:#c53030;stroke-width:1.5;stroke-dasharray:6 3}"
    ".looptext{fill:#c53030}";

// Text for XML 1.0, which forbids most control characters and U+FFFE/U+FFFF.
std::string Escape(const std::string& text) {
    std::string out;
    for (const char c : Text::CleanText(text, false)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    std::string s = buf;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

// A tick step on the time axis that keeps labels apart.
double TickStep(double pxPerSecond) {
    static const double kSteps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1800, 3600};
    for (const double s : kSteps)
        if (s * pxPerSecond >= kMinTickSpacing) return s;
    return 7200;
}

std::string Clock(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

const char* ChipClass(unsigned lane) {
    return lane < VGM::kChipFmChannels ? "fm" : lane < VGM::kChipNoise ? "sq" : "noise";
}

}  // namespace

std::vector<RollNote> RollNotesOf(const std::vector<VGM::ChipNote>& notes) {
    std::vector<RollNote> out;
    out.reserve(notes.size());
    for (const VGM::ChipNote& n : notes) {
        RollNote r;
        r.lane = n.channel;
        r.start = static_cast<double>(n.on_sample) / VGM::kSampleRate;
        r.end = static_cast<double>(n.off_sample) / VGM::kSampleRate;
        r.note = n.note;
        r.audible = n.audible;
        out.push_back(r);
    }
    return out;
}

std::vector<RollNote> SongNotesOf(const MIDI::Score& score) {
    std::vector<RollNote> out;
    // Notes still held, per channel and key, oldest first.
    std::map<std::pair<unsigned, int>, std::deque<double>> held;
    for (const MIDI::ScoreEvent& e : score.events) {
        if (!e.IsChannel() || e.Channel() > MIDI::kMidiNoiseChannel) continue;
        const std::pair<unsigned, int> key{e.Channel(), e.data1};
        if (e.IsNoteOn()) {
            held[key].push_back(e.seconds);
        } else if (e.IsNoteOff()) {
            auto it = held.find(key);
            if (it == held.end() || it->second.empty()) continue;
            RollNote r;
            r.lane = e.Channel();
            r.start = it->second.front();
            r.end = e.seconds;
            r.note = e.Channel() == MIDI::kMidiNoiseChannel ? -1 : e.data1 + kConverterOctave;
            it->second.pop_front();
            out.push_back(r);
        }
    }
    const double end = score.EndSeconds();
    for (const auto& [key, starts] : held) {
        for (const double start : starts) {
            RollNote r;
            r.lane = key.first;
            r.start = start;
            r.end = std::max(start, end);
            r.note = key.first == MIDI::kMidiNoiseChannel ? -1 : key.second + kConverterOctave;
            out.push_back(r);
        }
    }
    return out;
}

std::string RenderPianoRoll(const PianoRoll& roll) {
    const double seconds = std::max(roll.seconds, 1.0);
    const double pxPerSecond = std::clamp(kPlotWidth / seconds, kMinPxPerSecond, kMaxPxPerSecond);
    const double plotWidth = seconds * pxPerSecond;
    const double width = kLeft + plotWidth + kRight;
    const double lanesHeight = VGM::kChipChannels * (kLaneHeight + kLaneGap);
    const double height = kTop + lanesHeight + kBottom;

    // Each lane's pitch range covers its own notes and the song's.
    int low[VGM::kChipChannels], high[VGM::kChipChannels];
    std::fill(low, low + VGM::kChipChannels, 128);
    std::fill(high, high + VGM::kChipChannels, -1);
    for (const auto* list : {&roll.chip, &roll.song}) {
        for (const RollNote& n : *list) {
            if (n.lane >= VGM::kChipChannels || n.note < 0) continue;
            low[n.lane] = std::min(low[n.lane], n.note);
            high[n.lane] = std::max(high[n.lane], n.note);
        }
    }
    const auto x = [&](double t) { return kLeft + std::clamp(t, 0.0, seconds) * pxPerSecond; };
    const auto laneTop = [](unsigned lane) { return kTop + lane * (kLaneHeight + kLaneGap); };
    // Top edge and height of a note's bar.
    const auto bar = [&](const RollNote& n) {
        const double top = laneTop(n.lane);
        if (n.note < 0 || high[n.lane] < 0) return std::make_pair(top + kLaneHeight * 0.3, kLaneHeight * 0.4);
        const int span = high[n.lane] - low[n.lane] + 1;
        const double h = std::clamp(kLaneHeight / (span + 1), 2.0, 8.0);
        const double y = top + 2 + (high[n.lane] - n.note) * (kLaneHeight - 4 - h) / std::max(span - 1, 1);
        return std::make_pair(y, h);
    };

    std::ostringstream svg;
    svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << Num(width) << "\" height=\"" << Num(height)
        << "\" viewBox=\"0 0 " << Num(width) << ' ' << Num(height) << "\">\n"
        << "<style>" << kStyle << "</style>\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n"
        << "<text x=\"" << Num(kLeft) << "\" y=\"24\" style=\"font-size:15px\">" << Escape(roll.title)
        << "</text>\n";
    for (unsigned lane = 0; lane < VGM::kChipChannels; ++lane) {
        const double top = laneTop(lane);
        svg << "<rect class=\"lane\" x=\"" << Num(kLeft) << "\" y=\"" << Num(top) << "\" width=\"" << Num(plotWidth)
            << "\" height=\"" << Num(kLaneHeight) << "\"/>\n"
            << "<text x=\"8\" y=\"" << Num(top + kLaneHeight / 2 + 4) << "\">" << ChipChannelName(lane) << "</text>\n";
        if (high[lane] >= 0)
            svg << "<text x=\"8\" y=\"" << Num(top + kLaneHeight / 2 + 18) << "\" style=\"font-size:9px\">"
                << NoteName(low[lane]) << "-" << NoteName(high[lane]) << "</text>\n";
    }
    const double step = TickStep(pxPerSecond);
    for (double t = 0; t <= seconds + 1e-9; t += step) {
        svg << "<line class=\"tick\" x1=\"" << Num(x(t)) << "\" y1=\"" << Num(kTop - 4) << "\" x2=\"" << Num(x(t))
            << "\" y2=\"" << Num(kTop + lanesHeight) << "\"/>\n"
            << "<text x=\"" << Num(x(t) - 10) << "\" y=\"" << Num(kTop + lanesHeight + 16) << "\">" << Clock(t)
            << "</text>\n";
    }
    for (const RollNote& n : roll.song) {
        if (n.lane >= VGM::kChipChannels) continue;
        // A little taller than the chip's bars, so that it shows around a note
        // that was played as written and stands alone where one was lost.
        const auto [y, h] = bar(n);
        svg << "<rect class=\"song\" x=\"" << Num(x(n.start) - 1) << "\" y=\"" << Num(y - 2) << "\" width=\""
            << Num(std::max(1.0, x(n.end) - x(n.start)) + 2) << "\" height=\"" << Num(h + 4) << "\"/>\n";
    }
    for (const RollNote& n : roll.chip) {
        if (n.lane >= VGM::kChipChannels) continue;
        const auto [y, h] = bar(n);
        svg << "<rect class=\"note " << ChipClass(n.lane) << (n.audible ? "" : " silent") << "\" x=\""
            << Num(x(n.start)) << "\" y=\"" << Num(y) << "\" width=\"" << Num(std::max(1.0, x(n.end) - x(n.start)))
            << "\" height=\"" << Num(h) << "\"/>\n";
    }
    if (roll.loop >= 0) {
        svg << "<line class=\"loop\" x1=\"" << Num(x(roll.loop)) << "\" y1=\"" << Num(kTop - 14) << "\" x2=\""
            << Num(x(roll.loop)) << "\" y2=\"" << Num(kTop + lanesHeight) << "\"/>\n"
            << "<text class=\"looptext\" x=\"" << Num(x(roll.loop) + 4) << "\" y=\"" << Num(kTop - 6)
            << "\">loop</text>\n";
    }
    svg << "</svg>\n";
    return svg.str();
}

}  // namespace fmtool
