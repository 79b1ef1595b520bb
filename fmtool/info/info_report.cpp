#include "fmtool/info/info_report.h"

#include <cstdio>
#include <iomanip>

#include "smf/smf_score.h"
#include "text/text_clean.h"
#include "text/utf8.h"
#include "vgm/vgm_format.h"

namespace fmtool {

namespace {

double Seconds(std::uint64_t samples) { return static_cast<double>(samples) / VGM::kSampleRate; }

std::string Minutes(std::uint64_t samples) { return MIDI::FormatMinutes(Seconds(samples)); }

std::string Hex(std::uint64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

constexpr std::size_t kReportWidth = 80;
constexpr std::size_t kGd3Indent = 12;      // "  GD3       "
constexpr std::size_t kGd3TextIndent = 14;  // where the lines of a long text go on
constexpr std::size_t kMaxTextLines = 20;   // of one text; the JSON holds the whole

// A tag's text as lines of the report: control characters escaped (a title
// must not move the cursor or forge a line), the line breaks of a
// `multiline` text (the notes) kept, a line longer than the report wrapped at a blank where it has one
// (the first line beside the field's name, `first_width` columns), and a
// text of many lines cut with a count of the rest.
std::vector<std::string> ShownLines(const std::string& text, bool multiline, std::size_t first_width) {
    const std::string escaped = Text::EscapeControls(text, multiline);
    std::vector<std::string> lines(1);
    std::size_t width = 0, blank = std::string::npos;  // in the current line: columns, the last blank
    for (std::size_t i = 0; i < escaped.size();) {
        const std::size_t at = i;
        const char32_t cp = Text::NextUtf8(escaped, i);
        if (cp == '\n') {
            lines.emplace_back(), width = 0, blank = std::string::npos;
            continue;
        }
        const std::size_t limit = lines.size() == 1 ? first_width : kReportWidth - kGd3TextIndent;
        const std::size_t w = static_cast<std::size_t>(Text::DisplayWidth(cp));
        if (width + w > limit && width > 0) {
            std::string& line = lines.back();
            std::string rest;
            if (blank != std::string::npos) rest = line.substr(blank + 1), line.erase(blank);
            lines.push_back(rest);
            width = 0, blank = std::string::npos;
            for (std::size_t k = 0; k < rest.size();)
                width += static_cast<std::size_t>(Text::DisplayWidth(Text::NextUtf8(rest, k)));
        }
        if (cp == ' ') blank = lines.back().size();
        lines.back().append(escaped, at, i - at);
        width += w;
    }
    if (lines.size() > kMaxTextLines) {
        const std::size_t more = lines.size() - (kMaxTextLines - 1);
        lines.resize(kMaxTextLines - 1);
        lines.push_back("... " + std::to_string(more) + " more lines");
    }
    return lines;
}

// Keys of the GD3 texts in JSON.
const char* const kGd3Keys[VGM::kGd3FieldCount] = {
    "track_name",  "track_name_japanese",  "game_name", "game_name_japanese",
    "system_name", "system_name_japanese", "author",    "author_japanese",
    "release_date", "converted_by",        "notes",
};

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : Text::ValidUtf8(text)) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string JsonNumber(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    return buf;
}

std::string JsonList(const std::vector<std::string>& lines) {
    std::string out = "[";
    for (std::size_t i = 0; i < lines.size(); ++i) out += (i ? ", " : "") + JsonString(lines[i]);
    return out + "]";
}

void WriteJsonObject(std::ostream& out, const std::string& name, const VgmInspection& info) {
    out << "  {\"file\": " << JsonString(name) << ", \"readable\": " << (info.readable ? "true" : "false");
    if (!info.readable) {
        out << ", \"error\": " << JsonString(info.error) << "}";
        return;
    }
    const VGM::VgmHeader& h = info.header;
    out << ", \"valid\": " << (info.Valid() ? "true" : "false") << ",\n"
        << "   \"version\": \"" << h.VersionText() << "\", \"gzip\": " << (info.gzip ? "true" : "false")
        << ", \"size\": " << info.file_size << ",\n"
        << "   \"header\": {\"eof_offset\": " << h.eof_offset << ", \"gd3_offset\": " << h.gd3_offset
        << ", \"total_samples\": " << h.total_samples << ", \"loop_offset\": " << h.loop_offset
        << ", \"loop_samples\": " << h.loop_samples << ", \"rate\": " << h.rate
        << ", \"data_offset\": " << h.data_offset << ", \"data_start\": " << h.data_start
        << ", \"sn76489_feedback\": " << h.sn_feedback << ", \"sn76489_shift_width\": " << unsigned{h.sn_shift_width}
        << "},\n   \"chips\": [";
    for (std::size_t i = 0; i < h.chips.size(); ++i)
        out << (i ? ", " : "") << "{\"name\": " << JsonString(h.chips[i].name) << ", \"clock\": " << h.chips[i].clock
            << ", \"dual\": " << (h.chips[i].dual ? "true" : "false") << "}";
    out << "],\n   \"length_seconds\": " << JsonNumber(Seconds(h.total_samples)) << ", \"loop\": ";
    if (h.loop_start != 0)
        out << "{\"start_seconds\": " << JsonNumber(Seconds(h.total_samples >= h.loop_samples ? h.total_samples - h.loop_samples : 0))
            << ", \"seconds\": " << JsonNumber(Seconds(h.loop_samples)) << "}";
    else
        out << "null";
    out << ", \"wait_samples\": " << info.wait_samples << ", \"commands\": " << info.commands
        << ", \"pcm_bytes\": " << info.pcm_bytes << ", \"dac_bytes\": " << info.dac_bytes
        << ", \"dac_starts\": " << info.dac_seeks << ",\n   \"gd3\": ";
    if (info.has_gd3) {
        out << "{";
        for (int f = 0; f < VGM::kGd3FieldCount; ++f)
            out << (f ? ", " : "") << '"' << kGd3Keys[f] << "\": " << JsonString(info.gd3.text[f]);
        out << "}";
    } else {
        out << "null";
    }
    out << ",\n   \"channels\": [";
    for (unsigned ch = 0; ch < VGM::kChipChannels; ++ch) {
        const ChannelSummary& s = info.channels[ch];
        out << (ch ? ",\n     " : "\n     ") << "{\"name\": \"" << ChipChannelName(ch) << "\", \"key_ons\": " << s.key_ons
            << ", \"lowest\": " << s.lowest << ", \"highest\": " << s.highest
            << ", \"active_seconds\": " << JsonNumber(Seconds(s.active_samples)) << "}";
    }
    out << "],\n   \"remarks\": " << JsonList(info.remarks) << ",\n   \"problems\": " << JsonList(info.problems) << "}";
}

}  // namespace

void WriteInfoText(std::ostream& out, const std::string& name, const VgmInspection& info) {
    const VGM::VgmHeader& h = info.header;
    out << Text::EscapeControls(name, false) << "\n";
    out << "  format    VGM " << h.VersionText() << (info.gzip ? ", gzip-compressed" : "") << ", " << info.file_size
        << " bytes" << (info.gzip ? " inflated" : "") << "\n";
    out << "  chips     ";
    if (h.chips.empty()) out << "none";
    for (std::size_t i = 0; i < h.chips.size(); ++i)
        out << (i ? ", " : "") << (h.chips[i].dual ? "2 x " : "") << h.chips[i].name << " at " << h.chips[i].clock
            << " Hz";
    out << "\n";
    if (h.rate != 0) out << "  rate      " << h.rate << " Hz\n";
    out << "  length    " << Minutes(h.total_samples) << " (" << h.total_samples << " samples)\n";
    if (h.loop_start != 0) {
        const std::uint64_t intro = h.total_samples >= h.loop_samples ? h.total_samples - h.loop_samples : 0;
        out << "  loop      from " << Minutes(intro) << ", " << Minutes(h.loop_samples) << " long (" << h.loop_samples
            << " samples)\n";
    } else {
        out << "  loop      none\n";
    }
    out << "  data      from " << Hex(h.data_start) << ", " << info.commands << " commands\n";
    if (info.pcm_bytes != 0 || info.dac_bytes != 0) {
        out << "  pcm       " << info.pcm_bytes << " bytes of YM2612 samples, " << info.dac_seeks
            << (info.dac_seeks == 1 ? " start" : " starts") << " on the DAC, " << info.dac_bytes << " DAC writes\n";
    }
    if (info.has_gd3) {
        bool any = false;
        for (int f = 0; f < VGM::kGd3FieldCount; ++f) {
            const std::string& text = info.gd3.text[f];
            if (text.empty()) continue;
            const std::string label = VGM::Gd3FieldName(static_cast<VGM::Gd3Field>(f));
            out << (any ? "            " : "  GD3       ") << label << ": ";
            const std::size_t firstWidth = kReportWidth - kGd3Indent - label.size() - 2;
            const std::vector<std::string> lines = ShownLines(text, f == VGM::kGd3Notes, firstWidth);
            for (std::size_t i = 0; i < lines.size(); ++i)
                out << (i ? std::string(kGd3TextIndent, ' ') : "") << lines[i] << "\n";
            any = true;
        }
        if (!any) out << "  GD3       (empty)\n";
    }
    out << "  channel    key-ons  lowest  highest  active\n";
    for (unsigned ch = 0; ch < VGM::kChipChannels; ++ch) {
        const ChannelSummary& s = info.channels[ch];
        out << "  " << std::left << std::setw(9) << ChipChannelName(ch) << std::right << std::setw(9) << s.key_ons
            << "  " << std::left << std::setw(6) << NoteName(s.lowest) << "  " << std::setw(7) << NoteName(s.highest)
            << std::right << "  " << (s.key_ons ? Minutes(s.active_samples) : "-") << "\n";
    }
    for (const std::string& r : info.remarks) out << "  note: " << r << "\n";
    for (const std::string& p : info.problems) out << "  problem: " << p << "\n";
    if (info.problems.empty())
        out << "  valid\n";
    else
        out << "  " << info.problems.size() << (info.problems.size() == 1 ? " problem\n" : " problems\n");
}

void WriteInfoJson(std::ostream& out, const std::vector<std::string>& names, const std::vector<VgmInspection>& infos) {
    out << "[\n";
    for (std::size_t i = 0; i < infos.size(); ++i) {
        WriteJsonObject(out, names[i], infos[i]);
        out << (i + 1 < infos.size() ? ",\n" : "\n");
    }
    out << "]\n";
}

}  // namespace fmtool
