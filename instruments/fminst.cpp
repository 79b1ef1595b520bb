#include "instruments/fminst.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "instruments/opm_loader.h"

namespace {

// fgets reads at most this minus one characters per call.
constexpr int kReadChunk = 512;

}  // namespace

int FMInst::Load(const char* path) {
    if (path == nullptr) return kLoadOpenError;
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) return kLoadOpenError;

    // Each chunk counts only up to its first NUL, so a NUL byte drops the rest
    // of the line (or of its 511-character piece) it stands in.
    std::string text;
    char chunk[kReadChunk];
    while (std::fgets(chunk, kReadChunk, file) != nullptr) {
        text.append(chunk, std::strlen(chunk));
    }
    // A read error (a directory opens but cannot be read, for one) would leave
    // a cut-off text that might still parse; report it as unreadable instead.
    const bool read_failed = std::ferror(file) != 0;
    std::fclose(file);
    if (read_failed) return kLoadOpenError;

    return LoadText(text.data(), text.size());
}

int FMInst::LoadText(const char* text, std::size_t length) {
    if (text == nullptr) length = 0;
    const char* const end = text == nullptr ? text : std::find(text, text + length, '\0');
    return ParseOpmText(*this, text, end);
}
