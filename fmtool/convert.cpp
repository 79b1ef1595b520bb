// fmtool convert [--bank BANK.opm] SONG.mid... [-o OUT.vgz|OUT.vgm]
// [--fmroll-layout | --no-arrange] [-j N]: from MIDI files to finished VGM
// files in one step. Each song is arranged and rendered straight to the
// chips (drums on the DAC, dynamics through each note, vibrato, shaped square
// envelopes), or with --fmroll-layout arranged into fmroll's layout and
// converted as fmroll converts it, or with --no-arrange converted as it is;
// then tagged (GD3) and saved beside it as song.vgz. A song that fails is
// reported with its message and the others go on.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/run_guard.h"
#include "fmtool/command_inputs.h"
#include "fmtool/command_line.h"
#include "fmtool/commands.h"
#include "fmtool/convert/progress.h"
#include "fmtool/convert/song_convert.h"
#include "instruments/fminst.h"
#include "vgm/vgm_save.h"

namespace fmtool {

namespace {

constexpr unsigned kMaxJobs = 64;

struct ConvertOptions {
    std::vector<std::string> songs;
    std::string output;
    std::string bank;
    bool no_arrange = false;
    bool fmroll_layout = false;
    unsigned jobs = 1;
};

std::string SuccessLine(const ConvertJob& job, const ConvertResult& r) {
    std::string line = job.song + " -> " + job.output;
    if (!r.arranged) return line;
    const ArrangeSummary& s = r.summary;
    std::vector<std::string> parts;
    if (s.notes) parts.push_back(std::to_string(s.kept) + " of " + std::to_string(s.notes) + " notes");
    if (s.hits) parts.push_back(std::to_string(s.HitsKept()) + " of " + std::to_string(s.hits) + " drum hits");
    if (parts.empty()) parts.push_back("no notes");
    line += ": " + parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) line += ", " + parts[i];
    return line;
}

// What becomes of each song before any is converted: no song writes over an
// input (a song, the bank), two songs never write one file, and a song given
// twice is converted once. The lines of the songs that are not converted
// follow the line of the song they depend on.
struct BatchPlan {
    std::vector<bool> convert;                       // to be converted
    std::vector<int> status;                         // of those that are not
    std::vector<std::string> line;                   // of those that are not
    std::vector<std::vector<std::size_t>> followers;  // songs whose lines follow each song's
};

BatchPlan PlanBatch(const std::vector<ConvertJob>& jobs, const std::vector<std::string>& inputs) {
    BatchPlan plan;
    plan.convert.assign(jobs.size(), true);
    plan.status.assign(jobs.size(), kConverted);
    plan.line.resize(jobs.size());
    plan.followers.resize(jobs.size());
    std::map<std::string, std::size_t> writer;  // output key -> the song that writes it
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const ConvertJob& job = jobs[i];
        std::size_t first = i;
        for (std::size_t j = 0; j < i && first == i; ++j) {
            if (plan.convert[j] && VGM::SameFile(job.song, jobs[j].song)) first = j;
        }
        if (first != i && (job.output == jobs[first].output ||
                           VGM::OutputKey(job.output) == VGM::OutputKey(jobs[first].output))) {
            plan.convert[i] = false;
            plan.line[i] = job.song + ": the same file as " + jobs[first].song + ", converted once";
            plan.followers[first].push_back(i);
            continue;
        }
        if (const std::string* input = ReplacedInput(job.output, inputs)) {
            plan.convert[i] = false;
            plan.status[i] = kNotWritten;
            plan.line[i] = job.song + ": not written: the output " + job.output + " is the input " + *input +
                           (*input == job.output ? "" : " (the same file)");
            continue;
        }
        const std::string key = VGM::OutputKey(job.output);
        auto [it, fresh] = writer.emplace(key.empty() ? job.output : key, i);
        if (fresh) continue;
        plan.convert[i] = false;
        plan.status[i] = kNotWritten;
        plan.line[i] = job.song + ": not written: " + job.output + " is already the output of " + jobs[it->second].song;
        plan.followers[it->second].push_back(i);
    }
    return plan;
}

int RunConvert(const ConvertOptions& options) {
    if (!options.output.empty() && options.songs.size() > 1) {
        std::cerr << "fmtool convert: -o names the output of one song; " << options.songs.size()
                  << " songs were given" << std::endl;
        return kUnreadable;
    }
    auto bank = std::make_unique<FMInst>();
    std::string message;
    if (!LoadBank(options.bank, *bank, message)) {
        std::cerr << "fmtool convert: " << message << std::endl;
        return kUnreadable;
    }

    std::vector<ConvertJob> jobs;
    for (const std::string& song : options.songs) {
        ConvertJob job;
        job.song = song;
        job.output = options.output.empty() ? OutputFor(song) : options.output;
        job.gzip = !IsPlainVgm(job.output);
        job.arrange = !options.no_arrange;
        job.fmroll_layout = options.fmroll_layout;
        jobs.push_back(job);
    }
    std::vector<std::string> inputs = options.songs;
    if (!options.bank.empty()) inputs.push_back(options.bank);
    BatchPlan plan = PlanBatch(jobs, inputs);

    Progress progress(stderr, jobs.size());
    std::vector<int>& status = plan.status;
    // Songs that depend on another wait for its line; the others go first.
    std::vector<bool> follows(jobs.size(), false);
    for (const auto& list : plan.followers)
        for (std::size_t f : list) follows[f] = true;

    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i; (i = next++) < jobs.size();) {
            if (follows[i]) continue;
            std::string line = plan.line[i];
            if (plan.convert[i]) {
                // Memory that runs out fails this song alone; the others go on.
                ConvertResult r;
                if (!RunOutOfMemorySafe([&] { r = ConvertSong(jobs[i], *bank); })) {
                    r = ConvertResult();
                    r.status = kOutOfMemory;
                    r.message = kOutOfMemoryMessage;
                }
                status[i] = r.status;
                line = r.status == kConverted ? SuccessLine(jobs[i], r) : jobs[i].song + ": " + r.message;
            }
            progress.Done(line);
            for (std::size_t f : plan.followers[i]) progress.Done(plan.line[f]);
        }
    };
    const unsigned threads = std::min<unsigned>(options.jobs, static_cast<unsigned>(jobs.size()));
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool) t.join();
    progress.Finish();
    return *std::max_element(status.begin(), status.end());
}

}  // namespace

void AddConvertCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* cmd = app.add_subcommand("convert");
    Describe(*cmd, "Turn MIDI files into VGM files for the Mega Drive / Genesis",
             "Each song is arranged for the chips and played on them directly: drums as samples on the "
             "YM2612's DAC (hi-hats and cymbals on the noise channel), loudness following velocity, volume and "
             "expression through each note, the modulation wheel as vibrato, and square parts shaped by their "
             "instrument (plucked notes die away, held ones swell in, every note fades out). It is then tagged "
             "with its title and author and saved beside it as SONG.vgz (or as -o names it). --fmroll-layout "
             "converts instead the file fmtool arrange writes, as fmroll converts it, byte for byte as earlier "
             "versions did. A song is never written over an input; of two songs that would write one file only "
             "the first does, and a song given twice is converted once. Each song gets one line on standard "
             "error.",
             {"0  all converted", "1  an output cannot be written", "2  an input cannot be read, or the command "
              "line is wrong"});
    cmd->add_option("SONG.mid", options->songs, "The MIDI files to convert")->required();
    cmd->add_option("-o,--output", options->output, "The output of a single song (.vgm: uncompressed)");
    cmd->add_option("--bank", options->bank, "The FM bank to play with (default: the built-in bank)");
    CLI::Option* layout = cmd->add_flag("--fmroll-layout", options->fmroll_layout,
                                        "Arrange into fmroll's layout and convert that as fmroll does");
    cmd->add_flag("--no-arrange", options->no_arrange, "Convert as they are, as fmroll would (its layout expected)")
        ->excludes(layout);
    cmd->add_option("-j,--jobs", options->jobs, "Songs converted at once")->check(CLI::Range(1u, kMaxJobs));
    cmd->callback([options, &status] { status = RunConvert(*options); });
}

}  // namespace fmtool
