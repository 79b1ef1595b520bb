#include "instruments/fminst.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "instruments/opm_loader.h"

namespace {

// The file is read as fgets would read it into a buffer of this size: pieces
// of at most kReadChunk - 1 characters, each ending at a line end at the latest.
constexpr std::size_t kReadChunk = 512;

// A bank of all 128 voices is a few tens of kilobytes. A file that holds more
// than this many bytes (a device such as /dev/zero or /dev/urandom named as
// the bank, which never ends) counts as unreadable instead of hanging the
// program or eating all memory.
constexpr std::size_t kMaxBankBytes = std::size_t{64} << 20;

// Appends the file's bytes to `raw`; false on a read error or past the bound.
bool ReadBounded(std::FILE* file, std::string& raw) {
    char block[1 << 16];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0) {
        if (n > kMaxBankBytes - raw.size()) return false;
        raw.append(block, n);
    }
    return std::ferror(file) == 0;
}

// The text as the line reader sees it: a NUL byte drops the rest of the
// piece it stands in (the rest of its line, or of its 511-character piece).
std::string CutAtNuls(const std::string& raw) {
    std::string text;
    text.reserve(raw.size());
    const char* pos = raw.data();
    const char* const last = pos + raw.size();
    while (pos < last) {
        const char* end = pos + std::min<std::size_t>(last - pos, kReadChunk - 1);
        if (const void* newline = std::memchr(pos, '\n', end - pos)) end = static_cast<const char*>(newline) + 1;
        const void* nul = std::memchr(pos, '\0', end - pos);
        text.append(pos, nul ? static_cast<const char*>(nul) : end);
        pos = end;
    }
    return text;
}

}  // namespace

int FMInst::Load(const char* path, std::vector<OpmLine>* skipped) {
    if (path == nullptr) return kLoadOpenError;
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) return kLoadOpenError;
    // A read error (a directory opens but cannot be read, for one) would leave
    // a cut-off text that might still parse; it counts as unreadable instead.
    std::string raw;
    const bool read = ReadBounded(file, raw);
    std::fclose(file);
    if (!read) return kLoadOpenError;

    const std::string text = CutAtNuls(raw);
    return LoadText(text.data(), text.size(), skipped);
}

int FMInst::LoadText(const char* text, std::size_t length, std::vector<OpmLine>* skipped) {
    if (text == nullptr) length = 0;
    const char* const end = text == nullptr ? text : std::find(text, text + length, '\0');
    return ParseOpmText(*this, text, end, skipped);
}

BankLoad LoadBankFile(FMInst& bank, const char* path) {
    BankLoad load;
    load.result = bank.Load(path, &load.skipped);
    return load;
}

std::string BankLoad::Message() const {
    if (Ok()) return {};
    if (built_in) return "the built-in bank does not load";
    return "OPM file read error (" + std::to_string(result) + "), abort...";
}

std::string OpmSyntaxMessage(OpmLine line) {
    const char* kind = "Program";
    switch (line) {
        case OpmLine::Program: kind = "Program"; break;
        case OpmLine::Lfo: kind = "Lfo"; break;
        case OpmLine::Channel: kind = "Channel"; break;
        case OpmLine::Operator: kind = "Operator"; break;
    }
    return std::string(".OPM Load Syntax Error : ") + kind;
}
