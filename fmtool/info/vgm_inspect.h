// What `fmtool info` finds in a VGM file: its header, its GD3 tag, what each
// chip channel plays, and every way the file departs from the format, found
// in one streamed pass as the VGM community's own checkers find them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "vgm/chip_notes.h"
#include "vgm/gd3.h"
#include "vgm/vgm_file.h"

namespace fmtool {

// What one chip channel plays over the whole file.
struct ChannelSummary {
    std::uint64_t key_ons = 0;         // notes begun (FM key-ons; squares and noise: turned audible)
    int lowest = -1, highest = -1;     // MIDI notes, -1 when none has a pitch
    std::uint64_t active_samples = 0;  // time some note sounds
};

struct VgmInspection {
    // False when the file cannot be read at all; `error` says why ("is not a
    // VGM file", "cannot be opened" ...) and nothing else is filled in.
    bool readable = false;
    std::string error;

    VGM::VgmHeader header;
    bool gzip = false;
    std::uint64_t file_size = 0;      // bytes, after inflating a .vgz
    std::uint64_t wait_samples = 0;   // the sum of every wait read
    std::uint64_t commands = 0;
    bool data_read_through = false;   // the commands ran to an end, not into an unknown or cut one
    bool loop_found = false;          // the loop offset points at a command (or the end)
    std::uint64_t loop_sample = 0;    // waits before the loop point
    std::uint64_t notes_left_out = 0; // notes past kMaxCollectedNotes, not handed out
    std::uint64_t pcm_bytes = 0;      // YM2612 samples in data blocks (the DAC's PCM bank)
    std::uint64_t dac_seeks = 0;      // seeks into the PCM bank: samples the DAC starts
    std::uint64_t dac_bytes = 0;      // bytes the DAC plays from the bank

    bool has_gd3 = false;
    VGM::Gd3Tag gd3;

    std::vector<std::string> problems;  // one line each; none in a valid file
    std::vector<std::string> remarks;   // worth saying but not faults (a data offset of 0 read as 0x40)
    std::array<ChannelSummary, VGM::kChipChannels> channels{};

    bool Valid() const { return readable && problems.empty(); }
};

// Notes handed out for drawing at most: a picture of more helps nobody, and
// a huge file must not fill the memory with them.
constexpr std::size_t kMaxCollectedNotes = 200000;

// Reads the file at `path` (or the bytes in memory) through once. When
// `notes` is given it receives the chip notes in the order they end, the
// first kMaxCollectedNotes of them (`notes_left_out` counts the rest); the
// summary alone takes memory independent of the file's size.
VgmInspection InspectVgmFile(const std::string& path, std::vector<VGM::ChipNote>* notes = nullptr);
VgmInspection InspectVgmMemory(const std::uint8_t* data, std::size_t size,
                               std::vector<VGM::ChipNote>* notes = nullptr);

// Lane names of the chip channels: "FM 1".."FM 6", "Square 1".."Square 3", "Noise".
const char* ChipChannelName(unsigned channel);

// "C4" for MIDI note 60.
std::string NoteName(int note);

}  // namespace fmtool
