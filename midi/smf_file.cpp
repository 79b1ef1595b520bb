#include "midi/smf_file.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>

namespace MIDI {

namespace {

// The reader counts a file's bytes in 32 bits: a file larger than this
// cannot be read as a song.
constexpr std::uint64_t kMaxSmfBytes = std::numeric_limits<std::uint32_t>::max();

int ReadError() {
    std::cerr << "SMF file read error, abort..." << std::endl;
    return -1;
}

// A file whose size is known: read with one call.
int ReadSized(std::ifstream& in, std::vector<std::uint8_t>& data) {
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0 || static_cast<std::uint64_t>(size) > kMaxSmfBytes || !in) return ReadError();
    data.resize(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(data.data()), size);
    if (in.bad()) return ReadError();
    // A file that shrank while it was read is taken as far as it went.
    data.resize(static_cast<std::size_t>(in.gcount()));
    return 0;
}

// A pipe or a device, whose size cannot be taken: read to its end.
int ReadToEnd(std::ifstream& in, std::vector<std::uint8_t>& data) {
    char block[1 << 16];
    data.clear();
    while (in.read(block, sizeof block) || in.gcount() > 0) {
        const auto n = static_cast<std::size_t>(in.gcount());
        if (n > kMaxSmfBytes - data.size()) return ReadError();
        data.insert(data.end(), block, block + n);
    }
    return in.bad() ? ReadError() : 0;
}

}  // namespace

int ReadSmfFile(const char* path, std::vector<std::uint8_t>& data) {
    std::ifstream in(path, std::ios::in | std::ios::binary);
    if (!in) {
        std::cerr << "File open error, abort..." << std::endl;
        return -1;
    }
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    // A directory opens like a file here but has no bytes to read.
    if (std::filesystem::is_directory(status)) return ReadError();
    if (!ec && !std::filesystem::is_regular_file(status)) return ReadToEnd(in, data);
    return ReadSized(in, data);
}

}  // namespace MIDI
