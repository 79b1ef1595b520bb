// OPM text, the bank format the converter reads. Written in the loader's
// layout with comments on their own lines before each program line (a
// comment after a program's name would swallow the line end). What the text
// has no field for goes in comments: the voice's notes, and its SSG-EG as
// "// ssg-eg: M1 a M2 b C1 c C2 d", which ReadOpmExtras reads back so that a
// voice keeps it on its way through an OPM bank.
#include "instruments/formats/formats.h"

#include <cstdlib>
#include <sstream>

#include "instruments/formats/voice_registers.h"

namespace voiceformat {

namespace {

constexpr const char* kSsgEgComment = "// ssg-eg:";
constexpr int kLastProgram = 127;
// The operator lines in the text's order and the slot each fills.
constexpr unsigned kLineSlots[4] = {0, 2, 1, 3};
constexpr const char* kLineNames[4] = {"M1", "C1", "M2", "C2"};
constexpr std::int32_t kPanStep = 64;      // PAN is stored shifted right by 6
constexpr std::int32_t kAmsEnStep = 128;   // AMS-EN is stored shifted right by 7

// Comment text on one line: control characters become '?'.
std::string OneLine(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return out;
}

// A name the program line can hold: on one line, with no "//" or "/*" that
// would start a comment inside it.
std::string SafeName(const std::string& name) {
    std::string out = OneLine(name);
    for (std::size_t i = 0; i + 1 < out.size(); ++i) {
        if (out[i] == '/' && (out[i + 1] == '/' || out[i + 1] == '*')) out[i] = '-';
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

void WriteOperator(std::ostringstream& out, const char* name, const FmOperator& o) {
    out << name << ": " << o.ar << ' ' << o.d1r << ' ' << o.d2r << ' ' << o.rr << ' ' << o.d1l << ' ' << o.tl << ' '
        << o.ks << ' ' << o.mul << ' ' << o.dt1 << ' ' << o.dt2 << ' ' << o.ams_en * kAmsEnStep << '\n';
}

std::string Trim(const std::string& s) {
    const std::size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

std::string WriteOpmText(const VoiceBank& bank, const std::vector<std::string>& header) {
    std::ostringstream out;
    for (const std::string& line : header) out << "// " << OneLine(line) << '\n';
    out << "//\n"
           "// Line formats (OPM text):\n"
           "//   @:n name\n"
           "//   LFO: LFRQ AMD PMD WF NFRQ\n"
           "//   CH: PAN FL CON AMS PMS SLOT NE   (FL = feedback of M1, CON = algorithm)\n"
           "//   M1: / C1: / M2: / C2:  AR D1R D2R RR D1L TL KS MUL DT1 DT2 AMS-EN\n";
    for (const BankVoice& bv : bank.voices) {
        const FmVoice& v = bv.voice;
        out << '\n';
        for (const std::string& note : bv.extras.notes) out << "// " << OneLine(note) << '\n';
        for (const std::string& note : bv.extras.lost) out << "// " << OneLine(note) << '\n';
        if (bv.extras.HasSsgEg()) {
            out << kSsgEgComment;
            for (unsigned r = 0; r < 4; ++r) out << ' ' << kOperatorNames[r] << ' ' << unsigned(bv.extras.ssg_eg[r]);
            out << " (the OPM text has no SSG-EG; the converter plays without it)\n";
        }
        const std::string name = SafeName(bv.extras.name);
        out << "@:" << bv.program << (name.empty() ? "" : " ") << name << '\n';
        out << "LFO: " << v.lfrq << ' ' << v.amd << ' ' << v.pmd << ' ' << v.wf << ' ' << v.nfrq << '\n';
        out << "CH: " << v.pan * kPanStep << ' ' << v.fl << ' ' << v.con << ' ' << v.ams << ' ' << v.pms << ' '
            << v.slot_mask << ' ' << v.ne << '\n';
        for (unsigned i = 0; i < 4; ++i) WriteOperator(out, kLineNames[i], v.op[kLineSlots[i]]);
    }
    return out.str();
}

void ReadOpmExtras(const std::string& text, VoiceBank& bank) {
    std::istringstream in(text);
    std::string line;
    std::uint8_t ssg[4] = {0, 0, 0, 0};
    bool have_ssg = false;
    while (std::getline(in, line)) {
        if (line.compare(0, std::char_traits<char>::length(kSsgEgComment), kSsgEgComment) == 0) {
            std::istringstream fields(line.substr(std::char_traits<char>::length(kSsgEgComment)));
            std::string op;
            unsigned value = 0;
            have_ssg = true;
            for (unsigned r = 0; r < 4; ++r) {
                if (!(fields >> op >> value) || op != kOperatorNames[r] || value > 15) have_ssg = false;
                if (have_ssg) ssg[r] = static_cast<std::uint8_t>(value >= 8 ? value : 0);
            }
            continue;
        }
        if (line.compare(0, 2, "@:") != 0) continue;
        char* end = nullptr;
        const long number = std::strtol(line.c_str() + 2, &end, 10);
        if (end == line.c_str() + 2) continue;
        const int program = number < 0 ? 0 : number > kLastProgram ? kLastProgram : static_cast<int>(number);
        for (BankVoice& v : bank.voices) {
            if (v.program != program) continue;
            v.extras.name = Trim(end);
            if (have_ssg) std::copy(ssg, ssg + 4, v.extras.ssg_eg);
        }
        have_ssg = false;
    }
}

}  // namespace voiceformat
