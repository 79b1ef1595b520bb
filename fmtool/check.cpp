// fmtool check [BANK.opm] SONG.mid: what the conversion will lose or change.
// The files are read as fmroll reads them, with its messages; nothing is
// written to disk. Standard output carries only the report.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "fmtool/check/loss_report.h"
#include "fmtool/check/report_format.h"
#include "fmtool/commands.h"
#include "instruments/fminst.h"
#include "fmtool/voices/bank_input.h"
#include "instruments/gm_bank.h"
#include "midi/smf_file.h"
#include "midi/smf_score.h"

namespace fmtool {

namespace {

constexpr int kNothingLost = 0;
constexpr int kSomethingLost = 1;
constexpr int kUnreadable = 2;

struct CheckOptions {
    std::vector<std::string> files;  // [bank] song
    bool json = false;
};

int RunCheck(const CheckOptions& options) {
    auto bank = std::make_unique<FMInst>();
    const std::string& song_path = options.files.back();
    if (options.files.size() == 2) {
        if (!LoadCommandBank(*bank, options.files.front())) return kUnreadable;
    } else if (LoadGmBank(*bank) != FMInst::kLoadOk) {
        std::cerr << "fmtool check: the built-in bank does not load" << std::endl;
        return kUnreadable;
    }

    std::vector<std::uint8_t> data;
    if (MIDI::ReadSmfFile(song_path.c_str(), data) != 0) return kUnreadable;
    MIDI::Score score;
    std::unique_ptr<MIDI::DMIDI> song;
    if (!MIDI::ReadScore(data.data(), data.size(), score, &song)) return kUnreadable;

    const LossReport report = BuildLossReport(score, *song, *bank);
    if (options.json) {
        WriteReportJson(std::cout, report);
    } else {
        WriteReportText(std::cout, report);
    }
    std::cout.flush();
    return report.LosesAnything() ? kSomethingLost : kNothingLost;
}

}  // namespace

void AddCheckCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<CheckOptions>();
    CLI::App* cmd = app.add_subcommand(
        "check",
        "Report what converting SONG.mid with BANK.opm will lose or change, channel by channel, worst first; "
        "without a bank, the built-in General MIDI bank. Exit status 0: nothing lost; 1: something lost or "
        "changed; 2: a file cannot be read");
    cmd->add_option("files", options->files, "[BANK.opm] SONG.mid")->required()->expected(1, 2);
    cmd->add_flag("--json", options->json, "Write the findings as JSON");
    cmd->callback([options, &status] { status = RunCheck(*options); });
}

}  // namespace fmtool
