#include "fmtool/check/report_format.h"

#include <cstdio>

#include "smf/smf_score.h"

namespace fmtool {

namespace {

const char* const kChipChannelNames[10] = {"fm1",     "fm2",     "fm3",     "fm4",     "fm5",
                                           "fm6",     "square1", "square2", "square3", "noise"};

std::string Percent(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", value);
    return buf;
}

std::string Place(const Finding& f) {
    std::string place = "first at " + MIDI::FormatMinutes(f.first_seconds);
    if (f.bar_known)
        place += ", bar " + std::to_string(f.first_bar.bar) + " beat " + std::to_string(f.first_bar.beat);
    return place;
}

void WriteFindingText(std::ostream& out, const Finding& f) {
    out << "  " << f.Text();
    if (f.kind == FindingKind::kRestCut) {
        out << " (from " << MIDI::FormatMinutes(f.first_seconds) << ")\n";
    } else {
        out << " (" << Place(f) << ")\n";
    }
}

// A string as a JSON literal.
std::string Quoted(const std::string& text) {
    std::string q = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            q += '\\';
            q += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            q += buf;
        } else {
            q += static_cast<char>(c);
        }
    }
    return q + "\"";
}

std::string JsonNumber(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", value);
    return buf;
}

const char* SeverityName(Severity s) {
    switch (s) {
        case Severity::kLost: return "lost";
        case Severity::kChanged: return "changed";
        case Severity::kInfo: return "info";
    }
    return "";
}

void WriteFindingJson(std::ostream& out, const Finding& f) {
    out << "{\"kind\": " << Quoted(f.Name()) << ", \"severity\": " << Quoted(SeverityName(f.severity))
        << ", \"count\": " << f.count;
    if (f.kind == FindingKind::kDefaultProgram || f.kind == FindingKind::kSilentVoice) out << ", \"program\": " << f.param;
    if (f.kind == FindingKind::kIgnoredController) out << ", \"controller\": " << f.param;
    out << ", \"first\": {\"seconds\": " << JsonNumber(f.first_seconds)
        << ", \"time\": " << Quoted(MIDI::FormatMinutes(f.first_seconds));
    if (f.bar_known) out << ", \"bar\": " << f.first_bar.bar << ", \"beat\": " << f.first_bar.beat;
    out << "}";
    if (f.kind == FindingKind::kTempoRounded) out << ", \"percent\": " << JsonNumber(f.percent);
    if (f.kind == FindingKind::kTempoRounded || f.kind == FindingKind::kRestCut)
        out << ", \"seconds\": " << JsonNumber(f.seconds);
    out << ", \"text\": " << Quoted(f.Text()) << "}";
}

void WriteFindingsJson(std::ostream& out, const std::vector<Finding>& findings, const char* indent) {
    out << "[";
    for (std::size_t i = 0; i < findings.size(); ++i) {
        out << (i ? ",\n" : "\n") << indent;
        WriteFindingJson(out, findings[i]);
    }
    out << "]";
}

}  // namespace

std::string SummaryLine(const LossReport& report) {
    return std::to_string(report.heard) + " of " + std::to_string(report.notes) + " notes will be heard (" +
           Percent(report.HeardPercent()) + " %)";
}

void WriteReportText(std::ostream& out, const LossReport& report) {
    for (const ChannelReport& c : report.channels) {
        out << ChannelTitle(c.channel) << ": " << c.heard << " of " << c.notes << " notes heard\n";
        for (const Finding& f : c.findings) WriteFindingText(out, f);
    }
    if (!report.song.empty()) {
        out << "Whole song:\n";
        for (const Finding& f : report.song) WriteFindingText(out, f);
    }
    out << SummaryLine(report) << "\n";
}

void WriteReportJson(std::ostream& out, const LossReport& report) {
    out << "{\"notes\": " << report.notes << ", \"heard\": " << report.heard
        << ", \"percent\": " << Percent(report.HeardPercent())
        << ", \"loses_anything\": " << (report.LosesAnything() ? "true" : "false") << ",\n \"chip_channels\": {";
    for (int i = 0; i < 10; ++i) out << (i ? ", " : "") << Quoted(kChipChannelNames[i]) << ": " << report.chip_sounds[i];
    out << "},\n \"channels\": [";
    for (std::size_t i = 0; i < report.channels.size(); ++i) {
        const ChannelReport& c = report.channels[i];
        const std::string title = ChannelTitle(c.channel);
        const std::string plays = title.substr(title.find('(') + 1, title.size() - title.find('(') - 2);
        out << (i ? ",\n  " : "\n  ") << "{\"channel\": " << c.channel + 1 << ", \"plays\": " << Quoted(plays)
            << ", \"notes\": " << c.notes << ", \"heard\": " << c.heard << ", \"findings\": ";
        WriteFindingsJson(out, c.findings, "    ");
        out << "}";
    }
    out << "],\n \"song\": ";
    WriteFindingsJson(out, report.song, "  ");
    out << "}\n";
}

}  // namespace fmtool
