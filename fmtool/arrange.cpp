// fmtool arrange SONG.mid -o OUT.mid [--bank BANK.opm]: a General MIDI song
// rewritten in fmroll's layout, so that fmroll plays it as it was meant to
// sound. The song is read as fmroll reads it, with its messages; the summary
// of what was kept and what was lost goes to standard error.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "fmtool/arrange/arranger.h"
#include "fmtool/arrange/song_tag.h"
#include "fmtool/commands.h"
#include "fmtool/convert/song_convert.h"
#include "instruments/fminst.h"
#include "fmtool/voices/bank_input.h"
#include "instruments/gm_bank.h"
#include "midi/smf_file.h"
#include "midi/smf_score.h"
#include "vgm/vgm_save.h"

namespace fmtool {

namespace {

struct ArrangeOptions {
    std::string song;
    std::string output;
    std::string bank;
};

int RunArrange(const ArrangeOptions& options) {
    auto bank = std::make_unique<FMInst>();
    if (!options.bank.empty()) {
        if (!LoadCommandBank(*bank, options.bank)) return kUnreadable;
    } else if (LoadGmBank(*bank) != FMInst::kLoadOk) {
        std::cerr << "fmtool arrange: the built-in bank does not load" << std::endl;
        return kUnreadable;
    }

    std::vector<std::uint8_t> data;
    if (MIDI::ReadSmfFile(options.song.c_str(), data) != 0) return kUnreadable;
    MIDI::Score score;
    if (!MIDI::ReadScore(data.data(), data.size(), score)) return kUnreadable;

    Arrangement arranged;
    if (!Arrange(score, *bank, FileStem(options.song), arranged)) {
        std::cerr << "fmtool arrange: " << options.song << " is too long for a VGM file" << std::endl;
        return kUnreadable;
    }
    if (VGM::SaveImage(arranged.smf, {{options.output, false}}) != VGM::SaveResult::Ok) {
        std::cerr << "fmtool arrange: cannot write " << options.output << std::endl;
        return kNotWritten;
    }
    std::cerr << FormatSummary(arranged.summary) << std::flush;
    return kConverted;
}

}  // namespace

void AddArrangeCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<ArrangeOptions>();
    CLI::App* cmd = app.add_subcommand(
        "arrange",
        "Rewrite a General MIDI song in fmroll's layout (FM channels 1-6, squares 7-9, noise 10, one note each) so "
        "that `fmroll BANK.opm OUT.mid` sounds like the original; a summary of what was kept goes to standard "
        "error. Exit status 0: written; 1: the output cannot be written; 2: an input cannot be read");
    cmd->add_option("SONG.mid", options->song, "The MIDI file to arrange")->required();
    cmd->add_option("-o,--output", options->output, "The arranged MIDI file to write")->required();
    cmd->add_option("--bank", options->bank, "The FM bank the song will be played with (default: the built-in bank)");
    cmd->callback([options, &status] { status = RunArrange(*options); });
}

}  // namespace fmtool
