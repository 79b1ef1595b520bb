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
#include "fmtool/command_line.h"
#include "fmtool/commands.h"
#include "fmtool/command_inputs.h"
#include "fmtool/convert/song_convert.h"
#include "instruments/fminst.h"
#include "smf/smf_score.h"
#include "vgm/vgm_save.h"

namespace fmtool {

namespace {

struct ArrangeOptions {
    std::string song;
    std::string output;
    std::string bank;
};

int Fail(const std::string& message, int status) {
    std::cerr << "fmtool arrange: " << message << std::endl;
    return status;
}

int RunArrange(const ArrangeOptions& options) {
    std::vector<std::string> inputs = {options.song};
    if (!options.bank.empty()) inputs.push_back(options.bank);
    if (const std::string* input = ReplacedInput(options.output, inputs))
        return Fail("not written: the output " + options.output + " is the input " + *input, kNotWritten);

    auto bank = std::make_unique<FMInst>();
    std::string message;
    if (!LoadBank(options.bank, *bank, message)) return Fail(message, kUnreadable);
    MIDI::Score score;
    if (!ReadSong(options.song, score, nullptr, message)) return Fail(message, kUnreadable);

    Arrangement arranged;
    if (!Arrange(score, *bank, FileStem(options.song), arranged))
        return Fail(options.song + " is too long for a VGM file", kUnreadable);
    int reason = 0;
    if (VGM::SaveImage(arranged.smf, {{options.output, false}}, &reason) != VGM::SaveResult::Ok)
        return Fail(CannotWrite(options.output, reason), kNotWritten);
    std::cerr << FormatSummary(arranged.summary) << std::flush;
    return kConverted;
}

}  // namespace

void AddArrangeCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<ArrangeOptions>();
    CLI::App* cmd = app.add_subcommand("arrange");
    Describe(*cmd, "Rewrite a General MIDI song in fmroll's layout, as a MIDI file",
             "The song is rewritten for fmroll's layout (MIDI channels 1-6 FM, 7-9 squares, 10 noise, one note "
             "each) so that `fmroll BANK.opm OUT.mid` sounds like the original; a summary of what was kept goes "
             "to standard error. The output is never written over an input.",
             {"0  written", "1  the output cannot be written", "2  an input cannot be read, or the command line "
              "is wrong"});
    cmd->add_option("SONG.mid", options->song, "The MIDI file to arrange")->required();
    cmd->add_option("-o,--output", options->output, "The arranged MIDI file to write")->required();
    cmd->add_option("--bank", options->bank, "The FM bank to play with (default: the built-in bank)");
    cmd->callback([options, &status] { status = RunArrange(*options); });
}

}  // namespace fmtool
