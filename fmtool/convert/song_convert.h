// One song from MIDI file to finished VGM file: read as fmroll reads it,
// arranged and rendered straight to the chips (fmtool/render), or, when asked,
// arranged into fmroll's layout or taken as it is and played through the same
// core as fmroll; then tagged with GD3 and saved without ever losing an
// earlier file.
//
// Several songs may be converted at once on separate threads: reading,
// arranging, rendering, compressing and saving all run side by side.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fmtool/arrange/arranger.h"

class FMInst;

namespace fmtool {

// Exit statuses of fmtool arrange and convert.
constexpr int kConverted = 0;
constexpr int kNotWritten = 1;  // the output cannot be written
constexpr int kUnreadable = 2;  // an input cannot be read, or is refused

struct ConvertJob {
    std::string song;     // the MIDI file
    std::string output;   // the VGM file to write
    bool gzip = true;     // a .vgz (one gzip member) rather than a plain .vgm
    bool arrange = true;
    bool fmroll_layout = false;  // arranged, but played as fmroll plays the arranged file
};

struct ConvertResult {
    int status = kConverted;
    std::string message;       // why it failed: the reader's own line, or ours
    bool arranged = false;
    ArrangeSummary summary;    // when arranged
};

// "dir/song.mid" -> "dir/song.vgz": the song's name with its last extension
// replaced (or added when it has none).
std::string OutputFor(const std::string& song);
// Whether an output name asks for a plain VGM file: it ends in ".vgm" (any case).
bool IsPlainVgm(const std::string& output);

// Converts one song with `bank`, which is only read (never loaded) meanwhile. Thread-safe.
ConvertResult ConvertSong(const ConvertJob& job, FMInst& bank);

// The song's VGM file image with its GD3 tag, as ConvertSong saves it before
// compression; empty (with `result` telling why) when the song is refused.
std::vector<std::uint8_t> BuildVgm(const ConvertJob& job, FMInst& bank, ConvertResult& result);

}  // namespace fmtool
