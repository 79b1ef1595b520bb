// fmroll: converts a Standard MIDI File and an OPM instrument bank into a VGM
// log for a YM2612 + SN76489 board, saved as "test.vgm" and "test.vgz".
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <vector>

#include "common/run_guard.h"
#include "instruments/fminst.h"
#include "sequencer/render_song.h"
#include "smf/smf_file.h"
#include "vgm/vgmout.h"

// The instrument bank, built with its default voices before main runs.
FMInst fminst;

namespace {

int Convert(int argc, char** argv) {
    if (argc <= 2) {
        std::puts("usage: fmroll.exe hoge.opm hoge.mid");
        return 1;
    }

    const BankLoad bank = LoadBankFile(fminst, argv[1]);
    for (OpmLine line : bank.skipped) std::cerr << OpmSyntaxMessage(line) << '\n';
    if (!bank.Ok()) {
        std::cerr << bank.Message() << std::endl;
        return -1;
    }

    std::vector<std::uint8_t> file;
    MIDI::SmfStatus status = MIDI::ReadSmfFile(argv[2], file);
    if (MIDI::IsFileError(status)) {
        std::cerr << MIDI::SmfMessage(status) << std::endl;
        return -1;
    }
    // A file that is no MIDI file at all is refused by the reading already,
    // after the same progress line as any other the reader refuses.
    std::cout << MIDI::kConvertingMessage << std::endl;
    std::unique_ptr<MIDI::DMIDI> song;
    if (status == MIDI::SmfStatus::Ok) song = MIDI::ReadSong(file.data(), file.size(), {}, &status);
    if (!song) {
        std::cerr << MIDI::SmfMessage(status) << std::endl;
        return 1;
    }
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
