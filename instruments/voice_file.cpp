#include "instruments/voice_file.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <memory>

#include "instruments/formats/formats.h"

namespace {

struct FormatInfo {
    VoiceFormat format;
    const char* extension;
    const char* name;
};
constexpr FormatInfo kFormats[] = {
    {VoiceFormat::kOpm, ".opm", "OPM text"}, {VoiceFormat::kTfi, ".tfi", "TFI"},   {VoiceFormat::kVgi, ".vgi", "VGI"},
    {VoiceFormat::kY12, ".y12", "Y12"},      {VoiceFormat::kDmp, ".dmp", "DMP"},   {VoiceFormat::kOpni, ".opni", "OPNI"},
    {VoiceFormat::kWopn, ".wopn", "WOPN"},
};

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Stem(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base.resize(dot);
    return base;
}

// The whole file, within kMaxVoiceFileBytes.
bool ReadBounded(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& why) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        why = "cannot be opened";
        return false;
    }
    std::uint8_t block[1 << 16];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, file.get())) > 0) {
        if (n > kMaxVoiceFileBytes - bytes.size()) {
            why = "is larger than 64 MiB: not a voice file";
            return false;
        }
        bytes.insert(bytes.end(), block, block + n);
    }
    if (std::ferror(file.get())) {
        why = "cannot be read";
        return false;
    }
    return true;
}

// The fields the loader may write.
constexpr std::int32_t FmVoice::*kVoiceFields[] = {&FmVoice::pan, &FmVoice::fl,  &FmVoice::con, &FmVoice::slot_mask,
                                                   &FmVoice::ne,  &FmVoice::pms, &FmVoice::ams, &FmVoice::lfrq,
                                                   &FmVoice::amd, &FmVoice::pmd, &FmVoice::wf,  &FmVoice::nfrq};
constexpr std::int32_t FmOperator::*kOperatorFields[] = {
    &FmOperator::mul, &FmOperator::tl, &FmOperator::ks,  &FmOperator::ar,  &FmOperator::d1r,   &FmOperator::d2r,
    &FmOperator::d1l, &FmOperator::rr, &FmOperator::dt1, &FmOperator::dt2, &FmOperator::ams_en};

// A value no bank file plausibly gives: what a field holds until the loader
// writes it.
constexpr std::int32_t kUnwritten = INT_MIN + 7;

// Calls f(field of `v`, the same field of `defaults`) for every field.
template <typename F>
void ForEachField(FmVoice& v, const FmVoice& defaults, F f) {
    for (auto field : kVoiceFields) f(v.*field, defaults.*field);
    for (unsigned r = 0; r < 4; ++r) {
        for (auto field : kOperatorFields) f(v.op[r].*field, defaults.op[r].*field);
    }
}

// The programs an OPM text defines: loaded over voices whose every field is
// kUnwritten, a program is defined where the loader wrote a field; its other
// fields then take the bank's defaults, as a plain load would leave them.
bool ReadOpmFile(const std::string& path, const std::vector<std::uint8_t>& bytes, VoiceBank& out,
                 VoiceFileError& error) {
    auto bank = std::make_unique<FMInst>();
    const FmVoice defaults;
    for (FmVoice& v : bank->voice) ForEachField(v, defaults, [](std::int32_t& field, std::int32_t) { field = kUnwritten; });
    const int result = bank->Load(path.c_str());
    if (result == FMInst::kLoadOpenError) {
        error = {path, "cannot be read as a bank"};
        return false;
    }
    if (result != FMInst::kLoadOk) {
        error = {path, "does not parse as OPM text (the converter refuses it)"};
        return false;
    }
    out.voices.clear();
    for (unsigned n = 0; n < FMInst::kMaxInst; ++n) {
        FmVoice& v = bank->voice[n];
        bool written = false;
        ForEachField(v, defaults, [&written](std::int32_t& field, std::int32_t) { written |= field != kUnwritten; });
        if (!written) continue;
        ForEachField(v, defaults, [](std::int32_t& field, std::int32_t fallback) {
            if (field == kUnwritten) field = fallback;
        });
        BankVoice entry;
        entry.program = static_cast<int>(n);
        entry.voice = v;
        out.voices.push_back(std::move(entry));
    }
    voiceformat::ReadOpmExtras(std::string(bytes.begin(), bytes.end()), out);
    return true;
}

}  // namespace

VoiceFormat VoiceFormatOfName(const std::string& path) {
    const std::string name = Lower(path);
    for (const FormatInfo& f : kFormats) {
        const std::size_t n = std::char_traits<char>::length(f.extension);
        if (name.size() > n && name.compare(name.size() - n, n, f.extension) == 0) return f.format;
    }
    return VoiceFormat::kUnknown;
}

const char* VoiceFormatName(VoiceFormat format) {
    for (const FormatInfo& f : kFormats) {
        if (f.format == format) return f.name;
    }
    return "unknown";
}

bool IsBankFormat(VoiceFormat format) { return format == VoiceFormat::kOpm || format == VoiceFormat::kWopn; }

bool ReadVoiceBytes(const std::uint8_t* data, std::size_t size, VoiceFormat format, VoiceBank& out,
                    std::string& why) {
    using namespace voiceformat;
    if (IsWopn(data, size)) format = VoiceFormat::kWopn;
    if (IsOpni(data, size)) format = VoiceFormat::kOpni;
    out = VoiceBank();
    if (format == VoiceFormat::kWopn) return ReadWopn(data, size, out, why);
    BankVoice v;
    bool ok = false;
    switch (format) {
        case VoiceFormat::kTfi: ok = ReadTfi(data, size, v, why); break;
        case VoiceFormat::kVgi: ok = ReadVgi(data, size, v, why); break;
        case VoiceFormat::kY12: ok = ReadY12(data, size, v, why); break;
        case VoiceFormat::kDmp: ok = ReadDmp(data, size, v, why); break;
        case VoiceFormat::kOpni: ok = ReadOpni(data, size, v, why); break;
        default:
            why = "is not a voice file this tool reads (by its name: .opm, .tfi, .vgi, .y12, .dmp, .opni or .wopn)";
            return false;
    }
    if (ok) out.voices.push_back(std::move(v));
    return ok;
}

bool ReadVoiceFile(const std::string& path, VoiceBank& out, VoiceFileError& error, VoiceFormat* read_as) {
    std::vector<std::uint8_t> bytes;
    std::string why;
    if (!ReadBounded(path, bytes, why)) {
        error = {path, why};
        return false;
    }
    VoiceFormat format = VoiceFormatOfName(path);
    if (voiceformat::IsWopn(bytes.data(), bytes.size())) format = VoiceFormat::kWopn;
    if (voiceformat::IsOpni(bytes.data(), bytes.size())) format = VoiceFormat::kOpni;
    if (read_as != nullptr) *read_as = format;
    if (format == VoiceFormat::kOpm) return ReadOpmFile(path, bytes, out, error);
    if (!ReadVoiceBytes(bytes.data(), bytes.size(), format, out, why)) {
        error = {path, why};
        return false;
    }
    for (BankVoice& v : out.voices) {
        if (v.extras.name.empty() && out.voices.size() == 1) v.extras.name = Stem(path);
    }
    return true;
}

std::vector<std::uint8_t> EncodeVoiceFile(VoiceFormat format, const VoiceBank& voices,
                                          const std::vector<std::string>& header, std::vector<std::string>& losses) {
    using namespace voiceformat;
    if (format == VoiceFormat::kOpm) {
        const std::string text = WriteOpmText(voices, header);
        return std::vector<std::uint8_t>(text.begin(), text.end());
    }
    if (format == VoiceFormat::kWopn) return WriteWopn(voices, losses);
    if (voices.voices.empty()) return {};
    const BankVoice& v = voices.voices.front();
    switch (format) {
        case VoiceFormat::kTfi: return WriteTfi(v, losses);
        case VoiceFormat::kVgi: return WriteVgi(v, losses);
        case VoiceFormat::kY12: return WriteY12(v, losses);
        case VoiceFormat::kDmp: return WriteDmp(v, losses);
        case VoiceFormat::kOpni: return WriteOpni(v, losses);
        default: return {};
    }
}

bool LoadVoiceBank(const std::string& path, FMInst& bank, std::string& error, std::vector<std::string>& warnings) {
    if (VoiceFormatOfName(path) == VoiceFormat::kOpm || VoiceFormatOfName(path) == VoiceFormat::kUnknown) {
        // Sniff for the signed formats first; anything else is OPM text, as
        // the converter has always read it, whatever its name.
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
        std::uint8_t magic[11] = {};
        const std::size_t got = file ? std::fread(magic, 1, sizeof magic, file.get()) : 0;
        if (!voiceformat::IsWopn(magic, got) && !voiceformat::IsOpni(magic, got)) {
            const BankLoad load = LoadBankFile(bank, path.c_str());
            for (OpmLine line : load.skipped) warnings.push_back(OpmSyntaxMessage(line));
            if (load.Ok()) return true;
            error = load.Message();
            return false;
        }
    }
    VoiceBank voices;
    VoiceFileError failure;
    if (!ReadVoiceFile(path, voices, failure)) {
        error = failure.Message();
        return false;
    }
    for (const std::string& w : voices.warnings) warnings.push_back(path + ": " + w);
    for (const BankVoice& v : voices.voices) {
        const std::string program = path + ": program " + std::to_string(v.program);
        for (const std::string& line : v.extras.lost) warnings.push_back(program + ": " + line);
        if (v.extras.HasSsgEg()) warnings.push_back(program + " uses SSG-EG, which the converter does not play");
    }
    FillBank(voices, bank);
    return true;
}
