// Reading any VGM or VGZ file of versions 1.00 to 1.71, whoever wrote it: its
// header as far as the file's version and data offset say it reaches, the
// sound data as one pass over its commands, and its GD3 tag. Every read is
// bounds-checked; the commands are streamed, so memory does not grow with the
// file. Judging what is read (sample totals, loop, offsets) is the caller's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vgm/gd3.h"
#include "vgm/vgm_stream.h"

namespace VGM {

// A chip the header gives a clock.
struct VgmChip {
    std::string name;        // "YM2612", "SN76489" ...; "T6W28", "YM2610B" for the variants
    std::size_t offset = 0;  // of its clock field
    std::uint32_t clock = 0; // Hz
    bool dual = false;       // two of the chip (bit 30 of the field)
};

// The header's fields. A field the file does not have (too old a version, or
// past the data start) reads as 0, or as the format's default where it has
// one. Offsets are also given as absolute positions in the file.
struct VgmHeader {
    static constexpr std::size_t kMaxSize = 0x100;

    std::uint8_t bytes[kMaxSize] = {};
    std::size_t size = 0;  // header bytes present: up to the data start, at most kMaxSize

    std::uint32_t version = 0;  // BCD: 0x171 is 1.71
    std::uint32_t eof_offset = 0;
    std::uint32_t gd3_offset = 0;
    std::uint32_t total_samples = 0;
    std::uint32_t loop_offset = 0;
    std::uint32_t loop_samples = 0;
    std::uint32_t rate = 0;           // since 1.01
    std::uint16_t sn_feedback = 0x0009;  // since 1.10; the default before
    std::uint8_t sn_shift_width = 16;    // since 1.10
    std::uint8_t sn_flags = 0;           // since 1.51
    std::uint32_t data_offset = 0;    // the field as written (since 1.50)
    std::uint8_t volume_modifier = 0; // since 1.60
    std::uint8_t loop_base = 0;       // since 1.60
    std::uint8_t loop_modifier = 0;   // since 1.51

    std::uint64_t data_start = 0;  // where the commands begin
    std::uint64_t loop_start = 0;  // position of the loop point; 0 = no loop
    std::uint64_t gd3_start = 0;   // position of the tag; 0 = no tag
    // The data offset is 0 in a file of version 1.50 or later: read as 0x40,
    // as every player does.
    bool data_offset_zero = false;
    // The data offset points inside the 64-byte header: read from 0x40.
    bool data_offset_in_header = false;

    std::vector<VgmChip> chips;  // those with a clock, in header order

    // The field at `offset` if the header holds all of its bytes, else 0.
    std::uint32_t Field32(std::size_t offset) const;
    // "1.50"
    std::string VersionText() const;
};

// One command of the sound data.
struct VgmCommand {
    static constexpr std::size_t kMaxLength = 12;

    std::uint64_t offset = 0;      // position in the file
    std::uint64_t sample = 0;      // samples waited before it
    std::uint32_t wait = 0;        // samples it waits itself
    std::uint32_t block_size = 0;  // the payload of a data block (0x67), passed over, not held
    std::uint8_t length = 0;       // bytes in `bytes`: the command byte and its operands
    std::uint8_t bytes[kMaxLength] = {};

    std::uint8_t op() const { return bytes[0]; }
};

// Bytes of a command, the command byte included, from the command byte alone;
// a data block counts only its 7-byte head. 0 for a command the format does
// not define.
std::size_t VgmCommandLength(std::uint8_t op);

class VgmReader {
public:
    explicit VgmReader(std::uint64_t max_bytes = kMaxVgmBytes) : stream_(max_bytes) {}

    // Opens the file and reads its header. Returns false when it cannot be
    // read or is no VGM file; error() says why in a few words ("is not a VGM
    // file", "cannot be opened", "is not a valid gzip stream" ...).
    bool Open(const std::string& path);
    bool OpenMemory(const std::uint8_t* data, std::size_t size);

    const VgmHeader& header() const { return header_; }
    bool gzip() const { return stream_.gzip(); }
    const std::string& error() const;

    // Why the commands stopped.
    enum class Stop {
        kNone,            // not yet
        kEndCommand,      // at 0x66
        kUnknownCommand,  // at a command byte the format does not define
        kCutShort,        // the file ends inside a command
        kEndOfData,       // the file ends, or the GD3 tag begins, before any 0x66
        kUnreadable,      // the file could not be read on (see error())
    };

    // The next command; false when the sound data is over, and stop() says
    // how. The end command itself is not returned.
    bool Next(VgmCommand& command);
    Stop stop() const { return stop_; }
    std::uint64_t stop_offset() const { return stop_offset_; }  // where the commands stopped
    std::uint8_t stop_byte() const { return stop_byte_; }       // the unknown command byte
    std::uint64_t samples() const { return samples_; }          // sum of the waits so far

    // Where the header's loop offset lands among the commands read so far:
    // at a command (found, at the sample that command starts), at the end
    // command (found, a loop of nothing), or inside a command (inside).
    struct LoopPoint {
        bool found = false;
        bool inside = false;
        std::uint64_t sample = 0;
    };
    const LoopPoint& loop() const { return loop_; }

    // The GD3 tag where the header points (going back in the file if it
    // lies before the place reached). Tags longer than kMaxGd3Bytes are not
    // read. Call after the commands.
    static constexpr std::uint32_t kMaxGd3Bytes = 1u << 20;
    Gd3Reading ReadGd3(bool& too_long);
    // The size of the whole (inflated) file. Call last.
    std::uint64_t FileSize() { return stream_.SizeToEnd(); }

private:
    bool ReadHeader();

    VgmStream stream_;
    VgmHeader header_;
    std::string error_;
    std::uint64_t gd3_after_data_ = 0;  // the GD3 tag's position, when it follows the data start
    std::uint64_t samples_ = 0;
    Stop stop_ = Stop::kNone;
    std::uint64_t stop_offset_ = 0;
    std::uint8_t stop_byte_ = 0;
    LoopPoint loop_;
};

}  // namespace VGM
