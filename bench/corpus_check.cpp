// corpus_check BANK.opm SONG.mid...: for every song, what fmtool check counts
// (notes, notes heard) and whether its counts agree with the converter's real
// output: the song is rendered as fmroll renders it, the stream decoded into
// chip notes (vgm/chip_notes.h), and the audible chip notes of a frame or
// more compared with check's stretches of sound, chip channel by chip
// channel. One tab-separated line per song, then the totals. Exit status 1
// when any song disagrees.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <vector>

#include "fmtool/check/loss_report.h"
#include "instruments/fminst.h"
#include "sequencer/render_song.h"
#include "smf/smf_score.h"
#include "vgm/chip_notes.h"
#include "vgm/vgm_format.h"
#include "vgm/vgmout.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: corpus_check BANK.opm SONG.mid..." << std::endl;
        return 2;
    }
    FMInst bank;
    if (!LoadBankFile(bank, argv[1]).Ok()) return 2;

    std::uint64_t notes = 0, heard = 0, silent = 0, songs = 0, disagree = 0;
    std::cout << "song\tnotes\theard\tpercent\tagrees\n";
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        MIDI::Score score;
        std::unique_ptr<MIDI::DMIDI> song;
        if (!MIDI::ReadScore(data.data(), data.size(), score, &song)) {
            std::cout << argv[i] << "\tunreadable\n";
            continue;
        }
        const fmtool::LossReport report = fmtool::BuildLossReport(score, *song, bank);

        VGMOUT vgm;
        MIDI::RenderSong(song.get(), &bank, &vgm);
        const VGM::ChipNotes decoded = VGM::ReadChipNotes(vgm.Stream().data(), vgm.Stream().size());
        std::uint32_t sounds[VGM::kChipChannels] = {};
        for (const VGM::ChipNote& n : decoded.notes)
            sounds[n.channel] += n.audible && n.Samples() >= VGM::kSamplesPerFrame;
        bool agrees = true;
        for (unsigned ch = 0; ch < VGM::kChipChannels; ++ch) agrees = agrees && sounds[ch] == report.chip_sounds[ch];

        ++songs;
        notes += report.notes;
        heard += report.heard;
        silent += report.heard == 0;
        disagree += !agrees;
        char percent[32];
        std::snprintf(percent, sizeof percent, "%.1f", report.HeardPercent());
        std::cout << argv[i] << '\t' << report.notes << '\t' << report.heard << '\t' << percent << '\t'
                  << (agrees ? "yes" : "NO") << '\n';
    }
    char share[32];
    std::snprintf(share, sizeof share, "%.1f", notes ? 100.0 * heard / notes : 100.0);
    std::cout << "total: " << songs << " songs, " << heard << " of " << notes << " notes heard (" << share
              << " %), " << silent << " silent outputs, " << disagree << " songs disagree with the decoded output\n";
    return disagree == 0 ? 0 : 1;
}
