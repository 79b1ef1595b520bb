// fmtool info: what is in a VGM file, and whether it keeps to the format.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "fmtool/command_line.h"
#include "fmtool/commands.h"
#include "fmtool/info/info_report.h"
#include "fmtool/info/piano_roll.h"
#include "fmtool/info/vgm_inspect.h"
#include "fmtool/command_inputs.h"
#include "smf/smf_score.h"
#include "vgm/vgm_format.h"
#include "vgm/vgm_save.h"

namespace fmtool {

namespace {

constexpr int kValid = 0;
constexpr int kProblems = 1;
constexpr int kUnreadable = 2;

struct InfoOptions {
    std::vector<std::string> files;
    bool json = false;
    std::string svg;
    std::string midi;
};

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Draws the piano roll of one file (and the song behind it) into `opt.svg`.
bool WriteRoll(const InfoOptions& opt, const VgmInspection& info, const std::vector<VGM::ChipNote>& notes) {
    PianoRoll roll;
    const std::string& english = info.gd3[VGM::kGd3TrackName];
    const std::string& track = english.empty() ? info.gd3[VGM::kGd3TrackNameJapanese] : english;
    roll.title = track.empty() ? BaseName(opt.files[0]) : track;
    roll.chip = RollNotesOf(notes);
    if (info.notes_left_out != 0)
        std::cerr << "fmtool info: the piano roll shows the first " << notes.size() << " of "
                  << notes.size() + info.notes_left_out << " notes" << std::endl;
    const std::uint64_t samples = std::max<std::uint64_t>(info.header.total_samples, info.wait_samples);
    roll.seconds = static_cast<double>(samples) / VGM::kSampleRate;
    if (info.loop_found) roll.loop = static_cast<double>(info.loop_sample) / VGM::kSampleRate;
    if (!opt.midi.empty()) {
        MIDI::Score score;
        std::string message;
        if (!ReadSong(opt.midi, score, nullptr, message)) {
            std::cerr << "fmtool info: " << message << std::endl;
            return false;
        }
        roll.song = SongNotesOf(score);
        roll.seconds = std::max(roll.seconds, score.EndSeconds());
    }
    const std::string svg = RenderPianoRoll(roll);
    int reason = 0;
    if (VGM::SaveImage(std::vector<std::uint8_t>(svg.begin(), svg.end()), {{opt.svg, false}}, &reason) !=
        VGM::SaveResult::Ok) {
        std::cerr << "fmtool info: " << CannotWrite(opt.svg, reason) << std::endl;
        return false;
    }
    return true;
}

int RunInfo(const InfoOptions& opt) {
    if ((!opt.svg.empty()) && opt.files.size() != 1) {
        std::cerr << "fmtool info: --svg draws one file; " << opt.files.size() << " given" << std::endl;
        return kUnreadable;
    }
    if (!opt.svg.empty()) {
        std::vector<std::string> inputs = opt.files;
        if (!opt.midi.empty()) inputs.push_back(opt.midi);
        if (const std::string* input = ReplacedInput(opt.svg, inputs)) {
            std::cerr << "fmtool info: not written: the picture " << opt.svg << " would replace the input " << *input
                      << std::endl;
            return kUnreadable;
        }
    }
    int status = kValid;
    std::vector<VgmInspection> infos;  // for JSON, which goes out at the end
    VgmInspection drawn;               // the one file of --svg
    std::vector<VGM::ChipNote> notes;  // and its notes
    for (const std::string& file : opt.files) {
        VgmInspection info = InspectVgmFile(file, opt.svg.empty() ? nullptr : &notes);
        if (!info.readable) {
            std::cerr << "fmtool info: " << WithOpenReason(file, file + " " + info.error) << std::endl;
            status = kUnreadable;
        } else {
            if (!info.Valid()) status = std::max(status, kProblems);
            if (!opt.json) WriteInfoText(std::cout, file, info);
            if (!opt.json && &file != &opt.files.back()) std::cout << "\n";
        }
        if (opt.json)
            infos.push_back(std::move(info));
        else if (!opt.svg.empty())
            drawn = std::move(info);
    }
    if (opt.json) WriteInfoJson(std::cout, opt.files, infos);
    if (!opt.svg.empty() && status != kUnreadable && !WriteRoll(opt, opt.json ? infos[0] : drawn, notes))
        status = kUnreadable;
    return status;
}

}  // namespace

void AddInfoCommand(CLI::App& app, int& status) {
    auto opt = std::make_shared<InfoOptions>();
    CLI::App* cmd = app.add_subcommand("info");
    Describe(*cmd, "Show what a VGM or VGZ file holds and check it against the format",
             "Shows the header, the GD3 tag and per chip channel the notes played, and checks the file as the "
             "VGM community's tools do, one line per problem. --svg draws a piano roll of one file, never over "
             "an input.",
             {"0  valid", "1  problems", "2  a file is unreadable, the picture unwritable, or the command line wrong"});
    cmd->add_option("FILE", opt->files, "VGM or VGZ files, of any version from 1.00 to 1.71")->required();
    cmd->add_flag("--json", opt->json, "Print the findings as JSON");
    CLI::Option* svg = cmd->add_option("--svg", opt->svg, "Draw a piano roll of the file into ROLL.svg")
                           ->type_name("ROLL.svg");
    cmd->add_option("--midi", opt->midi, "Draw this song's own notes faintly behind the piano roll")
        ->type_name("SONG.mid")
        ->needs(svg);
    cmd->callback([opt, &status] { status = RunInfo(*opt); });
}

}  // namespace fmtool
