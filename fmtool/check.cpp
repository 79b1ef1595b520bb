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
#include "fmtool/arrange/arranger.h"
#include "fmtool/arrange/song_tag.h"
#include "fmtool/command_line.h"
#include "fmtool/commands.h"
#include "fmtool/command_inputs.h"
#include "instruments/fminst.h"
#include "smf/smf_score.h"

namespace fmtool {

namespace {

constexpr int kNothingLost = 0;
constexpr int kSomethingLost = 1;
constexpr int kUnreadable = 2;

struct CheckOptions {
    std::string bank;  // with one file named, the song
    std::string song;
    bool json = false;
    std::string as = "fmroll";
};

int Fail(const std::string& message) {
    std::cerr << "fmtool check: " << message << std::endl;
    return kUnreadable;
}

// What fmtool convert keeps of the song: the summary of its arrangement.
int ReportConvert(const std::string& song_path, const MIDI::Score& score, const FMInst& bank, bool json) {
    SongPlan plan(bank);
    if (!PlanSong(score, PlanFor::Chips, plan)) return Fail(song_path + " is too long for a VGM file");
    const ArrangeSummary s = Summarise(plan);
    if (json) {
        std::cout << "{\"as\": \"convert\", \"notes\": " << s.notes << ", \"kept\": " << s.kept
                  << ", \"moved\": " << s.moved << ", \"cut\": " << s.cut << ", \"late\": " << s.waited
                  << ", \"drum_hits\": " << s.hits << ", \"drum_hits_kept\": " << s.HitsKept() << "}\n";
    } else {
        std::cout << "What fmtool convert keeps (the song arranged for the chips first):\n" << FormatSummary(s);
    }
    std::cout.flush();
    const bool loses = s.kept < s.notes || s.HitsKept() < s.hits || s.moved != 0 || s.cut != 0 || s.waited != 0;
    return loses ? kSomethingLost : kNothingLost;
}

int RunCheck(const CheckOptions& options) {
    // One file named is the song.
    const std::string& song_path = options.song.empty() ? options.bank : options.song;
    const std::string bank_path = options.song.empty() ? "" : options.bank;
    if (song_path.empty()) return Fail("SONG.mid is required; see fmtool help check");
    auto bank = std::make_unique<FMInst>();
    std::string message;
    if (!LoadBank(bank_path, *bank, message)) return Fail(message);
    MIDI::Score score;
    std::unique_ptr<MIDI::DMIDI> song;
    if (!ReadSong(song_path, score, &song, message)) return Fail(message);
    if (options.as == "convert") return ReportConvert(song_path, score, *bank, options.json);

    const LossReport report = BuildLossReport(score, *song, *bank);
    if (options.json) {
        WriteReportJson(std::cout, report);
    } else {
        std::cout << "What fmroll plays of the file as it stands (fmtool convert arranges it first: see --as "
                     "convert):\n";
        WriteReportText(std::cout, report);
    }
    std::cout.flush();
    return report.LosesAnything() ? kSomethingLost : kNothingLost;
}

}  // namespace

void AddCheckCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<CheckOptions>();
    CLI::App* cmd = app.add_subcommand("check");
    Describe(*cmd, "Report what a song loses in conversion",
             "Without --as, or with --as fmroll: what `fmroll BANK.opm SONG.mid` plays of the file as it stands "
             "(every loss and change, MIDI channel by MIDI channel, worst first). With --as convert: what `fmtool convert "
             "SONG.mid` keeps, which arranges the song for the chips first. Without a bank, the built-in General "
             "MIDI bank. Nothing is written.",
             {"0  nothing is lost", "1  something is lost or changed", "2  a file cannot be read, or the command "
              "line is wrong"});
    cmd->add_option("BANK.opm", options->bank, "The bank (leave out for the built-in General MIDI bank)");
    cmd->add_option("SONG.mid", options->song, "The song");
    cmd->add_flag("--json", options->json, "Write the findings as JSON");
    cmd->add_option("--as", options->as, "Judge the conversion of fmroll (default) or of fmtool convert")
        ->check(CLI::IsMember({"fmroll", "convert"}))
        ->type_name("fmroll|convert");
    cmd->callback([options, &status] { status = RunCheck(*options); });
}

}  // namespace fmtool
