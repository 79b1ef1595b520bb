#include "instruments/fminst.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "instruments/opm_loader.h"

namespace {

// fgets reads at most this minus one characters per call.
constexpr int kReadChunk = 512;

// A bank of all 128 voices is a few tens of kilobytes. These bounds only stop
// a file that never ends (a device such as /dev/zero or /dev/urandom named as
// the bank) from hanging the program or eating all memory: past them the file
// counts as unreadable.
constexpr std::size_t kMaxText = std::size_t{64} << 20;
constexpr long kMaxReads = 1L << 21;

}  // namespace

int FMInst::Load(const char* path) {
    if (path == nullptr) return kLoadOpenError;
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) return kLoadOpenError;

    // Each chunk counts only up to its first NUL, so a NUL byte drops the rest
    // of the line (or of its 511-character piece) it stands in.
    std::string text;
    char chunk[kReadChunk];
    long reads = 0;
    bool too_long = false;
    while (std::fgets(chunk, kReadChunk, file) != nullptr) {
        text.append(chunk, std::strlen(chunk));
        if (++reads > kMaxReads || text.size() > kMaxText) {
            too_long = true;
            break;
        }
    }
    // A read error (a directory opens but cannot be read, for one) would leave
    // a cut-off text that might still parse; report it as unreadable instead.
    const bool read_failed = too_long || std::ferror(file) != 0;
    std::fclose(file);
    if (read_failed) return kLoadOpenError;

    return LoadText(text.data(), text.size());
}

int FMInst::LoadText(const char* text, std::size_t length) {
    if (text == nullptr) length = 0;
    const char* const end = text == nullptr ? text : std::find(text, text + length, '\0');
    return ParseOpmText(*this, text, end);
}

int LoadBankFile(FMInst& bank, const char* path) {
    const int loaded = bank.Load(path);
    if (loaded == FMInst::kLoadOk) return 0;
    std::cerr << "OPM file read error (" << loaded << "), abort..." << std::endl;
    return -1;
}
