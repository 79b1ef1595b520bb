#include "smf/smf_file.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>

namespace MIDI {

namespace {

// The reader counts a file's bytes in 32 bits: a file larger than this
// cannot be read as a song.
constexpr std::uint64_t kMaxSmfBytes = std::numeric_limits<std::uint32_t>::max();

// The bytes that tell a MIDI file from anything else.
constexpr std::size_t kStartBytes = 4;

// A file whose size is known: its first bytes, then the rest with one call.
SmfStatus ReadSized(std::ifstream& in, std::vector<std::uint8_t>& data) {
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0 || static_cast<std::uint64_t>(size) > kMaxSmfBytes || !in) return SmfStatus::ReadError;
    const auto whole = static_cast<std::size_t>(size);
    data.resize(std::min(whole, kStartBytes));
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (in.bad()) return SmfStatus::ReadError;
    std::size_t got = static_cast<std::size_t>(in.gcount());
    if (CheckSmfStart(data.data(), got) != SmfStatus::Ok) return SmfStatus::HeaderIllegal;
    if (got == data.size() && whole > got) {
        data.resize(whole);
        in.read(reinterpret_cast<char*>(data.data() + got), static_cast<std::streamsize>(whole - got));
        if (in.bad()) return SmfStatus::ReadError;
        got += static_cast<std::size_t>(in.gcount());
    }
    // A file that shrank while it was read is taken as far as it went.
    data.resize(got);
    return SmfStatus::Ok;
}

// A pipe or a device, whose size cannot be taken: read to its end.
SmfStatus ReadToEnd(std::ifstream& in, std::vector<std::uint8_t>& data) {
    char block[1 << 16];
    data.clear();
    bool started = false;
    while (in.read(block, sizeof block) || in.gcount() > 0) {
        const auto n = static_cast<std::size_t>(in.gcount());
        if (n > kMaxSmfBytes - data.size()) return SmfStatus::ReadError;
        data.insert(data.end(), block, block + n);
        if (!started && data.size() >= kStartBytes) {
            if (CheckSmfStart(data.data(), data.size()) != SmfStatus::Ok) return SmfStatus::HeaderIllegal;
            started = true;
        }
    }
    return in.bad() ? SmfStatus::ReadError : SmfStatus::Ok;
}

}  // namespace

SmfStatus ReadSmfFile(const char* path, std::vector<std::uint8_t>& data) {
    std::ifstream in(path, std::ios::in | std::ios::binary);
    if (!in) return SmfStatus::OpenError;
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    // A directory opens like a file here but has no bytes to read.
    if (std::filesystem::is_directory(status)) return SmfStatus::ReadError;
    if (!ec && !std::filesystem::is_regular_file(status)) return ReadToEnd(in, data);
    return ReadSized(in, data);
}

}  // namespace MIDI
