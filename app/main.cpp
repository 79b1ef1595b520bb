// fmroll: converts a Standard MIDI File and an OPM instrument bank into a VGM
// log for a YM2612 + SN76489 board, saved as "test.vgm" and "test.vgz".
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <vector>

#include "instruments/fminst.h"
#include "midi/midic.h"
#include "midi/render_song.h"
#include "vgm/vgmout.h"

// The instrument bank, built with its default voices before main runs.
FMInst fminst;

namespace {

constexpr unsigned kResolution = 48;     // ticks per quarter note of the converted song
constexpr unsigned kFramesPerSecond = 60;

int ReadError() {
    std::cerr << "SMF file read error, abort..." << std::endl;
    return -1;
}

// Reads the whole file into `data`. Returns 0, or -1 with the message printed.
int ReadMidiFile(const char* path, std::vector<std::uint8_t>& data) {
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

}  // namespace

int main(int argc, char** argv) {
    if (argc <= 2) {
        std::puts("usage: fmroll.exe hoge.opm hoge.mid");
        return 1;
    }

    const int loaded = fminst.Load(argv[1]);
    if (loaded != 0) {
        std::cerr << "OPM file read error (" << loaded << "), abort..." << std::endl;
        return -1;
    }

    std::vector<std::uint8_t> file;
    if (ReadMidiFile(argv[2], file) != 0) return -1;

    MIDI::MIDIC reader;
    std::unique_ptr<MIDI::DMIDI> song = reader.convert_smf(file.data(), file.size(), kResolution);
    if (!song) return 1;
    if (!reader.convert_clock_to_frame(song.get(), kFramesPerSecond)) return 1;

    VGMOUT vgm;
    MIDI::RenderSong(song.get(), &fminst, &vgm);

    if (!vgm.Save("test")) {
        std::cerr << "VGM file write error, abort..." << std::endl;
        return -1;
    }
    return 0;
}
