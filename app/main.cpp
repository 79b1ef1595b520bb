// fmroll: converts a Standard MIDI File and an OPM instrument bank into a VGM
// log for a YM2612 + SN76489 board, saved as "test.vgm" and "test.vgz".
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <vector>

#include "app/run_guard.h"
#include "instruments/fminst.h"
#include "midi/render_song.h"
#include "midi/smf_file.h"
#include "vgm/vgmout.h"

// The instrument bank, built with its default voices before main runs.
FMInst fminst;

namespace {

int Convert(int argc, char** argv) {
    if (argc <= 2) {
        std::puts("usage: fmroll.exe hoge.opm hoge.mid");
        return 1;
    }

    if (LoadBankFile(fminst, argv[1]) != 0) return -1;

    std::vector<std::uint8_t> file;
    if (MIDI::ReadSmfFile(argv[2], file) != 0) return -1;

    std::unique_ptr<MIDI::DMIDI> song = MIDI::ReadSong(file.data(), file.size());
    if (!song) return 1;
    std::vector<std::uint8_t>().swap(file);

    VGMOUT vgm;
    MIDI::RenderSong(song.get(), &fminst, &vgm);
    song.reset();

    const VGM::SaveResult saved = vgm.Save("test");
    if (saved != VGM::SaveResult::Ok) {
        std::cerr << VGM::SaveMessage(saved) << std::endl;
        return -1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return RunGuarded([&] { return Convert(argc, argv); });
}
