#include "midi/smf_file.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>

namespace MIDI {

namespace {

int ReadError() {
    std::cerr << "SMF file read error, abort..." << std::endl;
    return -1;
}

}  // namespace

int ReadSmfFile(const char* path, std::vector<std::uint8_t>& data) {
    std::ifstream in(path, std::ios::in | std::ios::binary);
    if (!in) {
        std::cerr << "File open error, abort..." << std::endl;
        return -1;
    }
    // A directory opens like a file here but has no bytes to read.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return ReadError();
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    // A size that cannot be taken (a pipe) or that exceeds the 32-bit count
    // the reader works with cannot be read as a song.
    if (size < 0 || static_cast<std::uint64_t>(size) > std::numeric_limits<std::uint32_t>::max() || !in) {
        return ReadError();
    }
    data.resize(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(data.data()), size);
    if (in.bad()) return ReadError();
    // A file that shrank while it was read is taken as far as it went.
    data.resize(static_cast<std::size_t>(in.gcount()));
    return 0;
}

}  // namespace MIDI
