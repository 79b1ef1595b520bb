// fmroll: converts a Standard MIDI File and an OPM instrument bank into a VGM
// log for a YM2612 + SN76489 board, saved as "test.vgm" and "test.vgz".
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <vector>

#include "instruments/fminst.h"
#include "midi/render_song.h"
#include "midi/smf_file.h"
#include "vgm/vgmout.h"

// The instrument bank, built with its default voices before main runs.
FMInst fminst;

int main(int argc, char** argv) {
    if (argc <= 2) {
        std::puts("usage: fmroll.exe hoge.opm hoge.mid");
        return 1;
    }

    if (LoadBankFile(fminst, argv[1]) != 0) return -1;

    std::vector<std::uint8_t> file;
    if (MIDI::ReadSmfFile(argv[2], file) != 0) return -1;

    std::unique_ptr<MIDI::DMIDI> song = MIDI::ReadSong(file.data(), file.size());
    if (!song) return 1;

    VGMOUT vgm;
    MIDI::RenderSong(song.get(), &fminst, &vgm);

    if (!vgm.Save("test")) {
        std::cerr << "VGM file write error, abort..." << std::endl;
        return -1;
    }
    return 0;
}
