// Test helper: reads VGM files and decodes command streams back into commands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// One decoded command. `bytes` holds the command byte and its operands.
struct VgmCommand {
    std::vector<std::uint8_t> bytes;
    std::uint32_t wait = 0;  // samples waited by this command (0 for writes)
    std::string Hex() const;  // "52 A4 2A"
};

// Decodes a command stream (without header). Stops after 0x66 or at an unknown
// command, which is returned as a one-byte command so that tests notice it.
std::vector<VgmCommand> DecodeStream(const std::vector<std::uint8_t>& stream);

// Upper-case hexadecimal bytes separated by single blanks: "52 A4 2A 62".
std::string Hex(const std::vector<std::uint8_t>& bytes);
std::string Hex(const std::vector<VgmCommand>& commands);

// A parsed VGM file: the header fields this project writes and the stream.
struct VgmFile {
    bool ok = false;
    std::vector<std::uint8_t> bytes;  // the whole file
    std::uint32_t Field32(std::size_t offset) const;
    std::vector<std::uint8_t> Stream() const;  // bytes behind the 64-byte header
};

// Reads a file whole; ok is false when it cannot be read.
VgmFile ReadVgmFile(const std::string& path);
// Reads and inflates a gzip file whole; ok is false on any error.
VgmFile ReadVgzFile(const std::string& path);

}  // namespace testsupport
